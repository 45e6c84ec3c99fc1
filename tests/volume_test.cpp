// The player's volume: keys and pad buttons step it, the display shows it, and its own file
// keeps it between launches.
#include <gtest/gtest.h>

#include <functional>

#include "harness.h"
#include "text_runs.h"
#include "virtual_pad.h"

namespace fs = std::filesystem;

namespace {
enum Desktop_Volume_Key : int {
    DK_MINUS = int(Platform_Key::key_minus), DK_EQUAL = int(Platform_Key::key_equal),
    DK_LEFT_BRACKET = int(Platform_Key::key_left_bracket), DK_RIGHT_BRACKET = int(Platform_Key::key_right_bracket)
};
constexpr int RAW_LEFT_TRIGGER = 2, RAW_RIGHT_TRIGGER = 5;  // axes of the common wired pad

struct Volume_Test : Virtual_Pad_Test {
    std::string dir = private_exe_dir("vantorel-volume");
    Renderer_Capture cap;
    std::vector<Text_Run> runs() { return text_runs(cap.glyphs); }
    const Text_Run* shown(const std::vector<Text_Run>& all) {
        for (const Text_Run& r : all)
            if (r.y == 7 && (r.text.rfind("MUSIC ", 0) == 0 || r.text.rfind("EFFECTS ", 0) == 0)) return &r;
        return nullptr;
    }
};
}  // namespace

TEST_F(Volume_Test, KeysAndPadButtonsStepEachLevelWithinItsRangeAndTheMixerFollows) {
    const int left_shoulder = raw_button(Button::Left_Shoulder), right_shoulder = raw_button(Button::Right_Shoulder);
    ASSERT_GE(left_shoulder, 0);
    Headless h(dir);
    auto push_pad = [&](int button) {
        SDL_JoystickSetVirtualButton(pad, button, 1);
        h.frame();
        SDL_JoystickSetVirtualButton(pad, button, 0);
        h.frame();
    };
    auto pull_trigger = [&](int axis) {
        SDL_JoystickSetVirtualAxis(pad, axis, 32767);
        h.frames(3);  // held: one step, not one a frame
        SDL_JoystickSetVirtualAxis(pad, axis, -32768);
        h.frame();
    };
    struct Step {
        std::function<void()> act;
        int times;
        i32 music, effects;
    } steps[] = {
        {[&] { h.tap(DK_MINUS); }, 3, 10, 7},
        {[&] { h.tap(DK_EQUAL); }, 5, 10, 10},         // stops at the top
        {[&] { h.tap(DK_LEFT_BRACKET); }, 12, 0, 10},  // and at off
        {[&] { h.tap(DK_RIGHT_BRACKET); }, 1, 1, 10},
        {[&] { push_pad(left_shoulder); }, 2, 1, 8},
        {[&] { push_pad(right_shoulder); }, 1, 1, 9},
        {[&] { pull_trigger(RAW_RIGHT_TRIGGER); }, 4, 5, 9},
        {[&] { pull_trigger(RAW_LEFT_TRIGGER); }, 1, 4, 9},
    };
    for (Step& s : steps) {
        for (int i = 0; i < s.times; i++) s.act();
        EXPECT_EQ(volume.levels[volume_music], s.music);
        EXPECT_EQ(volume.levels[volume_effects], s.effects);
        EXPECT_FLOAT_EQ(audio_trace.music_gain, volume_gain(s.music));
        EXPECT_FLOAT_EQ(audio_trace.effects_gain, volume_gain(s.effects));
    }
    // Steps of 3 dB from the top, and nothing at all when off.
    EXPECT_FLOAT_EQ(volume_gain(VOLUME_LEVELS), 1);
    EXPECT_NEAR(20 * std::log10(volume_gain(7)), -9, 1e-4);
    EXPECT_EQ(volume_gain(0), 0);
}

TEST_F(Volume_Test, DisplayShowsTheSteppedLevelOnTheFreeTopLineThenGoes) {
    Headless h(dir);
    renderer.capture = &cap;
    h.frame();
    // The title names the keys on its bottom line, the pad's buttons when a pad is there.
    std::vector<Text_Run> all = runs();
    const Text_Run* hint = find_run(all, "LB/RB effects   LT/RT music", true);
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->y, VOLUME_HINT_BASELINE);
    EXPECT_EQ(shown(all), nullptr);

    h.tap(DK_LEFT_BRACKET);
    all = runs();
    const Text_Run* music = shown(all);
    ASSERT_NE(music, nullptr);
    EXPECT_EQ(music->text, "MUSIC |||||||||.");
    EXPECT_GT(music->x, 80);  // the top right, clear of the title picture

    start_game(h);
    h.tap(DK_MINUS);
    h.tap(DK_MINUS);
    all = runs();
    const Text_Run* effects = shown(all);
    ASSERT_NE(effects, nullptr);
    EXPECT_EQ(effects->text, "EFFECTS ||||||||..");
    // In play it stands between the score and the stage, on the screen's centre.
    const Text_Run* score = find_run(all, "SCORE 0", true);
    ASSERT_NE(score, nullptr);
    EXPECT_GT(effects->x, score->x + 40);
    EXPECT_LT(effects->x, 80);
    EXPECT_EQ(find_run(all, "STAGE 1/6", true)->x, 115);

    h.frames(int(VOLUME_SHOWN * 60) + 1);
    EXPECT_EQ(shown(runs()), nullptr);
    SDL_JoystickClose(pad);
    pad = nullptr;
    detach_virtual_pads();
    game_return_to_main_menu();
    h.frames(2);
    all = runs();
    EXPECT_NE(find_run(all, "-/= effects   [/] music", true), nullptr);
    renderer.capture = nullptr;
}

TEST_F(Volume_Test, KeptBetweenLaunchesInItsOwnFileBesideTheSettings) {
    const std::string file = dir + VOLUME_FILE;
    {
        Headless h(dir);
        h.frame();
    }
    EXPECT_FALSE(fs::exists(file)) << "a launch without a step writes nothing";
    {
        Headless h(dir);
        for (int i = 0; i < 4; i++) h.tap(DK_LEFT_BRACKET);
        h.tap(DK_MINUS);
    }
    EXPECT_EQ(read_text(file), "{\n\t\"music\": 6,\n\t\"effects\": 9\n}\n");
    EXPECT_EQ(fs::file_size(dir + "settings.json"), 97u);
    EXPECT_TRUE(temporaries_of(dir, VOLUME_FILE).empty());
    {
        Headless h(dir);
        EXPECT_EQ(volume.levels[volume_music], 6);
        EXPECT_EQ(volume.levels[volume_effects], 9);
        EXPECT_FLOAT_EQ(audio_trace.music_gain, volume_gain(6));
    }

    // Anything the game did not write leaves the levels at full, and the file as it was.
    const char* damaged[] = {"", "{", "{\"music\": 6}", "{\"music\": 11, \"effects\": 9}",
                             "{\"music\": -1, \"effects\": 9}", "{\"music\": 6, \"music\": 9}",
                             "{\"music\": 6, \"effects\": 9} x", "{\"music\": 6 \"effects\": 9}",
                             "{\"effects\": 9, \"loud\": 3}", "\xff\xfe{}"};
    for (const char* text : damaged) {
        SCOPED_TRACE(text);
        {
            std::ofstream(file, std::ios::binary) << text;
            Headless h(dir);
            EXPECT_EQ(volume.levels[volume_music], VOLUME_LEVELS);
            EXPECT_EQ(volume.levels[volume_effects], VOLUME_LEVELS);
        }
        EXPECT_EQ(read_text(file), text);
    }
    // Hand-edited spacing and order are fine.
    std::ofstream(file, std::ios::binary) << " {\"effects\":0 ,\r\n \"music\" : 10}";
    {
        Headless h(dir);
        EXPECT_EQ(volume.levels[volume_effects], 0);
        EXPECT_EQ(audio_trace.effects_gain, 0);
    }
    fs::remove_all(dir);
}

TEST_F(Volume_Test, AReplaysStepsAreHeardButNotKept) {
    const std::string rec = dir + "steps.rpl", file = dir + VOLUME_FILE;
    char error[256] = "";
    ASSERT_TRUE(replay_record_start(rec.c_str(), 5, error, sizeof error)) << error;
    {
        Headless h(dir);
        h.tap(DK_LEFT_BRACKET);
        h.tap(DK_LEFT_BRACKET);
        h.frame();
    }
    ASSERT_TRUE(fs::exists(file));  // the player's own steps are kept
    fs::remove(file);
    ASSERT_TRUE(replay_play_start(rec.c_str(), error, sizeof error)) << error;
    {
        Headless h(dir);
        for (int i = 0; i < 20 && !replay_finished(); i++) h.frame();
        EXPECT_EQ(volume.levels[volume_music], 8);
    }
    EXPECT_FALSE(fs::exists(file));
}
