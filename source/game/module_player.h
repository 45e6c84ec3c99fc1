// How the game plays a bank's music module; the sound builder measures its music through
// the same set-up, so what it prints is what the player hears.
#pragma once
#include <xmp.h>

#include "bank.h"

// Percent: how far apart the module's panning puts its voices.
constexpr int MODULE_STEREO_SEPARATION = 100;

// Loads a module (which bank_module_valid has passed) into `player`. Loading walks the whole
// song to time it, so a player keeps its module for the next start.
inline bool module_player_load(xmp_context player, const u8* bytes, size_t size) {
    return xmp_load_module_from_memory(player, bytes, long(size)) == 0;
}

// Starts the loaded module from its top at the bank's rate, the same every time.
inline bool module_player_start(xmp_context player) {
    if (xmp_start_player(player, int(BANK_RATE), 0) != 0) return false;
    xmp_set_player(player, XMP_PLAYER_INTERP, XMP_INTERP_SPLINE);
    xmp_set_player(player, XMP_PLAYER_MIX, MODULE_STEREO_SEPARATION);
    return true;
}
