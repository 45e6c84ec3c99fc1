// Start-up and shutdown sequences and event routing; the frame is in game.cpp.
#include <cstdio>
#include <cstring>
#include <vector>

#include "../gpad/gpad.h"
#include "../platform/platform.h"
#include "assets.h"
#include "audio.h"
#include "game.h"
#include "input.h"
#include "renderer.h"
#include "settings.h"
#include "sprite.h"

namespace {
// The window icon: the ship's upright sprite scaled up without smoothing.
void _set_icon_from_ship(const Assets& a) {
    const Sprite& s = a.sprites[sprite_ship_0];
    if (s.w == 0 || s.h == 0) return;
    constexpr int ICON = 32, SCALE = 2;
    static u8 icon[ICON * ICON * 4];
    std::memset(icon, 0, sizeof icon);
    int ox = (ICON - s.w * SCALE) / 2, oy = (ICON - s.h * SCALE) / 2;
    for (int y = 0; y < ICON; y++)
        for (int x = 0; x < ICON; x++) {
            int sx = (x - ox) / SCALE, sy = (y - oy) / SCALE;
            if (x < ox || y < oy || sx >= s.w || sy >= s.h) continue;
            size_t src = (size_t(s.y + sy) * size_t(a.atlas_size[0]) + size_t(s.x + sx)) * 4;
            std::memcpy(icon + (y * ICON + x) * 4, a.atlas_pixels.data() + src, 4);
        }
    platform_set_icon(ICON, ICON, icon);
}

void _load_asset_pack() {
    for (Sprite& s : sprites) s = Sprite{};
    std::memset(sprite_anims, 0, sizeof sprite_anims);
    Assets a;
    if (!assets_load_from_file("data/assets.sbpak", a)) return;
    // An atlas beyond the device's texture limit would draw every sprite as a black box.
    if (!renderer_atlas_fits(a.atlas_size[0], a.atlas_size[1])) return;
    // The font goes first: a font the baker refuses refuses the whole pack, like any damage.
    if (!_renderer_load_font_data(a.font_data.data(), a.font_data.size())) return;
    std::memcpy(sprites, a.sprites, sizeof sprites);
    std::memcpy(sprite_anims, a.anims, sizeof sprite_anims);
    renderer_load_atlas(a.atlas_size[0], a.atlas_size[1], a.atlas_pixels.data());
    _set_icon_from_ship(a);
}
}  // namespace

void _sapp_init() {
    if (!platform_change_to_exe_dir()) {
        std::fputs("Couldn't change dir\n", stdout);
        std::fflush(stdout);
    }
    platform_setup_timer();
    platform_lock_mouse(false);
    platform_show_mouse(false);
    audio_init();
    gpad_init();
    renderer_init(platform_is_headless());
    _load_asset_pack();

    game = Game{};
    ui = UI_State{};
    input_reset();
    _particle_system_reset();
    scene_make(game.scene);
    game.state = main_menu;
    game.music = audio_play(music_menu);
    game_reset();
}

void _sapp_event(const Input_Event& e) { input_handle_event(e); }

void _sapp_cleanup() {
    gpad_shutdown();
    scene_destroy(game.scene);
    settings_save();
    renderer_shutdown();
    platform_shutdown_graphics();
    audio_shutdown();
}
