#include "scores.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../platform/files.h"
#include "../platform/paths.h"
#include "../platform/platform.h"
#include "game.h"
#include "replay.h"
#include "stage.h"

Score_Keeper score_keeper;

namespace {
constexpr const char* MAGIC_LINE = "vantorel scores 1\n";
constexpr const char* CRC_TAG = "crc32 ";
constexpr int MAX_NUMBER_DIGITS = 10;  // i32

u32 _crc(const char* p, size_t n) {
    return u32(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(p), uInt(n)));
}

bool _digit(char c) { return c >= '0' && c <= '9'; }

// Accepts only the shapes the writer makes.
struct Reader {
    const char* p;
    const char* end;
    bool at(const char* s) const {
        size_t n = std::strlen(s);
        return size_t(end - p) >= n && std::memcmp(p, s, n) == 0;
    }
    bool literal(const char* s) {
        if (!at(s)) return false;
        p += std::strlen(s);
        return true;
    }
    // Decimal, no sign, no leading zero.
    bool number(i32& out) {
        const char* start = p;
        i64 v = 0;
        while (p < end && _digit(*p) && p - start < MAX_NUMBER_DIGITS) v = v * 10 + (*p++ - '0');
        if (p == start || (p - start > 1 && *start == '0') || (p < end && _digit(*p)) || v > INT32_MAX) return false;
        out = i32(v);
        return true;
    }
    // Exactly `digits` digits, leading zeros kept.
    bool fixed(i32& out, int digits) {
        if (end - p < digits) return false;
        out = 0;
        for (int i = 0; i < digits; i++, p++) {
            if (!_digit(*p)) return false;
            out = out * 10 + (*p - '0');
        }
        return true;
    }
};

bool _read_entry(Reader& r, Score_Entry& e) {
    return r.number(e.score) && r.literal(" ") && r.number(e.stage) && r.literal(" ") && r.number(e.time_played) &&
           r.literal(" ") && r.fixed(e.year, 4) && r.literal("-") && r.fixed(e.month, 2) && r.literal("-") &&
           r.fixed(e.day, 2) && r.literal("\n") && e.score >= 1 && e.stage >= 1 && e.stage <= STAGE_COUNT &&
           e.month <= 12 && e.day <= 31;
}

std::string _path_in(const std::string& dir) { return paths_join(dir, SCORES_FILE); }
std::string _data_dir() { return paths_data_dir(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")); }

bool _write(const std::string& path, const std::string& text) {
    return file_write_atomic(path.c_str(), text.data(), text.size());
}

// Like the settings: beside the game, else in the user's folder.
void _save() {
    const Score_Keeper& k = score_keeper;
    std::string text = scores_to_text(k.table);
    if (!k.folder.empty()) {
        if (!_write(_path_in(k.folder), text))
            std::fprintf(stderr, "vantorel: %s could not be written\n", _path_in(k.folder).c_str());
        return;
    }
    if (_write(_path_in(platform_exe_dir()), text)) return;
    std::string data = _data_dir();
    if (paths_make_dirs(data) && _write(_path_in(data), text)) return;
    std::fprintf(stderr, "vantorel: %s could be written neither beside the game nor in %s\n", SCORES_FILE,
                 data.empty() ? "$XDG_DATA_HOME/vantorel" : data.c_str());
}
}  // namespace

std::string scores_to_text(const Score_Table& t) {
    std::string out = MAGIC_LINE;
    char line[96];
    for (i32 i = 0; i < t.count; i++) {
        const Score_Entry& e = t.entries[i];
        std::snprintf(line, sizeof line, "%d %d %d %04d-%02d-%02d\n", e.score, e.stage, e.time_played, e.year,
                      e.month, e.day);
        out += line;
    }
    std::snprintf(line, sizeof line, "%s%08x\n", CRC_TAG, unsigned(_crc(out.data(), out.size())));
    return out + line;
}

std::optional<Score_Table> scores_from_text(const char* text, size_t size) {
    Reader r{text, text + size};
    if (!r.literal(MAGIC_LINE)) return std::nullopt;
    Score_Table t;
    while (!r.at(CRC_TAG)) {
        Score_Entry e;
        if (t.count == SCORE_TABLE_SIZE || !_read_entry(r, e)) return std::nullopt;
        if (t.count > 0 && e.score > t.entries[t.count - 1].score) return std::nullopt;
        t.entries[t.count++] = e;
    }
    u32 expected = _crc(text, size_t(r.p - text));
    r.literal(CRC_TAG);
    u32 crc = 0;
    for (int i = 0; i < 8; i++, r.p++) {
        if (r.p == r.end) return std::nullopt;
        char c = *r.p;
        if (!_digit(c) && !(c >= 'a' && c <= 'f')) return std::nullopt;
        crc = crc * 16 + u32(_digit(c) ? c - '0' : c - 'a' + 10);
    }
    if (!r.literal("\n") || r.p != r.end || crc != expected) return std::nullopt;
    return t;
}

i32 scores_insert(Score_Table& t, const Score_Entry& e) {
    if (e.score < 1) return -1;
    i32 at = t.count;
    for (i32 i = 0; i < t.count; i++)
        if (t.entries[i].score < e.score) {
            at = i;
            break;
        }
    if (at >= SCORE_TABLE_SIZE) return -1;
    i32 last = t.count < SCORE_TABLE_SIZE ? t.count : SCORE_TABLE_SIZE - 1;
    for (i32 i = last; i > at; i--) t.entries[i] = t.entries[i - 1];
    t.entries[at] = e;
    if (t.count < SCORE_TABLE_SIZE) t.count++;
    return at;
}

void scores_load() {
    Score_Keeper& k = score_keeper;
    k.table = Score_Table{};
    k.last = Game_Result{};
    k.game_start_time = game.time;
    std::string data = k.folder.empty() ? _data_dir() : "";
    std::string places[2] = {_path_in(k.folder.empty() ? std::string(platform_exe_dir()) : k.folder),
                             data.empty() ? "" : _path_in(data)};
    for (const std::string& path : places) {
        if (path.empty()) continue;
        auto bytes = file_read_whole(path.c_str(), SCORES_READ_LIMIT);
        if (!bytes) continue;
        if (auto t = scores_from_text(reinterpret_cast<const char*>(bytes->data()), bytes->size())) {
            k.table = *t;
            return;
        }
        // A replay changes nothing on disk.
        if (replay_playing()) return;
        auto aside = file_set_aside(path.c_str());
        std::fprintf(stderr, "vantorel: %s is not a score table of this game; %s, a new table starts\n",
                     path.c_str(), aside ? ("kept as " + *aside).c_str() : "it could not be moved");
        return;
    }
}

void scores_game_started() {
    score_keeper.game_start_time = game.time;
    score_keeper.last = Game_Result{};
}

void scores_game_ended() {
    Score_Keeper& k = score_keeper;
    Score_Entry e;
    e.score = game.score;
    e.stage = game.stage + 1;
    f32 played = game.time - k.game_start_time;  // seconds
    e.time_played = played > 0 ? i32(played) : 0;
    Platform_Date d = platform_local_date();
    // A clock the calendar cannot show is written as an unknown day.
    if (d.year >= 0 && d.year <= 9999 && d.month >= 0 && d.month <= 12 && d.day >= 0 && d.day <= 31) {
        e.year = d.year;
        e.month = d.month;
        e.day = d.day;
    }
    k.last.ended = true;
    k.last.entry = e;
    k.last.rank = scores_insert(k.table, e);
    if (k.last.rank >= 0 && !replay_playing()) _save();
}
