// The game's one pseudo-random generator.
#pragma once
#include "common.h"

// What the generator holds before anything seeds it.
constexpr u64 RANDOM_START_SEED = 0x5EED0F5A11A57E55ull;

void random_seed(u64 seed);
// A seed no earlier launch is likely to have used: system entropy, else the clock.
u64 random_fresh_seed();
u64 random_u64();
// Uniform in [0, 1) from 53 random bits.
f64 random_f64();
// Uniform in [0, 1) as f32; never rounds up to 1.
f32 random_unit();
// Both components uniform in [-1, 1).
Vec2 random_vec2();
// Unbiased integer in [0, n); 0 when n is 0.
u64 random_below(u64 n);
