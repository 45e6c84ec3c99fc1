// The text-art format of assets/ (assets/README.md), read one way by every tool that turns
// the art into pixels. Header-only: the tools that include it link different libraries.
#pragma once
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "../source/game/common.h"
#include "../source/game/renderer.h"
#include "../source/game/sprite.h"
#include "../source/platform/files.h"

struct Rgba { u8 r, g, b, a; };

// Far beyond any hand-made source (an art grid, the font); a larger file is a mistake.
constexpr std::uint64_t ASSET_SOURCE_MAX_BYTES = 16u << 20;

// A colour as the GPU stores it, so art and tints built from PALETTE agree to the byte.
inline Rgba rgba_of(const Color& c) {
    return {color_byte(c.r), color_byte(c.g), color_byte(c.b), color_byte(c.a)};
}

// The names art files give PALETTE's colours (or their index).
inline const char* const PALETTE_NAMES[4] = {"cream", "red", "purple", "navy"};

inline const char* const ANIM_NAMES[SPRITE_ANIM_COUNT] = {
    "invalid_invalid", "ship_idle", "ship_steer", "ship_boost", "boss_idle"};

struct Art {
    std::string file;  // for messages
    int slot = -1;
    int anim = -1;     // Sprite_Anim_Id, or -1 for a plain sprite
    std::vector<int> durations;
    bool has_rect = false;
    int rect[4] = {};
    int frame_w = 0, frame_h = 0;
    std::vector<std::vector<Rgba>> frames;  // frame_w × frame_h each, row-major
    // placement in the atlas (top-left of frame 0)
    int ax = 0, ay = 0;
    int width() const { return frame_w * (int)frames.size(); }
};

namespace art_grid_detail {
inline std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

inline bool parse_colour(const std::string& name, Rgba& out) {
    if (name == "clear" || name == "transparent") { out = {0, 0, 0, 0}; return true; }
    if (name == "white") { out = rgba_of(WHITE); return true; }
    for (int i = 0; i < 4; i++) {
        if (name == PALETTE_NAMES[i] || name == std::to_string(i)) { out = rgba_of(PALETTE[i]); return true; }
    }
    return false;
}

inline bool parse_int(const std::string& s, int& out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || errno != 0 || v < 0 || v > 65535) return false;
    out = (int)v;
    return true;
}

inline std::vector<std::string> split_ws(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    std::string w;
    while (in >> w) out.push_back(w);
    return out;
}
}  // namespace art_grid_detail

// One sprite or animation strip; on failure, error says where and why.
inline std::optional<Art> parse_art(const std::filesystem::path& path, std::string& error) {
    using namespace art_grid_detail;
    auto bad = [&](std::string why) {
        error = std::move(why);
        return std::nullopt;
    };
    std::optional<std::vector<u8>> bytes = file_read_whole(path.string().c_str(), ASSET_SOURCE_MAX_BYTES);
    if (!bytes) return bad("cannot read " + path.string());
    Art art;
    art.file = path.filename().string();
    std::map<char, Rgba> legend;
    std::vector<std::string> lines;
    std::istringstream in(std::string(bytes->begin(), bytes->end()));
    for (std::string line; std::getline(in, line);) lines.push_back(line);

    std::vector<std::vector<std::string>> grids;
    for (size_t i = 0; i < lines.size(); i++) {
        std::string line = lines[i];
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string t = trim(line);
        if (t.empty() || t[0] == '#') continue;
        std::string where = art.file + ":" + std::to_string(i + 1);
        size_t colon = t.find(':');
        if (colon == std::string::npos) return bad(where + ": expected 'key: value'");
        std::string key = trim(t.substr(0, colon));
        std::string value = t.substr(colon + 1);
        size_t hash = value.find('#');
        if (key != "legend" && hash != std::string::npos) value = value.substr(0, hash);
        value = trim(value);
        auto bad_number = [&](const std::string& s) { return bad(where + ": bad number '" + s + "'"); };
        if (key == "slot") {
            if (!parse_int(value, art.slot)) return bad_number(value);
            if (art.slot >= SPRITE_COUNT) return bad(where + ": slot must be below 21");
        } else if (key == "anim") {
            art.anim = -1;
            for (int k = 0; k < SPRITE_ANIM_COUNT; k++) if (value == ANIM_NAMES[k]) art.anim = k;
            if (art.anim < 0) return bad(where + ": unknown animation '" + value + "'");
        } else if (key == "durations") {
            for (const std::string& w : split_ws(value)) {
                int d = 0;
                if (!parse_int(w, d)) return bad_number(w);
                art.durations.push_back(d);
            }
        } else if (key == "rect") {
            std::vector<std::string> v = split_ws(value);
            if (v.size() != 4) return bad(where + ": rect needs x y w h");
            for (int k = 0; k < 4; k++)
                if (!parse_int(v[k], art.rect[k])) return bad_number(v[k]);
            art.has_rect = true;
        } else if (key == "legend") {
            // "legend: X colour": X is one visible character.
            std::string v = trim(value);
            if (v.size() < 3 || v[1] != ' ') return bad(where + ": legend needs 'X colour'");
            char c = v[0];
            std::string name = trim(v.substr(2));
            size_t h = name.find('#');
            if (h != std::string::npos) name = trim(name.substr(0, h));
            Rgba col;
            if (!parse_colour(name, col)) return bad(where + ": unknown colour '" + name + "'");
            legend[c] = col;
        } else if (key == "grid") {
            std::vector<std::string> rows;
            size_t j = i + 1;
            for (; j < lines.size(); j++) {
                std::string row = lines[j];
                while (!row.empty() && (row.back() == '\r' || row.back() == ' ' || row.back() == '\t')) row.pop_back();
                if (row.empty()) break;
                rows.push_back(row);
            }
            if (rows.empty()) return bad(where + ": empty grid");
            grids.push_back(rows);
            i = j;
        } else if (key == "name") {
            // informational
        } else {
            return bad(where + ": unknown key '" + key + "'");
        }
    }
    if (art.slot < 0) return bad(art.file + ": no slot");
    if (grids.empty()) return bad(art.file + ": no grid");
    art.frame_h = (int)grids[0].size();
    art.frame_w = (int)grids[0][0].size();
    for (size_t g = 0; g < grids.size(); g++) {
        if ((int)grids[g].size() != art.frame_h) return bad(art.file + ": frame " + std::to_string(g) + " has a different height");
        std::vector<Rgba> px;
        for (size_t r = 0; r < grids[g].size(); r++) {
            const std::string& row = grids[g][r];
            if ((int)row.size() != art.frame_w)
                return bad(art.file + ": frame " + std::to_string(g) + " row " + std::to_string(r) + " is " +
                           std::to_string(row.size()) + " wide, expected " + std::to_string(art.frame_w));
            for (char c : row) {
                auto it = legend.find(c);
                if (it == legend.end()) return bad(art.file + ": character '" + std::string(1, c) + "' is not in the legend");
                px.push_back(it->second);
            }
        }
        art.frames.push_back(std::move(px));
    }
    if (art.anim >= 0) {
        if (art.has_rect) return bad(art.file + ": rect is not allowed on an animation strip");
        int n = (int)art.frames.size();
        if (n < 1 || n >= ANIM_MAX_FRAMES) return bad(art.file + ": an animation needs 1 to 31 frames");
        if ((int)art.durations.size() != n) return bad(art.file + ": durations must list one value per frame");
    } else {
        if (art.frames.size() != 1) return bad(art.file + ": a plain sprite has exactly one grid");
        if (!art.durations.empty()) return bad(art.file + ": durations only belong to animations");
        if (art.has_rect && (art.rect[0] + art.rect[2] > art.frame_w || art.rect[1] + art.rect[3] > art.frame_h))
            return bad(art.file + ": rect outside the grid");
    }
    return art;
}
