// How the game plays a bank's music module; the sound builder measures its music through
// the same set-up, so what it prints is what the player hears.
#pragma once
#include <xmp.h>

#include "bank.h"

// Percent: how far apart the module's panning puts its voices.
constexpr int MODULE_STEREO_SEPARATION = 100;

// Loads the module (which bank_module_valid has passed) into `player` and starts it at the
// bank's rate; false when the player refuses it, and then nothing is left loaded.
inline bool module_player_start(xmp_context player, const u8* bytes, size_t size) {
    if (xmp_load_module_from_memory(player, bytes, long(size)) != 0) return false;
    if (xmp_start_player(player, int(BANK_RATE), 0) != 0) {
        xmp_release_module(player);
        return false;
    }
    xmp_set_player(player, XMP_PLAYER_INTERP, XMP_INTERP_SPLINE);
    xmp_set_player(player, XMP_PLAYER_MIX, MODULE_STEREO_SEPARATION);
    return true;
}
