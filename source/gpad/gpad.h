// Gamepads: up to eight devices, found at start-up and whenever one is plugged in,
// read as a standard pad through the built-in mapping database.
#pragma once
#include <cstdint>

enum class Button : uint8_t {
    A, B, X, Y, Left_Shoulder, Right_Shoulder, Back, Start, Guide, Left_Thumb, Right_Thumb,
    Dpad_Up, Dpad_Right, Dpad_Down, Dpad_Left
};
constexpr int GPAD_BUTTON_COUNT = 15;
constexpr int GPAD_AXIS_COUNT = 6;  // left x, left y, right x, right y, left trigger, right trigger
constexpr int GPAD_SLOT_COUNT = 8;

struct Gamepad_State {
    uint16_t buttons;  // bit n = Button n held
    float axes[GPAD_AXIS_COUNT];  // sticks in [-1, 1] with +y up; triggers -1 released .. 1
};

bool gpad_init();
bool gpad_get_state(uint8_t slot, Gamepad_State* state);
// Gives pads plugged in since the last call the first free slots; once per frame.
void gpad_update();
void gpad_shutdown();

inline bool gpad_button_held(const Gamepad_State& s, Button b) {
    return (s.buttons >> uint8_t(b)) & 1u;
}
