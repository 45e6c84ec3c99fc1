// Sound banks: the main bank holds the events' compressed sound and playback settings; the
// strings bank maps event paths ("event:/music_menu") to event indices in the main bank.
// Without the strings bank no event can be found by path.
//
// All integers are little-endian; f32 are IEEE 754 single precision.
//
// Main bank ("persistent.bank"):
//   magic "VNBK" (4 bytes), u32 version (3), u32 event_count (at most BANK_MAX_EVENTS),
//   u32 data_size (bytes of sound data that follow the event table),
//   event_count records of 32 bytes:
//     u32 sample_rate (Hz, BANK_RATE: sounds play at the device rate, never resampled)
//     u16 channels (1 or 2)
//     u16 flags (bit 0: loop; bit 1: vary pitch and level a little at each start; other
//                bits zero)
//     f32 volume (0..1)
//     f32 fade_out (seconds, 0..60)
//     u16 max_instances (1..BANK_MAX_INSTANCES: one more start steals the oldest)
//     u16 codec (0: Ogg Vorbis, 1: an XM module, which only a looping stereo event may be)
//     u32 frames (sample frames the sound decodes to, > 0)
//     u32 data_offset (bytes from the start of the sound data)
//     u32 data_bytes (bytes, > 0)
//   data_size bytes of sound data: each event's range is either one Ogg Vorbis stream at
//   the event's rate and channel count that decodes to exactly its frames, or an XM module
//   (FastTracker 2 format 1.04) that plays one pass of its song in exactly its frames at
//   the event's rate and then starts again from its restart position. A module must keep
//   within the BANK_MODULE_ limits below (checked before any player sees it), or the whole
//   bank is refused. Events' ranges lie in table order and do not overlap; the file ends
//   right after the sound data. The frames of all events together are at most
//   BANK_MAX_TOTAL_FRAMES, which bounds what the bank can turn into once decoded,
//   whatever it stores.
//
// Version 2 was the same without the vary flag and with the codec field reserved (zero).
//
// Strings bank ("persistent.strings.bank"):
//   magic "VNST" (4 bytes), u32 version (1), u32 entry_count (at most BANK_MAX_STRINGS),
//   entry_count entries: u16 path_bytes (1..BANK_MAX_PATH), the path without NUL,
//   u32 event_index. The file ends right after the last entry.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common.h"

constexpr u32 BANK_VERSION = 3;
constexpr u32 STRINGS_BANK_VERSION = 1;
constexpr u32 BANK_MAX_EVENTS = 256;
constexpr u32 BANK_MAX_STRINGS = 1024;
constexpr u32 BANK_MAX_PATH = 255;
// Refuses files no real bank comes near before reading them into memory.
constexpr u64 BANK_MAX_FILE_BYTES = 64u << 20;
constexpr u32 BANK_RATE = 44100;          // Hz
constexpr f32 BANK_MAX_FADE = 60;          // seconds
constexpr u32 BANK_MAX_INSTANCES = 16;
// Eight minutes of sound in all: about half again what the real banks hold.
constexpr u32 BANK_MAX_TOTAL_FRAMES = 8 * 60 * BANK_RATE;

// What a module may ask of the player, several times what our own music uses: a crafted
// module within these takes a few MiB and no noticeable time to load.
constexpr u32 BANK_MODULE_MAX_CHANNELS = 32;
constexpr u32 BANK_MODULE_MAX_PATTERNS = 200;
constexpr u32 BANK_MODULE_MAX_ROWS = 256;              // rows of one pattern
constexpr u32 BANK_MODULE_MAX_CELLS = 256 * 1024;      // channels x rows over all patterns
constexpr u32 BANK_MODULE_MAX_INSTRUMENTS = 64;
constexpr u32 BANK_MODULE_MAX_SAMPLES = 8;             // per instrument
constexpr u32 BANK_MODULE_MAX_SAMPLE_BYTES = 2u << 20; // bytes, all samples together

enum Bank_Codec : u16 { codec_vorbis = 0, codec_module = 1 };
constexpr u16 BANK_CODEC_COUNT = 2;

struct Bank_Event {
    u32 sample_rate = BANK_RATE; // Hz
    u16 channels = 1;
    bool loop = false;
    f32 volume = 1;              // 0..1
    f32 fade_out = 0;            // seconds
    u16 max_instances = 1;
    u32 frames = 0;              // sample frames once decoded
    u32 first_byte = 0;          // index into Bank.data
    u32 byte_count = 0;          // bytes of the Ogg Vorbis stream or module
    Bank_Codec codec = codec_vorbis;
    bool vary = false;           // each start a little higher or lower, louder or softer
};

struct Bank {
    std::vector<Bank_Event> events;
    std::vector<u8> data;
};

struct Bank_String {
    std::string path;
    u32 event = 0;
};

struct Strings_Bank {
    std::vector<Bank_String> entries;
};

std::optional<Bank> bank_read(const u8* bytes, size_t size);
std::optional<Bank> bank_read_file(const char* path);
std::optional<Strings_Bank> strings_bank_read(const u8* bytes, size_t size);
std::optional<Strings_Bank> strings_bank_read_file(const char* path);

// True when `bytes` are an XM module of the shape a bank may hold: every part present
// and in bounds, within the BANK_MODULE_ limits, with no jumps, pattern loops or delays
// and no compressed samples.
bool bank_module_valid(const u8* bytes, size_t size);

// False when the bank breaks a rule the reader would refuse it for.
bool bank_write(const Bank& bank, std::vector<u8>& out);
bool strings_bank_write(const Strings_Bank& strings, std::vector<u8>& out);

// Writes through a temporary file and a rename, so readers never see half a file.
bool bank_write_file_atomic(const char* path, const std::vector<u8>& bytes);

// The event index for a path; none when the path is unknown or names an event the main
// bank does not have.
std::optional<u32> bank_find_event(const Strings_Bank& strings, const Bank& bank,
                                   std::string_view path);
