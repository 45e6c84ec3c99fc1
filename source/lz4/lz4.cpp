#include "lz4/lz4.h"

#include <lz4.h>    // liblz4 (system header; the wrapper above lives under source/lz4/)
#include <lz4hc.h>

// liblz4 dereferences the source even for an empty block, so an empty input (whose data
// pointer may be null, as with an empty std::vector) is given a real byte to point at.
static const uint8_t* _non_null(const uint8_t* src) {
    static const uint8_t empty = 0;
    return src ? src : &empty;
}

int32_t lz4_decompress_safe(const uint8_t* src, int32_t src_size, uint8_t* dst, int32_t dst_capacity) {
    if (src_size < 0 || dst_capacity < 0) return -1;
    if ((src_size > 0 && !src) || (dst_capacity > 0 && !dst)) return -1;
    return LZ4_decompress_safe(reinterpret_cast<const char*>(src), reinterpret_cast<char*>(dst),
                               src_size, dst_capacity);
}

int32_t lz4_compress_bound(int32_t src_size) {
    if (src_size < 0) return 0;
    return LZ4_compressBound(src_size);
}

int32_t lz4_compress(const uint8_t* src, int32_t src_size, uint8_t* dst, int32_t dst_capacity) {
    if (src_size < 0 || dst_capacity <= 0 || !dst || (src_size > 0 && !src)) return 0;
    return LZ4_compress_default(reinterpret_cast<const char*>(_non_null(src)), reinterpret_cast<char*>(dst),
                                src_size, dst_capacity);
}

int32_t lz4_compress_hc(const uint8_t* src, int32_t src_size, uint8_t* dst, int32_t dst_capacity, int level) {
    if (src_size < 0 || dst_capacity <= 0 || !dst || (src_size > 0 && !src)) return 0;
    return LZ4_compress_HC(reinterpret_cast<const char*>(_non_null(src)), reinterpret_cast<char*>(dst),
                           src_size, dst_capacity, level);
}
