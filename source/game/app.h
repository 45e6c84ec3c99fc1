// The application callbacks: start-up, shutdown and the way in for window events; the frame
// callback is in game.h.
#pragma once
#include "input.h"

struct Platform_Event;

void _sapp_init();
void _sapp_event(const Input_Event& e);
void _sapp_cleanup();
// What the window layer calls for each event: translated, then handed to _sapp_event.
void app_platform_event(const Platform_Event& e);
