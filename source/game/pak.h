// The asset pack file: "SBPK" header around an optionally lz4-compressed payload.
#pragma once
#include <optional>
#include <vector>
#include "serializer.h"

enum Pak_Compression : u8 { pak_none = 0, pak_lz4 = 1 };

struct Pak {
    u8 magic[4] = {'S', 'B', 'P', 'K'};
    Pak_Compression compression = pak_none;
    i64 uncompressed_size = 0;
    std::vector<u8> payload;
};

bool pak_serialize(Serializer& s, Pak& pak);
// Payload after decompression, or nothing when the file is missing or invalid.
std::optional<std::vector<u8>> pak_load_from_bytes(const u8* bytes, i64 len);
std::optional<std::vector<u8>> pak_load_from_file(const char* path);
// Builds a whole pack file around a payload (the writing direction, used by tools and tests).
// lz4 uses the high-compression encoder (same block format); empty result on failure.
std::vector<u8> pak_build(const std::vector<u8>& payload, Pak_Compression compression, i32 version);
