// The boss: how it is made, its state machine and attacks, and what a hit does to it.
#pragma once
#include "entity.h"

constexpr f32 BOSS_MAX_HEALTH = 20;   // hit points
constexpr f32 BOSS_RADIUS = 16;       // world units
// should_move_timer at spawn: past BOSS_MOVE_EVERY, so the first choice is a move.
constexpr f32 BOSS_FIRST_MOVE_TIMER = 1000;  // seconds
constexpr f32 BOSS_WAKE_TIME = 5;     // seconds
constexpr f32 BOSS_MOVE_EVERY = 15;   // seconds between moves
constexpr f32 BOSS_DYING_TIME = 5;    // seconds before the body is removed
constexpr f32 BOSS_MOVE_RATE = 30;    // world units per second toward the goal, roughly
constexpr f32 BOSS_ARRIVE_DIST = 3;   // world units
// Moves go to a point this far out along an axis, as a share of the picture's size.
constexpr f32 BOSS_MOVE_REACH = 0.3f;
// A move whose goal is this close to where the boss stands goes the other way.
constexpr f32 BOSS_SAME_SPOT = 0.1f;  // world units
constexpr f32 BOSS_SPIN_RATE = 1;     // radians per second while spinning
// Above this share of BOSS_MAX_HEALTH the boss picks from its healthy attacks.
constexpr f32 BOSS_HEALTHY_SHARE = 0.5f;

struct Boss_Attack {
    f32 duration;       // seconds before the next choice
    f32 shot_interval;  // seconds between shots
    f32 bullet_speed;   // world units per second
    f32 muzzle;         // world units from the centre where bullets appear
    int bullets;        // per shot, spread evenly round the circle when more than one
};
constexpr Boss_Attack TARGETED_ATTACK = {14, 1, 80, 1, 1};
constexpr Boss_Attack BIG_WAVE_ATTACK = {11, 4, 30, 3, 14};
constexpr Boss_Attack SPIN_ATTACK = {5, 0.4f, 25, 3, 1};

// Wake-up rumble: shake amplitude (state_timer / BOSS_RUMBLE_TIME)^4.
constexpr f32 BOSS_RUMBLE_TIME = 15;            // seconds
constexpr f32 BOSS_RUMBLE_SHAKE_TIME = 0.1f;    // seconds
constexpr f32 BOSS_RUMBLE_FREQUENCY = 10;  // noise cells per second
constexpr Vec2 BOSS_WAKE_KICK = {0, -20};       // camera kick, world units per second
constexpr f32 BOSS_HIT_SHAKE_TIME = 0.3f;       // seconds
constexpr f32 BOSS_HIT_SHAKE_AMPLITUDE = 2;     // world units
constexpr f32 BOSS_HIT_SHAKE_FREQUENCY = 10;  // noise cells per second

// Health bar at the top of the picture.
constexpr Vec2 BOSS_BAR_POS = {0, 57.6f};     // world units
constexpr Vec2 BOSS_BAR_SIZE = {64, 1};       // scale of the solid patch at full health
constexpr Vec2 BOSS_BAR_FRAME = {65, 2};      // scale of the frame around it

// The boss as its stage spawns it: asleep at the origin.
Entity make_boss();
void boss_update(Entity_Ref ref, Time_Step ts);
// The boss and its health bar.
void boss_draw(const Entity& e);
bool boss_damage(Entity_Ref ref, const Damage_Info& info);
void boss_choose_next_state(Entity_Ref ref);
