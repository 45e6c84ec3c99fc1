#include "settings.h"

#include <cstdio>
#include <cstdlib>

#include "../platform/files.h"
#include "../platform/paths.h"
#include "../platform/platform.h"
#include "replay.h"

const Settings settings = {
    {{Input_Code::key_x, Input_Code::key_z}, {Button::X, Button::A}},
};

namespace {
// Minimal pretty writer: one tab per level, ", " + newline between members.
void _indent(std::string& out, int level) { out.append(size_t(level), '\t'); }

template <typename T>
void _write_number_array(std::string& out, const T* values, int count, int level) {
    out += "[\n";
    for (int i = 0; i < count; i++) {
        _indent(out, level + 1);
        out += std::to_string(int(values[i]));
        out += i + 1 < count ? ", \n" : "\n";
    }
    _indent(out, level);
    out += "]";
}
}  // namespace

std::string settings_to_json(const Settings& s) {
    std::string out;
    out += "{\n";
    _indent(out, 1);
    out += "\"input_map\": {\n";
    _indent(out, 2);
    out += "\"keyboard_map\": ";
    _write_number_array(out, s.input_map.keyboard_map, PLAYER_INPUT_ACTION_COUNT, 2);
    out += ", \n";
    _indent(out, 2);
    out += "\"gamepad_map\": ";
    _write_number_array(out, s.input_map.gamepad_map, PLAYER_INPUT_ACTION_COUNT, 2);
    out += "\n";
    _indent(out, 1);
    out += "}\n}";
    return out;
}

bool settings_save_to(const char* path) {
    std::string text = settings_to_json(settings);
    return file_write_atomic(path, text.data(), text.size());
}

void settings_save() {
    std::string beside = paths_join(platform_exe_dir(), SETTINGS_FILE);
    // A recording made under that name keeps it; the settings go to the user's folder.
    if (!replay_is_recording_file(beside.c_str()) && settings_save_to(beside.c_str())) return;
    // Installed games live in folders their players cannot write.
    std::string config = paths_config_dir(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    if (paths_make_dirs(config) && settings_save_to(paths_join(config, SETTINGS_FILE).c_str())) return;
    std::fprintf(stderr, "vantorel: settings.json could be written neither beside the game nor in %s\n",
                 config.empty() ? "$XDG_CONFIG_HOME/vantorel" : config.c_str());
}
