// What the player may ask for on the command line. Parsing is pure so tests can drive it.
#pragma once
#include <cstddef>

#include "common.h"

enum Window_Mode : u8 { window_mode_fullscreen, window_mode_windowed };

struct Command_Line {
    bool show_help = false;
    bool show_version = false;
    Window_Mode window_mode = window_mode_fullscreen;  // the game starts fullscreen unless asked
    bool has_seed = false;  // otherwise every launch draws a fresh seed
    u64 seed = 0;
    const char* record_path = nullptr;  // --record FILE; points into argv
    const char* replay_path = nullptr;  // --replay FILE; points into argv
};

// False for anything not understood; `error` then holds one line saying what.
bool command_line_parse(int argc, const char* const* argv, Command_Line& out, char* error, size_t error_size);
// The usage text, several lines, ending in a newline.
const char* command_line_usage();
