// gpad_db_gen: writes the gamepad mapping database as C++ source.
//
//   gpad_db_gen <out.cpp>
//
// Reads the mapping list that the installed SDL2 carries for this platform and
// turns each entry into a GUID field and an entry of gpad/gpad_db.h, keeping
// SDL's order. GUIDs are brought to the form the layer forms for a device:
//
//   vendor/product GUIDs (bus below 0x20, zero words 3 and 5) become
//     "03000000" vvvv "0000" pppp "000000000000"; the bus, the name checksum
//     and the version are dropped;
//   name GUIDs (the rest, with a zero last byte) become
//     "05000000" + the 11 name bytes + "00".
//
// Skipped, and why:
//   - entries whose platform field names another platform;
//   - GUIDs with a driver signature (byte 14 non-zero, e.g. 'h' for SDL's own
//     HID driver): they describe SDL's renumbered layout, which the layer
//     turns off, and would shadow the kernel layout of the same pad;
//   - vendor/product GUIDs with both ids zero and SDL's catch-all entries
//     ("hidapi", "xinput", "default"), which no device GUID can equal; on Windows
//     the XInput layout is then asked for separately and kept under "xinput";
//   - a GUID already seen after the reduction (the first entry wins).
// Fields the format cannot hold are left unmapped: split outputs ("+leftx"),
// inverted half axes ("+a2~"), paddles, misc and touchpad buttons, indices
// above 255.
//
// The list is read with SDL_GAMECONTROLLERCONFIG(_FILE) cleared so that the
// output depends only on the installed library.
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "game/bytes.h"
#include "gpad/gpad_db.h"
#include "platform/files.h"

namespace {

const char* const BUTTON_FIELDS[GPAD_BUTTON_COUNT] = {
    "a", "b", "x", "y", "leftshoulder", "rightshoulder", "back", "start", "guide",
    "leftstick", "rightstick", "dpup", "dpright", "dpdown", "dpleft",
};
const char* const AXIS_FIELDS[GPAD_AXIS_COUNT] = {
    "leftx", "lefty", "rightx", "righty", "lefttrigger", "righttrigger",
};

struct Parsed_Entry {
    std::string guid;  // our form, 32 hex digits
    std::string sdl_guid;
    std::string name;
    Gpad_Entry elements;
};

}  // namespace

static std::optional<unsigned> _parse_number(std::string_view s, unsigned max) {
    if (s.empty() || s.size() > 5) return std::nullopt;
    unsigned n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + unsigned(c - '0');
    }
    if (n > max) return std::nullopt;
    return n;
}

static int _hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// SDL's GUID text into our form; nullopt for the GUIDs we skip.
static std::optional<std::string> _reduce_guid(std::string_view text) {
    // The shared XInput layout (see main); the layer asks for it by this word.
    if (text == GPAD_XINPUT_GUID) return std::string(text);
    if (text.size() != 32) return std::nullopt;
    uint8_t b[16];
    for (int i = 0; i < 16; ++i) {
        int hi = _hex_digit(text[2 * i]), lo = _hex_digit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        b[i] = uint8_t(hi << 4 | lo);
    }
    unsigned bus = bytes_load_u16(b);
    if (bus >= 0x20) return std::nullopt;
    char out[GPAD_GUID_SIZE];
    bool ids_layout = b[6] == 0 && b[7] == 0 && b[10] == 0 && b[11] == 0;
    if (ids_layout) {
        if (b[14] != 0) return std::nullopt;
        if ((b[4] | b[5] | b[8] | b[9]) == 0) return std::nullopt;
        std::snprintf(out, sizeof out, "03000000%02x%02x0000%02x%02x000000000000", b[4], b[5], b[8], b[9]);
        return std::string(out);
    }
    if (b[15] != 0) return std::nullopt;
    std::snprintf(out, sizeof out, "05000000%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x00",
                  b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14]);
    return std::string(out);
}

// "b3", "h0.4", "a2", "a2~", "+a2", "-a2"; anything else stays unmapped.
static Gpad_Element _parse_element(std::string_view v) {
    Gpad_Element e = {};
    if (v.empty()) return e;
    if (v[0] == 'b') {
        if (auto n = _parse_number(v.substr(1), 255)) e = {gpad_element_button, uint8_t(*n), 0, 0};
        return e;
    }
    if (v[0] == 'h') {
        size_t dot = v.find('.');
        if (dot == std::string_view::npos) return e;
        auto hat = _parse_number(v.substr(1, dot - 1), 15);
        auto bits = _parse_number(v.substr(dot + 1), 15);
        if (hat && bits && *bits != 0) e = {gpad_element_hat, uint8_t(*hat << 4 | *bits), 0, 0};
        return e;
    }
    char half = 0;
    if (v[0] == '+' || v[0] == '-') {
        half = v[0];
        v.remove_prefix(1);
    }
    if (v.empty() || v[0] != 'a') return e;
    v.remove_prefix(1);
    bool inverted = !v.empty() && v.back() == '~';
    if (inverted) v.remove_suffix(1);
    auto n = _parse_number(v, 255);
    if (!n) return e;
    uint8_t index = uint8_t(*n);
    if (half == '+' && !inverted) e = {gpad_element_axis, index, 2, -1};
    if (half == '-' && !inverted) e = {gpad_element_axis, index, 2, 1};
    if (half == 0) e = {gpad_element_axis, index, int8_t(inverted ? -1 : 1), 0};
    return e;
}

static std::vector<std::string_view> _split(std::string_view s) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= s.size()) {
        size_t comma = s.find(',', start);
        if (comma == std::string_view::npos) comma = s.size();
        parts.push_back(s.substr(start, comma - start));
        start = comma + 1;
    }
    return parts;
}

static std::optional<Parsed_Entry> _parse_mapping(std::string_view mapping) {
    std::vector<std::string_view> parts = _split(mapping);
    if (parts.size() < 2) return std::nullopt;
    Parsed_Entry p = {};
    std::optional<std::string> guid = _reduce_guid(parts[0]);
    if (!guid) return std::nullopt;
    p.guid = *guid;
    p.sdl_guid = std::string(parts[0]);
    p.name = std::string(parts[1]);
    for (size_t i = 2; i < parts.size(); ++i) {
        size_t colon = parts[i].find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view key = parts[i].substr(0, colon);
        std::string_view value = parts[i].substr(colon + 1);
        if (key == "platform" && value != SDL_GetPlatform()) return std::nullopt;
        for (int b = 0; b < GPAD_BUTTON_COUNT; ++b)
            if (key == BUTTON_FIELDS[b]) p.elements.buttons[b] = _parse_element(value);
        for (int a = 0; a < GPAD_AXIS_COUNT; ++a)
            if (key == AXIS_FIELDS[a]) p.elements.axes[a] = _parse_element(value);
    }
    return p;
}

// Octal escapes never run into the next character, unlike hex ones.
static std::string _c_string(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\' || c == '?' || c < 0x20 || c >= 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\%03o", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

static std::string _element_text(const Gpad_Element& e) {
    char text[40];
    std::snprintf(text, sizeof text, "{%d, %d, %d, %d}", e.type, e.index, e.axis_scale, e.axis_offset);
    return text;
}

static bool _write_source(const char* path, const std::vector<Parsed_Entry>& entries) {
    std::string src;
    src += "// Generated by gpad_db_gen from the mapping list of SDL ";
    SDL_version v;
    SDL_GetVersion(&v);
    src += std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.patch);
    src += " (";
    src += SDL_GetPlatform();
    src += "). Do not edit.\n#include \"gpad/gpad_db.h\"\n\n";
    src += "const uint16_t gpad_db_entry_count = " + std::to_string(entries.size()) + ";\n\n";
    src += "const char gpad_db_guids[][GPAD_GUID_SIZE] = {\n";
    for (const Parsed_Entry& p : entries) src += "    \"" + p.guid + "\",\n";
    src += "};\n\nconst Gpad_Entry gpad_db_entries[] = {\n";
    for (const Parsed_Entry& p : entries) {
        src += "    // " + p.sdl_guid + "\n    {" + _c_string(p.name) + ",\n     {";
        for (int b = 0; b < GPAD_BUTTON_COUNT; ++b) src += (b ? ", " : "") + _element_text(p.elements.buttons[b]);
        src += "},\n     {";
        for (int a = 0; a < GPAD_AXIS_COUNT; ++a) src += (a ? ", " : "") + _element_text(p.elements.axes[a]);
        src += "}},\n";
    }
    src += "};\n";

    return file_write_atomic(path, src.data(), src.size());
}

static void _unset_env(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");  // an empty value removes the variable
#else
    unsetenv(name);
#endif
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gpad_db_gen <out.cpp>\n");
        return 2;
    }
    _unset_env("SDL_GAMECONTROLLERCONFIG");
    _unset_env("SDL_GAMECONTROLLERCONFIG_FILE");
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        std::fprintf(stderr, "gpad_db_gen: SDL: %s\n", SDL_GetError());
        return 1;
    }
    std::vector<Parsed_Entry> entries;
    std::set<std::string> seen;
    int count = SDL_GameControllerNumMappings();
    for (int i = 0; i < count; ++i) {
        char* mapping = SDL_GameControllerMappingForIndex(i);
        if (!mapping) continue;
        std::optional<Parsed_Entry> p = _parse_mapping(mapping);
        SDL_free(mapping);
        if (p && seen.insert(p->guid).second) entries.push_back(*p);
    }
    // SDL keeps the one layout of all XInput pads out of the indexed list; it hands it out
    // for any GUID its XInput driver makes. Kept last, under the word "xinput".
    if (std::string_view(SDL_GetPlatform()) == "Windows") {
        SDL_JoystickGUID xinput_pad = {};
        xinput_pad.data[14] = 'x';  // the driver byte of SDL's XInput GUIDs
        if (char* mapping = SDL_GameControllerMappingForGUID(xinput_pad)) {
            std::string_view text = mapping;
            size_t comma = text.find(',');
            std::optional<Parsed_Entry> p;
            if (comma != std::string_view::npos)
                p = _parse_mapping(std::string(GPAD_XINPUT_GUID) + std::string(text.substr(comma)));
            SDL_free(mapping);
            if (p && seen.insert(p->guid).second) entries.push_back(*p);
        }
    }
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    SDL_Quit();
    if (entries.size() >= 0xFFFF) {
        std::fprintf(stderr, "gpad_db_gen: %zu entries do not fit a slot's u16\n", entries.size());
        return 1;
    }
    if (!_write_source(argv[1], entries)) {
        std::fprintf(stderr, "gpad_db_gen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
