// Little-endian bytes, the order every binary file of ours is written in (packs, banks,
// replays, modules, the program icon): values appended to a byte vector, values loaded from
// bytes already checked to be there, and a reader that refuses to run past its end.
// Kept free of everything but common.h: the data builders use it too.
#pragma once
#include <cstring>
#include <vector>

#include "common.h"

inline void bytes_put(std::vector<u8>& out, const void* bytes, size_t size) {
    const u8* p = static_cast<const u8*>(bytes);
    out.insert(out.end(), p, p + size);
}
inline void bytes_put_u8(std::vector<u8>& out, u8 v) { out.push_back(v); }
inline void bytes_put_u16(std::vector<u8>& out, u16 v) {
    out.push_back(u8(v));
    out.push_back(u8(v >> 8));
}
inline void bytes_put_u32(std::vector<u8>& out, u32 v) {
    for (int i = 0; i < 4; i++) out.push_back(u8(v >> (8 * i)));
}
inline void bytes_put_u64(std::vector<u8>& out, u64 v) {
    for (int i = 0; i < 8; i++) out.push_back(u8(v >> (8 * i)));
}
// Floats travel as their bit patterns: NaN payloads and negative zero come back as they went.
inline void bytes_put_f32(std::vector<u8>& out, f32 v) {
    u32 bits;
    std::memcpy(&bits, &v, 4);
    bytes_put_u32(out, bits);
}
inline void bytes_put_f64(std::vector<u8>& out, f64 v) {
    u64 bits;
    std::memcpy(&bits, &v, 8);
    bytes_put_u64(out, bits);
}

inline u64 _bytes_load(const u8* p, int count) {
    u64 v = 0;
    for (int i = 0; i < count; i++) v |= u64(p[i]) << (8 * i);
    return v;
}
inline u16 bytes_load_u16(const u8* p) { return u16(_bytes_load(p, 2)); }
inline u32 bytes_load_u32(const u8* p) { return u32(_bytes_load(p, 4)); }
inline u64 bytes_load_u64(const u8* p) { return _bytes_load(p, 8); }
inline f32 bytes_load_f32(const u8* p) {
    u32 bits = bytes_load_u32(p);
    f32 v;
    std::memcpy(&v, &bits, 4);
    return v;
}
inline f64 bytes_load_f64(const u8* p) {
    u64 bits = bytes_load_u64(p);
    f64 v;
    std::memcpy(&v, &bits, 8);
    return v;
}
inline void bytes_store_u32(u8* p, u32 v) {
    for (int i = 0; i < 4; i++) p[i] = u8(v >> (8 * i));
}

// The first read that would run past the end reads nothing and stops the reader: it and
// every read after it fail, and numbers read come back zero, so a format can read a whole
// record and check `ok` once.
struct Bytes_Reader {
    const u8* bytes = nullptr;
    size_t size = 0;  // bytes
    size_t at = 0;    // bytes read so far
    bool ok = true;
};

inline Bytes_Reader bytes_reader(const u8* bytes, size_t size) { return {bytes, size, 0, true}; }
inline size_t bytes_left(const Bytes_Reader& r) { return r.size - r.at; }

inline bool bytes_skip(Bytes_Reader& r, size_t n) {
    if (!r.ok || n > r.size - r.at) return r.ok = false;
    r.at += n;
    return true;
}
// `out` is left as it was when the bytes are not there.
inline bool bytes_take(Bytes_Reader& r, void* out, size_t n) {
    if (!r.ok || n > r.size - r.at) return r.ok = false;
    if (n > 0) std::memcpy(out, r.bytes + r.at, n);
    r.at += n;
    return true;
}
inline u8 bytes_read_u8(Bytes_Reader& r) {
    u8 v = 0;
    bytes_take(r, &v, 1);
    return v;
}
inline u16 bytes_read_u16(Bytes_Reader& r) {
    u8 b[2] = {};
    bytes_take(r, b, 2);
    return bytes_load_u16(b);
}
inline u32 bytes_read_u32(Bytes_Reader& r) {
    u8 b[4] = {};
    bytes_take(r, b, 4);
    return bytes_load_u32(b);
}
inline f32 bytes_read_f32(Bytes_Reader& r) {
    u8 b[4] = {};
    bytes_take(r, b, 4);
    return bytes_load_f32(b);
}
