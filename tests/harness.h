// Drives the real callbacks headlessly: chosen frame durations, chosen key events.
#pragma once
#include <fcntl.h>
#include <unistd.h>

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
#include "game/game.h"
#include "game/main.h"
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
