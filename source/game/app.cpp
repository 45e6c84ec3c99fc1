// The application callbacks the window layer runs: start-up and shutdown sequences and
// event routing. The frame callback, _sapp_frame, is in game.cpp.
#include "app.h"

#include <cstdio>
#include <cstring>

#include "../gpad/gpad.h"
#include "../platform/platform.h"
#include "assets.h"
#include "audio.h"
#include "game.h"
#include "icon.h"
#include "input.h"
#include "particles.h"
#include "renderer.h"
#include "replay.h"
#include "scores.h"
#include "settings.h"
#include "sprite.h"
#include "stage.h"
#include "ui.h"
#include "volume.h"

namespace {
void _set_icon_from_ship(const Assets& a) {
    static u8 icon[WINDOW_ICON_SIZE * WINDOW_ICON_SIZE * 4];
    if (icon_from_ship(a, WINDOW_ICON_SIZE, WINDOW_ICON_SCALE, icon))
        platform_set_icon(WINDOW_ICON_SIZE, WINDOW_ICON_SIZE, icon);
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
    volume_load();
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
    scores_load();
}

void _sapp_event(const Input_Event& e) {
    if (replay_take_live_event(e)) input_handle_event(e);
}

void app_platform_event(const Platform_Event& e) { _sapp_event(input_event_from_platform(e)); }

void _sapp_cleanup() {
    replay_stop();
    gpad_shutdown();
    scene_destroy(game.scene);
    settings_save();
    volume_save();
    renderer_shutdown();
    platform_shutdown_graphics();
    audio_shutdown();
}
