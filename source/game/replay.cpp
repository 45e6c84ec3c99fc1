#include "replay.h"

#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "../platform/files.h"
#include "../platform/platform.h"
#include "bytes.h"

namespace {
constexpr char MAGIC[8] = {'V', 'N', 'T', 'R', 'R', 'E', 'P', 'L'};
constexpr size_t EVENT_SIZE = 8;                                  // bytes
constexpr size_t PAD_SIZE = 2 + 4 * GPAD_AXIS_COUNT;              // bytes
constexpr size_t BODY_FIXED_SIZE = 2 + 8 + 1;                     // count, duration, pad mask
constexpr size_t BODY_MAX_SIZE = BODY_FIXED_SIZE + 0xFFFF * EVENT_SIZE + GPAD_SLOT_COUNT * PAD_SIZE;
constexpr u32 END_MARK = 0xFFFFFFFF;  // in a chunk's size field: no more frames
constexpr size_t END_SIZE = 16;       // bytes of the end mark
constexpr u32 OLDEST_VERSION = 1;     // chunks without a size check
// Longer than any frame the window layer reports, short enough to catch nonsense.
constexpr f64 MAX_FRAME_DURATION = 3600;  // seconds
constexpr f64 MAX_PACE = 0.25;             // seconds a replayed frame may be held on screen

u32 _crc(const u8* p, size_t n) { return u32(crc32(crc32(0, nullptr, 0), p, uInt(n))); }
// A chunk's checksum covers its size field and its body, not the size check between them.
u32 _chunk_crc(const u8* size_field, const u8* body, u32 body_bytes) {
    return u32(crc32(crc32(crc32(0, nullptr, 0), size_field, 4), body, uInt(body_bytes)));
}

bool _fail(char* error, size_t error_size, const char* why) {
    if (error && error_size) std::snprintf(error, error_size, "%s", why);
    return false;
}

// One frame's body; false when anything in it is out of range.
bool _parse_body(const u8* p, size_t size, Replay& out) {
    if (size < BODY_FIXED_SIZE) return false;
    u16 count = bytes_load_u16(p);
    size_t at = 2;
    if (size < BODY_FIXED_SIZE + count * EVENT_SIZE) return false;
    Replay_Frame f;
    f.first_event = u32(out.events.size());
    f.event_count = count;
    for (u16 i = 0; i < count; i++, at += EVENT_SIZE) {
        const u8* e = p + at;
        if (e[0] >= INPUT_EVENT_KIND_COUNT || e[1] > 1 || e[2] >= MOUSE_BUTTON_COUNT || e[3] != 0) return false;
        out.events.push_back(Input_Event{Input_Event_Kind(e[0]), i32(bytes_load_u32(e + 4)), e[1] == 1,
                                         Mouse_Button(e[2])});
    }
    f.duration = bytes_load_f64(p + at);
    at += 8;
    if (!(f.duration >= 0 && f.duration <= MAX_FRAME_DURATION)) return false;  // NaN fails too
    f.pads_present = p[at++];
    f.first_pad = u32(out.pads.size());
    for (int slot = 0; slot < GPAD_SLOT_COUNT; slot++) {
        if (!(f.pads_present & (1u << slot))) continue;
        if (size - at < PAD_SIZE) return false;
        Gamepad_State s;
        s.buttons = bytes_load_u16(p + at);
        if (s.buttons >> GPAD_BUTTON_COUNT) return false;
        for (int a = 0; a < GPAD_AXIS_COUNT; a++) {
            s.axes[a] = bytes_load_f32(p + at + 2 + 4 * a);
            if (!(s.axes[a] >= -1 && s.axes[a] <= 1)) return false;
        }
        out.pads.push_back(s);
        at += PAD_SIZE;
    }
    if (at != size) return false;
    out.frames.push_back(f);
    return true;
}

// The session's recorder and player.
struct Replay_Session {
    enum Mode : u8 { none, recording, playing } mode = none;
    // recording
    File_Append file;
    std::string path;
    u64 written = 0;  // bytes of whole chunks on disk
    u32 frames_written = 0;
    std::optional<File_Identity> recorded;  // kept after the recording ends
    std::vector<Input_Event> pending;
    std::vector<u8> chunk;
    // playing
    Replay replay;
    size_t next_frame = 0;
} session;

// A full disk or a yanked drive ends the recording but not the game; the file is cut
// back to its last whole frame so it still plays.
void _recording_failed() {
    int why = errno;
    if (!file_append_truncate(session.file, session.written)) {
        // Nothing more to do: a reader drops a cut-off last chunk anyway.
    }
    file_append_close(session.file);
    session.mode = Replay_Session::none;
    std::fprintf(stderr, "vantorel: recording to %s stopped: %s\n", session.path.c_str(), std::strerror(why));
}
}  // namespace

bool replay_parse(const u8* data, size_t size, Replay& out, char* error, size_t error_size) {
    out = Replay{};
    if (!data || size < REPLAY_HEADER_SIZE || std::memcmp(data, MAGIC, 8) != 0)
        return _fail(error, error_size, "not a replay file");
    u32 version = bytes_load_u32(data + 8);
    if (version < OLDEST_VERSION || version > REPLAY_VERSION) {
        if (error && error_size)
            std::snprintf(error, error_size, "replay version %u, this game plays versions %u to %u", version,
                          OLDEST_VERSION, REPLAY_VERSION);
        return false;
    }
    if (bytes_load_u32(data + 12) != 0 || _crc(data, 24) != bytes_load_u32(data + 24))
        return _fail(error, error_size, "damaged replay header");
    out.seed = bytes_load_u64(data + 16);
    // Version 1 has no size check and no end mark.
    size_t check_bytes = version == OLDEST_VERSION ? 0 : 4;
    size_t at = REPLAY_HEADER_SIZE;
    auto damaged = [&](const char* what) {
        if (error && error_size)
            std::snprintf(error, error_size, "damaged replay: %s at frame %zu", what, out.frames.size() + 1);
        out = Replay{};
        return false;
    };
    out.cut_short = check_bytes > 0;
    while (size - at >= 4 + check_bytes) {
        u32 body = bytes_load_u32(data + at);
        if (check_bytes > 0 && _crc(data + at, 4) != bytes_load_u32(data + at + 4)) return damaged("bad frame size");
        if (check_bytes > 0 && body == END_MARK) {
            // Written in one call: a part of it is a cut, anything after it is damage.
            if (size - at < END_SIZE) break;
            if (_crc(data + at, 12) != bytes_load_u32(data + at + 12)) return damaged("bad end mark");
            if (bytes_load_u32(data + at + 8) != out.frames.size()) return damaged("frames missing");
            if (size - at != END_SIZE) return damaged("bytes after the end mark");
            out.cut_short = false;
            return true;
        }
        if (body > BODY_MAX_SIZE) return damaged("impossible frame size");
        // A cut-off last chunk is what a killed recorder leaves: play what came before.
        size_t head = 4 + check_bytes;
        if (size - at - head < size_t(body) + 4) {
            out.cut_short = true;
            break;
        }
        if (_chunk_crc(data + at, data + at + head, body) != bytes_load_u32(data + at + head + body) ||
            !_parse_body(data + at + head, body, out))
            return damaged("bad frame");
        at += head + size_t(body) + 4;
    }
    if (at < size) out.cut_short = true;
    return true;
}

Pad_Snapshot replay_frame_pads(const Replay& r, const Replay_Frame& f) {
    Pad_Snapshot out;
    out.present = f.pads_present;
    u32 next = f.first_pad;
    for (int slot = 0; slot < GPAD_SLOT_COUNT; slot++)
        if (f.pads_present & (1u << slot)) out.pads[slot] = r.pads[next++];
    return out;
}

void replay_encode_header(u64 seed, std::vector<u8>& out) {
    size_t start = out.size();
    out.insert(out.end(), MAGIC, MAGIC + 8);
    bytes_put_u32(out, REPLAY_VERSION);
    bytes_put_u32(out, 0);
    bytes_put_u64(out, seed);
    bytes_put_u32(out, _crc(out.data() + start, 24));
}

void replay_encode_frame(const Input_Event* events, size_t event_count, f64 duration, const Pad_Snapshot& pads,
                         std::vector<u8>& out) {
    size_t start = out.size();
    bytes_put_u32(out, 0);  // size and its check, filled in below
    bytes_put_u32(out, 0);
    u16 count = u16(event_count > 0xFFFF ? 0xFFFF : event_count);
    bytes_put_u16(out, count);
    for (u16 i = 0; i < count; i++) {
        const Input_Event& e = events[i];
        bytes_put_u8(out, u8(e.kind));
        bytes_put_u8(out, e.repeat ? 1 : 0);
        bytes_put_u8(out, u8(e.button));
        bytes_put_u8(out, 0);
        bytes_put_u32(out, u32(e.key));
    }
    bytes_put_f64(out, duration);
    bytes_put_u8(out, pads.present);
    for (int slot = 0; slot < GPAD_SLOT_COUNT; slot++) {
        if (!(pads.present & (1u << slot))) continue;
        bytes_put_u16(out, pads.pads[slot].buttons);
        for (f32 a : pads.pads[slot].axes) bytes_put_f32(out, a);
    }
    u32 body = u32(out.size() - start - 8);
    bytes_store_u32(out.data() + start, body);
    u32 size_check = _crc(out.data() + start, 4);
    bytes_store_u32(out.data() + start + 4, size_check);
    bytes_put_u32(out, _chunk_crc(out.data() + start, out.data() + start + 8, body));
}

void replay_encode_end(u32 frames, std::vector<u8>& out) {
    size_t start = out.size();
    bytes_put_u32(out, END_MARK);
    bytes_put_u32(out, _crc(out.data() + start, 4));
    bytes_put_u32(out, frames);
    bytes_put_u32(out, _crc(out.data() + start, 12));
}

bool replay_record_start(const char* path, u64 seed, char* error, size_t error_size, bool* name_taken) {
    replay_stop();
    session.recorded.reset();
    if (name_taken) *name_taken = false;
    // Always a new file: whatever the name holds already (a file, another name of one, a
    // link, a pipe, another game's recording) stays untouched. Non-blocking all the same.
    std::optional<File_Append> file = file_append_create(path);
    if (!file) {
        bool taken = errno == EEXIST;
        if (name_taken) *name_taken = taken;
        if (error && error_size)
            std::snprintf(error, error_size, "cannot record to %s: %s", path,
                          taken ? "a file of that name exists; choose another name" : std::strerror(errno));
        return false;
    }
    std::vector<u8> header;
    replay_encode_header(seed, header);
    if (!file_append_write(*file, header.data(), header.size())) {
        if (error && error_size) std::snprintf(error, error_size, "cannot write %s: %s", path, std::strerror(errno));
        file_append_close(*file);
        // Ours alone, just made: nothing of it is worth keeping.
        if (file->identity) file_remove_if_same(path, *file->identity);
        return false;
    }
    session.mode = Replay_Session::recording;
    session.file = *file;
    session.path = path;
    session.written = header.size();
    session.frames_written = 0;
    session.recorded = file->identity;
    session.pending.clear();
    session.pending.reserve(256);
    session.chunk.reserve(4096);
    return true;
}

void replay_record_discard() {
    if (session.mode != Replay_Session::recording || session.frames_written > 0) return;
    file_append_close(session.file);
    session.mode = Replay_Session::none;
    // Only while the name still holds the file made for it.
    if (session.recorded) file_remove_if_same(session.path.c_str(), *session.recorded);
    session.recorded.reset();
}

bool replay_is_recording_file(const char* path) {
    return session.recorded && file_identity(path) == session.recorded;
}

bool replay_play_start(const char* path, char* error, size_t error_size) {
    replay_stop();
    File_Read_Error failure = File_Read_Error::open_failed;
    std::optional<std::vector<u8>> data = file_read_whole(path, REPLAY_MAX_FILE_SIZE, &failure);
    if (!data && failure != File_Read_Error::read_failed) {
        const char* why = failure == File_Read_Error::open_failed ? std::strerror(errno) : "not a replay file";
        if (error && error_size) std::snprintf(error, error_size, "cannot play %s: %s", path, why);
        return false;
    }
    char why[200] = "";
    if (!data || !replay_parse(data->data(), data->size(), session.replay, why, sizeof why)) {
        if (error && error_size)
            std::snprintf(error, error_size, "cannot play %s: %s", path, why[0] ? why : "read failed");
        session.replay = Replay{};
        return false;
    }
    if (session.replay.cut_short)
        std::fprintf(stderr, "vantorel: %s is cut short: playing its %zu whole frames\n", path,
                     session.replay.frames.size());
    session.mode = Replay_Session::playing;
    session.next_frame = 0;
    // What the recording asked of the desktop stays inside the game while it plays.
    platform_set_desktop_effects(false);
    return true;
}

u64 replay_seed() { return session.replay.seed; }

bool replay_take_live_event(const Input_Event& e) {
    switch (session.mode) {
        case Replay_Session::none: return true;
        case Replay_Session::recording: session.pending.push_back(e); return true;
        case Replay_Session::playing: return false;
    }
    return true;
}

void replay_frame(f64& duration, Pad_Snapshot& pads) {
    switch (session.mode) {
        case Replay_Session::none: return;
        case Replay_Session::recording:
            session.chunk.clear();
            replay_encode_frame(session.pending.data(), session.pending.size(), duration, pads, session.chunk);
            session.pending.clear();
            if (!file_append_write(session.file, session.chunk.data(), session.chunk.size())) {
                _recording_failed();
                return;
            }
            session.written += session.chunk.size();
            session.frames_written++;
            return;
        case Replay_Session::playing: {
            if (session.next_frame >= session.replay.frames.size()) {
                platform_quit();
                return;
            }
            const Replay_Frame& f = session.replay.frames[session.next_frame++];
            for (u32 i = 0; i < f.event_count; i++) input_handle_event(session.replay.events[f.first_event + i]);
            duration = f.duration;
            pads = replay_frame_pads(session.replay, f);
            // Recorded durations are smoothed over several frames, so pacing by them keeps the
            // replay in step with the recording's own clock; a stall is not sat through again.
            platform_set_frame_pace(f.duration < MAX_PACE ? f.duration : MAX_PACE);
            if (session.next_frame == session.replay.frames.size()) platform_quit();
            return;
        }
    }
}

bool replay_playing() { return session.mode == Replay_Session::playing; }

bool replay_finished() {
    return session.mode == Replay_Session::playing && session.next_frame >= session.replay.frames.size();
}

void replay_stop() {
    if (session.file.fd >= 0) {
        std::vector<u8> end;
        replay_encode_end(session.frames_written, end);
        // A failed or partial end mark leaves a file that reads as cut short, which it then is.
        file_append_write(session.file, end.data(), end.size());
        file_append_sync(session.file);
        file_append_close(session.file);
    }
    if (session.mode == Replay_Session::playing) platform_set_desktop_effects(true);
    session.mode = Replay_Session::none;
    session.pending.clear();
    session.replay = Replay{};
    session.next_frame = 0;
}
