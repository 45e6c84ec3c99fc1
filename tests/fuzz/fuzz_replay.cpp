// libFuzzer target: the replay reader. Every input is read as it is, and once more with its
// checksums put right, so mutations reach the frame parser instead of dying at the checksum.
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "game/replay.h"

// The playback half of replay.cpp is not exercised here.
void platform_quit() {}
void platform_set_frame_pace(double) {}
void platform_set_desktop_effects(bool) {}
void input_handle_event(const Input_Event&) {}

namespace {

void _require(bool ok) {
    if (!ok) std::abort();
}

u32 _crc(const u8* p, size_t n) { return u32(crc32(crc32(0, nullptr, 0), p, uInt(n))); }
void _put_crc(u8* at, u32 v) {
    for (int i = 0; i < 4; i++) at[i] = u8(v >> (8 * i));
}

// Whatever is accepted must be in range and encode back to the bytes it came from (this
// game writes only the newest version), up to the whole frames read, and exactly, end mark
// included, unless it is cut short.
void _check(const Replay& r, const u8* data, size_t size) {
    std::vector<u8> out;
    replay_encode_header(r.seed, out);
    for (const Replay_Frame& f : r.frames) {
        _require(f.duration >= 0 && f.duration <= 3600);
        _require(size_t(f.first_event) + f.event_count <= r.events.size());
        _require(size_t(f.first_pad) + size_t(__builtin_popcount(f.pads_present)) <= r.pads.size());
        Pad_Snapshot pads = replay_frame_pads(r, f);
        for (const Gamepad_State& s : pads.pads)
            for (f32 a : s.axes) _require(a >= -1 && a <= 1);
        replay_encode_frame(r.events.data() + f.first_event, f.event_count, f.duration, pads, out);
    }
    if (data[8] != REPLAY_VERSION) return;
    _require(out.size() <= size && std::memcmp(out.data(), data, out.size()) == 0);
    if (r.cut_short) return;
    replay_encode_end(u32(r.frames.size()), out);
    _require(out.size() == size && std::memcmp(out.data(), data, size) == 0);
}

void _read(const u8* data, size_t size) {
    Replay r;
    char error[200];
    if (replay_parse(data, size, r, error, sizeof error)) {
        _check(r, data, size);
    } else {
        _require(error[0] != 0 && std::strchr(error, '\n') == nullptr);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    _read(data, size);
    if (size < REPLAY_HEADER_SIZE) return 0;
    std::vector<u8> fixed(data, data + size);
    _put_crc(fixed.data() + 24, _crc(fixed.data(), 24));
    // Version 2 chunks: size, its check, body, checksum; the end mark: size, check, frames,
    // checksum.
    size_t at = REPLAY_HEADER_SIZE;
    while (fixed.size() - at >= 8) {
        u32 body = u32(fixed[at]) | u32(fixed[at + 1]) << 8 | u32(fixed[at + 2]) << 16 | u32(fixed[at + 3]) << 24;
        _put_crc(fixed.data() + at + 4, _crc(fixed.data() + at, 4));
        if (body == 0xFFFFFFFF) {
            if (fixed.size() - at >= 16) _put_crc(fixed.data() + at + 12, _crc(fixed.data() + at, 12));
            break;
        }
        if (fixed.size() - at - 8 < size_t(body) + 4) break;
        u32 sum = u32(crc32(crc32(0, nullptr, 0), fixed.data() + at, 4));
        _put_crc(fixed.data() + at + 8 + body, u32(crc32(sum, fixed.data() + at + 8, uInt(body))));
        at += 8 + size_t(body) + 4;
    }
    _read(fixed.data(), fixed.size());
    return 0;
}
