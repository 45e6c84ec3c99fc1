#include "input.h"

#include "../gpad/gpad.h"
#include "settings.h"

using IC = Input_Code;

u8 key_table[INPUT_CODE_COUNT];

static Input_Code _code(Input_Code first, i32 offset) { return Input_Code(int(first) + offset); }

Input_Code input_map_key(i32 k) {
    if (k == 32) return IC::key_space;
    if (k == 39) return IC::key_apostrophe;
    if (k >= 44 && k <= 47) return _code(IC::key_comma, k - 44);
    if (k >= 48 && k <= 57) return _code(IC::key_0, k - 48);
    if (k == 59) return IC::key_semicolon;
    if (k == 61) return IC::key_equal;
    if (k >= 65 && k <= 90) return _code(IC::key_a, k - 65);
    if (k >= 91 && k <= 93) return _code(IC::key_left_bracket, k - 91);
    if (k == 96) return IC::key_grave_accent;
    if (k == 161) return IC::key_world_1;
    if (k == 162) return IC::key_world_2;
    if (k >= 256 && k <= 269) return _code(IC::key_escape, k - 256);
    if (k >= 280 && k <= 284) return _code(IC::key_caps_lock, k - 280);
    if (k >= 290 && k <= 314) return _code(IC::key_f1, k - 290);
    if (k >= 320 && k <= 336) return _code(IC::key_kp_0, k - 320);
    if (k >= 340 && k <= 348) return _code(IC::key_left_shift, k - 340);
    return IC::invalid;
}

static void _apply_transition(Input_Code c, bool down) {
    u8 old = key_table[u8(c)];
    u8 next = down ? u8(old | KEY_DOWN | KEY_CHANGED) : u8((old & ~KEY_DOWN) | KEY_CHANGED);
    if (old & KEY_CHANGED) next |= KEY_CHANGED_AGAIN;
    key_table[u8(c)] = next;
}

static Input_Code _mouse_code(Mouse_Button b) {
    switch (b) {
        case mouse_button_left: return IC::mouse_left;
        case mouse_button_right: return IC::mouse_right;
        case mouse_button_middle: return IC::mouse_middle;
        case mouse_button_other: return IC::invalid;
    }
    return IC::invalid;
}

void input_handle_event(const Input_Event& e) {
    switch (e.kind) {
        case event_key_down:
            if (!e.repeat) _apply_transition(input_map_key(e.key), true);
            break;
        case event_key_up:
            if (!e.repeat) _apply_transition(input_map_key(e.key), false);
            break;
        case event_mouse_down: _apply_transition(_mouse_code(e.button), true); break;
        case event_mouse_up: _apply_transition(_mouse_code(e.button), false); break;
        case event_other: break;
    }
}

void input_end_frame() {
    for (u8& f : key_table) f &= KEY_DOWN;
}

void input_reset() {
    for (u8& f : key_table) f = 0;
}

bool key_held(Input_Code c) { return key_table[u8(c)] & KEY_DOWN; }
bool key_pressed(Input_Code c) {
    u8 f = key_table[u8(c)];
    return ((f & KEY_DOWN) && (f & KEY_CHANGED)) || (f & KEY_CHANGED_AGAIN);
}
bool key_active(Input_Code c) { return key_table[u8(c)] & (KEY_DOWN | KEY_CHANGED); }

void player_gather_input(Player_Input& in, f32 dt_real) {
    for (f32& b : in.buffered)
        if (b < 1e10f) b += dt_real;
    u8 previous = in.down;
    in.dir = {};
    in.down = in.pressed = in.released = 0;

    if (key_active(IC::key_right)) in.dir.x += 1;
    if (key_active(IC::key_left)) in.dir.x -= 1;
    if (key_active(IC::key_up)) in.dir.y += 1;
    if (key_active(IC::key_down)) in.dir.y -= 1;
    const Player_Input_Map& map = settings.input_map;
    for (int a = 0; a < PLAYER_INPUT_ACTION_COUNT; a++)
        if (key_active(map.keyboard_map[a])) in.down |= u8(1u << a);

    for (u8 slot = 0; slot < GPAD_SLOT_COUNT; slot++) {
        Gamepad_State pad;
        if (!gpad_get_state(slot, &pad)) continue;
        if (gpad_button_held(pad, Button::Dpad_Right)) in.dir.x += 1;
        if (gpad_button_held(pad, Button::Dpad_Left)) in.dir.x -= 1;
        if (gpad_button_held(pad, Button::Dpad_Up)) in.dir.y += 1;
        if (gpad_button_held(pad, Button::Dpad_Down)) in.dir.y -= 1;
        Vec2 stick = {pad.axes[0], pad.axes[1]};
        if (length(stick) > 0.1f) in.dir += stick;
        for (int a = 0; a < PLAYER_INPUT_ACTION_COUNT; a++)
            if (gpad_button_held(pad, map.gamepad_map[a])) in.down |= u8(1u << a);
    }

    for (int a = 0; a < PLAYER_INPUT_ACTION_COUNT; a++) {
        u8 bit = u8(1u << a);
        bool now = in.down & bit, before = previous & bit;
        if (now && !before) {
            in.pressed |= bit;
            in.buffered[a] = 0;
        } else if (!now && before) {
            in.released |= bit;
        }
    }
    in.dir.x = clampf(in.dir.x, -1, 1);
    in.dir.y = clampf(in.dir.y, -1, 1);
}
