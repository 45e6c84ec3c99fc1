// Sprite particles and the camera shake and kick.
#pragma once
#include "common.h"
#include "entity.h"
#include "renderer.h"
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

struct Camera_Shake {
    f32 time = 0, duration = 0;  // seconds
    Vec2 amplitude;              // world units
    f32 frequency = 0;  // noise cells per second
};
struct Camera_Effects {
    Vec2 base_pos;
    f32 view_scale = 1;
    Camera_Shake shake;
    Vec2 shake_offset;
    Vec2 kick_offset;
    Vec2 kick_vel;
    Camera view;  // what the renderer shows: floored base + shake
};

void spawn_sprite_particle(const Sprite_Particle& p);
// A square of the solid patch: the shape of nearly every effect.
Sprite_Particle make_dot_particle(Vec2 pos, Vec2 vel, f32 rot, f32 size, f32 end_size, Color color,
                                  f32 life_seconds);
void _particle_system_update(f32 dt);
void _particle_system_reset();
void camera_shake(Camera_Effects& c, f32 duration, Vec2 amplitude, f32 frequency);
// World step part: advances shake and kick, hands the floored position to the renderer.
void camera_effects_update(Camera_Effects& c, Time_Step ts);
// OpenSimplex2 (fast) 2D noise.
f32 noise2(i64 seed, f64 x, f64 y);
