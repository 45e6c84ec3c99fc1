// Synthesises every sound event, writes both tunes as modules, and writes the two sound banks.
// Usage: sound_builder <out_dir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include "game/bank.h"
#include "game/bytes.h"
#include "game/module_player.h"
#include "game/vorbis_memory.h"
#include "loudness.h"

namespace {

constexpr u32 RATE = BANK_RATE; // Hz: the device rate, so nothing is resampled at load
constexpr f32 TAU = 2 * PI;
constexpr f32 MUSIC_FADE = 1.0f;    // seconds
constexpr f32 ONE_SHOT_FADE = 0.1f; // seconds
constexpr f32 ONE_SHOT_QUALITY = 0.3f; // Vorbis, -0.1 .. 1

using Buffer = std::vector<f32>;

enum Wave : u8 { pulse, triangle, noise, sine };

struct Tone {
    Wave wave = pulse;
    f32 start = 0;          // seconds
    f32 duration = 0.1f;    // seconds
    f32 freq = 440;         // Hz at the start (for noise: the shift-register clock)
    f32 freq_end = 0;       // Hz at the end, exponential glide; 0 keeps freq
    f32 duty = 0.5f;        // pulse only, 0..1
    f32 gain = 1;
    f32 attack = 0.003f;    // seconds
    f32 release = 0.01f;    // seconds
    f32 decay = 0;          // exponential decay rate, 1/seconds
    f32 vibrato = 0;        // semitones
    f32 vibrato_rate = 5;   // Hz
    f32 vibrato_delay = 0;  // seconds before the vibrato sets in
    f32 tremolo = 0;        // 0..1
    f32 tremolo_rate = 6;   // Hz
    f32 lowpass = 0;        // Hz, 0 = off
    f32 highpass = 0;       // Hz, 0 = off
    bool metallic = false;  // noise only: short shift register, a pitched hiss
};

f32 _midi_hz(f32 note) { return 440.0f * std::pow(2.0f, (note - 69) / 12.0f); }

// Softens the pulse edges so high notes do not fold back into audible aliasing.
f32 _poly_blep(f32 t, f32 dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1;
    }
    if (t > 1 - dt) {
        t = (t - 1) / dt;
        return t * t + t + t + 1;
    }
    return 0;
}

f32 _one_pole(f32 cutoff) { return 1 - std::exp(-TAU * cutoff / RATE); }

// Adds a tone into the buffer. With wrap set, samples past the end land at the start, so
// a loop's notes ring across its seam instead of being cut.
void _add_tone(Buffer& buf, const Tone& t, bool wrap = false) {
    size_t start = size_t(std::lround(t.start * RATE));
    size_t count = size_t(std::lround(t.duration * RATE));
    f32 phase = 0, low = 0, low_hp = 0, noise_out = 1;
    u32 lfsr = 0x7fff;
    f32 lp = t.lowpass > 0 ? _one_pole(t.lowpass) : 1;
    f32 hp = t.highpass > 0 ? _one_pole(t.highpass) : 0;
    f32 freq_end = t.freq_end > 0 ? t.freq_end : t.freq;
    for (size_t i = 0; i < count; i++) {
        size_t at = start + i;
        if (wrap) at %= buf.size();
        if (at >= buf.size()) break;
        f32 time = f32(i) / RATE;
        f32 u = count > 1 ? f32(i) / f32(count - 1) : 0;
        f32 freq = t.freq * std::pow(freq_end / t.freq, u);
        if (t.vibrato > 0 && time >= t.vibrato_delay)
            freq *= std::pow(2.0f, t.vibrato * std::sin(TAU * t.vibrato_rate * (time - t.vibrato_delay)) / 12);
        f32 dt = freq / RATE;
        f32 v = 0;
        switch (t.wave) {
        case pulse: {
            v = phase < t.duty ? 1.0f : -1.0f;
            v += _poly_blep(phase, dt);
            f32 down = phase - t.duty + (phase < t.duty ? 1.0f : 0.0f);
            v -= _poly_blep(down, dt);
            v -= 2 * t.duty - 1; // no DC from uneven duty
            break;
        }
        case triangle: v = phase < 0.5f ? 4 * phase - 1 : 3 - 4 * phase; break;
        case sine: v = std::sin(TAU * phase); break;
        case noise: {
            f32 before = phase;
            if (before + dt >= 1) {
                u32 bit = (lfsr ^ (lfsr >> 1)) & 1;
                lfsr = (lfsr >> 1) | (bit << 14);
                if (t.metallic) lfsr = (lfsr & ~0x40u) | (bit << 6);
                noise_out = (lfsr & 1) ? 1.0f : -1.0f;
            }
            v = noise_out;
            break;
        }
        }
        phase += dt;
        phase -= std::floor(phase);

        low += (v - low) * lp;
        v = low;
        if (hp > 0) {
            low_hp += (v - low_hp) * hp;
            v -= low_hp;
        }

        f32 env = 1;
        if (time < t.attack) env = time / t.attack;
        f32 left = f32(count - i) / RATE;
        if (left < t.release) env *= left / t.release;
        if (t.decay > 0) env *= std::exp(-t.decay * time);
        if (t.tremolo > 0) env *= 1 - t.tremolo * 0.5f * (1 - std::cos(TAU * t.tremolo_rate * time));
        buf[at] += v * env * t.gain;
    }
}

Buffer _silence(f32 seconds) { return Buffer(size_t(std::lround(seconds * RATE)), 0.0f); }

// One more one-pole low-pass (then high-pass) over a whole sound, each 0 for none: a
// steeper slope than a tone's own filter, to keep a sound out of another's range.
void _filter(Buffer& b, f32 lowpass, f32 highpass) {
    f32 lp = lowpass > 0 ? _one_pole(lowpass) : 1, hp = highpass > 0 ? _one_pole(highpass) : 0;
    f32 low = 0, low_hp = 0;
    for (f32& v : b) {
        low += (v - low) * lp;
        v = low;
        low_hp += (v - low_hp) * hp;
        v -= low_hp;
    }
}

// ---- Notation for tunes ----------------------------------------------------------------
// A line is a run of "note:steps" tokens, e.g. "E5:6 D#5:2 Bb4:8 r:4"; r is a rest.

struct Note {
    f32 midi;   // 0 for a rest
    int start;  // steps
    int length; // steps
};

int _parse_pitch(const char* s, size_t n) {
    static const int base[7] = {9, 11, 0, 2, 4, 5, 7}; // A..G
    if (n < 2 || s[0] < 'A' || s[0] > 'G') return -1;
    int pitch = base[s[0] - 'A'];
    size_t i = 1;
    if (s[i] == '#') pitch++, i++;
    else if (s[i] == 'b') pitch--, i++;
    if (i >= n || s[i] < '0' || s[i] > '9') return -1;
    return pitch + 12 * (s[i] - '0' + 1);
}

std::vector<Note> _parse_line(const char* text, int first_step = 0) {
    std::vector<Note> notes;
    int step = first_step;
    const char* p = text;
    while (*p) {
        while (*p == ' ' || *p == '|') p++;
        if (!*p) break;
        const char* colon = std::strchr(p, ':');
        if (!colon) {
            std::fprintf(stderr, "bad token in \"%s\"\n", text);
            std::exit(1);
        }
        int length = std::atoi(colon + 1);
        int pitch = (*p == 'r') ? 0 : _parse_pitch(p, size_t(colon - p));
        if (pitch < 0 || length <= 0) {
            std::fprintf(stderr, "bad note in \"%s\"\n", text);
            std::exit(1);
        }
        if (pitch > 0) notes.push_back({f32(pitch), step, length});
        step += length;
        p = colon + 1;
        while (*p >= '0' && *p <= '9') p++;
    }
    return notes;
}

// Steps the line spans, rests included.
int _line_steps(const char* text) {
    int steps = 0;
    for (const char* p = std::strchr(text, ':'); p; p = std::strchr(p + 1, ':')) steps += std::atoi(p + 1);
    return steps;
}

struct Song {
    Buffer buf;
    f32 step; // seconds per sixteenth
};

void _song_notes(Song& s, const std::vector<Note>& notes, Tone shape, f32 gate = 0.9f) {
    for (const Note& n : notes) {
        shape.start = n.start * s.step;
        shape.duration = n.length * s.step * gate;
        shape.freq = _midi_hz(n.midi);
        shape.freq_end = 0;
        _add_tone(s.buf, shape, true);
    }
}

// ---- Music: tracker modules ------------------------------------------------------------
// Both tunes are XM modules: a few short synthesised instrument samples and patterns of
// notes, tens of kilobytes for minutes of music that the game renders as it plays.

constexpr int XM_KEY_OFF = 97;
constexpr int XM_MIDI_OFFSET = 11;        // XM note 49 (C-4) is MIDI 60
constexpr f64 XM_C4_RATE = 8363;          // Hz at which an untransposed sample plays C-4
constexpr f64 MIDDLE_C = 261.6255653;     // Hz
constexpr int CYCLE = 256;                // samples in one period of a looped waveform
constexpr int ROWS_PER_BAR = 16;          // a row is a sixteenth note
constexpr int ROWS_PER_PATTERN = 64;
constexpr int XM_SPEED = 6;               // ticks per row, so that BPM counts quarter notes

enum Voice : u8 {
    v_lead, v_echo, v_arp, v_pad_left, v_pad_mid, v_pad_right, v_bass, v_kick, v_snare, v_hat, v_open_hat,
    v_crash, v_bell, v_brass, v_stab, VOICE_COUNT
};
enum Shape : u8 { shape_square, shape_pulse, shape_thin_pulse, shape_triangle, shape_soft, shape_bell, shape_saw, shape_drum };

// Points of a volume envelope in seconds (0..64 volume); a sustain point holds until the
// key is let go, then the envelope runs on and the fade-out applies.
struct Env_Point {
    f32 at; // seconds
    u8 volume;
};

struct Voice_Design {
    const char* name;
    Shape shape;
    int harmonics;       // band limit of a looped period
    u8 volume;           // 0..64
    u8 pan;              // 0 left .. 255 right
    f32 detune;          // semitones
    Env_Point env[5];
    int env_points;
    int sustain;         // envelope point held while the key is down, -1 for none
    f32 release;         // seconds from a key-off to silence
    u8 vibrato_depth, vibrato_rate, vibrato_sweep;
};

// Panned apart so the band spreads across both speakers: the tune left of centre and its
// echo right, arpeggios left, hats right, the pad's three voices across the field.
const Voice_Design VOICES[VOICE_COUNT] = {
    {"lead", shape_square, 11, 44, 0x60, 0, {{0, 64}, {0.08f, 50}, {0.6f, 44}}, 3, 2, 0.12f, 4, 18, 40},
    {"echo", shape_pulse, 11, 40, 0xD0, 0.06f, {{0, 64}, {0.08f, 50}, {0.6f, 44}}, 3, 2, 0.12f, 4, 18, 40},
    {"arp", shape_thin_pulse, 14, 40, 0x30, 0, {{0, 64}, {0.05f, 34}, {0.25f, 10}, {0.6f, 0}}, 4, -1, 0.05f, 0, 0, 0},
    {"pad left", shape_soft, 8, 34, 0x28, -0.08f, {{0, 0}, {0.35f, 44}, {1.0f, 52}}, 3, 2, 0.5f, 0, 0, 0},
    {"pad centre", shape_soft, 8, 34, 0x80, 0, {{0, 0}, {0.35f, 44}, {1.0f, 52}}, 3, 2, 0.5f, 0, 0, 0},
    {"pad right", shape_soft, 8, 34, 0xD8, 0.08f, {{0, 0}, {0.35f, 44}, {1.0f, 52}}, 3, 2, 0.5f, 0, 0, 0},
    {"bass", shape_triangle, 40, 64, 0x80, 0, {{0, 64}, {0.1f, 52}, {0.6f, 42}}, 3, 2, 0.05f, 0, 0, 0},
    {"kick", shape_drum, 0, 64, 0x80, 0, {}, 0, -1, 0, 0, 0, 0},
    {"snare", shape_drum, 0, 50, 0x98, 0, {}, 0, -1, 0, 0, 0, 0},
    {"hat", shape_drum, 0, 36, 0xC8, 0, {}, 0, -1, 0, 0, 0, 0},
    {"open hat", shape_drum, 0, 30, 0xB8, 0, {}, 0, -1, 0, 0, 0, 0},
    {"crash", shape_drum, 0, 30, 0x48, 0, {}, 0, -1, 0, 0, 0, 0},
    {"bell", shape_bell, 8, 44, 0xA8, 0, {{0, 64}, {0.15f, 36}, {1.0f, 14}, {2.5f, 0}}, 4, -1, 0.3f, 0, 0, 0},
    {"brass", shape_saw, 12, 38, 0x58, 0, {{0, 20}, {0.06f, 60}, {0.2f, 52}, {1.0f, 48}}, 4, 3, 0.15f, 3, 16, 60},
    // Shares the pad's channels, so it has no vibrato: the module player carries a vibrato's
    // phase from one instrument to the next, and the song would not repeat exactly.
    {"stab", shape_saw, 12, 38, 0x80, 0, {{0, 40}, {0.02f, 60}, {0.15f, 30}, {0.4f, 0}}, 4, -1, 0.05f, 0, 0, 0},
};

struct Xm_Instrument {
    const Voice_Design* design;
    std::vector<i16> pcm;
    bool loop;          // the whole sample is one period, repeated
    int relnote;        // semitones and 1/128 semitones that make C-4 sound as C-4
    int finetune;
    u16 fadeout;        // of 65536 per tick after a key-off
    std::vector<std::pair<u16, u16>> envelope; // (tick, volume)
};

struct Xm_Cell {
    u8 note, instrument, volume, effect, param;
};

struct Xm_Song {
    const char* name;
    int channels;
    int bpm;
    int rows;                   // of the whole song: a whole number of patterns
    std::vector<Xm_Cell> cells; // rows x channels
    Xm_Cell& at(int row, int channel) { return cells[size_t(row) * size_t(channels) + size_t(channel)]; }
};

f64 _tick_seconds(int bpm) { return 2.5 / bpm; }

// One period of a shape, band-limited to `harmonics` partials (with Lanczos smoothing, so
// the cut makes no ripple) and scaled to `level` of full scale.
std::vector<i16> _period(Shape shape, int harmonics, f32 level) {
    constexpr int FINE = 4096;
    auto naive = [&](f64 t) -> f64 {
        switch (shape) {
        case shape_square: return t < 0.5 ? 1 : -1;
        case shape_pulse: return t < 0.25 ? 1 : -1;
        case shape_thin_pulse: return t < 0.125 ? 1 : -1;
        case shape_triangle: return t < 0.5 ? 4 * t - 1 : 3 - 4 * t;
        case shape_soft: return std::sin(TAU * t) + 0.25 * std::sin(2 * TAU * t) + 0.12 * std::sin(3 * TAU * t);
        case shape_bell:
            return std::sin(TAU * t) + 0.45 * std::sin(2 * TAU * t) + 0.3 * std::sin(4 * TAU * t) +
                   0.12 * std::sin(6 * TAU * t);
        case shape_saw: return 1 - 2 * t;
        case shape_drum: return 0;
        }
        return 0;
    };
    std::vector<f64> re(size_t(harmonics) + 1), im(size_t(harmonics) + 1);
    for (int i = 0; i < FINE; i++) {
        f64 v = naive((i + 0.5) / FINE);
        for (int k = 1; k <= harmonics; k++) {
            re[size_t(k)] += v * std::cos(TAU * k * (i + 0.5) / FINE);
            im[size_t(k)] += v * std::sin(TAU * k * (i + 0.5) / FINE);
        }
    }
    std::vector<f64> out(CYCLE);
    f64 peak = 0;
    for (int i = 0; i < CYCLE; i++) {
        f64 v = 0;
        for (int k = 1; k <= harmonics; k++) {
            f64 x = PI * k / (harmonics + 1), sigma = std::sin(x) / x;
            v += sigma * (re[size_t(k)] * std::cos(TAU * k * i / CYCLE) + im[size_t(k)] * std::sin(TAU * k * i / CYCLE));
        }
        out[size_t(i)] = v;
        peak = std::max(peak, std::fabs(v));
    }
    std::vector<i16> pcm(CYCLE);
    for (int i = 0; i < CYCLE; i++) pcm[size_t(i)] = i16(std::lround(out[size_t(i)] / peak * level * 32767));
    return pcm;
}

Buffer _drum(Voice v) {
    switch (v) {
    case v_kick: {
        Buffer b = _silence(0.2f);
        _add_tone(b, {.wave = sine, .duration = 0.2f, .freq = 160, .freq_end = 40, .attack = 0.001f,
                      .release = 0.04f, .decay = 12});
        _add_tone(b, {.wave = noise, .duration = 0.012f, .freq = 8000, .gain = 0.25f, .attack = 0.0005f,
                      .release = 0.006f, .lowpass = 3000});
        return b;
    }
    case v_snare: {
        Buffer b = _silence(0.18f);
        _add_tone(b, {.wave = noise, .duration = 0.18f, .freq = 9000, .attack = 0.001f, .release = 0.04f,
                      .decay = 20, .lowpass = 7000, .highpass = 400});
        _add_tone(b, {.wave = triangle, .duration = 0.07f, .freq = 220, .freq_end = 150, .gain = 0.6f,
                      .attack = 0.001f, .release = 0.02f, .decay = 30});
        return b;
    }
    case v_hat: {
        Buffer b = _silence(0.05f);
        _add_tone(b, {.wave = noise, .duration = 0.05f, .freq = 16000, .attack = 0.001f, .release = 0.015f,
                      .decay = 60, .highpass = 6000, .metallic = true});
        return b;
    }
    case v_open_hat: {
        Buffer b = _silence(0.3f);
        _add_tone(b, {.wave = noise, .duration = 0.3f, .freq = 16000, .attack = 0.001f, .release = 0.08f,
                      .decay = 10, .highpass = 6000, .metallic = true});
        return b;
    }
    case v_crash: {
        Buffer b = _silence(1.2f);
        _add_tone(b, {.wave = noise, .duration = 1.2f, .freq = 14000, .attack = 0.002f, .release = 0.3f,
                      .decay = 3, .highpass = 3000});
        _add_tone(b, {.wave = noise, .duration = 0.8f, .freq = 16000, .gain = 0.5f, .attack = 0.002f,
                      .release = 0.2f, .decay = 5, .highpass = 7000, .metallic = true});
        return b;
    }
    default: return _silence(0.01f);
    }
}

// Sets relnote and finetune so that C-4 plays the sample at `rate` samples a second.
void _tune(Xm_Instrument& ins, f64 rate) {
    f64 semitones = 12 * std::log2(rate / XM_C4_RATE);
    ins.relnote = int(std::lround(semitones));
    ins.finetune = int(std::lround((semitones - ins.relnote) * 128));
}

std::vector<Xm_Instrument> _instruments(int bpm) {
    std::vector<Xm_Instrument> out;
    f64 tick = _tick_seconds(bpm);
    for (const Voice_Design& d : VOICES) {
        Xm_Instrument ins = {};
        ins.design = &d;
        if (d.shape == shape_drum) {
            Buffer b = _drum(Voice(&d - VOICES));
            f32 peak = 0;
            for (f32 v : b) peak = std::max(peak, std::fabs(v));
            for (f32 v : b) ins.pcm.push_back(i16(std::lround(v / peak * 0.9f * 32767)));
            _tune(ins, RATE);
        } else {
            ins.pcm = _period(d.shape, d.harmonics, 0.9f);
            ins.loop = true;
            _tune(ins, MIDDLE_C * CYCLE * std::pow(2.0, d.detune / 12));
        }
        for (int p = 0; p < d.env_points; p++)
            ins.envelope.push_back({u16(std::lround(d.env[p].at / tick)), d.env[p].volume});
        if (d.sustain >= 0) {
            // After the key is let go the envelope falls to silence over the release.
            u16 from = ins.envelope[size_t(d.sustain)].first;
            ins.envelope.resize(size_t(d.sustain) + 1);
            ins.envelope.push_back({u16(from + std::max(1l, std::lround(d.release / tick))), 0});
        }
        ins.fadeout = u16(std::min(4095.0, 65536 * tick / std::max(d.release, 0.01f)));
        out.push_back(ins);
    }
    return out;
}

// ---- Writing notes into a song -----------------------------------------------------------

struct Chord_Notes {
    int tones[3]; // MIDI, around middle C
    int root;     // MIDI, bass register
};

// "Em", "F#", "Bb", "C#m": a major or minor triad, voiced between G3 and F#4.
Chord_Notes _chord(const char* name) {
    int pitch = _parse_pitch((std::string(name, name[1] == '#' || name[1] == 'b' ? 2 : 1) + "4").c_str(),
                             name[1] == '#' || name[1] == 'b' ? 3 : 2);
    if (pitch < 0) {
        std::fprintf(stderr, "unknown chord %s\n", name);
        std::exit(1);
    }
    bool minor = name[std::strlen(name) - 1] == 'm';
    int steps[3] = {0, minor ? 3 : 4, 7};
    Chord_Notes c = {};
    for (int i = 0; i < 3; i++) {
        int n = pitch % 12 + steps[i];
        while (n < 55) n += 12;
        while (n >= 67) n -= 12;
        c.tones[i] = n;
    }
    std::sort(c.tones, c.tones + 3);
    c.root = 40 + (pitch % 12 + 8) % 12; // E2 .. D#3
    return c;
}

// A note for `rows` rows, let go at its end unless something else starts there.
void _note(Xm_Song& s, int ch, int row, int rows, int midi, Voice v, int volume) {
    row %= s.rows;
    s.at(row, ch) = {u8(midi - XM_MIDI_OFFSET), u8(v + 1), u8(0x10 + std::clamp(volume, 0, 64)), 0, 0};
    if (VOICES[v].shape == shape_drum) return;
    Xm_Cell& end = s.at((row + rows) % s.rows, ch);
    if (end.note == 0) end = {u8(XM_KEY_OFF), 0, 0, 0, 0};
}

// A line of notation from bar `bar` on, `transpose` semitones up.
void _line(Xm_Song& s, int ch, int bar, const char* text, Voice v, int volume, int transpose = 0, int delay_rows = 0) {
    for (const Note& n : _parse_line(text))
        _note(s, ch, bar * ROWS_PER_BAR + n.start + delay_rows, n.length, int(n.midi) + transpose, v, volume);
}

// One bar of a drum: 'x' full, 'o' half, '.' nothing.
void _drums(Xm_Song& s, int ch, int bar, const char* pattern, Voice v, int volume) {
    for (int i = 0; i < ROWS_PER_BAR && pattern[i]; i++)
        if (pattern[i] == 'x' || pattern[i] == 'o')
            _note(s, ch, bar * ROWS_PER_BAR + i, 1, 60, v, pattern[i] == 'x' ? volume : volume / 2);
}

enum Bass_Style : u8 { bass_pump, bass_hold, bass_walk, bass_gallop, bass_drone };

void _bass_bar(Xm_Song& s, int ch, int bar, const Chord_Notes& c, Bass_Style style, int volume) {
    int row = bar * ROWS_PER_BAR;
    switch (style) {
    case bass_pump:
        for (int i = 0; i < 16; i += 2) _note(s, ch, row + i, 2, c.root + (i % 4 ? 12 : 0), v_bass, volume);
        break;
    case bass_hold:
        _note(s, ch, row, 8, c.root, v_bass, volume);
        _note(s, ch, row + 8, 8, c.root + 7 > 55 ? c.root - 5 : c.root + 7, v_bass, volume);
        break;
    case bass_walk: {
        const int steps[4] = {0, 7, 12, 7};
        for (int i = 0; i < 4; i++) _note(s, ch, row + 4 * i, 4, c.root + steps[i], v_bass, volume);
        break;
    }
    case bass_gallop: {
        const int at[6] = {0, 3, 6, 8, 11, 14}, len[6] = {3, 3, 2, 3, 3, 2}, add[6] = {0, 0, 12, 0, 7, 12};
        for (int i = 0; i < 6; i++) _note(s, ch, row + at[i], len[i], c.root + add[i], v_bass, volume);
        break;
    }
    case bass_drone: _note(s, ch, row, 16, c.root + 12, v_bass, volume); break;
    }
}

// Broken chords, a sixteenth each; `pattern` indexes the chord's tones (3 = the lowest an
// octave up).
void _arp_bar(Xm_Song& s, int ch, int bar, const Chord_Notes& c, const char* pattern, int octave, int volume) {
    for (int i = 0; i < ROWS_PER_BAR && pattern[i]; i++) {
        if (pattern[i] == '.') continue;
        int k = pattern[i] - '0';
        int midi = (k == 3 ? c.tones[0] + 12 : c.tones[k]) + 12 * octave;
        _note(s, ch, bar * ROWS_PER_BAR + i, 1, midi, v_arp, volume);
    }
}

// The chord held over the bar by the pad's three voices, on channels first..first+2.
void _pad_bar(Xm_Song& s, int first, int bar, const Chord_Notes& c, int volume, int rows = ROWS_PER_BAR) {
    const Voice voices[3] = {v_pad_left, v_pad_mid, v_pad_right};
    for (int i = 0; i < 3; i++) _note(s, first + i, bar * ROWS_PER_BAR, rows, c.tones[i], voices[i], volume);
}

void _check_line(const char* what, const char* text, int bars) {
    if (_line_steps(text) != bars * ROWS_PER_BAR) {
        std::fprintf(stderr, "%s is %d steps, not %d\n", what, _line_steps(text), bars * ROWS_PER_BAR);
        std::exit(1);
    }
}

Xm_Song _new_song(const char* name, int channels, int bpm, int bars) {
    Xm_Song s = {name, channels, bpm, bars * ROWS_PER_BAR, {}};
    if (s.rows % ROWS_PER_PATTERN != 0) {
        std::fprintf(stderr, "%s: %d bars do not fill whole patterns\n", name, bars);
        std::exit(1);
    }
    s.cells.assign(size_t(s.rows) * size_t(channels), Xm_Cell{});
    return s;
}

// ---- The game tune ---------------------------------------------------------------------
// Fast and bright in E minor, 120 bars in ten sections that each bring something new: a
// drum-and-bass intro, the theme and its answer, a brighter middle, a rolling arpeggio
// section, a half-time breakdown, a build, a bridge in G major, the theme lifted a tone
// for the climax, and an outro that thins out back into the intro.

enum Game_Channel : u8 { g_lead, g_echo, g_arp, g_pad, g_pad2, g_pad3, g_bass, g_kick, g_snare, g_hat, g_extra, g_counter, G_CHANNELS };

const char* const THEME =
    "E5:2 E5:2 G5:2 E5:2 B5:4 A5:2 G5:2 | G5:6 E5:2 C5:4 E5:4 |"
    "F#5:2 F#5:2 A5:2 F#5:2 D6:4 C6:2 A5:2 | B5:8 A5:2 G5:2 F#5:2 D#5:2 |"
    "E5:2 E5:2 G5:2 E5:2 B5:4 A5:2 G5:2 | G5:2 A5:2 G5:2 E5:2 C5:4 E5:4 |"
    "D5:2 F#5:2 A5:2 D6:2 C6:2 A5:2 F#5:2 D5:2 | D#5:4 F#5:4 B5:8";
const char* const THEME_ANSWER =
    "B5:2 B5:2 A5:2 G5:2 E6:4 D6:2 B5:2 | C6:6 B5:2 G5:4 E5:4 |"
    "A5:2 A5:2 F#5:2 A5:2 D6:4 C6:2 D6:2 | D#6:8 B5:4 F#5:4 |"
    "G5:4 B5:4 E6:4 D6:2 B5:2 | C6:4 G5:4 E5:4 G5:4 |"
    "F#5:2 A5:2 D6:2 A5:2 F#5:2 D5:2 A5:2 F#5:2 | B5:12 r:4";

struct Game_Section {
    const char* name;
    int bars;
    const char* chords[16];
    const char* melody;     // 16 steps a bar
    const char* counter;    // a second line on the bell or brass, or null
    int transpose;          // of the melody and chords, semitones
};

Xm_Song _music_game() {
    const Game_Section sections[] = {
        {"intro", 8, {"Em", "C", "D", "B", "Em", "C", "D", "B"}, "r:128", nullptr, 0},
        {"theme", 16, {"Em", "C", "D", "B", "Em", "C", "D", "B", "Em", "C", "D", "B", "Em", "C", "D", "B"},
         nullptr, nullptr, 0},
        {"middle", 16, {"C", "D", "Em", "Em", "C", "D", "B", "B", "Am", "D", "G", "C", "Am", "D", "B", "B"},
         "C5:4 E5:4 G5:4 E5:4 | D5:4 F#5:4 A5:4 F#5:4 | B5:6 A5:2 G5:4 F#5:4 | E5:12 r:4 |"
         "C6:4 B5:4 G5:4 E5:4 | D6:4 C6:4 A5:4 F#5:4 | D#6:8 B5:4 F#5:4 | B5:8 r:4 D#5:2 F#5:2 |"
         "A5:4 C6:4 E6:4 C6:4 | F#5:4 A5:4 D6:4 A5:4 | G5:6 B5:2 D6:4 B5:4 | C6:8 E6:4 C6:4 |"
         "A5:2 B5:2 C6:2 E6:2 D6:4 C6:4 | B5:2 A5:2 F#5:2 A5:2 D6:8 | D#6:6 C6:2 B5:4 A5:4 | B5:8 F#5:4 D#5:4",
         nullptr, 0},
        {"rolling", 16, {"Am", "Em", "C", "D", "Am", "Em", "C", "B", "Am", "Em", "C", "D", "Am", "Em", "B", "Em"},
         "A5:2 C6:2 E6:2 C6:2 A5:2 E5:2 A5:4 | G5:2 B5:2 E6:2 B5:2 G5:2 E5:2 G5:4 |"
         "E5:2 G5:2 C6:2 G5:2 E5:2 C5:2 E5:4 | F#5:2 A5:2 D6:2 A5:2 F#5:2 D5:2 F#5:4 |"
         "C6:4 B5:2 A5:2 E5:4 A5:4 | B5:4 A5:2 G5:2 E5:4 G5:4 | A5:4 G5:2 E5:2 C6:4 B5:4 | B5:4 A5:2 F#5:2 D#5:8 |"
         "E6:4 D6:2 C6:2 B5:4 A5:4 | B5:4 G5:2 E5:2 G5:8 | C6:2 B5:2 C6:2 E6:2 G6:4 E6:4 | D6:4 A5:4 F#5:4 D6:4 |"
         "C6:6 B5:2 A5:4 E6:4 | B5:6 A5:2 G5:4 E5:4 | F#5:2 A5:2 B5:2 D#6:2 F#6:4 D#6:4 | E6:12 r:4",
         "r:128 | A4:8 C5:8 | B4:8 G4:8 | C5:8 E5:8 | D5:16 | E5:8 C5:8 | B4:8 E5:8 | D#5:8 F#5:8 | G5:16", 0},
        {"breakdown", 8, {"Am", "Em", "C", "B", "Am", "Em", "C", "B"},
         "E5:16 | B4:16 | C5:8 E5:8 | D#5:16 | A5:12 G5:4 | G5:8 B5:8 | C6:8 B5:4 G5:4 | F#5:16", nullptr, 0},
        {"build", 8, {"C", "D", "Em", "Em", "C", "D", "B", "B"},
         "G5:8 A5:8 | B5:8 C6:8 | B5:4 A5:4 G5:4 E5:4 | B5:16 | C6:8 D6:8 | E6:8 F#6:8 | D#6:4 F#6:4 D#6:8 | B5:8 r:8",
         nullptr, 0},
        {"bridge", 16, {"G", "D", "Em", "C", "G", "D", "C", "D", "G", "D", "Em", "C", "Am", "D", "B", "B"},
         "D5:4 G5:4 B5:6 A5:2 | A5:8 F#5:4 D5:4 | E5:4 G5:4 B5:4 E6:4 | E6:8 D6:4 C6:4 |"
         "B5:4 G5:4 D6:6 B5:2 | A5:8 F#5:4 A5:4 | G5:4 E5:4 C6:4 E5:4 | F#5:8 A5:4 D6:4 |"
         "D6:6 B5:2 G5:4 B5:4 | A5:6 F#5:2 D5:4 F#5:4 | G5:4 B5:4 E6:4 G6:4 | E6:8 C6:8 |"
         "C6:4 A5:4 E5:4 A5:4 | F#5:4 A5:4 D6:4 F#6:4 | D#6:8 B5:8 | F#5:4 A5:4 B5:4 D#6:4",
         "G4:16 | F#4:16 | G4:16 | E4:16 | D5:16 | D5:16 | C5:16 | A4:16 |"
         "B4:16 | A4:16 | B4:16 | C5:16 | E5:16 | F#5:16 | F#5:16 | D#5:16", 0},
        {"climax", 16, {"Em", "C", "D", "B", "Em", "C", "D", "B", "Em", "C", "D", "B", "Em", "C", "D", "B"},
         nullptr, nullptr, 2},
        {"outro", 16, {"Em", "C", "D", "B", "Em", "C", "D", "B", "Em", "C", "D", "B", "Em", "C", "D", "B"},
         "B5:8 G5:8 | E5:16 | F#5:8 A5:8 | B5:16 | G5:4 F#5:4 E5:4 B4:4 | C5:8 E5:8 | D5:4 F#5:4 A5:4 F#5:4 | D#5:16 |"
         "r:128",
         "r:128 | E5:8 B4:8 | C5:8 G5:8 | F#5:8 D5:8 | D#5:8 F#5:8 | E5:8 G5:8 | C5:8 E5:8 | D5:8 A5:8 | B4:16", 0},
    };
    int bars = 0;
    for (const Game_Section& sec : sections) bars += sec.bars;
    // 150 beats a minute: a tick is exactly 735 samples at 44,100 Hz.
    Xm_Song s = _new_song("vantorel game", G_CHANNELS, 150, bars);

    int first = 0;
    for (const Game_Section& sec : sections) {
        std::string name = sec.name;
        std::string melody = sec.melody ? sec.melody : std::string(THEME) + " | " + THEME_ANSWER;
        _check_line(sec.name, melody.c_str(), sec.bars);
        if (sec.counter) _check_line(sec.name, sec.counter, sec.bars);
        bool climax = name == "climax", theme = name == "theme", bridge = name == "bridge";
        Voice lead = name == "breakdown" ? v_bell : v_lead;
        _line(s, g_lead, first, melody.c_str(), lead, name == "breakdown" ? 52 : 48, sec.transpose);
        // The echo answers three sixteenths later from the other side, from the theme on.
        if (name != "intro" && name != "breakdown")
            _line(s, g_echo, first, melody.c_str(), v_echo, 20, sec.transpose, 3);
        if (climax) _line(s, g_counter, first, melody.c_str(), v_brass, 34, sec.transpose - 12);
        else if (sec.counter) _line(s, g_counter, first, sec.counter, bridge ? v_brass : v_bell, 36, sec.transpose);
        else if (theme)
            // The answer gets a bell above it.
            _line(s, g_counter, first + 8,
                  "E6:8 D6:8 | C6:16 | D6:8 F#6:8 | D#6:16 | B5:8 E6:8 | E6:8 C6:8 | A5:8 D6:8 | B5:16", v_bell, 30);

        for (int k = 0; k < sec.bars; k++) {
            int bar = first + k;
            Chord_Notes c = _chord(sec.chords[k]);
            for (int& t : c.tones) t += sec.transpose;
            c.root += sec.transpose;
            bool fill = k % 4 == 3, last = k == sec.bars - 1;
            if (name == "intro") {
                _pad_bar(s, g_pad, bar, c, 20 + 3 * k);
                _bass_bar(s, g_bass, bar, c, k < 4 ? bass_hold : bass_pump, 40 + 3 * k);
                _drums(s, g_hat, bar, k < 2 ? "x...x...x...x..." : "x.x.x.x.x.x.x.x.", v_hat, 28 + 3 * k);
                if (k >= 4) _drums(s, g_kick, bar, "x.......x.......", v_kick, 56);
                if (k >= 4) _arp_bar(s, g_arp, bar, c, k < 6 ? "0.1.2.1.0.1.2.1." : "0121012101210121", 1, 20 + 4 * (k - 4));
                if (last) _drums(s, g_snare, bar, "........o.o.xoxx", v_snare, 54);
            } else if (theme || climax) {
                // Every four bars the bass and the hats change step, so no two bars sound alike.
                bool turn = k / 4 % 2;
                _bass_bar(s, g_bass, bar, c, turn ? bass_gallop : bass_pump, 56);
                _drums(s, g_kick, bar, fill ? "x.....x.x...x.x." : "x.....x.x.....x.", v_kick, 60);
                _drums(s, g_snare, bar, fill ? "....x.......xoxx" : "....x.......x...", v_snare, 56);
                _drums(s, g_hat, bar, climax ? (turn ? "xoxoxxxoxoxoxxxo" : "xoxoxoxoxoxoxoxo")
                                            : (turn ? "x.xox.x.x.xox.x." : "x.x.x.x.x.x.x.x."), v_hat, 40);
                if (climax) _drums(s, g_extra, bar, "..x...x...x...x.", v_open_hat, 40);
                if (k % 8 == 0) _drums(s, g_extra, bar, "x...............", v_crash, climax ? 56 : 44);
                if (climax) _arp_bar(s, g_arp, bar, c, k < 8 ? "0121012101210121" : "0123210123210121", 1, 30);
                else if (k >= 8) _arp_bar(s, g_arp, bar, c, "..0...1...2...1.", 1, 28);
                // Stabs on the off-beats under the theme, a held pad under the climax.
                if (theme)
                    for (int i = 0; i < 3; i++)
                        for (int beat : {2, 6, 10, 14})
                            _note(s, g_pad + i, bar * ROWS_PER_BAR + beat, 2, c.tones[i], v_stab, k < 8 ? 20 : 26);
                else _pad_bar(s, g_pad, bar, c, 30);
            } else if (name == "middle") {
                _bass_bar(s, g_bass, bar, c, k < 8 ? bass_walk : bass_pump, 56);
                _drums(s, g_kick, bar, "x.......x.x.....", v_kick, 58);
                _drums(s, g_snare, bar, fill ? "....x.......xoxx" : "....x.......x..o", v_snare, 52);
                _drums(s, g_hat, bar, "x.x.x.x.x.x.x.x.", v_hat, 36);
                _drums(s, g_extra, bar, k % 8 == 0 ? "x.............x." : "..............x.", k % 8 == 0 ? v_crash : v_open_hat, 40);
                _pad_bar(s, g_pad, bar, c, k < 8 ? 28 : 34);
                if (k >= 8) _arp_bar(s, g_arp, bar, c, "0.2.1.3.0.2.1.3.", 1, 26);
            } else if (name == "rolling") {
                _bass_bar(s, g_bass, bar, c, k < 8 ? bass_pump : bass_gallop, 56);
                _drums(s, g_kick, bar, fill ? "x.x...x.x.x...x." : "x.....x.x.....x.", v_kick, 60);
                _drums(s, g_snare, bar, fill ? "....x.......xxxx" : "....x.......x...", v_snare, 54);
                _drums(s, g_hat, bar, "xoxoxoxoxoxoxoxo", v_hat, 38);
                _arp_bar(s, g_arp, bar, c, k < 8 ? "0120120120120120" : "3210321032103210", 1, 30);
                if (k % 8 == 0) _drums(s, g_extra, bar, "x...............", v_crash, 48);
            } else if (name == "breakdown") {
                // Half as busy and a good deal quieter: the drop before the build.
                _pad_bar(s, g_pad, bar, c, 30);
                _bass_bar(s, g_bass, bar, c, bass_drone, 32);
                _drums(s, g_kick, bar, k < 4 ? "x..............." : "x.......x.......", v_kick, 42);
                _drums(s, g_hat, bar, "....x.......x...", v_hat, 30);
                if (k >= 4) _arp_bar(s, g_arp, bar, c, "0.......1.......", 2, 22);
            } else if (name == "build") {
                _pad_bar(s, g_pad, bar, c, 32 + 2 * k);
                _bass_bar(s, g_bass, bar, c, k < 4 ? bass_hold : bass_pump, 48 + k);
                _drums(s, g_kick, bar, k < 4 ? "x.......x......." : "x...x...x...x...", v_kick, 56);
                // The roll grows into the bridge.
                const char* roll = k < 2 ? "........x......." : k < 4 ? "....x.......x..." : k < 6 ? "..x...x...x...x." :
                                   k < 7 ? "x.x.x.x.x.x.x.x." : "xxxxxxxxxxxxxxxx";
                _drums(s, g_snare, bar, roll, v_snare, 30 + 4 * k);
                _arp_bar(s, g_arp, bar, c, "0123012301230123", k < 4 ? 0 : 1, 22 + 2 * k);
            } else if (bridge) {
                _bass_bar(s, g_bass, bar, c, k < 8 ? bass_walk : bass_gallop, 56);
                _drums(s, g_kick, bar, "x.....x...x.....", v_kick, 58);
                _drums(s, g_snare, bar, fill ? "....x.......xoxo" : "....x.......x...", v_snare, 52);
                _drums(s, g_hat, bar, k < 8 ? "x.x.x.x.x.x.x.x." : "xxoxxxoxxxoxxxox", v_hat, 34);
                if (k % 8 == 0) _drums(s, g_extra, bar, "x...............", v_crash, 50);
                _arp_bar(s, g_arp, bar, c, k < 8 ? "0.1.2.3.2.1.0.1." : "2.1.0.1.2.1.3.1.", 1, 26);
            } else { // outro
                _pad_bar(s, g_pad, bar, c, 36 - k);
                _bass_bar(s, g_bass, bar, c, k < 8 ? bass_pump : k < 12 ? bass_walk : bass_hold, 54 - k);
                _drums(s, g_kick, bar, k < 12 ? "x.....x.x.....x." : "x.......x.......", v_kick, 58);
                if (k < 12) _drums(s, g_snare, bar, fill ? "....x.......xoxx" : "....x.......x...", v_snare, 50);
                _drums(s, g_hat, bar, k < 8 ? "x.x.x.x.x.x.x.x." : "x...x...x...x...", v_hat, 34 - k);
                if (k >= 8) _arp_bar(s, g_arp, bar, c, "0.1.2.1.0.1.2.1.", 1, 30 - k);
                if (last) _drums(s, g_snare, bar, "............o.o.", v_snare, 40);
            }
        }
        first += sec.bars;
    }
    return s;
}

// ---- The menu tune ---------------------------------------------------------------------
// Slow, minor and a little uneasy, 40 bars: a pad and arpeggio intro, the vibrato tune in
// two halves with its echo, a brighter bell section in the relative major, the tune again
// an octave down under a counter-line with the drums in full, and a short turn home.

enum Menu_Channel : u8 { m_lead, m_echo, m_arp, m_pad, m_pad2, m_pad3, m_bass, m_kick, m_snare, m_hat, m_counter, M_CHANNELS };

Xm_Song _music_menu() {
    struct Part {
        const char* name;
        int bars;
        const char* chords[8];
        const char* melody;
    };
    const char* tune_first =
        "E5:6 D5:2 C5:4 B4:4 | A4:8 C5:4 E5:4 | D5:6 C5:2 B4:4 G4:4 | B4:12 r:4 |"
        "E5:6 D5:2 C5:4 E5:4 | A5:8 G5:4 E5:4 | F5:6 E5:2 D5:4 C5:4 | B4:8 E5:4 G#4:4";
    const Part parts[] = {
        {"intro", 4, {"Am", "F", "G", "Em"}, "r:64"},
        {"first", 8, {"Am", "F", "G", "Em", "Am", "F", "Dm", "E"}, tune_first},
        {"second", 8, {"Dm", "Am", "F", "E", "Dm", "Am", "Bb", "E"},
         "r:4 A4:4 D5:4 F5:4 | E5:12 C5:4 | r:4 C5:4 F5:4 A5:4 | G#5:12 E5:4 |"
         "F5:6 E5:2 D5:8 | C5:6 B4:2 A4:8 | D5:6 C5:2 Bb4:8 | B4:8 G#4:4 E4:4"},
        {"bells", 8, {"F", "G", "Em", "Am", "F", "G", "E", "E"},
         "C6:6 B5:2 A5:8 | B5:6 A5:2 G5:8 | G5:4 E5:4 B5:8 | A5:12 r:4 |"
         "F5:4 A5:4 C6:4 F6:4 | E6:6 D6:2 B5:8 | G#5:8 B5:4 E6:4 | E6:12 r:4"},
        {"low", 8, {"Am", "F", "G", "Em", "Am", "F", "Dm", "E"}, tune_first},
        {"home", 4, {"Dm", "Am", "Bb", "E"}, "E5:8 D5:4 C5:4 | B4:8 A4:8 | F5:6 E5:2 D5:4 Bb4:4 | G#4:8 B4:4 E5:4"},
    };
    int bars = 0;
    for (const Part& p : parts) bars += p.bars;
    // 90 beats a minute: a tick is exactly 1,225 samples.
    Xm_Song s = _new_song("vantorel menu", M_CHANNELS, 90, bars);
    int first = 0;
    for (const Part& p : parts) {
        _check_line(p.name, p.melody, p.bars);
        std::string name = p.name;
        bool bells = name == "bells", low = name == "low";
        _line(s, m_lead, first, p.melody, bells ? v_bell : v_lead, bells ? 50 : 42, low ? -12 : 0);
        if (!bells) _line(s, m_echo, first, p.melody, v_echo, 18, low ? -12 : 0, 3);
        if (low)
            _line(s, m_counter, first,
                  "C6:8 B5:8 | A5:16 | B5:8 D6:8 | B5:16 | C6:8 E6:8 | C6:16 | A5:8 F5:8 | G#5:16", v_bell, 34);
        if (bells) _line(s, m_counter, first, "A4:16 | B4:16 | G4:16 | E4:16 | A4:16 | B4:16 | G#4:16 | B4:16", v_brass, 30);
        for (int k = 0; k < p.bars; k++) {
            int bar = first + k;
            Chord_Notes c = _chord(p.chords[k]);
            bool second_half = name == "second" || low || name == "home";
            _pad_bar(s, m_pad, bar, c, name == "intro" ? 24 + 4 * k : 32);
            // The second four bars of each part break the chords the other way.
            bool turn = k >= 4;
            _arp_bar(s, m_arp, bar, c, bells || turn ? "0.2.1.3.0.2.1.3." : "0123210121012101", 1,
                     name == "intro" ? 22 + 3 * k : 26);
            if (name == "intro") {
                if (k >= 2) _bass_bar(s, m_bass, bar, c, bass_hold, 44);
                continue;
            }
            Bass_Style bass = bells || name == "home" ? bass_hold : name == "second" ? bass_gallop : turn ? bass_drone : bass_walk;
            _bass_bar(s, m_bass, bar, c, bass, 52);
            _drums(s, m_kick, bar, second_half ? "x.........x....." : "x...............", v_kick, 50);
            if (second_half) _drums(s, m_snare, bar, k % 4 == 3 ? "........o...o.oo" : "........o.......", v_snare, 46);
            _drums(s, m_hat, bar, low ? "..o...o...o...o." : "....o.......o...", v_hat, 30);
        }
        first += p.bars;
    }
    return s;
}

// ---- Writing a module ------------------------------------------------------------------

void _put_text(std::vector<u8>& o, const char* text, size_t width) {
    size_t n = std::min(width, std::strlen(text));
    o.insert(o.end(), text, text + n);
    o.insert(o.end(), width - n, u8(0));
}

// FastTracker 2 format 1.04, linear frequencies; every pattern 64 rows.
std::vector<u8> _xm_write(const Xm_Song& s) {
    std::vector<Xm_Instrument> instruments = _instruments(s.bpm);
    int patterns = s.rows / ROWS_PER_PATTERN;
    std::vector<u8> o;
    _put_text(o, "Extended Module: ", 17);
    _put_text(o, s.name, 20);
    o.push_back(0x1A);
    _put_text(o, "vantorel sound_build", 20);
    bytes_put_u16(o, 0x0104);
    bytes_put_u32(o, 276);
    bytes_put_u16(o, u16(patterns));  // song length: each pattern once, in order
    bytes_put_u16(o, 0);              // restart at the top
    bytes_put_u16(o, u16(s.channels));
    bytes_put_u16(o, u16(patterns));
    bytes_put_u16(o, u16(instruments.size()));
    bytes_put_u16(o, 1);              // linear frequency table
    bytes_put_u16(o, XM_SPEED);
    bytes_put_u16(o, u16(s.bpm));
    for (int i = 0; i < 256; i++) o.push_back(u8(i < patterns ? i : 0));

    for (int p = 0; p < patterns; p++) {
        std::vector<u8> packed;
        for (int r = p * ROWS_PER_PATTERN; r < (p + 1) * ROWS_PER_PATTERN; r++)
            for (int ch = 0; ch < s.channels; ch++) {
                const Xm_Cell& c = s.cells[size_t(r) * size_t(s.channels) + size_t(ch)];
                u8 flags = u8(0x80 | (c.note ? 1 : 0) | (c.instrument ? 2 : 0) | (c.volume ? 4 : 0) |
                              (c.effect ? 8 : 0) | (c.param ? 16 : 0));
                packed.push_back(flags);
                if (c.note) packed.push_back(c.note);
                if (c.instrument) packed.push_back(c.instrument);
                if (c.volume) packed.push_back(c.volume);
                if (c.effect) packed.push_back(c.effect);
                if (c.param) packed.push_back(c.param);
            }
        bytes_put_u32(o, 9);
        o.push_back(0);
        bytes_put_u16(o, ROWS_PER_PATTERN);
        bytes_put_u16(o, u16(packed.size()));
        o.insert(o.end(), packed.begin(), packed.end());
    }

    for (const Xm_Instrument& ins : instruments) {
        const Voice_Design& d = *ins.design;
        size_t start = o.size();
        bytes_put_u32(o, 263);
        _put_text(o, d.name, 22);
        o.push_back(0);
        bytes_put_u16(o, 1);
        bytes_put_u32(o, 40);
        o.insert(o.end(), 96, u8(0));  // every key plays the one sample
        for (int i = 0; i < 12; i++) {
            bool used = size_t(i) < ins.envelope.size();
            bytes_put_u16(o, used ? ins.envelope[size_t(i)].first : 0);
            bytes_put_u16(o, used ? ins.envelope[size_t(i)].second : 0);
        }
        o.insert(o.end(), 48, u8(0));  // no panning envelope
        o.push_back(u8(ins.envelope.size()));
        o.push_back(0);
        o.push_back(u8(std::max(0, d.sustain)));
        o.push_back(0);
        o.push_back(0);
        o.insert(o.end(), 3, u8(0));
        o.push_back(u8(ins.envelope.empty() ? 0 : 1 | (d.sustain >= 0 ? 2 : 0)));
        o.push_back(0);
        o.push_back(0);  // sine vibrato
        o.push_back(d.vibrato_sweep);
        o.push_back(d.vibrato_depth);
        o.push_back(d.vibrato_rate);
        bytes_put_u16(o, ins.fadeout);
        o.insert(o.end(), 263 - (o.size() - start), u8(0));

        u32 bytes = u32(ins.pcm.size() * 2);
        bytes_put_u32(o, bytes);
        bytes_put_u32(o, 0);
        bytes_put_u32(o, ins.loop ? bytes : 0);
        o.push_back(d.volume);
        o.push_back(u8(i8(ins.finetune)));
        o.push_back(u8(0x10 | (ins.loop ? 1 : 0)));
        o.push_back(d.pan);
        o.push_back(u8(i8(ins.relnote)));
        o.push_back(0);
        _put_text(o, d.name, 22);
        i16 previous = 0;
        for (i16 v : ins.pcm) {
            bytes_put_u16(o, u16(i16(v - previous)));
            previous = v;
        }
    }
    return o;
}

// ---- One-shots -------------------------------------------------------------------------

Buffer _ui_hover() {
    Buffer b = _silence(0.06f);
    _add_tone(b, {.wave = pulse, .duration = 0.045f, .freq = 1320, .freq_end = 1560, .duty = 0.5f,
                  .attack = 0.002f, .release = 0.015f, .lowpass = 6000});
    return b;
}

Buffer _ui_press() {
    Buffer b = _silence(0.16f);
    _add_tone(b, {.wave = pulse, .duration = 0.05f, .freq = 880, .duty = 0.25f, .release = 0.008f});
    _add_tone(b, {.wave = pulse, .start = 0.05f, .duration = 0.10f, .freq = 1760, .duty = 0.25f,
                  .release = 0.03f, .decay = 12});
    return b;
}

Buffer _new_stage() {
    Buffer b = _silence(0.85f);
    const f32 notes[4] = {72, 76, 79, 84};
    for (int i = 0; i < 3; i++)
        _add_tone(b, {.wave = pulse, .start = i * 0.07f, .duration = 0.065f, .freq = _midi_hz(notes[i]),
                      .duty = 0.25f, .release = 0.01f});
    _add_tone(b, {.wave = pulse, .start = 0.21f, .duration = 0.6f, .freq = _midi_hz(notes[3]), .duty = 0.25f,
                  .release = 0.15f, .decay = 2, .vibrato = 0.2f, .vibrato_rate = 7, .vibrato_delay = 0.1f});
    _add_tone(b, {.wave = pulse, .start = 0.21f, .duration = 0.6f, .freq = _midi_hz(79), .duty = 0.125f,
                  .gain = 0.5f, .release = 0.15f, .decay = 2});
    _add_tone(b, {.wave = triangle, .start = 0.21f, .duration = 0.6f, .freq = _midi_hz(48), .gain = 0.8f,
                  .release = 0.15f, .decay = 2});
    return b;
}

// A rumble that grows for five seconds as the boss wakes, with heavier and heavier thumps.
Buffer _boss_waking_up() {
    Buffer b = _silence(5.4f);
    Buffer swell = _silence(5.4f);
    _add_tone(swell, {.wave = noise, .duration = 5.4f, .freq = 2500, .attack = 0.5f, .release = 0.4f,
                      .tremolo = 0.5f, .tremolo_rate = 7, .lowpass = 220});
    _add_tone(swell, {.wave = triangle, .duration = 5.4f, .freq = 38, .freq_end = 55, .gain = 0.5f,
                      .attack = 0.5f, .release = 0.4f, .vibrato = 0.6f, .vibrato_rate = 3});
    for (size_t i = 0; i < swell.size(); i++) {
        f32 t = f32(i) / RATE;
        f32 grow = std::min(1.0f, 0.15f + 0.85f * (t / 5) * (t / 5));
        b[i] += swell[i] * grow;
    }
    const f32 thumps[6] = {0.8f, 2.0f, 3.0f, 3.8f, 4.4f, 4.95f};
    for (int i = 0; i < 6; i++)
        _add_tone(b, {.wave = sine, .start = thumps[i], .duration = 0.4f, .freq = 80, .freq_end = 32,
                      .gain = 0.3f + 0.14f * i, .attack = 0.002f, .release = 0.1f, .decay = 6});
    return b;
}

Buffer _boss_moving() {
    Buffer b = _silence(0.9f);
    _add_tone(b, {.wave = noise, .duration = 0.9f, .freq = 1200, .freq_end = 5000, .attack = 0.35f,
                  .release = 0.4f, .lowpass = 1800});
    _add_tone(b, {.wave = pulse, .duration = 0.9f, .freq = 90, .freq_end = 180, .duty = 0.125f, .gain = 0.35f,
                  .attack = 0.3f, .release = 0.4f, .vibrato = 0.5f, .vibrato_rate = 9, .lowpass = 1200});
    return b;
}

// A low growl, all below the ship's sounds: nothing like the ship's bright falling shot or
// the hit it may cause.
Buffer _boss_attack_targeted() {
    Buffer b = _silence(0.35f);
    _add_tone(b, {.wave = sine, .duration = 0.32f, .freq = 110, .freq_end = 45, .attack = 0.002f,
                  .release = 0.08f, .decay = 6});
    _add_tone(b, {.wave = triangle, .duration = 0.3f, .freq = 82, .freq_end = 41, .gain = 0.6f, .attack = 0.002f,
                  .release = 0.08f, .decay = 7, .vibrato = 2, .vibrato_rate = 30, .lowpass = 400});
    _add_tone(b, {.wave = noise, .duration = 0.08f, .freq = 800, .gain = 0.25f, .attack = 0.001f,
                  .release = 0.03f, .decay = 20, .lowpass = 300});
    return b;
}
Buffer _boss_attack_big_wave() {
    Buffer b = _silence(0.75f);
    _add_tone(b, {.wave = triangle, .duration = 0.7f, .freq = 520, .freq_end = 55, .attack = 0.002f,
                  .release = 0.15f, .decay = 2.5f});
    _add_tone(b, {.wave = pulse, .duration = 0.6f, .freq = 260, .freq_end = 60, .duty = 0.25f, .gain = 0.35f,
                  .attack = 0.002f, .release = 0.15f, .decay = 3, .lowpass = 2500});
    _add_tone(b, {.wave = noise, .duration = 0.7f, .freq = 6000, .freq_end = 1500, .gain = 0.5f,
                  .attack = 0.02f, .release = 0.2f, .decay = 4, .lowpass = 2500});
    return b;
}

// A short glassy ping, two inharmonic partials.
Buffer _boss_attack_spin() {
    Buffer b = _silence(0.12f);
    _add_tone(b, {.wave = sine, .duration = 0.11f, .freq = 2093, .freq_end = 1975, .attack = 0.001f,
                  .release = 0.03f, .decay = 28});
    _add_tone(b, {.wave = sine, .duration = 0.08f, .freq = 5430, .gain = 0.35f, .attack = 0.001f,
                  .release = 0.02f, .decay = 45});
    _add_tone(b, {.wave = sine, .duration = 0.1f, .freq = 1046, .gain = 0.4f, .attack = 0.001f,
                  .release = 0.03f, .decay = 30});
    return b;
}
Buffer _boss_dying() {
    Buffer b = _silence(3.2f);
    _add_tone(b, {.wave = pulse, .duration = 2.8f, .freq = 700, .freq_end = 50, .duty = 0.25f, .gain = 0.35f,
                  .attack = 0.01f, .release = 0.6f, .vibrato = 1.5f, .vibrato_rate = 11, .lowpass = 3000});
    // Bursts at uneven, fixed times so the cascade sounds the same in every build.
    const f32 bursts[9] = {0.0f, 0.28f, 0.49f, 0.81f, 1.07f, 1.42f, 1.70f, 2.05f, 2.35f};
    for (int i = 0; i < 9; i++) {
        f32 big = i == 8 ? 1.0f : 0.6f;
        _add_tone(b, {.wave = noise, .start = bursts[i], .duration = i == 8 ? 0.8f : 0.35f,
                      .freq = 3500.0f - 250 * i, .freq_end = 500, .gain = big, .attack = 0.002f,
                      .release = 0.1f, .decay = i == 8 ? 4.0f : 9.0f, .lowpass = 2200});
        _add_tone(b, {.wave = sine, .start = bursts[i], .duration = 0.3f, .freq = 110, .freq_end = 35,
                      .gain = big * 0.7f, .attack = 0.002f, .release = 0.08f, .decay = 8});
    }
    return b;
}

// Rock cracking apart: a dry, bright crumble with nothing low, so it never hides a hit on
// the ship (a ram plays both at once).
Buffer _asteroid_destroyed() {
    Buffer b = _silence(0.3f);
    _add_tone(b, {.wave = noise, .duration = 0.28f, .freq = 12000, .freq_end = 5000, .attack = 0.001f,
                  .release = 0.06f, .decay = 12, .highpass = 3000});
    _add_tone(b, {.wave = noise, .duration = 0.12f, .freq = 10000, .gain = 0.5f, .attack = 0.001f,
                  .release = 0.04f, .decay = 25, .highpass = 5000, .metallic = true});
    _filter(b, 0, 3000);
    return b;
}

// A deep boom under a bright crackle of debris, with little in between: the ship's
// sounds live in that middle.
Buffer _bomb_explode() {
    Buffer b = _silence(1.3f);
    _add_tone(b, {.wave = noise, .duration = 1.25f, .freq = 500, .freq_end = 120, .gain = 0.5f,
                  .attack = 0.003f, .release = 0.4f, .decay = 3.0f, .lowpass = 220});
    _add_tone(b, {.wave = sine, .duration = 0.9f, .freq = 75, .freq_end = 28, .gain = 0.5f,
                  .attack = 0.004f, .release = 0.25f, .decay = 3.5f});
    _add_tone(b, {.wave = noise, .duration = 1.0f, .freq = 12000, .gain = 0.7f, .attack = 0.002f,
                  .release = 0.3f, .decay = 5, .tremolo = 0.8f, .tremolo_rate = 23, .highpass = 4000});
    return b;
}
Buffer _player_idle() {
    Buffer b = _silence(0.4f);
    _add_tone(b, {.wave = triangle, .duration = 0.4f, .freq = 110, .attack = 0.05f, .release = 0.1f,
                  .tremolo = 0.4f, .tremolo_rate = 12});
    return b;
}

Buffer _player_charged() {
    Buffer b = _silence(0.12f);
    _add_tone(b, {.wave = pulse, .duration = 0.04f, .freq = _midi_hz(88), .duty = 0.25f, .release = 0.008f});
    _add_tone(b, {.wave = pulse, .start = 0.04f, .duration = 0.07f, .freq = _midi_hz(95), .duty = 0.25f,
                  .release = 0.03f, .decay = 15});
    return b;
}

Buffer _player_boost() {
    Buffer b = _silence(0.38f);
    _add_tone(b, {.wave = noise, .duration = 0.35f, .freq = 1500, .freq_end = 7000, .attack = 0.01f,
                  .release = 0.15f, .decay = 3, .highpass = 800});
    _add_tone(b, {.wave = pulse, .duration = 0.3f, .freq = 200, .freq_end = 900, .duty = 0.125f, .gain = 0.6f,
                  .attack = 0.005f, .release = 0.12f, .decay = 4, .lowpass = 4000});
    return b;
}

Buffer _player_shoot() {
    Buffer b = _silence(0.16f);
    _add_tone(b, {.wave = pulse, .duration = 0.14f, .freq = 1400, .freq_end = 350, .duty = 0.5f,
                  .attack = 0.001f, .release = 0.03f, .decay = 10, .lowpass = 8000});
    _add_tone(b, {.wave = noise, .duration = 0.025f, .freq = 12000, .gain = 0.4f, .attack = 0.001f,
                  .release = 0.01f, .highpass = 2000});
    return b;
}

// The ship hurt: a falling, wobbling square in the middle of the range, above the boss's
// growl and below the rocks' crackle.
Buffer _player_damaged() {
    Buffer b = _silence(0.38f);
    _add_tone(b, {.wave = pulse, .duration = 0.35f, .freq = 520, .freq_end = 260, .duty = 0.5f, .attack = 0.001f,
                  .release = 0.08f, .decay = 4, .vibrato = 1.5f, .vibrato_rate = 25, .lowpass = 1500,
                  .highpass = 250});
    _add_tone(b, {.wave = pulse, .duration = 0.35f, .freq = 780, .freq_end = 390, .duty = 0.25f, .gain = 0.4f,
                  .attack = 0.001f, .release = 0.08f, .decay = 4, .lowpass = 1500, .highpass = 300});
    _filter(b, 1200, 200);
    _filter(b, 1200, 0);
    return b;
}

Buffer _player_death() {
    Buffer b = _silence(0.85f);
    _add_tone(b, {.wave = pulse, .duration = 0.8f, .freq = 600, .freq_end = 70, .duty = 0.25f,
                  .attack = 0.002f, .release = 0.2f, .decay = 2, .vibrato = 1, .vibrato_rate = 14,
                  .lowpass = 3000});
    _add_tone(b, {.wave = noise, .duration = 0.5f, .freq = 2500, .freq_end = 400, .gain = 0.6f,
                  .attack = 0.002f, .release = 0.15f, .decay = 5, .lowpass = 1800});
    return b;
}

Buffer _player_heal() {
    Buffer b = _silence(0.42f);
    const f32 notes[4] = {76, 80, 83, 88};
    for (int i = 0; i < 4; i++) {
        f32 length = i == 3 ? 0.22f : 0.055f;
        _add_tone(b, {.wave = triangle, .start = i * 0.055f, .duration = length, .freq = _midi_hz(notes[i]),
                      .release = i == 3 ? 0.1f : 0.01f, .decay = i == 3 ? 6.0f : 0.0f});
        _add_tone(b, {.wave = pulse, .start = i * 0.055f, .duration = length, .freq = _midi_hz(notes[i] + 12),
                      .duty = 0.125f, .gain = 0.25f, .release = i == 3 ? 0.1f : 0.01f,
                      .decay = i == 3 ? 6.0f : 0.0f});
    }
    return b;
}

// A short tune over a bass line; tempo in seconds per sixteenth.
Buffer _jingle(const char* lead, const char* harmony, const char* bass, f32 step, f32 seconds,
               f32 vibrato) {
    Song s = {_silence(seconds), step};
    _song_notes(s, _parse_line(lead), {.wave = pulse, .duty = 0.25f, .gain = 0.5f, .attack = 0.004f,
                                        .release = 0.05f, .decay = 1.2f, .vibrato = vibrato,
                                        .vibrato_rate = 6, .vibrato_delay = 0.15f, .lowpass = 6000},
                0.9f);
    _song_notes(s, _parse_line(harmony), {.wave = pulse, .duty = 0.125f, .gain = 0.22f, .attack = 0.004f,
                                           .release = 0.05f, .decay = 1.2f, .lowpass = 4000},
                0.9f);
    _song_notes(s, _parse_line(bass), {.wave = triangle, .gain = 0.55f, .attack = 0.004f, .release = 0.05f,
                                        .decay = 1.0f},
                0.92f);
    // Plain adds, not wrapped: a jingle ends, it does not loop.
    return s.buf;
}

Buffer _game_win() {
    Buffer b = _jingle("G4:2 C5:2 E5:2 G5:4 E5:2 G5:2 | A5:2 F5:2 A5:2 C6:6 | B5:2 G5:2 B5:2 D6:4 B5:2 |"
                       "C6:12",
                       "E4:6 C5:6 | F4:6 A4:6 | G4:6 D5:4 r:2 | E5:12",
                       "C3:6 G3:6 | F3:6 C4:6 | G3:6 G2:6 | C3:12", 0.09f, 5.0f, 0.2f);
    b.resize(size_t(std::lround(4.6f * RATE)));
    return b;
}

Buffer _game_lose() {
    Buffer b = _jingle("E5:4 D#5:4 D5:4 C#5:16", "G4:4 F#4:4 F4:4 E4:16", "A3:4 G#3:4 G3:4 A2:16", 0.12f,
                       3.6f, 0.4f);
    return b;
}

// ---- Events ----------------------------------------------------------------------------

struct Event_Source {
    const char* name;
    Buffer (*make)();  // a one-shot, stored as Ogg Vorbis
    Xm_Song (*song)(); // or a tune, stored as a module
    f32 loudness;      // LUFS, as played on both speakers
    f32 peak;          // full scale 1: never above this, whatever the loudness asks
    u16 max_instances; // one more start takes over the oldest
    bool vary;         // a little higher or lower, louder or softer at each start
};

// The balance, loudest first: taking damage, the jingles, the bomb and the boss's big
// moments; then the ship's own actions (a boost above a shot); rocks and boss shots; the
// menus and the music underneath. Peaks leave room for the pile-ups the game makes:
// two new_stage at once, bombs chaining, rocks bursting together.
const Event_Source EVENTS[] = {
    {"music_menu", nullptr, _music_menu, -22, 0.5f, 2, false},
    {"music_game", nullptr, _music_game, -21, 0.5f, 2, false},
    {"ui_hover", _ui_hover, nullptr, -22, 0.35f, 2, false},
    {"ui_press", _ui_press, nullptr, -20, 0.45f, 2, false},
    {"new_stage", _new_stage, nullptr, -19, 0.40f, 2, false},
    {"boss_waking_up", _boss_waking_up, nullptr, -17, 0.70f, 1, false},
    {"boss_moving", _boss_moving, nullptr, -21, 0.40f, 2, false},
    {"boss_attack_targeted", _boss_attack_targeted, nullptr, -18, 0.50f, 3, true},
    {"boss_attack_big_wave", _boss_attack_big_wave, nullptr, -17, 0.60f, 2, false},
    {"boss_attack_spin", _boss_attack_spin, nullptr, -22, 0.35f, 3, true},
    {"boss_dying", _boss_dying, nullptr, -15, 0.70f, 1, false},
    {"asteroid_destroyed", _asteroid_destroyed, nullptr, -19, 0.60f, 3, true},
    {"bomb_explode", _bomb_explode, nullptr, -15, 0.85f, 2, true},
    {"player_idle", _player_idle, nullptr, -25, 0.30f, 1, false},
    {"player_charged", _player_charged, nullptr, -22, 0.35f, 2, false},
    {"player_boost", _player_boost, nullptr, -15, 0.60f, 2, false},
    {"player_shoot", _player_shoot, nullptr, -18.5f, 0.50f, 3, true},
    {"player_damaged", _player_damaged, nullptr, -13, 0.70f, 2, false},
    {"player_death", _player_death, nullptr, -16, 0.60f, 1, false},
    {"player_heal", _player_heal, nullptr, -18, 0.50f, 2, false},
    {"game_win", _game_win, nullptr, -15, 0.60f, 1, false},
    {"game_lose", _game_lose, nullptr, -15, 0.60f, 1, false},
};

f32 _db(f64 v) { return v > 0 ? f32(20 * std::log10(v)) : -999.0f; }

// Removes any offset through a gentle 10 Hz high-pass.
void _remove_dc(Buffer& pcm) {
    f64 r = 1 - TAU * 10.0 / RATE, x1 = 0, y1 = 0;
    for (f32& v : pcm) {
        f64 y = v - x1 + r * y1;
        x1 = v, y1 = y;
        v = f32(y);
    }
}

void _append(std::vector<u8>& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

// One mono Ogg Vorbis stream; the last page's granule position makes the decoded length
// exactly the input's.
bool _encode(const std::vector<i16>& pcm, f32 quality, int serial, std::vector<u8>& out) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 1, RATE, quality) != 0) return false;
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, serial);
    ogg_packet header, header_comment, header_code;
    vorbis_analysis_headerout(&dsp, &comment, &header, &header_comment, &header_code);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &header_comment);
    ogg_stream_packetin(&stream, &header_code);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page)) _append(out, page);

    auto drain = [&] {
        ogg_packet packet;
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page)) _append(out, page);
            }
        }
    };
    for (size_t at = 0; at < pcm.size(); at += 4096) {
        size_t n = std::min<size_t>(4096, pcm.size() - at);
        float** in = vorbis_analysis_buffer(&dsp, int(n));
        for (size_t i = 0; i < n; i++) in[0][i] = pcm[at + i] / 32768.0f;
        vorbis_analysis_wrote(&dsp, int(n));
        drain();
    }
    vorbis_analysis_wrote(&dsp, 0);
    drain();
    while (ogg_stream_flush(&stream, &page)) _append(out, page);
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return true;
}

// Decodes a stream back, as the game will, to check its length and its seam.
std::vector<i16> _decode(const std::vector<u8>& ogg) {
    std::vector<i16> pcm;
    Vorbis_Memory src = {ogg.data(), ogg.size(), 0};
    OggVorbis_File vf;
    if (ov_open_callbacks(&src, &vf, nullptr, 0, VORBIS_MEMORY_CALLBACKS) != 0) return pcm;
    char piece[8192];
    int section = 0;
    long got;
    while ((got = ov_read(&vf, piece, sizeof piece, 0, 2, 1, &section)) > 0) {
        size_t at = pcm.size();
        pcm.resize(at + size_t(got) / 2);
        std::memcpy(pcm.data() + at, piece, size_t(got));
    }
    ov_clear(&vf);
    return pcm;
}

std::string _join(const char* dir, const char* name) {
    std::string path = dir;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + name;
}


// One Ogg Vorbis one-shot into the bank.
bool _add_one_shot(const Event_Source& src, Bank& bank) {
    Buffer buf = src.make();
    _remove_dc(buf);
    // The last few milliseconds fade to zero so no one-shot ends on a step.
    size_t tail = std::min(buf.size(), size_t(RATE / 200));
    for (size_t i = 0; i < tail; i++) buf[buf.size() - 1 - i] *= f32(i) / f32(tail);
    f32 peak = 0;
    for (f32 v : buf) peak = std::max(peak, std::fabs(v));
    f64 loudness = loudness_lufs(buf);
    if (peak <= 0 || loudness < -200) {
        std::fprintf(stderr, "%s is silent\n", src.name);
        return false;
    }
    f32 scale = std::min(f32(std::pow(10.0, (src.loudness - loudness) / 20)), src.peak / peak);
    std::vector<i16> pcm(buf.size());
    for (size_t i = 0; i < buf.size(); i++)
        pcm[i] = i16(std::lround(std::clamp(buf[i] * scale, -1.0f, 1.0f) * 32767));

    std::vector<u8> ogg;
    if (!_encode(pcm, ONE_SHOT_QUALITY, int(bank.events.size()) + 1, ogg)) {
        std::fprintf(stderr, "%s could not be encoded\n", src.name);
        return false;
    }
    std::vector<i16> back = _decode(ogg);
    if (back.size() != pcm.size()) {
        std::fprintf(stderr, "%s decodes to %zu frames, not %zu\n", src.name, back.size(), pcm.size());
        return false;
    }
    Buffer played(back.size());
    f64 mean = 0;
    i32 max_abs = 0;
    for (size_t i = 0; i < back.size(); i++) {
        played[i] = back[i] / 32768.0f;
        mean += back[i];
        max_abs = std::max(max_abs, std::abs(i32(back[i])));
    }
    Bank_Event e;
    e.channels = 1;
    e.volume = 1;
    e.fade_out = ONE_SHOT_FADE;
    e.max_instances = src.max_instances;
    e.vary = src.vary;
    e.frames = u32(pcm.size());
    e.first_byte = u32(bank.data.size());
    e.byte_count = u32(ogg.size());
    bank.data.insert(bank.data.end(), ogg.begin(), ogg.end());
    bank.events.push_back(e);
    std::printf("%-22s %7.2f %8.1f %8.1f %8.5f %8zu %4d %6s\n", src.name, f64(pcm.size()) / RATE,
                _db(max_abs / 32768.0), loudness_lufs(played), mean / f64(back.size()) / 32768, ogg.size(),
                src.max_instances, src.vary ? "varies" : "");
    return true;
}

// One pass of a module's song as the game plays it, stereo frames interleaved.
std::vector<i16> _render(const std::vector<u8>& xm) {
    std::vector<i16> pcm;
    xmp_context player = xmp_create_context();
    if (player && module_player_load(player, xm.data(), xm.size()) && module_player_start(player)) {
        xmp_frame_info fi;
        for (;;) {
            if (xmp_play_frame(player) != 0) break;
            xmp_get_frame_info(player, &fi);
            if (fi.loop_count > 0) break;
            const i16* at = static_cast<const i16*>(fi.buffer);
            pcm.insert(pcm.end(), at, at + fi.buffer_size / 2);
        }
        xmp_end_player(player);
        xmp_release_module(player);
    }
    if (player) xmp_free_context(player);
    return pcm;
}

// A tune into the bank as a module, at the volume that gives it its loudness.
bool _add_module(const Event_Source& src, Bank& bank) {
    Xm_Song song = src.song();
    std::vector<u8> xm = _xm_write(song);
    if (!bank_module_valid(xm.data(), xm.size())) {
        std::fprintf(stderr, "%s: the module writer made a module the bank refuses\n", src.name);
        return false;
    }
    std::vector<i16> pcm = _render(xm);
    // A tick is a whole number of samples at both tempos, so a pass is exact.
    u64 pass = u64(song.rows) * XM_SPEED * u64(std::lround(_tick_seconds(song.bpm) * RATE));
    if (pcm.size() != 2 * pass) {
        std::fprintf(stderr, "%s plays %zu frames a pass, not %llu\n", src.name, pcm.size() / 2,
                     (unsigned long long)pass);
        return false;
    }
    Buffer played(pcm.size());
    f32 peak = 0;
    for (size_t i = 0; i < pcm.size(); i++) {
        played[i] = pcm[i] / 32768.0f;
        peak = std::max(peak, std::fabs(played[i]));
    }
    f64 loudness = loudness_lufs(played, 2);
    f32 volume = std::min(f32(std::pow(10.0, (src.loudness - loudness) / 20)), src.peak / peak);
    if (!(volume > 0 && volume <= 1)) {
        std::fprintf(stderr, "%s renders at %.1f LUFS, too quiet for %.1f\n", src.name, loudness, src.loudness);
        return false;
    }
    // Left against right over the whole pass: 1 would be mono.
    f64 lr = 0, ll = 0, rr = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        lr += f64(pcm[i]) * pcm[i + 1];
        ll += f64(pcm[i]) * pcm[i];
        rr += f64(pcm[i + 1]) * pcm[i + 1];
    }
    // A tune should never drop to silence inside itself, across its seam included.
    size_t run = 0, longest = 0;
    for (size_t i = 0; i < 2 * pcm.size(); i += 2) {
        size_t at = i % pcm.size();
        run = std::abs(pcm[at]) < 8 && std::abs(pcm[at + 1]) < 8 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    Bank_Event e;
    e.channels = 2;
    e.loop = true;
    e.codec = codec_module;
    e.volume = volume;
    e.fade_out = MUSIC_FADE;
    e.max_instances = src.max_instances;
    e.frames = u32(pass);
    e.first_byte = u32(bank.data.size());
    e.byte_count = u32(xm.size());
    bank.data.insert(bank.data.end(), xm.begin(), xm.end());
    bank.events.push_back(e);
    std::printf("%-22s %7.2f %8.1f %8.1f %8s %8zu %4d %6s\n", src.name, f64(pass) / RATE, _db(peak * volume),
                loudness + _db(volume), "", xm.size(), src.max_instances, "module");
    std::printf("%-22s %d bars at %d BPM, left/right correlation %.2f, longest near-silence %.1f ms\n", "",
                song.rows / ROWS_PER_BAR, song.bpm, lr / std::sqrt(ll * rr), 1000.0 * f64(longest) / RATE);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <out_dir>\n", argv[0]);
        return 2;
    }
    Bank bank;
    Strings_Bank strings;
    std::printf("%-22s %7s %8s %8s %8s %8s %4s %6s\n", "event", "seconds", "peak dB", "LUFS", "dc", "bytes",
                "max", "kind");
    for (const Event_Source& src : EVENTS) {
        u32 index = u32(bank.events.size());
        if (!(src.song ? _add_module(src, bank) : _add_one_shot(src, bank))) return 1;
        strings.entries.push_back({std::string("event:/") + src.name, index});
    }

    std::vector<u8> bank_bytes, strings_bytes;
    if (!bank_write(bank, bank_bytes) || !strings_bank_write(strings, strings_bytes)) {
        std::fprintf(stderr, "bank refused by the writer\n");
        return 1;
    }
    std::string bank_path = _join(argv[1], "persistent.bank");
    std::string strings_path = _join(argv[1], "persistent.strings.bank");
    if (!bank_write_file_atomic(bank_path.c_str(), bank_bytes) ||
        !bank_write_file_atomic(strings_path.c_str(), strings_bytes)) {
        std::fprintf(stderr, "could not write the banks to %s\n", argv[1]);
        return 1;
    }
    std::printf("persistent.bank %zu bytes (%.2f MB), persistent.strings.bank %zu bytes\n",
                bank_bytes.size(), bank_bytes.size() / 1e6, strings_bytes.size());
    return 0;
}
