// The size of the game's picture, which is also the world's visible extent.
#pragma once
#include "common.h"

constexpr int VIEW_W = 160;  // offscreen picture, pixels
constexpr int VIEW_H = 144;
// Width over height of the picture, which the window pass keeps. Written out rather than
// divided: the quotient is one float step away, and the window's scale has always used this one.
constexpr f32 PICTURE_ASPECT = 1.1111111f;
static_assert(PICTURE_ASPECT - f32(VIEW_W) / f32(VIEW_H) < 1e-6f &&
              f32(VIEW_W) / f32(VIEW_H) - PICTURE_ASPECT < 1e-6f);
