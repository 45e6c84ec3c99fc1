// The game record, its state machine, stages, scoring and menus.
#pragma once
#include "audio.h"
#include "common.h"
#include "particles.h"
#include "scene.h"

enum Game_State : u8 {
    main_menu, intro, tutorial, playing, game_over, won, pick_upgrade, paused, credits
};
constexpr int GAME_STATE_COUNT = 9;

struct Game {
    f32 time_scale = 1;
    f32 time = 0;       // accumulated simulation seconds
    f32 real_time = 0;  // accumulated real seconds
    Game_State state = main_menu;
    Camera_Effects camera;
    Entity_Id player = 0;
    f32 hit_stop_timer = 0;  // seconds; world frozen while >= 0.001
    Scene scene;
    f32 asteroid_spawn_timer = 0;  // seconds
    f32 pickup_spawn_timer = 0;    // seconds
    i32 stage = 0;
    i32 score = 0;
    Player_Stat upgrade_choices[2] = {charge_time, charge_time};
    Audio_Instance music = 0;
};
extern Game game;

struct UI_State {
    i64 selected = 0;
    f32 selected_time = 0;  // seconds since the selection last moved
    i64 item_count = 0;
    i64 button_count = 0;
    f32 cursor_y = 16;
    Vec2 origin;
};
extern UI_State ui;

enum Stage_Kind : u8 { asteroid_wave = 0, boss_fight = 1 };
struct Stage {
    Stage_Kind kind;
    const Asteroid_Kind* asteroid_kinds;
    u32 asteroid_kind_count;
    f32 spawn_interval_min;  // seconds
    f32 spawn_interval_max;  // seconds
    f32 asteroid_speed;      // world units per second
};
constexpr i32 STAGE_COUNT = 6;
constexpr i32 STAGE_SCORE_STEP = 14;
extern const Stage stages[STAGE_COUNT];
extern const char* const upgrade_labels[PLAYER_STAT_COUNT];

void game_set_state(Game_State s);
void game_play_music(Audio_Event e);
void game_return_to_main_menu();
void game_new_game();
void game_reset();
void game_start_stage(i32 index);
void game_on_asteroid_hit(Entity_Id source);
void asteroid_spawner_update(f32 dt);
void pickup_spawner_update(f32 dt);

// Layout (menus)
void ui_begin_frame();
void ui_label(const char* text, f32 size);
void ui_space();
bool ui_button(const char* label);
void game_state_update(Time_Step ts);
void game_state_draw();
void draw_hud();
void draw_title();

struct Credit { const char* name; const char* role_suffix; const char* url; };
constexpr int CREDIT_COUNT = 3;
extern const Credit game_credits[CREDIT_COUNT];

// The frame callback and its start-up/shutdown companions.
void _sapp_init();
void _sapp_frame();
void _sapp_event(const Input_Event& e);
void _sapp_cleanup();
// The clamped step of the last frame, for tests.
extern Time_Step last_time_step;
