// The check a module in a bank passes before the module player sees it. The player trusts
// the sizes a module declares (a sample's length is allocated before it is read), so every
// part is walked here and must lie inside the bytes given.
#include <cstring>

#include "bank.h"
#include "bytes.h"

namespace {

constexpr char XM_MAGIC[17] = {'E', 'x', 't', 'e', 'n', 'd', 'e', 'd', ' ', 'M', 'o', 'd', 'u', 'l', 'e', ':', ' '};
constexpr u16 XM_VERSION = 0x0104;
constexpr u32 XM_HEADER_BYTES = 276;          // from byte 60: counts, flags, tempo and 256 orders
constexpr size_t XM_HEADER_AT = 60;
constexpr u32 XM_PATTERN_HEADER_BYTES = 9;
constexpr u32 XM_INSTRUMENT_HEAD_BYTES = 29;  // size, name, type, sample count
constexpr u32 XM_INSTRUMENT_BYTES = 241;      // with the sample map, envelopes and vibrato
constexpr u32 XM_INSTRUMENT_MAX_BYTES = 512;
constexpr u32 XM_SAMPLE_HEADER_BYTES = 40;
constexpr u32 XM_ENVELOPE_MAX_POINTS = 12;
constexpr u8 XM_MIN_BPM = 32;
constexpr u8 XM_MAX_SPEED = 31;               // ticks per row
constexpr u8 XM_SAMPLE_16BIT = 0x10;
constexpr u8 XM_SAMPLE_LOOP_MASK = 0x03;      // 0 none, 1 forward, 2 ping-pong

// Effects that move the song's position or hold it: a module without them plays its
// orders once, start to end, in a time its rows fix.
constexpr u8 FX_POSITION_JUMP = 0x0B, FX_PATTERN_BREAK = 0x0D, FX_EXTENDED = 0x0E, FX_SPEED = 0x0F;
constexpr u8 EX_PATTERN_LOOP = 0x6, EX_PATTERN_DELAY = 0xE;

bool _effect_allowed(u8 type, u8 param) {
    if (type == FX_POSITION_JUMP || type == FX_PATTERN_BREAK) return false;
    if (type == FX_EXTENDED && (param >> 4 == EX_PATTERN_LOOP || param >> 4 == EX_PATTERN_DELAY)) return false;
    // Speed 0 stops the song.
    return !(type == FX_SPEED && param == 0);
}

// One pattern: its packed cells must fill exactly rows x channels.
bool _pattern_valid(Bytes_Reader& c, u32 channels, u64& cells) {
    u32 header = bytes_read_u32(c);
    u8 packing = bytes_read_u8(c);
    u16 rows = bytes_read_u16(c);
    u16 packed = bytes_read_u16(c);
    if (!c.ok || header != XM_PATTERN_HEADER_BYTES || packing != 0 || rows == 0 || rows > BANK_MODULE_MAX_ROWS)
        return false;
    cells += u64(rows) * channels;
    if (cells > BANK_MODULE_MAX_CELLS) return false;
    if (packed == 0) return true;  // an empty pattern
    Bytes_Reader p = {c.bytes + c.at, packed, 0, bytes_skip(c, packed)};
    for (u32 cell = 0; cell < u32(rows) * channels && p.ok; cell++) {
        u8 first = bytes_read_u8(p);
        u8 note = first, type = 0, param = 0;
        if (first & 0x80) {
            note = first & 0x01 ? bytes_read_u8(p) : 0;
            if (first & 0x02) bytes_read_u8(p);
            if (first & 0x04) bytes_read_u8(p);
            type = first & 0x08 ? bytes_read_u8(p) : 0;
            param = first & 0x10 ? bytes_read_u8(p) : 0;
        } else {
            bytes_read_u8(p);  // instrument
            bytes_read_u8(p);  // volume column
            type = bytes_read_u8(p);
            param = bytes_read_u8(p);
        }
        // Notes 1..96, 97 lets go of the key.
        if (note > 97 || !_effect_allowed(type, param)) return false;
    }
    return p.ok && p.at == p.size;
}

// One instrument with its sample headers and sample data.
bool _instrument_valid(Bytes_Reader& c, u64& sample_bytes) {
    size_t start = c.at;
    u32 size = bytes_read_u32(c);
    bytes_skip(c, 22 + 1);  // name, type
    u16 samples = bytes_read_u16(c);
    if (!c.ok || samples > BANK_MODULE_MAX_SAMPLES || size < XM_INSTRUMENT_HEAD_BYTES || size > XM_INSTRUMENT_MAX_BYTES)
        return false;
    if (samples == 0) return bytes_skip(c, size - XM_INSTRUMENT_HEAD_BYTES);
    if (size < XM_INSTRUMENT_BYTES || bytes_read_u32(c) != XM_SAMPLE_HEADER_BYTES) return false;
    for (int key = 0; key < 96; key++)
        if (bytes_read_u8(c) >= samples) return false;
    bytes_skip(c, 2 * 48);  // volume and panning envelope points
    u8 volume_points = bytes_read_u8(c), panning_points = bytes_read_u8(c);
    if (volume_points > XM_ENVELOPE_MAX_POINTS || panning_points > XM_ENVELOPE_MAX_POINTS) return false;
    if (!bytes_skip(c, start + size - c.at)) return false;

    u32 lengths[BANK_MODULE_MAX_SAMPLES] = {};
    for (u16 s = 0; s < samples; s++) {
        u32 length = bytes_read_u32(c), loop_start = bytes_read_u32(c), loop_length = bytes_read_u32(c);
        u8 volume = bytes_read_u8(c);
        bytes_read_u8(c);  // finetune
        u8 type = bytes_read_u8(c);
        bytes_skip(c, 2);  // panning, relative note
        u8 compression = bytes_read_u8(c);
        bytes_skip(c, 22);  // name
        bool wide = type & XM_SAMPLE_16BIT;
        if (!c.ok || volume > 64 || (type & ~(XM_SAMPLE_16BIT | XM_SAMPLE_LOOP_MASK)) != 0 ||
            (type & XM_SAMPLE_LOOP_MASK) == XM_SAMPLE_LOOP_MASK || compression != 0 || (wide && length % 2 != 0))
            return false;
        if ((type & XM_SAMPLE_LOOP_MASK) != 0 && u64(loop_start) + loop_length > length) return false;
        lengths[s] = length;
        sample_bytes += length;
        if (sample_bytes > BANK_MODULE_MAX_SAMPLE_BYTES) return false;
    }
    for (u16 s = 0; s < samples; s++)
        if (!bytes_skip(c, lengths[s])) return false;
    return true;
}

} // namespace

bool bank_module_valid(const u8* bytes, size_t size) {
    if (!bytes || size < XM_HEADER_AT + XM_HEADER_BYTES || std::memcmp(bytes, XM_MAGIC, sizeof XM_MAGIC) != 0 ||
        bytes[37] != 0x1A)
        return false;
    Bytes_Reader c = {bytes, size, 58, true};
    u16 version = bytes_read_u16(c);
    u32 header = bytes_read_u32(c);
    u16 orders = bytes_read_u16(c), restart = bytes_read_u16(c), channels = bytes_read_u16(c), patterns = bytes_read_u16(c), instruments = bytes_read_u16(c);
    bytes_read_u16(c);  // flags: the frequency table
    u16 speed = bytes_read_u16(c), bpm = bytes_read_u16(c);
    if (version != XM_VERSION || header != XM_HEADER_BYTES || orders == 0 || orders > 256 || restart >= orders ||
        channels == 0 || channels > BANK_MODULE_MAX_CHANNELS || patterns == 0 || patterns > BANK_MODULE_MAX_PATTERNS ||
        instruments == 0 || instruments > BANK_MODULE_MAX_INSTRUMENTS || speed == 0 || speed > XM_MAX_SPEED ||
        bpm < XM_MIN_BPM || bpm > 255)
        return false;
    for (u16 i = 0; i < orders; i++)
        if (bytes_read_u8(c) >= patterns) return false;
    c.at = XM_HEADER_AT + XM_HEADER_BYTES;

    u64 cells = 0, sample_bytes = 0;
    for (u16 p = 0; p < patterns; p++)
        if (!_pattern_valid(c, channels, cells)) return false;
    for (u16 i = 0; i < instruments; i++)
        if (!_instrument_valid(c, sample_bytes)) return false;
    // Nothing may follow that a player could take for more of the module.
    return c.ok && c.at == size;
}
