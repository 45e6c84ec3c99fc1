#include <gtest/gtest.h>

#include "game/input.h"
#include "harness.h"

namespace {
Input_Event key(Input_Event_Kind kind, int code, bool repeat = false) {
    return Input_Event{kind, code, repeat, mouse_button_other};
}
}  // namespace

TEST(KeyTable, DesktopNumberingMapsEveryNamedKey) {
    EXPECT_EQ(input_map_key(32), Input_Code::key_space);
    EXPECT_EQ(input_map_key(39), Input_Code::key_apostrophe);
    EXPECT_EQ(input_map_key(47), Input_Code::key_slash);
    EXPECT_EQ(input_map_key(57), Input_Code::key_9);
    EXPECT_EQ(input_map_key(65), Input_Code::key_a);
    EXPECT_EQ(input_map_key(90), Input_Code::key_z);
    EXPECT_EQ(input_map_key(96), Input_Code::key_grave_accent);
    EXPECT_EQ(input_map_key(162), Input_Code::key_world_2);
    EXPECT_EQ(input_map_key(256), Input_Code::key_escape);
    EXPECT_EQ(input_map_key(269), Input_Code::key_end);
    EXPECT_EQ(input_map_key(284), Input_Code::key_pause);
    EXPECT_EQ(input_map_key(300), Input_Code::key_f11);
    EXPECT_EQ(input_map_key(314), Input_Code::key_f25);
    EXPECT_EQ(input_map_key(336), Input_Code::key_kp_equal);
    EXPECT_EQ(input_map_key(348), Input_Code::key_menu);
    // Gaps in the numbering and out-of-range values fall to invalid.
    for (int k : {-1, 0, 31, 40, 58, 60, 97, 160, 163, 255, 270, 285, 315, 337, 339, 349, 100000})
        EXPECT_EQ(input_map_key(k), Input_Code::invalid) << k;
}

TEST(KeyTable, PressAndReleaseInOneFrameCountsOnce) {
    input_handle_event(key(event_key_down, DK_X));
    input_handle_event(key(event_key_up, DK_X));
    EXPECT_TRUE(key_pressed(Input_Code::key_x));
    EXPECT_TRUE(key_active(Input_Code::key_x));
    EXPECT_FALSE(key_held(Input_Code::key_x));
    Player_Input in;
    in.buffered[0] = in.buffered[1] = 1e11f;
    player_gather_input(in, 0.016f);
    EXPECT_TRUE(in.down & action_bit(Player_Input_Action::attack));
    EXPECT_TRUE(in.pressed & action_bit(Player_Input_Action::attack));
    EXPECT_EQ(in.buffered[0], 0.0f);
    EXPECT_EQ(in.buffered[1], 1e11f);  // never pressed: never advanced
    input_end_frame();
    player_gather_input(in, 0.016f);
    EXPECT_TRUE(in.released & action_bit(Player_Input_Action::attack));
    EXPECT_FALSE(in.down);
    EXPECT_FLOAT_EQ(in.buffered[0], 0.016f);
}

TEST(KeyTable, AutoRepeatAddsNothing) {
    input_handle_event(key(event_key_down, DK_X));
    input_end_frame();
    EXPECT_FALSE(key_pressed(Input_Code::key_x));
    input_handle_event(key(event_key_down, DK_X, true));
    EXPECT_FALSE(key_pressed(Input_Code::key_x));
    EXPECT_TRUE(key_held(Input_Code::key_x));
    input_handle_event(key(event_key_up, DK_X, true));
    EXPECT_TRUE(key_held(Input_Code::key_x));
}

TEST(KeyTable, OppositeSteeringCancelsAndMouseButtonsUseTheTable) {
    input_handle_event(key(event_key_down, DK_LEFT));
    input_handle_event(key(event_key_down, DK_RIGHT));
    Player_Input in;
    player_gather_input(in, 0.016f);
    EXPECT_EQ(in.dir.x, 0.0f);
    input_handle_event(Input_Event{event_mouse_down, 0, false, mouse_button_left});
    EXPECT_TRUE(key_pressed(Input_Code::mouse_left));
    input_handle_event(Input_Event{event_mouse_down, 0, false, mouse_button_other});
    EXPECT_TRUE(key_held(Input_Code::invalid));
    input_reset();
}
