// Drives the real callbacks headlessly: chosen frame durations, chosen key events.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "game/asteroid.h"
#include "game/game.h"
#include "game/main.h"
#include "game/input.h"
#include "game/projectile.h"
#include "game/renderer.h"
#include "game/scene.h"
#include "game/stage.h"
#include "game/ui.h"
#include "game/world.h"
#include "platform/platform.h"

// Desktop key numbers as the window layer delivers them.
enum Desktop_Key : int {
    DK_SPACE = 32, DK_X = 88, DK_Z = 90, DK_ESCAPE = 256, DK_ENTER = 257, DK_RIGHT = 262, DK_LEFT = 263,
    DK_DOWN = 264, DK_UP = 265, DK_F11 = 300
};

struct Headless {
    // exe_dir: where the game looks for data/ and writes settings.json ("" = build dir).
    explicit Headless(const std::string& exe_dir = "", int w = 640, int h = 576) {
        platform_headless_begin(w, h);
        if (!exe_dir.empty()) platform_headless_set_exe_dir(exe_dir.c_str());
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
