// pack_writer: builds the asset pack (data/assets.sbpak) from the text-art sources in
// assets/ and a TrueType font file.
//
//   pack_writer <assets_dir> <font.ttf> <out.sbpak> [--preview <atlas.ppm>]
//
// Every *.txt file under <assets_dir> is one sprite or one animation strip (format:
// assets/README.md). The images are packed into one RGBA8 atlas, the 21 sprite rectangles
// and the 5 animation records are filled, and the pack is written atomically (temporary
// file + rename), lz4-compressed, version 1. With --preview, the atlas is also written as
// a binary PPM over the clear colour (purple) for looking at.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "art_grid.h"
#include "game/assets.h"
#include "game/pak.h"
#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& msg) {
    std::fprintf(stderr, "pack_writer: %s\n", msg.c_str());
    std::exit(1);
}

Art read_art(const fs::path& path) {
    std::string error;
    std::optional<Art> art = parse_art(path, error);
    if (!art) fail(error);
    return std::move(*art);
}

// Skyline bottom-left packing with a 1-pixel transparent gutter around every image (so
// nearest sampling at a rectangle's edge never picks up a neighbour). Returns the height
// used, or -1 when something is wider than the atlas.
int pack(std::vector<Art*>& arts, int atlas_w) {
    constexpr int GUTTER = 1;
    struct Seg { int x, y, w; };
    std::vector<Seg> sky = {{0, 0, atlas_w}};
    int used_h = 0;
    for (Art* a : arts) {
        int w = a->width() + 2 * GUTTER, h = a->frame_h + 2 * GUTTER;
        if (w > atlas_w) return -1;
        int best_i = -1, best_x = 0, best_y = 0;
        for (size_t i = 0; i < sky.size(); i++) {
            int x = sky[i].x;
            if (x + w > atlas_w) break;
            int y = 0;
            for (size_t j = i; j < sky.size() && sky[j].x < x + w; j++) y = std::max(y, sky[j].y);
            if (best_i < 0 || y + h < best_y + h || (y == best_y && x < best_x)) {
                best_i = (int)i; best_x = x; best_y = y;
            }
        }
        if (best_i < 0) return -1;
        a->ax = best_x + GUTTER;
        a->ay = best_y + GUTTER;
        used_h = std::max(used_h, best_y + h);
        // Raise the skyline over [best_x, best_x + w).
        std::vector<Seg> next;
        for (const Seg& s : sky) {
            int s0 = s.x, s1 = s.x + s.w;
            if (s1 <= best_x || s0 >= best_x + w) { next.push_back(s); continue; }
            if (s0 < best_x) next.push_back({s0, s.y, best_x - s0});
            if (s1 > best_x + w) next.push_back({best_x + w, s.y, s1 - (best_x + w)});
        }
        next.push_back({best_x, best_y + h, w});
        std::sort(next.begin(), next.end(), [](const Seg& p, const Seg& q) { return p.x < q.x; });
        // merge equal neighbours
        sky.clear();
        for (const Seg& s : next) {
            if (!sky.empty() && sky.back().y == s.y && sky.back().x + sky.back().w == s.x) sky.back().w += s.w;
            else sky.push_back(s);
        }
    }
    return used_h;
}

std::vector<u8> read_file(const std::string& path) {
    std::optional<std::vector<u8>> bytes = file_read_whole(path.c_str(), ASSET_SOURCE_MAX_BYTES);
    if (!bytes) fail("cannot read " + path);
    return *bytes;
}

void write_atomic(const std::string& path, const std::vector<u8>& bytes) {
    fs::path p(path);
    if (p.has_parent_path()) {
        std::error_code ec;
        fs::create_directories(p.parent_path(), ec);
    }
    if (!file_write_atomic(path.c_str(), bytes.data(), bytes.size())) fail("cannot write " + path);
}

void write_preview(const std::string& path, const Assets& a) {
    int w = a.atlas_size[0], h = a.atlas_size[1];
    std::vector<u8> out;
    std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    out.insert(out.end(), head.begin(), head.end());
    for (int i = 0; i < w * h; i++) {
        const u8* p = &a.atlas_pixels[(size_t)i * 4];
        bool opaque = p[3] >= 128;
        out.push_back(opaque ? p[0] : rgba_of(PALETTE[2]).r);
        out.push_back(opaque ? p[1] : rgba_of(PALETTE[2]).g);
        out.push_back(opaque ? p[2] : rgba_of(PALETTE[2]).b);
    }
    write_atomic(path, out);
}

}  // namespace

int main(int argc, char** argv) {
    std::string preview;
    std::vector<std::string> pos;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--preview") == 0 && i + 1 < argc) preview = argv[++i];
        else pos.push_back(argv[i]);
    }
    if (pos.size() != 3) {
        std::fprintf(stderr, "usage: pack_writer <assets_dir> <font.ttf> <out.sbpak> [--preview <atlas.ppm>]\n");
        return 2;
    }
    const std::string assets_dir = pos[0], font_path = pos[1], out_path = pos[2];

    // Sources, in a fixed order so that the output does not depend on the directory listing.
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(assets_dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_regular_file() && it->path().extension() == ".txt") files.push_back(it->path());
    }
    if (ec) fail("cannot list " + assets_dir + ": " + ec.message());
    std::sort(files.begin(), files.end());

    std::vector<Art> arts;
    for (const fs::path& f : files) arts.push_back(read_art(f));

    Art* by_slot[SPRITE_COUNT] = {};
    Art* by_anim[SPRITE_ANIM_COUNT] = {};
    for (Art& a : arts) {
        if (by_slot[a.slot]) fail(a.file + ": slot " + std::to_string(a.slot) + " already used by " + by_slot[a.slot]->file);
        by_slot[a.slot] = &a;
        if (a.anim >= 0) {
            if (by_anim[a.anim]) fail(a.file + ": animation " + ANIM_NAMES[a.anim] + " defined twice");
            by_anim[a.anim] = &a;
        }
    }
    for (int i = 0; i < SPRITE_COUNT; i++) if (!by_slot[i]) fail("no source fills sprite slot " + std::to_string(i));
    for (int i = 0; i < SPRITE_ANIM_COUNT; i++) if (!by_anim[i]) fail(std::string("no source for animation ") + ANIM_NAMES[i]);

    // Pack: tallest first; try a few widths and keep the smallest power-of-two atlas.
    std::vector<Art*> order;
    for (Art& a : arts) order.push_back(&a);
    std::stable_sort(order.begin(), order.end(), [](const Art* p, const Art* q) {
        if (p->frame_h != q->frame_h) return p->frame_h > q->frame_h;
        return p->width() > q->width();
    });
    int best_w = 0, best_h = 0;
    for (int w : {256, 512, 1024, 2048}) {
        int used = pack(order, w);
        if (used < 0) continue;
        int h = 1;
        while (h < used) h *= 2;
        if (best_w == 0 || (i64)w * h < (i64)best_w * best_h) { best_w = w; best_h = h; }
    }
    if (best_w == 0) fail("the art does not fit a 2048-wide atlas");
    pack(order, best_w);

    Assets assets;
    assets.atlas_size[0] = best_w;
    assets.atlas_size[1] = best_h;
    assets.atlas_pixels.assign((size_t)best_w * best_h * 4, 0);
    for (Art& a : arts) {
        for (size_t f = 0; f < a.frames.size(); f++) {
            for (int y = 0; y < a.frame_h; y++) {
                for (int x = 0; x < a.frame_w; x++) {
                    const Rgba& c = a.frames[f][(size_t)y * a.frame_w + x];
                    size_t o = ((size_t)(a.ay + y) * best_w + (size_t)(a.ax + (int)f * a.frame_w + x)) * 4;
                    assets.atlas_pixels[o + 0] = c.r;
                    assets.atlas_pixels[o + 1] = c.g;
                    assets.atlas_pixels[o + 2] = c.b;
                    assets.atlas_pixels[o + 3] = c.a;
                }
            }
        }
        Sprite& sp = assets.sprites[a.slot];
        if (a.has_rect) sp = {(u16)(a.ax + a.rect[0]), (u16)(a.ay + a.rect[1]), (u16)a.rect[2], (u16)a.rect[3]};
        else sp = {(u16)a.ax, (u16)a.ay, (u16)a.frame_w, (u16)a.frame_h};  // a strip's base: frame 0
        if (a.anim >= 0) {
            Sprite_Anim& an = assets.anims[a.anim];
            std::memset(&an, 0, sizeof(an));
            an.sprite = (u8)a.slot;
            an.len = (u8)a.frames.size();
            an.first_frame = 0;
            an.frame_width = (u16)a.frame_w;
            int total = 0;
            for (size_t k = 0; k < a.durations.size(); k++) {
                an.durations[k] = (u16)a.durations[k];
                total += a.durations[k];
            }
            an.duration = (f32)total / 1000.0f;
        }
    }

    assets.font_data = read_file(font_path);
    if (assets.font_data.empty()) fail("font file " + font_path + " is empty");
    if (!assets_validate(assets)) fail("the assembled assets do not pass assets_validate");

    std::vector<u8> pack_bytes = assets_build_pack(assets, pak_lz4, 1);
    if (pack_bytes.empty()) fail("compression failed");
    // Read it back the way the game does before replacing anything.
    Assets check;
    if (!assets_load_from_bytes(pack_bytes.data(), (i64)pack_bytes.size(), check)) fail("the written pack does not load back");
    write_atomic(out_path, pack_bytes);
    if (!preview.empty()) write_preview(preview, assets);

    size_t payload = 564 + assets.atlas_pixels.size() + 8 + assets.font_data.size();
    std::printf("pack_writer: %s: %zu sources, 21 sprites, 5 animations, atlas %dx%d, font %zu bytes, "
                "payload %zu -> %zu bytes (lz4)\n",
                out_path.c_str(), arts.size(), best_w, best_h, assets.font_data.size(), payload, pack_bytes.size());
    return 0;
}
