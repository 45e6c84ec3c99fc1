#include "asteroid.h"

#include <cmath>

#include "audio.h"
#include "camera.h"
#include "game.h"
#include "particles.h"
#include "physics.h"
#include "random.h"
#include "scene.h"
#include "stage.h"
#include "world.h"

namespace {
constexpr f32 BOMB_SHAKE_TIME = 0.25f;    // seconds
constexpr f32 BOMB_SHAKE_AMPLITUDE = 10;  // world units
constexpr f32 BOMB_SHAKE_FREQUENCY = 9;

// Groups fly in from the border of a rectangle twice the picture's size: half-extents, world units.
constexpr Vec2 SPAWN_BORDER = {VIEW_W, VIEW_H};
constexpr int GROUP_MIN = 1;          // asteroids in a group, the smallest
constexpr int GROUP_SIZES = 2;        // how many group sizes are possible, equally likely
constexpr f32 GROUP_SPREAD = 10;      // world units of scatter per asteroid of the group
constexpr f32 AIM_JITTER = 0.2f;      // random deviation from heading straight at the middle
constexpr f32 SPEED_JITTER_MIN = 0.95f;  // speed factor, the lowest
constexpr f32 SPEED_JITTER = 0.1f;       // speed factor spread above the lowest
constexpr f32 SPIN_MIN = 1;           // radians per second; the spin reaches up to twice this

f32 _r() { return random_unit(); }

// Rocks turn smoothly but are drawn in 15-degree steps.
f32 _round_to_15_degrees(f32 rot) {
    f32 step = 15.0f * PI / 180.0f;
    return std::round(rot / step) * step;  // halves away from zero
}

void _debris(Vec2 pos, f32 spread) {
    for (int i = 0; i < 6; i++) {
        Vec2 offset = Vec2{2 * _r() - 1, 2 * _r() - 1} * spread;
        f32 speed = 5 * _r();
        f32 s = 1 + _r();
        f32 life = 0.3f + 0.7f * _r();
        spawn_sprite_particle(make_dot_particle(pos + offset, normalize(offset) * speed, PI / 4, s, 1, WHITE, life));
    }
}

void _explode(Entity_Ref ref) {
    Vec2 pos = ref.entity->pos;
    spawn_sprite_particle(make_dot_particle(pos, {}, PI / 4, 20, 0, WHITE, 0.2f));
    for (int i = 0; i < 10; i++) {
        Vec2 d = normalize({2 * _r() - 1, 2 * _r() - 1});
        f32 dist = std::pow(_r(), 0.25f) * BOMB_RADIUS;
        f32 s = 1 + _r();
        spawn_sprite_particle(make_dot_particle(pos + d * dist, {}, 0, s, 0.5f, WHITE, 0.5f + 2.5f * _r()));
    }
    // Destroyed first, so a chain of bombs never finds this one again.
    scene_destroy_entity(ref.id);
    Entity_Ref_List hits = circle_query_overlapped_entities(pos, BOMB_RADIUS, ref.id);
    for (u32 i = 0; i < hits.count; i++) {
        // A bomb earlier in this loop may already have destroyed it; a second hit would score twice.
        if (hits.items[i].entity->tags & tag_destroyed) continue;
        Damage_Info info;
        info.amount = 1;
        info.source = ref.id;
        info.pos = pos;
        info.dir = normalize(hits.items[i].entity->pos - pos);
        entity_damage(hits.items[i], info);
    }
    camera_shake(game.camera, BOMB_SHAKE_TIME, {BOMB_SHAKE_AMPLITUDE, BOMB_SHAKE_AMPLITUDE},
                 BOMB_SHAKE_FREQUENCY);
    audio_play(bomb_explode);
}
}  // namespace

Entity make_asteroid(Vec2 pos, Vec2 vel, Asteroid_Kind kind, f32 angular_vel) {
    Entity e;
    e.pos = pos;
    e.vel = vel;
    e.tags = tag_asteroid;
    e.collider = make_circle_collider(ASTEROID_RADIUS[kind]);
    e.variant.kind = variant_asteroid;
    e.variant.asteroid = {kind, angular_vel};
    return e;
}

void asteroid_update(Entity_Ref ref, Time_Step ts) {
    Entity& e = *ref.entity;
    Asteroid_Entity& a = e.variant.asteroid;
    f32 dt = ts.sim;
    e.pos += e.vel * dt;
    switch (a.kind) {
        case small:
        case large: e.rot += a.angular_vel * dt; break;
        case bomb: break;
        case chaser: e.rot = angle_of(e.vel); break;
    }
    if (auto player = scene_get_entity(game.player)) {
        Vec2 ppos = player->entity->pos;
        if (a.kind == chaser) {
            Vec2 t = normalize(ppos - e.pos);
            f32 k = std::exp(-CHASER_RESPONSE * dt);
            f32 s = length(e.vel);
            e.vel = normalize(e.vel * k + t * (1 - k)) * s;
        }
        // A rock already destroyed this step (shot, blasted) is still visited but is gone.
        if (!(e.tags & tag_destroyed) && circle_overlaps_entity(ppos, CONTACT_RADIUS, e)) {
            Damage_Info to_ship;
            to_ship.amount = 1;
            to_ship.source = ref.id;
            to_ship.pos = e.pos;
            to_ship.dir = normalize(ppos - e.pos);
            if (entity_damage(*player, to_ship)) {
                Damage_Info to_rock;
                to_rock.amount = 1;
                to_rock.source = game.player;
                to_rock.pos = ppos;
                entity_damage(ref, to_rock);
            }
        }
    }
    world_bounds_check(ref);
}

bool asteroid_damage(Entity_Ref ref, const Damage_Info& info) {
    Entity& e = *ref.entity;
    if (info.source != game.player) {
        game_on_asteroid_hit(info.source);
        Sprite_Particle pop = make_dot_particle(e.pos, {0, 20}, 0, 0.5f, 0.5f, WHITE, 0.65f);
        pop.sprite = sprites[sprite_popup];
        spawn_sprite_particle(pop);
    }
    switch (e.variant.asteroid.kind) {
        case small:
        case large:
            _debris(e.pos, DEBRIS_SPREAD[e.variant.asteroid.kind]);
            audio_play(asteroid_destroyed);
            break;
        case chaser:
            spawn_sprite_particle(make_dot_particle(e.pos, {}, PI / 4, 10, 0, WHITE, 0.2f));
            audio_play(asteroid_destroyed);
            break;
        case bomb: _explode(ref); break;
    }
    scene_destroy_entity(ref.id);
    return false;
}

void asteroid_draw(const Entity& e) {
    static constexpr u8 SLOT[ASTEROID_KIND_COUNT] = {sprite_small_asteroid, sprite_large_asteroid, sprite_bomb,
                                                     sprite_chaser_asteroid};
    draw_world_sprite(e.pos, SPRITE_NATIVE_SCALE, _round_to_15_degrees(e.rot), WHITE,
                      sprites[SLOT[e.variant.asteroid.kind & 3]], DEPTH_DEFAULT);
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
