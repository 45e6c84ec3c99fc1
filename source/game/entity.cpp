#include "entity.h"

#include "asteroid.h"
#include "boss.h"
#include "pickup.h"
#include "player.h"
#include "projectile.h"

void entity_update(Entity_Ref ref, Time_Step ts) {
    switch (ref.entity->variant.kind) {
        case variant_player: player_update(ref, ts); break;
        case variant_projectile: projectile_update(ref, ts); break;
        case variant_boss: boss_update(ref, ts); break;
        case variant_asteroid: asteroid_update(ref, ts); break;
        case variant_pickup: pickup_update(ref, ts); break;
        case variant_none: break;
    }
}

void entity_draw(const Entity& e) {
    switch (e.variant.kind) {
        case variant_player: player_draw(e); break;
        case variant_projectile: projectile_draw(e); break;
        case variant_boss: boss_draw(e); break;
        case variant_asteroid: asteroid_draw(e); break;
        case variant_pickup: pickup_draw(e); break;
        case variant_none: break;
    }
}

bool entity_damage(Entity_Ref target, const Damage_Info& info) {
    switch (target.entity->variant.kind) {
        case variant_player: return player_damage(target, info);
        case variant_boss: return boss_damage(target, info);
        case variant_asteroid: return asteroid_damage(target, info);
        case variant_none:
        case variant_projectile:
        case variant_pickup: return false;
    }
    return false;
}
