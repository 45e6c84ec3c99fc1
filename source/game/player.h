// The ship: how it is made, how it flies, charges, shoots, boosts and takes hits.
#pragma once
#include "entity.h"
#include "view.h"

// What the ship looks like when a game starts.
constexpr i32 PLAYER_START_HEALTH = 5;         // hit points
constexpr i32 PLAYER_START_CHARGE_SLOTS = 1;   // level of max_charges
constexpr f32 PLAYER_RADIUS = 3;               // world units

// Movement.
constexpr f32 CRUISE_SPEED = 50;               // world units per second, flying straight
constexpr f32 STEER_SPEED = 62.5f;             // world units per second, while turning
constexpr f32 STEER_DEADZONE = 0.1f;           // |dir.x| at or below this does not steer
constexpr f32 VELOCITY_RESPONSE = 4;           // per second: how fast vel follows the target
constexpr Vec2 WALL_HALF = {VIEW_W / 2, VIEW_H / 2};  // world units: the walls are the picture's edges
constexpr f32 WALL_PUSH = 5;                   // world units per second taken off along the wall normal

// Boost and damage timings.
constexpr f32 BOOST_TIME = 0.25f;              // seconds of boosted speed
constexpr f32 BOOST_INVULNERABLE = 0.75f;      // seconds
constexpr f32 DAMAGE_INVULNERABLE = 0.5f;      // seconds
constexpr f32 HIT_BLINK_INTERVAL = 0.1f;       // seconds shown, then hidden, while immune after a hit
constexpr f32 HIT_STOP = 0.2f;                 // seconds the world freezes on a hit
constexpr f32 HIT_KICK = 8;                    // camera kick, world units per second along the hit
constexpr f32 HIT_KNOCKBACK = 50;              // world units per second along the hit

// What each upgrade level buys: at_level_0 + per_level × level.
struct Stat_Curve {
    f32 at_level_0;
    f32 per_level;
};
constexpr f32 CHARGE_TIME = 0.7f;                     // seconds of steering per charge, divided by the rate
constexpr Stat_Curve CHARGE_RATE_CURVE = {1, 0.25f};  // charge_time: charging speed, times level 0's
constexpr Stat_Curve BOOST_SPEED_CURVE = {160, 80};   // boost: world units per second
constexpr Stat_Curve STEER_RATE_CURVE = {3.5f, 1.7f}; // steering_speed: radians per second
constexpr i32 BULLETS_AT_LEVEL_0 = 1;                 // num_bullets: one more bullet per level
constexpr Stat_Curve BULLET_SPEED_CURVE = {200, 200}; // bullet_speed: world units per second
constexpr f32 FAN_SPACING = 0.12f;                    // radians between the bullets of one shot

// Particles shed by the ship, per second of the shared dust emitter.
constexpr f32 SPARKLE_RATE = 10;      // while holding a charge
constexpr f32 BOOST_TRAIL_RATE = 20;  // while boosting
constexpr f32 STEER_DUST_RATE = 10;   // while turning
constexpr int CHARGE_BURST_COUNT = 4;  // particles when a charge is gained

// Camera response.
constexpr f32 FIRE_SHAKE_TIME = 0.1f;    // seconds
constexpr f32 FIRE_SHAKE_AMPLITUDE = 1;  // world units
constexpr f32 FIRE_SHAKE_FREQUENCY = 15;  // noise cells per second
constexpr f32 BOOST_SHAKE_TIME = 0.25f;  // seconds
constexpr f32 BOOST_SHAKE_AMPLITUDE = 5; // world units
constexpr f32 BOOST_SHAKE_FREQUENCY = 8;  // noise cells per second
constexpr f32 BOOST_KICK = -0.1f;        // camera kick per unit of the ship's velocity

// Aim marker, and the box cast that finds what the ship aims at.
constexpr f32 AIM_DOT_DIST = 16;              // world units ahead of the ship
constexpr Vec2 TARGET_CAST_HALF = {10, 10};   // world units
constexpr f32 TARGET_CAST_RANGE = 1000;       // world units

// The ship as a new game spawns it, at the origin heading +x.
Entity make_player();
void player_update(Entity_Ref ref, Time_Step ts);
// The ship, its aim marker and, while a charge is ready, the mark on what it aims at.
void player_draw(const Entity& e);
bool player_damage(Entity_Ref ref, const Damage_Info& info);
// While immune after a hit the ship blinks, hidden every other interval: the player sees
// the hit land and when it is safe again.
bool player_hidden_by_blink(const Player_Entity& p);
