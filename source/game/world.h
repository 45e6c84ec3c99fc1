// The world step: everything that moves while a game is being played.
#pragma once
#include "entity.h"

constexpr f32 WORLD_BOUND_X = 200;  // world units
constexpr f32 WORLD_BOUND_Y = 180;  // world units

void world_update(Time_Step ts);
// Destroys projectiles and asteroids that wandered far outside the screen.
void world_bounds_check(Entity_Ref ref);
