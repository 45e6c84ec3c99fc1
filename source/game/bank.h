// Sound banks: the main bank holds the events' sample data and playback settings; the
// strings bank maps event paths ("event:/music_menu") to event indices in the main bank.
// Without the strings bank no event can be found by path.
//
// All integers are little-endian; f32 are IEEE 754 single precision.
//
// Main bank ("persistent.bank"):
//   magic "VNBK" (4 bytes), u32 version (1), u32 event_count (at most BANK_MAX_EVENTS),
//   u32 data_size (bytes of sample data that follow the event table),
//   event_count records of 24 bytes:
//     u32 sample_rate (Hz, 8000..96000)
//     u16 channels (1 or 2, interleaved)
//     u16 flags (bit 0: loop; other bits zero)
//     f32 volume (0..1)
//     f32 fade_out (seconds, 0..60)
//     u32 data_offset (bytes from the start of the sample data, even)
//     u32 data_bytes (bytes, a whole number of frames, > 0)
//   data_size bytes of 16-bit signed PCM. Events' ranges lie in table order and do not
//   overlap; the file ends right after the sample data.
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

constexpr u32 BANK_VERSION = 1;
constexpr u32 BANK_MAX_EVENTS = 256;
constexpr u32 BANK_MAX_STRINGS = 1024;
constexpr u32 BANK_MAX_PATH = 255;
// Refuses files no real bank comes near before reading them into memory.
constexpr u64 BANK_MAX_FILE_BYTES = 64u << 20;
constexpr u32 BANK_MIN_RATE = 8000;
constexpr u32 BANK_MAX_RATE = 96000;
constexpr f32 BANK_MAX_FADE = 60;

struct Bank_Event {
    u32 sample_rate = 22050; // Hz
    u16 channels = 1;
    bool loop = false;
    f32 volume = 1;          // 0..1
    f32 fade_out = 0;        // seconds
    u32 first_sample = 0;    // index into Bank.samples
    u32 sample_count = 0;    // i16 values (frames × channels)
};

struct Bank {
    std::vector<Bank_Event> events;
    std::vector<i16> samples;
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

// False when the bank breaks a rule the reader would refuse it for.
bool bank_write(const Bank& bank, std::vector<u8>& out);
bool strings_bank_write(const Strings_Bank& strings, std::vector<u8>& out);

// Writes through a temporary file and a rename, so readers never see half a file.
bool bank_write_file_atomic(const char* path, const std::vector<u8>& bytes);

// The event index for a path; none when the path is unknown or names an event the main
// bank does not have.
std::optional<u32> bank_find_event(const Strings_Bank& strings, const Bank& bank,
                                   std::string_view path);
