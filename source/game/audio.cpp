#include "audio.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bank.h"

const char* const audio_event_names[AUDIO_EVENT_COUNT] = {
    "music_menu", "music_game", "ui_hover", "ui_press", "new_stage", "boss_waking_up",
    "boss_moving", "boss_attack_targeted", "boss_attack_big_wave", "boss_attack_spin",
    "boss_dying", "asteroid_destroyed", "bomb_explode", "player_idle", "player_charged",
    "player_boost", "player_shoot", "player_damaged", "player_death", "player_heal",
    "game_win", "game_lose",
};

Audio_Trace audio_trace = {};

namespace {

constexpr int DEVICE_RATE = 44100;        // Hz
constexpr int DEVICE_CHANNELS = 2;
constexpr int DEVICE_BUFFER = 1024;       // sample frames
// A bomb chain can start dozens of one-shots in one frame.
constexpr int CHANNEL_COUNT = 64;
// Two channels kept for music so that the old tune can fade while the new one starts.
constexpr int MUSIC_CHANNELS = 2;
// An instance handle is the channel + 1 in the low bits and the channel's generation above.
constexpr u32 HANDLE_CHANNEL_BITS = 8;

struct Audio_Sound {
    Mix_Chunk* chunk;
    u8* pcm;            // device-format samples the chunk plays from
    bool loop;
    int fade_out_ms;
};

struct Audio_Channel {
    Audio_Event event;  // what the channel last started
    u32 generation;
    u64 started_order;
    bool stopping;
};

struct Audio {
    bool subsystem;
    bool device;
    Audio_Sound sounds[AUDIO_EVENT_COUNT];
    Audio_Channel channels[CHANNEL_COUNT];
    u64 start_counter;
    Vec2 listener_pos;
    Vec2 listener_vel;
};

Audio audio = {};

// Linear interpolation to the device rate; looping sounds read across their seam so the
// resampled loop stays as continuous as the original.
Audio_Sound _make_sound(const Bank& bank, const Bank_Event& e) {
    Audio_Sound sound = {};
    const i16* src = bank.samples.data() + e.first_sample;
    u32 src_frames = e.sample_count / e.channels;
    u64 dst_frames = u64(src_frames) * DEVICE_RATE / e.sample_rate;
    if (dst_frames == 0) return sound;
    size_t bytes = size_t(dst_frames) * DEVICE_CHANNELS * sizeof(i16);
    i16* dst = static_cast<i16*>(SDL_malloc(bytes));
    if (!dst) return sound;
    f64 step = f64(src_frames) / f64(dst_frames);
    for (u64 i = 0; i < dst_frames; i++) {
        f64 pos = f64(i) * step;
        u32 a = u32(pos);
        f64 t = pos - a;
        u32 b = a + 1;
        bool past_end = b >= src_frames;
        if (past_end) b = e.loop ? 0 : a;
        for (int c = 0; c < DEVICE_CHANNELS; c++) {
            int sc = e.channels == 1 ? 0 : c % 2;
            f64 va = src[a * e.channels + sc];
            f64 vb = (past_end && !e.loop) ? 0.0 : f64(src[b * e.channels + sc]);
            dst[i * DEVICE_CHANNELS + c] = i16(va + (vb - va) * t);
        }
    }
    Mix_Chunk* chunk = Mix_QuickLoad_RAW(reinterpret_cast<u8*>(dst), u32(bytes));
    if (!chunk) {
        SDL_free(dst);
        return sound;
    }
    Mix_VolumeChunk(chunk, int(e.volume * MIX_MAX_VOLUME + 0.5f));
    sound.chunk = chunk;
    sound.pcm = reinterpret_cast<u8*>(dst);
    sound.loop = e.loop;
    sound.fade_out_ms = int(e.fade_out * 1000 + 0.5f);
    return sound;
}

void _load_banks() {
    std::optional<Bank> bank = bank_read_file("data/Desktop/persistent.bank");
    std::optional<Strings_Bank> strings = strings_bank_read_file("data/Desktop/persistent.strings.bank");
    if (!bank || !strings) return;
    for (int e = 0; e < AUDIO_EVENT_COUNT; e++) {
        char path[64];
        std::snprintf(path, sizeof path, "event:/%s", audio_event_names[e]);
        std::optional<u32> index = bank_find_event(*strings, *bank, path);
        if (index) audio.sounds[e] = _make_sound(*bank, bank->events[*index]);
    }
}

// A music channel that is free, else the one whose tune started first.
int _pick_music_channel() {
    int oldest = 0;
    for (int c = 0; c < MUSIC_CHANNELS; c++) {
        if (!Mix_Playing(c)) return c;
        if (audio.channels[c].started_order < audio.channels[oldest].started_order) oldest = c;
    }
    Mix_HaltChannel(oldest);
    return oldest;
}

} // namespace

void audio_init() {
    if (audio.subsystem) return;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    audio.subsystem = true;
    // No format changes allowed: SDL converts for the hardware and the sounds are
    // prepared once for exactly this format.
    if (Mix_OpenAudioDevice(DEVICE_RATE, AUDIO_S16SYS, DEVICE_CHANNELS, DEVICE_BUFFER, nullptr, 0) != 0)
        return;
    audio.device = true;
    Mix_AllocateChannels(CHANNEL_COUNT);
    Mix_ReserveChannels(MUSIC_CHANNELS);
    _load_banks();
}

Audio_Instance audio_play(Audio_Event e) {
    if (e >= AUDIO_EVENT_COUNT) return 0;
    audio_trace.started[e]++;
    const Audio_Sound& sound = audio.sounds[e];
    if (!audio.device || !sound.chunk) return 0;
    int channel = sound.loop ? Mix_PlayChannel(_pick_music_channel(), sound.chunk, -1)
                             : Mix_PlayChannel(-1, sound.chunk, 0);
    // No free channel: the one-shot is dropped.
    if (channel < 0 || channel >= CHANNEL_COUNT) return 0;
    Audio_Channel& ch = audio.channels[channel];
    ch.generation = (ch.generation + 1) & ((1u << (32 - HANDLE_CHANNEL_BITS)) - 1);
    if (ch.generation == 0) ch.generation = 1;
    ch.started_order = ++audio.start_counter;
    ch.stopping = false;
    ch.event = e;
    return ch.generation << HANDLE_CHANNEL_BITS | u32(channel + 1);
}

void audio_stop(Audio_Instance inst) {
    if (!audio.device || inst == 0) return;
    int channel = int(inst & ((1u << HANDLE_CHANNEL_BITS) - 1)) - 1;
    if (channel < 0 || channel >= CHANNEL_COUNT) return;
    Audio_Channel& ch = audio.channels[channel];
    if (ch.generation != inst >> HANDLE_CHANNEL_BITS || ch.stopping || !Mix_Playing(channel)) return;
    ch.stopping = true;
    int fade_ms = audio.sounds[ch.event].fade_out_ms;
    if (fade_ms > 0)
        Mix_FadeOutChannel(channel, fade_ms);
    else
        Mix_HaltChannel(channel);
    audio_trace.stopped++;
}

void audio_set_listener(Vec2 pos, Vec2 vel) {
    // Sounds carry no position, so the listener is kept but changes nothing audible.
    audio.listener_pos = pos;
    audio.listener_vel = vel;
    audio_trace.listener_pos = pos;
    audio_trace.listener_vel = vel;
}

void audio_update() {
    // SDL_mixer mixes on its own thread and channels free themselves when they end, so
    // there is nothing to pump each frame.
}

void audio_shutdown() {
    if (audio.device) {
        Mix_HaltChannel(-1);
        for (Audio_Sound& s : audio.sounds) {
            if (s.chunk) Mix_FreeChunk(s.chunk);
            SDL_free(s.pcm);
        }
        Mix_CloseAudio();
    }
    if (audio.subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio = {};
}
