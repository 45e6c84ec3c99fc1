#include "pickup.h"

#include <cmath>

#include "audio.h"
#include "game.h"
#include "particles.h"
#include "random.h"
#include "scene.h"

namespace {
constexpr f32 PICKUP_INTERVAL_MIN = 14;    // seconds
constexpr f32 PICKUP_INTERVAL_SPREAD = 10; // seconds
// Pickups appear anywhere on the picture, world units.
constexpr Vec2 PICKUP_AREA_HALF = {VIEW_W / 2, VIEW_H / 2};
}  // namespace

Entity make_pickup(Vec2 pos) {
    Entity e;
    e.pos = pos;
    e.variant.kind = variant_pickup;
    e.variant.pickup = {0, PICKUP_LIFETIME};
    return e;
}

void pickup_update(Entity_Ref ref, Time_Step ts) {
    Entity& e = *ref.entity;
    Pickup_Entity& pk = e.variant.pickup;
    pk.timer += ts.sim;
    if (pk.timer > pk.duration) {
        scene_destroy_entity(ref.id);
        return;
    }
    auto player = scene_get_entity(game.player);
    if (!player || length(player->entity->pos - e.pos) >= PICKUP_REACH) return;
    if (player->entity->variant.kind == variant_player) player->entity->variant.player.health += PICKUP_HEAL;
    audio_play(player_heal);
    scene_destroy_entity(ref.id);
    spawn_sprite_particle(make_dot_particle(e.pos, {}, PI / 4, 8, 0, PALETTE[1], 0.5f));
}

void pickup_draw(const Entity& e) {
    const Pickup_Entity& pk = e.variant.pickup;
    f32 life = pk.duration > 0 ? 2 * pk.timer / pk.duration - 1 : 1;
    f32 grow = 1 - std::pow(std::fabs(life), 4.0f);
    f32 p = grow * (PULSE_SCALE + PULSE_DEPTH * std::sin(PICKUP_PULSE_RATE * pk.timer));
    draw_world_sprite(e.pos, {p, p}, 0, WHITE, sprites[sprite_pickup], DEPTH_DEFAULT);
}

void pickup_spawner_update(f32 dt) {
    game.pickup_spawn_timer -= dt;
    if (!(game.pickup_spawn_timer < 0)) return;
    game.pickup_spawn_timer = PICKUP_INTERVAL_MIN + PICKUP_INTERVAL_SPREAD * random_unit();
    Vec2 r = random_vec2();
    scene_spawn_entity(make_pickup({r.x * PICKUP_AREA_HALF.x, r.y * PICKUP_AREA_HALF.y}));
}
