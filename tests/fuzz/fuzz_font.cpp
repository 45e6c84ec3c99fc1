// libFuzzer target: any bytes as the game's font, through the font guard and the real baker.
// The baker trusts every offset in the file, so whatever the guard lets through must bake
// inside the input and inside the atlas; ASan reports anything else.
#include <cstdlib>
#include <vector>

#include "game/font_check.h"
#include "game/renderer.h"
#include "headless_device.h"


namespace {
void _require(bool ok) {
    if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    std::vector<u8> ttf(data, data + size);  // exact size, so ASan sees over-reads
    bool passed = font_check(ttf.data(), ttf.size(), FONT_FIRST_CODEPOINT, FONT_GLYPH_COUNT,
                             FONT_PIXEL_HEIGHT, FONT_ATLAS_SIZE);
    renderer.has_font = false;
    bool baked = _renderer_load_font_data(ttf.data(), ttf.size());
    // The game bakes exactly the fonts the guard passes.
    _require(baked == passed);
    if (!baked) return 0;
    _require(renderer.has_font);
    for (const Baked_Glyph& g : renderer.glyph_table)
        _require(g.x0 <= g.x1 && g.y0 <= g.y1 && g.x1 <= FONT_ATLAS_SIZE && g.y1 <= FONT_ATLAS_SIZE);
    return 0;
}
