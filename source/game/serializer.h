// Byte-stream reader/writer: one procedure per record serves both directions.
#pragma once
#include <cstring>
#include <type_traits>
#include <vector>
#include "common.h"

struct Serializer {
    bool is_writing = false;
    std::vector<u8> data;   // bytes written so far, or bytes being read
    i64 read_offset = 0;
    i32 version = 0;
    // When reading, a view of someone else's bytes avoids copying a whole file.
    const u8* view = nullptr;
    i64 view_len = 0;
};

Serializer serializer_reader(const u8* bytes, i64 len);
Serializer serializer_writer();
i64 serializer_length(const Serializer& s);

bool _serialize_raw(Serializer& s, void* value, size_t size);

template <typename T>
bool serialize(Serializer& s, T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    return _serialize_raw(s, &value, sizeof(T));
}

// Length-prefixed byte slice (signed 64-bit length). When reading, lengths that are
// negative or beyond the remaining bytes fail before anything is allocated.
bool _serialize_bytes(Serializer& s, std::vector<u8>& bytes);
