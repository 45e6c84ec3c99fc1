#include "volume.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "../platform/files.h"
#include "../platform/paths.h"
#include "../platform/platform.h"
#include "audio.h"
#include "game.h"
#include "input.h"
#include "renderer.h"
#include "replay.h"
#include "ui.h"

Volume volume;

namespace {
const char* const KIND_NAMES[VOLUME_KIND_COUNT] = {"music", "effects"};
const char* const KIND_LABELS[VOLUME_KIND_COUNT] = {"MUSIC", "EFFECTS"};

struct Volume_Key {
    Input_Code key;
    Volume_Pad pad;
    Volume_Kind kind;
    i32 step;
};
const Volume_Key VOLUME_KEYS[] = {
    {Input_Code::key_minus, volume_pad_effects_down, volume_effects, -1},
    {Input_Code::key_equal, volume_pad_effects_up, volume_effects, 1},
    {Input_Code::key_left_bracket, volume_pad_music_down, volume_music, -1},
    {Input_Code::key_right_bracket, volume_pad_music_up, volume_music, 1},
};

constexpr f32 DISPLAY_BASELINE = 7;    // pixels: the line the heads-up display's top texts use
constexpr f32 DISPLAY_CENTRE = 80;     // pixels: between the score and the stage in play
constexpr f32 DISPLAY_RIGHT = 158;     // pixels: the right end on every other screen
const char* const HINT_KEYS = "-/= effects   [/] music";
const char* const HINT_PAD = "LB/RB effects   LT/RT music";

// Play keeps its score and stage on the top line, so the display sits between them; every
// other screen leaves the top right free.
bool _centred(Game_State s) {
    switch (s) {
    case intro:
    case tutorial:
    case playing: return true;
    case main_menu:
    case game_over:
    case won:
    case pick_upgrade:
    case paused:
    case credits: return false;
    }
    return false;
}

f32 _text_width(const char* text, Vec2 size) {
    f32 pen = 0;
    for (const char* c = text; *c; c++) {
        int g = int(u8(*c)) - FONT_FIRST_CODEPOINT;
        if (g >= 0 && g < FONT_GLYPH_COUNT) pen += renderer.glyph_table[g].xadvance;
    }
    return pen * size.x / 8;
}

void _push_to_audio() {
    audio_set_volume(volume_gain(volume.levels[volume_music]), volume_gain(volume.levels[volume_effects]));
}

// Skips spaces, tabs and line ends.
void _skip_space(std::string_view& t) {
    while (!t.empty() && (t[0] == ' ' || t[0] == '\t' || t[0] == '\n' || t[0] == '\r')) t.remove_prefix(1);
}

bool _take(std::string_view& t, std::string_view word) {
    _skip_space(t);
    if (t.substr(0, word.size()) != word) return false;
    t.remove_prefix(word.size());
    return true;
}

std::optional<i32> _take_level(std::string_view& t) {
    _skip_space(t);
    i32 v = 0;
    size_t n = 0;
    while (n < t.size() && n < 3 && t[n] >= '0' && t[n] <= '9') v = v * 10 + (t[n++] - '0');
    if (n == 0 || v > VOLUME_LEVELS) return std::nullopt;
    t.remove_prefix(n);
    return v;
}

std::string _path_beside() { return paths_join(platform_exe_dir(), VOLUME_FILE); }
std::string _config_dir() { return paths_config_dir(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")); }
}  // namespace

f32 volume_gain(i32 level) {
    if (level <= 0) return 0;
    if (level >= VOLUME_LEVELS) return 1;
    return std::pow(10.0f, -VOLUME_STEP_DB * f32(VOLUME_LEVELS - level) / 20);
}

std::string volume_to_text(const Volume& v) {
    std::string out = "{\n";
    for (int k = 0; k < VOLUME_KIND_COUNT; k++) {
        out += "\t\"";
        out += KIND_NAMES[k];
        out += "\": " + std::to_string(v.levels[k]);
        out += k + 1 < VOLUME_KIND_COUNT ? ",\n" : "\n";
    }
    return out + "}\n";
}

std::optional<Volume> volume_from_text(std::string_view t) {
    Volume v;
    bool seen[VOLUME_KIND_COUNT] = {};
    if (!_take(t, "{")) return std::nullopt;
    for (int field = 0; field < VOLUME_KIND_COUNT; field++) {
        if (field > 0 && !_take(t, ",")) return std::nullopt;
        int kind = -1;
        for (int k = 0; k < VOLUME_KIND_COUNT; k++)
            if (_take(t, std::string("\"") + KIND_NAMES[k] + "\"")) kind = k;
        if (kind < 0 || seen[kind] || !_take(t, ":")) return std::nullopt;
        std::optional<i32> level = _take_level(t);
        if (!level) return std::nullopt;
        v.levels[kind] = *level;
        seen[kind] = true;
    }
    if (!_take(t, "}")) return std::nullopt;
    _skip_space(t);
    if (!t.empty()) return std::nullopt;
    return v;
}

void volume_load() {
    volume = Volume{};
    // Read where it is written: beside the game, else the user's settings folder.
    std::optional<std::vector<u8>> bytes = file_read_whole(_path_beside().c_str(), VOLUME_FILE_MAX_BYTES);
    std::string config = _config_dir();
    if (!bytes && !config.empty())
        bytes = file_read_whole(paths_join(config, VOLUME_FILE).c_str(), VOLUME_FILE_MAX_BYTES);
    if (bytes)
        if (std::optional<Volume> v = volume_from_text({reinterpret_cast<const char*>(bytes->data()), bytes->size()}))
            volume = *v;
    _push_to_audio();
}

void volume_save() {
    if (!volume.stepped) return;
    std::string text = volume_to_text(volume);
    if (file_write_atomic(_path_beside().c_str(), text.data(), text.size())) return;
    std::string config = _config_dir();
    if (paths_make_dirs(config) && file_write_atomic(paths_join(config, VOLUME_FILE).c_str(), text.data(), text.size()))
        return;
    std::fprintf(stderr, "vantorel: %s could be written neither beside the game nor in %s\n", VOLUME_FILE,
                 config.empty() ? "$XDG_CONFIG_HOME/vantorel" : config.c_str());
}

void volume_update(f32 dt_real) {
    volume.shown = volume.shown > dt_real ? volume.shown - dt_real : 0;
    for (const Volume_Key& k : VOLUME_KEYS) {
        if (!key_pressed(k.key) && !volume_pad_pressed(k.pad)) continue;
        i32& level = volume.levels[k.kind];
        i32 next = level + k.step < 0 ? 0 : level + k.step > VOLUME_LEVELS ? VOLUME_LEVELS : level + k.step;
        // A replay steps the volume as its recording did, but the viewer's own setting stays.
        volume.stepped |= next != level && !replay_playing();
        level = next;
        volume.last_stepped = k.kind;
        volume.shown = VOLUME_SHOWN;
        _push_to_audio();
        // The effects step is heard at its new level.
        if (k.kind == volume_effects) audio_play(ui_hover);
    }
}

void volume_draw() {
    if (game.state == main_menu) {
        const char* hint = input_pads.present ? HINT_PAD : HINT_KEYS;
        draw_screen_text({std::round(80 - _text_width(hint, UI_TEXT_SIZE) / 2), VOLUME_HINT_BASELINE}, hint, WHITE,
                         UI_TEXT_SIZE);
    }
    if (volume.shown <= 0) return;
    // The level as a row of ticks: a bar for each step on, a dot for each step off.
    char text[32];
    i32 level = volume.levels[volume.last_stepped];
    int n = std::snprintf(text, sizeof text - VOLUME_LEVELS, "%s ", KIND_LABELS[volume.last_stepped]);
    for (i32 i = 0; i < VOLUME_LEVELS; i++) text[n++] = i < level ? '|' : '.';
    text[n] = 0;
    f32 width = _text_width(text, UI_TEXT_SIZE);
    f32 x = _centred(game.state) ? std::round(DISPLAY_CENTRE - width / 2) : DISPLAY_RIGHT - width;
    draw_screen_text({x, DISPLAY_BASELINE}, text, WHITE, UI_TEXT_SIZE);
}
