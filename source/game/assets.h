// The payload of the asset pack.
#pragma once
#include <vector>
#include "pak.h"
#include "serializer.h"
#include "sprite.h"

struct Assets {
    Sprite sprites[SPRITE_COUNT] = {};
    Sprite_Anim anims[SPRITE_ANIM_COUNT] = {};
    i32 atlas_size[2] = {};  // width, height in pixels
    std::vector<u8> atlas_pixels;  // RGBA8 rows top to bottom
    std::vector<u8> font_data;     // TrueType file
};

bool assets_serialize(Serializer& s, Assets& a);
// The limits the game accepts beyond what the stream format allows.
bool assets_validate(const Assets& a);
// Pack file -> validated assets. False for anything the game cannot use.
bool assets_load_from_file(const char* path, Assets& out);
// Same, from the bytes of a whole pack file.
bool assets_load_from_bytes(const u8* bytes, i64 len, Assets& out);
// The writing direction: the whole pack file for these assets (empty on failure).
std::vector<u8> assets_build_pack(const Assets& a, Pak_Compression compression, i32 version);
