#include <gtest/gtest.h>

#include "game/physics.h"
#include "harness.h"

namespace {
Entity circle_at(Vec2 pos, f32 rad, u8 tags = tag_asteroid) {
    Entity e;
    e.pos = pos;
    e.tags = tags;
    e.collider = make_circle_collider(rad);
    e.variant.kind = variant_asteroid;
    e.variant.asteroid = {small, 0};
    return e;
}

Entity box_at(Vec2 pos, Vec2 half) {
    Entity e;
    e.pos = pos;
    e.tags = tag_asteroid;
    e.collider = make_box_collider(half);
    return e;
}

struct Physics : Empty_Scene {};
}  // namespace

TEST_F(Physics, OverlapIsStrictForCirclesAndBoxes) {
    Entity c = circle_at({10, 0}, 5);
    EXPECT_FALSE(circle_overlaps_entity({0, 0}, 5, c));  // exactly rad + R apart
    EXPECT_TRUE(circle_overlaps_entity({0.01f, 0}, 5, c));

    Entity b = box_at({0, 0}, {4, 2});
    EXPECT_FALSE(circle_overlaps_entity({7, 0}, 3, b));   // 3 from the right face
    EXPECT_TRUE(circle_overlaps_entity({6.99f, 0}, 3, b));
    EXPECT_FALSE(circle_overlaps_entity({7, 6}, 5, b));   // corner distance (3, 4) = 5
    EXPECT_TRUE(circle_overlaps_entity({7, 6}, 5.01f, b));
    EXPECT_TRUE(circle_overlaps_entity({0, 0}, 0.01f, b));  // centre inside the box

    Entity none;
    none.pos = {0, 0};
    EXPECT_FALSE(circle_overlaps_entity({0, 0}, 100, none));
}

TEST_F(Physics, CastFromInsideABoxHitsAtZero) {
    Entity_Id id = scene_spawn_entity(box_at({0, 0}, {5, 5}));
    Cast_Result r = scene_box_cast({1, 1}, {0.1f, 0.1f}, {1, 0}, 50, 0, 0);
    ASSERT_TRUE(r.hit);
    EXPECT_EQ(r.dist, 0.0f);
    EXPECT_EQ(r.what.kind, hit_entity);
    EXPECT_EQ(r.what.entity, id);
}

TEST_F(Physics, CastEntersThroughTheFaceItMeets) {
    scene_spawn_entity(box_at({10, 0}, {2, 2}));
    Cast_Result r = scene_box_cast({0, 0.5f}, {0, 0}, {1, 0}, 50, 0, 0);  // axis-aligned
    ASSERT_TRUE(r.hit);
    EXPECT_FLOAT_EQ(r.dist, 8);
    EXPECT_EQ(r.normal.x, -1.0f);
    EXPECT_EQ(r.normal.y, 0.0f);

    Vec2 u = normalize({1, 1});
    r = scene_box_cast({4, -4}, {0, 0}, u, 50, 0, 0);  // diagonal, meets the left face first
    ASSERT_TRUE(r.hit);
    EXPECT_EQ(r.normal.x, -1.0f);

    r = scene_box_cast({10, 10}, {0, 0}, {0, -1}, 50, 0, 0);  // from above onto the top face
    ASSERT_TRUE(r.hit);
    EXPECT_FLOAT_EQ(r.dist, 8);
    EXPECT_EQ(r.normal.y, 1.0f);
}

TEST_F(Physics, AxisAlignedCastChecksOnlyTheSlabOnTheParallelAxis) {
    scene_spawn_entity(box_at({10, 0}, {2, 2}));
    EXPECT_TRUE(scene_box_cast({0, 2}, {0, 0}, {1, 0}, 50, 0, 0).hit);     // on the slab's edge
    EXPECT_FALSE(scene_box_cast({0, 2.01f}, {0, 0}, {1, 0}, 50, 0, 0).hit);  // just outside
    EXPECT_FALSE(scene_box_cast({0, 0}, {0, 0}, {-1, 0}, 50, 0, 0).hit);     // box behind
}

TEST_F(Physics, EqualDistancesKeepTheFirstVisited) {
    Entity_Id first = scene_spawn_entity(box_at({10, 3}, {2, 2}));
    Entity_Id second = scene_spawn_entity(box_at({10, -3}, {2, 2}));
    Cast_Result r = scene_box_cast({0, 0}, {0, 1.5f}, {1, 0}, 50, 0, 0);
    ASSERT_TRUE(r.hit);
    EXPECT_EQ(r.what.entity, first);
    // A strictly closer later candidate still wins.
    Entity_Id closer = scene_spawn_entity(box_at({9, 0}, {2, 2}));
    r = scene_box_cast({0, 0}, {0, 1.5f}, {1, 0}, 50, 0, 0);
    EXPECT_EQ(r.what.entity, closer);
    EXPECT_NE(r.what.entity, second);
}

TEST_F(Physics, PathEndingExactlyAtAFaceDoesNotHit) {
    scene_spawn_entity(box_at({10, 0}, {2, 2}));
    EXPECT_FALSE(scene_box_cast({0, 0}, {0, 0}, {1, 0}, 8, 0, 0).hit);
    Cast_Result r = scene_box_cast({0, 0}, {0, 0}, {1, 0}, 8.001f, 0, 0);
    EXPECT_TRUE(r.hit);
    EXPECT_FLOAT_EQ(r.dist, 8);
}

TEST_F(Physics, CastHonoursIgnoreSetsAndCirclesBecomeSquares) {
    Entity_Id rock = scene_spawn_entity(circle_at({10, 0}, 3));
    EXPECT_FALSE(scene_box_cast({0, 0}, {0, 0}, {1, 0}, 50, tag_asteroid, 0).hit);
    EXPECT_FALSE(scene_box_cast({0, 0}, {0, 0}, {1, 0}, 50, 0, rock).hit);
    // Expanded to a square of half-extent rad + e: the corner region of the circle counts.
    Cast_Result r = scene_box_cast({0, 3.5f}, {0.5f, 0.5f}, {1, 0}, 50, 0, 0);
    ASSERT_TRUE(r.hit);
    EXPECT_FLOAT_EQ(r.dist, 6.5f);
}

TEST_F(Physics, DestroyedEntitiesAreCastableButNotQueried) {
    Entity_Id rock = scene_spawn_entity(circle_at({10, 0}, 3));
    scene_destroy_entity(rock);
    Cast_Result r = scene_box_cast({0, 0}, {0, 0}, {1, 0}, 50, 0, 0);
    ASSERT_TRUE(r.hit);
    EXPECT_EQ(r.what.entity, rock);
    EXPECT_EQ(circle_query_overlapped_entities({10, 0}, 5, 0).count, 0u);
}

TEST_F(Physics, CircleQueryExcludesAndStopsAtSixtyFour) {
    Entity_Id self = scene_spawn_entity(circle_at({0, 0}, 1));
    for (int i = 0; i < 70; i++) scene_spawn_entity(circle_at({f32(i % 10), f32(i / 10)}, 1));
    scene_spawn_entity(circle_at({100, 100}, 1));  // far away
    Entity_Ref_List l = circle_query_overlapped_entities({0, 0}, 40, self);
    ASSERT_EQ(l.count, 64u);
    for (u32 i = 0; i < l.count; i++) {
        EXPECT_NE(l.items[i].id, self);
        EXPECT_EQ(l.items[i].id, self + 1 + i);  // store order, first 64 found
    }
    EXPECT_EQ(circle_query_overlapped_entities({100, 100}, 0.5f, 0).count, 1u);
}

TEST_F(Physics, DamageOnVariantsWithoutABranchDoesNothing) {
    Entity e;
    e.variant.kind = variant_pickup;
    Entity_Id id = scene_spawn_entity(e);
    auto ref = scene_get_entity(id);
    ASSERT_TRUE(ref);
    EXPECT_FALSE(entity_damage(*ref, Damage_Info{}));
    EXPECT_TRUE(scene_get_entity(id).has_value());
}
