#include "bank.h"

#include "../platform/files.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr u8 BANK_MAGIC[4] = {'V', 'N', 'B', 'K'};
constexpr u8 STRINGS_MAGIC[4] = {'V', 'N', 'S', 'T'};
constexpr size_t BANK_HEADER_BYTES = 16;
constexpr size_t BANK_RECORD_BYTES = 32;
constexpr u16 FLAG_LOOP = 1;
constexpr u16 FLAG_VARY = 2;
constexpr u16 KNOWN_FLAGS = FLAG_LOOP | FLAG_VARY;

// Every read checks the remaining length first; a failed read poisons the cursor.
struct Reader {
    const u8* at;
    size_t left;
    bool ok;
};

bool _take(Reader& r, void* out, size_t n) {
    if (!r.ok || n > r.left) {
        r.ok = false;
        return false;
    }
    std::memcpy(out, r.at, n);
    r.at += n;
    r.left -= n;
    return true;
}

u16 _read_u16(Reader& r) {
    u8 b[2] = {};
    _take(r, b, 2);
    return u16(b[0] | b[1] << 8);
}

u32 _read_u32(Reader& r) {
    u8 b[4] = {};
    _take(r, b, 4);
    return u32(b[0]) | u32(b[1]) << 8 | u32(b[2]) << 16 | u32(b[3]) << 24;
}

f32 _read_f32(Reader& r) {
    u32 bits = _read_u32(r);
    f32 v;
    std::memcpy(&v, &bits, 4);
    return v;
}

void _put_u16(std::vector<u8>& out, u16 v) {
    out.push_back(u8(v));
    out.push_back(u8(v >> 8));
}

void _put_u32(std::vector<u8>& out, u32 v) {
    for (int i = 0; i < 4; i++) out.push_back(u8(v >> (8 * i)));
}

void _put_f32(std::vector<u8>& out, f32 v) {
    u32 bits;
    std::memcpy(&bits, &v, 4);
    _put_u32(out, bits);
}

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
bool _read_header(Reader& r, const u8 (&want_magic)[4], u32 want_version, u32& count) {
    u8 magic[4] = {};
    _take(r, magic, 4);
    u32 version = _read_u32(r);
    count = _read_u32(r);
    return r.ok && std::memcmp(magic, want_magic, 4) == 0 && version == want_version;
}

std::optional<std::vector<u8>> _read_whole_file(const char* path) {
    return file_read_whole(path, BANK_MAX_FILE_BYTES);
}

} // namespace

std::optional<Bank> bank_read(const u8* bytes, size_t size) {
    if (!bytes) return std::nullopt;
    Reader r = {bytes, size, true};
    u32 count = 0;
    if (!_read_header(r, BANK_MAGIC, BANK_VERSION, count)) return std::nullopt;
    u32 data_size = _read_u32(r);
    if (!r.ok) return std::nullopt;
    if (count > BANK_MAX_EVENTS) return std::nullopt;
    // The table and the data must fill the rest of the file exactly.
    if (u64(count) * BANK_RECORD_BYTES + data_size != r.left) return std::nullopt;

    Bank bank;
    bank.events.reserve(count);
    u64 data_end = 0, total_frames = 0;
    for (u32 i = 0; i < count; i++) {
        Bank_Event e;
        e.sample_rate = _read_u32(r);
        e.channels = _read_u16(r);
        u16 flags = _read_u16(r);
        e.volume = _read_f32(r);
        e.fade_out = _read_f32(r);
        e.max_instances = _read_u16(r);
        u16 codec = _read_u16(r);
        e.frames = _read_u32(r);
        e.first_byte = _read_u32(r);
        e.byte_count = _read_u32(r);
        e.loop = (flags & FLAG_LOOP) != 0;
        e.vary = (flags & FLAG_VARY) != 0;
        if (!r.ok || (flags & ~KNOWN_FLAGS) != 0 || codec >= BANK_CODEC_COUNT) return std::nullopt;
        e.codec = Bank_Codec(codec);
        if (!_settings_valid(e)) return std::nullopt;
        if (e.first_byte < data_end || u64(e.first_byte) + e.byte_count > data_size) return std::nullopt;
        data_end = u64(e.first_byte) + e.byte_count;
        total_frames += e.frames;
        if (total_frames > BANK_MAX_TOTAL_FRAMES) return std::nullopt;
        bank.events.push_back(e);
    }
    for (const Bank_Event& e : bank.events)
        if (!_data_valid(e, r.at)) return std::nullopt;
    bank.data.assign(r.at, r.at + data_size);
    return bank;
}

std::optional<Bank> bank_read_file(const char* path) {
    std::optional<std::vector<u8>> bytes = _read_whole_file(path);
    if (!bytes) return std::nullopt;
    return bank_read(bytes->data(), bytes->size());
}

std::optional<Strings_Bank> strings_bank_read(const u8* bytes, size_t size) {
    if (!bytes) return std::nullopt;
    Reader r = {bytes, size, true};
    u32 count = 0;
    if (!_read_header(r, STRINGS_MAGIC, STRINGS_BANK_VERSION, count)) return std::nullopt;
    // Each entry takes at least 7 bytes, so a count the file cannot hold is refused
    // before anything is reserved for it.
    if (count > BANK_MAX_STRINGS || u64(count) * 7 > r.left) return std::nullopt;

    Strings_Bank strings;
    strings.entries.reserve(count);
    for (u32 i = 0; i < count; i++) {
        u16 length = _read_u16(r);
        if (!r.ok || length == 0 || length > BANK_MAX_PATH || length > r.left) return std::nullopt;
        std::string_view path(reinterpret_cast<const char*>(r.at), length);
        if (!_path_valid(path)) return std::nullopt;
        r.at += length;
        r.left -= length;
        u32 event = _read_u32(r);
        if (!r.ok) return std::nullopt;
        strings.entries.push_back({std::string(path), event});
    }
    if (r.left != 0) return std::nullopt;
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
    u64 data_end = 0, total_frames = 0;
    for (const Bank_Event& e : bank.events) {
        if (!_settings_valid(e)) return false;
        u64 first = e.first_byte, end = first + e.byte_count;
        if (first < data_end || end > data_bytes || !_data_valid(e, bank.data.data())) return false;
        data_end = end;
        total_frames += e.frames;
    }
    if (total_frames > BANK_MAX_TOTAL_FRAMES) return false;

    out.clear();
    out.reserve(size_t(total));
    out.insert(out.end(), BANK_MAGIC, BANK_MAGIC + 4);
    _put_u32(out, BANK_VERSION);
    _put_u32(out, u32(bank.events.size()));
    _put_u32(out, u32(data_bytes));
    for (const Bank_Event& e : bank.events) {
        _put_u32(out, e.sample_rate);
        _put_u16(out, e.channels);
        _put_u16(out, u16((e.loop ? FLAG_LOOP : 0) | (e.vary ? FLAG_VARY : 0)));
        _put_f32(out, e.volume);
        _put_f32(out, e.fade_out);
        _put_u16(out, e.max_instances);
        _put_u16(out, e.codec);
        _put_u32(out, e.frames);
        _put_u32(out, e.first_byte);
        _put_u32(out, e.byte_count);
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
    _put_u32(out, STRINGS_BANK_VERSION);
    _put_u32(out, u32(strings.entries.size()));
    for (const Bank_String& s : strings.entries) {
        _put_u16(out, u16(s.path.size()));
        out.insert(out.end(), s.path.begin(), s.path.end());
        _put_u32(out, s.event);
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
