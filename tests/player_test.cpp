#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "game/physics.h"
#include "game/player.h"
#include "game/world.h"
#include "harness.h"

namespace {
struct Ship : testing::Test {
    Headless h;
    void SetUp() override {
        audio_trace = Audio_Trace{};
        start_game(h);
        ASSERT_EQ(game.state, tutorial);
        game.asteroid_spawn_timer = 1e9f;
        game.pickup_spawn_timer = 1e9f;
        h.frames(50);  // past the opening boost and its invulnerability
        player_entity()->pos = {0, 0};
        player_entity()->vel = {50, 0};
        player_entity()->rot = 0;
    }
};
}  // namespace

TEST_F(Ship, HoldingRightTurnsClockwiseAndChargesOnce) {
    f32 rot0 = player_entity()->rot;
    h.down(DK_RIGHT);
    h.frames(30);
    EXPECT_LT(player_entity()->rot, rot0);
    EXPECT_EQ(ship().num_charges, 0);  // 0.5 s < 0.7 s
    h.frames(15);
    EXPECT_EQ(ship().num_charges, 1);
    EXPECT_EQ(audio_trace.started[player_charged], 1u);
    // At the cap the timer keeps cycling but no charge, no sound.
    h.frames(120);
    EXPECT_EQ(ship().num_charges, 1);
    EXPECT_EQ(audio_trace.started[player_charged], 1u);
    EXPECT_LT(ship().charge_timer, CHARGE_TIME);
    EXPECT_GT(ship().charge_timer, 0.0f);
}

TEST_F(Ship, ChargesFillUpToTheCapacityLevel) {
    ship().stat_levels[max_charges] = 3;
    h.down(DK_LEFT);
    h.frames(60 * 4);
    EXPECT_EQ(ship().num_charges, 3);
    EXPECT_EQ(audio_trace.started[player_charged], 3u);
    EXPECT_GT(player_entity()->rot, 0.0f);  // left turns counter-clockwise
}

TEST_F(Ship, ReleasingSteeringResetsTheChargeTimer) {
    h.down(DK_RIGHT);
    h.frames(20);
    ASSERT_GT(ship().charge_timer, 0.3f);
    h.up(DK_RIGHT);
    h.frame();  // the release frame still counts the key as active
    f32 rot = player_entity()->rot;
    h.frame();
    EXPECT_EQ(player_entity()->rot, rot);  // no longer turning...
    EXPECT_EQ(ship().charge_timer, 0.0f);  // ...and nothing kept toward the next charge
}

TEST_F(Ship, FanAnglesAroundTheHeading) {
    const f32 expected[3][3] = {{0}, {-FAN_SPACING / 2, FAN_SPACING / 2}, {-FAN_SPACING, 0, FAN_SPACING}};
    for (int n = 1; n <= 3; n++) {
        player_entity()->rot = 0.5f;
        ship().stat_levels[num_bullets] = n - 1;
        ship().stat_levels[bullet_speed] = 1;
        ship().num_charges = 1;
        h.down(DK_X);
        h.frame();
        h.up(DK_X);
        std::vector<Entity> b = projectiles();
        ASSERT_EQ(int(b.size()), n);
        std::vector<f32> rel;
        for (const Entity& e : b) {
            rel.push_back(angle_of(e.vel) - 0.5f);
            EXPECT_NEAR(length(e.vel), 400, 1e-3);
            EXPECT_EQ(e.collider.kind, collider_none);
            EXPECT_EQ(e.variant.projectile.kind, player_bullet);
        }
        std::sort(rel.begin(), rel.end());
        for (int j = 0; j < n; j++) EXPECT_NEAR(rel[j], expected[n - 1][j], 1e-5) << "n=" << n;
        EXPECT_EQ(ship().num_charges, 0);
        h.frames(60);  // let them leave
        ASSERT_TRUE(projectiles().empty());
    }
    EXPECT_EQ(audio_trace.started[player_shoot], 3u);
}

TEST_F(Ship, WithoutChargesAttackAndBoostDoNothing) {
    ASSERT_EQ(ship().num_charges, 0);
    f32 boost_timer = ship().boost_timer;
    h.down(DK_X);
    h.down(DK_Z);
    h.frame();
    EXPECT_TRUE(projectiles().empty());
    EXPECT_EQ(audio_trace.started[player_shoot], 0u);
    EXPECT_EQ(audio_trace.started[player_boost], 0u);
    EXPECT_GT(ship().boost_timer, boost_timer);
    EXPECT_EQ(game.state, tutorial);
}

TEST_F(Ship, FirstShotLeavesTheTutorialAndTheFanFliesOffTheWorld) {
    ship().num_charges = 1;
    h.tap(DK_X);
    EXPECT_EQ(game.state, playing);
    ASSERT_EQ(projectiles().size(), 1u);
    Vec2 p0 = projectiles()[0].pos;
    h.frame();
    ASSERT_EQ(projectiles().size(), 1u);
    const f32 step = BULLET_SPEED_CURVE.at_level_0 / 60;
    EXPECT_NEAR(length(projectiles()[0].pos - p0), step, 1e-3);
    // From inside the screen at 200 units/s the ±200 × ±180 bounds are under 2.5 s away.
    int frames = 0;
    while (!projectiles().empty() && frames < 300) {
        Vec2 p = projectiles()[0].pos;
        EXPECT_LE(std::fabs(p.x), WORLD_BOUND_X + step);
        EXPECT_LE(std::fabs(p.y), WORLD_BOUND_Y + step);
        h.frame();
        frames++;
    }
    EXPECT_TRUE(projectiles().empty());
    EXPECT_GT(frames, 30);
    EXPECT_LT(frames, 150);
}

TEST_F(Ship, BoostSpeedsUpLeavesTheTutorialAndShieldsTheShip) {
    ship().num_charges = 1;
    h.tap(DK_Z);
    EXPECT_EQ(game.state, playing);
    EXPECT_EQ(audio_trace.started[player_boost], 1u);
    EXPECT_EQ(ship().num_charges, 0);
    h.frames(14);
    EXPECT_GT(length(player_entity()->vel), 100.0f);
    auto ref = scene_get_entity(game.player);
    Damage_Info hit;
    hit.dir = {1, 0};
    EXPECT_FALSE(entity_damage(*ref, hit));  // inside 0.75 s of the boost
    EXPECT_EQ(ship().health, 5);
    h.frames(40);                               // past 0.75 s
    EXPECT_LT(length(player_entity()->vel), 100.0f);
    EXPECT_TRUE(entity_damage(*scene_get_entity(game.player), hit));
    EXPECT_EQ(ship().health, 4);
}

TEST_F(Ship, HitsInsideTheImmunityWindowsAreIgnored) {
    Damage_Info hit;
    hit.dir = {0, 1};
    Player_Entity& p = ship();
    p.boost_timer = 0.74f;
    p.time_since_damage = 10;
    EXPECT_FALSE(entity_damage(*scene_get_entity(game.player), hit));
    p.boost_timer = BOOST_INVULNERABLE;
    p.time_since_damage = 0.49f;
    EXPECT_FALSE(entity_damage(*scene_get_entity(game.player), hit));
    EXPECT_EQ(p.health, 5);
    EXPECT_EQ(audio_trace.started[player_damaged], 0u);
    p.time_since_damage = DAMAGE_INVULNERABLE;
    Vec2 vel = player_entity()->vel;
    EXPECT_TRUE(entity_damage(*scene_get_entity(game.player), hit));
    EXPECT_EQ(p.health, 4);
    EXPECT_FLOAT_EQ(game.hit_stop_timer, HIT_STOP);
    EXPECT_FLOAT_EQ(player_entity()->vel.y, vel.y + HIT_KNOCKBACK);
    EXPECT_EQ(p.time_since_damage, 0.0f);
    EXPECT_FALSE(entity_damage(*scene_get_entity(game.player), hit));  // right after
    EXPECT_EQ(audio_trace.started[player_damaged], 1u);
}

TEST_F(Ship, LastHitPointLostEndsTheGame) {
    ship().health = 1;
    ship().time_since_damage = 1;
    Damage_Info hit;
    EXPECT_TRUE(entity_damage(*scene_get_entity(game.player), hit));
    EXPECT_EQ(game.state, game_over);
    EXPECT_EQ(audio_trace.started[game_lose], 1u);
    EXPECT_TRUE(scene_get_entity(game.player).has_value());  // the ship is not removed
}

TEST_F(Ship, LeavingTheRightEdgeLandsOnItFacingTheBounce) {
    Entity* e = player_entity();
    e->pos = {79.5f, 10};
    e->vel = {200, 30};
    e->rot = 0;
    h.frame();
    e = player_entity();
    EXPECT_EQ(e->pos.x, WALL_HALF.x);
    EXPECT_LT(e->vel.x, 0.0f);
    EXPECT_GT(e->vel.y, 0.0f);
    EXPECT_FLOAT_EQ(e->rot, angle_of(e->vel));
    // Reflection minus 5 along the inward normal: |vel.x| drops by 5.
    f32 k = std::exp(-VELOCITY_RESPONSE / 60);
    f32 vx = CRUISE_SPEED * (1 - k) + 200 * k;
    EXPECT_NEAR(e->vel.x, -vx + WALL_PUSH, 1e-3);
}

TEST_F(Ship, CornerHitBouncesOnBothAxes) {
    Entity* e = player_entity();
    e->pos = {-79.9f, -71.9f};
    e->vel = {-100, -100};
    e->rot = angle_of({-1, -1});
    u32 before = particles.count;
    h.frame();
    e = player_entity();
    EXPECT_EQ(e->pos.x, -WALL_HALF.x);
    EXPECT_EQ(e->pos.y, -WALL_HALF.y);
    EXPECT_GT(e->vel.x, 0.0f);
    EXPECT_GT(e->vel.y, 0.0f);
    EXPECT_FLOAT_EQ(e->rot, angle_of(e->vel));
    EXPECT_GE(particles.count, before + 10);  // flash and four sparks per axis
}

// While immune after a hit the ship blinks, and only then: not while the spawn shields it,
// and a hit that lands as the upgrade screen opens blinks in full once play resumes.
TEST_F(Ship, BlinksWhileImmuneAfterAHitEvenBehindTheUpgradeScreen) {
    Renderer_Capture cap;
    renderer.capture = &cap;
    auto seen = [&](int frames) {  // a letter a frame: S the ship drawn (the only sprite at its depth), - not
        std::string s;
        for (int i = 0; i < frames; i++, h.frame())
            s += std::any_of(cap.sprites.begin(), cap.sprites.end(), [](auto& x) { return x.pos[2] == -0.2f; })
                     ? 'S' : '-';
        return s;
    };
    game_new_game();
    game_set_state(playing);
    h.frame();
    EXPECT_EQ(seen(60), std::string(60, 'S'));
    std::string after[2];
    for (int upgrade_screen_opens = 0; upgrade_screen_opens < 2; upgrade_screen_opens++) {
        EXPECT_TRUE(entity_damage(*scene_get_entity(game.player), Damage_Info{}));
        if (upgrade_screen_opens) game_set_state(pick_upgrade), h.frames(30), h.tap(DK_ENTER);
        after[upgrade_screen_opens] = seen(120);
    }
    // Shown through the hit stop, hidden every other interval while immune, then shown.
    const size_t interval = size_t(std::lround(HIT_BLINK_INTERVAL * 60)), first = after[0].find('-');
    std::string blink = std::string(interval, '-') + std::string(interval, 'S') + std::string(interval, '-');
    EXPECT_GE(first, size_t(std::lround(HIT_STOP * 60)) + interval - 1) << after[0];
    EXPECT_EQ(after[0].substr(first), blink + std::string(120 - first - blink.size(), 'S'));
    EXPECT_EQ(after[1], after[0]);
    renderer.capture = nullptr;
}
