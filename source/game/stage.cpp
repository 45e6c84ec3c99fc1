#include <cmath>

#include "asteroid.h"
#include "boss.h"
#include "game.h"
#include "pickup.h"
#include "player.h"
#include "random.h"
#include "stage.h"

namespace {
constexpr Asteroid_Kind STAGE_1_KINDS[] = {small, large};
constexpr Asteroid_Kind STAGE_2_KINDS[] = {small, large, large, bomb};
constexpr Asteroid_Kind STAGE_3_KINDS[] = {small, large, large, bomb, chaser};
constexpr Asteroid_Kind LATE_KINDS[] = {small, large, bomb, chaser};

// Groups fly in from the border of a rectangle twice the picture's size: half-extents, world units.
constexpr Vec2 SPAWN_BORDER = {VIEW_W, VIEW_H};
constexpr int GROUP_MIN = 1;          // asteroids in a group, the smallest
constexpr int GROUP_SIZES = 2;        // how many group sizes are possible, equally likely
constexpr f32 GROUP_SPREAD = 10;      // world units of scatter per asteroid of the group
constexpr f32 AIM_JITTER = 0.2f;      // random deviation from heading straight at the middle
constexpr f32 SPEED_JITTER_MIN = 0.95f;  // speed factor, the lowest
constexpr f32 SPEED_JITTER = 0.1f;       // speed factor spread above the lowest
constexpr f32 SPIN_MIN = 1;           // radians per second; the spin reaches up to twice this

constexpr f32 FIRST_PICKUP_DELAY = 15;     // seconds
constexpr f32 PICKUP_INTERVAL_MIN = 14;    // seconds
constexpr f32 PICKUP_INTERVAL_SPREAD = 10; // seconds
// Pickups appear anywhere on the picture, world units.
constexpr Vec2 PICKUP_AREA_HALF = {VIEW_W / 2, VIEW_H / 2};
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
    game.player = scene_spawn_entity(make_player());
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
    scene_spawn_entity(make_boss());
}

static i64 _random_stat(u64 r) { return i64(r % PLAYER_STAT_COUNT); }

void game_on_asteroid_hit(Entity_Id source) {
    if (source == game.player) return;
    game.score += 1;
    if (game.score < (game.stage + 1) * STAGE_SCORE_STEP) return;
    game_start_stage(game.stage + 1);
    audio_play(new_stage);
    i64 a = _random_stat(random_u64());
    i64 b = _random_stat(random_u64());
    if (b == a) b = (b + 1) % PLAYER_STAT_COUNT;
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
    Vec2 s = {r.x * SPAWN_BORDER.x, r.y * SPAWN_BORDER.y};
    if (std::fabs(s.x) > std::fabs(s.y))
        s.x = s.x > 0 ? SPAWN_BORDER.x : -SPAWN_BORDER.x;
    else
        s.y = s.y > 0 ? SPAWN_BORDER.y : -SPAWN_BORDER.y;

    int n = int(GROUP_SIZES * random_unit() + GROUP_MIN);
    for (int i = 0; i < n; i++) {
        Asteroid_Kind kind = small;
        if (st.asteroid_kind_count > 0) kind = st.asteroid_kinds[random_below(st.asteroid_kind_count)];
        f32 speed = st.asteroid_speed * ASTEROID_SPEED_FACTOR[kind];
        Vec2 pos = s + random_vec2() * (f32(n) * GROUP_SPREAD);
        Vec2 d0 = normalize(s);
        Vec2 d = normalize(random_vec2() * AIM_JITTER - d0);
        Vec2 vel = d * (speed * (SPEED_JITTER_MIN + SPEED_JITTER * random_unit()));
        f32 u1 = random_unit(), u2 = random_unit();
        scene_spawn_entity(make_asteroid(pos, vel, kind, (SPIN_MIN + u1) * (u2 > 0.5f ? 1.0f : -1.0f)));
    }
}

void pickup_spawner_update(f32 dt) {
    game.pickup_spawn_timer -= dt;
    if (!(game.pickup_spawn_timer < 0)) return;
    game.pickup_spawn_timer = PICKUP_INTERVAL_MIN + PICKUP_INTERVAL_SPREAD * random_unit();
    Vec2 r = random_vec2();
    scene_spawn_entity(make_pickup({r.x * PICKUP_AREA_HALF.x, r.y * PICKUP_AREA_HALF.y}));
}
