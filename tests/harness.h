// Drives the real callbacks headlessly: chosen frame durations, chosen key events.
#pragma once
#include <fcntl.h>
#include <ogg/ogg.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "game/assets.h"
#include "game/asteroid.h"
#include "game/audio.h"
#include "game/bank.h"
#include "game/game.h"
#include "game/app.h"
#include "game/input.h"
#include "game/projectile.h"
#include "game/particles.h"
#include "game/random.h"
#include "game/renderer.h"
#include "game/replay.h"
#include "game/scene.h"
#include "game/scores.h"
#include "game/stage.h"
#include "game/ui.h"
#include "game/volume.h"
#include "game/world.h"
#include "game/sprite.h"
#include "gpad/gpad.h"
#include "platform/platform.h"

// Desktop key numbers as the window layer delivers them.
enum Desktop_Key : int {
    DK_SPACE = int(Platform_Key::key_space), DK_X = int(Platform_Key::key_x),
    DK_Z = int(Platform_Key::key_z), DK_ESCAPE = int(Platform_Key::key_escape),
    DK_ENTER = int(Platform_Key::key_enter), DK_RIGHT = int(Platform_Key::key_right),
    DK_LEFT = int(Platform_Key::key_left), DK_DOWN = int(Platform_Key::key_down),
    DK_UP = int(Platform_Key::key_up), DK_F11 = int(Platform_Key::key_f11)
};

#ifdef VANTOREL_BUILD_DIR
// The game's folder when a test names none: the build's data through a link, and this process's
// own, so the settings.json every shutdown writes stays out of the build folder, where the
// end-to-end scripts, running meanwhile, check the one their game wrote.
struct Own_Exe_Dir {
    pid_t owner = getpid();
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("vantorel-exe-" + std::to_string(owner));
    Own_Exe_Dir() {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        std::filesystem::create_directory_symlink(std::filesystem::path(VANTOREL_BUILD_DIR) / "data", path / "data");
    }
    // A forked child that exits normally must not take its parent's folder along.
    ~Own_Exe_Dir() {
        std::error_code ec;
        if (getpid() == owner) std::filesystem::remove_all(path, ec);
    }
};
inline std::string own_exe_dir() {
    static const Own_Exe_Dir dir;
    return dir.path.string();
}
#else
inline std::string own_exe_dir() { return ""; }
#endif

struct Headless {
    // exe_dir: where the game looks for data/ and writes settings.json ("" = a folder of this
    // process's own holding the build's data).
    explicit Headless(const std::string& exe_dir = "", int w = 640, int h = 576) {
        platform_headless_begin(w, h);
        std::string dir = exe_dir.empty() ? own_exe_dir() : exe_dir;
        if (!dir.empty()) platform_headless_set_exe_dir(dir.c_str());
        _sapp_init();
    }
    ~Headless() {
        _sapp_cleanup();
        platform_headless_end();
    }
    Headless(const Headless&) = delete;
    Headless& operator=(const Headless&) = delete;

    void frame(double seconds = 1.0 / 60.0) {
        platform_headless_set_frame_duration(seconds);
        _sapp_frame();
    }
    void frames(int n, double seconds = 1.0 / 60.0) {
        for (int i = 0; i < n; i++) frame(seconds);
    }
    void down(int key, bool repeat = false) { _sapp_event(Input_Event{event_key_down, key, repeat, mouse_button_other}); }
    void up(int key) { _sapp_event(Input_Event{event_key_up, key, false, mouse_button_other}); }
    // The window lost focus or was minimised.
    void focus_lost() { _sapp_event(Input_Event{event_focus_lost, 0, false, mouse_button_other}); }
    // Press and release around one frame.
    void tap(int key) {
        down(key);
        frame();
        up(key);
    }
};

inline Entity* player_entity() {
    auto ref = scene_get_entity(game.player);
    return ref ? ref->entity : nullptr;
}

// Starts a new game from the main menu and leaves it in `tutorial`.
inline void start_game(Headless& h) {
    h.tap(DK_ENTER);  // New Game -> intro
    h.down(DK_RIGHT);
    h.frame();        // intro -> tutorial
    h.up(DK_RIGHT);
    h.frame();
}

inline Player_Entity& ship() { return player_entity()->variant.player; }

// "Live": not destroyed earlier in this frame (the scene removes those at its end).
// The last live entity of a kind the scene visits; empty when there is none.
inline Entity_Ref live_entity(Variant_Kind k) {
    Entity_Ref found;
    scene_for_each(game.scene, [&](Entity_Ref r) {
        if (r.entity->variant.kind == k && !(r.entity->tags & tag_destroyed)) found = r;
    });
    return found;
}

inline Entity_Ref boss_ref() { return live_entity(variant_boss); }
inline Entity* boss_entity() { return boss_ref().entity; }

// Copies of every live entity of a kind, in scene order.
inline std::vector<Entity> live_entities(Variant_Kind k) {
    std::vector<Entity> out;
    scene_for_each(game.scene, [&](Entity_Ref r) {
        if (r.entity->variant.kind == k && !(r.entity->tags & tag_destroyed)) out.push_back(*r.entity);
    });
    return out;
}
inline std::vector<Entity> asteroids() { return live_entities(variant_asteroid); }
inline std::vector<Entity> projectiles() { return live_entities(variant_projectile); }

inline int count_variant(Variant_Kind k) {
    int n = 0;
    scene_for_each(game.scene, [&](Entity_Ref r) {
        if (r.entity->variant.kind == k && !(r.entity->tags & tag_destroyed)) n++;
    });
    return n;
}

// The ship's bullets still in flight.
inline int player_bullets() {
    int n = 0;
    scene_for_each(game.scene, [&](Entity_Ref r) {
        if (r.entity->variant.kind == variant_projectile && !(r.entity->tags & tag_destroyed) &&
            r.entity->variant.projectile.kind == player_bullet)
            n++;
    });
    return n;
}

inline Entity_Id place_bullet(Vec2 pos, Vec2 vel, Projectile_Kind kind = player_bullet) {
    return scene_spawn_entity(make_projectile(pos, vel, kind));
}

// Places an asteroid; returns its identifier.
inline Entity_Id place_asteroid(Vec2 pos, Asteroid_Kind kind = small, Vec2 vel = {}) {
    return scene_spawn_entity(make_asteroid(pos, vel, kind, 0));
}

// A whole file as text ("" when it cannot be read).
inline std::string read_text(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Runs body with standard output and error sent to the file `log`; returns what they printed.
template <class Body>
std::string capture_output(const std::string& log, Body&& body) {
    std::fflush(stdout);
    std::fflush(stderr);
    int fd = open(log.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    int saved_out = dup(1), saved_err = dup(2);
    dup2(fd, 1);
    dup2(fd, 2);
    body();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    close(fd);
    return read_text(log);
}

// Names in dir that start like a temporary file of `name` (what an atomic write leaves
// behind when it fails to clean up); none when there is no such folder.
inline std::vector<std::string> temporaries_of(const std::filesystem::path& dir, const std::string& name) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const std::filesystem::directory_entry& e : std::filesystem::directory_iterator(dir, ec))
        if (e.path().filename().string().rfind(name + ".tmp", 0) == 0) found.push_back(e.path().filename());
    return found;
}

// What a sprite drawn at `scale` (half-extent in units of its size), turned by `rot`, puts on
// an n x n patch of screen pixels centred on it (y down), sampled nearest as the sprite
// program samples: each pixel's atlas texel, or nullptr where it draws nothing.
inline std::vector<const u8*> sprite_patch(const Assets& a, Sprite s, f32 scale, f32 rot, int n) {
    const f32 c = std::cos(rot), si = std::sin(rot), w = 2 * scale * s.w, h = 2 * scale * s.h;
    std::vector<const u8*> patch(size_t(n) * n, nullptr);
    for (int py = 0; py < n; py++)
        for (int px = 0; px < n; px++) {
            f32 dx = px + 0.5f - n / 2.0f, dy = n / 2.0f - (py + 0.5f);
            f32 u = (dx * c + dy * si) / w + 0.5f, v = 0.5f - (-dx * si + dy * c) / h;
            if (u < 0 || u >= 1 || v < 0 || v >= 1) continue;
            size_t tx = s.x + size_t(u * s.w), ty = s.y + size_t(v * s.h);
            const u8* t = &a.atlas_pixels[(ty * size_t(a.atlas_size[0]) + tx) * 4];
            if (t[3] == 255) patch[size_t(py) * n + px] = t;
        }
    return patch;
}

// Sets environment variables for one scope (a null value unsets one).
struct Env_Guard {
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    Env_Guard() = default;
    Env_Guard(const char* name, const char* value) { set(name, value); }
    Env_Guard(const Env_Guard&) = delete;
    Env_Guard& operator=(const Env_Guard&) = delete;
    void set(const char* name, const char* value) {
        const char* was = std::getenv(name);
        saved.push_back({name, was ? std::optional<std::string>(was) : std::nullopt});
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    void set(const char* name, const std::string& value) { set(name, value.c_str()); }
    ~Env_Guard() {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->second) setenv(it->first.c_str(), it->second->c_str(), 1);
            else unsetenv(it->first.c_str());
        }
    }
};

// The folder the test program started in. The game moves into the folder a test gives it,
// and the test may remove that folder before the next one starts.
inline const std::string harness_start_dir = std::filesystem::current_path().string();

// The score table of every test lives here, emptied before each test: no test sees another's
// games, and none writes beside the build's game, whose title other checks look at.
inline const std::string harness_scores_dir =
    (std::filesystem::temp_directory_path() / ("vantorel-test-scores-" + std::to_string(getpid()))).string();
inline const struct Harness_Scores_Dir_Removal {
    ~Harness_Scores_Dir_Removal() { std::error_code ec; std::filesystem::remove_all(harness_scores_dir, ec); }
} harness_scores_dir_removal;

// Puts every global a test can reach back to its start-up value, so no test's outcome
// depends on the tests that ran before it (or on one that failed half-way).
inline void reset_game_globals() {
    replay_stop();
    gpad_shutdown();
    audio_shutdown();
    audio_trace = Audio_Trace{};
    renderer_shutdown();
    renderer = Renderer{};  // also drops a capture left pointing into a finished test
    for (Sprite& s : sprites) s = Sprite{};
    for (Sprite_Anim& a : sprite_anims) a = Sprite_Anim{};
    scene_destroy(game.scene);
    game = Game{};
    ui = UI_State{};
    last_time_step = Time_Step{};
    input_reset();
    _particle_system_reset();
    scratch_reset();
    random_seed(RANDOM_START_SEED);
    std::error_code ec;
    std::filesystem::remove_all(harness_scores_dir, ec);
    std::filesystem::create_directories(harness_scores_dir, ec);
    score_keeper = Score_Keeper{};
    score_keeper.folder = harness_scores_dir;
    audio_seed(RANDOM_START_SEED);
    volume = Volume{};
    platform_headless_end();
    if (chdir(harness_start_dir.c_str()) != 0) std::perror(harness_start_dir.c_str());
}

// What a body run in a child process left behind.
struct Child_Result {
    int status = -1;      // its exit status, or minus the signal that ended it
    double measured = 0;  // what the body put in its argument
    u64 peak_bytes = 0;   // the child's peak resident memory
};

// Runs body(double& measured) -> int in a forked child, so that a crash, a hang, a signal or
// the memory it takes is seen from outside. A child still running after `seconds` is killed.
template <class Body>
Child_Result run_in_child(double seconds, Body&& body) {
    Child_Result r;
    int fds[2];
    if (pipe(fds) != 0) return r;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        double measured = 0;
        int status = body(measured);
        if (write(fds[1], &measured, sizeof measured) != sizeof measured) status = 99;
        std::fflush(nullptr);
        _exit(status);
    }
    close(fds[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int wstatus = 0;
    rusage usage = {};
    while (pid > 0) {
        pid_t done = wait4(pid, &wstatus, WNOHANG, &usage);
        if (done == pid) break;
        if (done < 0 || std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            wait4(pid, &wstatus, 0, &usage);
            break;
        }
        usleep(2000);
    }
    if (pid > 0) {
        r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -WTERMSIG(wstatus);
        r.peak_bytes = u64(usage.ru_maxrss) * 1024;
        if (read(fds[0], &r.measured, sizeof r.measured) != sizeof r.measured) r.measured = -1;
    }
    close(fds[0]);
    return r;
}

// ---- Crafted Ogg Vorbis streams: what a hostile bank could hold -----------------------------

// A codebook of `entries` words making a full tree, `dim` numbers per word and, with `map`
// 1 or 2, a value lattice of one-bit values.
struct Crafted_Book {
    u32 entries = 1;
    u16 dim = 1;
    u8 map = 0;
};

// Decodes to `frames` frames of silence in 256-sample blocks. Its floor and residue use a
// one-word book 0; `books` follow. The residue classifies by book `residue_book`.
struct Crafted_Stream {
    u16 channels = 1;
    std::vector<Crafted_Book> books;
    u32 frames = 4410;
    u32 residue_book = 0, residue_partitions = 1;
    u32 vendor_bytes = 8;
    int serial = 1;
};

inline std::vector<u8> crafted_vorbis(const Crafted_Stream& c) {
    using Bits = std::initializer_list<std::pair<u64, int>>;  // value, width
    std::vector<std::vector<u8>> packets;
    oggpack_buffer b;
    auto put = [&](Bits fields) {
        for (auto [v, w] : fields) oggpack_write(&b, u32(v), w);
    };
    auto open = [&](u32 type) {
        oggpack_writeinit(&b);
        put({{type, 8}});
        for (char ch : {'v', 'o', 'r', 'b', 'i', 's'}) put({{u8(ch), 8}});
    };
    auto close = [&] {
        packets.emplace_back(oggpack_get_buffer(&b), oggpack_get_buffer(&b) + oggpack_bytes(&b));
        oggpack_writeclear(&b);
    };
    open(1);  // version, channels, rate, three bit rates, 256- and 2048-sample blocks
    put({{0, 32}, {c.channels, 8}, {BANK_RATE, 32}, {0, 32}, {0, 32}, {0, 32}, {8, 4}, {11, 4}, {1, 1}});
    close();
    open(3);
    put({{c.vendor_bytes, 32}});
    for (u32 i = 0; i < c.vendor_bytes; i++) put({{'v', 8}});
    put({{0, 32}, {1, 1}});
    close();
    open(5);
    put({{c.books.size(), 8}});
    std::vector<Crafted_Book> books = c.books;
    books.insert(books.begin(), Crafted_Book{});
    for (const Crafted_Book& k : books) {
        // Lengths in order: 2^(n+1) - entries words of n bits, the rest of n + 1.
        u32 n = 0;
        while ((2ull << n) <= k.entries) n++;
        u32 short_words = k.entries == (1u << n) ? k.entries : (2u << n) - k.entries;
        auto width = [](u64 v) { return int(64 - __builtin_clzll(v)); };
        put({{0x564342, 24}, {k.dim, 16}, {k.entries, 24}, {1, 1}, {n ? n - 1 : 0, 5}, {short_words, width(k.entries)}});
        if (short_words < k.entries) put({{k.entries - short_words, width(k.entries - short_words)}});
        put({{k.map, 4}});
        if (k.map == 0) continue;
        put({{0, 32}, {0, 32}, {0, 4}, {0, 1}});  // minimum, step, one bit per value, no sequence
        u64 values = u64(k.entries) * k.dim, v = 1;
        for (u64 p = 0; k.map == 1 && p <= k.entries; v++) {
            p = 1;
            for (u32 d = 0; d < k.dim && p <= k.entries; d++) p *= v + 1;
            values = v;
        }
        for (u64 i = 0; i < values; i++) put({{i & 1, 1}});
    }
    // One time slot; a floor without partitions; a residue covering nothing; one mapping;
    // one short-block mode.
    put({{0, 6}, {0, 16}, {0, 6}, {1, 16}, {0, 5}, {0, 2}, {8, 4}, {0, 6}, {0, 16}, {0, 24}, {0, 24}, {0, 24},
         {c.residue_partitions - 1, 6}, {c.residue_book, 8}});
    for (u32 i = 0; i < c.residue_partitions; i++) put({{0, 4}});
    put({{0, 6}, {0, 16}, {0, 4}, {0, 24}, {0, 6}, {0, 1}, {0, 32}, {0, 8}, {1, 1}});
    close();
    // Then one-byte packets, each "no floor" for every channel: half a block of silence.
    u32 count = (c.frames + 127) / 128 + 1;
    for (u32 i = 0; i < count; i++) packets.push_back({0});

    std::vector<u8> out;
    ogg_stream_state os;
    ogg_stream_init(&os, c.serial);
    ogg_page page;
    for (size_t i = 0; i < packets.size(); i++) {
        bool last = i + 1 == packets.size();
        ogg_packet op = {packets[i].data(), long(packets[i].size()), i == 0, last,
                         i < 3 ? 0 : std::min<i64>(i64(i - 3) * 128, c.frames), i64(i)};
        ogg_stream_packetin(&os, &op);
        while (i == 2 || last ? ogg_stream_flush(&os, &page) : ogg_stream_pageout(&os, &page)) {
            out.insert(out.end(), page.header, page.header + page.header_len);
            out.insert(out.end(), page.body, page.body + page.body_len);
        }
    }
    ogg_stream_clear(&os);
    return out;
}

// ---- Crafted XM modules: the largest a bank may hold ------------------------------------

// Every pattern `rows` long and every cell a note with its instrument, volume and an
// arpeggio; every instrument `samples` looped 16-bit samples of `sample_bytes` each.
struct Crafted_Module {
    u16 channels = 2;
    u16 patterns = 1;
    u16 rows = 4;
    u16 orders = 1;  // pattern i % patterns at order i
    u16 instruments = 1;
    u16 samples = 1;         // per instrument
    u32 sample_bytes = 64;   // bytes, even
};

inline std::vector<u8> crafted_module(const Crafted_Module& m) {
    const char magic[] = "Extended Module: ";
    std::vector<u8> o(magic, magic + 17);
    auto put = [&](std::initializer_list<u8> bytes) {
        for (u8 b : bytes) o.push_back(b);
    };
    auto put16 = [&](u32 v) { put({u8(v), u8(v >> 8)}); };
    auto put32 = [&](u32 v) { put({u8(v), u8(v >> 8), u8(v >> 16), u8(v >> 24)}); };
    o.insert(o.end(), 20, u8(' '));
    o.push_back(0x1A);
    o.insert(o.end(), 20, u8(' '));
    put16(0x0104);
    put32(276);
    for (u32 v : {u32(m.orders), 0u, u32(m.channels), u32(m.patterns), u32(m.instruments), 1u, 31u, 32u}) put16(v);
    for (u32 i = 0; i < 256; i++) o.push_back(i < m.orders ? u8(i % m.patterns) : 0);
    for (u32 p = 0; p < m.patterns; p++) {
        put32(9);
        o.push_back(0);
        put16(m.rows);
        put16(u32(m.rows) * m.channels * 5);
        for (u32 cell = 0; cell < u32(m.rows) * m.channels; cell++)
            put({u8(1 + cell % 96), u8(1 + cell % m.instruments), 0x40, 0x00, 0x37});
    }
    for (u32 i = 0; i < m.instruments; i++) {
        size_t start = o.size();
        put32(263);
        o.insert(o.end(), 23, u8(0));  // name, type
        put16(m.samples);
        put32(40);
        for (u32 key = 0; key < 96; key++) o.push_back(u8(key % m.samples));
        o.insert(o.end(), 263 - (o.size() - start), u8(0));  // no envelopes
        for (u32 s = 0; s < m.samples; s++) {
            put32(m.sample_bytes);
            put32(0);
            put32(m.sample_bytes);
            put({64, 0, 0x11, 0x80, 0, 0});  // volume .. a forward loop, 16 bits
            o.insert(o.end(), 22, u8(0));
        }
        for (u32 s = 0; s < m.samples; s++)
            for (u32 b = 0; b < m.sample_bytes / 2; b++) put16(b % 64 < 32 ? 0x0400 : 0xFC00);
    }
    return o;
}

// The benchmarks share this header without GoogleTest.
#ifdef GTEST_TEST
// A private folder holding a link to the real data, so the files the game keeps beside
// itself (settings.json, volume.json) are the test's alone.
inline std::string private_exe_dir(const char* name) {
    std::string dir = testing::TempDir() + name + "-" + std::to_string(getpid()) + "/";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::create_directory_symlink(std::filesystem::path(VANTOREL_BUILD_DIR) / "data", dir + "data");
    return dir;
}

struct Reset_Before_Each_Test : testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { reset_game_globals(); }
};
// Registered once for the whole test program, whichever test files it holds.
inline const bool reset_before_each_test = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new Reset_Before_Each_Test);
    return true;
}();

// A whole file as bytes (none when it cannot be read).
inline std::vector<u8> read_whole_file(const std::filesystem::path& p) {
    std::string text = read_text(p);
    return std::vector<u8>(text.begin(), text.end());
}

// A headless game whose scene holds nothing, not even the ship.
struct Empty_Scene : testing::Test {
    Headless h;
    void SetUp() override {
        scene_clear(game.scene);
        game.player = 0;
    }
};
#endif
