// CPU cost of one frame (world step, drawing into the lists, headless flush) in
// typical and extreme scenes, with a count of heap allocations per frame.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>

#include "../harness.h"
#include "game/random.h"

// Every malloc-family call in the process is counted.
static std::atomic<u64> heap_allocations{0};
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* malloc(size_t n) {
    heap_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
extern "C" void* calloc(size_t a, size_t b) {
    heap_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(a, b);
}
extern "C" void* realloc(void* p, size_t n) {
    heap_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}

namespace {
Entity rock(Vec2 pos, Vec2 vel, Asteroid_Kind kind) {
    Entity e;
    e.pos = pos;
    e.vel = vel;
    e.tags = tag_asteroid;
    e.collider = make_circle_collider(kind == large ? 16.0f : 10.0f);
    e.variant.kind = variant_asteroid;
    e.variant.asteroid = {kind, 1.5f};
    return e;
}
void keep_ship_alive() {
    if (Entity* p = player_entity()) {
        p->variant.player.health = 5;
        p->variant.player.time_since_damage = 0;
        p->pos = {0, -60};
    }
}

// The scene is rebuilt whenever play has thinned it out, outside the timed region.
void stage3_scene() {
    scene_clear(game.scene);
    _particle_system_reset();
    game_reset();
    game.stage = 2;
    game.asteroid_spawn_timer = 1e9f;
    for (int i = 0; i < 12; i++)
        scene_spawn_entity(rock({-70.0f + 12 * i, 40.0f - 5 * (i % 4)}, {3, -2}, Asteroid_Kind(i % 4)));
    for (int i = 0; i < 10; i++) scene_spawn_entity(make_projectile({-60.0f + 12 * i, -30}, {0, 1}, player_bullet));
    for (int i = 0; i < 200; i++) {
        Sprite_Particle p;
        p.pos = random_vec2() * 70;
        p.size = {2, 2};
        p.duration = 1e6f;
        p.sprite = sprites[sprite_solid];
        spawn_sprite_particle(p);
    }
}

void boss_scene() {
    scene_clear(game.scene);
    _particle_system_reset();
    game_reset();
    game_start_stage(5);
    for (int i = 0; i < 40; i++) {
        Vec2 d = from_angle(f32(i) * 0.157f);
        scene_spawn_entity(make_projectile(d * (20 + f32(i)), d * 0.5f, boss_bullet));
    }
}

void run_frames(benchmark::State& state, Game_State mode, void (*build)(), u32 min_entities) {
    Headless h;
    game_set_state(mode);
    if (build) build();
    for (int i = 0; i < 120; i++) {  // warm-up: lists and arenas reach their size
        keep_ship_alive();
        h.frame();
    }
    u64 allocations = 0, frames = 0;
    for (auto _ : state) {
        if (build && scene_entity_count(game.scene) < min_entities) {
            state.PauseTiming();
            build();
            for (int i = 0; i < 5; i++) h.frame();
            state.ResumeTiming();
        }
        keep_ship_alive();
        game_set_state(mode);
        u64 before = heap_allocations.load();
        h.frame();
        allocations += heap_allocations.load() - before;
        frames++;
    }
    state.counters["allocs_per_frame"] = frames ? double(allocations) / double(frames) : 0;
    state.counters["sprites"] = renderer.last_sprite_upload;
}
}  // namespace

static void BM_MainMenu(benchmark::State& state) { run_frames(state, main_menu, nullptr, 0); }
static void BM_Stage3(benchmark::State& state) { run_frames(state, playing, stage3_scene, 15); }
static void BM_BossFight(benchmark::State& state) { run_frames(state, playing, boss_scene, 20); }

static void BM_StressFullSpriteList(benchmark::State& state) {
    Headless h;
    game_set_state(paused);  // the world is drawn but not stepped
    scene_clear(game.scene);
    game.player = 0;
    for (int i = 0; i < 2500; i++)
        scene_spawn_entity(rock(random_vec2() * 80, {}, Asteroid_Kind(i % 4)));
    for (int i = 0; i < 2000; i++) {
        Sprite_Particle p;
        p.pos = random_vec2() * 80;
        p.size = {1, 1};
        p.duration = 1e6f;
        p.sprite = sprites[sprite_solid];
        spawn_sprite_particle(p);
    }
    for (int i = 0; i < 30; i++) h.frame();
    u64 allocations = 0, frames = 0;
    for (auto _ : state) {
        u64 before = heap_allocations.load();
        h.frame();
        allocations += heap_allocations.load() - before;
        frames++;
    }
    state.counters["allocs_per_frame"] = frames ? double(allocations) / double(frames) : 0;
    state.counters["sprites"] = renderer.last_sprite_upload;
}

BENCHMARK(BM_MainMenu);
BENCHMARK(BM_Stage3);
BENCHMARK(BM_BossFight);
BENCHMARK(BM_StressFullSpriteList);
BENCHMARK_MAIN();
