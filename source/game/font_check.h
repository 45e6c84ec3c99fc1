// A guard in front of the TrueType baker, which trusts every offset and count in a font.
#pragma once
#include <cstddef>

#include "common.h"

// True when baking code points first_codepoint … first_codepoint + count − 1 at pixel_height
// into a square bitmap of atlas_size pixels only reads inside the len bytes at ttf, every
// outline stays inside its glyph's box and every glyph fits the bitmap. Fonts with CFF
// outlines are refused.
bool font_check(const u8* ttf, size_t len, int first_codepoint, int count, f32 pixel_height,
                int atlas_size);
