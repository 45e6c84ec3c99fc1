// ico_writer: the Windows program icon (.ico) from a built asset pack.
//
//   ico_writer <assets.sbpak> <out.ico>
//
// The ship is drawn exactly as the window icon is, at 16, 32, 48 and 64 pixels (one to four
// icon pixels per sprite pixel), each as a 32-bit image with its transparency mask. The file
// is written to a temporary name and renamed, so a failed run leaves no half icon behind.
#include <cstdio>
#include <vector>

#include "game/assets.h"
#include "game/bytes.h"
#include "game/icon.h"
#include "platform/files.h"

namespace {

struct Icon_Size {
    int size;   // pixels
    int scale;  // icon pixels per sprite pixel
};
constexpr Icon_Size ICON_SIZES[] = {{16, 1}, {32, WINDOW_ICON_SCALE}, {48, 3}, {64, 4}};
constexpr size_t ICON_DIR_BYTES = 6, ICON_ENTRY_BYTES = 16, BITMAP_HEADER_BYTES = 40;

// One image: header, colour rows bottom-up in BGRA, then the 1-bit mask (1 = transparent)
// whose rows are padded to whole 32-bit words.
std::vector<u8> _bitmap(const u8* rgba, int size) {
    size_t mask_row = size_t((size + 31) / 32) * 4;
    std::vector<u8> out;
    bytes_put_u32(out, BITMAP_HEADER_BYTES);
    bytes_put_u32(out, u32(size));
    bytes_put_u32(out, u32(size * 2));  // colour and mask stacked
    bytes_put_u16(out, 1);
    bytes_put_u16(out, 32);
    bytes_put_u32(out, 0);
    bytes_put_u32(out, u32(size_t(size) * size_t(size) * 4 + mask_row * size_t(size)));
    for (int i = 0; i < 4; i++) bytes_put_u32(out, 0);
    for (int y = size - 1; y >= 0; y--)
        for (int x = 0; x < size; x++) {
            const u8* p = rgba + (size_t(y) * size_t(size) + size_t(x)) * 4;
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
        }
    for (int y = size - 1; y >= 0; y--) {
        std::vector<u8> row(mask_row, 0);
        for (int x = 0; x < size; x++)
            if (rgba[(size_t(y) * size_t(size) + size_t(x)) * 4 + 3] == 0) row[size_t(x / 8)] |= u8(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ico_writer <assets.sbpak> <out.ico>\n");
        return 2;
    }
    Assets a;
    if (!assets_load_from_file(argv[1], a)) {
        std::fprintf(stderr, "ico_writer: cannot read the pack %s\n", argv[1]);
        return 1;
    }
    constexpr size_t COUNT = sizeof ICON_SIZES / sizeof ICON_SIZES[0];
    std::vector<std::vector<u8>> images;
    for (const Icon_Size& s : ICON_SIZES) {
        std::vector<u8> rgba(size_t(s.size) * size_t(s.size) * 4);
        if (!icon_from_ship(a, s.size, s.scale, rgba.data())) {
            std::fprintf(stderr, "ico_writer: the pack has no ship sprite\n");
            return 1;
        }
        images.push_back(_bitmap(rgba.data(), s.size));
    }
    std::vector<u8> out;
    bytes_put_u16(out, 0);
    bytes_put_u16(out, 1);  // icon, not cursor
    bytes_put_u16(out, u16(COUNT));
    size_t offset = ICON_DIR_BYTES + ICON_ENTRY_BYTES * COUNT;
    for (size_t i = 0; i < COUNT; i++) {
        out.push_back(u8(ICON_SIZES[i].size));
        out.push_back(u8(ICON_SIZES[i].size));
        out.push_back(0);  // not a palette image
        out.push_back(0);
        bytes_put_u16(out, 1);
        bytes_put_u16(out, 32);
        bytes_put_u32(out, u32(images[i].size()));
        bytes_put_u32(out, u32(offset));
        offset += images[i].size();
    }
    for (const std::vector<u8>& img : images) out.insert(out.end(), img.begin(), img.end());
    if (!file_write_atomic(argv[2], out.data(), out.size())) {
        std::fprintf(stderr, "ico_writer: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
