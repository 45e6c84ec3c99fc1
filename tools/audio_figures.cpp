// Measures the banks as a player hears them and prints the audio figures: how long each
// tune runs before it repeats, how far apart its two sides are, the banks' sizes, how alike
// the three hits are, and the peak and loudness of any capture from the disk sound driver.
//
// Usage: audio_figures DATA_DESKTOP_DIR [--check] [CAPTURE.raw ...]
// With --check the exit status is 1 when a figure is outside what the game promises;
// FIGURES_BARS=1 in the environment lists the bars that have a near-copy.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <vorbis/vorbisfile.h>

#include "game/audio.h"
#include "game/bank.h"
#include "game/bytes.h"
#include "game/module_player.h"
#include "game/vorbis_memory.h"
#include "loudness.h"
#include "platform/files.h"

namespace {

constexpr f64 RATE = BANK_RATE;            // Hz
constexpr int BANDS = 48;                  // log-spaced, 20 Hz to 20 kHz
constexpr f64 BAND_LOW = 20, BAND_HIGH = 20000; // Hz
constexpr f64 BAND_FLOOR = -60;            // dB under a sound's strongest band
constexpr f64 ENVELOPE_RATE = 4410;        // Hz: the waveform averaged down for the repeat search
constexpr f64 REPEAT_LEVEL = 0.9;          // autocorrelation that counts as the tune repeating
constexpr f64 MIN_LAG = 10;                // seconds: shorter lags are the beat, not a repeat

// What the game promises.
constexpr f64 GAME_TUNE_MIN = 180, MENU_TUNE_MIN = 90; // seconds before any repeat
constexpr f64 STEREO_MAX = 0.9;            // left/right correlation
constexpr f64 HITS_MAX = 0.3;              // spectral correlation of two hits
constexpr f64 BANKS_MAX = 1.0e6;           // bytes, both banks

using Complex = std::complex<f64>;

// The events measured here, by their names in the strings bank.
const char* _name(Audio_Event e) {
    switch (e) {
    case music_menu: return "music_menu";
    case music_game: return "music_game";
    case player_damaged: return "player_damaged";
    case boss_attack_targeted: return "boss_attack_targeted";
    case asteroid_destroyed: return "asteroid_destroyed";
    default: return "?";
    }
}

void _fft(std::vector<Complex>& a, bool inverse) {
    size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; i++) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        f64 angle = 2 * PI / f64(len) * (inverse ? 1 : -1);
        Complex step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            Complex w(1);
            for (size_t k = 0; k < len / 2; k++) {
                Complex u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
    if (inverse)
        for (Complex& c : a) c /= f64(n);
}

size_t _pow2(size_t n) {
    size_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

f64 _correlation(const std::vector<f64>& a, const std::vector<f64>& b) {
    f64 ma = 0, mb = 0;
    for (size_t i = 0; i < a.size(); i++) ma += a[i], mb += b[i];
    ma /= f64(a.size()), mb /= f64(b.size());
    f64 ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < a.size(); i++) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// Energy in each of 48 log-spaced bands, in dB under the strongest, floored.
std::vector<f64> _band_levels(const std::vector<f32>& mono) {
    std::vector<Complex> spectrum(_pow2(mono.size()));
    for (size_t i = 0; i < mono.size(); i++) spectrum[i] = mono[i];
    _fft(spectrum, false);
    std::vector<f64> power(BANDS, 1e-30);
    for (size_t k = 1; k < spectrum.size() / 2; k++) {
        f64 hz = f64(k) * RATE / f64(spectrum.size());
        if (hz < BAND_LOW || hz >= BAND_HIGH) continue;
        int band = int(BANDS * std::log(hz / BAND_LOW) / std::log(BAND_HIGH / BAND_LOW));
        power[size_t(band)] += std::norm(spectrum[k]);
    }
    f64 top = *std::max_element(power.begin(), power.end());
    for (f64& p : power) p = std::max(BAND_FLOOR, 10 * std::log10(p / top));
    return power;
}

std::vector<f32> _decode_one_shot(const Bank& bank, const Bank_Event& e) {
    Vorbis_Memory src = {bank.data.data() + e.first_byte, e.byte_count, 0};
    std::vector<f32> mono;
    OggVorbis_File vf;
    if (ov_open_callbacks(&src, &vf, nullptr, 0, VORBIS_MEMORY_CALLBACKS) != 0) return mono;
    for (;;) {
        f32** pcm = nullptr;
        int section = 0;
        long n = ov_read_float(&vf, &pcm, 4096, &section);
        if (n <= 0) break;
        for (long i = 0; i < n; i++) mono.push_back(pcm[0][i]);
    }
    ov_clear(&vf);
    return mono;
}

// `passes` passes of a tune as the game renders it, at the bank's volume.
std::vector<f32> _render(const Bank& bank, const Bank_Event& e, int passes) {
    std::vector<i16> pcm(size_t(e.frames) * 2 * size_t(passes));
    xmp_context player = xmp_create_context();
    if (module_player_load(player, bank.data.data() + e.first_byte, e.byte_count) && module_player_start(player)) {
        xmp_play_buffer(player, pcm.data(), int(pcm.size() * sizeof(i16)), 0);
        xmp_end_player(player);
        xmp_release_module(player);
    }
    xmp_free_context(player);
    std::vector<f32> out(pcm.size());
    for (size_t i = 0; i < pcm.size(); i++) out[i] = pcm[i] / 32768.0f * e.volume;
    return out;
}

struct Repeat {
    f64 first_lag;     // seconds: the first lag past MIN_LAG at which the tune repeats
    f64 highest;       // the highest autocorrelation at any shorter lag past MIN_LAG
    f64 highest_at;    // seconds
    int bars;          // of one pass
    int copied_bars;   // bars of one pass with a near-copy elsewhere in it
};

// Autocorrelation of the mono waveform, averaged down, over two passes; each lag's value
// is normalised by the energy of the two stretches it compares. Then each bar of the first
// pass against every other.
Repeat _repeat(const std::vector<f32>& stereo, f64 bar_seconds) {
    size_t block = size_t(RATE / ENVELOPE_RATE);
    std::vector<f64> x(stereo.size() / 2 / block);
    for (size_t i = 0; i < x.size(); i++) {
        f64 sum = 0;
        for (size_t j = 0; j < block; j++) sum += stereo[(i * block + j) * 2] + stereo[(i * block + j) * 2 + 1];
        x[i] = sum;
    }
    std::vector<Complex> a(_pow2(2 * x.size()));
    for (size_t i = 0; i < x.size(); i++) a[i] = x[i];
    _fft(a, false);
    for (Complex& c : a) c = std::norm(c);
    _fft(a, true);
    std::vector<f64> energy(x.size() + 1);  // running sum of squares
    for (size_t i = 0; i < x.size(); i++) energy[i + 1] = energy[i] + x[i] * x[i];
    size_t n = x.size();
    auto at = [&](size_t lag) { return a[lag].real() / std::sqrt(energy[n - lag] * (energy[n] - energy[lag])); };
    Repeat r = {0, 0, 0, 0, 0};
    size_t lag = size_t(MIN_LAG * ENVELOPE_RATE), end = n / 2 + n / 8;
    while (lag < end && at(lag) < REPEAT_LEVEL) lag++;
    r.first_lag = f64(lag) / ENVELOPE_RATE;
    // The peak at the repeat has shoulders; the highest elsewhere is looked for a second away.
    for (size_t l = size_t(MIN_LAG * ENVELOPE_RATE); l + size_t(ENVELOPE_RATE) < lag; l++)
        if (at(l) > r.highest) r.highest = at(l), r.highest_at = f64(l) / ENVELOPE_RATE;

    size_t bar = size_t(std::lround(bar_seconds * ENVELOPE_RATE));
    r.bars = int(n / 2 / bar);
    std::vector<std::vector<f64>> bars(size_t(r.bars));
    for (size_t b = 0; b < bars.size(); b++) bars[b].assign(x.begin() + long(b * bar), x.begin() + long((b + 1) * bar));
    for (size_t b = 0; b < bars.size(); b++)
        for (size_t o = 0; o < bars.size(); o++)
            if (o != b && _correlation(bars[b], bars[o]) > REPEAT_LEVEL) {
                if (std::getenv("FIGURES_BARS")) std::printf("  bar %zu ~ bar %zu\n", b, o);
                r.copied_bars++;
                break;
            }
    return r;
}

f64 _stereo_correlation(const std::vector<f32>& stereo) {
    f64 lr = 0, ll = 0, rr = 0;
    for (size_t i = 0; i + 1 < stereo.size(); i += 2) {
        lr += f64(stereo[i]) * stereo[i + 1];
        ll += f64(stereo[i]) * stereo[i];
        rr += f64(stereo[i + 1]) * stereo[i + 1];
    }
    return lr / std::sqrt(ll * rr);
}

f64 _db(f64 v) { return v > 0 ? 20 * std::log10(v) : -999; }

size_t _file_size(const std::string& path) {
    std::optional<std::vector<u8>> bytes = file_read_whole(path.c_str(), BANK_MAX_FILE_BYTES);
    return bytes ? bytes->size() : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DATA_DESKTOP_DIR [--check] [CAPTURE.raw ...]\n", argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    bool check = argc > 2 && std::strcmp(argv[2], "--check") == 0;
    std::optional<Bank> bank = bank_read_file((dir + "/persistent.bank").c_str());
    if (!bank || bank->events.size() < AUDIO_EVENT_COUNT) {
        std::fprintf(stderr, "no usable bank in %s\n", dir.c_str());
        return 2;
    }
    bool ok = true;
    auto verdict = [&](bool good) {
        ok = ok && good;
        return good ? "" : "  <- out of bounds";
    };

    // The builder writes the events in the enum's order.
    for (Audio_Event tune : {music_menu, music_game}) {
        const Bank_Event& e = bank->events[tune];
        f64 promise = tune == music_game ? GAME_TUNE_MIN : MENU_TUNE_MIN;
        std::vector<f32> two = _render(*bank, e, 2);
        std::vector<f32> one(two.begin(), two.begin() + long(e.frames) * 2);
        // Four beats a bar, at 90 and 150 beats a minute.
        Repeat r = _repeat(two, 4 * 60.0 / (tune == music_game ? 150 : 90));
        f64 stereo = _stereo_correlation(one);
        std::printf("%-10s pass %.1f s; repeats after %.1f s (autocorrelation %.2f at the earliest lag over %.0f s, "
                    "highest before it %.2f at %.1f s)%s\n",
                    _name(tune), e.frames / RATE, r.first_lag, REPEAT_LEVEL, MIN_LAG, r.highest,
                    r.highest_at, verdict(r.first_lag >= promise));
        std::printf("%-10s %d of its %d bars have a near-copy (waveform correlation over %.1f)\n", "", r.copied_bars,
                    r.bars, REPEAT_LEVEL);
        std::printf("%-10s left/right correlation %.2f, %.1f LUFS, peak %.1f dBFS%s\n", "", stereo,
                    loudness_lufs(one, 2), _db(std::fabs(*std::max_element(one.begin(), one.end(), [](f32 a, f32 b) {
                        return std::fabs(a) < std::fabs(b);
                    }))),
                    verdict(stereo < STEREO_MAX));
    }

    size_t main_bytes = _file_size(dir + "/persistent.bank"), strings_bytes = _file_size(dir + "/persistent.strings.bank");
    std::printf("banks: persistent.bank %zu bytes, persistent.strings.bank %zu bytes, %.3f MB together%s\n",
                main_bytes, strings_bytes, f64(main_bytes + strings_bytes) / 1e6,
                verdict(f64(main_bytes + strings_bytes) <= BANKS_MAX));

    const Audio_Event hits[3] = {player_damaged, boss_attack_targeted, asteroid_destroyed};
    std::vector<f64> levels[3];
    for (int i = 0; i < 3; i++) levels[i] = _band_levels(_decode_one_shot(*bank, bank->events[hits[i]]));
    for (int i = 0; i < 3; i++)
        for (int j = i + 1; j < 3; j++) {
            f64 c = _correlation(levels[i], levels[j]);
            std::printf("spectral correlation (%d log bands) %s / %s: %.2f%s\n", BANDS, _name(hits[i]),
                        _name(hits[j]), c, verdict(c < HITS_MAX));
        }

    for (int a = check ? 3 : 2; a < argc; a++) {
        std::optional<std::vector<u8>> bytes = file_read_whole(argv[a], u64(1) << 31);
        if (!bytes || bytes->size() < 4) {
            std::fprintf(stderr, "cannot read %s\n", argv[a]);
            return 2;
        }
        std::vector<f32> pcm(bytes->size() / 2);
        i32 peak = 0;
        size_t full = 0;
        for (size_t i = 0; i < pcm.size(); i++) {
            i16 v = i16(bytes_load_u16(bytes->data() + 2 * i));
            pcm[i] = v / 32768.0f;
            peak = std::max(peak, std::abs(i32(v)));
            full += v >= 32767 || v <= -32767;
        }
        // How loud the busy moments are: momentary loudness (400 ms) at the 90th percentile
        // of the blocks with anything in them, beside the programme loudness.
        std::vector<f64> moments;
        for (f64 b : loudness_blocks(pcm, 2))
            if (lufs_of_power(b) > -70) moments.push_back(lufs_of_power(b));
        std::sort(moments.begin(), moments.end());
        f64 busy = moments.empty() ? -999 : moments[moments.size() * 9 / 10];
        std::printf("capture %s: %.1f s, peak %.2f dBFS, %zu samples at full scale, %.1f LUFS, busy moments %.1f LUFS\n",
                    argv[a], f64(pcm.size()) / 2 / RATE, _db(peak / 32768.0), full, loudness_lufs(pcm, 2), busy);
    }
    return check && !ok ? 1 : 0;
}
