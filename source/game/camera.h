// The camera's shake and kick, and the noise the shake follows.
#pragma once
#include "common.h"
#include "entity.h"
#include "renderer.h"

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

void camera_shake(Camera_Effects& c, f32 duration, Vec2 amplitude, f32 frequency);
// World step part: advances shake and kick, hands the floored position to the renderer.
void camera_effects_update(Camera_Effects& c, Time_Step ts);
// OpenSimplex2 (fast) 2D noise.
f32 noise2(i64 seed, f64 x, f64 y);
