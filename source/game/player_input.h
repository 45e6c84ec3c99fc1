// The player's input for one frame as the ship reads it; input.cpp gathers it.
#pragma once
#include "common.h"

enum class Player_Input_Action : u8 { attack = 0, boost = 1 };
constexpr int PLAYER_INPUT_ACTION_COUNT = 2;
constexpr u8 action_bit(Player_Input_Action a) { return u8(1u << u8(a)); }

struct Player_Input {
    Vec2 dir;       // each axis in [-1, 1], +x right, +y up
    u8 down = 0;    // bit n = action n
    u8 pressed = 0;
    u8 released = 0;
    f32 buffered[PLAYER_INPUT_ACTION_COUNT] = {};  // seconds since last press
};
// A buffered timer this large means the action was never pressed.
constexpr f32 NOTHING_BUFFERED = 1e11f;      // seconds
// Timers stop counting here, so a never-pressed one keeps NOTHING_BUFFERED.
constexpr f32 BUFFER_STOPS_COUNTING = 1e10f;  // seconds
