#include "renderer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "../platform/platform.h"
#include "font_check.h"

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

Renderer renderer;

void renderer_build_palette_texels(const Color* colors, int count, u8 out[2048]) {
    for (int r = 0; r < 8; r++)
        for (int g = 0; g < 8; g++)
            for (int b = 0; b < 8; b++) {
                // Bins are matched by their lower corner.
                f32 q[3] = {f32(r) / 8, f32(g) / 8, f32(b) / 8};
                f32 best = 1e10f;
                Color chosen = {0, 0, 0, 0};
                for (int i = 0; i < count; i++) {
                    f32 dr = colors[i].r - q[0], dg = colors[i].g - q[1], db = colors[i].b - q[2];
                    f32 d = std::sqrt(dr * dr + dg * dg + db * db);
                    if (d < best) {
                        best = d;
                        chosen = colors[i];
                    }
                }
                u8* t = out + ((r * 8 + g) * 8 + b) * 4;
                t[0] = color_byte(chosen.r);
                t[1] = color_byte(chosen.g);
                t[2] = color_byte(chosen.b);
                t[3] = color_byte(chosen.a);
            }
}

void _renderer_load_palette(const Color* colors, int count) {
    renderer_build_palette_texels(colors, count, renderer.palette_texels);
    renderer.drawn_valid = false;
    if (renderer.device) renderer_device_load_palette(renderer.device, renderer.palette_texels);
}

void renderer_init(bool headless) {
    Renderer& r = renderer;
    if (!r.sprites) r.sprites = static_cast<Sprite_Instance*>(std::calloc(MAX_WORLD_SPRITES, sizeof(Sprite_Instance)));
    if (!r.glyphs) r.glyphs = static_cast<Font_Instance*>(std::calloc(MAX_GLYPHS, sizeof(Font_Instance)));
    if (!r.drawn_sprites)
        r.drawn_sprites = static_cast<Sprite_Instance*>(std::calloc(MAX_WORLD_SPRITES, sizeof(Sprite_Instance)));
    if (!r.drawn_glyphs) r.drawn_glyphs = static_cast<Font_Instance*>(std::calloc(MAX_GLYPHS, sizeof(Font_Instance)));
    r.drawn_valid = false;
    r.sprite_count = r.glyph_count = 0;
    r.camera = Camera{};
    renderer_build_palette_texels(PALETTE, 4, r.palette_texels);
    r.device = headless ? nullptr : renderer_device_create(r.palette_texels);
    r.max_texture_size = r.device ? renderer_device_max_texture_size(r.device) : HEADLESS_MAX_TEXTURE_SIZE;
}

void renderer_shutdown() {
    renderer_device_destroy(renderer.device);
    std::free(renderer.sprites);
    std::free(renderer.glyphs);
    std::free(renderer.drawn_sprites);
    std::free(renderer.drawn_glyphs);
    renderer.sprites = renderer.drawn_sprites = nullptr;
    renderer.glyphs = renderer.drawn_glyphs = nullptr;
    renderer.drawn_valid = false;
    renderer.device = nullptr;
    renderer.has_atlas = renderer.has_font = false;
    renderer.atlas_size[0] = renderer.atlas_size[1] = 0;
}

bool renderer_atlas_fits(i32 width, i32 height) {
    return width > 0 && height > 0 && width <= renderer.max_texture_size && height <= renderer.max_texture_size;
}

void renderer_load_atlas(i32 width, i32 height, const u8* rgba) {
    renderer.atlas_size[0] = width;
    renderer.atlas_size[1] = height;
    renderer.has_atlas = true;
    renderer.drawn_valid = false;
    if (renderer.device) renderer_device_load_atlas(renderer.device, width, height, rgba);
}

bool _renderer_load_font_data(const u8* ttf, size_t len) {
    if (!ttf || !font_check(ttf, len, FONT_FIRST_CODEPOINT, FONT_GLYPH_COUNT, FONT_PIXEL_HEIGHT, FONT_ATLAS_SIZE))
        return false;
    int offset = stbtt_GetFontOffsetForIndex(ttf, 0);
    if (offset < 0 || size_t(offset) >= len) return false;
    stbtt_fontinfo info;
    if (!stbtt_InitFont(&info, ttf, offset)) return false;
    u8* bitmap = static_cast<u8*>(std::calloc(FONT_ATLAS_SIZE, FONT_ATLAS_SIZE));
    if (!bitmap) return false;
    stbtt_bakedchar baked[FONT_GLYPH_COUNT];
    std::memset(baked, 0, sizeof baked);
    // A font that does not fit keeps whatever was baked.
    stbtt_BakeFontBitmap(ttf, offset, FONT_PIXEL_HEIGHT, bitmap, FONT_ATLAS_SIZE, FONT_ATLAS_SIZE,
                         FONT_FIRST_CODEPOINT, FONT_GLYPH_COUNT, baked);
    for (int i = 0; i < FONT_GLYPH_COUNT; i++) {
        Baked_Glyph& g = renderer.glyph_table[i];
        g.x0 = baked[i].x0;
        g.y0 = baked[i].y0;
        g.x1 = baked[i].x1;
        g.y1 = baked[i].y1;
        g.xoff = baked[i].xoff;
        g.yoff = baked[i].yoff;
        g.xadvance = baked[i].xadvance;
    }
    if (renderer.device) renderer_device_load_font(renderer.device, bitmap);
    std::free(bitmap);
    renderer.has_font = true;
    renderer.drawn_valid = false;
    return true;
}

// One code point from UTF-8; a byte that does not start a complete, valid sequence
// stands for U+FFFD and is consumed alone.
static u32 _decode_utf8(const u8* s, size_t len, size_t& i) {
    u8 b0 = s[i];
    if (b0 < 0x80) {
        i += 1;
        return b0;
    }
    int n;
    u32 cp, min;
    if ((b0 & 0xE0) == 0xC0) { n = 1; cp = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { n = 2; cp = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { n = 3; cp = b0 & 0x07; min = 0x10000; }
    else { i += 1; return 0xFFFD; }
    if (i + size_t(n) >= len) { i += 1; return 0xFFFD; }
    for (int k = 1; k <= n; k++) {
        u8 c = s[i + size_t(k)];
        if ((c & 0xC0) != 0x80) { i += 1; return 0xFFFD; }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { i += 1; return 0xFFFD; }
    i += size_t(n) + 1;
    return cp;
}

void draw_screen_text(Vec2 pos, const char* text, size_t len, const Color& color, Vec2 size) {
    Renderer& r = renderer;
    if (!r.glyphs || !r.has_font) return;
    Vec2 u = {size.x / 8, size.y / 8};
    f32 pen_x = 0, pen_y = 0;
    Vec2 line = pos;
    const u8* s = reinterpret_cast<const u8*>(text);
    const u8 rgba[4] = {color_byte(color.r), color_byte(color.g), color_byte(color.b), color_byte(color.a)};
    constexpr f32 INV_ATLAS = 1.0f / FONT_ATLAS_SIZE;
    for (size_t i = 0; i < len;) {
        u32 cp = _decode_utf8(s, len, i);
        if (cp == '\n') {
            pen_x = 0;
            line.y += 10 * u.y;
            continue;
        }
        i64 g = i64(cp) - FONT_FIRST_CODEPOINT;
        if (g < 0 || g >= FONT_GLYPH_COUNT) continue;
        if (r.glyph_count >= MAX_GLYPHS) continue;
        const Baked_Glyph& b = r.glyph_table[g];
        f32 x0 = std::floor(pen_x + b.xoff + 0.5f);
        f32 y0 = std::floor(pen_y + b.yoff + 0.5f);
        f32 w = f32(b.x1 - b.x0), h = f32(b.y1 - b.y0);
        pen_x += b.xadvance;
        Font_Instance& inst = r.glyphs[r.glyph_count++];
        inst.pos[0] = line.x + x0 * u.x;
        inst.pos[1] = line.y + y0 * u.y;
        inst.size[0] = w * u.x;
        inst.size[1] = h * u.y;
        inst.uv_pos[0] = f32(b.x0) * INV_ATLAS;
        inst.uv_pos[1] = f32(b.y0) * INV_ATLAS;
        inst.uv_size[0] = w * INV_ATLAS;
        inst.uv_size[1] = h * INV_ATLAS;
        std::memcpy(inst.color, rgba, 4);
    }
}

void draw_screen_text(Vec2 pos, const char* text, const Color& color, Vec2 size) {
    draw_screen_text(pos, text, std::strlen(text), color, size);
}

f32 screen_text_width(const char* text, Vec2 size) {
    const Renderer& r = renderer;
    if (!r.has_font) return 0;
    size_t len = std::strlen(text);
    const u8* s = reinterpret_cast<const u8*>(text);
    f32 pen = 0;  // font pixels
    for (size_t i = 0; i < len;) {
        i64 g = i64(_decode_utf8(s, len, i)) - FONT_FIRST_CODEPOINT;
        if (g >= 0 && g < FONT_GLYPH_COUNT) pen += r.glyph_table[g].xadvance;
    }
    return pen * size.x / 8;
}

static void _identity(f32 m[16]) {
    for (int i = 0; i < 16; i++) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

static Renderer_Frame_Params _frame_params(const Renderer& r, f32 w, f32 h) {
    Renderer_Frame_Params p;
    p.window_w = w;
    p.window_h = h;
    // Row-vector matrices: clip = (x, y, z, 1) × M, stored row by row.
    _identity(p.screen_mvp);
    p.screen_mvp[0] = 2.0f / VIEW_W;
    p.screen_mvp[5] = 2.0f / VIEW_H;
    p.screen_mvp[10] = -1;
    p.screen_mvp[12] = -1;
    p.screen_mvp[13] = -1;
    _identity(p.world_mvp);
    p.world_mvp[0] = 2.0f / VIEW_W;
    p.world_mvp[5] = -2.0f / VIEW_H;
    p.world_mvp[10] = -1;
    p.world_mvp[12] = -r.camera.pos.x * 2.0f / VIEW_W;
    p.world_mvp[13] = r.camera.pos.y * 2.0f / VIEW_H;
    f32 aspect = h > 0 ? w / h : 1;
    p.present_scale[0] = PICTURE_ASPECT / aspect;
    p.present_scale[1] = 1.0f;
    f32 v = r.camera.view_scale > 1.0f ? r.camera.view_scale : 1.0f;
    p.present_viewport_scale[0] = v;
    p.present_viewport_scale[1] = v;
    return p;
}

// Compares the frame's inputs, not its pixels: reading the picture back would stall the GPU.
// Equal bytes draw equal pixels; the records hold no padding.
static bool _draws_last_picture(const Renderer& r, const Renderer_Frame_Params& p, u32 ns, u32 ng) {
    return r.drawn_valid && ns == r.drawn_sprite_count && ng == r.drawn_glyph_count &&
           std::memcmp(&p, &r.drawn_params, sizeof p) == 0 &&
           std::memcmp(r.sprites, r.drawn_sprites, ns * sizeof(Sprite_Instance)) == 0 &&
           std::memcmp(r.glyphs, r.drawn_glyphs, ng * sizeof(Font_Instance)) == 0;
}

static void _remember_picture(Renderer& r, const Renderer_Frame_Params& p, u32 ns, u32 ng) {
    r.drawn_valid = r.drawn_sprites && r.drawn_glyphs;
    if (!r.drawn_valid) return;
    std::memcpy(r.drawn_sprites, r.sprites, ns * sizeof(Sprite_Instance));
    std::memcpy(r.drawn_glyphs, r.glyphs, ng * sizeof(Font_Instance));
    r.drawn_sprite_count = ns;
    r.drawn_glyph_count = ng;
    r.drawn_params = p;
}

void renderer_flush_frame() {
    Renderer& r = renderer;
    f32 w = f32(platform_width()), h = f32(platform_height());
    u32 ns = r.sprite_count < MAX_WORLD_SPRITES ? r.sprite_count : MAX_WORLD_SPRITES;
    u32 ng = r.glyph_count < MAX_GLYPHS ? r.glyph_count : MAX_GLYPHS;
    r.last_sprite_upload = ns;
    if (r.capture) {
        r.capture->sprites.assign(r.sprites, r.sprites + ns);
        r.capture->glyphs.assign(r.glyphs, r.glyphs + ng);
    }
    Renderer_Frame_Params p = _frame_params(r, w, h);
    bool draw = platform_redraw_needed() || !_draws_last_picture(r, p, ns, ng);
    if (draw) {
        _remember_picture(r, p, ns, ng);
        if (r.device) renderer_device_draw(r.device, p, r.sprites, ns, r.glyphs, ng);
    }
    platform_set_frame_drawn(draw);
    r.sprite_count = 0;
    r.glyph_count = 0;
}
