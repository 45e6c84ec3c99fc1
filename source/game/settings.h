// Input bindings, written to "settings.json" at exit and never read back.
#pragma once
#include <string>
#include "../gpad/gpad.h"
#include "input.h"

constexpr const char* SETTINGS_FILE = "settings.json";

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
// Writes "settings.json" beside the executable through a temporary file, so a failed
// write never leaves a truncated file; when that folder refuses it, into the user's
// config folder. Only when both fail does one line go to standard error.
void settings_save();
bool settings_save_to(const char* path);
