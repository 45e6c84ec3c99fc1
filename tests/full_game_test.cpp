#include <gtest/gtest.h>

#include "game/physics.h"
#include "game/player.h"
#include "game/random.h"
#include "harness.h"

namespace {
constexpr double STEP = 1.0 / 16;

struct Player_Session {
    Headless h;

    void frame() { h.frame(STEP); }
    void tap(int key) {
        h.down(key);
        frame();
        h.up(key);
    }
    // Rocks may touch the ship and boss bullets may hit it; the game still has to go on.
    void keep_alive() {
        if (Entity* p = player_entity()) {
            p->variant.player.health = 5;
            p->variant.player.time_since_damage = 0;
        }
    }
    void run(int frames) {
        for (int i = 0; i < frames; i++) {
            keep_alive();
            frame();
        }
    }
    // Steers until a charge is ready, alternating sides so the ship stays near the middle.
    void charge() {
        static bool right = true;
        int key = right ? DK_RIGHT : DK_LEFT;
        right = !right;
        h.down(key);
        for (int i = 0; i < 100 && ship().num_charges < 1; i++) run(1);
        h.up(key);
        run(1);
        ASSERT_GE(ship().num_charges, 1);
    }
    // Fires one real shot and waits until its bullets have hit or left.
    void fire() {
        u32 shots = audio_trace.started[player_shoot];
        keep_alive();
        tap(DK_X);
        EXPECT_EQ(audio_trace.started[player_shoot], shots + 1);
        for (int i = 0; i < 80 && player_bullets() > 0 &&
                        (game.state == playing || game.state == tutorial);
             i++)
            run(1);
    }
    Vec2 ahead_of_ship(f32 dist) {
        Entity* p = player_entity();
        return p->pos + from_angle(p->rot) * dist;
    }
};

}  // namespace

TEST(FullGame, FromTheMainMenuToVictoryAndBack) {
    random_seed(2024);
    Player_Session s;
    ASSERT_EQ(game.state, main_menu);
    s.tap(DK_ENTER);  // New Game
    ASSERT_EQ(game.state, intro);
    EXPECT_EQ(audio_trace.started[music_game], 1u);
    s.h.down(DK_RIGHT);
    s.frame();
    s.h.up(DK_RIGHT);
    ASSERT_EQ(game.state, tutorial);

    for (int stage = 1; stage <= 5; stage++) {
        int shots = 0;
        while (game.state != pick_upgrade) {
            ASSERT_LT(++shots, 60) << "stage " << stage << " does not end";
            s.charge();
            place_asteroid(s.ahead_of_ship(40), small);
            int score = game.score;
            s.fire();
            // The bullet may meet a wandering rock before the placed one; either counts.
            EXPECT_GT(game.score, score);
        }
        EXPECT_EQ(game.stage, stage) << "STAGE " << stage + 1 << "/6";
        EXPECT_GE(game.score, STAGE_SCORE_STEP * stage);  // a fan may hit two rocks in one frame
        EXPECT_EQ(audio_trace.started[new_stage], 2u * stage);
        s.frame();
        s.tap(DK_ENTER);
        ASSERT_EQ(game.state, playing);
    }

    Entity* boss = boss_entity();
    ASSERT_NE(boss, nullptr);
    EXPECT_EQ(count_variant(variant_asteroid), 0);
    for (int i = 0; i < 200 && boss_entity()->variant.boss.state == waking_up; i++) s.run(1);
    ASSERT_NE(boss_entity()->variant.boss.state, waking_up);
    EXPECT_EQ(audio_trace.started[boss_waking_up], 1u);

    int shots = 0;
    while (boss_entity() && boss_entity()->health > 0) {
        ASSERT_LT(++shots, 100) << "the boss does not die";
        s.charge();
        // Aim: put the ship 40 units from the boss, facing it.
        Entity* b = boss_entity();
        Entity* p = player_entity();
        Vec2 away = b->pos.x > 0 ? Vec2{-1, 0} : Vec2{1, 0};
        p->pos = b->pos + away * 40;
        p->rot = angle_of(-away);
        f32 health = b->health;
        s.fire();
        if (boss_entity()) {
            EXPECT_LT(boss_entity()->health, health);
        }
    }
    ASSERT_NE(boss_entity(), nullptr);
    EXPECT_EQ(boss_entity()->variant.boss.state, dying);
    EXPECT_EQ(audio_trace.started[boss_dying], 1u);
    for (int i = 0; i < 100 && game.state == playing; i++) s.run(1);
    ASSERT_EQ(game.state, won);  // "YOU WON!"
    EXPECT_EQ(boss_entity(), nullptr);
    EXPECT_EQ(audio_trace.started[game_win], 1u);

    s.frame();
    s.tap(DK_ENTER);  // Continue
    ASSERT_EQ(game.state, credits);
    s.tap(DK_UP);  // from the first entry up to "Return"
    s.tap(DK_ENTER);
    EXPECT_EQ(game.state, main_menu);
    EXPECT_EQ(audio_trace.started[music_menu], 1u);  // the game music plays on
}

TEST(FullGame, RammedUntilGameOverThenBackToTheMenu) {
    random_seed(99);
    Player_Session s;
    s.tap(DK_ENTER);
    s.h.down(DK_LEFT);
    s.frame();
    s.h.up(DK_LEFT);
    ASSERT_EQ(game.state, tutorial);
    s.charge();
    s.tap(DK_X);
    ASSERT_EQ(game.state, playing);

    int rams = 0;
    while (game.state == playing) {
        ASSERT_LT(rams, 5);
        s.frame();
        Player_Entity& p = ship();
        if (p.time_since_damage < DAMAGE_INVULNERABLE || p.boost_timer < BOOST_INVULNERABLE || game.hit_stop_timer >= 0.001f) continue;
        int health = p.health;
        place_asteroid(player_entity()->pos, large);
        s.frame();
        if (game.state == playing) {
            EXPECT_EQ(ship().health, health - 1);
        }
        rams++;
    }
    EXPECT_EQ(rams, 5);
    EXPECT_EQ(game.state, game_over);  // "GAME OVER"
    EXPECT_EQ(ship().health, 0);
    EXPECT_EQ(audio_trace.started[game_lose], 1u);
    EXPECT_EQ(audio_trace.started[player_damaged], 5u);

    s.frame();
    s.tap(DK_ENTER);  // Continue
    EXPECT_EQ(game.state, main_menu);
    EXPECT_EQ(audio_trace.started[music_menu], 2u);
}
