// Turns a frame's captured glyph list back into the texts drawn and their pen positions.
#pragma once
#include <cmath>
#include <string>
#include <vector>

#include "game/renderer.h"

struct Text_Run {
    std::string text;
    f32 x, y;  // pen start on the baseline, screen units
    f32 size;  // 8 or 16
    u8 color[4];
};

inline int glyph_for_uv(const Font_Instance& g) {
    int x0 = int(std::lround(g.uv_pos[0] * FONT_ATLAS_SIZE)), y0 = int(std::lround(g.uv_pos[1] * FONT_ATLAS_SIZE));
    int w = int(std::lround(g.uv_size[0] * FONT_ATLAS_SIZE));
    for (int i = 0; i < FONT_GLYPH_COUNT; i++) {
        const Baked_Glyph& b = renderer.glyph_table[i];
        if (b.x0 == x0 && b.y0 == y0 && b.x1 - b.x0 == w) return i;
    }
    return -1;
}

// Glyphs of one call share colour and baseline and follow each other by their advances.
inline std::vector<Text_Run> text_runs(const std::vector<Font_Instance>& glyphs) {
    std::vector<Text_Run> runs;
    f32 next_pen = 0;
    for (const Font_Instance& g : glyphs) {
        int i = glyph_for_uv(g);
        if (i < 0) continue;
        const Baked_Glyph& b = renderer.glyph_table[i];
        f32 w = f32(b.x1 - b.x0), h = f32(b.y1 - b.y0);
        // A space has no extent; it takes the scale of the text it sits in.
        f32 u = w > 0 ? g.size[0] / w : (h > 0 ? g.size[1] / h : (runs.empty() ? 1 : runs.back().size / 8));
        f32 pen_y = g.pos[1] - std::floor(b.yoff + 0.5f) * u;
        f32 pen_x = g.pos[0] - std::floor(b.xoff + 0.5f) * u;
        bool same = !runs.empty() && std::equal(g.color, g.color + 4, runs.back().color) &&
                    runs.back().y == pen_y && std::fabs(pen_x - next_pen) < 0.01f;
        if (!same) {
            Text_Run r;
            r.x = pen_x;
            r.y = pen_y;
            r.size = 8 * u;
            std::copy(g.color, g.color + 4, r.color);
            runs.push_back(r);
        }
        runs.back().text += char(32 + i);
        next_pen = pen_x + b.xadvance * u;
    }
    return runs;
}

inline const Text_Run* find_run(const std::vector<Text_Run>& runs, const std::string& text, bool white) {
    for (const Text_Run& r : runs)
        if (r.text == text && (r.color[1] == 255) == white && r.color[0] == 255) return &r;
    return nullptr;
}
