#include "pickup.h"

#include "game.h"

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
