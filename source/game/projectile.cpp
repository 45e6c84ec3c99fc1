#include "projectile.h"

#include <cmath>

#include "game.h"
#include "particles.h"
#include "physics.h"
#include "scene.h"
#include "world.h"

namespace {
constexpr Color TRAIL_COLOR = PALETTE[1];
}  // namespace

Entity make_projectile(Vec2 pos, Vec2 vel, Projectile_Kind kind) {
    Entity e;
    e.pos = pos;
    e.vel = vel;
    e.tags = tag_projectile;
    e.variant.kind = variant_projectile;
    e.variant.projectile = {kind, {}};
    return e;
}

void projectile_update(Entity_Ref ref, Time_Step ts) {
    Entity& e = *ref.entity;
    Projectile_Entity& pr = e.variant.projectile;
    f32 dt = ts.sim;
    u8 ignore = 0;
    switch (pr.kind) {
        case player_bullet:
            ignore = tag_player | tag_projectile;
            // One trail particle a frame at most; the rest of the count is dropped.
            if (emitter_update(pr.emit, TRAIL_RATE, dt) >= 1)
                spawn_sprite_particle(make_dot_particle(e.pos, {}, PI / 4, 3, 0, TRAIL_COLOR, 0.3f));
            break;
        case boss_bullet: ignore = tag_boss | tag_projectile; break;
    }

    Vec2 u = normalize(e.vel);
    Cast_Result hit = scene_box_cast(e.pos, BULLET_CAST_HALF, u, dt * length(e.vel), ignore, ref.id);
    if (!hit.hit) {
        e.pos += e.vel * dt;
    } else {
        e.pos += u * hit.dist;
        if (hit.what.kind == hit_entity) {
            if (auto target = scene_get_entity(hit.what.entity)) {
                Damage_Info info;
                info.amount = 1;
                info.source = ref.id;
                info.pos = e.pos;
                info.dir = u;
                entity_damage(*target, info);
            }
        }
        spawn_sprite_particle(make_dot_particle(e.pos, {}, PI / 4, 8, 0, WHITE, 0.2f));
        scene_destroy_entity(ref.id);
    }
    world_bounds_check(ref);
}

void projectile_draw(const Entity& e) {
    switch (e.variant.projectile.kind) {
        case player_bullet:
            draw_world_sprite(e.pos, SPRITE_NATIVE_SCALE, angle_of(e.vel) - PI / 2, WHITE,
                              sprites[sprite_player_bullet], DEPTH_DEFAULT);
            break;
        case boss_bullet: {
            f32 p = PULSE_SCALE + PULSE_DEPTH * std::sin(BOSS_BULLET_PULSE_RATE * game.time);
            draw_world_sprite(e.pos, {p, p}, 0, WHITE, sprites[sprite_boss_bullet], DEPTH_DEFAULT);
            break;
        }
    }
}
