#include "bank_vorbis.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr size_t FEED_BYTES = 1u << 16;  // bytes handed to the page reader at a time
constexpr int HEADER_PACKETS = 3;
constexpr long CODEBOOK_SYNC = 0x564342;
constexpr u32 MIN_BLOCK = 64, MAX_BLOCK = 8192;  // samples, libvorbis's own bounds
// A heap block's bookkeeping and rounding, so that many tiny blocks are not free.
constexpr u64 BLOCK_OVERHEAD = 32;  // bytes

int _ilog(u64 v) {
    int bits = 0;
    while (v) {
        bits++;
        v >>= 1;
    }
    return bits;
}

// Reads the Vorbis packet type and the word "vorbis" after it.
bool _packet_opens(oggpack_buffer& b, long type) {
    if (oggpack_read(&b, 8) != type) return false;
    for (char c : {'v', 'o', 'r', 'b', 'i', 's'})
        if (oggpack_read(&b, 8) != c) return false;
    return true;
}

// The largest v with v^dim <= entries: how many values a lattice codebook stores.
u64 _lattice_values(u64 entries, u64 dim) {
    u64 v = 1;
    for (;;) {
        u64 power = 1;
        for (u64 i = 0; i < dim && power <= entries; i++) power *= v + 1;
        if (power > entries) return v;
        v++;
    }
}

struct Codebook {
    long entries, dim;
    bool valued;  // has a value lattice (map type 1 or 2)
};

// One codebook as libvorbis unpacks it, refusing what it refuses; adds what it will
// allocate (static book, then the decode tables) and put on the stack while building them.
bool _codebook(oggpack_buffer& b, Vorbis_Setup& s, Codebook& out) {
    if (oggpack_read(&b, 24) != CODEBOOK_SYNC) return false;
    long dim = oggpack_read(&b, 16), entries = oggpack_read(&b, 24);
    if (dim < 0 || entries < 0 || _ilog(u64(dim)) + _ilog(u64(entries)) > 24) return false;
    s.max_entries = std::max(s.max_entries, u32(entries));
    s.max_dimensions = std::max(s.max_dimensions, u32(dim));
    // Checked before the lengths are read: a huge count would otherwise cost the time here.
    if (u32(entries) > BANK_VORBIS_MAX_ENTRIES || u32(dim) > BANK_VORBIS_MAX_DIMENSIONS) return false;
    long ordered = oggpack_read(&b, 1);
    if (ordered == 0) {
        long sparse = oggpack_read(&b, 1);
        if (sparse < 0) return false;
        for (long i = 0; i < entries; i++)
            if ((!sparse || oggpack_read(&b, 1) == 1) && oggpack_read(&b, 5) < 0) return false;
    } else if (ordered == 1) {
        long length = oggpack_read(&b, 5) + 1;
        if (length < 1) return false;
        for (long i = 0; i < entries;) {
            long count = oggpack_read(&b, _ilog(u64(entries - i)));
            if (count < 0 || length > 32 || count > entries - i || (count > 0 && (count - 1) >> (length - 1) > 1))
                return false;
            i += count;
            length++;
        }
    } else {
        return false;
    }
    long map = oggpack_read(&b, 4);
    u64 values = 0;
    if (map == 1 || map == 2) {
        oggpack_read(&b, 32);  // minimum
        oggpack_read(&b, 32);  // delta
        long bits = oggpack_read(&b, 4) + 1;
        if (oggpack_read(&b, 1) < 0) return false;  // sequence flag
        values = map == 1 ? (dim == 0 || entries == 0 ? 0 : _lattice_values(u64(entries), u64(dim))) : u64(entries) * u64(dim);
        for (u64 i = 0; i < values; i++)
            if (oggpack_read(&b, int(bits)) < 0) return false;
    } else if (map != 0) {
        return false;
    }
    u64 n = u64(entries);
    u64 static_bytes = n + values * sizeof(long) + 2 * BLOCK_OVERHEAD;
    // Words, code list, index, lengths, the value lattice and the 256-slot first table.
    u64 decode_bytes = n * (4 + 4 + 4 + 1) + (map != 0 ? n * u64(dim) * 4 : 0) + 256 * 4 + 6 * BLOCK_OVERHEAD;
    u64 stack_bytes = n * (sizeof(void*) + sizeof(int));
    s.setup_bytes += static_bytes + decode_bytes + stack_bytes;
    out = {entries, dim, map != 0};
    return true;
}

bool _floor(oggpack_buffer& b, const std::vector<Codebook>& books, u32 long_block, Vorbis_Setup& s) {
    long type = oggpack_read(&b, 16);
    if (type == 0) {
        long order = oggpack_read(&b, 8), rate = oggpack_read(&b, 16), bark = oggpack_read(&b, 16);
        oggpack_read(&b, 6);  // amplitude bits
        oggpack_read(&b, 8);  // amplitude offset
        long count = oggpack_read(&b, 4) + 1;
        if (order < 1 || rate < 1 || bark < 1 || count < 1) return false;
        for (long i = 0; i < count; i++) {
            long book = oggpack_read(&b, 8);
            if (book < 0 || size_t(book) >= books.size() || !books[size_t(book)].valued ||
                books[size_t(book)].dim < 1)
                return false;
        }
        // A linear map per block size, built on first use.
        s.setup_bytes += u64(long_block) * 4 + 4 * BLOCK_OVERHEAD;
        return true;
    }
    if (type != 1) return false;
    long partitions = oggpack_read(&b, 5), classes = 0;
    long partition_class[32] = {};
    for (long i = 0; i < partitions; i++) {
        partition_class[i] = oggpack_read(&b, 4);
        if (partition_class[i] < 0) return false;
        classes = std::max(classes, partition_class[i] + 1);
    }
    long class_dim[16] = {};
    for (long c = 0; c < classes; c++) {
        class_dim[c] = oggpack_read(&b, 3) + 1;
        long subs = oggpack_read(&b, 2);
        if (subs < 0) return false;
        if (subs > 0) {
            long book = oggpack_read(&b, 8);
            if (book < 0 || size_t(book) >= books.size()) return false;
        }
        for (long k = 0; k < (1l << subs); k++) {
            long book = oggpack_read(&b, 8) - 1;
            if (book < -1 || book >= long(books.size())) return false;
        }
    }
    oggpack_read(&b, 2);  // multiplier
    long range_bits = oggpack_read(&b, 4);
    if (range_bits < 0) return false;
    long posts = 0;
    for (long i = 0; i < partitions; i++) {
        posts += class_dim[partition_class[i]];
        if (posts > 63) return false;
        for (long k = 0; k < class_dim[partition_class[i]]; k++)
            if (oggpack_read(&b, int(range_bits)) < 0) return false;
    }
    return true;
}

bool _residue(oggpack_buffer& b, const std::vector<Codebook>& books, Vorbis_Setup& s) {
    long type = oggpack_read(&b, 16);
    if (type < 0 || type > 2) return false;
    oggpack_read(&b, 24);  // begin
    oggpack_read(&b, 24);  // end
    oggpack_read(&b, 24);  // grouping
    long partitions = oggpack_read(&b, 6) + 1;
    long group_book = oggpack_read(&b, 8);
    if (group_book < 0) return false;
    long stages = 0;
    for (long i = 0; i < partitions; i++) {
        long cascade = oggpack_read(&b, 3);
        long more = oggpack_read(&b, 1);
        if (more < 0) return false;
        if (more) {
            long high = oggpack_read(&b, 5);
            if (high < 0) return false;
            cascade |= high << 3;
        }
        stages += __builtin_popcountll(u64(cascade));
    }
    for (long i = 0; i < stages; i++) {
        long book = oggpack_read(&b, 8);
        if (book < 0 || size_t(book) >= books.size() || !books[size_t(book)].valued) return false;
    }
    if (size_t(group_book) >= books.size()) return false;
    const Codebook& group = books[size_t(group_book)];
    if (group.dim < 1) return false;
    u64 partition_values = 1;
    for (long d = 0; d < group.dim; d++) {
        partition_values *= u64(partitions);
        if (partition_values > u64(group.entries)) return false;
    }
    // The decode map: one small block of `dim` numbers per partition value.
    s.setup_bytes += partition_values * (sizeof(void*) + u64(group.dim) * 4 + BLOCK_OVERHEAD) +
                     u64(partitions) * (sizeof(void*) + 8 * sizeof(void*) + BLOCK_OVERHEAD);
    return true;
}

bool _identification(const std::vector<u8>& packet, u16 channels, u32& long_block) {
    oggpack_buffer b;
    oggpack_readinit(&b, const_cast<u8*>(packet.data()), int(packet.size()));
    if (!_packet_opens(b, 1) || oggpack_read(&b, 32) != 0) return false;  // version
    if (oggpack_read(&b, 8) != channels || oggpack_read(&b, 32) != long(BANK_RATE)) return false;
    for (int i = 0; i < 3; i++) oggpack_read(&b, 32);  // bit rates
    long short_bits = oggpack_read(&b, 4), long_bits = oggpack_read(&b, 4);
    if (short_bits < 0 || long_bits < 0) return false;
    u32 short_block = 1u << short_bits;
    long_block = 1u << long_bits;
    return short_block >= MIN_BLOCK && long_block >= short_block && long_block <= MAX_BLOCK &&
           oggpack_read(&b, 1) == 1;
}

bool _setup(const std::vector<u8>& packet, u32 long_block, Vorbis_Setup& s) {
    oggpack_buffer b;
    oggpack_readinit(&b, const_cast<u8*>(packet.data()), int(packet.size()));
    if (!_packet_opens(b, 5)) return false;
    long count = oggpack_read(&b, 8) + 1;
    if (count < 1) return false;
    s.codebooks = u32(count);
    if (s.codebooks > BANK_VORBIS_MAX_CODEBOOKS) return false;
    std::vector<Codebook> books(static_cast<size_t>(count));
    for (Codebook& book : books)
        if (!_codebook(b, s, book)) return false;
    long times = oggpack_read(&b, 6) + 1;
    for (long i = 0; i < times; i++)
        if (oggpack_read(&b, 16) != 0) return false;
    long floors = oggpack_read(&b, 6) + 1;
    if (floors < 1) return false;
    for (long i = 0; i < floors; i++)
        if (!_floor(b, books, long_block, s)) return false;
    long residues = oggpack_read(&b, 6) + 1;
    if (residues < 1) return false;
    for (long i = 0; i < residues; i++)
        if (!_residue(b, books, s)) return false;
    // Mappings and modes are a few bytes each whatever they say; libvorbis checks them.
    return true;
}

// Walks every page; the three header packets are gathered on the way.
struct Page_Walk {
    ogg_sync_state sync;
    ogg_stream_state stream;
    bool stream_open = false;
    Page_Walk() { ogg_sync_init(&sync); }
    ~Page_Walk() {
        ogg_sync_clear(&sync);
        if (stream_open) ogg_stream_clear(&stream);
    }
};

}  // namespace

std::optional<Vorbis_Setup> vorbis_setup_read(const u8* bytes, size_t size, u16 channels) {
    if (!bytes || size == 0) return std::nullopt;
    Page_Walk w;
    Vorbis_Setup s;
    std::vector<u8> headers[HEADER_PACKETS];
    int headers_done = 0;
    size_t fed = 0;
    u64 packet_bytes = 0;  // of the packet still open at the last page's end
    bool first = true;
    long serial = 0;
    for (;;) {
        ogg_page page;
        long got = ogg_sync_pageseek(&w.sync, &page);
        if (got < 0) return std::nullopt;  // bytes outside a page, or a page whose checksum fails
        if (got == 0) {
            if (fed == size) break;
            size_t n = std::min(FEED_BYTES, size - fed);
            char* into = ogg_sync_buffer(&w.sync, long(n));
            if (!into) return std::nullopt;
            std::memcpy(into, bytes + fed, n);
            ogg_sync_wrote(&w.sync, long(n));
            fed += n;
            continue;
        }
        // One logical stream: a chained or multiplexed one would set up a decoder per link.
        if (first != (ogg_page_bos(&page) != 0)) return std::nullopt;
        if (first) {
            serial = ogg_page_serialno(&page);
            if (ogg_stream_init(&w.stream, int(serial)) != 0) return std::nullopt;
            w.stream_open = true;
            first = false;
        } else if (ogg_page_serialno(&page) != serial) {
            return std::nullopt;
        }
        if ((packet_bytes > 0) != (ogg_page_continued(&page) != 0)) return std::nullopt;
        for (long i = 0; i < long(page.header[26]); i++) {
            packet_bytes += page.header[27 + i];
            if (packet_bytes > BANK_VORBIS_MAX_PACKET_BYTES) return std::nullopt;
            s.max_packet_bytes = std::max(s.max_packet_bytes, u32(packet_bytes));
            if (page.header[27 + i] < 255) packet_bytes = 0;
        }
        if (headers_done == HEADER_PACKETS) continue;
        if (ogg_stream_pagein(&w.stream, &page) != 0) return std::nullopt;
        ogg_packet packet;
        int out;
        while (headers_done < HEADER_PACKETS && (out = ogg_stream_packetout(&w.stream, &packet)) != 0) {
            if (out < 0) return std::nullopt;
            headers[headers_done++].assign(packet.packet, packet.packet + packet.bytes);
        }
    }
    // Every byte in whole pages, the last packet ended, the headers all there.
    if (first || packet_bytes > 0 || w.sync.fill != w.sync.returned || headers_done < HEADER_PACKETS)
        return std::nullopt;
    u32 long_block = 0;
    oggpack_buffer comment;
    oggpack_readinit(&comment, headers[1].data(), int(headers[1].size()));
    if (!_identification(headers[0], channels, long_block) || !_packet_opens(comment, 3) ||
        !_setup(headers[2], long_block, s) || s.setup_bytes > BANK_VORBIS_MAX_SETUP_BYTES)
        return std::nullopt;
    return s;
}

bool bank_streams_acceptable(const Bank& bank) {
    for (const Bank_Event& e : bank.events) {
        switch (e.codec) {
        case codec_vorbis:
            if (!vorbis_setup_read(bank.data.data() + e.first_byte, e.byte_count, e.channels)) return false;
            break;
        // The bank reader already held modules to their own limits.
        case codec_module: break;
        }
    }
    return true;
}
