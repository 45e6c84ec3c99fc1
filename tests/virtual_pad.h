// A virtual pad with a common controller's ids, so the built-in database maps it.
#pragma once
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "game/input.h"
#include "gpad/gpad.h"
#include "gpad/gpad_db.h"

// Attaches and opens it with both triggers released; nullptr (see SDL_GetError) on failure.
inline SDL_Joystick* attach_virtual_pad(Uint16 vendor = 0x045E, Uint16 product = 0x028E,
                                        const char* name = "Microsoft X-Box 360 pad") {
    SDL_VirtualJoystickDesc d = {};
    d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    d.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    d.naxes = 6;
    d.nbuttons = 11;
    d.nhats = 1;
    d.vendor_id = vendor;
    d.product_id = product;
    d.name = name;
    int index = SDL_JoystickAttachVirtualEx(&d);
    if (index < 0) return nullptr;
    SDL_Joystick* pad = SDL_JoystickOpen(index);
    if (!pad) return nullptr;
    SDL_JoystickSetVirtualAxis(pad, 2, -32768);
    SDL_JoystickSetVirtualAxis(pad, 5, -32768);
    return pad;
}

// Where the common wired pad keeps a button, from the same database the game reads.
inline int raw_button(Button b) {
    char guid[GPAD_GUID_SIZE];
    gpad_form_guid(0x045E, 0x028E, "", guid);
    std::optional<uint16_t> entry = gpad_db_find(guid);
    return entry ? gpad_db_entries[*entry].buttons[int(b)].index : -1;
}

// A test with one virtual pad attached; skipped when a real joystick would share the slots.
struct Virtual_Pad_Test : ::testing::Test {
    SDL_Joystick* pad = nullptr;

    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        if (SDL_NumJoysticks() != 0) GTEST_SKIP() << "a real joystick is attached";
        pad = attach_virtual_pad();
        ASSERT_NE(pad, nullptr) << SDL_GetError();
        input_reset();
    }
    void TearDown() override {
        gpad_shutdown();
        input_reset();
        if (pad) SDL_JoystickClose(pad);
        pad = nullptr;
        detach_virtual_pads();
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    static void detach_virtual_pads() {
        for (int i = SDL_NumJoysticks() - 1; i >= 0; --i)
            if (SDL_JoystickIsVirtual(i)) SDL_JoystickDetachVirtual(i);
    }
};
