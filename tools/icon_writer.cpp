// icon_writer: the desktop icons, made from one sprite's text grid by nearest-neighbour scaling.
//
//   icon_writer <grid.txt> <out_dir> <name>
//
// Writes <out_dir>/<n>x<n>/apps/<name>.png for every size the desktop asks for. The grid
// format is the art sources' own (assets/README.md); only the first frame is used.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO  // files are written by the file layer, whole or not at all
#include <stb/stb_image_write.h>

#include "art_grid.h"
#include "game/bytes.h"
#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

constexpr int ICON_SIZES[] = {16, 32, 48, 64, 128, 256};  // pixels

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "icon_writer: %s\n", why.c_str());
    std::exit(1);
}

struct Grid {
    int w = 0, h = 0;  // pixels
    std::vector<Rgba> px;
};

Grid read_grid(const char* path) {
    std::string error;
    std::optional<Art> art = parse_art(path, error);
    if (!art) fail(error);
    return {art->frame_w, art->frame_h, art->frames[0]};
}

// The grid centred on a square canvas, scaled to size x size without smoothing.
std::vector<Rgba> scale_square(const Grid& g, int size) {
    int side = g.w > g.h ? g.w : g.h;
    std::vector<Rgba> out(size_t(size) * size_t(size), Rgba{0, 0, 0, 0});
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            int sx = x * side / size - (side - g.w) / 2;
            int sy = y * side / size - (side - g.h) / 2;
            if (sx < 0 || sy < 0 || sx >= g.w || sy >= g.h) continue;
            out[size_t(y) * size_t(size) + size_t(x)] = g.px[size_t(sy) * size_t(g.w) + size_t(sx)];
        }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) fail("usage: icon_writer <grid.txt> <out_dir> <name>");
    Grid g = read_grid(argv[1]);
    for (int size : ICON_SIZES) {
        fs::path dir = fs::path(argv[2]) / (std::to_string(size) + "x" + std::to_string(size)) / "apps";
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec) fail("cannot create " + dir.string());
        std::vector<Rgba> px = scale_square(g, size);
        std::vector<u8> png;
        auto append = [](void* to, void* bytes, int n) { bytes_put(*static_cast<std::vector<u8>*>(to), bytes, size_t(n)); };
        if (!stbi_write_png_to_func(append, &png, size, size, 4, px.data(), size * 4)) fail("cannot encode a PNG");
        fs::path out = dir / (std::string(argv[3]) + ".png");
        if (!file_write_atomic(out.c_str(), png.data(), png.size())) fail("cannot write " + out.string());
    }
    return 0;
}
