// Gamepads through SDL's raw joystick interface, translated by the built-in
// mapping database. SDL's own game-controller layer is never used for reading.
#include "gpad.h"

#include <SDL2/SDL.h>
#ifdef __EMSCRIPTEN__
#include <emscripten/html5.h>
#endif

#include <cstdio>
#include <cstring>

#include "gpad_db.h"

namespace {

constexpr uint16_t GPAD_SLOT_FREE = 0xFFFF;

struct Gpad_Slot {
    uint16_t mapping = GPAD_SLOT_FREE;
    SDL_Joystick* device = nullptr;
};

struct Gpad_Layer {
    bool initialised = false;
    int previous_event_state = SDL_ENABLE;
    Gpad_Slot slots[GPAD_SLOT_COUNT];
};

Gpad_Layer gpad_layer;

// Where each output rests when nothing drives it: sticks centred, triggers released.
constexpr float GPAD_AXIS_REST[GPAD_AXIS_COUNT] = {0, 0, 0, 0, -1, -1};
// Raw y axes grow downwards; ours grow upwards.
constexpr bool GPAD_AXIS_FLIP[GPAD_AXIS_COUNT] = {false, true, false, true, false, false};

}  // namespace

static void _free_slot(Gpad_Slot& s) {
    if (s.device) SDL_JoystickClose(s.device);
    s = Gpad_Slot{};
}

static Gpad_Slot* _first_free_slot() {
    for (Gpad_Slot& s : gpad_layer.slots)
        if (s.mapping == GPAD_SLOT_FREE) return &s;
    return nullptr;
}

void gpad_form_guid(uint16_t vendor, uint16_t product, const char* name, char out[GPAD_GUID_SIZE]) {
    if (vendor != 0 || product != 0) {
        std::snprintf(out, GPAD_GUID_SIZE, "03000000%02x%02x0000%02x%02x000000000000",
                      vendor & 0xFF, vendor >> 8, product & 0xFF, product >> 8);
        return;
    }
    // Without vendor and product the device is known by the start of its name.
    uint8_t bytes[11] = {};
    if (name) {
        for (int i = 0; i < 11 && name[i] != 0; ++i) bytes[i] = uint8_t(name[i]);
    }
    std::snprintf(out, GPAD_GUID_SIZE, "05000000%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x00",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7],
                  bytes[8], bytes[9], bytes[10]);
}

std::optional<uint16_t> gpad_db_find(const char guid[GPAD_GUID_SIZE]) {
    if (!guid) return std::nullopt;
    for (uint16_t i = 0; i < gpad_db_entry_count; ++i)
        if (std::memcmp(gpad_db_guids[i], guid, GPAD_GUID_SIZE) == 0) return i;
    return std::nullopt;
}

// Sint16 is already centred on zero; the half step keeps -32768 and 32767
// symmetric at -1 and 1, at the cost of rest reading a hair above zero.
float gpad_normalize_axis(int16_t raw) {
    return (float(raw) + 0.5f) / 32767.5f;
}

// Any axis the device has: several pads keep their triggers on axes 6 and 7.
static bool _is_axis_element(const Gpad_Element& e, const Gpad_Raw& raw) {
    return e.type == gpad_element_axis && (e.axis_scale != 0 || e.axis_offset != 0) &&
           e.index < raw.axis_count;
}

// How far the raw axis has moved in the element's direction: the inverted axis
// and the negative half are pressed towards -1, everything else towards 1.
static float _axis_travel(const Gpad_Element& e, const Gpad_Raw& raw) {
    float v = raw.axes[e.index];
    return (e.axis_offset > 0 || e.axis_scale < 0) ? -v : v;
}

static bool _raw_button(const Gpad_Raw& raw, uint8_t index) {
    return index < raw.button_count && ((raw.buttons[index >> 3] >> (index & 7)) & 1);
}

static bool _raw_hat_bit(const Gpad_Raw& raw, uint8_t index) {
    uint8_t hat = index >> 4;
    return hat < raw.hat_count && (raw.hats[hat] & index & 15) != 0;
}

// An axis counts as a button once it is past half of the travel the element
// reads: half of a half axis, or half of one side of a full axis. A resting
// stick (0) or a released trigger (-1 on a full axis) is never held.
static bool _element_held(const Gpad_Element& e, const Gpad_Raw& raw) {
    switch (Gpad_Element_Type(e.type)) {
        case gpad_element_axis:
            return _is_axis_element(e, raw) && _axis_travel(e, raw) > 0.5f;
        case gpad_element_button:
            return _raw_button(raw, e.index);
        case gpad_element_hat:
            return _raw_hat_bit(raw, e.index);
    }
    return false;
}

// value = |scale| × travel − |offset|: (1, 0) gives v, (−1, 0) gives −v, the
// positive half (2, −1) gives 2v − 1 and the negative half (2, 1) gives −2v − 1,
// so half-axis triggers rest at −1 whichever half they use.
static float _axis_value(const Gpad_Element& e, const Gpad_Raw& raw) {
    int scale = e.axis_scale < 0 ? -e.axis_scale : e.axis_scale;
    int offset = e.axis_offset < 0 ? -e.axis_offset : e.axis_offset;
    float value = float(scale) * _axis_travel(e, raw) - float(offset);
    return value < -1 ? -1 : (value > 1 ? 1 : value);
}

Gamepad_State gpad_apply_entry(const Gpad_Entry& entry, const Gpad_Raw& raw) {
    Gamepad_State state = {};
    for (int b = 0; b < GPAD_BUTTON_COUNT; ++b)
        if (_element_held(entry.buttons[b], raw)) state.buttons |= uint16_t(1u << b);

    for (int a = 0; a < GPAD_AXIS_COUNT; ++a) {
        const Gpad_Element& e = entry.axes[a];
        float value = GPAD_AXIS_REST[a];
        switch (Gpad_Element_Type(e.type)) {
            case gpad_element_axis:
                if (_is_axis_element(e, raw)) {
                    value = _axis_value(e, raw);
                    if (GPAD_AXIS_FLIP[a]) value = -value;
                }
                break;
            case gpad_element_button:
            case gpad_element_hat:
                if (_element_held(e, raw)) value = 1;
                break;
        }
        state.axes[a] = value;
    }
    return state;
}

#ifdef __EMSCRIPTEN__
// SDL knows a browser pad by its name only; the browser itself says whether it numbered the
// pad in its standard layout.
static bool _browser_standard_pad(const char* name) {
    if (!name || emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS) return false;
    int count = emscripten_get_num_gamepads();
    for (int i = 0; i < count; ++i) {
        EmscriptenGamepadEvent pad;
        if (emscripten_get_gamepad_status(i, &pad) == EMSCRIPTEN_RESULT_SUCCESS && pad.connected &&
            std::strncmp(pad.id, name, sizeof pad.id - 1) == 0)
            return std::strcmp(pad.mapping, "standard") == 0;
    }
    return false;
}
#endif

// SDL marks the pads its XInput driver reads in the GUID's driver byte (Windows only);
// they all share SDL's one XInput layout, kept in the database under its own name.
static void _device_guid(int device_index, char out[GPAD_GUID_SIZE]) {
#ifdef __EMSCRIPTEN__
    if (_browser_standard_pad(SDL_JoystickNameForIndex(device_index))) {
        std::memcpy(out, GPAD_STANDARD_GUID, GPAD_GUID_SIZE);
        return;
    }
#endif
    constexpr int DRIVER_BYTE = 14;
    if (SDL_JoystickGetDeviceGUID(device_index).data[DRIVER_BYTE] == 'x') {
        std::memcpy(out, GPAD_XINPUT_GUID, GPAD_GUID_SIZE);
        return;
    }
    gpad_form_guid(SDL_JoystickGetDeviceVendor(device_index), SDL_JoystickGetDeviceProduct(device_index),
                   SDL_JoystickNameForIndex(device_index), out);
}

static void _read_joystick(SDL_Joystick* j, Gpad_Raw& raw) {
    int axes = SDL_JoystickNumAxes(j);
    int buttons = SDL_JoystickNumButtons(j);
    int hats = SDL_JoystickNumHats(j);
    raw.axis_count = uint8_t(axes < 0 ? 0 : (axes > GPAD_RAW_AXIS_MAX ? GPAD_RAW_AXIS_MAX : axes));
    raw.button_count = uint16_t(buttons < 0 ? 0 : (buttons > GPAD_RAW_BUTTON_MAX ? GPAD_RAW_BUTTON_MAX : buttons));
    raw.hat_count = uint8_t(hats < 0 ? 0 : (hats > GPAD_RAW_HAT_MAX ? GPAD_RAW_HAT_MAX : hats));
    for (int i = 0; i < raw.axis_count; ++i) raw.axes[i] = gpad_normalize_axis(SDL_JoystickGetAxis(j, i));
    std::memset(raw.buttons, 0, sizeof raw.buttons);
    for (int i = 0; i < raw.button_count; ++i)
        if (SDL_JoystickGetButton(j, i) == 1) raw.buttons[i >> 3] |= uint8_t(1u << (i & 7));
    for (int i = 0; i < raw.hat_count; ++i) raw.hats[i] = SDL_JoystickGetHat(j, i);
}

static bool _in_a_slot(SDL_JoystickID id) {
    for (const Gpad_Slot& s : gpad_layer.slots)
        if (s.mapping != GPAD_SLOT_FREE && s.device && SDL_JoystickInstanceID(s.device) == id) return true;
    return false;
}

// Devices are judged before they are opened, so one the database does not know
// costs a name lookup per call and nothing more.
static void _take_new_pads() {
    int count = SDL_NumJoysticks();
    for (int i = 0; i < count; ++i) {
        Gpad_Slot* slot = _first_free_slot();
        if (!slot) return;
        SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
        if (id < 0 || _in_a_slot(id)) continue;
        char guid[GPAD_GUID_SIZE];
        _device_guid(i, guid);
        std::optional<uint16_t> mapping = gpad_db_find(guid);
        if (!mapping) continue;
        SDL_Joystick* j = SDL_JoystickOpen(i);
        if (!j) continue;
        slot->mapping = *mapping;
        slot->device = j;
    }
}

bool gpad_init() {
    if (gpad_layer.initialised) return false;
    for (Gpad_Slot& s : gpad_layer.slots) s = Gpad_Slot{};

    // SDL's HID drivers renumber buttons and axes; the database is written for
    // the kernel's numbering (DirectInput's on Windows, where the raw-input driver
    // would also take XInput pads from the XInput one). An environment setting still wins.
    SDL_SetHint(SDL_HINT_JOYSTICK_HIDAPI, "0");
    SDL_SetHint(SDL_HINT_JOYSTICK_RAWINPUT, "0");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return false;
    // Polled in gpad_get_state, so no joystick events pile up in the queue.
    gpad_layer.previous_event_state = SDL_JoystickEventState(SDL_QUERY);
    SDL_JoystickEventState(SDL_IGNORE);

    _take_new_pads();
    gpad_layer.initialised = true;
    return true;
}

bool gpad_get_state(uint8_t slot, Gamepad_State* state) {
    if (!gpad_layer.initialised || !state || slot >= GPAD_SLOT_COUNT) return false;
    Gpad_Slot& s = gpad_layer.slots[slot];
    if (s.mapping >= gpad_db_entry_count) return false;

    SDL_JoystickUpdate();  // the poll; also notices a pad that was pulled out
    // A pad that went away frees its slot; plugged back in, gpad_update finds it again.
    if (!SDL_JoystickGetAttached(s.device)) {
        _free_slot(s);
        return false;
    }
    Gpad_Raw raw = {};
    _read_joystick(s.device, raw);
    *state = gpad_apply_entry(gpad_db_entries[s.mapping], raw);
    return true;
}

void gpad_update() {
    if (!gpad_layer.initialised) return;
    SDL_JoystickUpdate();  // also runs the drivers' device detection
    // Pulled-out pads go first, so one plugged straight back in gets its old slot.
    for (Gpad_Slot& s : gpad_layer.slots)
        if (s.mapping != GPAD_SLOT_FREE && !SDL_JoystickGetAttached(s.device)) _free_slot(s);
    _take_new_pads();
}

void gpad_shutdown() {
    if (!gpad_layer.initialised) return;
    for (Gpad_Slot& s : gpad_layer.slots) _free_slot(s);
    SDL_JoystickEventState(gpad_layer.previous_event_state);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    gpad_layer.initialised = false;
}
