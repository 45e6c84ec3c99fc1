// Thin wrapper over liblz4's block API (the asset pack payload is one LZ4 block).
// Sizes are signed 32-bit, as liblz4 takes them; no call reads or writes outside the
// ranges given.
#pragma once
#include <cstdint>

// Decompresses one block. Returns the number of bytes written to dst (0 … dst_capacity),
// or a negative value when the input is malformed, does not fit, or a size is negative.
int32_t lz4_decompress_safe(const uint8_t* src, int32_t src_size, uint8_t* dst, int32_t dst_capacity);

// Worst-case compressed size for src_size input bytes; 0 when src_size is out of range.
int32_t lz4_compress_bound(int32_t src_size);

// Compresses one block (default acceleration). Returns the compressed size, or 0 on failure
// (dst_capacity too small, sizes out of range).
int32_t lz4_compress(const uint8_t* src, int32_t src_size, uint8_t* dst, int32_t dst_capacity);

// Compresses one block with the high-compression encoder (level 1 … 12; same block format).
int32_t lz4_compress_hc(const uint8_t* src, int32_t src_size, uint8_t* dst, int32_t dst_capacity, int level);
