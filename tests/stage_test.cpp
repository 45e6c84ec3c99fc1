#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "game/boss.h"
#include "game/physics.h"
#include "game/random.h"
#include "harness.h"

namespace {
int count_popups() {
    int n = 0;
    for (u32 i = 0; i < particles.count; i++)
        if (particles.items[i].duration == 0.65f && particles.items[i].vel.y == 20) n++;
    return n;
}


struct Stages : testing::Test {
    Headless h;
    void SetUp() override {
        audio_trace = Audio_Trace{};
        random_seed(7);
        start_game(h);
        game.asteroid_spawn_timer = 1e9f;
        game.pickup_spawn_timer = 1e9f;
        h.frames(50);
        player_entity()->pos = {0, 0};
        player_entity()->vel = {};
        player_entity()->rot = 0;
    }
    // Aims one real shot along +x at a rock placed in its way.
    void shoot_rock_ahead(Asteroid_Kind kind = small) {
        player_entity()->pos = {-60, 0};
        player_entity()->rot = 0;
        place_asteroid({0, 0}, kind);
        ship().num_charges = 1;
        h.tap(DK_X);
    }
};
}  // namespace

TEST_F(Stages, FourteenthPointShowsTheUpgradeScreenForStageTwo) {
    game.score = STAGE_SCORE_STEP - 1;
    shoot_rock_ahead();
    for (int i = 0; i < 60 && game.state != pick_upgrade; i++) h.frame();
    EXPECT_EQ(game.score, STAGE_SCORE_STEP);
    EXPECT_EQ(game.state, pick_upgrade);
    EXPECT_EQ(game.stage, 1);  // shown as STAGE 2/6
    EXPECT_EQ(audio_trace.started[new_stage], 2u);
    EXPECT_NE(game.upgrade_choices[0], game.upgrade_choices[1]);
    // The world is frozen behind the offer.
    Vec2 pos = player_entity()->pos;
    h.frames(10);
    EXPECT_EQ(player_entity()->pos.x, pos.x);
    EXPECT_EQ(game.state, pick_upgrade);
    h.tap(DK_ESCAPE);
    EXPECT_EQ(game.state, pick_upgrade);
}

TEST_F(Stages, ThirteenthPointDoesNotEndTheStage) {
    game.score = 12;
    shoot_rock_ahead();
    h.frames(30);
    EXPECT_EQ(game.score, 13);
    EXPECT_EQ(game.stage, 0);
    EXPECT_EQ(game.state, playing);
    EXPECT_EQ(count_popups(), 1);
    EXPECT_EQ(audio_trace.started[new_stage], 0u);
}

TEST_F(Stages, RammingNeverScoresAndShowsNoPopup) {
    game_set_state(playing);
    game.score = 13;
    ship().time_since_damage = 10;
    Entity_Id rock = place_asteroid({0, 0}, large);
    h.frame();
    EXPECT_FALSE(scene_get_entity(rock).has_value());
    EXPECT_EQ(ship().health, 4);
    EXPECT_EQ(game.score, 13);
    EXPECT_EQ(game.state, playing);
    EXPECT_EQ(count_popups(), 0);
    // While the ship is immune, rocks pass through untouched.
    h.frames(4);  // past the hit-stop
    Entity_Id other = place_asteroid(player_entity()->pos, small);
    h.frame();
    EXPECT_TRUE(scene_get_entity(other).has_value());
    EXPECT_EQ(ship().health, 4);
}

TEST_F(Stages, OfferedUpgradesAlwaysDiffer) {
    std::set<int> seen;
    for (u64 seed = 0; seed < 2000; seed++) {
        random_seed(seed);
        game.state = playing;
        game.stage = 0;
        game.score = 13;
        game_on_asteroid_hit(0xFFFF);
        ASSERT_EQ(game.state, pick_upgrade);
        int a = game.upgrade_choices[0], b = game.upgrade_choices[1];
        ASSERT_GE(a, 0);
        ASSERT_LT(a, 6);
        ASSERT_GE(b, 0);
        ASSERT_LT(b, 6);
        ASSERT_NE(a, b) << "seed " << seed;
        seen.insert(a);
        seen.insert(b);
    }
    EXPECT_EQ(seen.size(), 6u);
}

TEST_F(Stages, BombChainExplodesAndItsRocksCount) {
    game_set_state(playing);
    player_entity()->pos = {-70, -60};
    Entity_Id a = place_asteroid({20, 40}, bomb);
    Entity_Id b = place_asteroid({50, 40}, bomb);   // 30 from a
    Entity_Id c = place_asteroid({80, 40}, small);  // 60 from a, 30 from b
    Entity_Id d = place_asteroid({-60, 40}, small);  // out of every blast
    place_bullet({20, 0}, {0, 200});
    h.frames(20);
    EXPECT_FALSE(scene_get_entity(a).has_value());
    EXPECT_FALSE(scene_get_entity(b).has_value());
    EXPECT_FALSE(scene_get_entity(c).has_value());
    EXPECT_TRUE(scene_get_entity(d).has_value());
    EXPECT_EQ(game.score, 3);
    EXPECT_EQ(audio_trace.started[bomb_explode], 2u);
}

TEST_F(Stages, BlastReachesOnlySixtyFourEntities) {
    game_set_state(playing);
    player_entity()->pos = {-70, -60};
    Entity_Id bomb_id = place_asteroid({40, 40}, bomb);
    for (int i = 0; i < 70; i++) place_asteroid({40 + f32(i % 10), 30 + f32(i / 10)}, small);
    auto ref = scene_get_entity(bomb_id);
    Damage_Info hit;
    hit.source = 0xFFFF;
    entity_damage(*ref, hit);
    EXPECT_EQ(game.score, 1 + 64);
}

TEST_F(Stages, TutorialSpawnsNoAsteroidsHoweverLong) {
    ASSERT_EQ(game.state, tutorial);
    game.asteroid_spawn_timer = -1;
    for (int i = 0; i < 16 * 60; i++) {
        ship().health = 5;
        h.frame(1.0 / 16);
    }
    EXPECT_EQ(game.state, tutorial);
    EXPECT_TRUE(asteroids().empty());
    EXPECT_EQ(game.asteroid_spawn_timer, -1.0f);
}

TEST_F(Stages, FirstGroupSpawnsAtOnceWhenTheTimerIsBelowZero) {
    game.asteroid_spawn_timer = -3;
    ship().num_charges = 1;
    h.tap(DK_Z);  // leaves the tutorial
    ASSERT_EQ(game.state, playing);
    h.frame();
    EXPECT_FALSE(asteroids().empty());
    EXPECT_GE(game.asteroid_spawn_timer, 2.0f);
    EXPECT_LE(game.asteroid_spawn_timer, 5.0f);
}

TEST(StagesStartup, FirstGameAfterStartupSpawnsOnTheFirstPlayingFrame) {
    Headless h;
    EXPECT_EQ(game.asteroid_spawn_timer, 0.0f);
    start_game(h);
    ship().num_charges = 1;
    h.tap(DK_X);
    h.frame();
    EXPECT_GT(count_variant(variant_asteroid), 0);
}

TEST_F(Stages, GroupsSpawnAroundOneBorderPoint) {
    game.state = playing;
    int pairs = 0, singles = 0;
    for (u64 seed = 0; seed < 400; seed++) {
        scene_clear(game.scene);
        game.player = 0;
        random_seed(seed);
        game.stage = 0;
        game.asteroid_spawn_timer = 0;
        asteroid_spawner_update(1.0f / 60);
        std::vector<Entity> a = asteroids();
        ASSERT_TRUE(a.size() == 1 || a.size() == 2);
        f32 reach = 10 * f32(a.size());
        // Some border point S must lie within reach of every asteroid on both axes.
        bool on_side = true, on_top = true;
        for (const Entity& e : a) {
            on_side = on_side && std::fabs(std::fabs(e.pos.x) - 160) <= reach &&
                      std::fabs(e.pos.y) <= 144 + reach && e.pos.x * a[0].pos.x > 0;
            on_top = on_top && std::fabs(std::fabs(e.pos.y) - 144) <= reach &&
                     std::fabs(e.pos.x) <= 160 + reach && e.pos.y * a[0].pos.y > 0;
            f32 speed = length(e.vel);
            EXPECT_GE(speed, 15 * 0.95f - 1e-3f);
            EXPECT_LT(speed, 15 * 1.05f + 1e-3f);
            EXPECT_LT(dot(e.vel, e.pos), 0.0f);  // heading back toward the middle
            EXPECT_TRUE(e.variant.asteroid.kind == small || e.variant.asteroid.kind == large);
            f32 w = std::fabs(e.variant.asteroid.angular_vel);
            EXPECT_GE(w, 1.0f);
            EXPECT_LT(w, 2.0f);
        }
        if (a.size() == 2) {
            EXPECT_LE(std::fabs(a[0].pos.x - a[1].pos.x), 40.0f);
            EXPECT_LE(std::fabs(a[0].pos.y - a[1].pos.y), 40.0f);
        }
        EXPECT_TRUE(on_side || on_top) << "seed " << seed;
        (a.size() == 2 ? pairs : singles)++;
    }
    EXPECT_GT(pairs, 100);
    EXPECT_GT(singles, 100);
}

TEST_F(Stages, ChoosingAnUpgradeRaisesItAndResumes) {
    for (int choice = 0; choice < 2; choice++) {
        game.score = STAGE_SCORE_STEP - 1 + STAGE_SCORE_STEP * game.stage;
        shoot_rock_ahead();
        for (int i = 0; i < 60 && game.state != pick_upgrade; i++) h.frame();
        ASSERT_EQ(game.state, pick_upgrade);
        Player_Stat stat = game.upgrade_choices[choice];
        i32 levels[PLAYER_STAT_COUNT];
        for (int s = 0; s < PLAYER_STAT_COUNT; s++) levels[s] = ship().stat_levels[s];
        h.frame();
        if (choice == 1) h.tap(DK_DOWN);
        h.tap(DK_ENTER);
        EXPECT_EQ(game.state, playing);
        for (int s = 0; s < PLAYER_STAT_COUNT; s++)
            EXPECT_EQ(ship().stat_levels[s], levels[s] + (s == stat ? 1 : 0)) << "stat " << s;
    }
    EXPECT_EQ(game.stage, 2);
}

TEST_F(Stages, UpgradeWithoutAShipStillResumes) {
    game.score = 13;
    shoot_rock_ahead();
    for (int i = 0; i < 60 && game.state != pick_upgrade; i++) h.frame();
    ASSERT_EQ(game.state, pick_upgrade);
    game.player = 0;
    h.tap(DK_ENTER);
    EXPECT_EQ(game.state, playing);
}

TEST(StagesPickups, FirstPickupFifteenSecondsOfWorldTimeAfterReset) {
    audio_trace = Audio_Trace{};
    Headless h;
    h.down(DK_ENTER);
    h.frame(1.0 / 16);
    h.up(DK_ENTER);
    ASSERT_EQ(game.state, intro);
    h.frames(40, 1.0 / 16);  // frozen: does not count
    h.down(DK_RIGHT);
    h.frame(1.0 / 16);
    h.up(DK_RIGHT);
    ASSERT_EQ(game.state, tutorial);
    auto pickups_seen = [] { return count_variant(variant_pickup) + int(audio_trace.started[player_heal]); };
    h.frames(200, 1.0 / 16);
    game_set_state(paused);
    h.frames(100, 1.0 / 16);  // paused: does not count
    game_set_state(tutorial);
    h.frames(40, 1.0 / 16);   // 240 steps of 1/16 s: exactly 15 s, timer at 0
    EXPECT_EQ(pickups_seen(), 0);
    h.frame(1.0 / 16);
    EXPECT_EQ(pickups_seen(), 1);
    EXPECT_GE(game.pickup_spawn_timer, 14.0f);
    EXPECT_LT(game.pickup_spawn_timer, 24.0f);
}

// The boss stage.
namespace {
struct Boss_Fight : Stages {
    void SetUp() override {
        Stages::SetUp();
        place_asteroid({-60, 60});
        game.stage = 4;
        game.score = 69;
        shoot_rock_ahead();
        for (int i = 0; i < 60 && game.state != pick_upgrade; i++) h.frame();
        ASSERT_EQ(game.state, pick_upgrade);
        ASSERT_EQ(game.stage, 5);
        h.frame();
        h.tap(DK_ENTER);
        ASSERT_EQ(game.state, playing);
    }
    Boss_Entity& boss() { return boss_entity()->variant.boss; }
    // Keeps the ship out of harm's way so the fight goes on.
    void protect_ship() {
        if (auto p = player_entity()) {
            p->variant.player.health = 5;
            p->variant.player.time_since_damage = 0;
        }
    }
    void run(int frames) {
        for (int i = 0; i < frames; i++) {
            protect_ship();
            h.frame();
        }
    }
    void clear_projectiles() {
        scene_for_each(game.scene, [](Entity_Ref r) {
            if (r.entity->variant.kind == variant_projectile) scene_destroy_entity(r.id);
        });
    }
};
}  // namespace

TEST_F(Boss_Fight, StageRemovesRocksAndSpawnsTheBoss) {
    EXPECT_TRUE(asteroids().empty());
    ASSERT_NE(boss_entity(), nullptr);
    EXPECT_EQ(boss_entity()->health, BOSS_MAX_HEALTH);
    EXPECT_EQ(boss().state, waking_up);
    // No asteroids during the boss stage, however long.
    game.asteroid_spawn_timer = -1;
    for (int i = 0; i < 30 * 16; i++) {
        protect_ship();
        h.frame(1.0 / 16);
    }
    EXPECT_TRUE(asteroids().empty());
}

TEST_F(Boss_Fight, HitsWhileWakingOrDyingAreAbsorbed) {
    ASSERT_EQ(boss().state, waking_up);
    Entity_Id b = place_bullet({-50, 0}, {200, 0});
    h.frames(20);
    EXPECT_FALSE(scene_get_entity(b).has_value());
    EXPECT_EQ(boss_entity()->health, BOSS_MAX_HEALTH);
    EXPECT_EQ(audio_trace.started[boss_waking_up], 1u);

    boss().state = attack_spin;
    boss().state_timer = 0;
    boss_entity()->health = 1;
    b = place_bullet({-50, 0}, {200, 0});
    h.frames(20);
    EXPECT_FALSE(scene_get_entity(b).has_value());
    EXPECT_EQ(boss().state, dying);
    EXPECT_EQ(audio_trace.started[boss_dying], 1u);
    f32 health = boss_entity()->health;
    b = place_bullet({-50, 0}, {200, 0});
    h.frames(20);
    EXPECT_FALSE(scene_get_entity(b).has_value());
    EXPECT_EQ(boss_entity()->health, health);
    EXPECT_EQ(audio_trace.started[boss_dying], 1u);
}

TEST_F(Boss_Fight, AttackChoiceFollowsHealth) {
    Entity_Ref ref = boss_ref();
    std::set<int> healthy, hurt;
    for (int i = 0; i < 500; i++) {
        ref.entity->health = 11;
        boss().should_move_timer = 0;
        boss().state = moving;
        boss_choose_next_state(ref);
        healthy.insert(boss().state);
        ref.entity->health = 10;
        boss().state = moving;
        boss_choose_next_state(ref);
        hurt.insert(boss().state);
    }
    EXPECT_EQ(healthy, (std::set<int>{attack_targeted, attack_spin}));
    EXPECT_EQ(hurt, (std::set<int>{attack_big_wave, attack_spin}));
}

TEST_F(Boss_Fight, MoveOntoItsOwnPositionGoesToTheOppositeSide) {
    Entity_Ref ref = boss_ref();
    std::set<std::pair<int, int>> ends;
    for (int i = 0; i < 200; i++) {
        ref.entity->pos = {48, 0};
        boss().should_move_timer = BOSS_MOVE_EVERY + 1;
        boss_choose_next_state(ref);
        ASSERT_EQ(boss().state, moving);
        EXPECT_EQ(boss().should_move_timer, 0.0f);
        EXPECT_GE(length(boss().move_end - ref.entity->pos), BOSS_SAME_SPOT);
        ends.insert({int(std::lround(boss().move_end.x * 10)), int(std::lround(boss().move_end.y * 10))});
    }
    EXPECT_EQ(ends, (std::set<std::pair<int, int>>{{-480, 0}, {0, 432}, {0, -432}}));
}

TEST_F(Boss_Fight, TargetedAttackTicksWithoutAShip) {
    run(6 * 60);  // awake
    scene_destroy_entity(game.player);
    clear_projectiles();
    h.frame();
    ASSERT_FALSE(player_entity());
    boss().state = attack_targeted;
    boss().state_timer = 0;
    boss().sub_timer = 0;
    boss().should_move_timer = 0;
    u32 before = audio_trace.started[boss_attack_targeted];
    h.frames(int(3.5 * 60));
    EXPECT_EQ(audio_trace.started[boss_attack_targeted] - before, 3u);
    EXPECT_EQ(count_variant(variant_projectile), 0);
}

TEST_F(Boss_Fight, TargetedAttackAimsAtTheShip) {
    run(6 * 60);
    boss_entity()->pos = {0, 0};
    boss().state = attack_targeted;
    boss().state_timer = 0;
    boss().sub_timer = 0;
    boss().should_move_timer = 0;
    clear_projectiles();
    run(1);
    ASSERT_EQ(count_variant(variant_projectile), 0);
    player_entity()->pos = {0, -60};
    boss().sub_timer = 0.99f;
    run(1);
    std::vector<Entity> shots;
    scene_for_each(game.scene, [&](Entity_Ref r) {
        if (r.entity->variant.kind == variant_projectile) shots.push_back(*r.entity);
    });
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(shots[0].variant.projectile.kind, boss_bullet);
    EXPECT_LT(shots[0].vel.y, -70.0f);
    EXPECT_NEAR(length(shots[0].vel), TARGETED_ATTACK.bullet_speed, 1e-3);
}

TEST_F(Boss_Fight, GameIsWonFiveSecondsAfterItsDeath) {
    run(6 * 60);
    ASSERT_NE(boss().state, waking_up);
    boss_entity()->health = 1;
    protect_ship();
    auto ref = boss_ref();
    Damage_Info hit;
    hit.source = 0xFFFF;
    EXPECT_TRUE(entity_damage(ref, hit));
    ASSERT_EQ(boss().state, dying);
    for (int i = 0; i < 4.9 * 60; i++) {
        protect_ship();
        h.frame();
    }
    EXPECT_EQ(game.state, playing);
    EXPECT_NE(boss_entity(), nullptr);
    EXPECT_EQ(audio_trace.started[game_win], 0u);
    for (int i = 0; i < 12; i++) h.frame();
    EXPECT_EQ(game.state, won);
    EXPECT_EQ(boss_entity(), nullptr);
    EXPECT_EQ(audio_trace.started[game_win], 1u);
}

TEST_F(Stages, EachStageDrawsItsOwnKindsSpeedsAndIntervals) {
    game.state = playing;
    const std::set<int> kinds_of[5] = {
        {small, large}, {small, large, bomb}, {small, large, bomb, chaser},
        {small, large, bomb, chaser}, {small, large, bomb, chaser}};
    const f32 speed_of[5] = {15, 16, 17, 17, 17};
    const f32 max_interval[5] = {5, 4, 3, 3, 3};
    for (int stage = 0; stage < 5; stage++) {
        std::set<int> seen;
        int large_count = 0, small_count = 0;
        for (u64 seed = 0; seed < 300; seed++) {
            scene_clear(game.scene);
            game.player = 0;
            random_seed(seed * 31 + u64(stage));
            game.stage = stage;
            game.asteroid_spawn_timer = 0;
            asteroid_spawner_update(1.0f / 60);
            EXPECT_GE(game.asteroid_spawn_timer, 2.0f);
            EXPECT_LT(game.asteroid_spawn_timer, max_interval[stage]);
            for (const Entity& e : asteroids()) {
                Asteroid_Kind k = e.variant.asteroid.kind;
                seen.insert(k);
                large_count += k == large;
                small_count += k == small;
                f32 base = speed_of[stage] * ASTEROID_SPEED_FACTOR[k];
                EXPECT_GE(length(e.vel), base * 0.95f - 1e-3f) << "stage " << stage;
                EXPECT_LT(length(e.vel), base * 1.05f + 1e-3f) << "stage " << stage;
                EXPECT_EQ(e.collider.circle.rad, ASTEROID_RADIUS[k]);
            }
        }
        EXPECT_EQ(seen, kinds_of[stage]) << "stage " << stage;
        if (stage == 1 || stage == 2) {
            EXPECT_GT(large_count, small_count * 3 / 2) << "large is listed twice";
        }
    }
}

TEST_F(Stages, ChaserTurnsTowardTheShipKeepingItsSpeed) {
    game_set_state(playing);
    player_entity()->pos = {0, 0};
    Entity_Id id = place_asteroid({60, 0}, chaser, {0, 25});
    Vec2 last_vel;
    for (int i = 0; i < 40; i++) {
        player_entity()->pos = {0, 0};
        last_vel = scene_get_entity(id)->entity->vel;
        h.frame();
    }
    Entity* c = scene_get_entity(id)->entity;
    EXPECT_NEAR(length(c->vel), 25, 1e-3);
    // Started at right angles to the ship; now mostly heading for it.
    EXPECT_GT(dot(normalize(c->vel), normalize(-c->pos)), 0.5f);
    EXPECT_FLOAT_EQ(c->rot, angle_of(last_vel)) << "faces the velocity it had before steering";
}

TEST_F(Stages, BombBlastHurtsTheShipToo) {
    game_set_state(playing);
    ship().time_since_damage = 10;
    player_entity()->pos = {0, 0};
    Entity_Id b = place_asteroid({30, 0}, bomb);
    Damage_Info hit;
    hit.source = 0xFFFF;
    entity_damage(*scene_get_entity(b), hit);
    EXPECT_EQ(ship().health, 4);
    EXPECT_EQ(game.score, 1);
}

TEST_F(Boss_Fight, WakesAfterFiveSecondsAndMovesFirst) {
    run(79);  // 79/16 s would be < 5 s at 1/16; at 1/60 these are 1.3 s
    EXPECT_EQ(boss().state, waking_up);
    run(5 * 60 - 79 + 2);
    EXPECT_EQ(boss().state, moving);
    EXPECT_EQ(audio_trace.started[boss_moving], 1u);
    EXPECT_EQ(audio_trace.started[boss_waking_up], 1u);
    Vec2 goal = boss().move_end;
    EXPECT_TRUE((std::fabs(goal.x) == 48.0f && goal.y == 0) ||
                (goal.x == 0 && std::fabs(std::fabs(goal.y) - 43.2f) < 1e-4f));
    // About 30 units a second: 48 units take more than a second and arrive within three.
    run(60);
    EXPECT_EQ(boss().state, moving);
    EXPECT_GT(length(boss_entity()->pos), 20.0f);
    run(120);
    EXPECT_NE(boss().state, moving);
    EXPECT_EQ(boss_entity()->pos.x, goal.x);
    EXPECT_EQ(boss_entity()->pos.y, goal.y);
}

TEST_F(Boss_Fight, BigWaveFiresAtOnceWhenItsTimerRanLong) {
    run(6 * 60);
    boss_entity()->health = 10;
    boss().state = attack_big_wave;
    boss().state_timer = 0;
    boss().sub_timer = 4.5f;
    boss().should_move_timer = 0;
    clear_projectiles();
    u32 sounds = audio_trace.started[boss_attack_big_wave];
    run(1);
    std::vector<Entity> shots = projectiles();
    ASSERT_EQ(shots.size(), 14u);
    for (const Entity& s : shots) EXPECT_NEAR(length(s.vel), 30, 1e-3);
    EXPECT_EQ(audio_trace.started[boss_attack_big_wave], sounds + 1);
    run(3 * 60);
    EXPECT_EQ(audio_trace.started[boss_attack_big_wave], sounds + 1);
    run(62);
    EXPECT_EQ(audio_trace.started[boss_attack_big_wave], sounds + 2);
}

TEST_F(Boss_Fight, SpinTurnsOneRadianASecondAndFiresEveryFourTenths) {
    run(6 * 60);
    boss().state = attack_spin;
    boss().state_timer = 0;
    boss().sub_timer = 0;
    boss().should_move_timer = 0;
    boss_entity()->rot = 0;
    u32 sounds = audio_trace.started[boss_attack_spin];
    run(60);
    EXPECT_NEAR(boss_entity()->rot, 1.0f, 1e-3);
    EXPECT_EQ(audio_trace.started[boss_attack_spin], sounds + 2);  // at 0.4 and 0.8 s
    run(4 * 60 + 2);  // past 5 s the next choice is made
    EXPECT_NE(boss().state, attack_spin);
}

TEST_F(Stages, RockInsideTwoChainedBlastsCountsOnce) {
    game_set_state(playing);
    player_entity()->pos = {-70, -60};
    Entity_Id a = place_asteroid({0, 40}, bomb);
    place_asteroid({30, 40}, bomb);
    place_asteroid({15, 55}, small);  // inside both blasts
    Damage_Info hit;
    hit.source = 0xFFFF;
    entity_damage(*scene_get_entity(a), hit);
    EXPECT_EQ(game.score, 3);
    EXPECT_EQ(audio_trace.started[asteroid_destroyed], 1u);
    EXPECT_EQ(audio_trace.started[bomb_explode], 2u);
    EXPECT_EQ(count_popups(), 3);
}

TEST_F(Stages, BlastThatStartsTheBossStageScoresNoMore) {
    game_set_state(playing);
    player_entity()->pos = {-70, -60};
    game.stage = 4;
    game.score = 5 * STAGE_SCORE_STEP - 2;  // the bomb makes 69, the first rock in its blast 70
    Entity_Id b = place_asteroid({0, 40}, bomb);
    for (int i = 0; i < 3; i++) place_asteroid({f32(i) * 5, 50}, small);
    Damage_Info hit;
    hit.source = 0xFFFF;
    entity_damage(*scene_get_entity(b), hit);
    EXPECT_EQ(game.stage, 5);
    EXPECT_EQ(game.state, pick_upgrade);
    EXPECT_EQ(game.score, 5 * STAGE_SCORE_STEP);  // the rest went with the stage change, unscored
    EXPECT_EQ(count_popups(), 2);
    EXPECT_TRUE(asteroids().empty());
}

TEST_F(Stages, RockShotEarlierInTheFrameNoLongerHurtsTheShip) {
    game_set_state(playing);
    ship().time_since_damage = 10;
    ship().boost_timer = 10;
    player_entity()->pos = {0, 0};
    player_entity()->vel = {};
    // Slot order: ship, bullet, rock; the bullet's hit comes before the rock's own update.
    place_bullet({-6, 0}, {200, 0});
    Entity_Id rock = place_asteroid({5, 0}, small);
    h.frame();
    EXPECT_FALSE(scene_get_entity(rock).has_value());
    EXPECT_EQ(game.score, 1);
    EXPECT_EQ(ship().health, 5);
    EXPECT_EQ(audio_trace.started[player_damaged], 0u);
    EXPECT_EQ(audio_trace.started[asteroid_destroyed], 1u);
}
