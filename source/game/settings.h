// Input bindings, written to "settings.json" at exit and never read back.
#pragma once
#include <string>
#include "../gpad/gpad.h"
#include "input.h"

struct Player_Input_Map {
    Input_Code keyboard_map[PLAYER_INPUT_ACTION_COUNT];
    Button gamepad_map[PLAYER_INPUT_ACTION_COUNT];
};

struct Settings {
    Player_Input_Map input_map;
};

extern const Settings settings;

// The JSON text of the record: tabs, ", " between fields, enums as numbers.
std::string settings_to_json(const Settings& s);
// Writes "settings.json" in the working directory through a temporary file, so a
// failed write never leaves a truncated file. Failures are silent.
void settings_save();
bool settings_save_to(const char* path);
