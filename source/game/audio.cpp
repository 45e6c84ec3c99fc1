#include "audio.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "bank.h"
#include "bank_vorbis.h"
#include "module_player.h"
#include "random.h"
#include "vorbis_memory.h"

const char* const audio_event_names[AUDIO_EVENT_COUNT] = {
    "music_menu", "music_game", "ui_hover", "ui_press", "new_stage", "boss_waking_up",
    "boss_moving", "boss_attack_targeted", "boss_attack_big_wave", "boss_attack_spin",
    "boss_dying", "asteroid_destroyed", "bomb_explode", "player_idle", "player_charged",
    "player_boost", "player_shoot", "player_damaged", "player_death", "player_heal",
    "game_win", "game_lose",
};

Audio_Trace audio_trace = {};

namespace {

constexpr int DEVICE_RATE = int(BANK_RATE); // Hz: banks are made at the device rate
constexpr int DEVICE_CHANNELS = 2;
constexpr int DEVICE_BUFFER = 1024;       // sample frames
// A bomb chain can start dozens of one-shots in one frame; instance limits keep most of
// them to a few channels.
constexpr int CHANNEL_COUNT = 64;
// Two channels kept for music so that the old tune can fade while the new one starts.
constexpr int MUSIC_CHANNELS = 2;
// An instance handle is the channel + 1 in the low bits and the channel's generation above.
constexpr u32 HANDLE_CHANNEL_BITS = 8;
// Every channel plays 12 dB down so that the worst pile-up (a bomb chain with the ship
// dying in it sums to about four times full scale) has room before the mixer saturates;
// the bus limiter puts the 12 dB back and holds the peaks under its ceiling.
constexpr int CHANNEL_VOLUME = MIX_MAX_VOLUME / 4;
constexpr f32 BUS_GAIN = 4;
constexpr f32 LIMIT_CEILING = 0.84f;       // of full scale, about -1.5 dBFS
constexpr int LIMIT_LOOKAHEAD = 64;        // frames, about 1.5 ms of added latency
constexpr f32 LIMIT_RELEASE = 0.25f;       // seconds from full reduction back to unity
constexpr int STREAM_FRAMES = 2048;        // frames decoded per piece of streamed music
// A stolen instance fades out over this long instead of stopping on a step.
constexpr int STEAL_FADE_FRAMES = 256;     // about 6 ms
constexpr int STEAL_EXPIRE_MS = 20;        // then its channel is freed

// The player's volume, read by the mixer thread as it mixes.
std::atomic<f32> music_gain{1}, effects_gain{1};

// The generator of one-shot variations (splitmix64), apart from the game's own; seeded
// with a twist so that even the game's seed does not give the game's sequence.
constexpr u64 VARY_TWIST = 0xA0D10A0D10A0D10Aull;
u64 vary_state = RANDOM_START_SEED ^ VARY_TWIST;

u64 _vary_next() {
    u64 z = (vary_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Uniform in [-1, 1].
f32 _vary_unit() { return f32(f64(_vary_next() >> 11) * (2.0 / 9007199254740991.0) - 1.0); }

// Opens one event's stream; false unless it is Vorbis at the event's rate and channels.
bool _open_stream(OggVorbis_File& vf, Vorbis_Memory& src, const Bank& bank, const Bank_Event& e) {
    src = {bank.data.data() + e.first_byte, e.byte_count, 0};
    if (ov_open_callbacks(&src, &vf, nullptr, 0, VORBIS_MEMORY_CALLBACKS) != 0) return false;
    vorbis_info* info = ov_info(&vf, -1);
    if (!info || info->rate != long(e.sample_rate) || info->channels != e.channels) {
        ov_clear(&vf);
        return false;
    }
    return true;
}

// Decodes up to `frames` frames as device-format frames (mono is copied to both sides).
// Returns the frames written; 0 at the stream's end or on a damaged stream.
u32 _decode(OggVorbis_File& vf, u16 channels, i16* out, u32 frames) {
    u32 done = 0;
    while (done < frames) {
        i16 piece[STREAM_FRAMES * 2];
        u32 want = std::min<u32>(frames - done, STREAM_FRAMES);
        int section = 0;
        long got = ov_read(&vf, reinterpret_cast<char*>(piece), int(want * channels * 2),
                           SDL_BYTEORDER == SDL_BIG_ENDIAN, 2, 1, &section);
        if (got <= 0) break;
        u32 n = u32(got) / (2u * channels);
        for (u32 i = 0; i < n; i++) {
            out[(done + i) * 2] = piece[i * channels];
            out[(done + i) * 2 + 1] = piece[i * channels + channels - 1];
        }
        done += n;
    }
    return done;
}

enum Sound_State : u8 { unprepared, ready, refused };

struct Audio_Sound {
    Sound_State state;
    // One-shots: the decoded sound, with room after it for the slowest variation to
    // finish; loops: silence the stream fills.
    Mix_Chunk* chunk;
    u32 frames;         // of the decoded sound
    bool loop;
    bool vary;
    int fade_out_ms;
    int max_instances;
    int event;          // index in the main bank
};

// Streamed music on one music channel: decoded or rendered on the mixer thread as it
// plays, so a tune never sits decoded in memory.
struct Music_Stream {
    Bank_Codec codec;
    OggVorbis_File vf;  // codec_vorbis
    Vorbis_Memory source;
    xmp_context module; // codec_module
    int module_event = -1;  // bank event loaded in `module`, -1 for none
    bool open;
    u32 frames;         // of one pass
    u32 played;         // frames of the current pass
    u16 channels;
    f32 gain;           // music volume reached at the end of the last buffer
};

// What a one-shot's channel plays: the sound read at its own speed and level.
struct One_Shot_Voice {
    const i16* pcm;     // the sound's stereo frames
    u32 frames;
    f64 at;             // frames into the sound
    f64 step;           // frames of the sound per frame played: its pitch ratio
    f32 level;          // linear
    f32 gain;           // effects volume reached at the end of the last buffer
};

struct Audio_Channel {
    Audio_Event event;  // what the channel last started
    int sound;          // index into Audio.sounds_by_event, -1 when none
    u32 generation;
    u64 started_order;
    bool stopping;
};

struct Bus_Limiter {
    f32 need[LIMIT_LOOKAHEAD + 1];    // gain each frame in the look-ahead needs, and the leaving one
    f32 delay[LIMIT_LOOKAHEAD * 2];   // the frames waiting for their gain, at bus level
    f32 held[LIMIT_LOOKAHEAD];        // released minimum over the look-ahead, for smoothing
    f32 held_sum;
    f32 release;                      // gain per frame
    f32 level;                        // last held gain
    int at;
    int need_at;
};

struct Audio {
    bool subsystem;
    bool device;
    std::optional<Bank> bank;
    // Each bank event is prepared once, however many names point at it.
    Audio_Sound prepared[BANK_MAX_EVENTS];
    int sound_of[AUDIO_EVENT_COUNT];  // index into prepared, -1 when the event is missing
    u32 updates;
    Audio_Channel channels[CHANNEL_COUNT];
    Music_Stream streams[MUSIC_CHANNELS];
    One_Shot_Voice voices[CHANNEL_COUNT];
    Bus_Limiter limiter;
    int steal_fade_left[CHANNEL_COUNT];  // frames of a stolen instance's fade still to play
    u64 start_counter;
    Vec2 listener_pos;
    Vec2 listener_vel;
};

Audio audio = {};

// Scales stereo frames by a gain that glides from `from` to `to` across them.
void _glide(i16* pcm, u32 frames, f32 from, f32 to) {
    if (from == 1 && to == 1) return;
    for (u32 i = 0; i < frames; i++) {
        f32 g = from + (to - from) * f32(i + 1) / f32(frames);
        pcm[i * 2] = i16(std::lround(pcm[i * 2] * g));
        pcm[i * 2 + 1] = i16(std::lround(pcm[i * 2 + 1] * g));
    }
}

u32 _vorbis_fill(Music_Stream& m, i16* out, u32 frames) {
    u32 done = 0;
    bool rewound = false;
    while (done < frames && m.open) {
        if (m.played >= m.frames) {
            // A pass ended: back to the first sample, so the seam is sample-exact.
            if (rewound || ov_pcm_seek(&m.vf, 0) != 0) break;
            m.played = 0;
            rewound = true;
        }
        u32 n = _decode(m.vf, m.channels, out + done * 2, std::min(frames - done, m.frames - m.played));
        if (n == 0) {
            m.played = m.frames; // shorter than its table entry says: loop what there is
            continue;
        }
        rewound = false;
        done += n;
        m.played += n;
    }
    return done;
}

// The module player starts its song again by itself at the end of each pass.
u32 _module_fill(Music_Stream& m, i16* out, u32 frames) {
    if (xmp_play_buffer(m.module, out, int(frames * DEVICE_CHANNELS * sizeof(i16)), 0) != 0) return 0;
    return frames;
}

void _stream_effect(int channel, void* stream, int len, void*) {
    Music_Stream& m = audio.streams[channel];
    i16* out = static_cast<i16*>(stream);
    u32 frames = u32(len) / (DEVICE_CHANNELS * sizeof(i16));
    u32 done = 0;
    if (m.open) switch (m.codec) {
        case codec_vorbis: done = _vorbis_fill(m, out, frames); break;
        case codec_module: done = _module_fill(m, out, frames); break;
        }
    std::memset(out + done * 2, 0, size_t(frames - done) * DEVICE_CHANNELS * sizeof(i16));
    f32 to = music_gain.load(std::memory_order_relaxed);
    _glide(out, frames, m.gain, to);
    m.gain = to;
}

// Reads the one-shot at its speed, between neighbouring frames, at its level and the
// effects volume. At speed 1 and full level it is a plain copy.
void _one_shot_effect(int channel, void* stream, int len, void*) {
    One_Shot_Voice& v = audio.voices[channel];
    i16* out = static_cast<i16*>(stream);
    u32 frames = u32(len) / (DEVICE_CHANNELS * sizeof(i16));
    f32 to = effects_gain.load(std::memory_order_relaxed);
    for (u32 i = 0; i < frames; i++) {
        f32 g = v.level * (v.gain + (to - v.gain) * f32(i + 1) / f32(frames));
        u32 at = u32(v.at);
        f32 frac = f32(v.at - at);
        for (int side = 0; side < DEVICE_CHANNELS; side++) {
            f32 a = at < v.frames ? v.pcm[at * 2 + side] : 0;
            f32 b = at + 1 < v.frames ? v.pcm[(at + 1) * 2 + side] : 0;
            f32 value = frac == 0 ? a : a + (b - a) * frac;
            out[i * 2 + side] = i16(std::clamp(std::lround(value * g), -32768l, 32767l));
        }
        v.at += v.step;
    }
    v.gain = to;
}

void _steal_fade(int channel, void* stream, int len, void*) {
    i16* pcm = static_cast<i16*>(stream);
    int& left = audio.steal_fade_left[channel];
    int frames = len / int(DEVICE_CHANNELS * sizeof(i16));
    for (int i = 0; i < frames; i++) {
        f32 gain = f32(left) / STEAL_FADE_FRAMES;
        pcm[i * 2] = i16(pcm[i * 2] * gain);
        pcm[i * 2 + 1] = i16(pcm[i * 2 + 1] * gain);
        if (left > 0) left--;
    }
}

// Mixed output is 12 dB down; this restores it and keeps every peak under the ceiling.
// The gain for a frame is the smallest any frame in the look-ahead needs, averaged over
// the look-ahead, so it glides down before a peak and is never above what the peak needs.
void _bus_limiter(void*, u8* stream, int len) {
    Bus_Limiter& l = audio.limiter;
    i16* pcm = reinterpret_cast<i16*>(stream);
    int frames = len / int(DEVICE_CHANNELS * sizeof(i16));
    // Summed afresh each buffer so that rounding cannot build up over a long session.
    l.held_sum = 0;
    for (f32 g : l.held) l.held_sum += g;
    for (int i = 0; i < frames; i++) {
        f32 left = pcm[i * 2] * BUS_GAIN, right = pcm[i * 2 + 1] * BUS_GAIN;
        f32 peak = std::max(std::fabs(left), std::fabs(right)) / 32768.0f;
        l.need[l.need_at] = peak > LIMIT_CEILING ? LIMIT_CEILING / peak : 1.0f;
        l.need_at = (l.need_at + 1) % (LIMIT_LOOKAHEAD + 1);
        f32 lowest = 1;
        for (f32 g : l.need) lowest = std::min(lowest, g);
        l.level = std::min(lowest, l.level + l.release);
        l.held_sum += l.level - l.held[l.at];
        l.held[l.at] = l.level;
        f32 gain = std::min(1.0f, l.held_sum / LIMIT_LOOKAHEAD);
        // The oldest frame in the delay line leaves with the gain for it.
        int out = l.at;
        f32 old_left = l.delay[out * 2], old_right = l.delay[out * 2 + 1];
        l.delay[out * 2] = left;
        l.delay[out * 2 + 1] = right;
        pcm[i * 2] = i16(std::clamp(std::lround(old_left * gain), -32767l, 32767l));
        pcm[i * 2 + 1] = i16(std::clamp(std::lround(old_right * gain), -32767l, 32767l));
        l.at = (l.at + 1) % LIMIT_LOOKAHEAD;
    }
}

void _limiter_reset() {
    Bus_Limiter& l = audio.limiter;
    l = {};
    for (f32& g : l.need) g = 1;
    for (f32& g : l.held) g = 1;
    l.held_sum = LIMIT_LOOKAHEAD;
    l.level = 1;
    l.release = 1.0f / (LIMIT_RELEASE * DEVICE_RATE);
}

// Loops keep only a short silent chunk that the stream fills; one-shots are decoded whole.
Audio_Sound _prepare(const Bank& bank, int index) {
    const Bank_Event& e = bank.events[size_t(index)];
    Audio_Sound sound = {};
    sound.state = refused;
    u32 frames = e.loop ? STREAM_FRAMES : e.frames;
    // The lowest variation plays the sound slower, so for longer.
    u32 room = e.vary ? u32(std::ceil(frames / (1 - AUDIO_VARY_PITCH))) + 1 : frames;
    size_t bytes = size_t(room) * DEVICE_CHANNELS * sizeof(i16);
    i16* pcm = static_cast<i16*>(SDL_calloc(1, bytes));
    if (!pcm) return sound;
    bool ok = true;
    if (!e.loop) {
        OggVorbis_File vf;
        Vorbis_Memory src;
        ok = _open_stream(vf, src, bank, e);
        if (ok) {
            // Never more than the table promised, and exactly that much, or the event is
            // treated as damaged.
            ok = _decode(vf, e.channels, pcm, frames) == frames;
            i16 extra[2];
            ok = ok && _decode(vf, e.channels, extra, 1) == 0;
            ov_clear(&vf);
        }
    }
    Mix_Chunk* chunk = ok ? Mix_QuickLoad_RAW(reinterpret_cast<u8*>(pcm), u32(bytes)) : nullptr;
    if (!chunk) {
        SDL_free(pcm);
        sound.state = refused;
        return sound;
    }
    sound.state = ready;
    // The chunk owns its samples from here on, so Mix_FreeChunk frees them.
    chunk->allocated = 1;
    audio_trace.prepared_frames += frames;
    Mix_VolumeChunk(chunk, int(e.volume * MIX_MAX_VOLUME + 0.5f));
    sound.chunk = chunk;
    sound.frames = frames;
    sound.loop = e.loop;
    sound.vary = e.vary;
    sound.fade_out_ms = int(e.fade_out * 1000 + 0.5f);
    sound.max_instances = e.max_instances;
    sound.event = index;
    return sound;
}

void _load_banks() {
    audio.bank = bank_read_file("data/Desktop/persistent.bank");
    // The decoder only ever sees streams whose set-up is known to be small.
    if (audio.bank && !bank_streams_acceptable(*audio.bank)) audio.bank.reset();
    std::optional<Strings_Bank> strings = strings_bank_read_file("data/Desktop/persistent.strings.bank");
    if (!audio.bank || !strings) return;
    for (int e = 0; e < AUDIO_EVENT_COUNT; e++) {
        char path[64];
        std::snprintf(path, sizeof path, "event:/%s", audio_event_names[e]);
        std::optional<u32> index = bank_find_event(*strings, *audio.bank, path);
        if (index) audio.sound_of[e] = int(*index);
    }
}

// Decoding waits until the title is on screen: audio_update prepares one event a frame
// from the second frame on, and a sound wanted sooner is prepared when it is started.
// Each event is prepared once, however many names point at it.
bool _ensure_prepared(int index) {
    Audio_Sound& sound = audio.prepared[index];
    if (sound.state == unprepared) sound = _prepare(*audio.bank, index);
    return sound.state == ready;
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

// A free effects channel. With the event at its limit its oldest instance is faded out
// at once and no longer counts; when no channel is free, the oldest's channel is reused.
int _pick_effect_channel(int sound, bool& stolen) {
    int oldest = -1, count = 0, free_channel = -1;
    for (int c = MUSIC_CHANNELS; c < CHANNEL_COUNT; c++) {
        if (!Mix_Playing(c)) {
            if (free_channel < 0) free_channel = c;
            continue;
        }
        const Audio_Channel& ch = audio.channels[c];
        if (ch.sound != sound || ch.stopping) continue;
        count++;
        if (oldest < 0 || ch.started_order < audio.channels[oldest].started_order) oldest = c;
    }
    stolen = count >= audio.prepared[sound].max_instances && oldest >= 0;
    if (!stolen) return free_channel;
    if (free_channel < 0) {
        Mix_HaltChannel(oldest);
        return oldest;
    }
    audio.channels[oldest].stopping = true;
    audio.steal_fade_left[oldest] = STEAL_FADE_FRAMES;
    Mix_RegisterEffect(oldest, _steal_fade, nullptr, nullptr);
    Mix_ExpireChannel(oldest, STEAL_EXPIRE_MS);
    return free_channel;
}

// The channel is halted, so the mixer no longer reads this stream. A module stays loaded
// for the next start of the same tune.
void _close_stream(Music_Stream& m) {
    if (m.open) switch (m.codec) {
        case codec_vorbis: ov_clear(&m.vf); break;
        case codec_module: xmp_end_player(m.module); break;
        }
    m.open = false;
}

void _unload_module(Music_Stream& m) {
    if (m.module_event >= 0) xmp_release_module(m.module);
    if (m.module) xmp_free_context(m.module);
    m.module = nullptr;
    m.module_event = -1;
}

bool _load_module(Music_Stream& m, const Bank_Event& e, int event) {
    if (m.module_event == event) return true;
    _unload_module(m);
    m.module = xmp_create_context();
    if (!m.module || !module_player_load(m.module, audio.bank->data.data() + e.first_byte, e.byte_count)) {
        _unload_module(m);
        return false;
    }
    m.module_event = event;
    return true;
}

bool _start_stream(int channel, const Audio_Sound& sound) {
    Music_Stream& m = audio.streams[channel];
    _close_stream(m);
    const Bank_Event& e = audio.bank->events[size_t(sound.event)];
    m.codec = e.codec;
    switch (e.codec) {
    case codec_vorbis:
        if (!_open_stream(m.vf, m.source, *audio.bank, e)) return false;
        break;
    case codec_module:
        if (!_load_module(m, e, sound.event) || !module_player_start(m.module)) return false;
        break;
    }
    m.open = true;
    m.frames = e.frames;
    m.played = 0;
    m.channels = e.channels;
    m.gain = music_gain.load(std::memory_order_relaxed);
    return Mix_RegisterEffect(channel, _stream_effect, nullptr, nullptr) != 0;
}

// Where and how a one-shot plays; a varied one a little higher or lower, louder or softer.
void _start_voice(int channel, const Audio_Sound& sound, f32 pitch, f32 level_db) {
    One_Shot_Voice& v = audio.voices[channel];
    v.pcm = reinterpret_cast<const i16*>(sound.chunk->abuf);
    v.frames = sound.frames;
    v.at = 0;
    v.step = pitch;
    v.level = level_db == 0 ? 1.0f : std::pow(10.0f, level_db / 20);
    v.gain = effects_gain.load(std::memory_order_relaxed);
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
    for (int& s : audio.sound_of) s = -1;
    for (Audio_Channel& ch : audio.channels) ch.sound = -1;
    Mix_AllocateChannels(CHANNEL_COUNT);
    Mix_ReserveChannels(MUSIC_CHANNELS);
    Mix_Volume(-1, CHANNEL_VOLUME);
    _limiter_reset();
    Mix_SetPostMix(_bus_limiter, nullptr);
    _load_banks();
}

void _draw_variation(f32& pitch, f32& level_db) {
    pitch = 1 + AUDIO_VARY_PITCH * _vary_unit();
    level_db = AUDIO_VARY_LEVEL * _vary_unit();
    Audio_Trace& t = audio_trace;
    if (t.varied++ == 0) {
        t.pitch_low = t.pitch_high = pitch;
        t.level_low = t.level_high = level_db;
    }
    t.pitch_low = std::min(t.pitch_low, pitch);
    t.pitch_high = std::max(t.pitch_high, pitch);
    t.level_low = std::min(t.level_low, level_db);
    t.level_high = std::max(t.level_high, level_db);
    u32 bits[2];
    std::memcpy(&bits[0], &pitch, 4);
    std::memcpy(&bits[1], &level_db, 4);
    for (u32 b : bits) t.variations = (t.variations ^ b) * 0x100000001B3ull;
}

Audio_Instance audio_play(Audio_Event e) {
    if (e >= AUDIO_EVENT_COUNT) return 0;
    audio_trace.started[e]++;
    if (!audio.device || audio.sound_of[e] < 0) return 0;
    int sound_index = audio.sound_of[e];
    // Drawn before anything can fail, so the sequence follows the game's starts alone.
    f32 pitch = 1, level_db = 0;
    if (audio.bank->events[size_t(sound_index)].vary) _draw_variation(pitch, level_db);
    if (!_ensure_prepared(sound_index)) return 0;
    const Audio_Sound& sound = audio.prepared[sound_index];
    int channel = -1;
    if (sound.loop) {
        channel = _pick_music_channel();
        if (!_start_stream(channel, sound)) return 0;
        channel = Mix_PlayChannel(channel, sound.chunk, -1);
    } else {
        bool stolen = false;
        channel = _pick_effect_channel(sound_index, stolen);
        if (stolen) audio_trace.stolen[e]++;
        // No free channel: the one-shot is dropped.
        if (channel >= 0) {
            _start_voice(channel, sound, pitch, level_db);
            if (Mix_RegisterEffect(channel, _one_shot_effect, nullptr, nullptr) == 0) return 0;
            channel = Mix_PlayChannel(channel, sound.chunk, 0);
        }
    }
    if (channel < 0 || channel >= CHANNEL_COUNT) return 0;
    Audio_Channel& ch = audio.channels[channel];
    ch.generation = (ch.generation + 1) & ((1u << (32 - HANDLE_CHANNEL_BITS)) - 1);
    if (ch.generation == 0) ch.generation = 1;
    ch.started_order = ++audio.start_counter;
    ch.stopping = false;
    ch.event = e;
    ch.sound = sound_index;
    return ch.generation << HANDLE_CHANNEL_BITS | u32(channel + 1);
}

void audio_stop(Audio_Instance inst) {
    if (!audio.device || inst == 0) return;
    int channel = int(inst & ((1u << HANDLE_CHANNEL_BITS) - 1)) - 1;
    if (channel < 0 || channel >= CHANNEL_COUNT) return;
    Audio_Channel& ch = audio.channels[channel];
    if (ch.generation != inst >> HANDLE_CHANNEL_BITS || ch.stopping || !Mix_Playing(channel)) return;
    ch.stopping = true;
    int fade_ms = ch.sound >= 0 ? audio.prepared[ch.sound].fade_out_ms : 0;
    if (fade_ms > 0)
        Mix_FadeOutChannel(channel, fade_ms);
    else
        Mix_HaltChannel(channel);
    audio_trace.stopped++;
}

void audio_seed(u64 game_seed) { vary_state = game_seed ^ VARY_TWIST; }

void audio_set_volume(f32 music, f32 effects) {
    music_gain.store(std::clamp(music, 0.0f, 1.0f), std::memory_order_relaxed);
    effects_gain.store(std::clamp(effects, 0.0f, 1.0f), std::memory_order_relaxed);
    audio_trace.music_gain = music;
    audio_trace.effects_gain = effects;
}

void audio_set_listener(Vec2 pos, Vec2 vel) {
    // Sounds carry no position, so the listener is kept but changes nothing audible.
    audio.listener_pos = pos;
    audio.listener_vel = vel;
    audio_trace.listener_pos = pos;
    audio_trace.listener_vel = vel;
}

void audio_update() {
    // SDL_mixer mixes on its own thread and channels free themselves when they end; the
    // only work here is preparing the sounds the title did not need.
    if (!audio.device || ++audio.updates < 2) return;
    for (int index : audio.sound_of)
        if (index >= 0 && audio.prepared[index].state == unprepared) {
            _ensure_prepared(index);
            return;
        }
}

void audio_shutdown() {
    if (audio.device) {
        Mix_HaltChannel(-1);
        Mix_SetPostMix(nullptr, nullptr);
        for (Audio_Sound& s : audio.prepared)
            if (s.chunk) Mix_FreeChunk(s.chunk);
        for (Music_Stream& m : audio.streams) {
            _close_stream(m);
            _unload_module(m);
        }
        Mix_CloseAudio();
    }
    if (audio.subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audio = {};
    music_gain = 1;
    effects_gain = 1;
}
