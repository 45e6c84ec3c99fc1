// Inputs the fuzz targets (tests/fuzz) turned up, and the font guard they led to.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "game/font_check.h"
#include "game/pak.h"
#include "game/renderer.h"
#include "lz4/lz4.h"

namespace {

// A TrueType font of four glyphs (empty, a square, two triangles with a curve, and a
// composite of the two), mapping 'A'…'C' by delta and 'a'…'b' through the glyph array.
const u8 TINY_FONT[] = {
    0x00, 0x01, 0x00, 0x00, 0x00, 0x07, 0x00, 0x40, 0x00, 0x02, 0x00, 0x30, 0x63, 0x6d, 0x61, 0x70,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7c, 0x00, 0x00, 0x00, 0x38, 0x67, 0x6c, 0x79, 0x66,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xb4, 0x00, 0x00, 0x00, 0x6a, 0x68, 0x65, 0x61, 0x64,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00, 0x00, 0x00, 0x36, 0x68, 0x68, 0x65, 0x61,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x58, 0x00, 0x00, 0x00, 0x24, 0x68, 0x6d, 0x74, 0x78,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x7c, 0x00, 0x00, 0x00, 0x10, 0x6c, 0x6f, 0x63, 0x61,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x8c, 0x00, 0x00, 0x00, 0x0a, 0x6d, 0x61, 0x78, 0x70,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x98, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01,
    0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0c, 0x00, 0x04, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x06,
    0x00, 0x04, 0x00, 0x01, 0x00, 0x02, 0x00, 0x43, 0x00, 0x62, 0xff, 0xff, 0x00, 0x00, 0x00, 0x41,
    0x00, 0x61, 0xff, 0xff, 0xff, 0xc0, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00,
    0x00, 0x03, 0x00, 0x02, 0x00, 0x01, 0x00, 0x64, 0x00, 0x00, 0x01, 0xf4, 0x02, 0x58, 0x00, 0x03,
    0x00, 0x00, 0x01, 0x01, 0x01, 0x01, 0x00, 0x64, 0x00, 0x00, 0x01, 0x90, 0x00, 0x00, 0x00, 0x00,
    0x02, 0x58, 0x00, 0x00, 0xfd, 0xa8, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x02, 0x58, 0x02, 0xbc,
    0x00, 0x02, 0x00, 0x05, 0x00, 0x00, 0x01, 0x00, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x01, 0x2c,
    0x01, 0x2c, 0xfe, 0x70, 0x00, 0x64, 0x00, 0x64, 0x00, 0x00, 0x02, 0xbc, 0xfd, 0x44, 0x00, 0x64,
    0x00, 0xc8, 0xff, 0x38, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0x03, 0x84, 0x03, 0x20, 0x00, 0x23,
    0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x02, 0x01, 0x2c, 0x00, 0x64, 0x00, 0x00,
    0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5f, 0x0f, 0x3c, 0xf5,
    0x00, 0x00, 0x03, 0xe8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x84, 0x03, 0x20, 0x00, 0x00, 0x00, 0x08,
    0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x03, 0x20, 0xff, 0x38,
    0x00, 0x00, 0x03, 0xe8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x03, 0xe8, 0x00, 0x32,
    0x03, 0xe8, 0x00, 0x32, 0x03, 0xe8, 0x00, 0x32, 0x03, 0xe8, 0x00, 0x32, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x11, 0x00, 0x28, 0x00, 0x35, 0x00, 0x00, 0x00, 0x00, 0x50, 0x00, 0x00, 0x04, 0x00, 0x00,
};

std::vector<u8> tiny_font() { return std::vector<u8>(TINY_FONT, TINY_FONT + sizeof TINY_FONT); }

size_t table(const std::vector<u8>& font, const char* tag) {
    const size_t n = size_t(font[4]) << 8 | font[5];
    for (size_t i = 0; i < n; i++) {
        const u8* rec = font.data() + 12 + 16 * i;
        if (std::memcmp(rec, tag, 4) == 0) return size_t(rec[8]) << 24 | size_t(rec[9]) << 16 | size_t(rec[10]) << 8 | rec[11];
    }
    ADD_FAILURE() << "no table " << tag;
    return 0;
}

void put_be16(std::vector<u8>& b, size_t at, u16 v) {
    b[at] = u8(v >> 8);
    b[at + 1] = u8(v);
}

bool passes(const std::vector<u8>& font) {
    return font_check(font.data(), font.size(), FONT_FIRST_CODEPOINT, FONT_GLYPH_COUNT, FONT_PIXEL_HEIGHT,
                      FONT_ATLAS_SIZE);
}

std::vector<u8> read_file(const char* path) {
    std::vector<u8> bytes;
    FILE* f = std::fopen(path, "rb");
    if (!f) return bytes;
    u8 chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    return bytes;
}

// Glyph offsets inside the tiny font's glyf table.
constexpr size_t GLYPH_SQUARE = 0, GLYPH_COMPOSITE = 80;

} // namespace

TEST(FontCheck, PassesGoodFontsWhichThenBake) {
    std::vector<u8> font = tiny_font();
    ASSERT_TRUE(passes(font));
    ASSERT_TRUE(_renderer_load_font_data(font.data(), font.size()));
    for (char c : {'A', 'B', 'C', 'a', 'b'}) {
        const Baked_Glyph& g = renderer.glyph_table[c - FONT_FIRST_CODEPOINT];
        EXPECT_GT(g.x1, g.x0) << c;
        EXPECT_GT(g.y1, g.y0) << c;
    }
    std::vector<u8> shipped = read_file(VANTOREL_FONT);
    ASSERT_FALSE(shipped.empty());
    EXPECT_TRUE(passes(shipped));
}

// Fonts the baker misreads without the guard: each one, baked unguarded under ASan/UBSan,
// reads outside the font, recurses until the stack runs out, asserts or turns an infinite
// scale into an int.
TEST(FontCheck, RefusesFontsTheBakerWouldMisread) {
    struct Edit {
        u16 at;
        u8 value;
    };
    // Found by fuzzing the baker with the tiny font as its seed (byte edits of TINY_FONT).
    const std::vector<Edit> found[] = {
        {{175, 1}, {177, 253}, {178, 255}, {350, 1}, {351, 198}},  // glyph index far past hmtx
        {{402, 37}},                                                // glyph offset past the file
        {{8, 250}, {9, 1}, {149, 255}, {150, 255}, {151, 66}, {350, 1}, {351, 198}},  // cmap search past the file
    };
    for (const std::vector<Edit>& edits : found) {
        std::vector<u8> font = tiny_font();
        for (Edit e : edits) font[e.at] = e.value;
        EXPECT_FALSE(passes(font)) << "edit at " << edits[0].at;
    }

    struct Case {
        const char* name;
        void (*edit)(std::vector<u8>&);
    };
    const Case cases[] = {
        {"composite made of itself",
         [](std::vector<u8>& f) { put_be16(f, table(f, "glyf") + GLYPH_COMPOSITE + 12, 3); }},
        {"cmap subtable past the file",
         [](std::vector<u8>& f) { put_be16(f, table(f, "cmap") + 8, 0x7fff); }},
        {"cmap format the baker asserts on", [](std::vector<u8>& f) { put_be16(f, table(f, "cmap") + 12, 2); }},
        {"zero line height", [](std::vector<u8>& f) {
             put_be16(f, table(f, "hhea") + 4, 0);
             put_be16(f, table(f, "hhea") + 6, 0);
         }},
        {"collection header cut short", [](std::vector<u8>& f) {
             const u8 ttc[12] = {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, 1};
             f = std::vector<u8>(ttc, ttc + sizeof ttc);  // exact size, for ASan
         }},
    };
    for (const Case& c : cases) {
        std::vector<u8> font = tiny_font();
        c.edit(font);
        EXPECT_FALSE(passes(font)) << c.name;
    }
    // Every truncation short of the last table's end (the baker reads maxp past the end),
    // in a buffer of exactly that size so that ASan sees any over-read by the guard itself.
    const size_t last_end = table(tiny_font(), "maxp") + 6;
    for (size_t n = 0; n < last_end; n++) {
        std::vector<u8> cut(TINY_FONT, TINY_FONT + n);
        EXPECT_FALSE(passes(cut)) << "length " << n;
    }
}

// Glyphs the baker would lay out nonsensically: an inverted box gives a negative width,
// and an outline outside its box is drawn outside the glyph's cell.
TEST(FontCheck, RefusesGlyphsOutsideTheirBoxes) {
    std::vector<u8> inverted = tiny_font(), outside = tiny_font();
    put_be16(inverted, table(inverted, "glyf") + GLYPH_SQUARE + 2, 600);
    put_be16(outside, table(outside, "glyf") + GLYPH_SQUARE + 6, 400);
    EXPECT_FALSE(passes(inverted));
    EXPECT_FALSE(passes(outside));
}

// Found by the pak target as its slowest input: the baker halves its cmap search range
// entrySelector times per code point, 63 000 times here, for a table that needs at most 16.
TEST(FontCheck, RefusesCmapSearchesWithoutEnd) {
    std::vector<u8> font = tiny_font();
    put_be16(font, table(font, "cmap") + 12 + 10, 0xf7ff);
    EXPECT_FALSE(passes(font));
    put_be16(font, table(font, "cmap") + 12 + 10, 1);
    EXPECT_TRUE(passes(font));
}

// Found by the pak target: a pack with an unknown compression byte reads as an empty
// payload, and writing that back as lz4 handed liblz4 a null source, which it dereferences.
TEST(FuzzRegression, EmptyPayloadCompressesWithoutASource) {
    const u8 pack[] = {'S', 'B', 'P', 'K', 1, 0, 0, 0, 0xfb, 0x60, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::optional<std::vector<u8>> payload = pak_load_from_bytes(pack, sizeof pack);
    ASSERT_TRUE(payload.has_value());
    ASSERT_TRUE(payload->empty());
    std::vector<u8> file = pak_build(*payload, pak_lz4, 1);
    EXPECT_FALSE(file.empty());

    u8 block[16];
    for (int hc = 0; hc < 2; hc++) {
        int32_t n = hc ? lz4_compress_hc(nullptr, 0, block, sizeof block, 12)
                       : lz4_compress(nullptr, 0, block, sizeof block);
        ASSERT_GT(n, 0) << hc;
        u8 out[4];
        EXPECT_EQ(lz4_decompress_safe(block, n, out, sizeof out), 0) << hc;
    }
}
