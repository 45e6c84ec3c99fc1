// Byte-stream reader/writer. Little-endian host assumed: values are their
// in-memory bytes.
#include "serializer.h"

#include <bit>

#include "bytes.h"

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

// The reading side as a reader at the read offset; nothing left when the offset is somehow
// outside the buffer.
static Bytes_Reader _serializer_reader(const Serializer& s) {
    i64 len = serializer_length(s);
    Bytes_Reader r = bytes_reader(_serializer_bytes(s), size_t(len));
    r.at = s.read_offset < 0 || s.read_offset > len ? size_t(len) : size_t(s.read_offset);
    return r;
}

bool _serialize_raw(Serializer& s, void* value, size_t size) {
    if (s.is_writing) {
        bytes_put(s.data, value, size);
        return true;
    }
    Bytes_Reader r = _serializer_reader(s);
    if (!bytes_take(r, value, size)) return false;  // value left unchanged
    s.read_offset += (i64)size;
    return true;
}

bool _serialize_bytes(Serializer& s, std::vector<u8>& bytes) {
    if (s.is_writing) {
        i64 len = (i64)bytes.size();
        serialize(s, len);
        bytes_put(s.data, bytes.data(), bytes.size());
        return true;
    }
    i64 len = 0;
    if (!serialize(s, len)) return false;
    // Checked before allocating: a length field can never make us allocate more than the
    // bytes that are actually there.
    Bytes_Reader r = _serializer_reader(s);
    if (len < 0 || u64(len) > bytes_left(r)) return false;
    bytes.assign(r.bytes + r.at, r.bytes + r.at + len);
    s.read_offset += len;
    return true;
}
