// A virtual pad with a common controller's ids, so the built-in database maps it.
#pragma once
#include <SDL2/SDL.h>

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
