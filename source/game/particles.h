// Sprite particles. _particle_system_update and _particle_system_reset keep the names they have
// always had, underscore included, though other files call them.
#pragma once
#include "common.h"
#include "sprite.h"

struct Sprite_Particle {
    Vec2 pos;       // world units
    f32 rot = 0;    // radians
    f32 timer = 0;  // seconds alive
    Vec2 vel;       // units per second
    Vec2 size;      // scale at birth
    Vec2 end_size;  // scale at the end of life
    Color color;
    f32 duration = 0;  // seconds
    Sprite sprite;
};

struct Particle_List {
    Sprite_Particle* items = nullptr;
    u32 count = 0;
    u32 capacity = 0;
};
extern Particle_List particles;

void spawn_sprite_particle(const Sprite_Particle& p);
// A square of the solid patch: the shape of nearly every effect.
Sprite_Particle make_dot_particle(Vec2 pos, Vec2 vel, f32 rot, f32 size, f32 end_size, Color color,
                                  f32 life_seconds);
void _particle_system_update(f32 dt);
void _particle_system_reset();
