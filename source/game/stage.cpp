#include <cmath>

#include "game.h"
#include "physics.h"
#include "random.h"
#include "stage.h"

namespace {
constexpr Asteroid_Kind STAGE_1_KINDS[] = {small, large};
constexpr Asteroid_Kind STAGE_2_KINDS[] = {small, large, large, bomb};
constexpr Asteroid_Kind STAGE_3_KINDS[] = {small, large, large, bomb, chaser};
constexpr Asteroid_Kind LATE_KINDS[] = {small, large, bomb, chaser};

constexpr f32 ASTEROID_RADIUS[4] = {10, 16, 10, 7};  // by Asteroid_Kind, world units
constexpr f32 CHASER_SPEED_FACTOR = 1.5f;
constexpr f32 FIRST_PICKUP_DELAY = 15;  // seconds
constexpr f32 PICKUP_LIFETIME = 7.5f;   // seconds
}  // namespace

const Stage stages[STAGE_COUNT] = {
    {asteroid_wave, STAGE_1_KINDS, 2, 2, 5, 15},
    {asteroid_wave, STAGE_2_KINDS, 4, 2, 4, 16},
    {asteroid_wave, STAGE_3_KINDS, 5, 2, 3, 17},
    {asteroid_wave, LATE_KINDS, 4, 2, 3, 17},
    {asteroid_wave, LATE_KINDS, 4, 2, 3, 17},
    {boss_fight, nullptr, 0, 0, 0, 0},
};

const char* const upgrade_labels[PLAYER_STAT_COUNT] = {
    "Faster charging", "Faster boost", "Better Steering",
    "More Bullets per shot", "Faster bullets", "Energy Capacity",
};

void game_reset() {
    game.score = 0;
    game.time_scale = 1.0f;
    game.camera = Camera_Effects{};
    game.pickup_spawn_timer = FIRST_PICKUP_DELAY;
    Entity ship;
    ship.tags = tag_player;
    ship.collider = make_circle_collider(3);
    ship.variant.kind = variant_player;
    Player_Entity& p = ship.variant.player;
    p = Player_Entity{};
    p.health = 5;
    p.stat_levels[max_charges] = 1;
    p.input.buffered[0] = p.input.buffered[1] = 1e11f;
    game.player = scene_spawn_entity(ship);
    game_start_stage(0);
}

void game_start_stage(i32 index) {
    if (index < 0) index = 0;
    if (index > STAGE_COUNT - 1) index = STAGE_COUNT - 1;
    game.stage = index;
    switch (stages[index].kind) {
        case asteroid_wave: return;
        case boss_fight: break;
    }
    scene_for_each(game.scene, [](Entity_Ref ref) {
        if (ref.entity->tags & tag_asteroid) scene_destroy_entity(ref.id);
    });
    Entity boss;
    boss.tags = tag_boss;
    boss.health = 20;
    boss.collider = make_circle_collider(16);
    boss.variant.kind = variant_boss;
    Boss_Entity& b = boss.variant.boss;
    b = Boss_Entity{};
    b.state = waking_up;
    b.should_move_timer = 1000;
    b.animator = Animator{boss_idle, 0, 0};
    scene_spawn_entity(boss);
}

static i64 _mod6(u64 r) { return i64(r % 6); }

void game_on_asteroid_hit(Entity_Id source) {
    if (source == game.player) return;
    game.score += 1;
    if (game.score < (game.stage + 1) * STAGE_SCORE_STEP) return;
    game_start_stage(game.stage + 1);
    audio_play(new_stage);
    i64 a = _mod6(random_u64());
    i64 b = _mod6(random_u64());
    if (b == a) b = (b + 1) % 6;
    game.upgrade_choices[0] = Player_Stat(a);
    game.upgrade_choices[1] = Player_Stat(b);
    game_set_state(pick_upgrade);
    audio_play(new_stage);
}

void asteroid_spawner_update(f32 dt) {
    if (game.state != playing) return;
    game.asteroid_spawn_timer -= dt;
    if (!(game.asteroid_spawn_timer < 0)) return;
    const Stage& st = stages[game.stage];
    switch (st.kind) {
        case asteroid_wave: break;
        case boss_fight: return;
    }
    game.asteroid_spawn_timer =
        st.spawn_interval_min + random_unit() * (st.spawn_interval_max - st.spawn_interval_min);

    Vec2 r = random_vec2();
    Vec2 s = {r.x * 160, r.y * 144};
    if (std::fabs(s.x) > std::fabs(s.y))
        s.x = s.x > 0 ? 160.0f : -160.0f;
    else
        s.y = s.y > 0 ? 144.0f : -144.0f;

    int n = int(2 * random_unit() + 1);
    for (int i = 0; i < n; i++) {
        Asteroid_Kind kind = small;
        if (st.asteroid_kind_count > 0) kind = st.asteroid_kinds[random_below(st.asteroid_kind_count)];
        f32 speed = st.asteroid_speed * (kind == chaser ? CHASER_SPEED_FACTOR : 1.0f);
        Vec2 pos = s + random_vec2() * (f32(n) * 10);
        Vec2 d0 = normalize(s);
        Vec2 d = normalize(random_vec2() * 0.2f - d0);
        Vec2 vel = d * (speed * (0.95f + 0.1f * random_unit()));
        Entity e;
        e.pos = pos;
        e.vel = vel;
        e.tags = tag_asteroid;
        e.collider = make_circle_collider(ASTEROID_RADIUS[kind]);
        e.variant.kind = variant_asteroid;
        f32 u1 = random_unit(), u2 = random_unit();
        e.variant.asteroid = {kind, (1 + u1) * (u2 > 0.5f ? 1.0f : -1.0f)};
        scene_spawn_entity(e);
    }
}

void pickup_spawner_update(f32 dt) {
    game.pickup_spawn_timer -= dt;
    if (!(game.pickup_spawn_timer < 0)) return;
    game.pickup_spawn_timer = 14 + 10 * random_unit();
    Vec2 r = random_vec2();
    Entity e;
    e.pos = {r.x * 80, r.y * 72};
    e.variant.kind = variant_pickup;
    e.variant.pickup = {0, PICKUP_LIFETIME};
    scene_spawn_entity(e);
}
