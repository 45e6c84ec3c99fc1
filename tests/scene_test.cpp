#include <gtest/gtest.h>

#include <set>

#include "game/physics.h"
#include "harness.h"

namespace {
Entity rock_at(Vec2 pos) {
    Entity e;
    e.pos = pos;
    e.tags = tag_asteroid;
    e.collider = make_circle_collider(10);
    e.variant.kind = variant_asteroid;
    e.variant.asteroid = {small, 0};
    return e;
}

struct Scene_Fixture : Empty_Scene {};
}  // namespace

TEST_F(Scene_Fixture, IdentifiersStartAtOneAndSkipZeroOnWrap) {
    EXPECT_EQ(scene_spawn_entity(Entity{}), 1u);
    EXPECT_EQ(scene_spawn_entity(Entity{}), 2u);
    game.scene.next_id = 0xFFFFFFFFu;
    EXPECT_EQ(scene_spawn_entity(Entity{}), 0xFFFFFFFFu);
    EXPECT_EQ(game.scene.next_id, 1u);
    EXPECT_FALSE(scene_get_entity(0).has_value());
    EXPECT_FALSE(scene_get_entity_copy(0).has_value());
}

TEST_F(Scene_Fixture, DestroyIsDeferredAndQueuedOnce) {
    Entity_Id a = scene_spawn_entity(rock_at({0, 0}));
    scene_destroy_entity(a);
    scene_destroy_entity(a);
    scene_destroy_entity(12345);
    scene_destroy_entity(0);
    EXPECT_EQ(game.scene.to_destroy_count, 1u);
    EXPECT_FALSE(scene_get_entity(a).has_value());
    EXPECT_EQ(scene_entity_count(game.scene), 1u);  // still stored until the step ends
    game_set_state(tutorial);
    world_update({0.01f, 0.01f});
    EXPECT_EQ(scene_entity_count(game.scene), 0u);
    EXPECT_EQ(game.scene.to_destroy_count, 0u);
}

TEST_F(Scene_Fixture, DestroyedEntitiesAreStillVisitedButNotFound) {
    Entity_Id a = scene_spawn_entity(rock_at({0, 0}));
    Entity_Id b = scene_spawn_entity(rock_at({50, 0}));
    scene_destroy_entity(a);
    int visited = 0;
    scene_for_each(game.scene, [&](Entity_Ref) { visited++; });
    EXPECT_EQ(visited, 2);
    auto hits = circle_query_overlapped_entities({0, 0}, 100, 0);
    ASSERT_EQ(hits.count, 1u);
    EXPECT_EQ(hits.items[0].id, b);
}

TEST_F(Scene_Fixture, ReferencesStayValidWhileThePassSpawns) {
    for (int i = 0; i < 20; i++) scene_spawn_entity(rock_at({f32(i), 0}));
    std::set<Entity_Id> seen;
    int spawned = 0;
    scene_for_each(game.scene, [&](Entity_Ref ref) {
        bool fresh = seen.insert(ref.id).second;
        EXPECT_TRUE(fresh) << "visited twice: " << ref.id;
        Vec2 before = ref.entity->pos;
        // Enough spawns to force the store and its index to grow many times over.
        for (int k = 0; k < 100; k++, spawned++) scene_spawn_entity(rock_at({-1, -1}));
        EXPECT_EQ(ref.entity->pos.x, before.x);
        ref.entity->pos.y = 7;
        EXPECT_EQ(scene_get_entity(ref.id)->entity, ref.entity);
    });
    for (Entity_Id id = 1; id <= 20; id++) {
        EXPECT_TRUE(seen.count(id)) << id;
        EXPECT_EQ(scene_get_entity(id)->entity->pos.y, 7);
    }
    EXPECT_EQ(scene_entity_count(game.scene), 20u + u32(spawned));
}

TEST_F(Scene_Fixture, IndexSurvivesChurn) {
    // Spawn and remove in waves; every live identifier must stay reachable.
    std::set<Entity_Id> live;
    game_set_state(tutorial);
    for (int wave = 0; wave < 30; wave++) {
        for (int i = 0; i < 40; i++) live.insert(scene_spawn_entity(rock_at({0, 0})));
        int k = 0;
        for (auto it = live.begin(); it != live.end();) {
            if (k++ % 3 == 0) {
                scene_destroy_entity(*it);
                it = live.erase(it);
            } else {
                ++it;
            }
        }
        world_update({0.001f, 0.001f});
        for (Entity_Id id : live) ASSERT_TRUE(scene_get_entity(id).has_value()) << id;
        ASSERT_EQ(scene_entity_count(game.scene), live.size());
    }
}

TEST_F(Scene_Fixture, HitStopFreezesEverythingButItself) {
    Entity_Id a = scene_spawn_entity(rock_at({0, 0}));
    scene_get_entity(a)->entity->vel = {10, 0};
    Sprite_Particle p;
    p.duration = 1;
    spawn_sprite_particle(p);
    game_set_state(playing);
    game.hit_stop_timer = 0.2f;
    game.pickup_spawn_timer = 5;
    game.asteroid_spawn_timer = 5;
    f32 time = game.time;
    world_update({0.05f, 0.05f});
    EXPECT_FLOAT_EQ(game.hit_stop_timer, 0.15f);
    EXPECT_EQ(scene_get_entity(a)->entity->pos.x, 0.0f);
    EXPECT_EQ(particles.items[0].timer, 0.0f);
    EXPECT_EQ(game.pickup_spawn_timer, 5.0f);
    EXPECT_EQ(game.asteroid_spawn_timer, 5.0f);
    EXPECT_EQ(game.time, time);
    for (int i = 0; i < 3; i++) world_update({0.05f, 0.05f});
    EXPECT_LT(game.hit_stop_timer, 0.001f);
    world_update({0.05f, 0.05f});
    EXPECT_GT(scene_get_entity(a)->entity->pos.x, 0.0f);
}

TEST_F(Scene_Fixture, ClearResetsIdentifiersForTheNextGame) {
    for (int i = 0; i < 5; i++) scene_spawn_entity(Entity{});
    scene_clear(game.scene);
    EXPECT_EQ(scene_entity_count(game.scene), 0u);
    EXPECT_EQ(scene_spawn_entity(Entity{}), 1u);
}
