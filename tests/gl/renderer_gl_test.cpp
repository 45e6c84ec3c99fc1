// Draws through the real device code into a real window and reads the
// window back before the swap. Needs a display (run under Xvfb).
#include "game/renderer.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Rgb = std::array<u8, 3>;

// Hand-made 8 × 8 atlas: solid white, an orientation marker, a transparent patch.
constexpr int ATLAS = 8;
constexpr Rgb WHITE_RGB = {255, 255, 255};
constexpr Rgb BLACK_RGB = {0, 0, 0};
constexpr Rgb RED_RGB = {255, 0, 0};

struct Rect {
    int x, y, w, h;
};
constexpr Rect SOLID = {0, 0, 4, 4};
constexpr Rect MARKER = {4, 0, 4, 4};  // top-left red, top-right white, bottom half black
constexpr Rect CLEAR_PATCH = {0, 4, 4, 4};

struct Gl_Env {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    Renderer_Device* device = nullptr;
    int w = 0, h = 0;
};

Rgb _texel_rgb(const Color& c) {
    return {u8(c.r * 255.0f), u8(c.g * 255.0f), u8(c.b * 255.0f)};
}

// Nearest palette colour to each cell's lower corner; earlier colours win ties.
void _game_palette_texels(u8 out[2048]) {
    for (int r = 0; r < 8; ++r)
        for (int g = 0; g < 8; ++g)
            for (int b = 0; b < 8; ++b) {
                f32 q[3] = {r / 8.0f, g / 8.0f, b / 8.0f};
                int best = 0;
                f32 best_d = 1e10f;
                for (int i = 0; i < 4; ++i) {
                    const Color& c = PALETTE[i];
                    f32 d = std::sqrt((c.r - q[0]) * (c.r - q[0]) + (c.g - q[1]) * (c.g - q[1]) +
                                      (c.b - q[2]) * (c.b - q[2]));
                    if (d < best_d) {
                        best_d = d;
                        best = i;
                    }
                }
                u8* t = out + ((r * 8 + g) * 8 + b) * 4;
                Rgb rgb = _texel_rgb(PALETTE[best]);
                t[0] = rgb[0], t[1] = rgb[1], t[2] = rgb[2], t[3] = u8(PALETTE[best].a * 255.0f);
            }
}

// Every cell holds its own coordinates, so a read-back names the cell that was picked.
Rgb _cell_code(int r, int g, int b) { return {u8(r * 32 + 16), u8(g * 32 + 16), u8(b * 32 + 16)}; }

void _coded_palette_texels(u8 out[2048]) {
    for (int r = 0; r < 8; ++r)
        for (int g = 0; g < 8; ++g)
            for (int b = 0; b < 8; ++b) {
                u8* t = out + ((r * 8 + g) * 8 + b) * 4;
                Rgb code = _cell_code(r, g, b);
                t[0] = code[0], t[1] = code[1], t[2] = code[2], t[3] = 255;
            }
}

int _bin(int channel_byte) {
    int b = channel_byte * 8 / 255;
    return b < 7 ? b : 7;
}

std::vector<u8> _hand_atlas() {
    std::vector<u8> px(ATLAS * ATLAS * 4, 0);
    auto put = [&](int x, int y, Rgb c, u8 a) {
        u8* p = &px[(y * ATLAS + x) * 4];
        p[0] = c[0], p[1] = c[1], p[2] = c[2], p[3] = a;
    };
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            put(SOLID.x + x, SOLID.y + y, WHITE_RGB, 255);
            Rgb m = y >= 2 ? BLACK_RGB : (x < 2 ? RED_RGB : WHITE_RGB);
            put(MARKER.x + x, MARKER.y + y, m, 255);
            put(CLEAR_PATCH.x + x, CLEAR_PATCH.y + y, WHITE_RGB, 0);
        }
    return px;
}

Gl_Env& _env() {
    static Gl_Env env;
    if (env.device) return env;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        ADD_FAILURE() << "SDL_Init: " << SDL_GetError();
        return env;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    env.window = SDL_CreateWindow("Vantorel GL test", 0, 0, 640, 576, SDL_WINDOW_OPENGL);
    if (!env.window) {
        ADD_FAILURE() << "SDL_CreateWindow: " << SDL_GetError();
        return env;
    }
    env.context = SDL_GL_CreateContext(env.window);
    if (!env.context) {
        ADD_FAILURE() << "SDL_GL_CreateContext: " << SDL_GetError();
        return env;
    }
    u8 texels[2048];
    _game_palette_texels(texels);
    env.device = renderer_device_create(texels);
    std::vector<u8> atlas = _hand_atlas();
    renderer_device_load_atlas(env.device, ATLAS, ATLAS, atlas.data());
    std::vector<u8> font(FONT_ATLAS_SIZE * FONT_ATLAS_SIZE, 0);
    // glyph cell at (0,0), 4 × 4: only its top-left 2 × 2 covered; (8,0): coverage 80
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            font[y * FONT_ATLAS_SIZE + x] = (x < 2 && y < 2) ? 255 : 0;
            font[y * FONT_ATLAS_SIZE + 8 + x] = 80;
        }
    renderer_device_load_font(env.device, font.data());
    return env;
}

void _use_palette(u8 const texels[2048]) { renderer_device_load_palette(_env().device, texels); }

void _use_game_palette() {
    u8 texels[2048];
    _game_palette_texels(texels);
    _use_palette(texels);
}

bool _resize(int w, int h) {
    Gl_Env& e = _env();
    if (!e.device) return false;
    SDL_SetWindowSize(e.window, w, h);
    for (int i = 0; i < 200; ++i) {
        SDL_PumpEvents();
        int dw = 0, dh = 0;
        SDL_GL_GetDrawableSize(e.window, &dw, &dh);
        if (dw == w && dh == h) {
            e.w = w, e.h = h;
            return true;
        }
        SDL_Delay(5);
    }
    ADD_FAILURE() << "window did not reach " << w << " x " << h;
    return false;
}

// clip = (x, y, z, 1) × M, M row by row
void _screen_mvp(f32 m[16]) {
    const f32 r[16] = {2.0f / VIEW_W, 0, 0, 0, 0, 2.0f / VIEW_H, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1};
    for (int i = 0; i < 16; ++i) m[i] = r[i];
}

void _world_mvp(f32 m[16]) {
    const f32 r[16] = {2.0f / VIEW_W, 0, 0, 0, 0, -2.0f / VIEW_H, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) m[i] = r[i];
}

// Window picture, rows top to bottom.
struct Picture {
    int w = 0, h = 0;
    std::vector<u8> rgba;
    Rgb at(int x, int y) const {
        const u8* p = &rgba[(size_t(y) * w + x) * 4];
        return {p[0], p[1], p[2]};
    }
};

Picture _draw(const std::vector<Sprite_Instance>& sprites, const std::vector<Font_Instance>& glyphs,
              f32 view_scale = 1.0f) {
    Gl_Env& e = _env();
    Picture pic;
    if (!e.device) return pic;
    Renderer_Frame_Params p = {};
    p.window_w = f32(e.w);
    p.window_h = f32(e.h);
    _world_mvp(p.world_mvp);
    _screen_mvp(p.screen_mvp);
    p.present_scale[0] = PICTURE_ASPECT / (p.window_w / p.window_h);
    p.present_scale[1] = 1.0f;
    p.present_viewport_scale[0] = p.present_viewport_scale[1] = view_scale;
    renderer_device_draw(e.device, p, sprites.data(), u32(sprites.size()), glyphs.data(),
                         u32(glyphs.size()));
    pic.w = e.w;
    pic.h = e.h;
    pic.rgba.resize(size_t(e.w) * e.h * 4);
    std::vector<u8> raw(pic.rgba.size());
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, e.w, e.h, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    size_t row = size_t(e.w) * 4;
    for (int y = 0; y < e.h; ++y)
        std::copy_n(&raw[size_t(e.h - 1 - y) * row], row, &pic.rgba[size_t(y) * row]);
    SDL_GL_SwapWindow(e.window);
    return pic;
}

// At 640 × 576 an offscreen pixel is the 4 × 4 block at (4x, 4y).
Rgb _offscreen(const Picture& pic, int x, int y) { return pic.at(x * 4 + 1, y * 4 + 1); }

Sprite_Instance _sprite(f32 cx, f32 cy, f32 half_w, f32 half_h, f32 depth, Rgb c, u8 alpha,
                        Rect r) {
    Sprite_Instance s = {};
    s.pos[0] = cx, s.pos[1] = cy, s.pos[2] = -depth;
    s.right[0] = half_w;
    s.up[1] = -half_h;  // rotation 0: local up is -y in the instance, as the CPU side builds it
    s.color[0] = c[0], s.color[1] = c[1], s.color[2] = c[2], s.color[3] = alpha;
    s.tex_min[0] = f32(r.x) / ATLAS, s.tex_min[1] = f32(r.y) / ATLAS;
    s.tex_size[0] = f32(r.w) / ATLAS, s.tex_size[1] = f32(r.h) / ATLAS;
    return s;
}

// One offscreen pixel (screen coordinates, y down) as a 1 × 1 world sprite.
Sprite_Instance _pixel(int sx, int sy, Rgb c) {
    return _sprite(f32(sx - VIEW_W / 2) + 0.5f, f32(VIEW_H / 2 - sy) - 0.5f, 0.5f, 0.5f, 0.5f, c,
                   255, SOLID);
}

Font_Instance _glyph(f32 x, f32 y, f32 w, f32 h, int atlas_x, Rgb c) {
    Font_Instance g = {};
    g.pos[0] = x, g.pos[1] = y;
    g.size[0] = w, g.size[1] = h;
    g.uv_pos[0] = f32(atlas_x) / FONT_ATLAS_SIZE;
    g.uv_size[0] = g.uv_size[1] = 4.0f / FONT_ATLAS_SIZE;
    g.color[0] = c[0], g.color[1] = c[1], g.color[2] = c[2], g.color[3] = 255;
    return g;
}

Rgb _pal(int i) { return _texel_rgb(PALETTE[i]); }

// GL rounds float clear colours to the nearest byte.
Rgb _bar_rgb() {
    const Color& c = PALETTE[2];  // the clear colour
    return {u8(std::lround(c.r * 255)), u8(std::lround(c.g * 255)), u8(std::lround(c.b * 255))};
}

bool _is_palette(Rgb c) {
    for (int i = 0; i < 4; ++i)
        if (c == _pal(i)) return true;
    return false;
}

std::string _str(Rgb c) {
    char b[32];
    std::snprintf(b, sizeof b, "(%d,%d,%d)", c[0], c[1], c[2]);
    return b;
}

// Pseudo-random picture in palette colours, one atlas pixel per offscreen pixel.
std::vector<u8> _noise_picture() {
    std::vector<u8> px(VIEW_W * VIEW_H * 4);
    u32 s = 12345;
    for (int i = 0; i < VIEW_W * VIEW_H; ++i) {
        s = s * 1664525u + 1013904223u;
        Rgb c = _pal(int(s >> 30));
        px[i * 4 + 0] = c[0], px[i * 4 + 1] = c[1], px[i * 4 + 2] = c[2], px[i * 4 + 3] = 255;
    }
    return px;
}

Rgb _noise_at(const std::vector<u8>& px, int x, int y) {
    const u8* p = &px[(y * VIEW_W + x) * 4];
    return {p[0], p[1], p[2]};
}

// One sprite showing the whole noise atlas over the whole view.
std::vector<Sprite_Instance> _noise_frame() {
    Sprite_Instance s = _sprite(0, 0, VIEW_W / 2.0f, VIEW_H / 2.0f, 0.5f, WHITE_RGB, 255, SOLID);
    s.tex_min[0] = s.tex_min[1] = 0;
    s.tex_size[0] = s.tex_size[1] = 1;
    return {s};
}

void _restore_hand_atlas() {
    std::vector<u8> atlas = _hand_atlas();
    renderer_device_load_atlas(_env().device, ATLAS, ATLAS, atlas.data());
}

}  // namespace

TEST(Gl_Palette, lookup_bins_each_channel_by_floor_of_eight_and_keeps_axis_order) {
    u8 coded[2048];
    _coded_palette_texels(coded);
    _use_palette(coded);
    ASSERT_TRUE(_resize(640, 576));
    std::vector<Sprite_Instance> sprites;
    auto channels = [](int k) { return Rgb{u8(k), u8((k + 100) % 256), u8((k * 37) % 256)}; };
    for (int k = 0; k < 256; ++k) sprites.push_back(_pixel(k % VIEW_W, k / VIEW_W, channels(k)));
    // coverage 80 from the red channel, tint (255,128,64), over a black patch
    for (int y = 10; y < 14; ++y)
        for (int x = 10; x < 14; ++x) sprites.push_back(_pixel(x, y, BLACK_RGB));
    std::vector<Font_Instance> glyphs = {_glyph(10, 10, 4, 4, 8, {255, 128, 64})};
    Picture pic = _draw(sprites, glyphs);
    _use_game_palette();

    for (int k = 0; k < 256; ++k) {
        Rgb in = channels(k);
        Rgb want = _cell_code(_bin(in[0]), _bin(in[1]), _bin(in[2]));
        ASSERT_EQ(_offscreen(pic, k % VIEW_W, k / VIEW_W), want) << "input " << _str(in);
    }
    f32 a = 80 / 255.0f;
    Rgb blended = {u8(std::lround(255 * a)), u8(std::lround(128 * a)), u8(std::lround(64 * a))};
    EXPECT_EQ(_offscreen(pic, 11, 11), _cell_code(_bin(blended[0]), _bin(blended[1]), _bin(blended[2])));
}

TEST(Gl_Palette, maps_named_colours_and_keeps_palette_colours) {
    ASSERT_TRUE(_resize(640, 576));
    struct Case {
        Rgb in;
        int want;
    };
    const Case cases[] = {
        {WHITE_RGB, 0},      {BLACK_RGB, 3},   {RED_RGB, 1}, {{128, 128, 128}, 2},
        {{0, 0, 255}, 2},    {{0, 255, 0}, 3}, {_pal(0), 0}, {_pal(1), 1},
        {_pal(2), 2},        {_pal(3), 3},
    };
    std::vector<Sprite_Instance> sprites;
    int i = 0;
    for (const Case& c : cases) sprites.push_back(_pixel(2 * i++, 2, c.in));
    Picture pic = _draw(sprites, {});
    i = 0;
    for (const Case& c : cases)
        EXPECT_EQ(_offscreen(pic, 2 * i++, 2), _pal(c.want)) << "input " << _str(c.in);
    EXPECT_EQ(_offscreen(pic, 100, 100), _pal(2)) << "the clear colour stays colour 2";
}

TEST(Gl_Palette, every_window_pixel_is_a_palette_colour_or_the_bar) {
    ASSERT_TRUE(_resize(1280, 720));
    std::vector<Sprite_Instance> sprites;
    u32 s = 99;
    for (int i = 0; i < 4096; ++i) {
        s = s * 1664525u + 1013904223u;
        sprites.push_back(_pixel(int(s % VIEW_W), int((s >> 8) % VIEW_H),
                                 {u8(s >> 24), u8(s >> 16), u8(s >> 4)}));
    }
    Picture pic = _draw(sprites, {});
    int off_palette = 0, colours_seen = 0;
    bool seen[4] = {};
    for (int y = 0; y < pic.h; ++y)
        for (int x = 0; x < pic.w; ++x) {
            Rgb c = pic.at(x, y);
            if (!_is_palette(c) && c != _bar_rgb()) ++off_palette;
            for (int k = 0; k < 4; ++k)
                if (c == _pal(k) && !seen[k]) seen[k] = true, ++colours_seen;
        }
    EXPECT_EQ(off_palette, 0);
    EXPECT_EQ(colours_seen, 4) << "random colours should reach all four palette entries";
}

TEST(Gl_Orientation, world_upper_right_is_window_upper_right_and_sprites_upright) {
    ASSERT_TRUE(_resize(640, 576));
    // centre (40, 36): screen columns 118..121, rows 34..37
    Picture pic = _draw({_sprite(40, 36, 2, 2, 0.5f, WHITE_RGB, 255, MARKER)}, {});
    for (int y = 34; y < 38; ++y)
        for (int x = 118; x < 122; ++x) {
            int want = y >= 36 ? 3 : (x < 120 ? 1 : 0);
            EXPECT_EQ(_offscreen(pic, x, y), _pal(want)) << "offscreen pixel " << x << "," << y;
        }
    EXPECT_EQ(_offscreen(pic, 117, 35), _pal(2));
    EXPECT_EQ(_offscreen(pic, 122, 35), _pal(2));
    EXPECT_EQ(_offscreen(pic, 119, 33), _pal(2));
    EXPECT_EQ(_offscreen(pic, 119, 38), _pal(2));
}

TEST(Gl_Orientation, glyph_at_screen_origin_is_top_left_and_upright) {
    ASSERT_TRUE(_resize(640, 576));
    Picture pic = _draw({}, {_glyph(0, 0, 4, 4, 0, WHITE_RGB), _glyph(150, 130, 4, 4, 0, RED_RGB)});
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            bool covered = x < 2 && y < 2;
            EXPECT_EQ(_offscreen(pic, x, y), _pal(covered ? 0 : 2)) << x << "," << y;
            EXPECT_EQ(_offscreen(pic, 150 + x, 130 + y), _pal(covered ? 1 : 2)) << x << "," << y;
        }
}

TEST(Gl_Present, wide_window_shows_centred_picture_with_bars) {
    std::vector<u8> noise = _noise_picture();
    renderer_device_load_atlas(_env().device, VIEW_W, VIEW_H, noise.data());
    ASSERT_TRUE(_resize(1280, 720));
    Picture pic = _draw(_noise_frame(), {});
    _restore_hand_atlas();
    int bad_bar = 0, bad_picture = 0;
    for (int y = 0; y < 720; ++y)
        for (int x = 0; x < 1280; ++x) {
            Rgb c = pic.at(x, y);
            if (x < 240 || x >= 1040)
                bad_bar += c != _bar_rgb();
            else
                bad_picture += c != _noise_at(noise, (x - 240) / 5, y / 5);
        }
    EXPECT_EQ(bad_bar, 0);
    EXPECT_EQ(bad_picture, 0);
}

TEST(Gl_Present, each_offscreen_pixel_is_a_uniform_four_by_four_block) {
    std::vector<u8> noise = _noise_picture();
    renderer_device_load_atlas(_env().device, VIEW_W, VIEW_H, noise.data());
    ASSERT_TRUE(_resize(640, 576));
    Picture pic = _draw(_noise_frame(), {});
    Picture zoomed = _draw(_noise_frame(), {}, 2.0f);
    _restore_hand_atlas();
    int bad = 0;
    for (int y = 0; y < 576; ++y)
        for (int x = 0; x < 640; ++x) bad += pic.at(x, y) != _noise_at(noise, x / 4, y / 4);
    EXPECT_EQ(bad, 0);
    // zoomed out twice: the picture at half size in the middle, repeated around it
    int bad_zoom = 0;
    for (int y = 1; y < 576; y += 2)
        for (int x = 1; x < 640; x += 2) {
            int sx = (x / 2 - VIEW_W / 2 + VIEW_W) % VIEW_W;
            int sy = (y / 2 - VIEW_H / 2 + VIEW_H) % VIEW_H;
            bad_zoom += zoomed.at(x, y) != _noise_at(noise, sx, sy);
        }
    EXPECT_EQ(bad_zoom, 0);
}

// Widths, in window pixels, of the game pixels met along a line of a two-colour
// checkerboard. A pixel that blends the two colours is split between its neighbours by
// its share of each; a colour outside the blend of the two ends the walk with no widths.
std::vector<f64> _checker_widths(const std::vector<Rgb>& line, Rgb a, Rgb b) {
    std::vector<f64> widths;
    auto share_of = [&](Rgb c, Rgb of, Rgb other) {
        f64 s = f64(c[0] - other[0]) / f64(of[0] - other[0]);
        for (int k = 1; k < 3; ++k)
            if (std::fabs(f64(other[k]) + s * f64(of[k] - other[k]) - c[k]) > 2.5) return -1.0;
        return s;
    };
    Rgb current = line.front() == a ? a : b;
    widths.push_back(0);
    for (Rgb c : line) {
        Rgb next = current == a ? b : a;
        f64 s = share_of(c, current, next);
        if (s < -0.01 || s > 1.01) return {};
        if (s > 0.995) {
            widths.back() += 1;
            continue;
        }
        widths.back() += s;
        widths.push_back(1 - s);
        current = next;
    }
    return widths;
}

TEST(Gl_Present, fractional_scale_gives_every_game_pixel_the_same_width) {
    std::vector<u8> board(VIEW_W * VIEW_H * 4);
    for (int y = 0; y < VIEW_H; ++y)
        for (int x = 0; x < VIEW_W; ++x) {
            Rgb c = _pal((x + y) % 2 ? 3 : 0);
            u8* p = &board[(y * VIEW_W + x) * 4];
            p[0] = c[0], p[1] = c[1], p[2] = c[2], p[3] = 255;
        }
    renderer_device_load_atlas(_env().device, VIEW_W, VIEW_H, board.data());
    ASSERT_TRUE(_resize(1920, 1080));
    Picture pic = _draw(_noise_frame(), {});
    _restore_hand_atlas();
    // 1080 / 144 = 7.5: the picture spans x 360 .. 1560; row 78 and column 513 lie inside
    // one game pixel across, so they cross only edges along their own direction.
    std::vector<Rgb> row, column;
    for (int x = 360; x < 1560; ++x) row.push_back(pic.at(x, 78));
    for (int y = 0; y < 1080; ++y) column.push_back(pic.at(513, y));
    EXPECT_EQ(pic.at(359, 78), _bar_rgb());
    EXPECT_EQ(pic.at(1560, 78), _bar_rgb());
    struct Line {
        const char* name;
        const std::vector<Rgb>& pixels;
        size_t game_pixels;
    };
    for (const Line& l : {Line{"row", row, size_t(VIEW_W)}, Line{"column", column, size_t(VIEW_H)}}) {
        std::vector<f64> widths = _checker_widths(l.pixels, _pal(0), _pal(3));
        ASSERT_EQ(widths.size(), l.game_pixels) << l.name << ": an edge blurred over several pixels";
        for (size_t i = 0; i < widths.size(); ++i)
            EXPECT_NEAR(widths[i], 7.5, 0.02) << l.name << " game pixel " << i;
    }
}

TEST(Gl_Depth, nearer_covers_farther_in_either_order_and_faint_fragments_write_no_depth) {
    ASSERT_TRUE(_resize(640, 576));
    auto at = [](int column, f32 depth, Rgb c, u8 alpha, Rect r) {
        return _sprite(f32(column * 8 - 60), 0, 2, 2, depth, c, alpha, r);
    };
    // screen row 72 runs through all of them; column k covers screen x 20 + 8k - 2 .. + 1
    std::vector<Sprite_Instance> s = {
        at(0, 0.8f, RED_RGB, 255, SOLID), at(0, 0.2f, WHITE_RGB, 255, SOLID),  // far then near
        at(1, 0.2f, WHITE_RGB, 255, SOLID), at(1, 0.8f, RED_RGB, 255, SOLID),  // near then far
        at(2, 0.2f, WHITE_RGB, 12, SOLID), at(2, 0.8f, RED_RGB, 255, SOLID),   // alpha 0.047
        at(3, 0.2f, WHITE_RGB, 13, SOLID), at(3, 0.8f, RED_RGB, 255, SOLID),   // alpha 0.051
        at(4, 0.2f, WHITE_RGB, 255, CLEAR_PATCH), at(4, 0.8f, RED_RGB, 255, SOLID),
    };
    Picture pic = _draw(s, {});
    auto px = [&](int column) { return _offscreen(pic, 20 + 8 * column, 72); };
    EXPECT_EQ(px(0), _pal(0));
    EXPECT_EQ(px(1), _pal(0));
    EXPECT_EQ(px(2), _pal(1)) << "a discarded fragment must not hide what comes later";
    EXPECT_EQ(px(3), _pal(2)) << "a kept faint fragment writes depth; the red behind is hidden";
    EXPECT_EQ(px(4), _pal(1)) << "transparent atlas texels write no depth";
}

TEST(Gl_Labels, resources_carry_their_debug_names) {
    ASSERT_NE(_env().device, nullptr);
    if (!(epoxy_gl_version() >= 43 || epoxy_has_gl_extension("GL_KHR_debug")))
        GTEST_SKIP() << "no KHR_debug";
    std::vector<std::string> found;
    auto collect = [&](GLenum type, GLboolean (*exists)(GLuint)) {
        for (GLuint id = 1; id < 256; ++id) {
            if (!exists(id)) continue;
            char name[64] = {};
            glGetObjectLabel(type, id, sizeof name, nullptr, name);
            if (name[0]) found.push_back(name);
        }
    };
    collect(GL_BUFFER, [](GLuint id) { return glIsBuffer(id); });
    collect(GL_TEXTURE, [](GLuint id) { return glIsTexture(id); });
    collect(GL_PROGRAM, [](GLuint id) { return glIsProgram(id); });
    collect(GL_VERTEX_ARRAY, [](GLuint id) { return glIsVertexArray(id); });
    const char* expected[] = {
        "quad-vertices", "quad-indices", "world-sprite-instance-data", "font-instance-data",
        "sprite-atlas-image", "font-atlas-image", "offscreen-color-image",
        "offscreen-pass-depth-image", "postprocess-color-image", "postprocess-palette-tex3d",
        "sprite_shader", "font_shader", "postprocess_shader", "present_shader",
        "world-sprite-pipeline", "font-pipeline", "postprocess-pipeline", "present-pipeline"};
    for (const char* name : expected)
        EXPECT_EQ(std::count(found.begin(), found.end(), name), 1) << name;
}
