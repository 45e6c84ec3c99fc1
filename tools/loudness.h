// Programme loudness (ITU-R BS.1770), shared by the sound builder and the audio figures.
#pragma once
#include <algorithm>
#include <cmath>
#include <vector>

#include "game/common.h"

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

// Programme loudness (ITU-R BS.1770: K-weighting, 400 ms blocks overlapping by three
// quarters, absolute and relative gates) of interleaved frames; a mono sound is measured as
// played on both speakers. A sound shorter than a block is measured whole.
// The mean K-weighted power of each 400 ms block, the blocks overlapping by three quarters;
// one block of the whole sound when it is shorter.
inline std::vector<f64> loudness_blocks(const std::vector<f32>& pcm, int channels = 1, f64 rate = 44100) {  // Hz
    const f64 fs = rate;
    f64 k = std::tan(PI * 1681.974450955533 / fs), q = 0.7071752369554196;
    f64 vh = std::pow(10.0, 3.999843853973347 / 20), vb = std::pow(vh, 0.4996667741545416);
    f64 a0 = 1 + k / q + k * k;
    Biquad shelf = {(vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
                    2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0};
    k = std::tan(PI * 38.13547087602444 / fs), q = 0.5003270373238773;
    a0 = 1 + k / q + k * k;
    Biquad high = {1, -2, 1, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0};
    Biquad shelves[2] = {shelf, shelf}, highs[2] = {high, high};
    std::vector<f64> power(pcm.size() / size_t(channels));
    for (size_t i = 0; i < power.size(); i++)
        for (int c = 0; c < channels; c++) {
            f64 v = highs[c].run(shelves[c].run(pcm[i * size_t(channels) + size_t(c)]));
            power[i] += (channels == 1 ? 2 : 1) * v * v;
        }
    size_t block = size_t(0.4 * fs), hop = block / 4;
    if (power.size() < block) {
        f64 sum = 0;
        for (f64 p : power) sum += p;
        return {sum / f64(power.size())};
    }
    std::vector<f64> blocks;
    for (size_t at = 0; at + block <= power.size(); at += hop) {
        f64 sum = 0;
        for (size_t i = at; i < at + block; i++) sum += power[i];
        blocks.push_back(sum / f64(block));
    }
    return blocks;
}

inline f64 lufs_of_power(f64 mean) { return mean > 0 ? -0.691 + 10 * std::log10(mean) : -999.0; }

// Programme loudness: the blocks' mean past the absolute and relative gates.
inline f64 loudness_lufs(const std::vector<f32>& pcm, int channels = 1, f64 rate = 44100) {  // rate in Hz
    std::vector<f64> blocks = loudness_blocks(pcm, channels, rate);
    auto lufs = lufs_of_power;
    if (blocks.size() == 1) return lufs(blocks[0]);
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

