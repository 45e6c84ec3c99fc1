// Per-frame draw lists and the three passes that turn them into the window picture.
// _renderer_load_font_data and _renderer_load_palette keep the names they have always had,
// underscore included, though start-up and the tests call them.
#pragma once
#include <vector>

#include "common.h"
#include "view.h"

constexpr u32 MAX_WORLD_SPRITES = 4096;
constexpr u32 MAX_GLYPHS = 16384;

struct Sprite_Instance {
    f32 pos[3];    // centre x, y (world units), -depth
    f32 right[2];  // half-extent along local x
    f32 up[2];     // half-extent along local y
    u8 color[4];   // RGBA, normalised
    f32 tex_min[2];
    f32 tex_size[2];
};
static_assert(sizeof(Sprite_Instance) == 48);

struct Font_Instance {
    f32 pos[2];   // top-left, screen units
    f32 size[2];
    f32 uv_pos[2];
    f32 uv_size[2];
    u8 color[4];
};
static_assert(sizeof(Font_Instance) == 36);

struct Camera {
    Vec2 pos;            // world position at the picture centre, whole units
    f32 view_scale = 1;  // zoom-out of the window pass
};

// One baked glyph, font pixels (as the baking interface produces it).
struct Baked_Glyph {
    u16 x0, y0, x1, y1;
    f32 xoff, yoff, xadvance;
};
constexpr int FONT_FIRST_CODEPOINT = 32;
constexpr int FONT_GLYPH_COUNT = 560;  // code points 32..591
constexpr int FONT_ATLAS_SIZE = 512;
constexpr f32 FONT_PIXEL_HEIGHT = 8.0f;
// Headless there is no device to ask; every GPU that runs GL 3.3 takes this much.
constexpr i32 HEADLESS_MAX_TEXTURE_SIZE = 8192;  // pixels per side

struct Renderer_Device;  // device resources, absent when headless

// Tests look at what a frame drew: flush copies the lists here when it is set.
struct Renderer_Capture {
    std::vector<Sprite_Instance> sprites;
    std::vector<Font_Instance> glyphs;
};

// What the device passes read besides the lists; from the camera and the window size.
struct Renderer_Frame_Params {
    f32 window_w, window_h;  // pixels
    f32 world_mvp[16];
    f32 screen_mvp[16];
    f32 present_scale[2];
    f32 present_viewport_scale[2];
};

struct Renderer {
    Sprite_Instance* sprites = nullptr;  // capacity MAX_WORLD_SPRITES, reserved once
    u32 sprite_count = 0;
    Font_Instance* glyphs = nullptr;     // capacity MAX_GLYPHS
    u32 glyph_count = 0;
    i32 atlas_size[2] = {0, 0};
    i32 max_texture_size = HEADLESS_MAX_TEXTURE_SIZE;  // pixels per side, from the device
    bool has_atlas = false;
    bool has_font = false;
    Baked_Glyph glyph_table[FONT_GLYPH_COUNT] = {};
    Camera camera;
    u8 palette_texels[8 * 8 * 8 * 4] = {};
    Renderer_Device* device = nullptr;
    Renderer_Capture* capture = nullptr;
    // last uploaded sprite count, for tests and benchmarks
    u32 last_sprite_upload = 0;
    // The inputs of the picture last drawn: the same lists and parameters give the same
    // pixels, so a frame that repeats them need not be drawn or presented again.
    Sprite_Instance* drawn_sprites = nullptr;  // capacity MAX_WORLD_SPRITES
    u32 drawn_sprite_count = 0;
    Font_Instance* drawn_glyphs = nullptr;     // capacity MAX_GLYPHS
    u32 drawn_glyph_count = 0;
    Renderer_Frame_Params drawn_params = {};
    bool drawn_valid = false;  // false until a picture is drawn, and again after a texture changed
};

extern Renderer renderer;

// A colour channel as the GPU stores it: clamped to [0, 1], times 255, truncated.
inline u8 color_byte(f32 c) {
    f32 v = clampf(c, 0, 1) * 255.0f;
    return u8(v);
}

// headless: fill and empty the lists only; no device calls at all.
void renderer_init(bool headless);
void renderer_shutdown();
// False for an atlas larger than the device can hold (it would draw as black boxes).
bool renderer_atlas_fits(i32 width, i32 height);
void renderer_load_atlas(i32 width, i32 height, const u8* rgba);
bool _renderer_load_font_data(const u8* ttf, size_t len);
void _renderer_load_palette(const Color* colors, int count);
// The 8×8×8 lookup texels: slice r, row g, column b at ((r*8+g)*8+b)*4.
void renderer_build_palette_texels(const Color* colors, int count, u8 out[2048]);
void renderer_flush_frame();

void draw_screen_text(Vec2 pos, const char* text, size_t len, const Color& color, Vec2 size);
void draw_screen_text(Vec2 pos, const char* text, const Color& color, Vec2 size);
// How far one line of text advances the pen, screen units: for right-aligned columns.
f32 screen_text_width(const char* text, Vec2 size);

// Device side (renderer_gl.cpp); only called when not headless.
Renderer_Device* renderer_device_create(const u8 palette_texels[2048]);
// Releases every device resource; the context must still be current.
void renderer_device_destroy(Renderer_Device* d);
i32 renderer_device_max_texture_size(Renderer_Device* d);  // pixels per side
void renderer_device_load_atlas(Renderer_Device* d, i32 w, i32 h, const u8* rgba);
void renderer_device_load_palette(Renderer_Device* d, const u8 palette_texels[2048]);
void renderer_device_load_font(Renderer_Device* d, const u8* bitmap512);
void renderer_device_draw(Renderer_Device* d, const Renderer_Frame_Params& p,
                          const Sprite_Instance* sprites, u32 sprite_count,
                          const Font_Instance* glyphs, u32 glyph_count);
