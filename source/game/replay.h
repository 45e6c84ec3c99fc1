// Recording a session's input and playing it back. The game is deterministic for a
// given seed, frame durations and input, so these three are all a replay holds.
//
// File format, little-endian throughout:
//
//   header, 28 bytes:
//     magic    8 bytes  "VNTRREPL"
//     version  u32      2 (version 1 is still read: see below)
//     reserved u32      0
//     seed     u64      what the random generator started from
//     checksum u32      CRC-32 (zlib) of the 24 bytes before it
//   then one chunk per frame:
//     size     u32      bytes of the body that follows (not counting the checksum)
//     size check u32    CRC-32 of the size field alone
//     body:
//       event count  u16
//       events       8 bytes each, in arrival order since the last frame:
//                      kind u8 (Input_Event_Kind), repeat u8 (0 or 1),
//                      mouse button u8 (Mouse_Button), zero u8, key i32
//       duration     f64      the frame duration the window layer reported, seconds
//       pads         u8       bit n = slot n held a pad this frame
//       per pad, in slot order: buttons u16 (bit n = Button n), axes 6 x f32 in [-1, 1]
//     checksum u32      CRC-32 (zlib) of the size field and the body
//   and, when the recording stopped cleanly, the end mark, 16 bytes, then the file's end:
//     size     u32      0xFFFFFFFF
//     size check u32    CRC-32 of that size field
//     frames   u32      how many chunks came before
//     checksum u32      CRC-32 of the 12 bytes before it
//
// Each chunk is written with one call once its frame starts, so a killed recorder
// leaves whole chunks and at most one cut-off chunk at the end, and no end mark; a reader
// drops that last cut-off chunk, plays up to the last complete frame and says the file is
// cut short. The size check tells a damaged size field from such a cut. Anything else
// that does not add up (magic, version, sizes, counts, checksums, values out of range,
// bytes after the end mark) refuses the whole file.
//
// Version 1 files (chunks without the size check, never an end mark) still play; there
// a size reaching past the file's end cannot be told from a cut, so it is taken as one,
// and said.
#pragma once
#include <cstddef>
#include <vector>

#include "common.h"
#include "input.h"

constexpr u32 REPLAY_VERSION = 2;
constexpr size_t REPLAY_HEADER_SIZE = 28;  // bytes
// Larger files are refused rather than read: six hours and more of play at 60 frames a second.
constexpr size_t REPLAY_MAX_FILE_SIZE = size_t(64) << 20;  // bytes
// Bytes of an error line besides the path it names.
constexpr size_t REPLAY_ERROR_ROOM = 256;

struct Replay_Frame {
    u32 first_event = 0;  // index into Replay::events
    u16 event_count = 0;
    u8 pads_present = 0;  // bit n = slot n held a pad
    u32 first_pad = 0;    // index into Replay::pads of the lowest slot present
    f64 duration = 0;     // seconds
};

struct Replay {
    u64 seed = 0;
    bool cut_short = false;  // the file ends without its end mark
    std::vector<Input_Event> events;
    std::vector<Gamepad_State> pads;  // only the slots present, frame after frame
    std::vector<Replay_Frame> frames;
};

// The pads of one frame, every slot filled in.
Pad_Snapshot replay_frame_pads(const Replay& r, const Replay_Frame& f);

// False for a damaged or foreign file; `error` then holds one line saying why.
bool replay_parse(const u8* data, size_t size, Replay& out, char* error, size_t error_size);
// Appends the header / one frame's chunk to `out`.
void replay_encode_header(u64 seed, std::vector<u8>& out);
void replay_encode_frame(const Input_Event* events, size_t event_count, f64 duration, const Pad_Snapshot& pads,
                         std::vector<u8>& out);
// Appends the end mark after `frames` chunks.
void replay_encode_end(u32 frames, std::vector<u8>& out);

// The session's one recording or playback (none by default, as in tests).
// Both return false with one line in `error` when the file cannot be used; `error` holds
// the path whole when it has room for strlen(path) + REPLAY_ERROR_ROOM bytes.
// A recording is always a new file: a path naming anything already (a file, a link, a
// pipe) is refused, with `name_taken` set when given, so the player can pick another name.
bool replay_record_start(const char* path, u64 seed, char* error, size_t error_size, bool* name_taken = nullptr);
// A cut-short file plays up to its last whole frame, after one line on standard error.
bool replay_play_start(const char* path, char* error, size_t error_size);
// Start-up failed before the first frame: the recording just begun is removed.
void replay_record_discard();
// True when `path` names the file this session records into, or last recorded into.
bool replay_is_recording_file(const char* path);
// The seed of the replay being played.
u64 replay_seed();
// Called for every event from the window: recorded when recording; false while playing,
// because only the recorded input may reach the game then.
bool replay_take_live_event(const Input_Event& e);
// At the start of every frame: while recording, writes the frame down; while playing,
// replaces the duration and pads with the recorded ones, hands the recorded events to the
// input table and asks to quit after the last frame.
void replay_frame(f64& duration, Pad_Snapshot& pads);
bool replay_playing();
// Playing and every recorded frame has been played.
bool replay_finished();
// Ends recording or playback; the recording is flushed to disk.
void replay_stop();
