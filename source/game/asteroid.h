// Asteroids: how they are made and sent in, how each kind flies, and what a hit does to them.
#pragma once
#include "entity.h"

constexpr int ASTEROID_KIND_COUNT = 4;
static_assert(chaser + 1 == ASTEROID_KIND_COUNT);
constexpr f32 ASTEROID_RADIUS[ASTEROID_KIND_COUNT] = {10, 16, 10, 7};  // by Asteroid_Kind, world units
constexpr f32 ASTEROID_SPEED_FACTOR[ASTEROID_KIND_COUNT] = {1, 1, 1, 1.5f};  // times the stage's speed
constexpr f32 DEBRIS_SPREAD[ASTEROID_KIND_COUNT] = {5, 10, 0, 0};  // world units; rocks only
constexpr f32 CHASER_RESPONSE = 32;  // per second: how fast a chaser turns toward the ship
constexpr f32 BOMB_RADIUS = 40;      // world units
constexpr f32 CONTACT_RADIUS = 1;    // the ship's point of contact, world units

// An asteroid of `kind` with its kind's collider; angular_vel in radians per second.
Entity make_asteroid(Vec2 pos, Vec2 vel, Asteroid_Kind kind, f32 angular_vel);
void asteroid_update(Entity_Ref ref, Time_Step ts);
// While playing an asteroid stage, sends in a group from beyond the edges now and then.
void asteroid_spawner_update(f32 dt);
void asteroid_draw(const Entity& e);
bool asteroid_damage(Entity_Ref ref, const Damage_Info& info);
