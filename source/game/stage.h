// The stage table, the upgrade labels, the new-game reset and stage changes. game_reset and
// game_start_stage keep the game_ prefix they have always had, though they live here.
// The score rule and the upgrade offer are game_on_asteroid_hit (game.cpp); the spawners are
// asteroid_spawner_update (asteroid.cpp) and pickup_spawner_update (pickup.cpp).
#pragma once
#include "common.h"
#include "entity.h"

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

void game_reset();
void game_start_stage(i32 index);
