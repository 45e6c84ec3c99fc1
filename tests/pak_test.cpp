// Asset pack: the little-endian codec, serializer, pack file, assets payload, load limits and the shipped pack.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

#include "game/assets.h"
#include "game/bytes.h"
#include "game/icon.h"
#include "game/pak.h"
#include "game/serializer.h"
#include "game/sprite.h"
#include "harness.h"

namespace {

// A small but complete Assets record: 8 × 4 atlas, every sprite and animation valid.
Assets small_assets() {
    Assets a;
    a.atlas_size[0] = 8;
    a.atlas_size[1] = 4;
    a.atlas_pixels.resize(8 * 4 * 4);
    for (size_t i = 0; i < a.atlas_pixels.size(); i++) a.atlas_pixels[i] = (u8)(i * 7 + 1);
    for (int i = 0; i < SPRITE_COUNT; i++) a.sprites[i] = {(u16)(i % 8), 0, 1, 1};
    a.sprites[16] = {0, 1, 2, 3};  // a strip base: frames of width 2 at x 0, 2, 4, 6
    for (int i = 0; i < SPRITE_ANIM_COUNT; i++) {
        Sprite_Anim& an = a.anims[i];
        std::memset(&an, 0, sizeof(an));
        an.sprite = 16;
        an.len = 4;
        an.frame_width = 2;
        for (int k = 0; k < 4; k++) an.durations[k] = (u16)(100 + k);
        an.duration = 0.406f;
    }
    const char font[] = "FAKE TRUETYPE";
    a.font_data.assign(font, font + sizeof(font));
    return a;
}

std::vector<u8> payload_of(const Assets& a) {
    Assets copy = a;
    Serializer s = serializer_writer();
    EXPECT_TRUE(assets_serialize(s, copy));
    return s.data;
}

bool loads(const std::vector<u8>& file) {
    Assets out;
    return assets_load_from_bytes(file.data(), (i64)file.size(), out);
}

bool loads(const Assets& a) { return loads(assets_build_pack(a, pak_lz4, 1)); }

// Header of a pack by hand: magic, version, compression, uncompressed_size, payload length.
std::vector<u8> header(const char magic[4], i32 version, u8 compression, i64 usize, i64 plen) {
    Serializer s = serializer_writer();
    u8 m[4];
    std::memcpy(m, magic, 4);
    serialize(s, m);
    serialize(s, version);
    serialize(s, compression);
    serialize(s, usize);
    serialize(s, plen);
    return s.data;
}

void put_i64(std::vector<u8>& bytes, size_t at, i64 v) { std::memcpy(&bytes[at], &v, 8); }

std::string temp_path(const char* name) {
    return std::string(::testing::TempDir()) + "/vantorel_pak_" + name + "_" + std::to_string(::getpid());
}

void write_file(const std::string& path, const std::vector<u8>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace

// ---------------------------------------------------------------- little-endian bytes

TEST(Bytes, ValuesKeepEveryBitAndNoReadRunsPastTheEnd) {
    // Bit patterns of a u16, f32s and f64s: NaN payloads, negative zero and the largest
    // values must come back as they went.
    const std::pair<size_t, u64> cases[] = {
        {2, 0xFFFF}, {2, 0x0102}, {4, 0x7FC00001}, {4, 0x80000000}, {4, 0x7F7FFFFF},
        {8, 0x7FF0000000000001}, {8, 0x8000000000000000}, {8, 0xFFFFFFFFFFFFFFFF}};
    for (auto [width, bits] : cases) {
        std::vector<u8> out = {0xEE};  // appended after what is there
        u32 bits32 = u32(bits);
        f32 f;
        f64 d;
        std::memcpy(&f, &bits32, 4);
        std::memcpy(&d, &bits, 8);
        if (width == 2) bytes_put_u16(out, u16(bits));
        if (width == 4) bytes_put_f32(out, f);
        if (width == 8) bytes_put_f64(out, d);
        ASSERT_EQ(out.size(), 1 + width) << bits;
        for (size_t i = 0; i < width; i++) EXPECT_EQ(out[1 + i], u8(bits >> (8 * i))) << bits;

        if (width == 8) {
            EXPECT_EQ(bytes_load_u64(out.data() + 1), bits);
            continue;
        }
        // Back through the reader; one byte short, nothing is read, the value is zero and the
        // reader stays stopped even for a read that would fit.
        Bytes_Reader whole = bytes_reader(out.data() + 1, width), shorter = bytes_reader(out.data() + 1, width - 1);
        u64 back = 0;
        u32 refused;
        if (width == 2) back = bytes_read_u16(whole), refused = bytes_read_u16(shorter);
        else f = bytes_read_f32(whole), std::memcpy(&back, &f, 4), refused = bytes_read_u32(shorter);
        EXPECT_EQ(back, bits);
        EXPECT_TRUE(whole.ok && whole.at == width);
        EXPECT_EQ(refused, 0u) << bits;
        EXPECT_FALSE(shorter.ok || bytes_skip(shorter, 0)) << bits;
        EXPECT_EQ(shorter.at, 0u);
    }
}

// ---------------------------------------------------------------- serializer

TEST(Serializer, ValuesRoundTripLittleEndianAndShortReadsLeaveValueUnchanged) {
    Serializer w = serializer_writer();
    u32 a = 0x11223344;
    i64 b = -2;
    f32 c = 1.5f;
    serialize(w, a);
    serialize(w, b);
    serialize(w, c);
    ASSERT_EQ(w.data.size(), 16u);
    EXPECT_EQ(w.data[0], 0x44);  // little-endian
    EXPECT_EQ(w.data[3], 0x11);

    Serializer r = serializer_reader(w.data.data(), (i64)w.data.size());
    u32 a2 = 0;
    i64 b2 = 0;
    f32 c2 = 0;
    EXPECT_TRUE(serialize(r, a2));
    EXPECT_TRUE(serialize(r, b2));
    EXPECT_TRUE(serialize(r, c2));
    EXPECT_EQ(a2, a);
    EXPECT_EQ(b2, b);
    EXPECT_EQ(c2, c);
    EXPECT_EQ(r.read_offset, 16);
    u8 more = 42;
    EXPECT_FALSE(serialize(r, more));
    EXPECT_EQ(more, 42);

    Serializer r3 = serializer_reader(w.data.data(), 3);
    u32 v = 7;
    EXPECT_FALSE(serialize(r3, v));
    EXPECT_EQ(v, 7u);
    EXPECT_EQ(r3.read_offset, 0);
}

TEST(Serializer, ByteSlices) {
    Serializer w = serializer_writer();
    std::vector<u8> empty, three = {1, 2, 3};
    EXPECT_TRUE(_serialize_bytes(w, empty));
    EXPECT_TRUE(_serialize_bytes(w, three));
    ASSERT_EQ(w.data.size(), 8u + 8u + 3u);  // length 0 writes no bytes after it

    Serializer r = serializer_reader(w.data.data(), (i64)w.data.size());
    std::vector<u8> x = {9}, y;
    EXPECT_TRUE(_serialize_bytes(r, x));
    EXPECT_TRUE(x.empty());  // a 0-length slice reads as an empty buffer
    EXPECT_TRUE(_serialize_bytes(r, y));
    EXPECT_EQ(y, three);

    // Length beyond the remaining bytes, negative length, huge length: fail, nothing read past the end.
    for (i64 len : {(i64)4, (i64)-1, INT64_MIN, INT64_MAX, (i64)1 << 40}) {
        std::vector<u8> bytes(8 + 3, 0xAB);
        put_i64(bytes, 0, len);
        Serializer rr = serializer_reader(bytes.data(), (i64)bytes.size());
        std::vector<u8> out;
        EXPECT_FALSE(_serialize_bytes(rr, out)) << len;
        EXPECT_LE(rr.read_offset, (i64)bytes.size());
    }
    // A truncated length field.
    Serializer rt = serializer_reader(w.data.data(), 5);
    std::vector<u8> out;
    EXPECT_FALSE(_serialize_bytes(rt, out));
}

// ---------------------------------------------------------------- pack file

TEST(Pak, RoundTripBothCompressionsAndVersions) {
    std::vector<u8> payload = payload_of(small_assets());
    for (Pak_Compression c : {pak_none, pak_lz4}) {
        for (i32 version : {0, 1, 7, -5}) {
            std::vector<u8> file = pak_build(payload, c, version);
            ASSERT_FALSE(file.empty());
            EXPECT_EQ(std::memcmp(file.data(), "SBPK", 4), 0);
            Serializer s = serializer_reader(file.data(), (i64)file.size());
            Pak pak;
            ASSERT_TRUE(pak_serialize(s, pak));
            EXPECT_EQ(s.version, version);
            EXPECT_EQ(pak.compression, c);
            EXPECT_EQ(pak.uncompressed_size, (i64)payload.size());
            auto back = pak_load_from_bytes(file.data(), (i64)file.size());
            ASSERT_TRUE(back.has_value());
            EXPECT_EQ(*back, payload);
        }
    }
    // Trailing bytes after the payload are ignored.
    std::vector<u8> file = pak_build(payload, pak_lz4, 1);
    file.insert(file.end(), {1, 2, 3, 4, 5});
    auto back = pak_load_from_bytes(file.data(), (i64)file.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, payload);
}

TEST(Pak, HeaderEdgeCases) {
    // Wrong magic: refused before any other field is read.
    {
        std::vector<u8> file = pak_build(payload_of(small_assets()), pak_none, 1);
        file[0] = 'X';
        Serializer s = serializer_reader(file.data(), (i64)file.size());
        s.version = 1234;
        Pak pak;
        EXPECT_FALSE(pak_serialize(s, pak));
        EXPECT_EQ(s.read_offset, 4);
        EXPECT_EQ(s.version, 1234);
        EXPECT_FALSE(pak_load_from_bytes(file.data(), (i64)file.size()).has_value());
        std::vector<u8> just_magic = {'S', 'B', 'P'};
        EXPECT_FALSE(pak_load_from_bytes(just_magic.data(), 3).has_value());
        EXPECT_FALSE(pak_load_from_bytes(nullptr, 0).has_value());
    }
    // compression 0 with a 0-length payload: the pack loads, the assets do not.
    {
        std::vector<u8> file = header("SBPK", 1, pak_none, 0, 0);
        auto p = pak_load_from_bytes(file.data(), (i64)file.size());
        ASSERT_TRUE(p.has_value());
        EXPECT_TRUE(p->empty());
        EXPECT_FALSE(loads(file));
    }
    // Unknown compression: empty payload, so the assets fail.
    {
        std::vector<u8> payload = payload_of(small_assets());
        std::vector<u8> file = pak_build(payload, pak_none, 1);
        file[8] = 2;
        auto p = pak_load_from_bytes(file.data(), (i64)file.size());
        ASSERT_TRUE(p.has_value());
        EXPECT_TRUE(p->empty());
        EXPECT_FALSE(loads(file));
    }
    // Payload length field larger than the rest of the file (and negative, and huge).
    for (i64 len : {(i64)1, (i64)1000, (i64)-1, INT64_MAX, INT64_MIN}) {
        std::vector<u8> file = header("SBPK", 1, pak_none, 0, len);
        EXPECT_FALSE(pak_load_from_bytes(file.data(), (i64)file.size()).has_value()) << len;
        std::vector<u8> real = pak_build(payload_of(small_assets()), pak_lz4, 1);
        put_i64(real, 17, (i64)(real.size() - 25) + (len > 0 ? len : 0));
        if (len > 0) {
            EXPECT_FALSE(pak_load_from_bytes(real.data(), (i64)real.size()).has_value()) << len;
        }
    }
}

TEST(Pak, Lz4Limits) {
    std::vector<u8> payload = payload_of(small_assets());
    std::vector<u8> good = pak_build(payload, pak_lz4, 1);
    ASSERT_TRUE(loads(good));
    auto with_usize = [&](i64 usize) {
        std::vector<u8> f = good;
        put_i64(f, 9, usize);
        return pak_load_from_bytes(f.data(), (i64)f.size());
    };
    EXPECT_FALSE(with_usize(0).has_value());
    EXPECT_FALSE(with_usize(-1).has_value());
    EXPECT_FALSE(with_usize((i64)INT32_MAX + 1).has_value());
    EXPECT_FALSE(with_usize(INT64_MAX).has_value());
    EXPECT_FALSE(with_usize((i64)65 * 1024 * 1024).has_value());  // beyond the 64 MiB sanity cap
    EXPECT_FALSE(with_usize((i64)payload.size() - 1).has_value());  // output does not fit
    // A larger capacity is fine: the result is what was decompressed.
    auto bigger = with_usize((i64)payload.size() + 100);
    ASSERT_TRUE(bigger.has_value());
    EXPECT_EQ(*bigger, payload);

    // Empty lz4 payload.
    std::vector<u8> empty = header("SBPK", 1, pak_lz4, 100, 0);
    EXPECT_FALSE(pak_load_from_bytes(empty.data(), (i64)empty.size()).has_value());
    // Garbage lz4 stream.
    std::vector<u8> junk = header("SBPK", 1, pak_lz4, 1000, 16);
    for (int i = 0; i < 16; i++) junk.push_back(0xF0);
    EXPECT_FALSE(pak_load_from_bytes(junk.data(), (i64)junk.size()).has_value());
}

TEST(Pak, TruncatedAtEveryLengthAndMutatedBytesFailCleanly) {
    for (Pak_Compression c : {pak_none, pak_lz4}) {
        std::vector<u8> file = assets_build_pack(small_assets(), c, 1);
        ASSERT_TRUE(loads(file));
        for (size_t n = 0; n < file.size(); n++) {
            std::vector<u8> cut(file.begin(), file.begin() + (long)n);  // exact-size buffer for ASan
            EXPECT_FALSE(loads(cut)) << "compression " << c << " length " << n;
        }
    }
    // Random single-byte and multi-byte corruption never crashes or over-reads
    // (the result may be either; run under ASan to see any out-of-bounds access).
    std::vector<u8> file = assets_build_pack(small_assets(), pak_lz4, 1);
    std::mt19937 rng(12345);
    for (int iter = 0; iter < 3000; iter++) {
        std::vector<u8> m = file;
        int flips = 1 + (int)(rng() % 4);
        for (int k = 0; k < flips; k++) m[rng() % m.size()] = (u8)rng();
        Assets out;
        if (assets_load_from_bytes(m.data(), (i64)m.size(), out)) {
            EXPECT_TRUE(assets_validate(out));
        }
    }
}

TEST(Pak, Files) {
    EXPECT_FALSE(pak_load_from_file("/nonexistent/dir/assets.sbpak").has_value());
    EXPECT_FALSE(pak_load_from_file(nullptr).has_value());
    Assets out;
    EXPECT_FALSE(assets_load_from_file("/nonexistent/dir/assets.sbpak", out));

    Assets a = small_assets();
    std::string path = temp_path("file");
    write_file(path, assets_build_pack(a, pak_lz4, 1));
    auto p = pak_load_from_file(path.c_str());
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(*p, payload_of(a));
    ASSERT_TRUE(assets_load_from_file(path.c_str(), out));
    EXPECT_EQ(out.atlas_pixels, a.atlas_pixels);
    write_file(path, {});
    EXPECT_FALSE(assets_load_from_file(path.c_str(), out));
    std::remove(path.c_str());
    // A directory cannot be read as a pack.
    EXPECT_FALSE(pak_load_from_file(::testing::TempDir().c_str()).has_value());
}

// ---------------------------------------------------------------- assets payload

TEST(Assets, RoundTripAndLayout) {
    Assets a = small_assets();
    std::vector<u8> payload = payload_of(a);
    // 168 + 380 + 8 + 8 + m + 8 + f
    ASSERT_EQ(payload.size(), 572u + a.atlas_pixels.size() + a.font_data.size());
    i64 m = 0;
    std::memcpy(&m, &payload[556], 8);
    EXPECT_EQ(m, (i64)a.atlas_pixels.size());
    i32 w = 0;
    std::memcpy(&w, &payload[548], 4);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(payload[168 + 76 * 1 + 0], 16);  // anims[1].sprite
    EXPECT_EQ(payload[168 + 76 * 1 + 1], 4);   // anims[1].len

    for (Pak_Compression c : {pak_none, pak_lz4}) {
        std::vector<u8> file = assets_build_pack(a, c, 1);
        Assets b;
        ASSERT_TRUE(assets_load_from_bytes(file.data(), (i64)file.size(), b));
        EXPECT_EQ(std::memcmp(b.sprites, a.sprites, sizeof(a.sprites)), 0);
        EXPECT_EQ(std::memcmp(b.anims, a.anims, sizeof(a.anims)), 0);
        EXPECT_EQ(b.atlas_size[0], 8);
        EXPECT_EQ(b.atlas_size[1], 4);
        EXPECT_EQ(b.atlas_pixels, a.atlas_pixels);
        EXPECT_EQ(b.font_data, a.font_data);
    }
    // Extra payload bytes after the Assets record are ignored.
    payload.insert(payload.end(), 100, 0xEE);
    EXPECT_TRUE(loads(pak_build(payload, pak_lz4, 1)));
    // Payload too short for Assets, at every length.
    std::vector<u8> exact = payload_of(a);
    for (size_t n = 0; n < exact.size(); n++) {
        std::vector<u8> cut(exact.begin(), exact.begin() + (long)n);
        Serializer s = serializer_reader(cut.data(), (i64)cut.size());
        Assets b;
        EXPECT_FALSE(assets_serialize(s, b)) << n;
    }
    // 0-length slices read as empty buffers, but such assets are refused.
    Assets e = a;
    e.font_data.clear();
    std::vector<u8> ep = payload_of(e);
    Serializer s = serializer_reader(ep.data(), (i64)ep.size());
    Assets eb;
    EXPECT_TRUE(assets_serialize(s, eb));
    EXPECT_TRUE(eb.font_data.empty());
    EXPECT_FALSE(assets_validate(eb));
    EXPECT_FALSE(loads(e));
    // Negative atlas length inside the payload.
    std::vector<u8> neg = payload_of(a);
    put_i64(neg, 556, -4);
    EXPECT_FALSE(loads(pak_build(neg, pak_lz4, 1)));
}

TEST(Assets, LimitsAreLoadFailures) {
    ASSERT_TRUE(assets_validate(small_assets()));
    ASSERT_TRUE(loads(small_assets()));
    struct Case { const char* name; void (*change)(Assets&); };
    const Case cases[] = {
        {"empty atlas", [](Assets& a) { a.atlas_pixels.clear(); }},
        {"empty font", [](Assets& a) { a.font_data.clear(); }},
        {"width 0", [](Assets& a) { a.atlas_size[0] = 0; }},
        {"height negative", [](Assets& a) { a.atlas_size[1] = -4; }},
        {"both negative", [](Assets& a) { a.atlas_size[0] = -8; a.atlas_size[1] = -4; }},
        {"pixels short", [](Assets& a) { a.atlas_pixels.pop_back(); }},
        {"pixels long", [](Assets& a) { a.atlas_pixels.resize(a.atlas_pixels.size() + 4); }},
        {"size mismatch", [](Assets& a) { a.atlas_size[0] = 16; }},
        {"huge size", [](Assets& a) { a.atlas_size[0] = INT32_MAX; a.atlas_size[1] = INT32_MAX; }},
        {"anim sprite 21", [](Assets& a) { a.anims[2].sprite = 21; }},
        {"anim sprite 255", [](Assets& a) { a.anims[4].sprite = 255; }},
        {"anim len 32", [](Assets& a) { a.anims[1].len = 32; }},
        {"anim len 255", [](Assets& a) { a.anims[0].len = 255; }},
        {"sprite x + w > width", [](Assets& a) { a.sprites[3] = {7, 0, 2, 1}; }},
        {"sprite y + h > height", [](Assets& a) { a.sprites[20] = {0, 3, 1, 2}; }},
        {"sprite far out", [](Assets& a) { a.sprites[0] = {65535, 65535, 65535, 65535}; }},
        {"strip frames beyond atlas", [](Assets& a) { a.anims[4].len = 5; }},
        {"strip first_frame beyond atlas", [](Assets& a) { a.anims[3].first_frame = 1; }},
        {"strip frame width", [](Assets& a) { a.anims[1].frame_width = 3; }},
        {"strip 16-bit wrap", [](Assets& a) { a.anims[1].first_frame = 32768; a.anims[1].frame_width = 2; a.anims[1].len = 0; }},
        {"strip base below atlas", [](Assets& a) { a.sprites[16].h = 4; }},
    };
    for (const Case& c : cases) {
        Assets a = small_assets();
        c.change(a);
        EXPECT_FALSE(assets_validate(a)) << c.name;
        EXPECT_FALSE(loads(assets_build_pack(a, pak_none, 1))) << c.name;
    }
    // Within the limits: a strip that ends exactly at the atlas edge, len 31, zero-sized sprites.
    Assets ok = small_assets();
    ok.anims[1].first_frame = 3;
    ok.anims[1].len = 1;
    ok.anims[2].len = 31;
    ok.anims[2].frame_width = 0;
    ok.sprites[5] = {8, 4, 0, 0};
    EXPECT_TRUE(assets_validate(ok));
    EXPECT_TRUE(loads(ok));
}

// ---------------------------------------------------------------- the shipped pack

// The window icon and the Windows program icon: the ship scaled by whole pixels, centred on
// transparency; a ship too big for the square keeps its middle.
TEST(Icon, ShipScaledCentredOrCropped) {
    Assets a = small_assets();
    a.sprites[sprite_ship_0] = {3, 1, 2, 3};
    auto atlas = [&](int x, int y) { return &a.atlas_pixels[((size_t)y * 8 + x) * 4]; };
    for (auto [size, scale, ox, oy] : {std::tuple{8, 2, 2, 1}, std::tuple{4, 2, 0, -1}, std::tuple{7, 1, 2, 2}}) {
        std::vector<u8> icon(size_t(size * size * 4), 0xEE);
        ASSERT_TRUE(icon_from_ship(a, size, scale, icon.data()));
        for (int y = 0; y < size; y++)
            for (int x = 0; x < size; x++) {
                const u8* got = &icon[(size_t)(y * size + x) * 4];
                int sx = x - ox, sy = y - oy;
                bool inside = sx >= 0 && sy >= 0 && sx < 2 * scale && sy < 3 * scale;
                const u8 clear[4] = {0, 0, 0, 0};
                const u8* want = inside ? atlas(3 + sx / scale, 1 + sy / scale) : clear;
                ASSERT_EQ(0, std::memcmp(got, want, 4)) << size << " " << x << "," << y;
            }
    }
    a.sprites[sprite_ship_0] = {};
    u8 icon[4 * 4 * 4];
    EXPECT_FALSE(icon_from_ship(a, 4, 1, icon));
}

TEST(ShippedPack, LoadsAndHoldsTheGamesArt) {
    const std::string path = std::string(VANTOREL_BUILD_DIR) + "/data/assets.sbpak";
    Assets a;
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) {
            GTEST_SKIP() << "no built pack at " << path;
        }
        std::fclose(f);
    }
    ASSERT_TRUE(assets_load_from_file(path.c_str(), a));
    EXPECT_TRUE(assets_validate(a));
    const int W = a.atlas_size[0];
    auto px = [&](int x, int y) { return &a.atlas_pixels[((size_t)y * W + x) * 4]; };

    // Every opaque pixel is one of the four palette colours (or white, the solid patch);
    // everything else is fully transparent.
    const u8 pal[4][3] = {{255, 204, 169}, {255, 0, 77}, {62, 0, 165}, {16, 29, 52}};
    for (size_t i = 0; i < a.atlas_pixels.size(); i += 4) {
        const u8* p = &a.atlas_pixels[i];
        if (p[3] == 0) continue;
        ASSERT_EQ(p[3], 255) << i;
        bool ok = p[0] == 255 && p[1] == 255 && p[2] == 255;
        for (auto& c : pal) ok = ok || (p[0] == c[0] && p[1] == c[1] && p[2] == c[2]);
        ASSERT_TRUE(ok) << "pixel " << i / 4;
    }
    auto opaque = [&](const Sprite& s) {
        int n = 0;
        for (int y = 0; y < s.h; y++)
            for (int x = 0; x < s.w; x++) n += px(s.x + x, s.y + y)[3] == 255;
        return n;
    };
    // Solid patch: one white pixel.
    const Sprite solid = a.sprites[sprite_solid];
    ASSERT_EQ(solid.w, 1);
    ASSERT_EQ(solid.h, 1);
    const u8* s = px(solid.x, solid.y);
    EXPECT_TRUE(s[0] == 255 && s[1] == 255 && s[2] == 255 && s[3] == 255);
    // Background: at least the whole view, fully opaque, so no shake shows its edge.
    const Sprite bg = a.sprites[sprite_background];
    EXPECT_GE(bg.w, 160);
    EXPECT_GE(bg.h, 144);
    EXPECT_EQ(opaque(bg), bg.w * bg.h);
    // Ship: four same-sized, non-empty sprites.
    for (int slot = sprite_ship_0; slot <= sprite_ship_67; slot++) {
        EXPECT_EQ(a.sprites[slot].w, a.sprites[sprite_ship_0].w) << slot;
        EXPECT_EQ(a.sprites[slot].h, a.sprites[sprite_ship_0].h) << slot;
        EXPECT_GT(opaque(a.sprites[slot]), 40) << slot;
    }
    // Everything the game draws by slot has some pixels; the title fits the picture.
    for (int slot : {3, 5, 10, 11, 13, 14, 17, 18, 19, 20}) EXPECT_GT(opaque(a.sprites[slot]), 4) << slot;
    EXPECT_LE(a.sprites[sprite_title].w, 150);
    EXPECT_LE(a.sprites[sprite_title].h, 64);
    EXPECT_EQ(a.sprites[sprite_large_asteroid].w, 32);
    EXPECT_EQ(a.sprites[sprite_small_asteroid].w, 20);
    EXPECT_EQ(a.sprites[sprite_bomb].w, 20);
    EXPECT_EQ(a.sprites[sprite_chaser_asteroid].w, 14);
    // Animations: every record usable; the boss loops over at least four frames.
    for (int i = 0; i < SPRITE_ANIM_COUNT; i++) {
        const Sprite_Anim& an = a.anims[i];
        EXPECT_GE(an.len, 1) << i;
        EXPECT_GT(an.frame_width, 0) << i;
        for (int k = 0; k < an.len; k++) EXPECT_GT(an.durations[k], 0) << i;
    }
    const Sprite_Anim& boss = a.anims[boss_idle];
    EXPECT_GE(boss.len, 4);
    EXPECT_GE(boss.frame_width, 36);
    EXPECT_GE(a.sprites[boss.sprite].h, 36);
    // The real pack survives truncation at every length.
    std::vector<u8> file;
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        u8 buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) file.insert(file.end(), buf, buf + n);
        std::fclose(f);
    }
    ASSERT_TRUE(loads(file));
    for (size_t n = 0; n < file.size(); n += (n < 4096 ? 1 : 97)) {
        EXPECT_FALSE(pak_load_from_bytes(file.data(), (i64)n).has_value()) << n;
    }
}

// What keeps the art readable in play: the rocks' rim stays closed at every 15° turn the game
// draws them at (nearest sampling, as the sprite program samples), and the ship carries none
// of the red of its own charge sparkles.
TEST(ShippedPack, RocksKeepAClosedRimAtEveryTurnAndTheShipHasNoRed) {
    Assets a;
    if (!assets_load_from_file((std::string(VANTOREL_BUILD_DIR) + "/data/assets.sbpak").c_str(), a))
        GTEST_SKIP() << "no built pack";
    const int W = a.atlas_size[0];
    auto texel = [&](int x, int y) { return &a.atlas_pixels[((size_t)y * W + x) * 4]; };
    const u8 cream[3] = {255, 204, 169}, red[3] = {255, 0, 77};
    for (int slot : {sprite_small_asteroid, sprite_large_asteroid}) {
        const Sprite s = a.sprites[slot];
        const int n = s.w + s.h;  // room for any turn
        for (int step = 0; step < 24; step++) {
            f32 r = f32(step) * 15.0f * 3.14159265f / 180.0f;
            std::vector<const u8*> patch = sprite_patch(a, s, 0.5f, r, n);
            int broken = 0;
            for (int py = 1; py < n - 1; py++)
                for (int px = 1; px < n - 1; px++) {
                    const u8* t = patch[(size_t)py * n + px];
                    if (!t) continue;
                    bool outer = !patch[(size_t)(py - 1) * n + px] || !patch[(size_t)(py + 1) * n + px] ||
                                 !patch[(size_t)py * n + px - 1] || !patch[(size_t)py * n + px + 1];
                    broken += outer && std::memcmp(t, cream, 3) != 0;
                }
            EXPECT_EQ(broken, 0) << "slot " << slot << " turned " << step * 15 << "°";
        }
    }
    for (int slot = sprite_ship_0; slot <= sprite_ship_67; slot++) {
        const Sprite s = a.sprites[slot];
        for (int y = 0; y < s.h; y++)
            for (int x = 0; x < s.w; x++) {
                const u8* t = texel(s.x + x, s.y + y);
                EXPECT_FALSE(t[3] == 255 && std::memcmp(t, red, 3) == 0) << "slot " << slot << " at " << x << "," << y;
            }
    }
}

// Every actor a player must tell apart has a shape of its own: as drawn (its opaque pixels)
// and as a protanope sees it by brightness over navy space and over the purple nebula (the
// pixels whose simulated luminance stands 2:1 from the background's). Two actors are alike
// when, centred on their centroids, at any turns the game draws them at, their shapes overlap
// by more than 70 % (intersection over union); an actor that shows a protanope less than a
// fifth of itself is lost against that background.
TEST(ShippedPack, EveryActorHasAShapeOfItsOwnAlsoToAProtanope) {
    Assets a;
    if (!assets_load_from_file((std::string(VANTOREL_BUILD_DIR) + "/data/assets.sbpak").c_str(), a))
        GTEST_SKIP() << "no built pack";
    constexpr int N = 48;  // pixels: room for the marker and any turned rock
    struct Actor { const char* name; int slot, slots; f32 scale; int turns; };  // the ship has four slots
    const Actor actors[] = {
        {"target marker", sprite_target, 1, 1, 1}, {"bomb", sprite_bomb, 1, 0.5f, 1},
        {"heart", sprite_pickup, 1, PULSE_SCALE, 1}, {"boss bullet", sprite_boss_bullet, 1, PULSE_SCALE, 1},
        {"chaser", sprite_chaser_asteroid, 1, 0.5f, 24}, {"small rock", sprite_small_asteroid, 1, 0.5f, 24},
        {"large rock", sprite_large_asteroid, 1, 0.5f, 24}, {"ship", sprite_ship_0, 4, 0.5f, 4},
        {"player bullet", sprite_player_bullet, 1, 0.5f, 24}};
    auto protanope_luminance = [](const u8* rgb) {  // Machado, Oliveira and Fernandes (2009), on linear RGB
        static const f32 M[3][3] = {{0.152286f, 1.052583f, -0.204868f}, {0.114503f, 0.786281f, 0.099216f},
                                    {-0.003882f, -0.048116f, 1.051998f}};
        f32 lin[3], y = 0;
        for (int i = 0; i < 3; i++) {
            f32 c = rgb[i] / 255.0f;
            lin[i] = c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
        }
        for (int i = 0; i < 3; i++) y += (i == 0 ? 0.2126f : i == 1 ? 0.7152f : 0.0722f) *
                                         std::max(0.0f, M[i][0] * lin[0] + M[i][1] * lin[1] + M[i][2] * lin[2]);
        return y;
    };
    const u8 navy[3] = {16, 29, 52}, purple[3] = {62, 0, 165};
    const u8* backgrounds[3] = {nullptr, navy, purple};  // nullptr: as drawn
    const char* views[3] = {"as drawn", "to a protanope over navy", "to a protanope over purple"};
    std::vector<std::vector<u8>> masks[std::size(actors)][3];  // per pose, centred on the centroid
    for (size_t n = 0; n < std::size(actors); n++)
        for (int slot = actors[n].slot; slot < actors[n].slot + actors[n].slots; slot++)
            for (int k = 0; k < actors[n].turns; k++) {
                auto patch = sprite_patch(a, a.sprites[slot], actors[n].scale, 2 * PI * k / actors[n].turns, N);
                for (int v = 0; v < 3; v++) {
                    f32 bg = backgrounds[v] ? protanope_luminance(backgrounds[v]) : 0, cx = 0, cy = 0, count = 0;
                    std::vector<u8> shown(N * N, 0), m(N * N, 0);
                    for (int i = 0; i < N * N; i++) {
                        f32 l = backgrounds[v] && patch[i] ? protanope_luminance(patch[i]) : bg;
                        bool stands_out = !backgrounds[v] || std::max(l, bg) + 0.05f >= 2 * (std::min(l, bg) + 0.05f);
                        shown[i] = patch[i] && stands_out;
                        if (shown[i]) cx += i % N, cy += i / N, count += 1;
                    }
                    int sx = count ? int(std::lround(N / 2.0f - 0.5f - cx / count)) : 0;
                    int sy = count ? int(std::lround(N / 2.0f - 0.5f - cy / count)) : 0;
                    for (int i = 0, x, y; i < N * N; i++)
                        if (shown[i] && (x = i % N + sx) >= 0 && x < N && (y = i / N + sy) >= 0 && y < N)
                            m[y * N + x] = 1;
                    masks[n][v].push_back(m);
                }
            }
    auto area = [](const std::vector<u8>& m) { return f32(std::count(m.begin(), m.end(), 1)); };
    for (size_t i = 0; i < std::size(actors); i++) {
        for (int v = 1; v < 3; v++)
            EXPECT_GE(area(masks[i][v][0]), 0.2f * area(masks[i][0][0])) << actors[i].name << " is lost " << views[v];
        for (size_t j = i + 1; j < std::size(actors); j++)
            for (int v = 0; v < 3; v++) {
                f32 alike = 0;
                for (const auto& p : masks[i][v])
                    for (const auto& q : masks[j][v]) {
                        int both = 0, either = 0;
                        for (int k = 0; k < N * N; k++) both += p[k] & q[k], either += p[k] | q[k];
                        alike = std::max(alike, either ? f32(both) / f32(either) : 0);
                    }
                EXPECT_LE(alike, 0.7f) << actors[i].name << " and " << actors[j].name << " alike " << views[v];
            }
    }
}
