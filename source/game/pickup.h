// Healing pickups: how they are made and placed, how they age and how the ship collects them.
#pragma once
#include "entity.h"

constexpr f32 PICKUP_LIFETIME = 7.5f;  // seconds
constexpr f32 PICKUP_REACH = 16;       // world units, strictly closer collects
constexpr i32 PICKUP_HEAL = 1;         // hit points
constexpr f32 FIRST_PICKUP_DELAY = 15;  // seconds into a new game
constexpr f32 PICKUP_PULSE_RATE = 12;  // radians per second of the pickup's life

// A pickup waiting at pos; it has no tags and no collider.
Entity make_pickup(Vec2 pos);
void pickup_update(Entity_Ref ref, Time_Step ts);
// Places a pickup somewhere on the picture now and then.
void pickup_spawner_update(f32 dt);
void pickup_draw(const Entity& e);
