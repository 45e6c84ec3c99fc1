// The gamepad layer: GUID forming, the generated database against SDL's own
// list, the element rules, and whole devices through SDL's virtual joysticks.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "virtual_pad.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gpad/gpad.h"
#include "gpad/gpad_db.h"

namespace {

std::string guid_of(uint16_t vendor, uint16_t product, const char* name) {
    char out[GPAD_GUID_SIZE];
    gpad_form_guid(vendor, product, name, out);
    return out;
}

struct Sdl_Mapping {
    std::string key;  // our GUID form
    std::string text;
};

// SDL's list for this platform, reduced through SDL's own GUID decoding.
std::vector<Sdl_Mapping> sdl_reduced_mappings() {
    unsetenv("SDL_GAMECONTROLLERCONFIG");
    unsetenv("SDL_GAMECONTROLLERCONFIG_FILE");
    std::vector<Sdl_Mapping> out;
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return out;
    for (int i = 0; i < SDL_GameControllerNumMappings(); ++i) {
        char* m = SDL_GameControllerMappingForIndex(i);
        std::string text = m ? m : "";
        SDL_free(m);
        size_t p = text.find(",platform:");
        if (p != std::string::npos && text.substr(p + 10, text.find(',', p + 10) - p - 10) != SDL_GetPlatform())
            continue;
        SDL_JoystickGUID g = SDL_JoystickGetGUIDFromString(text.substr(0, text.find(',')).c_str());
        Uint16 vendor = 0, product = 0;
        SDL_GetJoystickGUIDInfo(g, &vendor, &product, nullptr, nullptr);
        std::string key;
        if (vendor != 0 || product != 0) {
            if (g.data[14] != 0) continue;  // SDL's own drivers
            key = guid_of(vendor, product, nullptr);
        } else {
            if ((g.data[0] | g.data[1] << 8) >= 0x20 || g.data[15] != 0) continue;
            char name[12] = {};
            std::memcpy(name, g.data + 4, 11);
            key = guid_of(0, 0, name);
        }
        bool seen = false;
        for (const Sdl_Mapping& s : out) seen = seen || s.key == key;
        if (!seen) out.push_back({key, text});
    }
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    return out;
}

}  // namespace

TEST(GpadGuid, FormsVendorProductAndNameStrings) {
    EXPECT_EQ(guid_of(0x0F30, 0x010A, "ignored"), "03000000300f00000a01000000000000");
    EXPECT_EQ(guid_of(0, 0x028E, nullptr), "03000000000000008e02000000000000");
    // No ids: the first 11 name bytes, zero padded, last byte always zero.
    EXPECT_EQ(guid_of(0, 0, "PLAYSTATION(R)3 Controller"), "05000000504c415953544154494f4e00");
    EXPECT_EQ(guid_of(0, 0, "\xc3\xa9t\xc3\xa9"), "05000000c3a974c3a900000000000000");
    EXPECT_EQ(guid_of(0, 0, nullptr), "05000000000000000000000000000000");
}

TEST(GpadDatabase, MatchesInstalledSdlListInOrder) {
    std::vector<Sdl_Mapping> sdl = sdl_reduced_mappings();
    ASSERT_FALSE(sdl.empty());
    ASSERT_EQ(size_t(gpad_db_entry_count), sdl.size());
    for (uint16_t i = 0; i < gpad_db_entry_count; ++i) {
        const char* g = gpad_db_guids[i];
        EXPECT_EQ(std::strspn(g, "0123456789abcdef"), 32u) << i;
        EXPECT_EQ(g[32], '\0') << i;
        EXPECT_EQ(g, sdl[i].key) << i;
        EXPECT_EQ(gpad_db_entries[i].name, sdl[i].text.substr(33, sdl[i].text.find(',', 33) - 33)) << i;
        EXPECT_EQ(gpad_db_find(g), std::optional<uint16_t>(i));
    }
    // All 33 bytes count.
    char unterminated[GPAD_GUID_SIZE];
    std::memcpy(unterminated, gpad_db_guids[0], GPAD_GUID_SIZE);
    unterminated[32] = '0';
    EXPECT_FALSE(gpad_db_find(unterminated));
}

TEST(GpadDatabase, WellKnownPadsDecodeToTheirElements) {
    std::vector<Sdl_Mapping> sdl = sdl_reduced_mappings();
    struct Case { uint16_t vendor, product; const char* field; int button, axis; Gpad_Element expect; };
    const Case cases[] = {
        {0x045E, 0x028E, "a:b0", int(Button::A), -1, {1, 0, 0, 0}},
        {0x045E, 0x028E, "dpright:h0.2", int(Button::Dpad_Right), -1, {2, 0x02, 0, 0}},
        {0x045E, 0x028E, "lefttrigger:a2", -1, 4, {0, 2, 1, 0}},
        {0x054C, 0x09CC, "righttrigger:a4", -1, 5, {0, 4, 1, 0}},
        {0x057E, 0x2009, "lefttrigger:b7", -1, 4, {1, 7, 0, 0}},
        {0x06A3, 0xF622, "righttrigger:-a3", -1, 5, {0, 3, 2, 1}},
        {0x0E8F, 0x3013, "dpdown:+a1", int(Button::Dpad_Down), -1, {0, 1, 2, -1}},
        {0x0926, 0x8888, "righty:a3~", -1, 3, {0, 3, -1, 0}},
    };
    int checked = 0;
    for (const Case& c : cases) {
        std::string key = guid_of(c.vendor, c.product, nullptr);
        std::optional<uint16_t> index = gpad_db_find(key.c_str());
        for (const Sdl_Mapping& s : sdl) {
            if (s.key != key) continue;
            ASSERT_TRUE(index) << key;
            ASSERT_NE(s.text.find(std::string(",") + c.field + ","), std::string::npos) << key << c.field;
            const Gpad_Entry& e = gpad_db_entries[*index];
            Gpad_Element got = c.button >= 0 ? e.buttons[c.button] : e.axes[c.axis];
            EXPECT_EQ(std::memcmp(&got, &c.expect, sizeof got), 0) << key << " " << c.field;
            ++checked;
        }
    }
    EXPECT_GE(checked, 6);  // pads missing from this SDL's list have nothing to check
}

TEST(GpadElements, TriggersAndSticksRestAndHalfAxesPressPastHalfway) {
    auto apply = [](bool as_button, int slot, Gpad_Element e, float v) {
        Gpad_Entry entry = {};
        (as_button ? entry.buttons[slot] : entry.axes[slot]) = e;
        Gpad_Raw raw = {};
        raw.axes[0] = v;
        raw.axis_count = 1;
        return gpad_apply_entry(entry, raw);
    };
    const Gpad_Element positive = {0, 0, 2, -1}, negative = {0, 0, 2, 1}, inverted = {0, 0, -1, 0};
    EXPECT_FLOAT_EQ(apply(false, 5, positive, 0).axes[5], -1);
    EXPECT_FLOAT_EQ(apply(false, 5, positive, 1).axes[5], 1);
    EXPECT_FLOAT_EQ(apply(false, 5, negative, 0).axes[5], -1);  // released, not fully pressed
    EXPECT_FLOAT_EQ(apply(false, 5, negative, -0.5f).axes[5], 0);
    EXPECT_FLOAT_EQ(apply(false, 5, negative, 0.7f).axes[5], -1);
    EXPECT_FLOAT_EQ(apply(false, 1, inverted, 0.5f).axes[1], 0.5f);  // inverted, then +y up
    EXPECT_FLOAT_EQ(apply(false, 3, {0, 0, 1, 0}, 0.5f).axes[3], -0.5f);
    EXPECT_FLOAT_EQ(apply(false, 0, {0, 1, 1, 0}, 0.9f).axes[0], 0);  // axis the device lacks

    // Nothing mapped: sticks centred, triggers released, no buttons.
    Gamepad_State none = apply(false, 0, {}, 0.9f);
    EXPECT_EQ(none.buttons, 0);
    for (int a = 0; a < GPAD_AXIS_COUNT; ++a) EXPECT_FLOAT_EQ(none.axes[a], a < 4 ? 0 : -1) << a;

    struct Held { Gpad_Element e; float v; bool held; };
    for (const Held& c : {Held{positive, 0.45f, false}, Held{positive, 0.55f, true}, Held{negative, 0, false},
                          Held{negative, -0.45f, false}, Held{negative, -0.55f, true}, Held{negative, 1, false},
                          Held{{0, 0, 1, 0}, -1, false}, Held{{0, 0, 1, 0}, 0.55f, true},
                          Held{inverted, 0, false}, Held{inverted, -0.55f, true}}) {
        Gamepad_State s = apply(true, int(Button::Dpad_Left), c.e, c.v);
        EXPECT_EQ(s.buttons, c.held ? 1u << int(Button::Dpad_Left) : 0u)
            << int(c.e.axis_scale) << "," << int(c.e.axis_offset) << " at " << c.v;
    }
}

// The browser's standard layout as the Gamepad interface numbers it: 17 buttons, 4 axes, +y down.
TEST(GpadElements, BrowserStandardLayoutReadsAsItsButtonsAndSticks) {
    const Button by_raw_button[] = {Button::A, Button::B, Button::X, Button::Y, Button::Left_Shoulder,
                                    Button::Right_Shoulder, Button(255), Button(255), Button::Back,
                                    Button::Start, Button::Left_Thumb, Button::Right_Thumb, Button::Dpad_Up,
                                    Button::Dpad_Down, Button::Dpad_Left, Button::Dpad_Right, Button::Guide};
    auto read = [](int button, int axis, float value) {
        Gpad_Raw raw = {};
        raw.button_count = 17;
        raw.axis_count = 4;
        if (button >= 0) raw.buttons[button >> 3] |= uint8_t(1u << (button & 7));
        if (axis >= 0) raw.axes[axis] = value;
        return gpad_apply_entry(GPAD_STANDARD_ENTRY, raw);
    };
    for (int b = 0; b < 17; ++b) {
        Gamepad_State s = read(b, -1, 0);
        bool trigger = b == 6 || b == 7;
        EXPECT_EQ(s.buttons, trigger ? 0u : 1u << int(by_raw_button[b])) << "raw button " << b;
        EXPECT_FLOAT_EQ(s.axes[4], b == 6 ? 1 : -1) << "raw button " << b;
        EXPECT_FLOAT_EQ(s.axes[5], b == 7 ? 1 : -1) << "raw button " << b;
    }
    EXPECT_FLOAT_EQ(read(-1, 0, -1).axes[0], -1);  // left stick pushed left
    EXPECT_FLOAT_EQ(read(-1, 1, 1).axes[1], -1);   // pushed towards the player: down
    EXPECT_FLOAT_EQ(read(-1, 2, 0.5f).axes[2], 0.5f);
    EXPECT_FLOAT_EQ(read(-1, 3, -1).axes[3], 1);
}

// ---- whole devices through SDL's virtual joysticks ----

namespace {

struct Virtual_Pads : ::testing::Test {
    std::vector<SDL_Joystick*> handles;

    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        if (SDL_NumJoysticks() != 0) GTEST_SKIP() << "a real joystick is attached";
    }
    void TearDown() override {
        gpad_shutdown();
        for (SDL_Joystick* j : handles) SDL_JoystickClose(j);
        for (int i = SDL_NumJoysticks() - 1; i >= 0; --i)
            if (SDL_JoystickIsVirtual(i)) SDL_JoystickDetachVirtual(i);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    // Defaults to the common wired pad: hat 0 the d-pad, triggers on full axes 2 and 5.
    SDL_Joystick* attach(uint16_t vendor = 0x045E, uint16_t product = 0x028E) {
        SDL_Joystick* j = attach_virtual_pad(vendor, product, "Virtual Pad");
        if (!j) return nullptr;
        handles.push_back(j);
        return j;
    }
};

}  // namespace

TEST_F(Virtual_Pads, KnownPadReadsThroughItsEntry) {
    SDL_Joystick* j = attach();
    ASSERT_NE(j, nullptr) << SDL_GetError();
    Gamepad_State s = {};
    EXPECT_FALSE(gpad_get_state(0, &s));  // not started
    ASSERT_TRUE(gpad_init());
    EXPECT_FALSE(gpad_init());
    EXPECT_FALSE(gpad_get_state(0, nullptr));
    EXPECT_FALSE(gpad_get_state(GPAD_SLOT_COUNT, &s));
    EXPECT_FALSE(gpad_get_state(1, &s));

    SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_RIGHTUP);
    SDL_JoystickSetVirtualAxis(j, 1, -32768);
    SDL_JoystickSetVirtualButton(j, 2, 1);
    ASSERT_TRUE(gpad_get_state(0, &s));
    uint16_t expect = 1u << int(Button::Dpad_Up) | 1u << int(Button::Dpad_Right) | 1u << int(Button::X);
    EXPECT_EQ(s.buttons, expect);
    EXPECT_FLOAT_EQ(s.axes[1], 1.0f);  // stick up
    EXPECT_FLOAT_EQ(s.axes[4], -1.0f);
    EXPECT_FLOAT_EQ(s.axes[5], -1.0f);
    SDL_JoystickSetVirtualAxis(j, 5, 32767);
    ASSERT_TRUE(gpad_get_state(0, &s));
    EXPECT_FLOAT_EQ(s.axes[5], 1.0f);
}

TEST_F(Virtual_Pads, UnknownPadTakesNoSlotAndTheNinthIsIgnored) {
    SDL_Joystick* unknown = attach(0x0F30, 0x010A);
    ASSERT_NE(unknown, nullptr) << SDL_GetError();
    std::string guid = guid_of(SDL_JoystickGetVendor(unknown), SDL_JoystickGetProduct(unknown), "x");
    EXPECT_EQ(guid, "03000000300f00000a01000000000000");
    ASSERT_FALSE(gpad_db_find(guid.c_str()));
    SDL_Joystick* pads[9] = {};
    for (SDL_Joystick*& p : pads) ASSERT_NE(p = attach(), nullptr);
    SDL_JoystickSetVirtualButton(pads[7], 0, 1);
    SDL_JoystickSetVirtualButton(pads[8], 1, 1);
    ASSERT_TRUE(gpad_init());
    Gamepad_State s = {};
    for (uint8_t slot = 0; slot < GPAD_SLOT_COUNT; ++slot) {
        ASSERT_TRUE(gpad_get_state(slot, &s)) << int(slot);
        EXPECT_EQ(s.buttons, slot == 7 ? 1u << int(Button::A) : 0u) << int(slot);
    }
}

TEST_F(Virtual_Pads, DetachedPadFreesItsSlotForTheRun) {
    ASSERT_NE(attach(), nullptr);
    ASSERT_TRUE(gpad_init());
    Gamepad_State s = {};
    ASSERT_TRUE(gpad_get_state(0, &s));
    ASSERT_EQ(SDL_JoystickDetachVirtual(0), 0) << SDL_GetError();
    EXPECT_FALSE(gpad_get_state(0, &s));
    ASSERT_NE(attach(), nullptr);
    // Reading alone never takes in a new device: that is gpad_update's work.
    for (uint8_t slot = 0; slot < GPAD_SLOT_COUNT; ++slot) EXPECT_FALSE(gpad_get_state(slot, &s)) << int(slot);
    gpad_shutdown();  // a new start finds it
    ASSERT_TRUE(gpad_init());
    EXPECT_TRUE(gpad_get_state(0, &s));
}

TEST_F(Virtual_Pads, PadsComeAndGoWhileRunningWithoutSharingState) {
    gpad_update();  // before start-up: nothing to do, nothing taken
    ASSERT_TRUE(gpad_init());
    Gamepad_State s = {};
    EXPECT_FALSE(gpad_get_state(0, &s));
    SDL_Joystick* first = attach();
    SDL_Joystick* unknown = attach(0x0F30, 0x010A);
    SDL_Joystick* second = attach();
    ASSERT_TRUE(first && unknown && second) << SDL_GetError();
    SDL_JoystickSetVirtualButton(first, 2, 1);  // X
    SDL_JoystickSetVirtualHat(second, 0, SDL_HAT_LEFT);
    gpad_update();
    ASSERT_TRUE(gpad_get_state(0, &s));
    EXPECT_EQ(s.buttons, 1u << int(Button::X));
    ASSERT_TRUE(gpad_get_state(1, &s));  // the unknown device took no slot
    EXPECT_EQ(s.buttons, 1u << int(Button::Dpad_Left));
    EXPECT_FALSE(gpad_get_state(2, &s));
    gpad_update();  // pads already in a slot are not taken twice
    EXPECT_FALSE(gpad_get_state(2, &s));

    // Pull the first out while X is held; its slot goes to the next pad, which reads as itself.
    int index = -1;
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_JoystickGetDeviceInstanceID(i) == SDL_JoystickInstanceID(first)) index = i;
    ASSERT_EQ(SDL_JoystickDetachVirtual(index), 0) << SDL_GetError();
    gpad_update();
    EXPECT_FALSE(gpad_get_state(0, &s));
    SDL_Joystick* again = attach();
    ASSERT_NE(again, nullptr) << SDL_GetError();
    gpad_update();
    ASSERT_TRUE(gpad_get_state(0, &s));
    EXPECT_EQ(s.buttons, 0u);
    EXPECT_FLOAT_EQ(s.axes[4], -1.0f);
    ASSERT_TRUE(gpad_get_state(1, &s));
    EXPECT_EQ(s.buttons, 1u << int(Button::Dpad_Left));
    SDL_JoystickSetVirtualButton(again, 0, 1);  // A
    ASSERT_TRUE(gpad_get_state(0, &s));
    EXPECT_EQ(s.buttons, 1u << int(Button::A));
}
