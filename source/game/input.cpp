#include "input.h"

#include "../platform/platform.h"
#include "settings.h"

using IC = Input_Code;

u8 key_table[INPUT_CODE_COUNT];
Pad_Snapshot input_pads;

namespace {
bool focus_lost = false;
u8 menu_pad_held = 0;     // bit n = Menu_Pad n
u8 menu_pad_went_down = 0;
u8 volume_pad_held = 0;   // bit n = Volume_Pad n
u8 volume_pad_went_down = 0;
constexpr int LEFT_TRIGGER_AXIS = 4, RIGHT_TRIGGER_AXIS = 5;
u16 held_back[GPAD_SLOT_COUNT] = {};  // buttons per slot kept from the ship until released

// A stick push counts once it passes the first threshold and ends below the second, so a
// stick resting near one does not step through a menu.
constexpr f32 MENU_STICK_PUSH = 0.5f;
constexpr f32 MENU_STICK_LET_GO = 0.3f;
constexpr u16 MENU_ACTIVATE_BUTTONS = u16(1u << u8(Button::A) | 1u << u8(Button::Start));

u8 _bit(Menu_Pad m) { return u8(1u << m); }

bool _stick_pushed(f32 along, bool was_held) {
    return along > (was_held ? MENU_STICK_LET_GO : MENU_STICK_PUSH);
}

// Runs of keys numbered without gaps both by the window layer and by Input_Code.
struct Key_Run {
    Platform_Key first, last;
    Input_Code code;  // of `first`
};
using PK = Platform_Key;
constexpr Key_Run KEY_RUNS[] = {
    {PK::key_space, PK::key_space, IC::key_space},
    {PK::key_apostrophe, PK::key_apostrophe, IC::key_apostrophe},
    {PK::key_comma, PK::key_slash, IC::key_comma},
    {PK::key_0, PK::key_9, IC::key_0},
    {PK::key_semicolon, PK::key_semicolon, IC::key_semicolon},
    {PK::key_equal, PK::key_equal, IC::key_equal},
    {PK::key_a, PK::key_z, IC::key_a},
    {PK::key_left_bracket, PK::key_right_bracket, IC::key_left_bracket},
    {PK::key_grave_accent, PK::key_grave_accent, IC::key_grave_accent},
    {PK::key_world_1, PK::key_world_2, IC::key_world_1},
    {PK::key_escape, PK::key_end, IC::key_escape},
    {PK::key_caps_lock, PK::key_pause, IC::key_caps_lock},
    {PK::key_f1, PK::key_f25, IC::key_f1},
    {PK::key_kp_0, PK::key_kp_equal, IC::key_kp_0},
    {PK::key_left_shift, PK::key_menu, IC::key_left_shift},
};
}  // namespace

Input_Code input_map_key(i32 k) {
    for (const Key_Run& run : KEY_RUNS)
        if (k >= i32(run.first) && k <= i32(run.last)) return Input_Code(int(run.code) + (k - i32(run.first)));
    return IC::invalid;
}

Input_Event input_event_from_platform(const Platform_Event& e) {
    using K = Platform_Event_Kind;
    using B = Platform_Mouse_Button;
    Input_Event out;
    switch (e.kind) {
        case K::key_down: out.kind = event_key_down; break;
        case K::key_up: out.kind = event_key_up; break;
        case K::mouse_down: out.kind = event_mouse_down; break;
        case K::mouse_up: out.kind = event_mouse_up; break;
        case K::focus_lost:
        case K::minimised: out.kind = event_focus_lost; break;
    }
    // The platform's keys already follow the desktop numbering input_map_key reads.
    out.key = i32(e.key);
    out.repeat = e.repeat;
    switch (e.button) {
        case B::left: out.button = mouse_button_left; break;
        case B::right: out.button = mouse_button_right; break;
        case B::middle: out.button = mouse_button_middle; break;
        case B::other: out.button = mouse_button_other; break;
    }
    return out;
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
        case event_focus_lost: focus_lost = true; break;
        case event_other: break;
    }
}

void input_end_frame() {
    for (u8& f : key_table) f &= KEY_DOWN;
    focus_lost = false;
}

void input_reset() {
    for (u8& f : key_table) f = 0;
    focus_lost = false;
    input_pads = Pad_Snapshot{};
    menu_pad_held = menu_pad_went_down = 0;
    volume_pad_held = volume_pad_went_down = 0;
    for (u16& b : held_back) b = 0;
}

bool input_focus_lost() { return focus_lost; }

void input_read_pads(Pad_Snapshot& out) {
    out = Pad_Snapshot{};
    gpad_update();
    for (u8 slot = 0; slot < GPAD_SLOT_COUNT; slot++)
        if (gpad_get_state(slot, &out.pads[slot])) out.present |= u8(1u << slot);
        else out.pads[slot] = Gamepad_State{};
}

void input_set_pads(const Pad_Snapshot& pads) {
    input_pads = pads;
    u8 held = 0, volume_held = 0;
    for (u8 slot = 0; slot < GPAD_SLOT_COUNT; slot++) {
        if (!(pads.present & (1u << slot))) {
            held_back[slot] = 0;  // whatever comes into this slot next starts clean
            continue;
        }
        const Gamepad_State& p = pads.pads[slot];
        held_back[slot] &= p.buttons;
        auto push = [&](Menu_Pad m, Button b, f32 along) {
            if (gpad_button_held(p, b) || _stick_pushed(along, menu_pad_held & _bit(m))) held |= _bit(m);
        };
        push(menu_pad_up, Button::Dpad_Up, p.axes[1]);
        push(menu_pad_down, Button::Dpad_Down, -p.axes[1]);
        push(menu_pad_left, Button::Dpad_Left, -p.axes[0]);
        push(menu_pad_right, Button::Dpad_Right, p.axes[0]);
        if (gpad_button_held(p, Button::A)) held |= _bit(menu_pad_activate);
        if (gpad_button_held(p, Button::Start)) held |= _bit(menu_pad_start);
        // Triggers rest at -1 and count once pushed past the stick's threshold.
        auto hold = [&](Volume_Pad v, bool down) {
            if (down) volume_held |= u8(1u << v);
        };
        auto trigger = [&](Volume_Pad v, int axis) { return _stick_pushed(p.axes[axis], volume_pad_held & (1u << v)); };
        hold(volume_pad_effects_down, gpad_button_held(p, Button::Left_Shoulder));
        hold(volume_pad_effects_up, gpad_button_held(p, Button::Right_Shoulder));
        hold(volume_pad_music_down, trigger(volume_pad_music_down, LEFT_TRIGGER_AXIS));
        hold(volume_pad_music_up, trigger(volume_pad_music_up, RIGHT_TRIGGER_AXIS));
    }
    menu_pad_went_down = u8(held & ~menu_pad_held);
    menu_pad_held = held;
    volume_pad_went_down = u8(volume_held & ~volume_pad_held);
    volume_pad_held = volume_held;
}

bool volume_pad_pressed(Volume_Pad v) { return volume_pad_went_down & (1u << v); }

bool menu_pad_pressed(Menu_Pad m) { return menu_pad_went_down & _bit(m); }

void input_hold_back_menu_buttons() {
    for (u8 slot = 0; slot < GPAD_SLOT_COUNT; slot++)
        if (input_pads.present & (1u << slot))
            held_back[slot] |= u16(input_pads.pads[slot].buttons & MENU_ACTIVATE_BUTTONS);
}

bool key_held(Input_Code c) { return key_table[u8(c)] & KEY_DOWN; }
bool key_pressed(Input_Code c) {
    u8 f = key_table[u8(c)];
    return ((f & KEY_DOWN) && (f & KEY_CHANGED)) || (f & KEY_CHANGED_AGAIN);
}
bool key_active(Input_Code c) { return key_table[u8(c)] & (KEY_DOWN | KEY_CHANGED); }

void player_gather_input(Player_Input& in, f32 dt_real) {
    for (f32& b : in.buffered)
        if (b < BUFFER_STOPS_COUNTING) b += dt_real;
    u8 previous = in.down;
    in.dir = {};
    in.down = in.pressed = in.released = 0;

    if (key_active(IC::key_right) || key_active(STEER_RIGHT_ALSO)) in.dir.x += 1;
    if (key_active(IC::key_left) || key_active(STEER_LEFT_ALSO)) in.dir.x -= 1;
    if (key_active(IC::key_up)) in.dir.y += 1;
    if (key_active(IC::key_down)) in.dir.y -= 1;
    const Player_Input_Map& map = settings.input_map;
    for (int a = 0; a < PLAYER_INPUT_ACTION_COUNT; a++)
        if (key_active(map.keyboard_map[a]) || key_active(ACTION_ALSO[a][0]) || key_active(ACTION_ALSO[a][1]))
            in.down |= u8(1u << a);

    for (u8 slot = 0; slot < GPAD_SLOT_COUNT; slot++) {
        if (!(input_pads.present & (1u << slot))) continue;
        Gamepad_State pad = input_pads.pads[slot];
        pad.buttons &= u16(~held_back[slot]);
        if (gpad_button_held(pad, Button::Dpad_Right)) in.dir.x += 1;
        if (gpad_button_held(pad, Button::Dpad_Left)) in.dir.x -= 1;
        if (gpad_button_held(pad, Button::Dpad_Up)) in.dir.y += 1;
        if (gpad_button_held(pad, Button::Dpad_Down)) in.dir.y -= 1;
        Vec2 stick = {pad.axes[0], pad.axes[1]};
        if (length(stick) > STICK_DEAD_ZONE) in.dir += stick;
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
