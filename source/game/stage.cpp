#include "stage.h"

#include "boss.h"
#include "camera.h"
#include "game.h"
#include "pickup.h"
#include "player.h"
#include "scene.h"

namespace {
constexpr Asteroid_Kind STAGE_1_KINDS[] = {small, large};
constexpr Asteroid_Kind STAGE_2_KINDS[] = {small, large, large, bomb};
constexpr Asteroid_Kind STAGE_3_KINDS[] = {small, large, large, bomb, chaser};
constexpr Asteroid_Kind LATE_KINDS[] = {small, large, bomb, chaser};
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
