#include <gtest/gtest.h>

#include "harness.h"
#include "text_runs.h"

namespace {
struct Ui_Fixture : testing::Test {
    Headless h;
    Renderer_Capture cap;
    void SetUp() override {
        std::vector<u8> font = read_whole_file(VANTOREL_FONT);
        ASSERT_TRUE(_renderer_load_font_data(font.data(), font.size()));
        renderer.capture = &cap;
        audio_trace = Audio_Trace{};
    }
    void TearDown() override { renderer.capture = nullptr; }
    std::vector<Text_Run> runs() { return text_runs(cap.glyphs); }
    // x of a drawn text, or -1 when it is not there.
    f32 x_of(const std::string& text, bool white) {
        std::vector<Text_Run> all = runs();
        const Text_Run* r = find_run(all, text, white);
        return r ? r->x : -1;
    }
    // Menu text (red) and selected (white) runs, shadows and the title's volume hint left out.
    std::vector<std::pair<std::string, f32>> items() {
        std::vector<std::pair<std::string, f32>> out;
        for (const Text_Run& r : runs())
            if (r.color[0] == 255 && r.text != ">" && r.y != VOLUME_HINT_BASELINE) out.push_back({r.text, r.y});
        return out;
    }
    u32 started(Audio_Event e) { return audio_trace.started[e]; }
};

using Items = std::vector<std::pair<std::string, f32>>;
}  // namespace

TEST_F(Ui_Fixture, MainMenuButtonSlidesInWhenSelected) {
    ui.selected = 1;
    h.frame();
    std::vector<Text_Run> all = runs();
    const Text_Run* idle = find_run(all, "New Game", false);
    ASSERT_NE(idle, nullptr);
    EXPECT_EQ(idle->x, 40);
    EXPECT_EQ(idle->y, 96);
    const Text_Run* shadow = nullptr;
    for (const Text_Run& r : all)
        if (r.text == "New Game" && r.color[0] == 0) shadow = &r;
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->x, 41);
    EXPECT_EQ(shadow->y, 97);

    h.tap(DK_UP);  // back to New Game: the slide starts over (drawn from the next frame)
    h.frame();
    EXPECT_EQ(x_of(">", true), 40);
    f32 first = x_of("New Game", true);
    EXPECT_EQ(first, 40);  // laid out before this frame's time is added
    h.frames(9, 1.0 / 60);
    f32 mid = x_of("New Game", true);
    EXPECT_GT(mid, first);
    EXPECT_LT(mid, 50);
    h.frames(11, 1.0 / 60);  // just past a third of a second after the move
    EXPECT_FLOAT_EQ(x_of("New Game", true), 50);
    EXPECT_EQ(x_of(">", true), 40);
}

TEST_F(Ui_Fixture, EveryScreenPlacesItsItemsOnTheirRows) {
    ui.selected_time = 1;  // fully slid in
    h.frame();
    EXPECT_EQ(items(), (Items{{"New Game", 96}, {"Credits", 104}, {"Exit to Desktop", 112}}));
    game_set_state(game_over);
    h.frame();
    EXPECT_EQ(items(), (Items{{"GAME OVER", 24}, {"Better luck next time!", 48}, {"Continue", 64}}));
    game_set_state(won);
    h.frame();
    EXPECT_EQ(items(), (Items{{"YOU WON!", 24}, {"Thank you for playing! :)", 48}, {"Continue", 64}}));
    game.stage = 1;
    game.upgrade_choices[0] = num_bullets;
    game.upgrade_choices[1] = max_charges;
    game_set_state(pick_upgrade);
    h.frame();
    EXPECT_EQ(items(), (Items{{"STAGE 2/6", 24}, {"Pick an Upgrade", 48}, {"More Bullets per shot", 64},
                              {"Energy Capacity", 72}}));
    game_set_state(paused);
    h.frame();
    EXPECT_EQ(items(), (Items{{"Paused", 16}, {"Continue", 40}, {"Main Menu", 48}}));
    game_set_state(credits);
    h.frame();
    Items credits = items();
    ASSERT_EQ(credits.size(), 5u);
    EXPECT_EQ(credits[0], (std::pair<std::string, f32>{"Credits", 16}));
    EXPECT_EQ(credits[1].second, 40);
    EXPECT_NE(credits[1].first.find(" - programming"), std::string::npos);
    EXPECT_EQ(credits[2].second, 48);
    EXPECT_NE(credits[2].first.find(" - pixelart"), std::string::npos);
    EXPECT_EQ(credits[3].second, 56);
    EXPECT_NE(credits[3].first.find(" - audio"), std::string::npos);
    EXPECT_EQ(credits[4], (std::pair<std::string, f32>{"Return", 72}));
    // Large labels are drawn at twice the size.
    std::vector<Text_Run> all = runs();
    ASSERT_NE(find_run(all, "Credits", false), nullptr);
    EXPECT_EQ(find_run(all, "Credits", false)->size, 16);
}

TEST_F(Ui_Fixture, HudShowsScoreStageEnergyAndHealth) {
    start_game(h);
    game.score = 3;
    auto bar = [&]() -> std::string {
        for (const Text_Run& r : runs())
            if (r.y == 143 && r.x == 60) return r.text;
        return "";
    };
    Entity* p = player_entity();
    p->variant.player.health = 0;
    h.frame();
    std::vector<Text_Run> r = runs();
    EXPECT_EQ(x_of("SCORE 3", true), 1);
    EXPECT_EQ(x_of("STAGE 1/6", true), 115);
    ASSERT_NE(find_run(r, "energy 0/1", true), nullptr);
    EXPECT_EQ(find_run(r, "energy 0/1", true)->y, 143);
    EXPECT_EQ(bar(), "");
    p->variant.player.health = 5;
    h.frame();
    EXPECT_EQ(bar(), "+++++");
    p->variant.player.health = 20;
    h.frame();
    EXPECT_EQ(bar(), "++++++++++++++");
    // Without the ship only the score and the stage remain.
    scene_destroy_entity(game.player);
    h.frame();
    r = runs();
    EXPECT_NE(find_run(r, "SCORE 3", true), nullptr);
    EXPECT_EQ(bar(), "");
    for (const Text_Run& t : r) EXPECT_EQ(t.text.find("energy"), std::string::npos);
}

TEST_F(Ui_Fixture, IntroAndTutorialHints) {
    h.tap(DK_ENTER);
    h.frame();
    EXPECT_EQ(x_of("Hold left/right to charge energy", true), 10);
    h.down(DK_RIGHT);
    h.frame();
    player_entity()->variant.player.num_charges = 1;
    h.frame();
    std::vector<Text_Run> all = runs();
    const Text_Run* hint = find_run(all, "Press X to Shoot or Z to Boost", true);
    ASSERT_NE(hint, nullptr);
    EXPECT_FLOAT_EQ(hint->y, 43.2f);
    h.up(DK_RIGHT);
}

TEST_F(Ui_Fixture, MenuTransitionsAndTheirMusic) {
    h.frame();
    // Credits and back keep the menu music running.
    h.tap(DK_DOWN);
    h.tap(DK_ENTER);
    EXPECT_EQ(game.state, credits);
    EXPECT_EQ(started(ui_press), 1u);
    EXPECT_EQ(started(ui_hover), 1u);
    for (int i = 0; i < 3; i++) h.tap(DK_DOWN);
    EXPECT_EQ(ui.selected, 3);  // Return
    h.tap(DK_DOWN);
    EXPECT_EQ(ui.selected, 0);  // wrapped to the first credit
    h.tap(DK_ESCAPE);
    EXPECT_EQ(game.state, main_menu);
    EXPECT_EQ(started(music_menu), 0u);
    // New Game: menu music out, game music in.
    h.tap(DK_ENTER);
    EXPECT_EQ(game.state, intro);
    EXPECT_EQ(started(music_game), 1u);
    EXPECT_EQ(game.scene.next_id, 2u);
    h.tap(DK_LEFT);
    EXPECT_EQ(game.state, tutorial);
    // Pause -> Continue keeps the game music.
    game_set_state(playing);
    h.tap(DK_ESCAPE);
    EXPECT_EQ(game.state, paused);
    h.tap(DK_ENTER);
    EXPECT_EQ(game.state, playing);
    // Pause -> Main Menu switches to the menu music.
    h.tap(DK_ESCAPE);
    h.tap(DK_DOWN);
    h.tap(DK_ENTER);
    EXPECT_EQ(game.state, main_menu);
    EXPECT_EQ(started(music_menu), 1u);
    // Leaving a game keeps its world until the next New Game.
    EXPECT_NE(player_entity(), nullptr);
}

TEST_F(Ui_Fixture, EndScreensIgnoreEscapeAndLeadOn) {
    start_game(h);
    for (Game_State s : {game_over, won, pick_upgrade}) {
        game_set_state(s);
        h.tap(DK_ESCAPE);
        EXPECT_EQ(game.state, s);
    }
    game_set_state(game_over);
    h.tap(DK_ENTER);
    EXPECT_EQ(game.state, main_menu);
    EXPECT_EQ(started(music_menu), 1u);

    game_set_state(won);
    h.tap(DK_ENTER);
    EXPECT_EQ(game.state, credits);
    h.tap(DK_UP);  // wraps to Return
    h.tap(DK_ENTER);
    EXPECT_EQ(game.state, main_menu);
    EXPECT_EQ(started(music_menu), 1u);  // from the credits: music kept
}

TEST_F(Ui_Fixture, EnterActivatesOnlyTheSelectedButtonOnce) {
    start_game(h);
    game.upgrade_choices[0] = steering_speed;
    game.upgrade_choices[1] = bullet_speed;
    game_set_state(pick_upgrade);
    h.frame();
    h.tap(DK_DOWN);
    u32 presses = started(ui_press);
    h.tap(DK_ENTER);
    EXPECT_EQ(started(ui_press), presses + 1);
    EXPECT_EQ(game.state, playing);
    const Player_Entity& p = player_entity()->variant.player;
    EXPECT_EQ(p.stat_levels[bullet_speed], 1);
    EXPECT_EQ(p.stat_levels[steering_speed], 0);
    // Holding Enter does not activate again.
    h.down(DK_ENTER);
    h.frame();
    game_set_state(game_over);
    h.frames(3);
    EXPECT_EQ(game.state, game_over);
    h.up(DK_ENTER);
}

TEST_F(Ui_Fixture, DimmingOverlaysComeAfterTheWorldTheyCover) {
    // A translucent overlay writes depth: anything farther queued after it would vanish.
    start_game(h);
    for (Game_State s : {paused, pick_upgrade}) {
        game_set_state(s);
        h.frame();
        int overlay = -1;
        for (size_t i = 0; i < cap.sprites.size(); i++)
            if (cap.sprites[i].right[0] >= 1600) overlay = int(i);
        ASSERT_GE(overlay, 0) << s;
        EXPECT_GT(overlay, 2) << "the world must be queued before the overlay";
        for (size_t i = size_t(overlay) + 1; i < cap.sprites.size(); i++)
            EXPECT_GE(cap.sprites[i].pos[2], cap.sprites[size_t(overlay)].pos[2]) << s;
    }
}
