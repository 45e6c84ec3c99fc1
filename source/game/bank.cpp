#include "bank.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "../platform/files.h"
#include "bytes.h"

namespace {

constexpr u8 BANK_MAGIC[4] = {'V', 'N', 'B', 'K'};
constexpr u8 STRINGS_MAGIC[4] = {'V', 'N', 'S', 'T'};
constexpr size_t BANK_HEADER_BYTES = 16;
constexpr size_t BANK_RECORD_BYTES = 32;
constexpr u16 FLAG_LOOP = 1;
constexpr u16 FLAG_VARY = 2;
constexpr u16 KNOWN_FLAGS = FLAG_LOOP | FLAG_VARY;

bool _settings_valid(const Bank_Event& e) {
    // Written so that NaN fails every comparison.
    bool common = e.sample_rate == BANK_RATE && (e.channels == 1 || e.channels == 2) && e.volume >= 0 &&
                  e.volume <= 1 && e.fade_out >= 0 && e.fade_out <= BANK_MAX_FADE && e.max_instances >= 1 &&
                  e.max_instances <= BANK_MAX_INSTANCES && e.frames > 0 && e.byte_count > 0;
    switch (e.codec) {
    case codec_vorbis: return common;
    // The audio layer streams modules as music only.
    case codec_module: return common && e.loop && e.channels == 2 && !e.vary;
    }
    return false;
}

// The event's sound data, checked as far as its codec needs before a decoder sees it.
bool _data_valid(const Bank_Event& e, const u8* data) {
    switch (e.codec) {
    case codec_vorbis: return true;
    case codec_module: return bank_module_valid(data + e.first_byte, e.byte_count);
    }
    return false;
}

bool _path_valid(std::string_view path) {
    return !path.empty() && path.size() <= BANK_MAX_PATH &&
           path.find('\0') == std::string_view::npos;
}

// Both files open with their magic, a version and a count.
bool _read_header(Bytes_Reader& r, const u8 (&want_magic)[4], u32 want_version, u32& count) {
    u8 magic[4] = {};
    bytes_take(r, magic, 4);
    u32 version = bytes_read_u32(r);
    count = bytes_read_u32(r);
    return r.ok && std::memcmp(magic, want_magic, 4) == 0 && version == want_version;
}

std::optional<std::vector<u8>> _read_whole_file(const char* path) {
    return file_read_whole(path, BANK_MAX_FILE_BYTES);
}

// Within what the bank may turn into once decoded.
bool _frames_valid(const std::vector<Bank_Event>& events) {
    u64 total = 0, one_shots = 0;
    for (const Bank_Event& e : events) {
        total += e.frames;
        if (!e.loop) one_shots += e.frames;
    }
    return total <= BANK_MAX_TOTAL_FRAMES && one_shots <= BANK_MAX_ONE_SHOT_FRAMES;
}

// The event table; `data_at` is where the sound data starts.
std::optional<Bank> _read_table(const u8* bytes, size_t size, size_t& data_at) {
    if (!bytes) return std::nullopt;
    Bytes_Reader r = bytes_reader(bytes, size);
    u32 count = 0;
    if (!_read_header(r, BANK_MAGIC, BANK_VERSION, count)) return std::nullopt;
    u32 data_size = bytes_read_u32(r);
    if (!r.ok) return std::nullopt;
    if (count > BANK_MAX_EVENTS) return std::nullopt;
    // The table and the data must fill the rest of the file exactly.
    if (u64(count) * BANK_RECORD_BYTES + data_size != bytes_left(r)) return std::nullopt;

    Bank bank;
    bank.events.reserve(count);
    u64 data_end = 0;
    for (u32 i = 0; i < count; i++) {
        Bank_Event e;
        e.sample_rate = bytes_read_u32(r);
        e.channels = bytes_read_u16(r);
        u16 flags = bytes_read_u16(r);
        e.volume = bytes_read_f32(r);
        e.fade_out = bytes_read_f32(r);
        e.max_instances = bytes_read_u16(r);
        u16 codec = bytes_read_u16(r);
        e.frames = bytes_read_u32(r);
        e.first_byte = bytes_read_u32(r);
        e.byte_count = bytes_read_u32(r);
        e.loop = (flags & FLAG_LOOP) != 0;
        e.vary = (flags & FLAG_VARY) != 0;
        if (!r.ok || (flags & ~KNOWN_FLAGS) != 0 || codec >= BANK_CODEC_COUNT) return std::nullopt;
        e.codec = Bank_Codec(codec);
        if (!_settings_valid(e)) return std::nullopt;
        if (e.first_byte < data_end || u64(e.first_byte) + e.byte_count > data_size) return std::nullopt;
        data_end = u64(e.first_byte) + e.byte_count;
        bank.events.push_back(e);
    }
    if (!_frames_valid(bank.events)) return std::nullopt;
    for (const Bank_Event& e : bank.events)
        if (!_data_valid(e, r.bytes + r.at)) return std::nullopt;
    data_at = size - data_size;
    return bank;
}

} // namespace

std::optional<Bank> bank_read(const u8* bytes, size_t size) {
    size_t data_at = 0;
    std::optional<Bank> bank = _read_table(bytes, size, data_at);
    if (bank) bank->data.assign(bytes + data_at, bytes + size);
    return bank;
}

std::optional<Bank> bank_read_file(const char* path) {
    std::optional<std::vector<u8>> bytes = _read_whole_file(path);
    if (!bytes) return std::nullopt;
    size_t data_at = 0;
    std::optional<Bank> bank = _read_table(bytes->data(), bytes->size(), data_at);
    if (!bank) return std::nullopt;
    // The file's own buffer becomes the sound data: a large bank is never held twice.
    bytes->erase(bytes->begin(), bytes->begin() + ptrdiff_t(data_at));
    bank->data = std::move(*bytes);
    return bank;
}

std::optional<Strings_Bank> strings_bank_read(const u8* bytes, size_t size) {
    if (!bytes) return std::nullopt;
    Bytes_Reader r = bytes_reader(bytes, size);
    u32 count = 0;
    if (!_read_header(r, STRINGS_MAGIC, STRINGS_BANK_VERSION, count)) return std::nullopt;
    // Each entry takes at least 7 bytes, so a count the file cannot hold is refused
    // before anything is reserved for it.
    if (count > BANK_MAX_STRINGS || u64(count) * 7 > bytes_left(r)) return std::nullopt;

    Strings_Bank strings;
    strings.entries.reserve(count);
    for (u32 i = 0; i < count; i++) {
        u16 length = bytes_read_u16(r);
        if (!r.ok || length == 0 || length > BANK_MAX_PATH || length > bytes_left(r)) return std::nullopt;
        std::string_view path(reinterpret_cast<const char*>(r.bytes + r.at), length);
        if (!_path_valid(path)) return std::nullopt;
        bytes_skip(r, length);
        u32 event = bytes_read_u32(r);
        if (!r.ok) return std::nullopt;
        strings.entries.push_back({std::string(path), event});
    }
    if (bytes_left(r) != 0) return std::nullopt;
    return strings;
}

std::optional<Strings_Bank> strings_bank_read_file(const char* path) {
    std::optional<std::vector<u8>> bytes = _read_whole_file(path);
    if (!bytes) return std::nullopt;
    return strings_bank_read(bytes->data(), bytes->size());
}

bool bank_write(const Bank& bank, std::vector<u8>& out) {
    if (bank.events.size() > BANK_MAX_EVENTS) return false;
    u64 data_bytes = bank.data.size();
    u64 total = BANK_HEADER_BYTES + bank.events.size() * BANK_RECORD_BYTES + data_bytes;
    if (total > BANK_MAX_FILE_BYTES) return false;
    u64 data_end = 0;
    for (const Bank_Event& e : bank.events) {
        if (!_settings_valid(e)) return false;
        u64 first = e.first_byte, end = first + e.byte_count;
        if (first < data_end || end > data_bytes || !_data_valid(e, bank.data.data())) return false;
        data_end = end;
    }
    if (!_frames_valid(bank.events)) return false;

    out.clear();
    out.reserve(size_t(total));
    out.insert(out.end(), BANK_MAGIC, BANK_MAGIC + 4);
    bytes_put_u32(out, BANK_VERSION);
    bytes_put_u32(out, u32(bank.events.size()));
    bytes_put_u32(out, u32(data_bytes));
    for (const Bank_Event& e : bank.events) {
        bytes_put_u32(out, e.sample_rate);
        bytes_put_u16(out, e.channels);
        bytes_put_u16(out, u16((e.loop ? FLAG_LOOP : 0) | (e.vary ? FLAG_VARY : 0)));
        bytes_put_f32(out, e.volume);
        bytes_put_f32(out, e.fade_out);
        bytes_put_u16(out, e.max_instances);
        bytes_put_u16(out, e.codec);
        bytes_put_u32(out, e.frames);
        bytes_put_u32(out, e.first_byte);
        bytes_put_u32(out, e.byte_count);
    }
    out.insert(out.end(), bank.data.begin(), bank.data.end());
    return true;
}

bool strings_bank_write(const Strings_Bank& strings, std::vector<u8>& out) {
    if (strings.entries.size() > BANK_MAX_STRINGS) return false;
    for (const Bank_String& s : strings.entries)
        if (!_path_valid(s.path)) return false;
    out.clear();
    out.insert(out.end(), STRINGS_MAGIC, STRINGS_MAGIC + 4);
    bytes_put_u32(out, STRINGS_BANK_VERSION);
    bytes_put_u32(out, u32(strings.entries.size()));
    for (const Bank_String& s : strings.entries) {
        bytes_put_u16(out, u16(s.path.size()));
        out.insert(out.end(), s.path.begin(), s.path.end());
        bytes_put_u32(out, s.event);
    }
    return true;
}

bool bank_write_file_atomic(const char* path, const std::vector<u8>& bytes) {
    return file_write_atomic(path, bytes.data(), bytes.size());
}

std::optional<u32> bank_find_event(const Strings_Bank& strings, const Bank& bank,
                                   std::string_view path) {
    for (const Bank_String& s : strings.entries)
        if (s.path == path) {
            if (s.event >= bank.events.size()) return std::nullopt;
            return s.event;
        }
    return std::nullopt;
}
