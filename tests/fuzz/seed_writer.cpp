// Writes small, valid seed inputs for the fuzz targets, so the fuzzer starts past the
// headers: tiny packs (with a hand-built TrueType font of a few glyphs) and tiny banks,
// banks of crafted Vorbis streams (one that decodes, the hostile set-ups the checks refuse),
// plus a cut-down copy of the real main bank when its path is given.
//   seed_writer <pak_seed_dir> <bank_seed_dir> [real persistent.bank] [real strings bank]
//   seed_writer --font <pack> <out.ttf>    the font a pack carries, for the font target
//   seed_writer --tiny-font <out.ttf>      the hand-built font of the tiny packs
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "../harness.h"
#include "game/assets.h"
#include "game/bank.h"
#include "game/bytes.h"

namespace {

using Bytes = std::vector<u8>;

void _be16(Bytes& b, u32 v) {
    b.push_back(u8(v >> 8));
    b.push_back(u8(v));
}

void _be32(Bytes& b, u32 v) {
    _be16(b, v >> 16);
    _be16(b, v & 0xffff);
}

void _put_be16(Bytes& b, size_t at, u32 v) {
    b[at] = u8(v >> 8);
    b[at + 1] = u8(v);
}

// A glyph outline of straight on-curve points, one contour per list.
Bytes _simple_glyph(const std::vector<std::vector<std::pair<i16, i16>>>& contours, bool curve) {
    i16 x0 = 32767, y0 = 32767, x1 = -32768, y1 = -32768;
    for (const auto& c : contours)
        for (auto [x, y] : c) {
            x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        }
    Bytes g;
    _be16(g, u16(contours.size()));
    _be16(g, u16(x0)), _be16(g, u16(y0)), _be16(g, u16(x1)), _be16(g, u16(y1));
    u16 end = 0;
    for (const auto& c : contours) {
        end = u16(end + c.size());
        _be16(g, end - 1u);
    }
    _be16(g, 0);  // no instructions
    int i = 0;
    for (const auto& c : contours)
        for (size_t k = 0; k < c.size(); k++, i++) g.push_back(curve && k == 1 ? 0 : 1);
    i16 px = 0, py = 0;
    for (const auto& c : contours)
        for (auto [x, y] : c) _be16(g, u16(i16(x - px))), px = x;
    for (const auto& c : contours)
        for (auto [x, y] : c) _be16(g, u16(i16(y - py))), py = y;
    if (g.size() % 2) g.push_back(0);
    return g;
}

// A composite of glyphs 1 and 2, the second one shifted.
Bytes _composite_glyph() {
    Bytes g;
    _be16(g, 0xffff);
    _be16(g, 0), _be16(g, 0), _be16(g, 900), _be16(g, 800);
    _be16(g, 0x0001 | 0x0002 | 0x0020), _be16(g, 1), _be16(g, 0), _be16(g, 0);
    _be16(g, 0x0001 | 0x0002), _be16(g, 2), _be16(g, 300), _be16(g, 100);
    return g;
}

// A TrueType file with cmap (format 4, both a delta and a glyph-array segment), glyf,
// head, hhea, hmtx, loca and maxp: enough for the baker to draw 'A'…'C' and 'a'…'b'.
Bytes _tiny_font() {
    std::vector<Bytes> glyphs = {
        {},
        _simple_glyph({{{100, 0}, {100, 600}, {500, 600}, {500, 0}}}, false),
        _simple_glyph({{{0, 0}, {300, 700}, {600, 0}}, {{200, 100}, {300, 300}, {400, 100}}}, true),
        _composite_glyph(),
    };
    const u16 num_glyphs = u16(glyphs.size());

    Bytes glyf, loca;
    for (const Bytes& g : glyphs) {
        _be16(loca, u32(glyf.size() / 2));
        glyf.insert(glyf.end(), g.begin(), g.end());
    }
    _be16(loca, u32(glyf.size() / 2));

    Bytes head;
    _be32(head, 0x00010000), _be32(head, 0x00010000), _be32(head, 0), _be32(head, 0x5F0F3CF5);
    _be16(head, 0), _be16(head, 1000);
    for (int i = 0; i < 16; i++) head.push_back(0);  // created, modified
    _be16(head, 0), _be16(head, 0), _be16(head, 900), _be16(head, 800);
    _be16(head, 0), _be16(head, 8), _be16(head, 2), _be16(head, 0), _be16(head, 0);

    Bytes hhea;
    _be32(hhea, 0x00010000);
    _be16(hhea, 800), _be16(hhea, u16(-200)), _be16(hhea, 0), _be16(hhea, 1000);
    for (int i = 0; i < 11; i++) _be16(hhea, 0);
    _be16(hhea, num_glyphs);

    Bytes hmtx;
    for (u16 i = 0; i < num_glyphs; i++) _be16(hmtx, 1000), _be16(hmtx, 50);

    Bytes maxp;
    _be32(maxp, 0x00005000), _be16(maxp, num_glyphs);

    // Segments: 'A'..'C' by delta, 'a'..'b' through the glyph array, then the end marker.
    Bytes cmap;
    _be16(cmap, 0), _be16(cmap, 1);
    _be16(cmap, 3), _be16(cmap, 1), _be32(cmap, 12);
    const u16 seg_x2 = 6;
    Bytes sub;
    _be16(sub, 4), _be16(sub, 0), _be16(sub, 0);
    _be16(sub, seg_x2), _be16(sub, 4), _be16(sub, 1), _be16(sub, 2);
    _be16(sub, 'C'), _be16(sub, 'b'), _be16(sub, 0xffff);
    _be16(sub, 0);
    _be16(sub, 'A'), _be16(sub, 'a'), _be16(sub, 0xffff);
    _be16(sub, u16(1 - 'A')), _be16(sub, 0), _be16(sub, 1);
    _be16(sub, 0), _be16(sub, 4), _be16(sub, 0);  // 'a' reads glyphIdArray[0]
    _be16(sub, 3), _be16(sub, 2);
    _put_be16(sub, 2, u32(sub.size()));
    cmap.insert(cmap.end(), sub.begin(), sub.end());

    struct Table { const char* tag; const Bytes* data; };
    const Table tables[] = {{"cmap", &cmap}, {"glyf", &glyf}, {"head", &head}, {"hhea", &hhea},
                            {"hmtx", &hmtx}, {"loca", &loca}, {"maxp", &maxp}};
    const u16 n = u16(std::size(tables));
    Bytes font;
    _be32(font, 0x00010000), _be16(font, n), _be16(font, 64), _be16(font, 2), _be16(font, n * 16 - 64);
    u32 offset = 12 + 16u * n;
    for (const Table& t : tables) {
        font.insert(font.end(), t.tag, t.tag + 4);
        _be32(font, 0), _be32(font, offset), _be32(font, u32(t.data->size()));
        offset += u32((t.data->size() + 3) & ~size_t(3));
    }
    for (const Table& t : tables) {
        font.insert(font.end(), t.data->begin(), t.data->end());
        while (font.size() % 4) font.push_back(0);
    }
    return font;
}

Assets _tiny_assets() {
    Assets a;
    a.atlas_size[0] = 8;
    a.atlas_size[1] = 4;
    a.atlas_pixels.resize(8 * 4 * 4);
    for (size_t i = 0; i < a.atlas_pixels.size(); i++) a.atlas_pixels[i] = u8(i * 37);
    for (int i = 0; i < SPRITE_COUNT; i++) a.sprites[i] = {u16(i % 8), u16(i % 4), 1, 1};
    a.sprites[4] = {0, 1, 2, 3};
    for (Sprite_Anim& an : a.anims) {
        std::memset(&an, 0, sizeof an);
        an.sprite = 4;
        an.len = 3;
        an.first_frame = 1;
        an.frame_width = 2;
        for (int k = 0; k < 3; k++) an.durations[k] = u16(80 + k);
        an.duration = 0.243f;
    }
    a.font_data = _tiny_font();
    return a;
}

// The smallest module of the shape a bank holds: two channels, one pattern of four rows
// with a note and a let-go, one instrument with an envelope and a looped 16-bit period.
Bytes _tiny_module() {
    Bytes o;
    const char magic[] = "Extended Module: tiny";
    o.insert(o.end(), magic, magic + 21);
    o.insert(o.end(), 16, u8(0));
    o.push_back(0x1A);
    o.insert(o.end(), 20, u8(' '));
    bytes_put_u16(o, 0x0104);
    bytes_put_u32(o, 276);
    for (u16 v : {1, 0, 2, 1, 1, 1, 6, 125}) bytes_put_u16(o, v);  // orders .. bpm
    o.insert(o.end(), 256, u8(0));
    const u8 cells[] = {0x83, 49, 1, 0x80, 0x80, 0x80, 0x81, 97, 0x80, 0x90, 0x0C, 0x80};
    bytes_put_u32(o, 9);
    o.push_back(0);
    bytes_put_u16(o, 4);
    bytes_put_u16(o, u16(sizeof cells));
    o.insert(o.end(), cells, cells + sizeof cells);
    size_t instrument = o.size();
    bytes_put_u32(o, 263);
    o.insert(o.end(), 23, u8(0));
    bytes_put_u16(o, 1);
    bytes_put_u32(o, 40);
    o.insert(o.end(), 96, u8(0));
    for (u16 v : {0, 64, 10, 32}) bytes_put_u16(o, v);  // two envelope points
    o.insert(o.end(), 48 - 8 + 48, u8(0));
    o.insert(o.end(), {2, 0, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0});
    bytes_put_u16(o, 256);
    o.insert(o.end(), 263 - (o.size() - instrument), u8(0));
    const i16 period[8] = {0, 9000, 16000, 9000, 0, -9000, -16000, -9000};
    bytes_put_u32(o, sizeof period);
    bytes_put_u32(o, 0);
    bytes_put_u32(o, sizeof period);
    o.insert(o.end(), {48, 0, 0x11, 0x80, 36, 0});
    o.insert(o.end(), 22, u8(0));
    i16 previous = 0;
    for (i16 v : period) {
        bytes_put_u16(o, u16(i16(v - previous)));
        previous = v;
    }
    return o;
}

Bank _tiny_bank() {
    Bank b;
    const char stream[] = "OggS\0\2 not really a stream";
    b.data.assign(stream, stream + sizeof stream);
    b.events.push_back({BANK_RATE, 1, false, 0.5f, 0, 2, 441, 0, 6});
    b.events.push_back({BANK_RATE, 2, true, 1, 1.5f, 1, BANK_RATE * 60, 8, 12});
    Bytes module = _tiny_module();
    Bank_Event tune = {BANK_RATE, 2, true, 0.8f, 1, 2, 4 * 6 * 882, u32(b.data.size()), u32(module.size())};
    tune.codec = codec_module;
    b.events.push_back(tune);
    b.data.insert(b.data.end(), module.begin(), module.end());
    return b;
}

// One event whose stream is crafted with these codebooks.
Bytes _crafted_bank(const std::vector<Crafted_Book>& books) {
    Crafted_Stream c;
    c.books = books;
    c.frames = 441;
    Bank b;
    b.data = crafted_vorbis(c);
    b.events.push_back({BANK_RATE, 1, false, 1, 0, 1, c.frames, 0, u32(b.data.size())});
    Bytes out;
    return bank_write(b, out) ? out : Bytes{};
}

Strings_Bank _tiny_strings() {
    Strings_Bank s;
    s.entries = {{"event:/shot", 0}, {"event:/music_menu", 1}, {"event:/missing", 7}};
    return s;
}

// The real bank's event table with every event's stream cut to its first bytes (the
// start of its first Ogg page), and every module swapped for the tiny one.
bool _cut_down(const char* path, Bytes& out) {
    std::optional<Bank> real = bank_read_file(path);
    if (!real) return false;
    Bank small;
    const Bytes tiny = _tiny_module();
    for (const Bank_Event& e : real->events) {
        Bank_Event c = e;
        c.first_byte = u32(small.data.size());
        if (e.codec == codec_module) {
            c.byte_count = u32(tiny.size());
            small.data.insert(small.data.end(), tiny.begin(), tiny.end());
        } else {
            c.byte_count = std::min<u32>(e.byte_count, 16);
            small.data.insert(small.data.end(), real->data.begin() + e.first_byte,
                              real->data.begin() + e.first_byte + c.byte_count);
        }
        small.events.push_back(c);
    }
    return bank_write(small, out);
}

bool _read(const char* path, Bytes& out) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    u8 chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + n);
    std::fclose(f);
    return true;
}

bool _write(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

Bytes _concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--tiny-font") return _write(argv[2], _tiny_font()) ? 0 : 1;
    if (argc == 4 && std::string(argv[1]) == "--font") {
        Bytes file;
        std::optional<std::vector<u8>> payload;
        Assets a;
        if (_read(argv[2], file)) payload = pak_load_from_bytes(file.data(), (i64)file.size());
        Serializer s = serializer_reader(payload ? payload->data() : nullptr, payload ? (i64)payload->size() : 0);
        if (!payload || !assets_serialize(s, a) || a.font_data.empty() || !_write(argv[3], a.font_data)) {
            std::fprintf(stderr, "seed_writer: no font from %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: seed_writer <pak_seed_dir> <bank_seed_dir> [bank] [strings bank]\n");
        return 2;
    }
    const std::string pak_dir = argv[1], bank_dir = argv[2];
    bool ok = true;

    Assets a = _tiny_assets();
    Assets check;
    Bytes plain = assets_build_pack(a, pak_none, 1), packed = assets_build_pack(a, pak_lz4, 1);
    ok = ok && assets_load_from_bytes(plain.data(), (i64)plain.size(), check);
    ok = ok && _write(pak_dir + "/tiny_none.sbpak", plain) && _write(pak_dir + "/tiny_lz4.sbpak", packed);

    Bytes bank, strings;
    ok = ok && bank_module_valid(_tiny_module().data(), _tiny_module().size());
    ok = ok && bank_write(_tiny_bank(), bank) && strings_bank_write(_tiny_strings(), strings);
    ok = ok && _write(bank_dir + "/tiny.bank", bank) && _write(bank_dir + "/tiny.strings.bank", strings);
    ok = ok && _write(bank_dir + "/tiny_pair", _concat(bank, strings));
    ok = ok && _write(bank_dir + "/crafted.bank", _crafted_bank({{2, 1, 0}, {81, 4, 1}, {16, 2, 2}}));
    ok = ok && _write(bank_dir + "/crafted_stack.bank", _crafted_bank({{1u << 22, 1, 0}}));
    ok = ok && _write(bank_dir + "/crafted_bomb.bank", _crafted_bank(std::vector<Crafted_Book>(220, {1u << 19, 1, 0})));

    if (argc > 3) {
        Bytes real_cut;
        ok = ok && _cut_down(argv[3], real_cut) && _write(bank_dir + "/real_cut.bank", real_cut);
        Bytes real_strings;
        if (ok && argc > 4 && _read(argv[4], real_strings)) {
            ok = _write(bank_dir + "/real.strings.bank", real_strings) &&
                 _write(bank_dir + "/real_pair", _concat(real_cut, real_strings));
        }
    }
    if (!ok) std::fprintf(stderr, "seed_writer: could not write the seeds\n");
    return ok ? 0 : 1;
}
