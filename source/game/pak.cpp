// The asset pack file: header + payload, payload stored as is or as one LZ4 block.
#include "pak.h"

#include <climits>
#include <cstring>

#include "lz4/lz4.h"
#include "platform/files.h"

// Sanity caps, beyond the format's own limits, so that no file can make the loader
// allocate absurd amounts of memory: our real pack is well under 1 MiB.
//  - PAK_MAX_FILE_SIZE: larger files are refused before they are read.
//  - PAK_MAX_UNCOMPRESSED_SIZE: an lz4 `uncompressed_size` above this is refused before the
//    decompression buffer is allocated (the format's own limit is INT32_MAX, since liblz4
//    takes signed 32-bit sizes).
constexpr i64 PAK_MAX_FILE_SIZE = 64ll * 1024 * 1024;
constexpr i64 PAK_MAX_UNCOMPRESSED_SIZE = 64ll * 1024 * 1024;

bool pak_serialize(Serializer& s, Pak& pak) {
    if (!serialize(s, pak.magic)) return false;
    if (std::memcmp(pak.magic, "SBPK", 4) != 0) return false;
    if (!serialize(s, s.version)) return false;
    if (!serialize(s, pak.compression)) return false;
    if (!serialize(s, pak.uncompressed_size)) return false;
    if (!_serialize_bytes(s, pak.payload)) return false;
    return true;
}

std::optional<std::vector<u8>> pak_load_from_bytes(const u8* bytes, i64 len) {
    Serializer s = serializer_reader(bytes, len);
    Pak pak;
    if (!pak_serialize(s, pak)) return std::nullopt;
    switch (pak.compression) {
    case pak_none:
        return std::move(pak.payload);
    case pak_lz4: {
        // Outside the format's limits: treated as load failures.
        if (pak.payload.empty()) return std::nullopt;
        if (pak.payload.size() > (size_t)INT32_MAX) return std::nullopt;
        if (pak.uncompressed_size <= 0 || pak.uncompressed_size > INT32_MAX) return std::nullopt;
        if (pak.uncompressed_size > PAK_MAX_UNCOMPRESSED_SIZE) return std::nullopt;
        std::vector<u8> out((size_t)pak.uncompressed_size);
        i32 r = lz4_decompress_safe(pak.payload.data(), (i32)pak.payload.size(), out.data(),
                                    (i32)pak.uncompressed_size);
        if (r < 0) return std::nullopt;
        out.resize((size_t)r);  // r may be smaller than uncompressed_size; the shorter payload is used
        return out;
    }
    default:
        // Unknown compression: an empty payload, on which assets_serialize fails.
        return std::vector<u8>{};
    }
}

std::optional<std::vector<u8>> pak_load_from_file(const char* path) {
    std::optional<std::vector<u8>> file = file_read_whole(path, PAK_MAX_FILE_SIZE);
    if (!file) return std::nullopt;
    return pak_load_from_bytes(file->data(), (i64)file->size());
}

std::vector<u8> pak_build(const std::vector<u8>& payload, Pak_Compression compression, i32 version) {
    Pak pak;
    pak.compression = compression;
    pak.uncompressed_size = (i64)payload.size();
    if (compression == pak_lz4) {
        if (payload.size() > (size_t)INT32_MAX) return {};
        i32 src = (i32)payload.size();
        i32 bound = lz4_compress_bound(src);
        if (bound <= 0) return {};
        pak.payload.resize((size_t)bound);
        i32 n = lz4_compress_hc(payload.data(), src, pak.payload.data(), bound, 12);
        if (n <= 0) return {};
        pak.payload.resize((size_t)n);
    } else {
        pak.payload = payload;
    }
    Serializer s = serializer_writer();
    s.version = version;
    pak_serialize(s, pak);
    return std::move(s.data);
}
