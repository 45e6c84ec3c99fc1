#include "entity.h"

#include "physics.h"

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
