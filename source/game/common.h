// Small shared helpers: 2D vectors, colours, the frame scratch arena, emitters.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>

using u8 = uint8_t;
using u16 = uint16_t;
using u32 = uint32_t;
using u64 = uint64_t;
using i8 = int8_t;
using i16 = int16_t;
using i32 = int32_t;
using i64 = int64_t;
using f32 = float;
using f64 = double;

constexpr f32 PI = 3.14159265358979323846f;

struct Vec2 {
    f32 x = 0, y = 0;
};
inline Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
inline Vec2 operator-(Vec2 a) { return {-a.x, -a.y}; }
inline Vec2 operator*(Vec2 a, f32 s) { return {a.x * s, a.y * s}; }
inline Vec2 operator*(f32 s, Vec2 a) { return {a.x * s, a.y * s}; }
inline Vec2 operator*(Vec2 a, Vec2 b) { return {a.x * b.x, a.y * b.y}; }
inline Vec2 operator/(Vec2 a, f32 s) { return {a.x / s, a.y / s}; }
inline Vec2& operator+=(Vec2& a, Vec2 b) { a.x += b.x; a.y += b.y; return a; }
inline Vec2& operator-=(Vec2& a, Vec2 b) { a.x -= b.x; a.y -= b.y; return a; }
inline Vec2& operator*=(Vec2& a, f32 s) { a.x *= s; a.y *= s; return a; }
inline f32 dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
inline f32 length(Vec2 a) { return std::sqrt(dot(a, a)); }
// A zero vector stays zero instead of turning into NaN.
inline Vec2 normalize(Vec2 a) {
    f32 l = length(a);
    return l > 0 ? a / l : Vec2{};
}
inline Vec2 from_angle(f32 a) { return {std::cos(a), std::sin(a)}; }
inline f32 angle_of(Vec2 a) { return std::atan2(a.y, a.x); }
inline f32 clampf(f32 v, f32 lo, f32 hi) { return v < lo ? lo : (v > hi ? hi : v); }

struct Color {
    f32 r = 1, g = 1, b = 1, a = 1;
};
constexpr Color WHITE = {1, 1, 1, 1};
constexpr Color BLACK = {0, 0, 0, 1};
// The four palette colours, lightest to darkest; also used as tints.
constexpr Color PALETTE[4] = {
    {1.0f, 0.8f, 0.66666f, 1.0f},
    {1.0f, 0.0f, 0.302f, 1.0f},
    {0.247f, 0.0f, 0.6509f, 1.0f},
    {0.06666f, 0.114f, 0.207f, 1.0f},
};

// Per-frame scratch memory, emptied as the first step of every frame.
// Allocation never fails: past the arena's end it returns nullptr and callers skip.
void* scratch_alloc(size_t bytes, size_t align = 16);
void scratch_reset();
size_t scratch_used();
// printf into scratch memory; returns "" when the arena is full.
const char* tprintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Accumulates rate × step and pays out whole units.
struct Emitter {
    f32 accumulator = 0;
};
int emitter_update(Emitter& e, f32 rate_per_second, f32 step_seconds);
