// Byte-stream reader/writer. Little-endian host assumed: values are their
// in-memory bytes.
#include "serializer.h"

#include <bit>

static_assert(std::endian::native == std::endian::little, "the pack format is little-endian");

Serializer serializer_reader(const u8* bytes, i64 len) {
    Serializer s;
    s.is_writing = false;
    s.view = bytes;
    s.view_len = (bytes && len > 0) ? len : 0;
    s.read_offset = 0;
    return s;
}

Serializer serializer_writer() {
    Serializer s;
    s.is_writing = true;
    return s;
}

i64 serializer_length(const Serializer& s) {
    if (!s.is_writing && s.view) return s.view_len;
    return (i64)s.data.size();
}

static const u8* _serializer_bytes(const Serializer& s) {
    if (!s.is_writing && s.view) return s.view;
    return s.data.data();
}

// Bytes left to read; 0 when the offset is somehow outside the buffer.
static i64 _serializer_remaining(const Serializer& s) {
    i64 len = serializer_length(s);
    if (s.read_offset < 0 || s.read_offset > len) return 0;
    return len - s.read_offset;
}

bool _serialize_raw(Serializer& s, void* value, size_t size) {
    if (s.is_writing) {
        const u8* p = static_cast<const u8*>(value);
        s.data.insert(s.data.end(), p, p + size);
        return true;
    }
    if (size > (size_t)_serializer_remaining(s)) return false;  // value left unchanged
    if (size > 0) std::memcpy(value, _serializer_bytes(s) + s.read_offset, size);
    s.read_offset += (i64)size;
    return true;
}

bool _serialize_bytes(Serializer& s, std::vector<u8>& bytes) {
    if (s.is_writing) {
        i64 len = (i64)bytes.size();
        serialize(s, len);
        if (len != 0) s.data.insert(s.data.end(), bytes.begin(), bytes.end());
        return true;
    }
    i64 len = 0;
    if (!serialize(s, len)) return false;
    // Checked before allocating: a length field can never make us allocate more than the
    // bytes that are actually there.
    if (len < 0 || len > _serializer_remaining(s)) return false;
    bytes.assign(_serializer_bytes(s) + s.read_offset, _serializer_bytes(s) + s.read_offset + len);
    s.read_offset += len;
    return true;
}
