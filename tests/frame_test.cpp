#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "game/settings.h"
#include "harness.h"

namespace {
// An empty folder of this test process's own.
std::filesystem::path own_dir(const std::string& name) {
    std::filesystem::path d = std::filesystem::path(testing::TempDir()) /
                              ("vantorel-frame-" + name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    return d;
}
}  // namespace

TEST(Frame, StepIsClampedToTheSupportedRange) {
    Headless h;
    h.frame(0.5);
    EXPECT_FLOAT_EQ(last_time_step.real, 0.0625f);
    EXPECT_FLOAT_EQ(last_time_step.sim, 0.0625f);
    h.frame(0.0);
    EXPECT_FLOAT_EQ(last_time_step.real, 0.00390625f);
    h.frame(0.02);
    EXPECT_FLOAT_EQ(last_time_step.real, 0.02f);
}

TEST(Frame, F11TogglesOncePerPressNeverOnHold) {
    Headless h;
    bool start = platform_is_fullscreen();
    h.down(DK_F11);
    h.frame();
    EXPECT_NE(platform_is_fullscreen(), start);
    h.down(DK_F11, true);  // auto-repeat
    h.frames(10);
    EXPECT_NE(platform_is_fullscreen(), start);
    h.up(DK_F11);
    h.frame();
    h.tap(DK_F11);
    EXPECT_EQ(platform_is_fullscreen(), start);
}

TEST(Frame, StartsOnTheMainMenuWithAWorldAlreadyReset) {
    Headless h;
    EXPECT_EQ(game.state, main_menu);
    Entity* p = player_entity();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->variant.kind, variant_player);
    EXPECT_EQ(p->variant.player.health, 5);
    EXPECT_EQ(p->variant.player.stat_levels[max_charges], 1);
    EXPECT_EQ(game.stage, 0);
    EXPECT_EQ(audio_trace.started[music_menu], 1u);
}

TEST(StateMachine, NewGameIntroThenTutorialOnSteering) {
    Headless h;
    h.frames(3);
    h.tap(DK_ENTER);
    EXPECT_EQ(game.state, intro);
    EXPECT_EQ(game.scene.next_id, 2u);  // the ship took identifier 1
    EXPECT_EQ(game.player, 1u);
    Vec2 before = player_entity()->pos;
    h.frames(5);
    EXPECT_EQ(game.state, intro);
    EXPECT_EQ(player_entity()->pos.x, before.x);  // frozen until left/right
    h.down(DK_LEFT);
    h.frame();
    EXPECT_EQ(game.state, tutorial);
    // The press is not consumed: later world steps still see the key held. The ship
    // starts with a quarter-second boost, during which it cannot turn.
    h.frames(20);
    EXPECT_GT(player_entity()->variant.player.charge_timer, 0.0f);
    EXPECT_GT(player_entity()->rot, 0.0f);  // left turns counter-clockwise
}

TEST(StateMachine, EscapePausesAndResumes) {
    Headless h;
    start_game(h);
    game_set_state(playing);
    h.tap(DK_ESCAPE);
    EXPECT_EQ(game.state, paused);
    h.frame();
    h.tap(DK_ESCAPE);
    EXPECT_EQ(game.state, playing);
}

TEST(StateMachine, LosingFocusPausesPlayAndNothingElse) {
    Headless h;
    for (int s = 0; s < GAME_STATE_COUNT; s++) {
        if (s == playing) continue;
        game_set_state(Game_State(s));
        h.frame();
        i64 selected = ui.selected;
        h.focus_lost();
        h.frame();
        EXPECT_EQ(game.state, Game_State(s)) << s;
        EXPECT_EQ(ui.selected, selected) << s;
    }
    // A loss seen in another state is not kept for later.
    game_set_state(tutorial);
    h.focus_lost();
    h.frame();
    game_set_state(playing);
    h.frames(3);
    EXPECT_EQ(game.state, playing);

    f32 time = game.time;
    h.focus_lost();
    h.frame();
    EXPECT_EQ(game.state, paused);
    EXPECT_GT(game.time, time);  // like escape: the frame's world step still ran
    time = game.time;
    h.frames(30);  // focus coming back sends nothing, and nothing moves
    EXPECT_EQ(game.state, paused);
    EXPECT_EQ(game.time, time);
    h.tap(DK_ESCAPE);
    EXPECT_EQ(game.state, playing);
}

TEST(StateMachine, EscapeInTheFrameThatEndsTheGameDoesNotPause) {
    Headless h;
    start_game(h);
    game_set_state(playing);
    Entity* p = player_entity();
    p->variant.player.health = 1;
    p->variant.player.boost_timer = 10;
    p->variant.player.time_since_damage = 10;
    // An asteroid sitting on the ship ends the game during this frame's world step.
    Entity rock;
    rock.pos = p->pos;
    rock.tags = tag_asteroid;
    rock.collider = make_circle_collider(10);
    rock.variant.kind = variant_asteroid;
    rock.variant.asteroid = {small, 1};
    scene_spawn_entity(rock);
    h.tap(DK_ESCAPE);
    EXPECT_EQ(game.state, game_over);
}

TEST(StateMachine, EveryStateChangeResetsTheSelection) {
    Headless h;
    h.tap(DK_DOWN);
    EXPECT_EQ(ui.selected, 1);
    h.tap(DK_ENTER);  // Credits
    EXPECT_EQ(game.state, credits);
    EXPECT_EQ(ui.selected, 0);
    h.tap(DK_DOWN);
    h.tap(DK_DOWN);
    EXPECT_EQ(ui.selected, 2);
    game_set_state(credits);  // same state: selection stays
    EXPECT_EQ(ui.selected, 2);
    h.tap(DK_ESCAPE);
    EXPECT_EQ(game.state, main_menu);
    EXPECT_EQ(ui.selected, 0);
}

TEST(StateMachine, MenuSelectionWrapsBothWays) {
    Headless h;
    h.frame();
    h.tap(DK_UP);
    EXPECT_EQ(ui.selected, 2);
    h.tap(DK_DOWN);
    EXPECT_EQ(ui.selected, 0);
    // Up and down in one frame cancel but still count as a move.
    h.frame();
    f32 t = ui.selected_time;
    EXPECT_GT(t, 0.0f);
    h.down(DK_UP);
    h.down(DK_DOWN);
    h.frame();
    EXPECT_EQ(ui.selected, 0);
    EXPECT_EQ(ui.selected_time, 0.0f);
}

TEST(Settings, JsonIsExactlyTheDefaultBindings) {
    const std::string expected =
        "{\n\t\"input_map\": {\n\t\t\"keyboard_map\": [\n\t\t\t42, \n\t\t\t44\n\t\t], \n"
        "\t\t\"gamepad_map\": [\n\t\t\t2, \n\t\t\t0\n\t\t]\n\t}\n}";
    EXPECT_EQ(settings_to_json(settings), expected);
    // What a session leaves beside the game when it ends.
    std::filesystem::path dir = own_dir("json");
    { Headless h(dir.string()); }
    EXPECT_EQ(read_text(dir / "settings.json"), expected);
    std::filesystem::remove_all(dir);
}

TEST(Settings, SaveReplacesALongerFileWhole) {
    std::filesystem::path dir = own_dir("longer");
    std::string path = (dir / "vantorel_settings.json").string();
    {
        std::ofstream f(path);
        f << std::string(4000, 'x');
    }
    ASSERT_TRUE(settings_save_to(path.c_str()));
    EXPECT_EQ(read_text(path), settings_to_json(settings));
    EXPECT_TRUE(temporaries_of(dir, "vantorel_settings.json").empty());
    std::filesystem::remove_all(dir);
}

TEST(Settings, FailedSaveLeavesNoPartialFile) {
    // A folder that does not exist: nothing can be created.
    EXPECT_FALSE(settings_save_to("/nonexistent-vantorel-dir/settings.json"));

    // A write cut short, with the file size limit standing in for a full disk: the earlier
    // file stays as it was and nothing half-written is left beside it.
    std::filesystem::path dir = own_dir("cut-short");
    std::filesystem::path path = dir / "settings.json";
    const std::string earlier = "an earlier session's settings";
    std::ofstream(path, std::ios::binary) << earlier;
    rlimit unlimited = {}, limited = {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    limited = unlimited;
    limited.rlim_cur = 16;  // bytes, well short of the whole text
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool saved = settings_save_to(path.c_str());
    setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(read_text(path), earlier);
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir)) left.push_back(e.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"settings.json"});
    std::filesystem::remove_all(dir);
}

TEST(Frame, WithoutDataTheGameRunsBlankAndStillSavesSettings) {
    std::string dir = own_dir("nodata").string() + "/";
    Renderer_Capture cap;
    {
        Headless h(dir);
        renderer.capture = &cap;
        h.tap(DK_ENTER);
        h.tap(DK_RIGHT);
        h.frames(120);
        EXPECT_EQ(game.state, tutorial);
        EXPECT_TRUE(cap.sprites.empty());
        EXPECT_TRUE(cap.glyphs.empty());
        renderer.capture = nullptr;
    }
    EXPECT_EQ(std::filesystem::file_size(dir + "settings.json"), 97u);
    std::filesystem::remove_all(dir);
}

// A frame is drawn exactly when its picture differs from the last one; still screens draw none.
TEST(Frame, OnlyFramesThatChangeThePictureAreDrawn) {
    Headless h;
    Renderer_Capture cap;
    renderer.capture = &cap;
    auto bytes = [&] {
        const u8* s = reinterpret_cast<const u8*>(cap.sprites.data());
        const u8* g = reinterpret_cast<const u8*>(cap.glyphs.data());
        std::vector<u8> b(s, s + cap.sprites.size() * sizeof(Sprite_Instance));
        b.insert(b.end(), g, g + cap.glyphs.size() * sizeof(Font_Instance));
        return b;
    };
    std::vector<u8> shown;
    int drawn_at_rest = 0;
    // The title, then the credits: the selection eases in and the screen stands still.
    for (int f = 0; f < 240; f++) {
        int key = f == 100 ? DK_DOWN : f == 110 ? DK_ENTER : 0;
        if (key) h.down(key);
        h.frame();
        if (key) h.up(key);
        std::vector<u8> now = bytes();
        EXPECT_EQ(platform_frame_drawn(), now != shown) << "frame " << f;
        if (f >= 180) drawn_at_rest += platform_frame_drawn();
        shown = now;
    }
    EXPECT_EQ(game.state, credits);
    EXPECT_EQ(drawn_at_rest, 0);
    renderer.capture = nullptr;
}
