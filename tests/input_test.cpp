#include <gtest/gtest.h>

#include "game/input.h"
#include "harness.h"
#include "platform/platform.h"

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
    in.buffered[0] = in.buffered[1] = NOTHING_BUFFERED;
    player_gather_input(in, 0.016f);
    EXPECT_TRUE(in.down & action_bit(Player_Input_Action::attack));
    EXPECT_TRUE(in.pressed & action_bit(Player_Input_Action::attack));
    EXPECT_EQ(in.buffered[0], 0.0f);
    EXPECT_EQ(in.buffered[1], NOTHING_BUFFERED);  // never pressed: never advanced
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

// The window layer names its keys; the game must hear each as the code of the same name,
// and each event kind, repeat and mouse button as before, or recordings would change.
TEST(KeyTable, PlatformEventsTranslateToTheSameNamedCodes) {
    struct Pair {
        Platform_Key key;
        Input_Code code;
    };
#define SAME(name) Pair{Platform_Key::name, Input_Code::name}
    const Pair pairs[] = {
        SAME(key_space), SAME(key_apostrophe), SAME(key_comma), SAME(key_minus), SAME(key_period),
        SAME(key_slash), SAME(key_0), SAME(key_1), SAME(key_2), SAME(key_3), SAME(key_4), SAME(key_5),
        SAME(key_6), SAME(key_7), SAME(key_8), SAME(key_9), SAME(key_semicolon), SAME(key_equal), SAME(key_a),
        SAME(key_b), SAME(key_c), SAME(key_d), SAME(key_e), SAME(key_f), SAME(key_g), SAME(key_h), SAME(key_i),
        SAME(key_j), SAME(key_k), SAME(key_l), SAME(key_m), SAME(key_n), SAME(key_o), SAME(key_p), SAME(key_q),
        SAME(key_r), SAME(key_s), SAME(key_t), SAME(key_u), SAME(key_v), SAME(key_w), SAME(key_x), SAME(key_y),
        SAME(key_z), SAME(key_left_bracket), SAME(key_backslash), SAME(key_right_bracket),
        SAME(key_grave_accent), SAME(key_world_1), SAME(key_world_2), SAME(key_escape), SAME(key_enter),
        SAME(key_tab), SAME(key_backspace), SAME(key_insert), SAME(key_delete), SAME(key_right),
        SAME(key_left), SAME(key_down), SAME(key_up), SAME(key_page_up), SAME(key_page_down), SAME(key_home),
        SAME(key_end), SAME(key_caps_lock), SAME(key_scroll_lock), SAME(key_num_lock), SAME(key_print_screen),
        SAME(key_pause), SAME(key_f1), SAME(key_f2), SAME(key_f3), SAME(key_f4), SAME(key_f5), SAME(key_f6),
        SAME(key_f7), SAME(key_f8), SAME(key_f9), SAME(key_f10), SAME(key_f11), SAME(key_f12), SAME(key_f13),
        SAME(key_f14), SAME(key_f15), SAME(key_f16), SAME(key_f17), SAME(key_f18), SAME(key_f19),
        SAME(key_f20), SAME(key_f21), SAME(key_f22), SAME(key_f23), SAME(key_f24), SAME(key_f25),
        SAME(key_kp_0), SAME(key_kp_1), SAME(key_kp_2), SAME(key_kp_3), SAME(key_kp_4), SAME(key_kp_5),
        SAME(key_kp_6), SAME(key_kp_7), SAME(key_kp_8), SAME(key_kp_9), SAME(key_kp_decimal),
        SAME(key_kp_divide), SAME(key_kp_multiply), SAME(key_kp_subtract), SAME(key_kp_add),
        SAME(key_kp_enter), SAME(key_kp_equal), SAME(key_left_shift), SAME(key_left_control),
        SAME(key_left_alt), SAME(key_left_super), SAME(key_right_shift), SAME(key_right_control),
        SAME(key_right_alt), SAME(key_right_super), SAME(key_menu)
    };
#undef SAME
    for (const Pair& p : pairs) {
        Platform_Event pe;
        pe.kind = Platform_Event_Kind::key_up;
        pe.key = p.key;
        EXPECT_EQ(input_map_key(input_event_from_platform(pe).key), p.code) << int(p.key);
    }
    EXPECT_EQ(input_event_from_platform(Platform_Event{}).key, 0);

    using K = Platform_Event_Kind;
    using B = Platform_Mouse_Button;
    const struct {
        Platform_Event in;
        Input_Event out;
    } events[] = {
        {{K::key_down, Platform_Key::key_x, true, B::other}, {event_key_down, DK_X, true, mouse_button_other}},
        {{K::key_up, Platform_Key::key_left, false, B::other}, {event_key_up, DK_LEFT, false, mouse_button_other}},
        {{K::mouse_down, Platform_Key::unknown, false, B::left}, {event_mouse_down, 0, false, mouse_button_left}},
        {{K::mouse_up, Platform_Key::unknown, false, B::right}, {event_mouse_up, 0, false, mouse_button_right}},
        {{K::mouse_down, Platform_Key::unknown, false, B::middle}, {event_mouse_down, 0, false, mouse_button_middle}},
        {{K::mouse_up, Platform_Key::unknown, false, B::other}, {event_mouse_up, 0, false, mouse_button_other}},
        {{K::focus_lost, Platform_Key::unknown, false, B::other}, {event_focus_lost, 0, false, mouse_button_other}},
        {{K::minimised, Platform_Key::unknown, false, B::other}, {event_focus_lost, 0, false, mouse_button_other}},
    };
    for (const auto& c : events) {
        Input_Event e = input_event_from_platform(c.in);
        SCOPED_TRACE(int(c.in.kind));
        EXPECT_EQ(e.kind, c.out.kind);
        EXPECT_EQ(e.key, c.out.key);
        EXPECT_EQ(e.repeat, c.out.repeat);
        EXPECT_EQ(e.button, c.out.button);
    }
}

// Space, Shift and A/D work beside the designed keys, never instead of them; A and D also
// move the intro on, as the arrows do.
TEST(KeyTable, UsualKeysAlsoFireBoostAndSteer) {
    const u8 attack = action_bit(Player_Input_Action::attack), boost = action_bit(Player_Input_Action::boost);
    const int a = int(Platform_Key::key_a), d = int(Platform_Key::key_d);
    struct Case { std::vector<int> keys; f32 dir_x; u8 pressed; };
    for (const Case& c : {Case{{DK_SPACE}, 0, attack}, {{int(Platform_Key::key_left_shift)}, 0, boost},
                          {{int(Platform_Key::key_right_shift)}, 0, boost}, {{a}, -1, 0}, {{d}, 1, 0},
                          {{DK_SPACE, DK_X}, 0, attack}, {{DK_RIGHT, d}, 1, 0}, {{DK_LEFT, d}, 0, 0}}) {
        input_reset();
        for (int k : c.keys) input_handle_event(key(event_key_down, k));
        Player_Input in;
        player_gather_input(in, 0.016f);
        EXPECT_EQ(in.dir.x, c.dir_x) << c.keys[0];
        EXPECT_EQ(in.pressed, c.pressed) << c.keys[0];
    }
    for (int k : {a, d}) {
        Headless h;
        h.tap(DK_ENTER);
        h.tap(k);
        EXPECT_EQ(game.state, tutorial) << k;
    }
}
