// libFuzzer target: a whole asset pack file through the pack reader, the payload reader,
// the game's limits and the font baking the game does with what passed them.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "game/assets.h"
#include "game/font_check.h"
#include "game/pak.h"
#include "game/renderer.h"
#include "headless_device.h"
#include "game/serializer.h"


namespace {

void _require(bool ok) {
    if (!ok) std::abort();
}

// Reads one atlas pixel the way the game indexes it; ASan reports it if validation let
// a rectangle reach past the pixels.
u8 _pixel(const Assets& a, i64 x, i64 y) {
    _require(x >= 0 && y >= 0 && x < a.atlas_size[0] && y < a.atlas_size[1]);
    return a.atlas_pixels[size_t((y * a.atlas_size[0] + x) * 4 + 3)];
}

void _check_valid_assets(const Assets& a) {
    unsigned sum = 0;
    for (const Sprite& s : a.sprites) {
        if (s.w == 0 || s.h == 0) continue;
        sum += _pixel(a, s.x, s.y) + _pixel(a, i64(s.x) + s.w - 1, i64(s.y) + s.h - 1);
    }
    for (const Sprite_Anim& an : a.anims) {
        const Sprite& base = a.sprites[an.sprite];
        if (an.len == 0 || an.frame_width == 0 || base.h == 0) continue;
        i64 last_right = i64(base.x) + i64(an.frame_width) * (i64(an.first_frame) + an.len) - 1;
        sum += _pixel(a, last_right, i64(base.y) + base.h - 1);
    }
    volatile unsigned sink = sum;
    (void)sink;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    std::vector<u8> file(data, data + size);  // exact size, so ASan sees over-reads
    std::optional<std::vector<u8>> payload = pak_load_from_bytes(file.data(), (i64)file.size());

    Assets whole;
    bool loaded = assets_load_from_bytes(file.data(), (i64)file.size(), whole);
    if (!payload) {
        _require(!loaded);
        return 0;
    }

    // The payload survives a trip through the writer in both compressions (the reader
    // refuses empty lz4 blocks, which no asset payload is).
    for (Pak_Compression c : {pak_none, pak_lz4}) {
        if (payload->empty() && c == pak_lz4) continue;
        std::vector<u8> again = pak_build(*payload, c, 1);
        _require(!again.empty());
        std::optional<std::vector<u8>> back = pak_load_from_bytes(again.data(), (i64)again.size());
        _require(back && *back == *payload);
    }

    Serializer s = serializer_reader(payload->data(), (i64)payload->size());
    Assets a;
    if (!assets_serialize(s, a)) {
        _require(!loaded);
        return 0;
    }
    // Writing the record gives back exactly the bytes it was read from.
    Assets copy = a;
    Serializer w = serializer_writer();
    _require(assets_serialize(w, copy));
    _require((i64)w.data.size() == s.read_offset &&
             std::memcmp(w.data.data(), payload->data(), w.data.size()) == 0);

    bool valid = assets_validate(a);
    _require(valid == loaded);
    if (!valid) return 0;
    _check_valid_assets(a);
    // The game bakes only fonts the guard passes; the baker itself trusts every offset.
    if (font_check(a.font_data.data(), a.font_data.size(), FONT_FIRST_CODEPOINT, FONT_GLYPH_COUNT,
                   FONT_PIXEL_HEIGHT, FONT_ATLAS_SIZE))
        _require(_renderer_load_font_data(a.font_data.data(), a.font_data.size()));
    return 0;
}
