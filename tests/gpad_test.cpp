// The gamepad layer: GUID forming, the generated database against SDL's own
// list, the element rules, and whole devices through SDL's virtual joysticks.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

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

bool same_element(const Gpad_Element& a, const Gpad_Element& b) {
    return a.type == b.type && a.index == b.index && a.axis_scale == b.axis_scale &&
           a.axis_offset == b.axis_offset;
}

}  // namespace

TEST(GpadGuid, FormsVendorProductAndNameStrings) {
    EXPECT_EQ(guid_of(0x0F30, 0x010A, "ignored"), "03000000300f00000a01000000000000");
    EXPECT_EQ(guid_of(0x045E, 0, nullptr), "030000005e0400000000000000000000");
    EXPECT_EQ(guid_of(0, 0x028E, nullptr), "0300000000000000" "8e02000000000000");
    // No ids: the first 11 name bytes, zero padded, last byte always zero.
    EXPECT_EQ(guid_of(0, 0, "PLAYSTATION(R)3 Controller"), "05000000504c415953544154494f4e00");
    EXPECT_EQ(guid_of(0, 0, "GS gamepad"), "0500000047532067616d657061640000");
    EXPECT_EQ(guid_of(0, 0, nullptr), "05000000000000000000000000000000");
    EXPECT_EQ(guid_of(0, 0, "\xc3\xa9t\xc3\xa9"), "05000000c3a974c3a900000000000000");
}

// ---- the generated database against the installed SDL2 ----

namespace {

struct Sdl_Mapping {
    std::string key;  // our GUID form
    std::string text;
};

// SDL's list for this platform, reduced with SDL's own GUID decoding.
std::vector<Sdl_Mapping> sdl_reduced_mappings() {
    unsetenv("SDL_GAMECONTROLLERCONFIG");
    unsetenv("SDL_GAMECONTROLLERCONFIG_FILE");
    std::vector<Sdl_Mapping> out;
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return out;
    for (int i = 0; i < SDL_GameControllerNumMappings(); ++i) {
        char* m = SDL_GameControllerMappingForIndex(i);
        if (!m) continue;
        std::string text = m;
        SDL_free(m);
        size_t p = text.find(",platform:");
        if (p != std::string::npos) {
            size_t start = p + 10;
            if (text.substr(start, text.find(',', start) - start) != SDL_GetPlatform()) continue;
        }
        SDL_JoystickGUID g = SDL_JoystickGetGUIDFromString(text.substr(0, text.find(',')).c_str());
        Uint16 vendor = 0, product = 0, version = 0, crc = 0;
        SDL_GetJoystickGUIDInfo(g, &vendor, &product, &version, &crc);
        unsigned bus = g.data[0] | g.data[1] << 8;
        std::string key;
        if (vendor != 0 || product != 0) {
            if (g.data[14] != 0) continue;  // SDL's own drivers
            key = guid_of(vendor, product, nullptr);
        } else {
            if (bus >= 0x20 || g.data[15] != 0) continue;
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

TEST(GpadDatabase, MatchesInstalledSdlListInOrder) {
    std::vector<Sdl_Mapping> sdl = sdl_reduced_mappings();
    ASSERT_FALSE(sdl.empty());
    ASSERT_EQ(size_t(gpad_db_entry_count), sdl.size());
    for (size_t i = 0; i < sdl.size(); ++i) {
        EXPECT_EQ(std::string(gpad_db_guids[i]), sdl[i].key) << "entry " << i;
        std::string name = sdl[i].text.substr(33, sdl[i].text.find(',', 33) - 33);
        EXPECT_STREQ(gpad_db_entries[i].name, name.c_str()) << "entry " << i;
    }
}

TEST(GpadDatabase, GuidFieldsAreLowerHexAndUnique) {
    for (int i = 0; i < gpad_db_entry_count; ++i) {
        const char* g = gpad_db_guids[i];
        for (int c = 0; c < 32; ++c)
            EXPECT_TRUE((g[c] >= '0' && g[c] <= '9') || (g[c] >= 'a' && g[c] <= 'f')) << "entry " << i;
        EXPECT_EQ(g[32], '\0') << "entry " << i;
        EXPECT_TRUE(std::strncmp(g, "03000000", 8) == 0 || std::strncmp(g, "05000000", 8) == 0);
        EXPECT_EQ(gpad_db_find(g), std::optional<uint16_t>(uint16_t(i)));
    }
    char unknown[GPAD_GUID_SIZE];
    gpad_form_guid(0x1234, 0x5678, nullptr, unknown);
    EXPECT_FALSE(gpad_db_find(unknown).has_value());
    // All 33 bytes count: a field without its zero byte never matches.
    char unterminated[GPAD_GUID_SIZE];
    std::memcpy(unterminated, gpad_db_guids[0], GPAD_GUID_SIZE);
    unterminated[32] = '0';
    EXPECT_FALSE(gpad_db_find(unterminated).has_value());
}

TEST(GpadDatabase, WellKnownPadsDecodeToTheirElements) {
    std::vector<Sdl_Mapping> sdl = sdl_reduced_mappings();
    struct Case {
        uint16_t vendor, product;
        const char* field;  // as SDL writes it
        bool is_axis;
        int slot;  // Button or axis number
        Gpad_Element expect;
    };
    const Case cases[] = {
        {0x045E, 0x028E, "a:b0", false, int(Button::A), {1, 0, 0, 0}},
        {0x045E, 0x028E, "dpright:h0.2", false, int(Button::Dpad_Right), {2, 0x02, 0, 0}},
        {0x045E, 0x028E, "guide:b8", false, int(Button::Guide), {1, 8, 0, 0}},
        {0x045E, 0x028E, "lefttrigger:a2", true, 4, {0, 2, 1, 0}},
        {0x045E, 0x028E, "righty:a4", true, 3, {0, 4, 1, 0}},
        {0x054C, 0x09CC, "x:b0", false, int(Button::X), {1, 0, 0, 0}},
        {0x054C, 0x09CC, "righttrigger:a4", true, 5, {0, 4, 1, 0}},
        {0x057E, 0x2009, "lefttrigger:b7", true, 4, {1, 7, 0, 0}},
        {0x06A3, 0xF622, "lefttrigger:+a3", true, 4, {0, 3, 2, -1}},
        {0x06A3, 0xF622, "righttrigger:-a3", true, 5, {0, 3, 2, 1}},
        {0x0E8F, 0x3013, "dpdown:+a1", false, int(Button::Dpad_Down), {0, 1, 2, -1}},
        {0x0E8F, 0x3013, "dpleft:-a0", false, int(Button::Dpad_Left), {0, 0, 2, 1}},
        {0x0926, 0x8888, "righty:a3~", true, 3, {0, 3, -1, 0}},
    };
    int checked = 0;
    for (const Case& c : cases) {
        std::string key = guid_of(c.vendor, c.product, nullptr);
        std::optional<uint16_t> index = gpad_db_find(key.c_str());
        const Sdl_Mapping* mapping = nullptr;
        for (const Sdl_Mapping& s : sdl)
            if (s.key == key) mapping = &s;
        // A pad the installed list lacks has nothing to check against.
        if (!mapping) {
            EXPECT_FALSE(index.has_value()) << key;
            continue;
        }
        ASSERT_TRUE(index.has_value()) << key;
        ASSERT_NE(mapping->text.find(std::string(",") + c.field + ","), std::string::npos)
            << key << " " << c.field;
        const Gpad_Entry& e = gpad_db_entries[*index];
        const Gpad_Element& got = c.is_axis ? e.axes[c.slot] : e.buttons[c.slot];
        EXPECT_TRUE(same_element(got, c.expect)) << key << " " << c.field;
        ++checked;
    }
    EXPECT_GE(checked, 8);
}

// ---- the element rules on raw values ----

namespace {

Gpad_Raw raw_with_axes(std::initializer_list<float> axes) {
    Gpad_Raw raw = {};
    for (float v : axes) raw.axes[raw.axis_count++] = v;
    return raw;
}

Gpad_Entry entry_with_axis(int output, Gpad_Element e) {
    Gpad_Entry entry = {};
    entry.name = "test";
    entry.axes[output] = e;
    return entry;
}

Gpad_Entry entry_with_button(Button b, Gpad_Element e) {
    Gpad_Entry entry = {};
    entry.name = "test";
    entry.buttons[int(b)] = e;
    return entry;
}

}  // namespace

TEST(GpadElements, NormalisesSignedRawAxes) {
    EXPECT_FLOAT_EQ(gpad_normalize_axis(-32768), -1.0f);
    EXPECT_FLOAT_EQ(gpad_normalize_axis(32767), 1.0f);
    EXPECT_GT(gpad_normalize_axis(0), 0.0f);
    EXPECT_LT(gpad_normalize_axis(0), 1e-4f);
}

TEST(GpadElements, AxisOutputsApplyScaleOffsetAndFlipY) {
    const Gpad_Element full = {0, 0, 1, 0}, inverted = {0, 0, -1, 0};
    const Gpad_Element positive_half = {0, 0, 2, -1}, negative_half = {0, 0, 2, 1};

    EXPECT_FLOAT_EQ(gpad_apply_entry(entry_with_axis(0, full), raw_with_axes({0.25f})).axes[0], 0.25f);
    EXPECT_FLOAT_EQ(gpad_apply_entry(entry_with_axis(1, full), raw_with_axes({-1})).axes[1], 1.0f);
    EXPECT_FLOAT_EQ(gpad_apply_entry(entry_with_axis(1, inverted), raw_with_axes({-1})).axes[1], -1.0f);
    EXPECT_FLOAT_EQ(gpad_apply_entry(entry_with_axis(3, full), raw_with_axes({0.5f})).axes[3], -0.5f);

    // Half-axis triggers rest at -1 on either half and reach 1 at the half's end.
    for (int t : {4, 5}) {
        EXPECT_FLOAT_EQ(gpad_apply_entry(entry_with_axis(t, positive_half), raw_with_axes({0})).axes[t], -1.0f);
        EXPECT_FLOAT_EQ(gpad_apply_entry(entry_with_axis(t, positive_half), raw_with_axes({1})).axes[t], 1.0f);
        EXPECT_FLOAT_EQ(gpad_apply_entry(entry_with_axis(t, negative_half), raw_with_axes({0})).axes[t], -1.0f);
        EXPECT_FLOAT_EQ(gpad_apply_entry(entry_with_axis(t, negative_half), raw_with_axes({-1})).axes[t], 1.0f);
        EXPECT_FLOAT_EQ(gpad_apply_entry(entry_with_axis(t, negative_half), raw_with_axes({0.7f})).axes[t], -1.0f);
        EXPECT_FLOAT_EQ(gpad_apply_entry(entry_with_axis(t, negative_half), raw_with_axes({-0.5f})).axes[t], 0.0f);
    }
}

TEST(GpadElements, UnmappedAndOutOfRangeOutputsRest) {
    Gpad_Raw raw = raw_with_axes({0.9f, 0.9f});
    Gamepad_State none = gpad_apply_entry(Gpad_Entry{}, raw);
    EXPECT_EQ(none.buttons, 0);
    for (int a = 0; a < 4; ++a) EXPECT_FLOAT_EQ(none.axes[a], 0.0f) << a;  // a stick never drifts
    EXPECT_FLOAT_EQ(none.axes[4], -1.0f);
    EXPECT_FLOAT_EQ(none.axes[5], -1.0f);

    // Elements past what the device has read as unmapped.
    Gamepad_State past = gpad_apply_entry(entry_with_axis(0, {0, 2, 1, 0}), raw);
    EXPECT_FLOAT_EQ(past.axes[0], 0.0f);
    raw.button_count = 3;
    raw.buttons[0] = 0xFF;
    raw.hat_count = 1;
    raw.hats[0] = 0x0F;
    EXPECT_FALSE(gpad_button_held(gpad_apply_entry(entry_with_button(Button::A, {1, 3, 0, 0}), raw), Button::A));
    EXPECT_TRUE(gpad_button_held(gpad_apply_entry(entry_with_button(Button::A, {1, 2, 0, 0}), raw), Button::A));
    EXPECT_FALSE(gpad_button_held(gpad_apply_entry(entry_with_button(Button::A, {2, 0x11, 0, 0}), raw), Button::A));
    EXPECT_FALSE(gpad_button_held(gpad_apply_entry(entry_with_button(Button::A, {7, 0, 1, 0}), raw), Button::A));
}

TEST(GpadElements, AxesHeldAsButtonsPastHalfTheirTravel) {
    struct Case { Gpad_Element e; float v; bool held; };
    const Case cases[] = {
        {{0, 0, 2, -1}, 0.0f, false}, {{0, 0, 2, -1}, 0.45f, false}, {{0, 0, 2, -1}, 0.55f, true},
        {{0, 0, 2, -1}, -1.0f, false},
        {{0, 0, 2, 1}, 0.0f, false}, {{0, 0, 2, 1}, -0.45f, false}, {{0, 0, 2, 1}, -0.55f, true},
        {{0, 0, 2, 1}, 1.0f, false},
        {{0, 0, 1, 0}, 0.0f, false}, {{0, 0, 1, 0}, -1.0f, false}, {{0, 0, 1, 0}, 0.55f, true},
        {{0, 0, -1, 0}, 0.0f, false}, {{0, 0, -1, 0}, 1.0f, false}, {{0, 0, -1, 0}, -0.55f, true},
        {{0, 0, 0, 0}, 1.0f, false},
    };
    for (const Case& c : cases) {
        Gamepad_State s = gpad_apply_entry(entry_with_button(Button::Dpad_Left, c.e), raw_with_axes({c.v}));
        EXPECT_EQ(gpad_button_held(s, Button::Dpad_Left), c.held)
            << int(c.e.axis_scale) << "," << int(c.e.axis_offset) << " at " << c.v;
        EXPECT_EQ(s.buttons & ~(1u << int(Button::Dpad_Left)), 0u);
    }
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

    SDL_Joystick* attach(uint16_t vendor, uint16_t product, const char* name, int axes = 6,
                         int buttons = 11, int hats = 1) {
        SDL_VirtualJoystickDesc d = {};
        d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        d.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        d.naxes = uint16_t(axes);
        d.nbuttons = uint16_t(buttons);
        d.nhats = uint16_t(hats);
        d.vendor_id = vendor;
        d.product_id = product;
        d.name = name;
        int index = SDL_JoystickAttachVirtualEx(&d);
        if (index < 0) return nullptr;
        SDL_Joystick* j = SDL_JoystickOpen(index);
        if (j) handles.push_back(j);
        return j;
    }

    // The common wired pad; its triggers are full axes 2 and 5 resting at -32768.
    SDL_Joystick* attach_x360() {
        SDL_Joystick* j = attach(0x045E, 0x028E, "Microsoft X-Box 360 pad");
        if (j) {
            SDL_JoystickSetVirtualAxis(j, 2, -32768);
            SDL_JoystickSetVirtualAxis(j, 5, -32768);
        }
        return j;
    }
};

}  // namespace

TEST_F(Virtual_Pads, DeviceIdsReachTheGuidFormer) {
    SDL_Joystick* j = attach(0x0F30, 0x010A, "Conversion Box");
    ASSERT_NE(j, nullptr) << SDL_GetError();
    EXPECT_EQ(guid_of(SDL_JoystickGetVendor(j), SDL_JoystickGetProduct(j), SDL_JoystickName(j)),
              "03000000300f00000a01000000000000");
}

TEST_F(Virtual_Pads, KnownPadReadsThroughItsEntry) {
    ASSERT_TRUE(gpad_db_find(guid_of(0x045E, 0x028E, nullptr).c_str()).has_value());
    SDL_Joystick* j = attach_x360();
    ASSERT_NE(j, nullptr) << SDL_GetError();
    ASSERT_TRUE(gpad_init());

    Gamepad_State s = {};
    ASSERT_TRUE(gpad_get_state(0, &s));
    EXPECT_EQ(s.buttons, 0);
    EXPECT_FLOAT_EQ(s.axes[4], -1.0f);
    EXPECT_FLOAT_EQ(s.axes[5], -1.0f);
    EXPECT_NEAR(s.axes[0], 0.0f, 1e-4f);
    EXPECT_NEAR(s.axes[1], 0.0f, 1e-4f);

    SDL_JoystickSetVirtualHat(j, 0, SDL_HAT_RIGHTUP);
    SDL_JoystickSetVirtualAxis(j, 1, -32768);
    SDL_JoystickSetVirtualAxis(j, 3, 32767);
    SDL_JoystickSetVirtualButton(j, 2, 1);
    ASSERT_TRUE(gpad_get_state(0, &s));
    EXPECT_TRUE(gpad_button_held(s, Button::Dpad_Up));
    EXPECT_TRUE(gpad_button_held(s, Button::Dpad_Right));
    EXPECT_FALSE(gpad_button_held(s, Button::Dpad_Down));
    EXPECT_FALSE(gpad_button_held(s, Button::Dpad_Left));
    EXPECT_TRUE(gpad_button_held(s, Button::X));
    EXPECT_FALSE(gpad_button_held(s, Button::A));
    EXPECT_FLOAT_EQ(s.axes[1], 1.0f);   // stick up
    EXPECT_FLOAT_EQ(s.axes[2], 1.0f);   // raw axis 3 is the right stick's x
    EXPECT_FLOAT_EQ(s.axes[4], -1.0f);  // trigger still released

    SDL_JoystickSetVirtualAxis(j, 5, 32767);
    ASSERT_TRUE(gpad_get_state(0, &s));
    EXPECT_FLOAT_EQ(s.axes[5], 1.0f);
    EXPECT_FALSE(gpad_get_state(1, &s));
}

TEST_F(Virtual_Pads, NegativeHalfTriggerRestsReleased) {
    // An entry whose triggers share one axis, the right one on its negative half.
    std::optional<uint16_t> index = gpad_db_find(guid_of(0x06A3, 0xF622, nullptr).c_str());
    if (!index || gpad_db_entries[*index].axes[5].axis_offset != 1)
        GTEST_SKIP() << "no shared-axis trigger pad in this SDL's list";
    uint8_t axis = gpad_db_entries[*index].axes[5].index;
    SDL_Joystick* j = attach(0x06A3, 0xF622, "Cyborg", 6, 13, 1);
    ASSERT_NE(j, nullptr) << SDL_GetError();
    ASSERT_TRUE(gpad_init());

    Gamepad_State s = {};
    ASSERT_TRUE(gpad_get_state(0, &s));
    EXPECT_NEAR(s.axes[5], -1.0f, 1e-3f);
    EXPECT_NEAR(s.axes[4], -1.0f, 1e-3f);
    SDL_JoystickSetVirtualAxis(j, axis, -32768);
    ASSERT_TRUE(gpad_get_state(0, &s));
    EXPECT_FLOAT_EQ(s.axes[5], 1.0f);
    EXPECT_FLOAT_EQ(s.axes[4], -1.0f);
}

TEST_F(Virtual_Pads, UnknownDeviceTakesNoSlot) {
    ASSERT_FALSE(gpad_db_find(guid_of(0x1234, 0x5678, nullptr).c_str()).has_value());
    ASSERT_NE(attach(0x1234, 0x5678, "Mystery Stick"), nullptr);
    ASSERT_NE(attach_x360(), nullptr);
    ASSERT_TRUE(gpad_init());
    Gamepad_State s = {};
    EXPECT_TRUE(gpad_get_state(0, &s));
    for (uint8_t slot = 1; slot < GPAD_SLOT_COUNT; ++slot) EXPECT_FALSE(gpad_get_state(slot, &s)) << int(slot);
}

TEST_F(Virtual_Pads, NinthPadIsIgnored) {
    SDL_Joystick* pads[9] = {};
    for (SDL_Joystick*& p : pads) ASSERT_NE(p = attach_x360(), nullptr);
    SDL_JoystickSetVirtualButton(pads[7], 0, 1);
    SDL_JoystickSetVirtualButton(pads[8], 1, 1);
    ASSERT_TRUE(gpad_init());
    Gamepad_State s = {};
    for (uint8_t slot = 0; slot < GPAD_SLOT_COUNT; ++slot) {
        ASSERT_TRUE(gpad_get_state(slot, &s)) << int(slot);
        EXPECT_EQ(gpad_button_held(s, Button::A), slot == 7);
        EXPECT_FALSE(gpad_button_held(s, Button::B)) << "slot " << int(slot) << " reads the ninth pad";
    }
    EXPECT_FALSE(gpad_get_state(GPAD_SLOT_COUNT, &s));
}

TEST_F(Virtual_Pads, DetachedPadFreesItsSlotForTheRun) {
    ASSERT_NE(attach_x360(), nullptr);
    ASSERT_TRUE(gpad_init());
    Gamepad_State s = {};
    ASSERT_TRUE(gpad_get_state(0, &s));

    ASSERT_EQ(SDL_JoystickDetachVirtual(0), 0) << SDL_GetError();
    EXPECT_FALSE(gpad_get_state(0, &s));
    ASSERT_NE(attach_x360(), nullptr);
    for (uint8_t slot = 0; slot < GPAD_SLOT_COUNT; ++slot) EXPECT_FALSE(gpad_get_state(slot, &s)) << int(slot);

    // Only a new start discovers it again.
    gpad_shutdown();
    ASSERT_TRUE(gpad_init());
    EXPECT_TRUE(gpad_get_state(0, &s));
}

TEST_F(Virtual_Pads, RefusesBadCallsAndDoubleInit) {
    ASSERT_NE(attach_x360(), nullptr);
    Gamepad_State s = {};
    EXPECT_FALSE(gpad_get_state(0, &s));  // not started yet
    ASSERT_TRUE(gpad_init());
    EXPECT_FALSE(gpad_init());
    EXPECT_FALSE(gpad_get_state(0, nullptr));
    EXPECT_FALSE(gpad_get_state(200, &s));
    EXPECT_TRUE(gpad_get_state(0, &s));
    gpad_shutdown();
    EXPECT_FALSE(gpad_get_state(0, &s));
}
