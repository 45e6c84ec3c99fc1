// The game record, its state machine and the frame callback.
#pragma once
#include <optional>

#include "audio.h"
#include "camera.h"
#include "common.h"
#include "scene.h"

enum Game_State : u8 {
    main_menu, intro, tutorial, playing, game_over, won, pick_upgrade, paused, credits
};
constexpr int GAME_STATE_COUNT = 9;

// A hit stop shorter than this has run out: the world moves again.
constexpr f32 HIT_STOP_MIN = 0.001f;  // seconds
// Each frame's step is clamped to this range, so a long hitch moves the world at most STEP_MAX.
constexpr f32 STEP_MIN = 1.0f / 256;  // seconds
constexpr f32 STEP_MAX = 1.0f / 16;   // seconds

struct Game {
    f32 time_scale = 1;
    f32 time = 0;       // accumulated simulation seconds
    f32 real_time = 0;  // accumulated real seconds
    Game_State state = main_menu;
    Camera_Effects camera;
    Entity_Id player = 0;
    f32 hit_stop_timer = 0;  // seconds; world frozen while >= HIT_STOP_MIN
    Scene scene;
    f32 asteroid_spawn_timer = 0;  // seconds
    f32 pickup_spawn_timer = 0;    // seconds
    i32 stage = 0;
    i32 score = 0;
    Player_Stat upgrade_choices[2] = {charge_time, charge_time};
    Audio_Instance music = 0;
};
extern Game game;

void game_set_state(Game_State s);
void game_play_music(Audio_Event e);
void game_return_to_main_menu();
void game_new_game();
// A rock destroyed by anything but the ship scores; every STAGE_SCORE_STEP points the next
// stage starts and two upgrades are offered.
void game_on_asteroid_hit(Entity_Id source);
// The ship, when it exists and is still a ship.
std::optional<Entity_Copy> game_player();
void game_state_update(Time_Step ts);
void game_state_draw();

// The frame callback.
void _sapp_frame();
// The clamped step of the last frame, for tests.
extern Time_Step last_time_step;
