#include "camera.h"

#include <cmath>

#include "game.h"
#include "scene.h"

void camera_shake(Camera_Effects& c, f32 duration, Vec2 amplitude, f32 frequency) {
    c.shake.time = duration;
    c.shake.duration = duration;
    c.shake.amplitude = amplitude;
    c.shake.frequency = frequency;
}

constexpr i64 SHAKE_SEED_X = 91723137283;
constexpr i64 SHAKE_SEED_Y = 91987127281;
constexpr f32 SHAKE_MIN_DURATION = 0.0001f;  // seconds; a shorter shake is no shake
constexpr f32 KICK_SPRING = 4;               // per second: how hard the kick is pulled back to rest
constexpr f32 KICK_DAMPING = 20;             // per second: how fast the kick loses speed
constexpr f32 KICK_MIN_SHOWN = 0.5f;         // world units; smaller kicks are not shown

void camera_effects_update(Camera_Effects& c, Time_Step ts) {
    f32 m = 0.5f * (ts.sim + ts.real);
    if (scene_get_entity(game.player)) c.base_pos = {0, 0};

    c.shake_offset = {};
    if (c.shake.duration > SHAKE_MIN_DURATION) {
        f32 k = c.shake.time / c.shake.duration;
        c.shake.time = std::fmax(0.0f, c.shake.time - m);
        f64 p = f64(game.time) * f64(c.shake.frequency);
        c.shake_offset = {noise2(SHAKE_SEED_X, p, p) * c.shake.amplitude.x * k,
                          noise2(SHAKE_SEED_Y, p, p) * c.shake.amplitude.y * k};
    }

    c.kick_offset += c.kick_vel;
    c.kick_vel -= c.kick_offset * (KICK_SPRING * m);
    c.kick_vel *= 1.0f / (1.0f + KICK_DAMPING * m);
    if (length(c.kick_offset) > KICK_MIN_SHOWN) c.shake_offset += c.kick_offset;

    Vec2 p = c.base_pos + c.shake_offset;
    c.view.pos = {std::floor(p.x), std::floor(p.y)};
    c.view.view_scale = c.view_scale;
}

// OpenSimplex2, fast variant, 2D.
namespace {
constexpr i64 PRIME_X = 0x5205402B9270C86FLL;
constexpr i64 PRIME_Y = 0x598CD327003817B5LL;
constexpr i64 HASH_MULTIPLIER = 0x53A3F72DEEC546F5LL;
constexpr f64 SKEW_2D = 0.366025403784439;
constexpr f64 UNSKEW_2D = -0.21132486540518713;
constexpr int N_GRADS_2D_EXPONENT = 7;
constexpr int N_GRADS_2D = 1 << N_GRADS_2D_EXPONENT;
constexpr f64 NORMALIZER_2D = 0.01001634121365712;
constexpr f32 RSQUARED_2D = 0.5f;

constexpr f64 GRAD2_SOURCE[48] = {
    0.38268343236509,   0.923879532511287,  0.923879532511287,  0.38268343236509,
    0.923879532511287,  -0.38268343236509,  0.38268343236509,   -0.923879532511287,
    -0.38268343236509,  -0.923879532511287, -0.923879532511287, -0.38268343236509,
    -0.923879532511287, 0.38268343236509,   -0.38268343236509,  0.923879532511287,
    0.130526192220052,  0.99144486137381,   0.608761429008721,  0.793353340291235,
    0.793353340291235,  0.608761429008721,  0.99144486137381,   0.130526192220051,
    0.99144486137381,   -0.130526192220051, 0.793353340291235,  -0.60876142900872,
    0.608761429008721,  -0.793353340291235, 0.130526192220052,  -0.99144486137381,
    -0.130526192220052, -0.99144486137381,  -0.608761429008721, -0.793353340291235,
    -0.793353340291235, -0.608761429008721, -0.99144486137381,  -0.130526192220052,
    -0.99144486137381,  0.130526192220051,  -0.793353340291235, 0.608761429008721,
    -0.608761429008721, 0.793353340291235,  -0.130526192220052, 0.99144486137381,
};

struct Gradients {
    f32 g[N_GRADS_2D * 2];
    constexpr Gradients() : g{} {
        for (int i = 0, j = 0; i < N_GRADS_2D * 2; i++, j++) {
            if (j == 48) j = 0;
            g[i] = f32(GRAD2_SOURCE[j] / NORMALIZER_2D);
        }
    }
};
constexpr Gradients GRADIENTS_2D;

i64 _wrap_mul(i64 a, i64 b) { return i64(u64(a) * u64(b)); }
i64 _wrap_add(i64 a, i64 b) { return i64(u64(a) + u64(b)); }

f32 _grad(i64 seed, i64 xsvp, i64 ysvp, f32 dx, f32 dy) {
    i64 hash = seed ^ xsvp ^ ysvp;
    hash = _wrap_mul(hash, HASH_MULTIPLIER);
    hash ^= hash >> (64 - N_GRADS_2D_EXPONENT + 1);  // arithmetic shift: the sign bits matter
    int gi = int(hash) & ((N_GRADS_2D - 1) << 1);
    return GRADIENTS_2D.g[gi | 0] * dx + GRADIENTS_2D.g[gi | 1] * dy;
}

i64 _fast_floor(f64 x) {
    i64 xi = i64(x);
    return x < f64(xi) ? xi - 1 : xi;
}
}  // namespace

f32 noise2(i64 seed, f64 x, f64 y) {
    f64 s = SKEW_2D * (x + y);
    f64 xs = x + s, ys = y + s;
    i64 xsb = _fast_floor(xs), ysb = _fast_floor(ys);
    f32 xi = f32(xs - f64(xsb)), yi = f32(ys - f64(ysb));
    i64 xsbp = _wrap_mul(xsb, PRIME_X), ysbp = _wrap_mul(ysb, PRIME_Y);
    f32 t = (xi + yi) * f32(UNSKEW_2D);
    f32 dx0 = xi + t, dy0 = yi + t;

    f32 value = 0;
    f32 a0 = RSQUARED_2D - dx0 * dx0 - dy0 * dy0;
    if (a0 > 0) value = (a0 * a0) * (a0 * a0) * _grad(seed, xsbp, ysbp, dx0, dy0);

    f32 a1 = f32(2 * (1 + 2 * UNSKEW_2D) * (1 / UNSKEW_2D + 2)) * t +
             (f32(-2 * (1 + 2 * UNSKEW_2D) * (1 + 2 * UNSKEW_2D)) + a0);
    if (a1 > 0) {
        f32 dx1 = dx0 - f32(1 + 2 * UNSKEW_2D);
        f32 dy1 = dy0 - f32(1 + 2 * UNSKEW_2D);
        value += (a1 * a1) * (a1 * a1) * _grad(seed, _wrap_add(xsbp, PRIME_X), _wrap_add(ysbp, PRIME_Y), dx1, dy1);
    }

    if (dy0 > dx0) {
        f32 dx2 = dx0 - f32(UNSKEW_2D);
        f32 dy2 = dy0 - f32(UNSKEW_2D + 1);
        f32 a2 = RSQUARED_2D - dx2 * dx2 - dy2 * dy2;
        if (a2 > 0) value += (a2 * a2) * (a2 * a2) * _grad(seed, xsbp, _wrap_add(ysbp, PRIME_Y), dx2, dy2);
    } else {
        f32 dx2 = dx0 - f32(UNSKEW_2D + 1);
        f32 dy2 = dy0 - f32(UNSKEW_2D);
        f32 a2 = RSQUARED_2D - dx2 * dx2 - dy2 * dy2;
        if (a2 > 0) value += (a2 * a2) * (a2 * a2) * _grad(seed, _wrap_add(xsbp, PRIME_X), ysbp, dx2, dy2);
    }
    return value;
}
