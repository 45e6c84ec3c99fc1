#include "game.h"

#include "../platform/platform.h"
#include "audio.h"
#include "camera.h"
#include "input.h"
#include "particles.h"
#include "random.h"
#include "renderer.h"
#include "replay.h"
#include "scene.h"
#include "scores.h"
#include "sprite.h"
#include "stage.h"
#include "ui.h"
#include "volume.h"
#include "world.h"

Game game;
Time_Step last_time_step;

namespace {
constexpr Vec2 HINT_POS = {10, 43.2f};  // pixels
const char* const HINT_CHARGE = "Hold left/right to charge energy";
const char* const HINT_SHOOT = "Press X to Shoot or Z to Boost";
}  // namespace

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
    scores_game_started();
    ui.selected = 0;
    game_play_music(music_game);
    game.state = intro;
}

std::optional<Entity_Copy> game_player() {
    auto p = scene_get_entity_copy(game.player);
    if (!p || p->entity.variant.kind != variant_player) return std::nullopt;
    return p;
}

static void _open_credit_page(const Credit& c) {
    // A file URL of a page shipped beside the executable exists for every player.
    platform_open_url(c.url);
}

void game_state_update(Time_Step ts) {
    switch (game.state) {
        case main_menu:
            ui.origin = {30, 80};
            if (ui_button("New Game")) game_new_game();
            if (ui_button("Credits")) game_set_state(credits);
            if (ui_button("Exit to Desktop")) platform_quit();
            draw_best_score();
            break;
        case intro:
            draw_screen_text(HINT_POS, HINT_CHARGE, WHITE, UI_TEXT_SIZE);
            if (key_pressed(Input_Code::key_left) || key_pressed(Input_Code::key_right) ||
                key_pressed(STEER_LEFT_ALSO) || key_pressed(STEER_RIGHT_ALSO) ||
                menu_pad_pressed(menu_pad_left) || menu_pad_pressed(menu_pad_right))
                game_set_state(tutorial);
            break;
        case tutorial:
            if (auto p = game_player())
                draw_screen_text(HINT_POS, p->entity.variant.player.num_charges > 0 ? HINT_SHOOT : HINT_CHARGE,
                                 WHITE, UI_TEXT_SIZE);
            world_update(ts);
            break;
        case playing:
            world_update(ts);
            // Looking away pauses just as escape does.
            if ((key_pressed(Input_Code::key_escape) || menu_pad_pressed(menu_pad_start) || input_focus_lost()) &&
                game.state == playing)
                game_set_state(paused);
            break;
        case game_over:
            ui_space();
            ui_label("GAME OVER", 16);
            ui_space();
            ui_label("Better luck next time!", 8);
            ui_space();
            if (ui_button("Continue")) game_return_to_main_menu();
            draw_game_result();
            break;
        case won:
            ui_space();
            ui_label("YOU WON!", 16);
            ui_space();
            ui_label("Thank you for playing! :)", 8);
            ui_space();
            if (ui_button("Continue")) game_set_state(credits);
            draw_game_result();
            break;
        case pick_upgrade:
            ui_space();
            ui_label(tprintf("STAGE %i/%i", game.stage + 1, STAGE_COUNT), 16);
            ui_space();
            ui_label("Pick an Upgrade", 8);
            ui_space();
            for (Player_Stat stat : game.upgrade_choices) {
                if (!ui_button(upgrade_labels[stat])) continue;
                game_set_state(playing);
                if (auto p = scene_get_entity(game.player); p && p->entity->variant.kind == variant_player)
                    p->entity->variant.player.stat_levels[stat] += 1;
            }
            break;
        case paused:
            ui_label("Paused", 16);
            ui_space();
            if (ui_button("Continue") || key_pressed(Input_Code::key_escape) || menu_pad_pressed(menu_pad_start))
                game_set_state(playing);
            if (ui_button("Main Menu")) game_return_to_main_menu();
            break;
        case credits:
            ui_label("Credits", 16);
            ui_space();
            for (const Credit& c : game_credits)
                if (ui_button(tprintf("%s%s", c.name, c.role_suffix))) _open_credit_page(c);
            ui_space();
            if (ui_button("Return") || key_pressed(Input_Code::key_escape)) game_return_to_main_menu();
            break;
    }
}

static void _overlay(f32 alpha) {
    draw_world_sprite({0, 0}, {1600, 1440}, 0, Color{0, 0, 0, alpha}, sprites[sprite_solid], DEPTH_FADE);
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

// Up and down move the selection of whatever menu this frame laid out, wrapping round.
static void _menu_navigation(Time_Step ts) {
    if (ui.item_count == 0) return;
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

void _sapp_frame() {
    scratch_reset();

    f64 duration = platform_frame_duration();  // seconds
    Pad_Snapshot pads;
    input_read_pads(pads);
    // A replay swaps in the recorded frame; a recording writes this one down.
    replay_frame(duration, pads);
    input_set_pads(pads);

    f32 step = f32(duration);
    step = clampf(step, STEP_MIN, STEP_MAX);
    Time_Step ts = {game.time_scale * step, step};
    last_time_step = ts;

    ui_begin_frame();

    if (auto player = scene_get_entity_copy(game.player))
        audio_set_listener(player->entity.pos, player->entity.vel);

    if (key_pressed(Input_Code::key_f11)) platform_toggle_fullscreen();

    Game_State before = game.state;
    game_state_update(ts);
    // Only the world step ends a game, and it runs in these two states.
    if ((before == tutorial || before == playing) && (game.state == game_over || game.state == won))
        scores_game_ended();

    if (game.state != playing) {
        game.camera.shake = Camera_Shake{};
        game.camera.shake_offset = {};
        game.camera.kick_offset = {};
        game.camera.kick_vel = {};
    }

    _menu_navigation(ts);
    volume_update(ts.real);

    audio_update();
    game_state_draw();
    volume_draw();
    renderer.camera = game.camera.view;
    renderer_flush_frame();
    input_end_frame();
}

namespace {
i64 _random_stat(u64 r) { return i64(r % PLAYER_STAT_COUNT); }
}  // namespace

void game_on_asteroid_hit(Entity_Id source) {
    if (source == game.player) return;
    game.score += 1;
    if (game.score < (game.stage + 1) * STAGE_SCORE_STEP) return;
    game_start_stage(game.stage + 1);
    audio_play(new_stage);
    i64 a = _random_stat(random_u64());
    i64 b = _random_stat(random_u64());
    if (b == a) b = (b + 1) % PLAYER_STAT_COUNT;
    game.upgrade_choices[0] = Player_Stat(a);
    game.upgrade_choices[1] = Player_Stat(b);
    game_set_state(pick_upgrade);
    // Not a slip: completing a stage starts the jingle twice, the two sounding together
    // (new_stage allows two instances at once).
    audio_play(new_stage);
}
