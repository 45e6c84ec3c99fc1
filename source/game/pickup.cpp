#include "game.h"
#include "physics.h"

constexpr f32 PICKUP_REACH = 16;  // world units, strictly closer collects

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
    if (player->entity->variant.kind == variant_player) player->entity->variant.player.health += 1;
    audio_play(player_heal);
    scene_destroy_entity(ref.id);
    spawn_sprite_particle(make_dot_particle(e.pos, {}, PI / 4, 8, 0, PALETTE[1], 0.5f));
}
