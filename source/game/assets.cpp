// The payload of the asset pack and the limits the game accepts beyond the stream format.
#include "assets.h"

#include <algorithm>

bool assets_serialize(Serializer& s, Assets& a) {
    if (!serialize(s, a.sprites)) return false;
    if (!serialize(s, a.anims)) return false;
    if (!serialize(s, a.atlas_size)) return false;
    if (!_serialize_bytes(s, a.atlas_pixels)) return false;
    if (!_serialize_bytes(s, a.font_data)) return false;
    return true;  // trailing payload bytes are ignored
}

bool assets_validate(const Assets& a) {
    const i64 w = a.atlas_size[0], h = a.atlas_size[1];
    if (w <= 0 || h <= 0) return false;
    if (a.atlas_pixels.empty() || a.font_data.empty()) return false;
    if (a.atlas_pixels.size() % 4 != 0 || (i64)(a.atlas_pixels.size() / 4) != w * h) return false;
    // Sprite rectangles use u16 coordinates, and animator_sprite computes in 16-bit
    // arithmetic: nothing may reach past the atlas or past 65535.
    const i64 max_x = std::min<i64>(w, 65535), max_y = std::min<i64>(h, 65535);
    for (const Sprite& sp : a.sprites) {
        if ((i64)sp.x + sp.w > max_x || (i64)sp.y + sp.h > max_y) return false;
    }
    for (const Sprite_Anim& an : a.anims) {
        if (an.sprite >= SPRITE_COUNT) return false;
        if (an.len >= ANIM_MAX_FRAMES) return false;
        const Sprite& base = a.sprites[an.sprite];
        // Frames first_frame … first_frame + len − 1 lie side by side from base.x.
        i64 right = (i64)base.x + (i64)an.frame_width * ((i64)an.first_frame + an.len);
        if (right > max_x) return false;
        if ((i64)base.y + base.h > max_y) return false;
    }
    return true;
}

static bool _assets_from_payload(const std::optional<std::vector<u8>>& payload, Assets& out) {
    if (!payload) return false;
    Serializer s = serializer_reader(payload->data(), (i64)payload->size());
    Assets a;
    if (!assets_serialize(s, a)) return false;
    if (!assets_validate(a)) return false;
    out = std::move(a);
    return true;
}

bool assets_load_from_bytes(const u8* bytes, i64 len, Assets& out) {
    return _assets_from_payload(pak_load_from_bytes(bytes, len), out);
}

bool assets_load_from_file(const char* path, Assets& out) {
    return _assets_from_payload(pak_load_from_file(path), out);
}

std::vector<u8> assets_build_pack(const Assets& a, Pak_Compression compression, i32 version) {
    Assets copy = a;  // assets_serialize takes the record by reference (both directions)
    Serializer s = serializer_writer();
    if (!assets_serialize(s, copy)) return {};
    return pak_build(s.data, compression, version);
}
