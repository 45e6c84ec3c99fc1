#include "icon.h"

#include <cstring>

bool icon_from_ship(const Assets& a, int size, int scale, u8* rgba) {
    const Sprite& s = a.sprites[sprite_ship_0];
    if (s.w == 0 || s.h == 0 || scale < 1 || size < 1) return false;
    std::memset(rgba, 0, size_t(size) * size_t(size) * 4);
    // A ship wider than the square loses its edges rather than the icon.
    int ox = (size - s.w * scale) / 2, oy = (size - s.h * scale) / 2;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            if (x < ox || y < oy) continue;
            int sx = (x - ox) / scale, sy = (y - oy) / scale;
            if (sx >= s.w || sy >= s.h) continue;
            size_t src = (size_t(s.y + sy) * size_t(a.atlas_size[0]) + size_t(s.x + sx)) * 4;
            std::memcpy(rgba + (size_t(y) * size_t(size) + size_t(x)) * 4, a.atlas_pixels.data() + src, 4);
        }
    return true;
}
