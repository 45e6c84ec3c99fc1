// Hours of seeded random play compressed into one test, with the world's invariants checked
// after every frame. VANTOREL_SOAK_HOURS (simulated hours) or VANTOREL_SOAK_FRAMES sets the length.
#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "game/particles.h"
#include "game/random.h"
#include "harness.h"

#if defined(__SANITIZE_ADDRESS__)
#define SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_ASAN 1
#endif
#endif
#ifdef SOAK_ASAN
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace fs = std::filesystem;

namespace {

// Why these bounds hold:
// - Asteroids: at most 2 per spawn, one spawn per 2 s at the fastest, and a rock crosses the
//   world bounds within ~40 s at 15 units/s: under 100. Bullets: at most 6 per shot, shots
//   limited by charges (≥ 0.35 s each), gone within ~2 s; boss waves 14 per 4 s, ~10 s alive.
//   Plus the few the soak places itself. 512 leaves room for all of them at once.
// - Particles live at most 3 s; the busiest emitters (bullet trails at 25/s each, steering dust,
//   explosions of 11) stay far below 4096 a 3 s window, which is also the sprite list's cap.
constexpr u32 MAX_LIVE_ENTITIES = 512;
constexpr u32 MAX_PARTICLES = 4096;
// Placed before each frame; a frame that starts by emptying the arena never sees it.
constexpr size_t SCRATCH_SENTINEL = 512 * 1024;

bool finite(Vec2 v) { return std::isfinite(v.x) && std::isfinite(v.y); }

size_t heap_in_use() {
#ifdef SOAK_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// Bytes held by the lists that legitimately keep their high-water capacity.
size_t capacity_bytes(const Renderer_Capture& cap) {
    const Scene& s = game.scene;
    return size_t(s.page_count) * (sizeof(Scene_Slot*) + SCENE_PAGE_SIZE * sizeof(Scene_Slot)) +
           size_t(s.free_capacity) * sizeof(u32) + size_t(s.index_capacity) * 2 * sizeof(u32) +
           size_t(s.to_destroy_capacity) * sizeof(Entity_Id) +
           size_t(particles.capacity) * sizeof(Sprite_Particle) +
           cap.sprites.capacity() * sizeof(Sprite_Instance) + cap.glyphs.capacity() * sizeof(Font_Instance);
}

enum Goal { goal_win, goal_die, goal_wander };

struct Stats {
    u64 frames = 0;
    f64 real_seconds = 0;
    u64 visits[GAME_STATE_COUNT] = {};
    u64 wins = 0, deaths = 0, games = 0, bosses = 0;
    u32 max_entities = 0, max_particles = 0, max_sprites = 0, max_glyphs = 0;
    size_t max_scratch = 0;
};

// Seeded random keys for every screen, with a goal per game that steers the world towards
// a win or a death; the game's own rules make every state change.
struct Driver {
    Headless& h;
    std::mt19937_64 rng;
    Renderer_Capture cap;
    Stats st;
    Goal goal = goal_wander;
    int steer = 0;  // -1 left held, 0 none, 1 right held
    std::vector<int> taps;
    Game_State last_state = main_menu;
    bool failed = false;

    Driver(Headless& hh, u64 seed) : h(hh), rng(seed) { renderer.capture = &cap; }
    ~Driver() { renderer.capture = nullptr; }

    f64 unit() { return std::uniform_real_distribution<f64>(0, 1)(rng); }
    bool chance(f64 p) { return unit() < p; }
    void tap(int key) {
        h.down(key);
        taps.push_back(key);
    }
    void set_steer(int s) {
        if (steer == s) return;
        if (steer < 0) h.up(DK_LEFT);
        if (steer > 0) h.up(DK_RIGHT);
        if (s < 0) h.down(DK_LEFT);
        if (s > 0) h.down(DK_RIGHT);
        steer = s;
    }
    void menu_keys(f64 rate, f64 enter_share) {
        if (!chance(rate)) return;
        f64 u = unit();
        tap(u < enter_share ? DK_ENTER : (u < (1 + enter_share) / 2 ? DK_DOWN : DK_UP));
    }

    void place_asteroid(Vec2 pos, Asteroid_Kind kind) {
        Entity rock;
        rock.pos = pos;
        rock.tags = tag_asteroid;
        rock.collider = make_circle_collider(ASTEROID_RADIUS[kind]);
        rock.variant.kind = variant_asteroid;
        rock.variant.asteroid = {kind, 1};
        scene_spawn_entity(rock);
    }

    void steer_world() {
        Entity* ship = player_entity();
        if (!ship || ship->variant.kind != variant_player) return;
        Player_Entity& p = ship->variant.player;
        switch (goal) {
            case goal_win:
                if (p.num_charges < 1 || !chance(0.05)) return;
                if (stages[game.stage].kind == asteroid_wave) {
                    // One hit short of the next stage, and a rock where the next shot goes.
                    game.score = std::max(game.score, (game.stage + 1) * STAGE_SCORE_STEP - 1);
                    Vec2 ahead = ship->pos + from_angle(ship->rot) * 30;
                    if (std::fabs(ahead.x) < 75 && std::fabs(ahead.y) < 68)
                        place_asteroid(ahead, Asteroid_Kind(std::uniform_int_distribution<int>(0, 3)(rng)));
                    else
                        return;
                } else if (Entity* b = boss_entity()) {
                    if (b->variant.boss.state == waking_up || b->variant.boss.state == dying) return;
                    b->health = std::min(b->health, 2.0f);
                    ship->rot = angle_of(b->pos - ship->pos);
                } else {
                    return;
                }
                tap(DK_X);
                break;
            case goal_die:
                if (chance(0.02)) place_asteroid(ship->pos, large);
                break;
            case goal_wander: break;
        }
    }

    void choose_input() {
        if (game.state != last_state) {
            if (game.state == intro) {
                f64 u = unit();
                goal = u < 0.45 ? goal_win : (u < 0.8 ? goal_die : goal_wander);
                st.games++;
            }
            if (game.state == won) st.wins++;
            if (game.state == game_over) st.deaths++;
            last_state = game.state;
        }
        if (game.state != tutorial && game.state != playing && game.state != intro) set_steer(0);
        switch (game.state) {
            case main_menu: menu_keys(0.05, 0.4); break;
            case credits:
                if (chance(0.01)) tap(DK_ESCAPE);
                menu_keys(0.03, 0.3);
                break;
            case intro:
                if (chance(0.05)) set_steer(chance(0.5) ? -1 : 1);
                break;
            case tutorial:
            case playing:
                if (chance(0.04)) set_steer(int(std::uniform_int_distribution<int>(-1, 1)(rng)));
                if (chance(0.02)) tap(DK_X);
                if (chance(0.008)) tap(DK_Z);
                if (chance(goal == goal_wander ? 0.004 : 0.0008)) tap(DK_ESCAPE);
                steer_world();
                break;
            case paused:
                if (goal == goal_wander && chance(0.02)) {
                    tap(DK_DOWN);  // towards Main Menu, chosen a later frame
                } else if (chance(0.03)) {
                    tap(chance(0.5) ? DK_ESCAPE : DK_ENTER);
                }
                break;
            case pick_upgrade: menu_keys(0.05, 0.4); break;
            case game_over:
            case won: menu_keys(0.03, 0.6); break;
        }
        if (chance(0.0005)) tap(DK_F11);
        // Keys the game does not use, auto-repeats and mouse buttons must change nothing harmful.
        if (chance(0.002)) {
            int key = std::uniform_int_distribution<int>(0, 348)(rng);
            _sapp_event(Input_Event{event_key_down, key, chance(0.5), mouse_button_other});
            _sapp_event(Input_Event{event_key_up, key, false, mouse_button_other});
        }
        if (chance(0.001)) {
            _sapp_event(Input_Event{event_mouse_down, 0, false, mouse_button_left});
            _sapp_event(Input_Event{event_mouse_up, 0, false, mouse_button_left});
        }
    }

    f64 frame_duration() {
        f64 u = unit();
        if (u < 0.80) return 1.0 / 60;
        if (u < 0.90) return 1.0 / 144;
        if (u < 0.95) return 1.0 / 30;
        if (u < 0.99) return unit() * 0.1;
        return 0.5;  // a hitch: clamped by the game
    }

    // Returns false at the first broken invariant (reported through gtest).
    bool check_frame() {
        u64 f = st.frames;
        EXPECT_LT(int(game.state), GAME_STATE_COUNT) << "frame " << f;
        if (int(game.state) >= GAME_STATE_COUNT) return false;
        st.visits[game.state]++;
        size_t used = scratch_used();
        EXPECT_LT(used, SCRATCH_SENTINEL) << "scratch not emptied at the start of frame " << f;
        st.max_scratch = std::max(st.max_scratch, used);

        bool ok = used < SCRATCH_SENTINEL;
        u32 live = 0;
        scene_for_each(game.scene, [&](Entity_Ref r) {
            const Entity& e = *r.entity;
            if (!(e.tags & tag_destroyed)) live++;
            if (!finite(e.pos) || !finite(e.vel) || !std::isfinite(e.rot) || !std::isfinite(e.health)) {
                ADD_FAILURE() << "entity " << r.id << " kind " << int(e.variant.kind) << " not finite at frame "
                              << f << ": pos " << e.pos.x << "," << e.pos.y << " vel " << e.vel.x << ","
                              << e.vel.y;
                ok = false;
            }
        });
        EXPECT_EQ(live, scene_entity_count(game.scene)) << "frame " << f;
        EXPECT_LE(live, MAX_LIVE_ENTITIES) << "frame " << f;
        EXPECT_LE(particles.count, MAX_PARTICLES) << "frame " << f;
        EXPECT_LE(particles.count, particles.capacity);
        for (u32 i = 0; i < particles.count; i++) {
            const Sprite_Particle& p = particles.items[i];
            if (!finite(p.pos) || !finite(p.vel)) {
                ADD_FAILURE() << "particle " << i << " not finite at frame " << f;
                ok = false;
                break;
            }
        }
        if (!finite(game.camera.view.pos)) {
            ADD_FAILURE() << "camera not finite at frame " << f;
            ok = false;
        }
        EXPECT_LE(cap.sprites.size(), size_t(MAX_WORLD_SPRITES)) << "frame " << f;
        EXPECT_LE(cap.glyphs.size(), size_t(MAX_GLYPHS)) << "frame " << f;
        ok = ok && live <= MAX_LIVE_ENTITIES && particles.count <= MAX_PARTICLES &&
             cap.sprites.size() <= MAX_WORLD_SPRITES && cap.glyphs.size() <= MAX_GLYPHS;
        st.max_entities = std::max(st.max_entities, live);
        st.max_particles = std::max(st.max_particles, particles.count);
        st.max_sprites = std::max(st.max_sprites, u32(cap.sprites.size()));
        st.max_glyphs = std::max(st.max_glyphs, u32(cap.glyphs.size()));
        if (stages[game.stage].kind == boss_fight && boss_entity()) st.bosses++;
        return ok;
    }

    bool step() {
        choose_input();
        // Anything left in the arena from before the frame must be gone after it.
        scratch_alloc(SCRATCH_SENTINEL, 1);
        h.frame(frame_duration());
        for (int k : taps) h.up(k);
        taps.clear();
        st.frames++;
        st.real_seconds += last_time_step.real;
        return check_frame();
    }
};

u64 soak_frames() {
    if (const char* f = std::getenv("VANTOREL_SOAK_FRAMES")) return std::strtoull(f, nullptr, 10);
    // Frames average ~1/55 s of simulated time with the durations drawn above.
    if (const char* hrs = std::getenv("VANTOREL_SOAK_HOURS")) return u64(std::atof(hrs) * 3600 * 55);
#ifdef SOAK_ASAN
    return 5'000'000;
#else
    return 12'000'000;
#endif
}

}  // namespace

TEST(Soak, HoursOfRandomPlayKeepEveryInvariant) {
    const u64 total = soak_frames();
    const u64 warm_up = std::max<u64>(total / 10, 1);
    std::string dir = private_exe_dir("vantorel-soak");
    auto t0 = std::chrono::steady_clock::now();
    Stats st;
    size_t heap_warm = 0, cap_warm = 0, heap_end = 0, cap_end = 0;
    {
        // The music decoders open and close on the mixer's clock, which the soak outruns a
        // thousandfold, so what they hold at any moment is not the game's to bound (their number
        // is, and the audio tests check it). Without a device the game's own heap is measured.
        std::string audio_driver = std::getenv("SDL_AUDIODRIVER") ? std::getenv("SDL_AUDIODRIVER") : "";
        setenv("SDL_AUDIODRIVER", "none", 1);
        Headless h(dir);
        if (audio_driver.empty()) unsetenv("SDL_AUDIODRIVER");
        else setenv("SDL_AUDIODRIVER", audio_driver.c_str(), 1);
        random_seed(0x5eed);
        Driver d(h, 20261208);
        for (u64 i = 0; i < total; i++) {
            if (!d.step()) break;
            if (i + 1 == warm_up) {
                heap_warm = heap_in_use();
                cap_warm = capacity_bytes(d.cap);
            }
        }
        heap_end = heap_in_use();
        cap_end = capacity_bytes(d.cap);
        st = d.st;
    }
    f64 secs = std::chrono::duration<f64>(std::chrono::steady_clock::now() - t0).count();
    std::printf("soak: %llu frames, %.2f simulated hours in %.1f s; %llu games, %llu wins, %llu deaths\n",
                (unsigned long long)st.frames, st.real_seconds / 3600, secs, (unsigned long long)st.games,
                (unsigned long long)st.wins, (unsigned long long)st.deaths);
    std::printf("soak: peaks %u entities, %u particles, %u sprites, %u glyphs, %zu scratch bytes; "
                "heap %zu -> %zu bytes, kept capacity %zu -> %zu bytes\n",
                st.max_entities, st.max_particles, st.max_sprites, st.max_glyphs, st.max_scratch, heap_warm,
                heap_end, cap_warm, cap_end);
    ASSERT_EQ(st.frames, total) << "stopped at the first broken invariant";

    for (int s = 0; s < GAME_STATE_COUNT; s++) EXPECT_GT(st.visits[s], 0u) << "state " << s << " never reached";
    EXPECT_GT(st.wins, 0u);
    EXPECT_GT(st.deaths, 0u);
    EXPECT_GT(st.max_sprites, 0u) << "the pack did not load";
    EXPECT_GT(st.max_glyphs, 0u) << "the font did not load";
    // Growth after warm-up is only allowed where a list grew to a new high-water mark;
    // 64 KiB covers the allocator's own bookkeeping.
    if (heap_end > heap_warm) {
        EXPECT_LE(heap_end - heap_warm, (cap_end - std::min(cap_end, cap_warm)) + 64 * 1024);
    }
    std::error_code ec;
    EXPECT_EQ(fs::file_size(dir + "settings.json", ec), 97u) << ec.message();
    fs::remove_all(dir);
}

// A fixed session through all nine states, short enough to run under valgrind.
TEST(Soak, OneScriptedSessionVisitsEveryState) {
    std::string dir = private_exe_dir("vantorel-session");
    Stats st;
    {
        Headless h(dir);
        random_seed(7);
        Driver d(h, 7);
        for (u64 i = 0; i < 200'000; i++) {
            if (!d.step()) break;
            bool all = d.st.wins > 0 && d.st.deaths > 0;
            for (u64 v : d.st.visits) all = all && v > 0;
            if (all) break;
        }
        st = d.st;
    }
    std::printf("session: %llu frames, %.1f simulated minutes\n", (unsigned long long)st.frames,
                st.real_seconds / 60);
    for (int s = 0; s < GAME_STATE_COUNT; s++) EXPECT_GT(st.visits[s], 0u) << "state " << s << " never reached";
    EXPECT_GT(st.wins, 0u);
    EXPECT_GT(st.deaths, 0u);
    std::error_code ec;
    EXPECT_EQ(fs::file_size(dir + "settings.json", ec), 97u) << ec.message();
    fs::remove_all(dir);
}
