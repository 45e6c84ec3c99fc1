#include "world.h"

#include <cmath>

#include "asteroid.h"
#include "camera.h"
#include "game.h"
#include "particles.h"
#include "pickup.h"
#include "scene.h"

void world_update(Time_Step ts) {
    // A hit stop freezes everything but its own countdown, which runs on real time.
    if (game.hit_stop_timer < HIT_STOP_MIN) {
        game.time += ts.sim;
        game.real_time += ts.real;
        camera_effects_update(game.camera, ts);
        _particle_system_update(ts.sim);
        asteroid_spawner_update(ts.sim);
        pickup_spawner_update(ts.sim);
        scene_for_each(game.scene, [&](Entity_Ref ref) { entity_update(ref, ts); });
        scene_remove_destroyed(game.scene);
    }
    game.hit_stop_timer -= ts.real;
}

void world_bounds_check(Entity_Ref ref) {
    Vec2 p = ref.entity->pos;
    if (std::fabs(p.x) > WORLD_BOUND_X || std::fabs(p.y) > WORLD_BOUND_Y) scene_destroy_entity(ref.id);
}
