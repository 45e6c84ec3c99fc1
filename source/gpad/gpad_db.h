// The built-in mapping database and the pure steps of the gamepad layer:
// forming a device's GUID string, finding its entry, applying the entry's
// elements to the raw values read from the device.
#pragma once
#include <cstdint>
#include <optional>
#include "gpad.h"

constexpr int GPAD_GUID_SIZE = 33;  // 32 lower-case hex digits and a zero byte
// The one entry every XInput pad shares (Windows only), zero-padded like the others.
constexpr char GPAD_XINPUT_GUID[GPAD_GUID_SIZE] = "xinput";

enum Gpad_Element_Type : uint8_t { gpad_element_axis = 0, gpad_element_button = 1, gpad_element_hat = 2 };

// All zero: not mapped.
// axis:   index = raw axis; (scale, offset) = (1, 0) full, (-1, 0) inverted,
//         (2, -1) positive half, (2, 1) negative half.
// button: index = raw button.
// hat:    index = hat number << 4 | direction bits (up 1, right 2, down 4, left 8).
struct Gpad_Element {
    uint8_t type;
    uint8_t index;
    int8_t axis_scale;
    int8_t axis_offset;
};

struct Gpad_Entry {
    const char* name;
    Gpad_Element buttons[GPAD_BUTTON_COUNT];  // in Button order
    Gpad_Element axes[GPAD_AXIS_COUNT];       // in axis order
};

// A pad the browser lays out in its "standard" numbering, which the Gamepad interface fixes
// for every device: one layout for all of them, kept in the browser's database under this word.
constexpr char GPAD_STANDARD_GUID[GPAD_GUID_SIZE] = "standard";
namespace gpad_standard {
constexpr Gpad_Element b(uint8_t index) { return {gpad_element_button, index, 0, 0}; }
constexpr Gpad_Element a(uint8_t index) { return {gpad_element_axis, index, 1, 0}; }
}  // namespace gpad_standard
// Triggers are buttons 6 and 7: the browser's analog value does not reach the raw reading.
constexpr Gpad_Entry GPAD_STANDARD_ENTRY = {
    "Standard Gamepad",
    {gpad_standard::b(0), gpad_standard::b(1), gpad_standard::b(2), gpad_standard::b(3),
     gpad_standard::b(4), gpad_standard::b(5), gpad_standard::b(8), gpad_standard::b(9),
     gpad_standard::b(16), gpad_standard::b(10), gpad_standard::b(11), gpad_standard::b(12),
     gpad_standard::b(15), gpad_standard::b(13), gpad_standard::b(14)},
    {gpad_standard::a(0), gpad_standard::a(1), gpad_standard::a(2), gpad_standard::a(3),
     gpad_standard::b(6), gpad_standard::b(7)},
};

// Generated at build time; same order in both tables, stable between builds.
extern const char gpad_db_guids[][GPAD_GUID_SIZE];
extern const Gpad_Entry gpad_db_entries[];
extern const uint16_t gpad_db_entry_count;

// Raw device values as the layer sees them in one read.
constexpr int GPAD_RAW_AXIS_MAX = 64;
constexpr int GPAD_RAW_BUTTON_MAX = 256;
constexpr int GPAD_RAW_HAT_MAX = 4;
struct Gpad_Raw {
    float axes[GPAD_RAW_AXIS_MAX];  // normalised to [-1, 1]
    uint8_t buttons[GPAD_RAW_BUTTON_MAX / 8];  // bit set
    uint8_t hats[GPAD_RAW_HAT_MAX];  // direction bits
    uint8_t axis_count;
    uint16_t button_count;
    uint8_t hat_count;
};

// Writes the layer's GUID string for a device into out (33 bytes).
void gpad_form_guid(uint16_t vendor, uint16_t product, const char* name, char out[GPAD_GUID_SIZE]);
std::optional<uint16_t> gpad_db_find(const char guid[GPAD_GUID_SIZE]);
float gpad_normalize_axis(int16_t raw);
Gamepad_State gpad_apply_entry(const Gpad_Entry& entry, const Gpad_Raw& raw);
