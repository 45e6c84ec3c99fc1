// The game's icon: the ship's upright sprite scaled up without smoothing, centred on a
// transparent square. The window icon and the Windows program icon are both made here.
#pragma once
#include "assets.h"

constexpr int WINDOW_ICON_SIZE = 32;   // pixels
constexpr int WINDOW_ICON_SCALE = 2;   // icon pixels per sprite pixel

// Fills size × size RGBA8 pixels (rows top to bottom). False when the pack has no ship.
bool icon_from_ship(const Assets& a, int size, int scale, u8* rgba);
