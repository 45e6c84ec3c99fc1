// Key table, input codes, bindings and the per-frame player input. player_gather_input keeps
// the player_ prefix it has always had, though it lives here.
#pragma once
#include "../gpad/gpad.h"
#include "common.h"
#include "player_input.h"

// Scoped: POSIX already owns names like key_t.
enum class Input_Code : u8 {
    invalid = 0,
    key_space, key_apostrophe, key_comma, key_minus, key_period, key_slash,
    key_0, key_1, key_2, key_3, key_4, key_5, key_6, key_7, key_8, key_9,
    key_semicolon, key_equal,
    key_a, key_b, key_c, key_d, key_e, key_f, key_g, key_h, key_i, key_j, key_k, key_l, key_m,
    key_n, key_o, key_p, key_q, key_r, key_s, key_t, key_u, key_v, key_w, key_x, key_y, key_z,
    key_left_bracket, key_backslash, key_right_bracket, key_grave_accent, key_world_1, key_world_2,
    key_escape, key_enter, key_tab, key_backspace, key_insert, key_delete, key_right, key_left,
    key_down, key_up, key_page_up, key_page_down, key_home, key_end,
    key_caps_lock, key_scroll_lock, key_num_lock, key_print_screen, key_pause,
    key_f1, key_f2, key_f3, key_f4, key_f5, key_f6, key_f7, key_f8, key_f9, key_f10, key_f11,
    key_f12, key_f13, key_f14, key_f15, key_f16, key_f17, key_f18, key_f19, key_f20, key_f21,
    key_f22, key_f23, key_f24, key_f25,
    key_kp_0, key_kp_1, key_kp_2, key_kp_3, key_kp_4, key_kp_5, key_kp_6, key_kp_7, key_kp_8, key_kp_9,
    key_kp_decimal, key_kp_divide, key_kp_multiply, key_kp_subtract, key_kp_add, key_kp_enter,
    key_kp_equal,
    key_left_shift, key_left_control, key_left_alt, key_left_super, key_right_shift,
    key_right_control, key_right_alt, key_right_super, key_menu,
    mouse_left, mouse_right, mouse_middle,
    INPUT_CODE_COUNT
};
constexpr int INPUT_CODE_COUNT = int(Input_Code::INPUT_CODE_COUNT);
static_assert(INPUT_CODE_COUNT == 124);

// Keys players of the genre reach for first. They work beside the designed keys and the
// bindings, never instead of them, and are no bindings: settings.json stays as it is.
constexpr Input_Code STEER_LEFT_ALSO = Input_Code::key_a;
constexpr Input_Code STEER_RIGHT_ALSO = Input_Code::key_d;
constexpr Input_Code ACTION_ALSO[PLAYER_INPUT_ACTION_COUNT][2] = {
    {Input_Code::key_space, Input_Code::key_space},             // attack
    {Input_Code::key_left_shift, Input_Code::key_right_shift},  // boost
};

// A stick pushed this far or less steers nothing; a longer push counts unscaled.
constexpr f32 STICK_DEAD_ZONE = 0.1f;  // share of full deflection

enum Key_Flag : u8 { KEY_DOWN = 1, KEY_CHANGED = 2, KEY_CHANGED_AGAIN = 4 };

// A window event as the game keeps it (and a replay records it); key codes in the common
// desktop numbering. Focus lost covers minimising too: either way the player is no longer looking.
enum Input_Event_Kind : u8 {
    event_other, event_key_down, event_key_up, event_mouse_down, event_mouse_up, event_focus_lost
};
constexpr int INPUT_EVENT_KIND_COUNT = 6;
enum Mouse_Button : u8 { mouse_button_left, mouse_button_right, mouse_button_middle, mouse_button_other };
constexpr int MOUSE_BUTTON_COUNT = 4;
struct Input_Event {
    Input_Event_Kind kind = event_other;
    i32 key = 0;
    bool repeat = false;
    Mouse_Button button = mouse_button_other;
};

extern u8 key_table[INPUT_CODE_COUNT];

struct Platform_Event;
Input_Event input_event_from_platform(const Platform_Event& e);

Input_Code input_map_key(i32 desktop_key);
void input_handle_event(const Input_Event& e);
void input_end_frame();
void input_reset();  // all keys up; tests and start-up
bool key_held(Input_Code c);
bool key_pressed(Input_Code c);
bool key_active(Input_Code c);
void player_gather_input(Player_Input& in, f32 dt_real);
// The window lost focus or was minimised since the last frame.
bool input_focus_lost();

// Every pad as read once at the start of a frame; the ship and the menus both use it.
struct Pad_Snapshot {
    u8 present = 0;  // bit n = slot n held a readable pad
    Gamepad_State pads[GPAD_SLOT_COUNT] = {};
};
extern Pad_Snapshot input_pads;
// Reads every slot, taking in pads plugged in since the last frame.
void input_read_pads(Pad_Snapshot& out);
// Makes these this frame's pads; menu presses are the changes since the last frame's.
void input_set_pads(const Pad_Snapshot& pads);

enum Menu_Pad : u8 { menu_pad_up, menu_pad_down, menu_pad_left, menu_pad_right, menu_pad_activate, menu_pad_start };
// Went down this frame on any pad: d-pad or left stick for directions, A to activate, Start.
bool menu_pad_pressed(Menu_Pad m);
// The buttons that just worked a menu stay away from the ship until let go, so the A that
// picks "Continue" does not also boost.
void input_hold_back_menu_buttons();

// Buttons neither the ship nor the menus use step the volume: the shoulders the effects,
// the triggers the music (left down, right up).
enum Volume_Pad : u8 { volume_pad_effects_down, volume_pad_effects_up, volume_pad_music_down, volume_pad_music_up };
// Went down this frame on any pad.
bool volume_pad_pressed(Volume_Pad v);
