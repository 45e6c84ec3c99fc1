#include "game.h"

#include "../platform/platform.h"
#include "input.h"
#include "physics.h"
#include "replay.h"
#include "renderer.h"
#include "sprite.h"

Game game;
Time_Step last_time_step;

void game_set_state(Game_State s) {
    if (game.state == s) return;
    ui.selected = 0;
    game.state = s;
}

void game_play_music(Audio_Event e) {
    audio_stop(game.music);
    game.music = audio_play(e);
}

void game_return_to_main_menu() {
    if (game.state == main_menu) return;
    ui.selected = 0;
    // Coming back from the credits keeps whatever music is playing.
    if (game.state != credits) game_play_music(music_menu);
    game.state = main_menu;
}

void game_new_game() {
    scene_clear(game.scene);
    _particle_system_reset();
    game_reset();
    ui.selected = 0;
    game_play_music(music_game);
    game.state = intro;
}

static void _overlay(f32 alpha) {
    draw_world_sprite({0, 0}, {1600, 1440}, 0, Color{0, 0, 0, alpha}, sprites[sprite_solid], 0.001f);
}

void game_state_draw() {
    switch (game.state) {
        case main_menu: draw_title(); break;
        case intro: draw_scene(); break;
        case tutorial:
        case playing:
            draw_scene();
            draw_hud();
            break;
        case pick_upgrade:
            draw_scene();
            _overlay(0.75f);
            break;
        case paused:
            // The world goes first: an overlay queued before it writes depth everywhere
            // and hides the world instead of dimming it.
            draw_scene();
            _overlay(0.2f);
            break;
        case game_over:
        case won:
        case credits: break;
    }
}

void _sapp_frame() {
    scratch_reset();

    f64 duration = platform_frame_duration();  // seconds
    Pad_Snapshot pads;
    input_read_pads(pads);
    // A replay swaps in the recorded frame; a recording writes this one down.
    replay_frame(duration, pads);
    input_set_pads(pads);

    f32 step = f32(duration);
    step = clampf(step, 1.0f / 256, 1.0f / 16);
    Time_Step ts = {game.time_scale * step, step};
    last_time_step = ts;

    ui_begin_frame();

    if (auto player = scene_get_entity_copy(game.player))
        audio_set_listener(player->entity.pos, player->entity.vel);

    if (key_pressed(Input_Code::key_f11)) platform_toggle_fullscreen();

    game_state_update(ts);

    if (game.state != playing) {
        game.camera.shake = Camera_Shake{};
        game.camera.shake_offset = {};
        game.camera.kick_offset = {};
        game.camera.kick_vel = {};
    }

    if (ui.item_count != 0) {
        bool moved = false;
        if (key_pressed(Input_Code::key_down) || menu_pad_pressed(menu_pad_down)) {
            ui.selected += 1;
            moved = true;
        }
        if (key_pressed(Input_Code::key_up) || menu_pad_pressed(menu_pad_up)) {
            ui.selected -= 1;
            moved = true;
        }
        ui.selected_time += ts.real;
        if (moved) {
            ui.selected_time = 0;
            audio_play(ui_hover);
        }
        if (ui.button_count <= 0)
            ui.selected = 0;
        else
            ui.selected = ((ui.selected % ui.button_count) + ui.button_count) % ui.button_count;
    }

    audio_update();
    game_state_draw();
    renderer.camera = game.camera.view;
    renderer_flush_frame();
    input_end_frame();
}
