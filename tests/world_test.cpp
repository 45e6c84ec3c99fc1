#include <gtest/gtest.h>

#include "game/physics.h"
#include "game/pickup.h"
#include "game/random.h"
#include "harness.h"

namespace {
struct World : testing::Test {
    Headless h;
    void SetUp() override {
        audio_trace = Audio_Trace{};
        start_game(h);
        game.asteroid_spawn_timer = 1e9f;
        game.pickup_spawn_timer = 1e9f;
        h.frames(50);
        player_entity()->pos = {0, 0};
        player_entity()->vel = {};
        player_entity()->rot = 0;
    }
    Entity_Id place_pickup(Vec2 pos) {
        Entity e;
        e.pos = pos;
        e.variant.kind = variant_pickup;
        e.variant.pickup = {0, PICKUP_LIFETIME};
        return scene_spawn_entity(e);
    }
};
}  // namespace

TEST_F(World, PickupExactlySixteenAwayIsNotCollected) {
    Entity_Id far = place_pickup({PICKUP_REACH, 0});
    Time_Step ts = {0, 0};  // the ship keeps still for the check
    entity_update(*scene_get_entity(far), ts);
    EXPECT_TRUE(scene_get_entity(far).has_value());
    EXPECT_EQ(ship().health, 5);

    Entity_Id near = place_pickup({0, 15.99f});
    entity_update(*scene_get_entity(near), ts);
    EXPECT_FALSE(scene_get_entity(near).has_value());
    EXPECT_EQ(ship().health, 6);
    EXPECT_EQ(audio_trace.started[player_heal], 1u);
}

TEST_F(World, PickupCollectedInPlayHealsAndOneLeftAloneExpires) {
    place_pickup({5, 0});
    Entity_Id away = place_pickup({-60, 60});
    h.frame();
    EXPECT_EQ(ship().health, 6);
    EXPECT_EQ(count_variant(variant_pickup), 1);
    h.frames(int(7.4 * 60));
    EXPECT_TRUE(scene_get_entity(away).has_value());
    h.frames(12);
    EXPECT_FALSE(scene_get_entity(away).has_value());
    EXPECT_EQ(ship().health, 6);
}

TEST_F(World, PickupsNeitherAgeNorSpawnWhileTheWorldIsFrozen) {
    Entity_Id id = place_pickup({-60, 60});
    game.pickup_spawn_timer = 0.01f;
    game_set_state(paused);
    h.frames(60 * 10);
    EXPECT_EQ(count_variant(variant_pickup), 1);
    EXPECT_EQ(scene_get_entity(id)->entity->variant.pickup.timer, 0.0f);
}

TEST_F(World, BulletHitsTheFirstAsteroidInItsPathOnly) {
    game_set_state(playing);
    Entity_Id near = place_asteroid({40, 0});
    Entity_Id behind = place_asteroid({70, 0});
    Entity_Id b = place_bullet({0, 0}, {200, 0});
    h.frames(20);
    EXPECT_FALSE(scene_get_entity(near).has_value());
    EXPECT_TRUE(scene_get_entity(behind).has_value());
    EXPECT_FALSE(scene_get_entity(b).has_value());
    EXPECT_EQ(game.score, 1);
    EXPECT_EQ(audio_trace.started[asteroid_destroyed], 1u);
}

TEST_F(World, BulletPathEndingAtAFaceHitsOnTheNextFrame) {
    game_set_state(playing);
    // Face of the expanded square at 30 - 10 - 0.1; one frame covers exactly that far.
    Entity_Id rock = place_asteroid({30, 0});
    f32 dist = 30 - 10 - 0.1f;
    Entity_Id b = place_bullet({0, 0}, {dist * 16, 0});
    h.frame(1.0 / 16);
    ASSERT_TRUE(scene_get_entity(rock).has_value());
    EXPECT_TRUE(scene_get_entity(b).has_value());
    h.frame(1.0 / 16);
    EXPECT_FALSE(scene_get_entity(rock).has_value());
    EXPECT_FALSE(scene_get_entity(b).has_value());
}

TEST_F(World, FanBulletsNeverHitEachOtherOrTheShip) {
    ship().stat_levels[num_bullets] = 2;
    ship().num_charges = 1;
    h.tap(DK_X);
    EXPECT_EQ(count_variant(variant_projectile), 3);
    h.frame();
    EXPECT_EQ(count_variant(variant_projectile), 3);
    EXPECT_EQ(ship().health, 5);
}

TEST_F(World, BossBulletHurtsTheShipAndIsSpent) {
    game_set_state(playing);
    ship().time_since_damage = 10;
    ship().boost_timer = 10;
    Entity_Id b = place_bullet({-20, 0}, {80, 0}, boss_bullet);
    h.frames(30);
    EXPECT_FALSE(scene_get_entity(b).has_value());
    EXPECT_EQ(ship().health, 4);
}

TEST_F(World, ParticlesWithoutLifetimeGoAtTheirFirstUpdate) {
    _particle_system_reset();
    Sprite_Particle keep;
    keep.duration = 1;
    keep.vel = {60, 0};
    Sprite_Particle gone;
    gone.duration = 0;
    spawn_sprite_particle(keep);
    spawn_sprite_particle(gone);
    spawn_sprite_particle(keep);
    _particle_system_update(1.0f / 60);
    ASSERT_EQ(particles.count, 2u);
    for (u32 i = 0; i < particles.count; i++) {
        EXPECT_EQ(particles.items[i].duration, 1.0f);
        EXPECT_FLOAT_EQ(particles.items[i].pos.x, 1.0f);  // each updated exactly once
    }
    _particle_system_update(1.0f);  // timer 1.0167 > 1
    EXPECT_EQ(particles.count, 0u);
}

TEST_F(World, CameraKickOvershootsAndSettles) {
    Camera_Effects c;
    c.kick_vel = {0, -20};
    Time_Step ts = {1.0f / 60, 1.0f / 60};
    f32 lowest = 0, highest = 0;
    for (int i = 0; i < 600; i++) {
        camera_effects_update(c, ts);
        lowest = std::fmin(lowest, c.kick_offset.y);
        if (lowest < -1) highest = std::fmax(highest, c.kick_offset.y);
    }
    EXPECT_LT(lowest, -5.0f);  // pushed down first
    EXPECT_GT(highest, 0.0f);  // swings back past zero
    EXPECT_LT(std::fabs(c.kick_offset.y), 0.01f);
    EXPECT_LT(std::fabs(c.kick_vel.y), 0.01f);
    EXPECT_EQ(c.view.pos.y, 0.0f);
}

TEST_F(World, CameraBaseKeepsItsLastValueWithoutAShip) {
    Camera_Effects c;
    c.base_pos = {3, 4};
    Entity_Id ship_id = game.player;
    game.player = 0;
    camera_effects_update(c, {1.0f / 60, 1.0f / 60});
    EXPECT_EQ(c.base_pos.x, 3.0f);
    EXPECT_EQ(c.view.pos.y, 4.0f);
    game.player = ship_id;
    camera_effects_update(c, {1.0f / 60, 1.0f / 60});
    EXPECT_EQ(c.base_pos.x, 0.0f);
    EXPECT_EQ(c.view.pos.y, 0.0f);
}

TEST_F(World, ShakeIsZeroOnceItsTimeRunsOut) {
    Camera_Effects c;
    camera_shake(c, 0.1f, {20, 20}, 15);
    Time_Step ts = {1.0f / 60, 1.0f / 60};
    f32 strongest = 0;
    for (int i = 0; i < 6; i++) {
        game.time += ts.sim;
        camera_effects_update(c, ts);
        strongest = std::fmax(strongest, length(c.shake_offset));
    }
    EXPECT_GT(strongest, 0.0f);
    for (int i = 0; i < 10; i++) {
        game.time += ts.sim;
        camera_effects_update(c, ts);
    }
    EXPECT_EQ(c.shake.time, 0.0f);
    EXPECT_FLOAT_EQ(c.shake.duration, 0.1f);
    EXPECT_EQ(c.shake_offset.x, 0.0f);
    EXPECT_EQ(c.shake_offset.y, 0.0f);
}

TEST_F(World, HitStopFreezesEverythingButItsOwnTimer) {
    Entity_Id rock = place_asteroid({-50, 50}, small, {10, 0});
    Sprite_Particle p;
    p.duration = 5;
    spawn_sprite_particle(p);
    u32 count = particles.count;
    game.hit_stop_timer = 0.1f;
    Vec2 ship_pos = player_entity()->pos;
    h.frame(1.0 / 16);
    EXPECT_EQ(scene_get_entity(rock)->entity->pos.x, -50.0f);
    EXPECT_EQ(player_entity()->pos.x, ship_pos.x);
    EXPECT_EQ(particles.count, count);
    EXPECT_NEAR(game.hit_stop_timer, 0.1f - 1.0f / 16, 1e-6);
    h.frames(2, 1.0 / 16);
    EXPECT_GT(scene_get_entity(rock)->entity->pos.x, -50.0f);
}

TEST_F(World, RocksLeavingTheBoundsGoPickupsStay) {
    game_set_state(playing);
    Entity_Id inside = place_asteroid({199, 0}, small, {0, 50});
    Entity_Id right = place_asteroid({199, 0}, small, {100, 0});
    Entity_Id below = place_asteroid({0, -179}, small, {0, -100});
    Entity_Id pickup = place_pickup({300, 0});
    h.frames(3);
    EXPECT_TRUE(scene_get_entity(inside).has_value());
    EXPECT_FALSE(scene_get_entity(right).has_value());
    EXPECT_FALSE(scene_get_entity(below).has_value());
    EXPECT_TRUE(scene_get_entity(pickup).has_value());
    EXPECT_EQ(game.score, 0);  // leaving is not a hit
}
