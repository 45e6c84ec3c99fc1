// art_preview: renders a built asset pack the way the game draws it, for looking at the art.
//
//   art_preview <assets.sbpak> <out_dir>
//
// Writes <out_dir>/atlas.ppm (the atlas over the purple clear colour) and
// <out_dir>/scene.ppm (three mock 160 x 144 pictures side by side: a play scene, the boss
// fight and the main-menu title), both palette-mapped like the post-process pass, and
// <out_dir>/alphabet.ppm (the pack's font baked at 8 px as the game bakes it, cream on
// navy; any grey pixel there is a font outline off the pixel grid). Scale
// them up for viewing, e.g. `convert scene.ppm -scale 400% scene.png`.
// Not part of the game or the default build (target `art_preview`, EXCLUDE_FROM_ALL).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "game/assets.h"
#include "platform/files.h"

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

namespace {

constexpr int VW = 160, VH = 144;
const Assets* A = nullptr;

struct Picture {
    std::vector<f32> rgb = std::vector<f32>(VW * VH * 3);
    std::vector<f32> depth = std::vector<f32>(VW * VH, 1e9f);
    void clear(const Color& c) {
        for (int i = 0; i < VW * VH; i++) {
            rgb[i * 3] = c.r; rgb[i * 3 + 1] = c.g; rgb[i * 3 + 2] = c.b;
            depth[i] = 1e9f;
        }
    }
};

// World sprite as draw_world_sprite + the sprite program would draw it (world y up, origin
// at the centre of the picture, pos floored, nearest sampling, alpha test 0.05, depth test
// smaller z in front).
void draw(Picture& p, Vec2 pos, Vec2 scale, f32 rot, Color col, Sprite sp, f32 z) {
    f32 sx = scale.x * sp.w, sy = scale.y * sp.h;
    f32 c = std::cos(rot), n = std::sin(rot);
    Vec2 right = {sx * c, sx * n}, up = {sy * n, -sy * c};
    Vec2 o = {std::floor(pos.x), std::floor(pos.y)};
    f32 det = right.x * up.y - right.y * up.x;
    if (det == 0) return;
    f32 ext = std::fabs(right.x) + std::fabs(up.x) + std::fabs(right.y) + std::fabs(up.y);
    int W = A->atlas_size[0];
    for (int py = 0; py < VH; py++) {
        for (int px = 0; px < VW; px++) {
            Vec2 w = {px + 0.5f - VW / 2.0f, VH / 2.0f - (py + 0.5f)};
            Vec2 d = w - o;
            if (std::fabs(d.x) > ext + 1 || std::fabs(d.y) > ext + 1) continue;
            // solve d = right * a + up * b, a,b in [-1, 1]
            f32 a = (d.x * up.y - d.y * up.x) / det;
            f32 b = (right.x * d.y - right.y * d.x) / det;
            if (a < -1 || a > 1 || b < -1 || b > 1) continue;
            f32 u = (a + 1) * 0.5f, v = (b + 1) * 0.5f;  // attr_pos
            int tx = sp.x + std::min((int)(u * sp.w), sp.w - 1);
            int ty = sp.y + std::min((int)(v * sp.h), sp.h - 1);
            const u8* t = &A->atlas_pixels[((size_t)ty * W + tx) * 4];
            f32 ca = t[3] / 255.f * col.a;
            if (ca < 0.05f) continue;
            int i = py * VW + px;
            if (z >= p.depth[i]) continue;
            p.depth[i] = z;
            f32 src[3] = {t[0] / 255.f * col.r, t[1] / 255.f * col.g, t[2] / 255.f * col.b};
            for (int k = 0; k < 3; k++) p.rgb[i * 3 + k] = src[k] * ca + p.rgb[i * 3 + k] * (1 - ca);
        }
    }
}

void palette_map(const Picture& p, std::vector<u8>& out, int stride_px, int x0) {
    for (int y = 0; y < VH; y++) {
        for (int x = 0; x < VW; x++) {
            const f32* c = &p.rgb[(y * VW + x) * 3];
            f32 q[3];
            for (int k = 0; k < 3; k++) q[k] = std::min(std::floor(c[k] * 8), 7.f) / 8.f;
            int best = 0;
            f32 bd = 1e10f;
            for (int k = 0; k < 4; k++) {
                const Color& pc = PALETTE[k];
                f32 dd = (pc.r - q[0]) * (pc.r - q[0]) + (pc.g - q[1]) * (pc.g - q[1]) + (pc.b - q[2]) * (pc.b - q[2]);
                if (dd < bd) { bd = dd; best = k; }
            }
            u8* o = &out[((size_t)y * stride_px + x0 + x) * 3];
            o[0] = (u8)(PALETTE[best].r * 255); o[1] = (u8)(PALETTE[best].g * 255); o[2] = (u8)(PALETTE[best].b * 255);
        }
    }
}

// False, after one line on standard error, when the file could not be written.
bool write_ppm(const std::string& path, int w, int h, const std::vector<u8>& rgb) {
    std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    std::vector<u8> bytes(head.begin(), head.end());
    bytes.insert(bytes.end(), rgb.begin(), rgb.end());
    if (file_write_atomic(path.c_str(), bytes.data(), bytes.size())) return true;
    std::fprintf(stderr, "art_preview: cannot write %s\n", path.c_str());
    return false;
}

Sprite anim_frame(int anim, int k) {
    const Sprite_Anim& r = A->anims[anim];
    const Sprite& b = A->sprites[r.sprite];
    return {(u16)(b.x + r.frame_width * (r.first_frame + k)), b.y, r.frame_width, b.h};
}

// The game's baking call and its glyph quads (pen rounding as in draw_screen_text).
bool write_alphabet(const std::string& path, const std::vector<u8>& ttf) {
    constexpr int ATLAS = 512, FIRST = 32, COUNT = 560, W = 200, LINE = 12;
    const char* lines[] = {
        "abcdefghijklmnopqrstuvwxyz",
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ",
        "0123456789 !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~",
        "\u00c0\u00c1\u00c2\u00c3\u00c4\u00c5\u00c6\u00c7\u00c8\u00c9\u00ca\u00cb\u00cc\u00cd\u00ce\u00cf\u00d0\u00d1\u00d2\u00d3\u00d4\u00d5\u00d6\u00d8\u00d9\u00da\u00db\u00dc\u00dd\u00de\u00df",
        "\u00e0\u00e1\u00e2\u00e3\u00e4\u00e5\u00e6\u00e7\u00e8\u00e9\u00ea\u00eb\u00ec\u00ed\u00ee\u00ef\u00f0\u00f1\u00f2\u00f3\u00f4\u00f5\u00f6\u00f8\u00f9\u00fa\u00fb\u00fc\u00fd\u00fe\u00ff",
        "\u00a1\u00a2\u00a3\u00a4\u00a5\u00a6\u00a7\u00a8\u00a9\u00aa\u00ab\u00ac\u00ae\u00af\u00b0\u00b1\u00b2\u00b3\u00b4\u00b5\u00b6\u00b7\u00b8\u00b9\u00ba\u00bb\u00bf\u00d7\u00f7",
    };
    std::vector<u8> bitmap((size_t)ATLAS * ATLAS);
    stbtt_bakedchar baked[COUNT];
    if (ttf.empty() || stbtt_BakeFontBitmap(ttf.data(), 0, 8.0f, bitmap.data(), ATLAS, ATLAS, FIRST, COUNT, baked) == 0) {
        std::fprintf(stderr, "art_preview: the pack's font does not bake\n");
        return false;
    }
    const int n_lines = int(sizeof lines / sizeof lines[0]);
    const int H = n_lines * LINE + 2;
    std::vector<u8> out((size_t)W * H * 3);
    const Color& ink = PALETTE[0];
    const Color& paper = PALETTE[3];
    for (size_t i = 0; i < out.size() / 3; i++) {
        out[i * 3] = u8(paper.r * 255); out[i * 3 + 1] = u8(paper.g * 255); out[i * 3 + 2] = u8(paper.b * 255);
    }
    for (int l = 0; l < n_lines; l++) {
        f32 pen = 0;
        const u8* s = reinterpret_cast<const u8*>(lines[l]);
        for (size_t i = 0; s[i];) {
            u32 cp = s[i];
            if (cp >= 0xC0 && s[i + 1]) { cp = ((cp & 0x1F) << 6) | (s[i + 1] & 0x3F); i += 2; } else i += 1;
            if (cp < FIRST || cp >= FIRST + COUNT) continue;
            const stbtt_bakedchar& b = baked[cp - FIRST];
            int x0 = 2 + (int)std::floor(pen + b.xoff + 0.5f), y0 = (l + 1) * LINE - 1 + (int)std::floor(b.yoff + 0.5f);
            pen += b.xadvance;
            for (int y = 0; y < b.y1 - b.y0; y++)
                for (int x = 0; x < b.x1 - b.x0; x++) {
                    int px = x0 + x, py = y0 + y;
                    if (px < 0 || py < 0 || px >= W || py >= H) continue;
                    f32 a = bitmap[(size_t)(b.y0 + y) * ATLAS + b.x0 + x] / 255.f;
                    u8* o = &out[((size_t)py * W + px) * 3];
                    o[0] = u8((ink.r * a + paper.r * (1 - a)) * 255);
                    o[1] = u8((ink.g * a + paper.g * (1 - a)) * 255);
                    o[2] = u8((ink.b * a + paper.b * (1 - a)) * 255);
                }
        }
    }
    return write_ppm(path, W, H, out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) { std::fprintf(stderr, "usage: art_preview <assets.sbpak> <out_dir>\n"); return 2; }
    static Assets assets;
    if (!assets_load_from_file(argv[1], assets)) { std::fprintf(stderr, "art_preview: cannot load %s\n", argv[1]); return 1; }
    A = &assets;
    const Color white = WHITE;
    auto S = [&](int slot) { return assets.sprites[slot]; };

    // atlas
    int aw = assets.atlas_size[0], ah = assets.atlas_size[1];
    std::vector<u8> atlas((size_t)aw * ah * 3);
    for (int i = 0; i < aw * ah; i++) {
        const u8* t = &assets.atlas_pixels[(size_t)i * 4];
        bool op = t[3] >= 128;
        atlas[i * 3] = op ? t[0] : 62; atlas[i * 3 + 1] = op ? t[1] : 0; atlas[i * 3 + 2] = op ? t[2] : 165;
    }
    bool wrote = write_ppm(std::string(argv[2]) + "/atlas.ppm", aw, ah, atlas);

    std::vector<u8> out((size_t)VW * 3 * VH * 3);
    Picture p;

    // 1: play scene
    p.clear(PALETTE[2]);
    draw(p, {0, 0}, {0.5f, 0.5f}, 0, white, S(sprite_background), 0.999f);
    const f32 deg = PI / 180;
    struct ShipPose { Vec2 pos; f32 rot_deg; };
    ShipPose ships[] = {{{-8, -10}, 90}, {{-50, -50}, 112.5f}, {{-30, -50}, 135}, {{-10, -50}, 157.5f},
                        {{10, -50}, 0}, {{30, -50}, 30}, {{50, -50}, 200}};
    for (const ShipPose& s : ships) {
        int r = (int)std::trunc(s.rot_deg);
        int q = ((r % 90) + 90) % 90;
        int slot = q <= 22 ? 6 : q <= 45 ? 7 : q <= 67 ? 8 : 9;
        f32 f = std::floor(s.rot_deg / 90.f);
        draw(p, s.pos, {0.5f, 0.5f}, (f * 90 - 90) * deg, white, S(slot), 0.2f);
    }
    draw(p, {-8, 6}, {1, 1}, 0, white, S(sprite_solid), 0.1f);  // aim dot
    draw(p, {-8, 38}, {0.5f, 0.5f}, 0, white, S(sprite_player_bullet), 0.5f);
    draw(p, {-4, 30}, {0.5f, 0.5f}, 0.12f, white, S(sprite_player_bullet), 0.5f);
    draw(p, {-6, 46}, {3 * 0.5f, 3 * 0.5f}, PI / 4, PALETTE[1], S(sprite_solid), 0.5f);  // trail
    draw(p, {-8, 60}, {0.5f, 0.5f}, 15 * deg, white, S(sprite_large_asteroid), 0.5f);
    draw(p, {-8, 60}, {1, 1}, 0, white, S(sprite_target), 0.1f);
    draw(p, {40, 30}, {0.5f, 0.5f}, -30 * deg, white, S(sprite_small_asteroid), 0.5f);
    draw(p, {-50, 20}, {0.5f, 0.5f}, 0, white, S(sprite_bomb), 0.5f);
    draw(p, {55, -10}, {0.5f, 0.5f}, 200 * deg, white, S(sprite_chaser_asteroid), 0.5f);
    draw(p, {-40, -20}, {0.5f, 0.5f}, 0, white, S(sprite_chaser_asteroid), 0.5f);
    draw(p, {30, 5}, {0.65f, 0.65f}, 0, white, S(sprite_pickup), 0.5f);
    draw(p, {20, 50}, {0.5f, 0.5f}, 0, white, S(sprite_popup), 0.5f);
    for (int i = 0; i < 6; i++)
        draw(p, {-70.f + i * 5, 40.f + (i % 3)}, {0.7f, 0.7f}, PI / 4, PALETTE[2], S(sprite_solid), 0.5f);
    palette_map(p, out, VW * 3, 0);

    // 2: boss fight
    p.clear(PALETTE[2]);
    draw(p, {0, 0}, {0.5f, 0.5f}, 0, white, S(sprite_background), 0.999f);
    draw(p, {0, 20}, {0.5f, 0.5f}, 0, white, anim_frame(boss_idle, 2), 0.4f);
    draw(p, {0, 57.6f}, {64, 1}, 0, PALETTE[1], S(sprite_solid), 0.01f);
    draw(p, {0, 57.6f}, {64, 1}, 0, PALETTE[3], S(sprite_solid), 0.011f);
    draw(p, {0, 57.6f}, {65, 2}, 0, PALETTE[2], S(sprite_solid), 0.012f);
    for (int i = 0; i < 8; i++) {
        f32 a = i * PI / 4;
        draw(p, {std::cos(a) * 30, 20 + std::sin(a) * 30}, {0.65f, 0.65f}, 0, white, S(sprite_boss_bullet), 0.5f);
    }
    draw(p, {0, -40}, {0.5f, 0.5f}, 0, white, S(sprite_ship_0), 0.2f);
    draw(p, {0, 20}, {1, 1}, 0, white, S(sprite_target), 0.1f);
    palette_map(p, out, VW * 3, VW);

    // 3: main menu (no world: purple clear colour + title)
    p.clear(PALETTE[2]);
    draw(p, {0, 25}, {0.5f, 0.5f}, 0, white, S(sprite_title), 0.5f);
    palette_map(p, out, VW * 3, VW * 2);
    wrote = write_ppm(std::string(argv[2]) + "/scene.ppm", VW * 3, VH, out) && wrote;
    wrote = write_alphabet(std::string(argv[2]) + "/alphabet.ppm", assets.font_data) && wrote;
    if (!wrote) return 1;
    std::printf("art_preview: wrote atlas.ppm, scene.ppm and alphabet.ppm in %s\n", argv[2]);
    return 0;
}
