// An Ogg Vorbis stream that vorbisfile reads straight from bytes in memory: how the game
// decodes a bank's sounds, and how the data tools decode them back to check and measure them.
#pragma once
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common.h"

struct Vorbis_Memory {
    const u8* data = nullptr;
    size_t size = 0;  // bytes
    size_t at = 0;    // bytes read so far
};

inline size_t vorbis_memory_read(void* out, size_t size, size_t count, void* source) {
    Vorbis_Memory& m = *static_cast<Vorbis_Memory*>(source);
    if (size == 0) return 0;
    size_t items = std::min(count, (m.size - m.at) / size);
    std::memcpy(out, m.data + m.at, items * size);
    m.at += items * size;
    return items;
}

inline int vorbis_memory_seek(void* source, ogg_int64_t offset, int whence) {
    Vorbis_Memory& m = *static_cast<Vorbis_Memory*>(source);
    i64 base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? i64(m.at) : i64(m.size);
    i64 to = base + offset;
    if (to < 0 || to > i64(m.size)) return -1;
    m.at = size_t(to);
    return 0;
}

inline long vorbis_memory_tell(void* source) { return long(static_cast<Vorbis_Memory*>(source)->at); }

// Seekable, as a file would be: vorbisfile learns the stream's whole length on opening it.
inline const ov_callbacks VORBIS_MEMORY_CALLBACKS = {vorbis_memory_read, vorbis_memory_seek, nullptr,
                                                     vorbis_memory_tell};
