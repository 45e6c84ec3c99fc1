#include "random.h"

#include <chrono>

#include "../platform/platform.h"

namespace {
// xoshiro256**, seeded through splitmix64.
u64 state[4];

u64 _splitmix(u64& x) {
    u64 z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
u64 _rotl(u64 x, int k) { return (x << k) | (x >> (64 - k)); }

struct Seed_At_Start {
    Seed_At_Start() { random_seed(RANDOM_START_SEED); }
} seed_at_start;
}  // namespace

void random_seed(u64 seed) {
    u64 x = seed;
    for (u64& s : state) s = _splitmix(x);
}

u64 random_fresh_seed() {
    u64 seed = 0;
    if (platform_entropy(&seed, sizeof seed)) return seed;
    // Nanoseconds since 1970.
    auto now = std::chrono::system_clock::now().time_since_epoch();
    u64 x = u64(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    return _splitmix(x);
}

u64 random_u64() {
    u64 result = _rotl(state[1] * 5, 7) * 9;
    u64 t = state[1] << 17;
    state[2] ^= state[0];
    state[3] ^= state[1];
    state[1] ^= state[2];
    state[0] ^= state[3];
    state[2] ^= t;
    state[3] = _rotl(state[3], 45);
    return result;
}

f64 random_f64() { return f64(random_u64() >> 11) * (1.0 / 9007199254740992.0); }

f32 random_unit() {
    // Rounding a double just below 1 to float would give exactly 1.
    f32 u = f32(random_f64());
    return u < 1.0f ? u : 0.99999994f;
}

Vec2 random_vec2() {
    f32 a = random_unit();
    f32 b = random_unit();
    return {2 * a - 1, 2 * b - 1};
}

u64 random_below(u64 n) {
    if (n == 0) return 0;
    // Reject the top partial range so every remainder is equally likely.
    u64 limit = ~u64(0) - (~u64(0) % n);
    for (;;) {
        u64 r = random_u64();
        if (r < limit) return r % n;
    }
}
