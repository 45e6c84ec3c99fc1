// The player's music and effects volume: stepped from the keyboard or a pad, shown on the
// screen for a moment after each step, and kept between launches in a file of its own.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "common.h"

constexpr i32 VOLUME_LEVELS = 10;    // steps above off; the top one plays as the bank mixes
constexpr f32 VOLUME_STEP_DB = 3;    // dB between neighbouring steps
constexpr f32 VOLUME_SHOWN = 1.5f;   // seconds the display stays after a step
constexpr f32 VOLUME_HINT_BASELINE = 142;  // pixels: the title's bottom line names the keys
constexpr const char* VOLUME_FILE = "volume.json";
// At most this many bytes are read: the file the game writes is about 40.
constexpr u64 VOLUME_FILE_MAX_BYTES = 4096;

enum Volume_Kind : u8 { volume_music, volume_effects };
constexpr int VOLUME_KIND_COUNT = 2;

struct Volume {
    i32 levels[VOLUME_KIND_COUNT] = {VOLUME_LEVELS, VOLUME_LEVELS};  // 0 (off) .. VOLUME_LEVELS
    Volume_Kind last_stepped = volume_music;
    f32 shown = 0;         // seconds the display has left
    bool stepped = false;  // by the player since the launch: the file is written at exit
};
extern Volume volume;

// Linear gain of a level: 0 when off, 1 at the top, VOLUME_STEP_DB apart.
f32 volume_gain(i32 level);
// The file's text, and the levels back from it (none for anything the game did not write).
std::string volume_to_text(const Volume& v);
std::optional<Volume> volume_from_text(std::string_view text);

// Start-up: the file beside the settings, or full volume when it is missing or damaged.
void volume_load();
// Exit: writes the file when the player stepped a level since the launch (a replay's
// steps are heard but not kept).
void volume_save();
// Each frame: the volume keys and pad buttons step the levels, and the display counts down.
void volume_update(f32 dt_real);
// The display while it shows, and the keys' hint on the title.
void volume_draw();
