// Bullets of the ship and of the boss: how they are made and how they fly and hit.
#pragma once
#include "entity.h"

constexpr f32 TRAIL_RATE = 25;              // particles per second, at most one a frame
constexpr Vec2 BULLET_CAST_HALF = {0.1f, 0.1f};  // world units swept ahead of a bullet
constexpr f32 BOSS_BULLET_PULSE_RATE = 10;  // radians per second of game time

// A bullet as both the ship and the boss fire it: no collider, so nothing can hit it.
Entity make_projectile(Vec2 pos, Vec2 vel, Projectile_Kind kind);
void projectile_update(Entity_Ref ref, Time_Step ts);
void projectile_draw(const Entity& e);
