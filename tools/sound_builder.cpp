// Synthesises every sound event and both music loops, and writes the two sound banks.
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

namespace {

constexpr u32 RATE = BANK_RATE; // Hz: the device rate, so nothing is resampled at load
constexpr f32 TAU = 2 * PI;
constexpr f32 MUSIC_FADE = 1.0f;    // seconds
constexpr f32 ONE_SHOT_FADE = 0.1f; // seconds

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

struct Chord {
    const char* name;
    int notes[3]; // MIDI, around middle C
    int root;     // MIDI, bass register
};

const Chord CHORDS[] = {
    {"Am", {57, 60, 64}, 45}, {"F", {57, 60, 65}, 41},  {"G", {55, 59, 62}, 43},
    {"Em", {55, 59, 64}, 40}, {"Dm", {57, 62, 65}, 50}, {"E", {56, 59, 64}, 40},
    {"Bb", {58, 62, 65}, 46}, {"C", {55, 60, 64}, 48},  {"D", {57, 62, 66}, 50},
    {"B", {54, 59, 63}, 47},
};

const Chord& _chord(const char* name) {
    for (const Chord& c : CHORDS)
        if (std::strcmp(c.name, name) == 0) return c;
    std::fprintf(stderr, "unknown chord %s\n", name);
    std::exit(1);
}

struct Song {
    Buffer buf;
    f32 step; // seconds per sixteenth
};

Song _song(int step_samples, int steps) {
    return {Buffer(size_t(step_samples) * steps, 0.0f), f32(step_samples) / RATE};
}

void _song_notes(Song& s, const std::vector<Note>& notes, Tone shape, f32 gate = 0.9f,
                 int shift_steps = 0, f32 transpose = 0) {
    for (const Note& n : notes) {
        shape.start = (n.start + shift_steps) * s.step;
        shape.duration = n.length * s.step * gate;
        shape.freq = _midi_hz(n.midi + transpose);
        shape.freq_end = 0;
        _add_tone(s.buf, shape, true);
    }
}

enum Drum : u8 { kick, snare, hat, open_hat };

void _song_drum(Song& s, Drum d, int step, f32 gain) {
    Tone t;
    t.start = step * s.step;
    t.gain = gain;
    switch (d) {
    case kick:
        t = {.wave = sine, .start = t.start, .duration = 0.16f, .freq = 150, .freq_end = 42,
             .gain = gain, .attack = 0.001f, .release = 0.03f, .decay = 14};
        break;
    case snare:
        t = {.wave = noise, .start = t.start, .duration = 0.14f, .freq = 9000, .gain = gain,
             .attack = 0.001f, .release = 0.03f, .decay = 22, .lowpass = 6000, .highpass = 400};
        _add_tone(s.buf, {.wave = triangle, .start = t.start, .duration = 0.06f, .freq = 220,
                          .freq_end = 150, .gain = gain * 0.6f, .attack = 0.001f, .release = 0.02f,
                          .decay = 30}, true);
        break;
    case hat:
        t = {.wave = noise, .start = t.start, .duration = 0.04f, .freq = 16000, .gain = gain,
             .attack = 0.001f, .release = 0.015f, .decay = 60, .highpass = 5000, .metallic = true};
        break;
    case open_hat:
        t = {.wave = noise, .start = t.start, .duration = 0.18f, .freq = 16000, .gain = gain,
             .attack = 0.001f, .release = 0.05f, .decay = 14, .highpass = 5000, .metallic = true};
        break;
    }
    _add_tone(s.buf, t, true);
}

// One 16-step bar pattern per drum: 'x' loud, 'o' soft, '.' silent.
void _song_drum_bar(Song& s, Drum d, int bar, const char* pattern, f32 gain) {
    for (int i = 0; i < 16 && pattern[i]; i++) {
        if (pattern[i] == 'x') _song_drum(s, d, bar * 16 + i, gain);
        if (pattern[i] == 'o') _song_drum(s, d, bar * 16 + i, gain * 0.5f);
    }
}

// ---- Music -----------------------------------------------------------------------------

// Slow, minor and a little uneasy: a vibrato lead with an echo over broken chords.
Buffer _music_menu() {
    const char* progression[16] = {"Am", "F", "G", "Em", "Am", "F", "Dm", "E",
                                   "Dm", "Am", "F", "E", "Dm", "Am", "Bb", "E"};
    const char* melody =
        "E5:6 D5:2 C5:4 B4:4 | A4:8 C5:4 E5:4 | D5:6 C5:2 B4:4 G4:4 | B4:12 r:4 |"
        "E5:6 D5:2 C5:4 E5:4 | A5:8 G5:4 E5:4 | F5:6 E5:2 D5:4 C5:4 | B4:8 E5:4 G#4:4 |"
        "r:4 A4:4 D5:4 F5:4 | E5:12 C5:4 | r:4 C5:4 F5:4 A5:4 | G#5:12 E5:4 |"
        "F5:6 E5:2 D5:8 | C5:6 B4:2 A4:8 | D5:6 C5:2 Bb4:8 | B4:8 G#4:4 E4:4";
    const int bars = 16;
    // 84 beats per minute, sixteenths rounded to whole samples so the loop is exact.
    Song s = _song(7876, bars * 16);
    if (_line_steps(melody) != bars * 16) {
        std::fprintf(stderr, "menu melody is %d steps\n", _line_steps(melody));
        std::exit(1);
    }
    std::vector<Note> lead = _parse_line(melody);
    Tone lead_tone = {.wave = pulse, .duty = 0.25f, .gain = 0.30f, .attack = 0.02f, .release = 0.08f,
                      .decay = 0.6f, .vibrato = 0.25f, .vibrato_rate = 5, .vibrato_delay = 0.25f,
                      .lowpass = 5000};
    _song_notes(s, lead, lead_tone);
    Tone echo = lead_tone;
    echo.gain = 0.10f;
    echo.duty = 0.125f;
    _song_notes(s, lead, echo, 0.9f, 3);

    const int arp[16] = {0, 1, 2, 3, 2, 1, 0, 1, 2, 3, 2, 1, 0, 1, 2, 1};
    for (int bar = 0; bar < bars; bar++) {
        const Chord& c = _chord(progression[bar]);
        for (int i = 0; i < 16; i++) {
            int k = arp[i];
            f32 note = f32(k == 3 ? c.notes[0] + 12 : c.notes[k]);
            _add_tone(s.buf, {.wave = pulse, .start = (bar * 16 + i) * s.step, .duration = s.step * 0.8f,
                              .freq = _midi_hz(note), .duty = 0.125f, .gain = 0.07f,
                              .attack = 0.004f, .release = 0.03f, .decay = 6, .lowpass = 3500},
                      true);
        }
        f32 root = f32(c.root);
        const int bass_step[4] = {0, 6, 8, 12}, bass_len[4] = {6, 2, 4, 4};
        const f32 bass_note[4] = {root, root + 7, root + 12, root + 7};
        for (int k = 0; k < 4; k++)
            _add_tone(s.buf, {.wave = triangle, .start = (bar * 16 + bass_step[k]) * s.step,
                              .duration = bass_len[k] * s.step * 0.92f, .freq = _midi_hz(bass_note[k]),
                              .gain = 0.34f, .attack = 0.006f, .release = 0.04f, .decay = 0.8f},
                      true);
        bool second_half = bar >= 8;
        _song_drum_bar(s, kick, bar, second_half ? "x.........x....." : "x...............", 0.40f);
        _song_drum_bar(s, snare, bar, second_half ? "........o......." : "................", 0.30f);
        _song_drum_bar(s, hat, bar, second_half ? "..o...o...o...o." : "....o.......o...", 0.16f);
    }
    return s.buf;
}

// Fast and bright, in six sections that build: hats and bass alone, the tune over the full
// kit, a thinner brighter lead, a rolling arpeggio, a breakdown that winds up with a snare
// roll, and the tune again an octave doubled with everything playing.
enum Section : u8 { intro, verse, middle, rolling, breakdown, climax };

Buffer _music_game() {
    struct Part {
        Section section;
        int bars;
        const char* chords[8];
        const char* melody;
    };
    const char* tune_a =
        "E5:2 E5:2 G5:2 E5:2 B5:4 A5:2 G5:2 | G5:6 E5:2 C5:4 E5:4 |"
        "F#5:2 F#5:2 A5:2 F#5:2 D6:4 C6:2 A5:2 | B5:8 A5:2 G5:2 F#5:2 D#5:2 |"
        "E5:2 E5:2 G5:2 E5:2 B5:4 A5:2 G5:2 | G5:2 A5:2 G5:2 E5:2 C5:4 E5:4 |"
        "D5:2 F#5:2 A5:2 D6:2 C6:2 A5:2 F#5:2 D5:2 | D#5:4 F#5:4 B5:8";
    const Part parts[] = {
        {intro, 4, {"Em", "C", "D", "B"}, "r:64"},
        {verse, 8, {"Em", "C", "D", "B", "Em", "C", "D", "B"}, tune_a},
        {middle, 8, {"C", "D", "Em", "Em", "C", "D", "B", "B"},
         "C5:4 E5:4 G5:4 E5:4 | D5:4 F#5:4 A5:4 F#5:4 | B5:6 A5:2 G5:4 F#5:4 | E5:12 r:4 |"
         "C6:4 B5:4 G5:4 E5:4 | D6:4 C6:4 A5:4 F#5:4 | D#6:8 B5:4 F#5:4 | B5:8 r:4 D#5:2 F#5:2"},
        {rolling, 8, {"Am", "Em", "C", "D", "Am", "Em", "C", "B"},
         "A5:2 C6:2 E6:2 C6:2 A5:2 E5:2 A5:4 | G5:2 B5:2 E6:2 B5:2 G5:2 E5:2 G5:4 |"
         "E5:2 G5:2 C6:2 G5:2 E5:2 C5:2 E5:4 | F#5:2 A5:2 D6:2 A5:2 F#5:2 D5:2 F#5:4 |"
         "C6:4 B5:2 A5:2 E5:4 A5:4 | B5:4 A5:2 G5:2 E5:4 G5:4 | A5:4 G5:2 E5:2 C6:4 B5:4 |"
         "B5:4 A5:2 F#5:2 D#5:8"},
        {breakdown, 4, {"Am", "Em", "C", "B"}, "E5:16 | B4:16 | C5:8 E5:8 | D#5:16"},
        {climax, 8, {"Em", "C", "D", "B", "Em", "C", "D", "B"}, tune_a},
    };
    int bars = 0;
    for (const Part& p : parts) bars += p.bars;
    // 150 beats per minute: a sixteenth is exactly 4410 samples.
    Song s = _song(4410, bars * 16);

    Tone lead_tone = {.wave = pulse, .duty = 0.5f, .gain = 0.22f, .attack = 0.004f, .release = 0.03f,
                      .decay = 1.5f, .vibrato = 0.15f, .vibrato_rate = 6, .vibrato_delay = 0.2f,
                      .lowpass = 4500};
    int first_bar = 0;
    for (const Part& p : parts) {
        if (_line_steps(p.melody) != p.bars * 16) {
            std::fprintf(stderr, "game melody of section %d is %d steps\n", p.section, _line_steps(p.melody));
            std::exit(1);
        }
        Tone t = lead_tone;
        if (p.section == middle) t.duty = 0.25f;
        if (p.section == breakdown) {
            t.gain = 0.14f;
            t.decay = 0.3f;
            t.vibrato = 0.3f;
        }
        // Long notes are held nearly to the next one so a phrase never drops out.
        f32 gate = p.section == breakdown ? 0.97f : 0.92f;
        _song_notes(s, _parse_line(p.melody, first_bar * 16), t, gate);
        if (p.section == climax) {
            Tone low = t;
            low.duty = 0.125f;
            low.gain = 0.12f;
            _song_notes(s, _parse_line(p.melody, first_bar * 16), low, gate, 0, -12);
        }

        for (int k = 0; k < p.bars; k++) {
            int bar = first_bar + k;
            const Chord& c = _chord(p.chords[k]);
            bool last_bar = k == p.bars - 1;
            // A soft pad holds the chord across the bar line, under everything.
            f32 pad_gain = p.section == intro ? 0.035f + 0.01f * k : p.section == breakdown ? 0.07f : 0.045f;
            for (int n = 0; n < 3; n++)
                _add_tone(s.buf, {.wave = triangle, .start = bar * 16 * s.step, .duration = 16.6f * s.step,
                                  .freq = _midi_hz(f32(c.notes[n])), .gain = pad_gain, .attack = 0.08f,
                                  .release = 0.12f, .tremolo = 0.15f, .tremolo_rate = 2.5f},
                          true);
            for (int i = 0; i < 16; i++) {
                int step = bar * 16 + i;
                bool arpeggio = p.section == rolling || p.section == climax ||
                                (p.section == breakdown && k >= 2);
                if (arpeggio) {
                    const int arp[4] = {0, 1, 2, 1};
                    _add_tone(s.buf, {.wave = pulse, .start = step * s.step, .duration = s.step * 0.9f,
                                      .freq = _midi_hz(f32(c.notes[arp[i % 4]] + 12)), .duty = 0.125f,
                                      .gain = p.section == breakdown ? 0.035f : 0.05f, .attack = 0.002f,
                                      .release = 0.02f, .decay = 10, .lowpass = 4000},
                              true);
                } else if (i % 4 == 2 && (p.section == verse || p.section == middle)) {
                    for (int n = 0; n < 3; n++)
                        _add_tone(s.buf, {.wave = pulse, .start = step * s.step, .duration = s.step * 1.2f,
                                          .freq = _midi_hz(f32(c.notes[n])), .duty = 0.125f, .gain = 0.045f,
                                          .attack = 0.002f, .release = 0.03f, .decay = 8, .lowpass = 3500},
                                  true);
                }
                // Pumping octave bass; the breakdown holds one long root per half bar.
                if (p.section == breakdown) {
                    if (i % 8 == 0)
                        _add_tone(s.buf, {.wave = triangle, .start = step * s.step, .duration = s.step * 8.2f,
                                          .freq = _midi_hz(f32(c.root)), .gain = 0.32f, .attack = 0.01f,
                                          .release = 0.05f, .decay = 0.6f},
                                  true);
                } else if (i % 2 == 0) {
                    f32 note = f32(c.root + ((i / 2) % 2 ? 12 : 0));
                    _add_tone(s.buf, {.wave = triangle, .start = step * s.step, .duration = s.step * 2.05f,
                                      .freq = _midi_hz(note), .gain = 0.36f, .attack = 0.003f,
                                      .release = 0.03f, .decay = 3},
                              true);
                }
            }

            // Drums: every section its own pattern, a fill at the end of every fourth bar.
            bool fill = bar % 4 == 3;
            switch (p.section) {
            case intro:
                _song_drum_bar(s, hat, bar, "x.x.x.x.x.x.x.x.", 0.08f + 0.02f * k);
                if (k >= 2) _song_drum_bar(s, kick, bar, "x.......x.......", 0.35f);
                if (last_bar) _song_drum_bar(s, snare, bar, "............xoxx", 0.26f);
                break;
            case verse:
            case climax:
                _song_drum_bar(s, kick, bar, fill ? "x.....x.x...x.x." : "x.....x.x.....x.", 0.45f);
                _song_drum_bar(s, kick, bar, k % 2 ? "...o............" : "................", 0.45f);
                _song_drum_bar(s, snare, bar, fill ? "....x.......xoxx" : "....x.......x...", 0.32f);
                _song_drum_bar(s, hat, bar, p.section == climax ? "xoxoxoxoxoxoxoxo" : "x.x.x.x.x.x.x.x.", 0.14f);
                if (p.section == climax) _song_drum_bar(s, open_hat, bar, "..x...x...x...x.", 0.08f);
                break;
            case middle:
                _song_drum_bar(s, kick, bar, "x.......x.x.....", 0.42f);
                _song_drum_bar(s, snare, bar, fill ? "....x.......xoxx" : "....x.......x..o", 0.30f);
                _song_drum_bar(s, hat, bar, "x.x.x.x.x.x.x.x.", 0.12f);
                _song_drum_bar(s, open_hat, bar, "..............x.", 0.10f);
                break;
            case rolling:
                _song_drum_bar(s, kick, bar, fill ? "x.x...x.x.x...x." : "x.....x.x.....x.", 0.45f);
                _song_drum_bar(s, snare, bar, fill ? "....x.......xxxx" : "....x.......x...", 0.32f);
                _song_drum_bar(s, hat, bar, "xoxoxoxoxoxoxoxo", 0.14f);
                break;
            case breakdown:
                _song_drum_bar(s, kick, bar, k < 2 ? "x..............." : "x.......x.......", 0.38f);
                // The roll grows into the last section.
                if (k == 2) _song_drum_bar(s, snare, bar, "........o.o.o.o.", 0.22f);
                if (k == 3) _song_drum_bar(s, snare, bar, "o.o.o.o.xoxoxxxx", 0.28f);
                _song_drum_bar(s, hat, bar, "....x.......x...", 0.10f);
                break;
            }
        }
        first_bar += p.bars;
    }
    return s.buf;
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

// A low growl with a hiss: nothing like the ship's bright falling shot.
Buffer _boss_attack_targeted() {
    Buffer b = _silence(0.3f);
    _add_tone(b, {.wave = triangle, .duration = 0.28f, .freq = 330, .freq_end = 110, .attack = 0.002f,
                  .release = 0.06f, .decay = 6, .vibrato = 3, .vibrato_rate = 45});
    _add_tone(b, {.wave = sine, .duration = 0.26f, .freq = 165, .freq_end = 55, .gain = 0.7f,
                  .attack = 0.002f, .release = 0.06f, .decay = 7});
    _add_tone(b, {.wave = noise, .duration = 0.12f, .freq = 5000, .freq_end = 1200, .gain = 0.35f,
                  .attack = 0.001f, .release = 0.04f, .decay = 14, .lowpass = 1800});
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

Buffer _asteroid_destroyed() {
    Buffer b = _silence(0.3f);
    _add_tone(b, {.wave = noise, .duration = 0.28f, .freq = 4000, .freq_end = 600, .attack = 0.001f,
                  .release = 0.06f, .decay = 12, .lowpass = 4500});
    _add_tone(b, {.wave = triangle, .duration = 0.12f, .freq = 240, .freq_end = 70, .gain = 0.5f,
                  .attack = 0.001f, .release = 0.03f, .decay = 15});
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

Buffer _player_damaged() {
    Buffer b = _silence(0.38f);
    _add_tone(b, {.wave = pulse, .duration = 0.35f, .freq = 220, .freq_end = 90, .duty = 0.5f,
                  .attack = 0.001f, .release = 0.08f, .decay = 4, .vibrato = 2, .vibrato_rate = 30,
                  .lowpass = 3000});
    _add_tone(b, {.wave = noise, .duration = 0.2f, .freq = 3000, .gain = 0.6f, .attack = 0.001f,
                  .release = 0.05f, .decay = 10, .lowpass = 2500});
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
    Buffer (*make)();
    f32 loudness;      // LUFS, as played on both speakers
    f32 peak;          // full scale 1: never above this, whatever the loudness asks
    bool loop;
    u16 max_instances; // one more start takes over the oldest
};

// The balance, loudest first: taking damage, the jingles, the bomb and the boss's big
// moments; then the ship's own actions (a boost above a shot); rocks and boss shots; the
// menus and the music underneath. Peaks leave room for the pile-ups the game makes:
// two new_stage at once, bombs chaining, rocks bursting together.
const Event_Source EVENTS[] = {
    {"music_menu", _music_menu, -26, 0.25f, true, 2},
    {"music_game", _music_game, -25, 0.25f, true, 2},
    {"ui_hover", _ui_hover, -22, 0.35f, false, 2},
    {"ui_press", _ui_press, -20, 0.45f, false, 2},
    {"new_stage", _new_stage, -19, 0.40f, false, 2},
    {"boss_waking_up", _boss_waking_up, -17, 0.70f, false, 1},
    {"boss_moving", _boss_moving, -21, 0.40f, false, 2},
    {"boss_attack_targeted", _boss_attack_targeted, -18, 0.50f, false, 3},
    {"boss_attack_big_wave", _boss_attack_big_wave, -17, 0.60f, false, 2},
    {"boss_attack_spin", _boss_attack_spin, -22, 0.35f, false, 3},
    {"boss_dying", _boss_dying, -15, 0.70f, false, 1},
    {"asteroid_destroyed", _asteroid_destroyed, -19, 0.45f, false, 3},
    {"bomb_explode", _bomb_explode, -15, 0.85f, false, 2},
    {"player_idle", _player_idle, -25, 0.30f, false, 1},
    {"player_charged", _player_charged, -22, 0.35f, false, 2},
    {"player_boost", _player_boost, -15, 0.60f, false, 2},
    {"player_shoot", _player_shoot, -18.5f, 0.50f, false, 3},
    {"player_damaged", _player_damaged, -13, 0.70f, false, 2},
    {"player_death", _player_death, -16, 0.60f, false, 1},
    {"player_heal", _player_heal, -18, 0.50f, false, 2},
    {"game_win", _game_win, -15, 0.60f, false, 1},
    {"game_lose", _game_lose, -15, 0.60f, false, 1},
};

f32 _db(f64 v) { return v > 0 ? f32(20 * std::log10(v)) : -999.0f; }

// A two-pole filter section.
struct Biquad {
    f64 b0, b1, b2, a1, a2;
    f64 x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    f64 run(f64 x) {
        f64 y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        return y;
    }
};

// Programme loudness of a mono sound played on both speakers (ITU-R BS.1770: K-weighting,
// 400 ms blocks overlapping by three quarters, absolute and relative gates). A sound
// shorter than a block is measured whole.
f64 _loudness(const Buffer& pcm) {
    const f64 fs = RATE;
    f64 k = std::tan(PI * 1681.974450955533 / fs), q = 0.7071752369554196;
    f64 vh = std::pow(10.0, 3.999843853973347 / 20), vb = std::pow(vh, 0.4996667741545416);
    f64 a0 = 1 + k / q + k * k;
    Biquad shelf = {(vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
                    2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0};
    k = std::tan(PI * 38.13547087602444 / fs), q = 0.5003270373238773;
    a0 = 1 + k / q + k * k;
    Biquad high = {1, -2, 1, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0};
    std::vector<f64> power(pcm.size());
    for (size_t i = 0; i < pcm.size(); i++) {
        f64 v = high.run(shelf.run(pcm[i]));
        power[i] = 2 * v * v; // the same signal on two channels
    }
    auto lufs = [](f64 mean) { return mean > 0 ? -0.691 + 10 * std::log10(mean) : -999.0; };
    size_t block = size_t(0.4 * fs), hop = block / 4;
    if (pcm.size() < block) {
        f64 sum = 0;
        for (f64 p : power) sum += p;
        return lufs(sum / f64(power.size()));
    }
    std::vector<f64> blocks;
    for (size_t at = 0; at + block <= power.size(); at += hop) {
        f64 sum = 0;
        for (size_t i = at; i < at + block; i++) sum += power[i];
        blocks.push_back(sum / f64(block));
    }
    auto gated = [&](f64 gate) {
        f64 sum = 0;
        size_t n = 0;
        for (f64 b : blocks)
            if (lufs(b) > gate) sum += b, n++;
        return n ? sum / f64(n) : 0.0;
    };
    f64 relative = lufs(gated(-70)) - 10;
    return lufs(gated(std::max(-70.0, relative)));
}

// Removes any offset: loops lose their mean (which leaves the seam untouched), one-shots
// go through a gentle 10 Hz high-pass.
void _remove_dc(Buffer& pcm, bool loop) {
    if (loop) {
        f64 mean = 0;
        for (f32 v : pcm) mean += v;
        mean /= f64(pcm.size());
        for (f32& v : pcm) v -= f32(mean);
        return;
    }
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

struct Memory_Source {
    const u8* data;
    size_t size, at;
};

// Decodes a stream back, as the game will, to check its length and its seam.
std::vector<i16> _decode(const std::vector<u8>& ogg) {
    std::vector<i16> pcm;
    Memory_Source src = {ogg.data(), ogg.size(), 0};
    ov_callbacks io = {
        [](void* out, size_t size, size_t count, void* m) -> size_t {
            Memory_Source& s = *static_cast<Memory_Source*>(m);
            size_t items = size ? std::min(count, (s.size - s.at) / size) : 0;
            std::memcpy(out, s.data + s.at, items * size);
            s.at += items * size;
            return items;
        },
        nullptr, nullptr, nullptr};
    OggVorbis_File vf;
    if (ov_open_callbacks(&src, &vf, nullptr, 0, io) != 0) return pcm;
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

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <out_dir>\n", argv[0]);
        return 2;
    }
    Bank bank;
    Strings_Bank strings;
    std::printf("%-22s %7s %8s %8s %8s %8s %4s %6s\n", "event", "seconds", "peak dB", "LUFS", "dc", "bytes",
                "max", "loop");
    for (const Event_Source& src : EVENTS) {
        Buffer buf = src.make();
        _remove_dc(buf, src.loop);
        if (!src.loop) {
            // The last few milliseconds fade to zero so no one-shot ends on a step.
            size_t tail = std::min(buf.size(), size_t(RATE / 200));
            for (size_t i = 0; i < tail; i++) buf[buf.size() - 1 - i] *= f32(i) / f32(tail);
        }
        f32 peak = 0;
        for (f32 v : buf) peak = std::max(peak, std::fabs(v));
        f64 loudness = _loudness(buf);
        if (peak <= 0 || loudness < -200) {
            std::fprintf(stderr, "%s is silent\n", src.name);
            return 1;
        }
        f32 scale = std::min(f32(std::pow(10.0, (src.loudness - loudness) / 20)), src.peak / peak);
        std::vector<i16> pcm(buf.size());
        for (size_t i = 0; i < buf.size(); i++)
            pcm[i] = i16(std::lround(std::clamp(buf[i] * scale, -1.0f, 1.0f) * 32767));

        std::vector<u8> ogg;
        // Music carries most of the bytes; it gets the lower quality.
        if (!_encode(pcm, src.loop ? 0.0f : 0.3f, int(bank.events.size()) + 1, ogg)) {
            std::fprintf(stderr, "%s could not be encoded\n", src.name);
            return 1;
        }
        std::vector<i16> back = _decode(ogg);
        if (back.size() != pcm.size()) {
            std::fprintf(stderr, "%s decodes to %zu frames, not %zu\n", src.name, back.size(), pcm.size());
            return 1;
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
        e.loop = src.loop;
        e.volume = 1;
        e.fade_out = src.loop ? MUSIC_FADE : ONE_SHOT_FADE;
        e.max_instances = src.max_instances;
        e.frames = u32(pcm.size());
        e.first_byte = u32(bank.data.size());
        e.byte_count = u32(ogg.size());
        bank.data.insert(bank.data.end(), ogg.begin(), ogg.end());
        std::printf("%-22s %7.2f %8.1f %8.1f %8.5f %8zu %4d %6s\n", src.name, f64(pcm.size()) / RATE,
                    _db(max_abs / 32768.0), _loudness(played), mean / f64(back.size()) / 32768, ogg.size(),
                    src.max_instances, src.loop ? "yes" : "no");
        if (src.loop) {
            // The seam should be no bigger a step than the tune takes anywhere else.
            i32 seam = std::abs(back.front() - back.back()), widest = 0;
            for (size_t i = 1; i < back.size(); i++) widest = std::max(widest, std::abs(back[i] - back[i - 1]));
            // A tune should never drop to silence inside itself.
            size_t run = 0, longest = 0;
            for (i16 v : back) {
                run = std::abs(v) < 8 ? run + 1 : 0;
                longest = std::max(longest, run);
            }
            std::printf("%-22s loop seam step %d, widest step elsewhere %d, longest near-silence %.1f ms\n", "",
                        seam, widest, 1000.0 * f64(longest) / RATE);
        }
        u32 index = u32(bank.events.size());
        bank.events.push_back(e);
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
