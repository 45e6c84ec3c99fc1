// What a bank's Ogg Vorbis stream may ask of the decoder. libvorbis sizes its set-up by
// what a stream's setup header declares (one codebook of 2^22 entries puts 48 MiB on the
// stack), so every stream is read here before the decoder sees it, and one outside these
// limits refuses its whole bank, like damage. The game's own streams use at most 35
// codebooks of up to 625 entries and dimension 4, packets of 3.4 KB and about 0.2 MiB of
// set-up; the encoder at any quality, mono or stereo, at most 44 codebooks, 6,561 entries,
// dimension 8, 4.2 KB and 0.6 MiB. Three streams are set up at once at most (two tunes and
// the sound being prepared).
#pragma once
#include <cstddef>
#include <optional>

#include "bank.h"
#include "common.h"

constexpr size_t BANK_VORBIS_MAX_PACKET_BYTES = 64u << 10;  // bytes, any packet
constexpr u32 BANK_VORBIS_MAX_CODEBOOKS = 128;
constexpr u32 BANK_VORBIS_MAX_ENTRIES = 16384;    // per codebook
constexpr u32 BANK_VORBIS_MAX_DIMENSIONS = 32;    // per codebook
// Heap and stack the decoder's set-up may take for one stream, as its headers tell.
constexpr u64 BANK_VORBIS_MAX_SETUP_BYTES = 4u << 20;  // bytes

// The set-up one stream asks for, read from its own headers.
struct Vorbis_Setup {
    u32 codebooks = 0;
    u32 max_entries = 0;     // of any codebook
    u32 max_dimensions = 0;  // of any codebook
    u32 max_packet_bytes = 0;
    u64 setup_bytes = 0;     // bytes: what libvorbis allocates, and puts on the stack, to start decoding
};

// None unless the bytes are exactly one Ogg logical stream, every page whole, opening with
// Vorbis headers for `channels` channels at BANK_RATE that libvorbis itself would accept as
// far as they are read (codebooks, floors, residues), and all within the limits above.
std::optional<Vorbis_Setup> vorbis_setup_read(const u8* bytes, size_t size, u16 channels);
// Every Vorbis event's stream reads.
bool bank_streams_acceptable(const Bank& bank);
