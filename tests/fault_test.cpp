// Faults the game must survive: damaged or missing data, settings that cannot be written,
// links, FIFOs and devices where files should be, signals, no sound device, gamepads
// coming and going. Each run starts the game, plays into a new
// game and shuts down; the sanitizer build turns any bad access into a failure.
#include <SDL2/SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "virtual_pad.h"
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "game/assets.h"
#include "game/bank.h"
#include "game/pak.h"
#include "game/replay.h"
#include "game/settings.h"
#include "gpad/gpad.h"
#include "harness.h"
#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

const fs::path REAL_DATA = fs::path(VANTOREL_BUILD_DIR) / "data";

void write_bytes(const fs::path& p, const std::vector<u8>& b) {
    fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// tmpfs when there is one: every run ends with a synced settings save.
std::string scratch_base() {
    static std::string base = fs::is_directory("/dev/shm") ? "/dev/shm/" : testing::TempDir();
    return base;
}

fs::path fresh_dir(const std::string& name) {
    fs::path d = fs::path(scratch_base()) / ("vantorel-fault-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

template <typename T>
void put(std::vector<u8>& b, size_t at, T v) {
    std::memcpy(b.data() + at, &v, sizeof v);
}
template <typename T>
T get(const std::vector<u8>& b, size_t at) {
    T v;
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
}

// Beside the game's folder, so concurrent test processes never share it.
fs::path output_log(const fs::path& dir) { return dir.string() + ".out"; }

struct Play_Result {
    bool reached_play = false;
    size_t max_sprites = 0, max_glyphs = 0;
    std::string printed;  // everything written to stdout and stderr meanwhile
};

// Starts the game in `dir`, enters a new game, steers, fires, pauses, resumes, quits.
Play_Result play_briefly(const fs::path& dir, int frames = 90) {
    Play_Result r;
    r.printed = capture_output(output_log(dir).string(), [&] {
        Renderer_Capture cap;
        Headless h(dir.string());
        renderer.capture = &cap;
        auto watch = [&] {
            r.max_sprites = std::max(r.max_sprites, cap.sprites.size());
            r.max_glyphs = std::max(r.max_glyphs, cap.glyphs.size());
        };
        h.frames(3);
        watch();
        h.tap(DK_ENTER);
        h.down(DK_RIGHT);
        for (int i = 0; i < frames; i++) {
            h.frame();
            watch();
        }
        h.up(DK_RIGHT);
        h.tap(DK_X);
        h.frames(frames);
        watch();
        r.reached_play = game.state == playing || game.state == tutorial;
        h.tap(DK_ESCAPE);
        h.tap(DK_ESCAPE);
        h.frames(10);
        watch();
        renderer.capture = nullptr;
    });
    return r;
}

// Exactly what a normal exit writes, and no temporary file left over.
void expect_settings_whole(const fs::path& dir, const std::string& what) {
    EXPECT_EQ(read_text(dir / "settings.json"), settings_to_json(settings)) << what;
    EXPECT_TRUE(temporaries_of(dir, "settings.json").empty()) << what;
}

// Runs body in a child process: its exit code, or nothing when it died by a signal or did not
// end within the time (a hang; the child is then killed).
std::optional<int> exit_code_within(double seconds, const std::function<int()>& body) {
    Child_Result r = run_in_child(seconds, [&](double&) { return body(); });
    if (r.status < 0) return std::nullopt;
    return r.status;
}
constexpr double HANG = 30;  // seconds: far beyond any real run, even on a loaded machine

// The pack as stored (lz4) and the same payload stored plainly, where every field sits at
// a known offset: "SBPK", i32 version, u8 compression, i64 uncompressed size, i64 length.
struct Packs {
    std::vector<u8> stored;
    std::vector<u8> plain;
    std::vector<u8> payload;
};
const Packs& packs() {
    static Packs p = [] {
        Packs k;
        k.stored = read_whole_file(REAL_DATA / "assets.sbpak");
        auto payload = pak_load_from_bytes(k.stored.data(), i64(k.stored.size()));
        if (payload) k.payload = *payload;
        k.plain = pak_build(k.payload, pak_none, 1);
        return k;
    }();
    return p;
}
constexpr size_t HDR = 25;                          // pack header, bytes
constexpr size_t SPRITES = HDR;                     // SPRITE_COUNT × {u16 x, y, w, h}
constexpr size_t ANIMS = SPRITES + sizeof(Sprite) * SPRITE_COUNT;
constexpr size_t ATLAS_SIZE = ANIMS + sizeof(Sprite_Anim) * SPRITE_ANIM_COUNT;
constexpr size_t ATLAS_LEN = ATLAS_SIZE + 8;
constexpr size_t ATLAS_BYTES = ATLAS_LEN + 8;

// One start of the game over a data folder: files written as given (none = absent).
struct Data_File {
    std::string path;                    // under the game's folder
    std::optional<std::vector<u8>> bytes;  // none: made by `make`, or else a link to the real file
    std::function<std::vector<u8>()> make = {};  // big files are built only when written
};
struct Data_Case {
    std::string name;
    std::vector<Data_File> files;
    bool must_draw_nothing = false;  // the pack is refused: nothing of it may be drawn
    bool must_draw = false;          // the pack is intact
    bool with_sound = false;         // banks are read only once a device is open
};

enum Child_Exit { child_ok = 0, child_no_play = 20, child_over_cap, child_drew, child_blank, child_settings };

// Each case runs in a child process, several at once: one crash still lets every other case
// be tried and reported, and most of a start-up is spent waiting on the sound thread.
void run_cases(const std::string& group, const std::vector<Data_Case>& cases) {
    constexpr int PARALLEL = 8;
    fs::path base = fresh_dir(group);
    std::vector<pid_t> running(cases.size(), 0);
    size_t next = 0, done = 0;
    int crashed = 0;
    auto case_dir = [&](size_t i) { return base / std::to_string(i); };
    auto start = [&](size_t i) {
        const Data_Case& c = cases[i];
        fs::path dir = case_dir(i);
        fs::create_directories(dir);
        for (const Data_File& f : c.files) {
            if (f.bytes)
                write_bytes(dir / f.path, *f.bytes);
            else if (f.make)
                write_bytes(dir / f.path, f.make());
            else {
                fs::create_directories((dir / f.path).parent_path());
                fs::create_symlink(REAL_DATA / fs::path(f.path).lexically_relative("data"), dir / f.path);
            }
        }
        std::fflush(stdout);
        std::fflush(stderr);
        pid_t pid = fork();
        if (pid == 0) {
            if (!c.with_sound) setenv("SDL_AUDIODRIVER", "vantorel-no-such-driver", 1);
            Play_Result r = play_briefly(dir, 20);
            Child_Exit code = child_ok;
            if (!r.reached_play) code = child_no_play;
            else if (r.max_sprites > MAX_WORLD_SPRITES || r.max_glyphs > MAX_GLYPHS) code = child_over_cap;
            else if (c.must_draw_nothing && (r.max_sprites != 0 || r.max_glyphs != 0)) code = child_drew;
            else if (c.must_draw && (r.max_sprites == 0 || r.max_glyphs == 0)) code = child_blank;
            else if (read_text(dir / "settings.json") != settings_to_json(settings)) code = child_settings;
            _exit(code);
        }
        running[i] = pid;
    };
    auto finish = [&]() {
        int status = 0;
        pid_t pid = waitpid(-1, &status, 0);
        if (pid <= 0) return false;
        size_t i = 0;
        while (i < cases.size() && running[i] != pid) i++;
        if (i == cases.size()) return true;
        running[i] = 0;
        done++;
        if (WIFSIGNALED(status)) {
            ADD_FAILURE() << cases[i].name << ": killed by signal " << WTERMSIG(status);
            crashed++;
        } else if (WEXITSTATUS(status) != child_ok) {
            ADD_FAILURE() << cases[i].name << ": exit " << WEXITSTATUS(status)
                          << " (20 no play, 21 over a cap, 22 refused pack drew, 23 intact pack blank,"
                             " 24 settings, else sanitizer)\n"
                          << read_text(output_log(case_dir(i))).substr(0, 3000);
        }
        fs::remove_all(case_dir(i));
        fs::remove(output_log(case_dir(i)));
        return true;
    };
    while (done < cases.size()) {
        while (next < cases.size() && next - done < PARALLEL) start(next++);
        if (!finish()) break;
    }
    if (crashed) std::printf("%s: %d of %zu cases crashed the game\n", group.c_str(), crashed, cases.size());
    fs::remove_all(base);
}

struct Pack_Case {
    std::string name;
    std::vector<u8> bytes;
};

void run_pack_cases(const std::string& group, const std::vector<Pack_Case>& cases) {
    std::vector<Data_Case> runs;
    for (const Pack_Case& c : cases) {
        Assets a;
        bool accepted = assets_load_from_bytes(c.bytes.data(), i64(c.bytes.size()), a);
        runs.push_back({c.name, {{"data/assets.sbpak", c.bytes}}, !accepted, false, false});
    }
    run_cases(group, runs);
}

}  // namespace

TEST(Fault, NoDataFolderAtAll) {
    fs::path dir = fresh_dir("nodata");
    Play_Result r = play_briefly(dir);
    EXPECT_TRUE(r.reached_play);
    EXPECT_EQ(r.max_sprites, 0u);
    EXPECT_EQ(r.max_glyphs, 0u);
    expect_settings_whole(dir, "no data");
    fs::remove_all(dir);
}

TEST(Fault, PackTruncatedAtManyLengths) {
    const Packs& p = packs();
    ASSERT_FALSE(p.payload.empty());
    std::vector<Pack_Case> cases;
    for (const std::vector<u8>* src : {&p.stored, &p.plain}) {
        const char* kind = src == &p.stored ? "lz4" : "plain";
        std::vector<size_t> lengths;
        for (size_t n = 0; n <= 40; n++) lengths.push_back(n);           // inside the header
        for (size_t k = 1; k < 24; k++) lengths.push_back(src->size() * k / 24);
        lengths.push_back(src->size() - 1);
        if (src == &p.plain)
            for (size_t at : {ANIMS, ATLAS_SIZE + 4, ATLAS_LEN + 3, ATLAS_BYTES + 1}) lengths.push_back(at);
        for (size_t n : lengths)
            cases.push_back({std::string(kind) + " cut at " + std::to_string(n),
                             std::vector<u8>(src->begin(), src->begin() + std::min(n, src->size()))});
    }
    run_pack_cases("pack-cut", cases);
}

TEST(Fault, PackHeaderFieldsCorrupted) {
    const Packs& p = packs();
    ASSERT_FALSE(p.payload.empty());
    std::vector<Pack_Case> cases;
    auto with = [&](const char* name, const std::vector<u8>& base, auto edit) {
        std::vector<u8> b = base;
        edit(b);
        cases.push_back({name, b});
    };
    for (const std::vector<u8>* src : {&p.stored, &p.plain}) {
        const std::vector<u8>& s = *src;
        with("magic", s, [](auto& b) { b[1] ^= 0x20; });
        with("version 0", s, [](auto& b) { put<i32>(b, 4, 0); });
        with("version -1", s, [](auto& b) { put<i32>(b, 4, -1); });
        with("compression 2", s, [](auto& b) { b[8] = 2; });
        with("compression 255", s, [](auto& b) { b[8] = 255; });
        with("compression flipped", s, [](auto& b) { b[8] ^= 1; });
        for (i64 v : {i64(0), i64(-1), i64(1), i64(INT32_MAX), i64(INT32_MAX) + 1, INT64_MAX, INT64_MIN,
                      get<i64>(s, 9) / 2, get<i64>(s, 9) + 1})
            with("uncompressed size", s, [v](auto& b) { put<i64>(b, 9, v); });
        for (i64 v : {i64(0), i64(-1), INT64_MAX, INT64_MIN, get<i64>(s, 17) - 1, get<i64>(s, 17) + 1})
            with("payload length", s, [v](auto& b) { put<i64>(b, 17, v); });
        // Damage inside the lz4 stream: token, literal length and match offset bytes alike.
        if (src == &p.stored)
            for (size_t k = 0; k < 16; k++)
                with("lz4 stream byte", s, [k](auto& b) {
                    size_t at = HDR + (b.size() - HDR) * k / 16;
                    b[at] ^= 0xA5;
                });
    }
    run_pack_cases("pack-header", cases);
}

TEST(Fault, PackPayloadFieldsCorrupted) {
    const Packs& p = packs();
    ASSERT_FALSE(p.payload.empty());
    const std::vector<u8>& s = p.plain;
    const i32 aw = get<i32>(s, ATLAS_SIZE), ah = get<i32>(s, ATLAS_SIZE + 4);
    const i64 atlas_len = get<i64>(s, ATLAS_LEN);
    const size_t font_len_at = ATLAS_BYTES + size_t(atlas_len);
    const i64 font_len = get<i64>(s, font_len_at);
    ASSERT_EQ(i64(aw) * ah * 4, atlas_len);
    ASSERT_EQ(font_len_at + 8 + size_t(font_len), s.size());

    std::vector<Pack_Case> cases;
    auto with = [&](std::string name, auto edit) {
        std::vector<u8> b = s;
        edit(b);
        cases.push_back({std::move(name), b});
    };
    for (int i = 0; i < SPRITE_COUNT; i++) {
        size_t at = SPRITES + size_t(i) * sizeof(Sprite);
        for (int f = 0; f < 4; f++) {
            with("sprite " + std::to_string(i) + " field " + std::to_string(f) + " max",
                 [=](auto& b) { put<u16>(b, at + 2 * f, 0xFFFF); });
        }
        // Just past the atlas on each axis.
        with("sprite " + std::to_string(i) + " past right", [=](auto& b) {
            put<u16>(b, at, u16(aw - get<u16>(b, at + 4) + 1));
        });
        with("sprite " + std::to_string(i) + " past bottom", [=](auto& b) {
            put<u16>(b, at + 2, u16(ah - get<u16>(b, at + 6) + 1));
        });
    }
    for (int i = 0; i < SPRITE_ANIM_COUNT; i++) {
        size_t at = ANIMS + size_t(i) * sizeof(Sprite_Anim);
        std::string n = "anim " + std::to_string(i) + " ";
        for (u8 v : {u8(SPRITE_COUNT), u8(255)}) with(n + "sprite", [=](auto& b) { b[at] = v; });
        for (u8 v : {u8(0), u8(1), u8(ANIM_MAX_FRAMES - 1), u8(ANIM_MAX_FRAMES), u8(255)})
            with(n + "len " + std::to_string(v), [=](auto& b) { b[at + 1] = v; });
        for (u16 v : {u16(1), u16(ANIM_MAX_FRAMES), u16(0xFFFF)})
            with(n + "first frame", [=](auto& b) { put<u16>(b, at + 2, v); });
        for (u16 v : {u16(0), u16(aw), u16(0xFFFF)}) with(n + "frame width", [=](auto& b) { put<u16>(b, at + 4, v); });
        for (u16 v : {u16(0), u16(0xFFFF)})
            with(n + "durations", [=](auto& b) {
                for (int k = 0; k < ANIM_MAX_FRAMES; k++) put<u16>(b, at + 6 + 2 * k, v);
            });
        with(n + "duration NaN", [=](auto& b) { put<f32>(b, at + 72, std::nanf("")); });
    }
    for (i32 v : {0, -1, 1, aw * 2, INT32_MAX, INT32_MIN})
        with("atlas width " + std::to_string(v), [=](auto& b) { put<i32>(b, ATLAS_SIZE, v); });
    for (i32 v : {0, -1, ah / 2, INT32_MAX})
        with("atlas height " + std::to_string(v), [=](auto& b) { put<i32>(b, ATLAS_SIZE + 4, v); });
    // Same pixel count, other shape: the rectangles must still be checked against it.
    with("atlas transposed", [=](auto& b) {
        put<i32>(b, ATLAS_SIZE, ah);
        put<i32>(b, ATLAS_SIZE + 4, aw);
    });
    with("atlas 1 x area", [=](auto& b) {
        put<i32>(b, ATLAS_SIZE, 1);
        put<i32>(b, ATLAS_SIZE + 4, aw * ah);
    });
    for (i64 v : {i64(0), i64(-1), atlas_len - 1, atlas_len + 1, atlas_len + 4, INT64_MAX})
        with("atlas length " + std::to_string(v), [=](auto& b) { put<i64>(b, ATLAS_LEN, v); });
    for (i64 v : {i64(0), i64(-1), i64(1), i64(11), i64(12), font_len - 1, font_len + 1, INT64_MAX})
        with("font length " + std::to_string(v), [=](auto& b) { put<i64>(b, font_len_at, v); });
    run_pack_cases("pack-payload", cases);
}

TEST(Fault, PackFontBytesCorrupted) {
    const Packs& p = packs();
    ASSERT_FALSE(p.payload.empty());
    const std::vector<u8>& s = p.plain;
    const size_t font_at = ATLAS_BYTES + size_t(get<i64>(s, ATLAS_LEN)) + 8;
    const size_t font_len = s.size() - font_at;
    auto be16 = [&](size_t at) { return u32(s[at]) << 8 | s[at + 1]; };
    auto put_be32 = [](std::vector<u8>& b, size_t at, u32 v) {
        for (int k = 0; k < 4; k++) b[at + k] = u8(v >> (24 - 8 * k));
    };
    std::vector<Pack_Case> cases;
    auto with = [&](std::string name, auto edit) {
        std::vector<u8> b = s;
        edit(b);
        cases.push_back({std::move(name), b});
    };
    with("font magic", [&](auto& b) { put_be32(b, font_at, 0xDEADBEEF); });
    for (u32 v : {0u, 1u, 0xFFFFu}) with("table count", [&, v](auto& b) { b[font_at + 4] = u8(v >> 8); b[font_at + 5] = u8(v); });
    // Each table record: tag, checksum, offset, length.
    const u32 tables = be16(font_at + 4);
    for (u32 t = 0; t < tables && 12 + 16 * t + 16 <= font_len; t++) {
        size_t rec = font_at + 12 + 16 * t;
        std::string tag(reinterpret_cast<const char*>(&s[rec]), 4);
        with("table " + tag + " offset past end", [&, rec](auto& b) { put_be32(b, rec + 8, u32(font_len) + 16); });
        with("table " + tag + " offset huge", [&, rec](auto& b) { put_be32(b, rec + 8, 0xFFFFFFF0u); });
        with("table " + tag + " length huge", [&, rec](auto& b) { put_be32(b, rec + 12, 0xFFFFFFF0u); });
        with("table " + tag + " contents", [&, rec](auto& b) {
            u32 off = u32(b[rec + 8]) << 24 | u32(b[rec + 9]) << 16 | u32(b[rec + 10]) << 8 | b[rec + 11];
            for (u32 k = 0; k < 64 && off + k < font_len; k++) b[font_at + off + k] = 0xFF;
        });
    }
    for (size_t k = 1; k < 32; k++)
        with("font byte " + std::to_string(font_len * k / 32), [&, k](auto& b) { b[font_at + font_len * k / 32] ^= 0xFF; });
    run_pack_cases("pack-font", cases);
}

TEST(Fault, SoundBanksMissingTruncatedCorrupted) {
    const std::vector<u8> bank = read_whole_file(REAL_DATA / "Desktop" / "persistent.bank");
    const std::vector<u8> strings = read_whole_file(REAL_DATA / "Desktop" / "persistent.strings.bank");
    ASSERT_GT(bank.size(), 16u);
    ASSERT_GT(strings.size(), 12u);
    struct Case {
        std::string name;
        std::function<std::vector<u8>()> bank, strings;  // empty: file missing
    };
    auto whole = [](const std::vector<u8>& b) { return [&b] { return b; }; };
    auto cut = [](const std::vector<u8>& b, size_t n) {
        return [&b, n] { return std::vector<u8>(b.begin(), b.begin() + std::ptrdiff_t(n)); };
    };
    std::vector<Case> cases = {{"both missing", {}, {}},
                               {"bank missing", {}, whole(strings)},
                               {"strings missing", whole(bank), {}}};
    const u32 events = get<u32>(bank, 8);
    const size_t table_end = 16 + size_t(events) * 32;
    for (size_t n : {size_t(0), size_t(3), size_t(4), size_t(11), size_t(15), size_t(16), size_t(40), table_end - 1,
                     table_end, table_end + 1, bank.size() / 2, bank.size() - 2, bank.size() - 1})
        cases.push_back({"bank cut at " + std::to_string(n), cut(bank, n), whole(strings)});
    for (size_t n = 0; n < strings.size(); n += 7)
        cases.push_back({"strings cut at " + std::to_string(n), whole(bank), cut(strings, n)});
    auto bank_edit = [&](std::string name, auto edit) {
        cases.push_back({std::move(name),
                         [&bank, edit] {
                             std::vector<u8> b = bank;
                             edit(b);
                             return b;
                         },
                         whole(strings)});
    };
    bank_edit("magic", [](auto& b) { b[0] = 'X'; });
    bank_edit("version", [](auto& b) { put<u32>(b, 4, 1); });
    for (u32 v : {0u, events - 1, events + 1, BANK_MAX_EVENTS + 1, 0xFFFFFFFFu})
        bank_edit("event count " + std::to_string(v), [v](auto& b) { put<u32>(b, 8, v); });
    for (u32 v : {0u, 1u, get<u32>(bank, 12) - 2, get<u32>(bank, 12) + 2, 0xFFFFFFFFu})
        bank_edit("data size " + std::to_string(v), [v](auto& b) { put<u32>(b, 12, v); });
    for (u32 e = 0; e < events; e += std::max(1u, events / 6)) {
        size_t rec = 16 + size_t(e) * 32;
        std::string n = "event " + std::to_string(e) + " ";
        for (u32 v : {0u, 22050u, 48000u, 0xFFFFFFFFu}) bank_edit(n + "rate", [=](auto& b) { put<u32>(b, rec, v); });
        for (u16 v : {u16(0), u16(3), u16(0xFFFF)}) bank_edit(n + "channels", [=](auto& b) { put<u16>(b, rec + 4, v); });
        bank_edit(n + "flags", [=](auto& b) { put<u16>(b, rec + 6, 0xFFFF); });
        for (f32 v : {-1.0f, 2.0f, std::nanf(""), INFINITY})
            bank_edit(n + "volume", [=](auto& b) { put<f32>(b, rec + 8, v); });
        for (f32 v : {-1.0f, 61.0f, std::nanf("")}) bank_edit(n + "fade", [=](auto& b) { put<f32>(b, rec + 12, v); });
        for (u16 v : {u16(0), u16(0xFFFF)}) bank_edit(n + "instances", [=](auto& b) { put<u16>(b, rec + 16, v); });
        // Frames the stream does not hold, or more than the cap allows.
        for (u32 v : {0u, 1u, get<u32>(bank, rec + 20) + 1, 0xFFFFFFFFu})
            bank_edit(n + "frames", [=](auto& b) { put<u32>(b, rec + 20, v); });
        for (u32 v : {1u, 0xFFFFFFF0u, get<u32>(bank, 12)})
            bank_edit(n + "offset", [=](auto& b) { put<u32>(b, rec + 24, v); });
        for (u32 v : {0u, 1u, 0xFFFFFFF0u}) bank_edit(n + "bytes", [=](auto& b) { put<u32>(b, rec + 28, v); });
        // The stream itself damaged: its headers, then the middle of its audio.
        for (u32 from : {8u, get<u32>(bank, rec + 28) / 2})
            bank_edit(n + "stream garbled at " + std::to_string(from), [=](auto& b) {
                size_t at = table_end + get<u32>(b, rec + 24) + from;
                for (size_t i = at; i < at + 64 && i < b.size(); i++) b[i] ^= u8(0x5A + i);
            });
    }
    auto strings_edit = [&](std::string name, auto edit) {
        std::vector<u8> b = strings;
        edit(b);
        cases.push_back({std::move(name), whole(bank), [b] { return b; }});
    };
    strings_edit("magic", [](auto& b) { b[0] = 'X'; });
    for (u32 v : {0u, get<u32>(strings, 8) + 1, BANK_MAX_STRINGS + 1, 0xFFFFFFFFu})
        strings_edit("entry count " + std::to_string(v), [v](auto& b) { put<u32>(b, 8, v); });
    for (u16 v : {u16(0), u16(256), u16(0xFFFF)}) strings_edit("first path length", [v](auto& b) { put<u16>(b, 12, v); });
    strings_edit("first event index", [&](auto& b) {
        put<u32>(b, 14 + get<u16>(b, 12), 0xFFFFFFFFu);
    });
    strings_edit("every event index past the bank", [&](auto& b) {
        size_t at = 12;
        while (at + 2 <= b.size()) {
            size_t len = get<u16>(b, at);
            if (at + 2 + len + 4 > b.size()) break;
            put<u32>(b, at + 2 + len, events + 3);
            at += 2 + len + 4;
        }
    });

    std::vector<Data_Case> runs;
    for (const Case& c : cases) {
        Data_Case d{c.name, {{"data/assets.sbpak", std::nullopt}}, false, true, true};
        if (c.bank) d.files.push_back({"data/Desktop/persistent.bank", std::nullopt, c.bank});
        if (c.strings) d.files.push_back({"data/Desktop/persistent.strings.bank", std::nullopt, c.strings});
        runs.push_back(std::move(d));
    }
    run_cases("banks", runs);
}

TEST(Fault, LongerEarlierSettingsFileIsReplacedWhole) {
    fs::path dir = fresh_dir("long-settings");
    fs::create_directory_symlink(REAL_DATA, dir / "data");
    write_bytes(dir / "settings.json", std::vector<u8>(6000, 'x'));
    Play_Result r = play_briefly(dir);
    EXPECT_TRUE(r.reached_play);
    expect_settings_whole(dir, "long file");
    EXPECT_EQ(read_text(dir / "settings.json").size(), 97u);
    fs::remove_all(dir);
}

TEST(Fault, SettingsThatCannotBeWrittenEndQuietly) {
    // A folder where the file should be: the rename fails.
    fs::path dir = fresh_dir("settings-dir");
    fs::create_directory_symlink(REAL_DATA, dir / "data");
    fs::create_directories(dir / "settings.json" / "inside");
    Play_Result r = play_briefly(dir);
    EXPECT_TRUE(r.reached_play);
    EXPECT_EQ(r.printed, "");
    EXPECT_TRUE(fs::is_directory(dir / "settings.json"));
    EXPECT_TRUE(fs::exists(dir / "settings.json" / "inside"));
    EXPECT_TRUE(temporaries_of(dir, "settings.json").empty());
    fs::remove_all(dir);

    // The folder removed while the game runs: nothing can be created there at exit, so the
    // settings go to the user's folder, without a word and without bringing the folder back.
    fs::path gone = fresh_dir("settings-gone");
    fs::path config = fresh_dir("settings-gone-config");
    std::string printed;
    {
        Env_Guard xdg("XDG_CONFIG_HOME", config.c_str());
        printed = capture_output(output_log(gone).string(), [&] {
            Headless h(gone.string());
            h.tap(DK_ENTER);
            h.tap(DK_RIGHT);
            h.frames(60);
            EXPECT_EQ(game.state, tutorial);
            fs::remove_all(gone);
        });
    }
    EXPECT_EQ(printed, "");
    EXPECT_FALSE(fs::exists(gone));
    expect_settings_whole(config / "vantorel", "the user's folder");
    fs::remove_all(config);
    fs::remove(output_log(gone));
}

// Root ignores permission bits, so the read-only cases run in a child that gave them up.
TEST(Fault, SettingsInReadOnlyPlacesAsAnotherUser) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become nobody";
    fs::path base = fresh_dir("readonly");
    fs::create_directories(base / "ro-dir");
    fs::create_directories(base / "ro-file");
    fs::create_directory_symlink(REAL_DATA, base / "ro-dir" / "data");
    fs::create_directory_symlink(REAL_DATA, base / "ro-file" / "data");
    fs::path old_file = base / "ro-file" / "settings.json";
    write_bytes(old_file, std::vector<u8>(3000, 'y'));
    // ro-dir: owned by root, not writable by others. ro-file: a sticky folder nobody may write
    // to, holding root's read-only file, which the sticky bit keeps nobody from replacing.
    chmod((base / "ro-dir").c_str(), 0755);
    chmod((base / "ro-file").c_str(), 01777);
    chmod(old_file.c_str(), 0444);
    chmod(base.c_str(), 0755);
    for (fs::path p = base.parent_path(); p != p.root_path(); p = p.parent_path()) {
        struct stat sb;
        if (stat(p.c_str(), &sb) == 0 && !(sb.st_mode & S_IXOTH))
            GTEST_SKIP() << p << " is not searchable by other users";
    }
    for (const char* sub : {"ro-dir", "ro-file"}) {
        SCOPED_TRACE(sub);
        fs::path dir = base / sub;
        std::string log = (base / (std::string(sub) + ".out")).string();
        // The user's own config folder takes the settings the game's folder refuses.
        fs::path config = base / (std::string(sub) + "-config");
        fs::create_directories(config);
        ASSERT_EQ(chown(config.c_str(), 65534, 65534), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int fd = open(log.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0666);
            if (fd < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0) _exit(10);
            if (setenv("XDG_CONFIG_HOME", config.c_str(), 1) != 0) _exit(13);
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(11);
            {
                Headless h(dir.string());
                h.tap(DK_ENTER);
                h.tap(DK_RIGHT);
                h.frames(120);
                if (game.state != tutorial && game.state != playing) _exit(12);
            }
            std::fflush(stdout);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(read_text(log), "");
        EXPECT_TRUE(temporaries_of(dir, "settings.json").empty());
        EXPECT_EQ(read_text(config / "vantorel" / "settings.json"), settings_to_json(settings));
    }
    EXPECT_FALSE(fs::exists(base / "ro-dir" / "settings.json"));
    EXPECT_EQ(read_text(old_file), std::string(3000, 'y'));
    chmod(old_file.c_str(), 0644);
    fs::remove_all(base);
}

TEST(Fault, NoSoundDevice) {
    Env_Guard driver("SDL_AUDIODRIVER", "vantorel-no-such-driver");
    fs::path dir = fresh_dir("noaudio");
    fs::create_directory_symlink(REAL_DATA, dir / "data");
    Play_Result r = play_briefly(dir);
    EXPECT_TRUE(r.reached_play);
    EXPECT_GT(r.max_sprites, 0u);
    EXPECT_GE(audio_trace.started[music_game], 1u);
    EXPECT_GE(audio_trace.started[player_charged], 1u);
    expect_settings_whole(dir, "no audio");
    fs::remove_all(dir);
}

namespace {
struct Pad_Fault : ::testing::Test {
    void SetUp() override { ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError(); }
    void TearDown() override {
        gpad_shutdown();
        input_reset();
        for (int i = SDL_NumJoysticks() - 1; i >= 0; --i)
            if (SDL_JoystickIsVirtual(i)) SDL_JoystickDetachVirtual(i);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
};
}  // namespace

TEST_F(Pad_Fault, NoGamepadKeysStillSteer) {
    if (SDL_NumJoysticks() != 0) GTEST_SKIP() << "a real joystick is attached";
    fs::path dir = fresh_dir("nopad");
    fs::create_directory_symlink(REAL_DATA, dir / "data");
    {
        Headless h(dir.string());
        start_game(h);
        ASSERT_EQ(game.state, tutorial);
        f32 rot = player_entity()->rot;
        h.down(DK_LEFT);
        h.frames(40);
        h.up(DK_LEFT);
        EXPECT_GT(player_entity()->rot, rot);
        for (u8 slot = 0; slot < GPAD_SLOT_COUNT; slot++) {
            Gamepad_State s;
            EXPECT_FALSE(gpad_get_state(slot, &s));
        }
    }
    expect_settings_whole(dir, "no pad");
    fs::remove_all(dir);
}

TEST_F(Pad_Fault, PadPulledOutWhileSteering) {
    if (SDL_NumJoysticks() != 0) GTEST_SKIP() << "a real joystick is attached";
    SDL_Joystick* pad = attach_virtual_pad();
    ASSERT_NE(pad, nullptr) << SDL_GetError();

    fs::path dir = fresh_dir("padpull");
    fs::create_directory_symlink(REAL_DATA, dir / "data");
    {
        Headless h(dir.string());
        start_game(h);
        ASSERT_EQ(game.state, tutorial);
        Entity* ship = player_entity();
        ASSERT_NE(ship, nullptr);
        SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_LEFT);
        h.frames(30);
        f32 turned = ship->rot;
        EXPECT_GT(turned, 0.0f);  // the pad steers
        int index = -1;
        for (int i = 0; i < SDL_NumJoysticks(); i++)
            if (SDL_JoystickGetDeviceInstanceID(i) == SDL_JoystickInstanceID(pad)) index = i;
        ASSERT_EQ(SDL_JoystickDetachVirtual(index), 0) << SDL_GetError();
        SDL_JoystickClose(pad);
        h.frames(120);
        ship = player_entity();
        ASSERT_NE(ship, nullptr);
        // Steering stops with the pad gone instead of sticking to the last reading.
        EXPECT_FLOAT_EQ(ship->variant.player.input.dir.x, 0.0f);
        f32 settled = ship->rot;
        h.frames(30);
        EXPECT_FLOAT_EQ(ship->rot, settled);
        // Keys take over.
        h.down(DK_RIGHT);
        h.frames(30);
        h.up(DK_RIGHT);
        EXPECT_LT(ship->rot, settled);
        h.tap(DK_ESCAPE);
        h.tap(DK_ESCAPE);
        h.frames(10);
    }
    expect_settings_whole(dir, "pad pulled");
    fs::remove_all(dir);
}

namespace {
// Every writer of the game and its tools, each with the bytes it must leave.
struct Writer {
    std::string name;
    std::function<bool(const fs::path&)> write;
    std::string bytes;
};
std::vector<Writer> writers() {
    static const std::string BANK = "bank bytes \x01\x02";
    return {
        {"settings", [](const fs::path& p) { return settings_save_to(p.c_str()); }, settings_to_json(settings)},
        {"bank",
         [](const fs::path& p) { return bank_write_file_atomic(p.c_str(), std::vector<u8>(BANK.begin(), BANK.end())); },
         BANK},
        {"file", [](const fs::path& p) { return file_write_atomic(p.c_str(), "generated\n", 10); }, "generated\n"},
    };
}
}  // namespace

TEST(Fault, WritersNeverFollowLinksNorLeaveHalfFiles) {
    const std::string PRECIOUS = "someone else's file\n";
    for (const Writer& w : writers()) {
        SCOPED_TRACE(w.name);
        fs::path dir = fresh_dir("links-" + w.name);
        fs::path out = dir / "out", victim = dir / "victim";
        auto victim_intact = [&] { EXPECT_EQ(read_text(victim), PRECIOUS); };
        auto out_written = [&] {
            EXPECT_FALSE(fs::is_symlink(out));
            EXPECT_EQ(read_text(out), w.bytes);
        };

        // The old fixed temporary name as a symbolic link, then as a hard link, to the victim.
        write_bytes(victim, std::vector<u8>(PRECIOUS.begin(), PRECIOUS.end()));
        fs::create_symlink(victim, dir / "out.tmp");
        EXPECT_TRUE(w.write(out));
        victim_intact();
        out_written();
        fs::remove(dir / "out.tmp");
        fs::remove(out);
        fs::create_hard_link(victim, dir / "out.tmp");
        EXPECT_TRUE(w.write(out));
        victim_intact();
        out_written();
        EXPECT_EQ(fs::hard_link_count(victim), 2u);

        // A link at the destination itself is replaced, not written through.
        fs::remove(out);
        fs::create_symlink(victim, out);
        EXPECT_TRUE(w.write(out));
        victim_intact();
        out_written();

        // A stale temporary from a killed run (a regular file) is harmless.
        fs::remove(dir / "out.tmp");
        write_bytes(dir / "out.tmp", std::vector<u8>(50, 'z'));
        EXPECT_TRUE(w.write(out));
        out_written();
        fs::remove(dir / "out.tmp");
        EXPECT_TRUE(temporaries_of(dir, "out").empty());

        // A full disk (here: a file size limit) mid-write leaves the old file and no temporary.
        std::optional<int> full = exit_code_within(HANG, [&] {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{4, 4};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
            return w.write(out) ? 11 : 0;
        });
        EXPECT_EQ(full, 0);
        out_written();
        EXPECT_TRUE(temporaries_of(dir, "out").empty());
        fs::remove_all(dir);
    }
}

// Under a file-size limit a write fails as on a full disk: the recording stops at its last
// whole frame, no settings are written, nothing ends the game, no temporary is left. And a
// recording under the settings' own name keeps it: the settings go to the user's folder.
TEST(Fault, FileSizeLimitAndTheRecordingsNameLeaveTheGameAndItsFilesWhole) {
    fs::path dir = fresh_dir("size-limit"), config = fresh_dir("size-limit-config");
    Env_Guard xdg("XDG_CONFIG_HOME", config.c_str());
    for (const char* name : {"game.rpl", "settings.json"}) {
        bool limited = name[0] == 'g';
        Child_Result r = run_in_child(HANG, [&](double&) {
            platform_process_begin();
            rlimit limit{60, 60};  // bytes: the recording's header and one frame
            char error[256];
            if ((limited && setrlimit(RLIMIT_FSIZE, &limit) != 0) ||
                !replay_record_start((dir / name).c_str(), 1, error, sizeof error))
                return 10;
            Headless h(dir.string());
            h.frames(5);
            return 0;
        });
        EXPECT_EQ(r.status, 0) << name << " (" << -SIGXFSZ << ": ended by SIGXFSZ)";
        std::vector<u8> recorded = read_whole_file(dir / name);
        Replay replay;
        ASSERT_TRUE(replay_parse(recorded.data(), recorded.size(), replay, nullptr, 0)) << name;
        EXPECT_EQ(replay.frames.size(), limited ? 1u : 5u) << name;
        EXPECT_EQ(replay.cut_short, limited) << name;
        EXPECT_TRUE(temporaries_of(dir, "settings.json").empty());
        EXPECT_TRUE(temporaries_of(config / "vantorel", "settings.json").empty());
    }
    expect_settings_whole(config / "vantorel", "the user's folder");
    fs::remove_all(dir);
    fs::remove_all(config);
}

TEST(Fault, FifoAsTheSettingsTemporaryDoesNotHangTheExit) {
    fs::path dir = fresh_dir("fifo-settings");
    ASSERT_EQ(mkfifo((dir / "settings.json.tmp").c_str(), 0600), 0);
    std::optional<int> code = exit_code_within(HANG, [&] {
        return settings_save_to((dir / "settings.json").c_str()) ? 0 : 1;
    });
    EXPECT_EQ(code, 0) << "nothing: the exit hung on the FIFO";
    EXPECT_EQ(read_text(dir / "settings.json"), settings_to_json(settings));
    EXPECT_TRUE(fs::is_fifo(dir / "settings.json.tmp"));
    EXPECT_EQ(temporaries_of(dir, "settings.json"), std::vector<std::string>{"settings.json.tmp"});
    fs::remove_all(dir);
}

// Whatever sits where a data file belongs, if it is not a regular file it is refused at once,
// like a missing file; the game then starts without it.
TEST(Fault, DataFilesThatAreNotRegularFilesAreRefusedAtOnce) {
    fs::path base = fresh_dir("special");
    ASSERT_EQ(mkfifo((base / "fifo").c_str(), 0600), 0);
    fs::create_directory(base / "folder");
    fs::create_symlink(base / "fifo", base / "link-to-fifo");
    fs::create_symlink("/dev/zero", base / "link-to-zero");
    write_bytes(base / "ten", std::vector<u8>(10, 'x'));
    for (const char* name : {"fifo", "folder", "link-to-fifo", "link-to-zero"}) {
        SCOPED_TRACE(name);
        std::string p = (base / name).string();
        std::optional<int> code = exit_code_within(HANG, [&] {
            Assets a;
            if (file_read_whole(p.c_str(), 1 << 20)) return 1;
            if (assets_load_from_file(p.c_str(), a)) return 2;
            if (bank_read_file(p.c_str())) return 3;
            if (strings_bank_read_file(p.c_str())) return 4;
            return 0;
        });
        EXPECT_EQ(code, 0) << "nothing means it hung";
    }
    // The caller's cap, to the byte.
    EXPECT_TRUE(file_read_whole((base / "ten").c_str(), 10));
    EXPECT_FALSE(file_read_whole((base / "ten").c_str(), 9));

    // The whole game over a data folder of FIFOs: it starts, plays and exits normally.
    fs::path game_dir = base / "game";
    fs::create_directories(game_dir / "data" / "Desktop");
    for (const char* f : {"data/assets.sbpak", "data/Desktop/persistent.bank", "data/Desktop/persistent.strings.bank"})
        ASSERT_EQ(mkfifo((game_dir / f).c_str(), 0600), 0);
    std::optional<int> code = exit_code_within(HANG, [&] {
        Play_Result r = play_briefly(game_dir, 10);
        return r.reached_play && r.max_sprites == 0 && r.max_glyphs == 0 ? 0 : 1;
    });
    EXPECT_EQ(code, 0) << "nothing means start-up hung";
    expect_settings_whole(game_dir, "data folder of FIFOs");
    fs::remove_all(base);
}

// A texture larger than the device allows would draw every sprite as a black box.
TEST(Fault, AtlasBeyondTheTextureLimitIsRefusedLikeDamage) {
    const Packs& k = packs();
    Serializer s = serializer_reader(k.payload.data(), i64(k.payload.size()));
    Assets real;
    ASSERT_TRUE(assets_serialize(s, real));
    auto widened = [&](i32 width) {
        Assets a = real;
        const i32 w = real.atlas_size[0], h = real.atlas_size[1];
        a.atlas_size[0] = width;
        a.atlas_pixels.assign(size_t(width) * size_t(h) * 4, 0);
        for (i32 y = 0; y < h; y++)
            std::memcpy(&a.atlas_pixels[size_t(y) * size_t(width) * 4], &real.atlas_pixels[size_t(y) * size_t(w) * 4],
                        size_t(w) * 4);
        return assets_build_pack(a, pak_lz4, 1);
    };
    ASSERT_LE(real.atlas_size[0], HEADLESS_MAX_TEXTURE_SIZE);
    std::vector<u8> at_limit = widened(HEADLESS_MAX_TEXTURE_SIZE), over = widened(HEADLESS_MAX_TEXTURE_SIZE + 1);
    Assets check;
    ASSERT_TRUE(assets_load_from_bytes(over.data(), i64(over.size()), check)) << "only the size may be wrong";
    EXPECT_TRUE(renderer_atlas_fits(HEADLESS_MAX_TEXTURE_SIZE, real.atlas_size[1]));
    EXPECT_FALSE(renderer_atlas_fits(real.atlas_size[0], HEADLESS_MAX_TEXTURE_SIZE + 1));
    run_cases("atlas", {
        {"atlas at the limit", {{"data/assets.sbpak", at_limit}}, false, true, false},
        {"atlas one pixel over", {{"data/assets.sbpak", over}}, true, false, false},
    });
}

TEST(Fault, CreditPageUrlNamesTheFileWhateverTheFoldersAreCalled) {
    auto decode = [](const std::string& url) {
        std::string out;
        for (size_t i = 0; i < url.size(); i++) {
            if (url[i] == '%' && i + 2 < url.size() && std::isxdigit((unsigned char)url[i + 1]) &&
                std::isxdigit((unsigned char)url[i + 2])) {
                out += char(std::stoi(url.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += url[i];
            }
        }
        return out;
    };
    fs::path base = fresh_dir("url");
    for (const char* name : {"hash#1", "q?x=1", "pct%41", "new\nline", "sp ace", "caf\xc3\xa9", "semi;colon&amp"}) {
        SCOPED_TRACE(name);
        fs::path dir = base / name;
        fs::create_directories(dir);
        fs::current_path(dir);
        std::string url = platform_resolve_url("README.md");
        std::string cwd = fs::current_path().string();
        ASSERT_EQ(url.rfind("file://", 0), 0u) << url;
        std::string rest = url.substr(7);
        for (size_t i = 0; i < rest.size(); i++) {
            unsigned char c = (unsigned char)rest[i];
            bool plain = std::isalnum(c) || std::strchr("-._~/", c);
            bool escape = c == '%' && i + 2 < rest.size() && std::isxdigit((unsigned char)rest[i + 1]) &&
                          std::isxdigit((unsigned char)rest[i + 2]);
            ASSERT_TRUE(plain || escape) << "byte " << int(c) << " unencoded in " << url;
        }
        EXPECT_EQ(decode(rest), cwd + "/README.md");
    }
    fs::current_path(VANTOREL_BUILD_DIR);  // where the game's own runs leave it
    EXPECT_EQ(platform_resolve_url("https://example.invalid/a?b#c"), "https://example.invalid/a?b#c");
    fs::remove_all(base);
}

// SDL's own quit event for a signal is dropped when its queue is full (65,535 events, as
// after a flood of input while the game was stopped); the loop must end all the same.
TEST(Fault, QuitSignalBehindAFullEventQueueStillEndsTheLoop) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        std::optional<int> code = exit_code_within(HANG, [&] {
            platform_events_begin();
            if (SDL_Init(SDL_INIT_EVENTS) != 0) return 10;
            SDL_Event e = {};
            e.type = SDL_USEREVENT;
            while (SDL_PushEvent(&e) == 1) {
            }
            if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) < 65535) return 11;
            kill(getpid(), sig);
            Platform_Callbacks cb = {nullptr, nullptr, [](const Platform_Event&) {}, nullptr};
            bool goes_on = platform_pump_events(cb);
            SDL_Quit();
            return goes_on ? 12 : 0;
        });
        EXPECT_EQ(code, 0) << "10 no SDL, 11 queue not full, 12 the loop went on, nothing: killed by the signal";
    }
}
