// Sound events: fire-and-forget one-shots and the kept music instance.
#pragma once
#include "common.h"

enum Audio_Event : u8 {
    music_menu = 0, music_game, ui_hover, ui_press, new_stage, boss_waking_up, boss_moving,
    boss_attack_targeted, boss_attack_big_wave, boss_attack_spin, boss_dying,
    asteroid_destroyed, bomb_explode, player_idle, player_charged, player_boost, player_shoot,
    player_damaged, player_death, player_heal, game_win, game_lose, AUDIO_EVENT_COUNT
};
static_assert(AUDIO_EVENT_COUNT == 22);

extern const char* const audio_event_names[AUDIO_EVENT_COUNT];

// Handle of a started instance; 0 is the null handle.
using Audio_Instance = u32;

void audio_init();
// Starts the generator that varies repeated one-shots; from the game's seed, so a replay
// sounds as its recording did, without drawing on the game's own generator.
void audio_seed(u64 game_seed);
// Linear gains, 0 (off) to 1 (as the bank mixes it), for the music and for everything else.
// Changes glide over one mixer buffer, so a step makes no click.
void audio_set_volume(f32 music_gain, f32 effects_gain);
// Starts one instance. Null when the event is missing or audio is off.
Audio_Instance audio_play(Audio_Event e);
// Lets a kept instance fade out as its event defines; null or stale handles are harmless.
void audio_stop(Audio_Instance inst);
void audio_set_listener(Vec2 pos, Vec2 vel);
void audio_update();
void audio_shutdown();

// Each start of an event that varies is up to this much higher or lower in pitch and
// louder or softer than the bank's sound.
constexpr f32 AUDIO_VARY_PITCH = 0.03f;   // fraction of the frequency
constexpr f32 AUDIO_VARY_LEVEL = 1.5f;    // dB

// Every audio_play call is counted per event, with or without a device, so tests can
// see which triggers fired; a start that took over the event's oldest instance because
// the event was at its instance limit is also counted as stolen.
struct Audio_Trace {
    u32 started[AUDIO_EVENT_COUNT];
    u32 stolen[AUDIO_EVENT_COUNT];
    u32 stopped;
    u64 prepared_frames; // sample frames decoded at start-up, all events together
    Vec2 listener_pos;
    Vec2 listener_vel;
    u32 varied;          // starts given a variation
    f32 pitch_low, pitch_high;  // frequency ratios drawn, lowest and highest
    f32 level_low, level_high;  // dB drawn, lowest and highest
    u64 variations;      // hash of every variation drawn, in order
    f32 music_gain, effects_gain;
};
extern Audio_Trace audio_trace;
