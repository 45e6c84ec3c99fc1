// libFuzzer target: the main bank reader, the strings bank reader and the lookup that
// joins them. An input starting with "VNBK" and holding "VNST" further on is also split
// there into a main bank and a strings bank, so one input can exercise the pair. Every
// sound the game's own checks let through is handed to its player, as the game would (run
// it with a memory limit: mk/fuzz.mk gives 512 MiB and a timeout): modules are loaded and
// played a little; Vorbis streams are decoded, each as it is and once more with its Ogg
// page checksums put right, so mutations reach the header checks.
#include <ogg/ogg.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "game/bank.h"
#include "game/bank_vorbis.h"
#include "game/module_player.h"

namespace {

void _require(bool ok) {
    if (!ok) std::abort();
}

void _play_module(const u8* bytes, size_t size) {
    _require(bank_module_valid(bytes, size));
    xmp_context player = xmp_create_context();
    if (module_player_load(player, bytes, size) && module_player_start(player)) {
        for (int frame = 0; frame < 8; frame++) xmp_play_frame(player);
        xmp_end_player(player);
        xmp_release_module(player);
    }
    xmp_free_context(player);
}

// Anything the reader accepts must write back to the very same bytes, keep every event
// inside the sound data and promise no more decoded sound than the cap.
void _check_bank(const Bank& bank, const u8* data, size_t size) {
    _require(bank.events.size() <= BANK_MAX_EVENTS);
    u64 frames = 0;
    for (const Bank_Event& e : bank.events) {
        _require(e.channels == 1 || e.channels == 2);
        _require(e.sample_rate == BANK_RATE);
        _require(e.max_instances >= 1 && e.max_instances <= BANK_MAX_INSTANCES);
        _require(e.frames > 0 && e.byte_count > 0);
        _require(u64(e.first_byte) + e.byte_count <= bank.data.size());
        volatile u8 last = bank.data[e.first_byte + e.byte_count - 1];
        (void)last;
        frames += e.frames;
        if (e.codec == codec_module) _play_module(bank.data.data() + e.first_byte, e.byte_count);
    }
    _require(frames <= BANK_MAX_TOTAL_FRAMES);
    u64 one_shots = 0;
    for (const Bank_Event& e : bank.events) one_shots += e.loop ? 0 : e.frames;
    _require(one_shots <= BANK_MAX_ONE_SHOT_FRAMES);
    std::vector<u8> out;
    _require(bank_write(bank, out));
    _require(out.size() == size && std::memcmp(out.data(), data, size) == 0);
}

// Enough to reach every decoder state; the game decodes loops piece by piece anyway.
constexpr u32 DECODE_CAP = 1u << 20;  // frames

// Opened and decoded as the game does, to one frame past what the table entry promises.
void _decode(std::vector<u8>& stream, const Bank_Event& e) {
    if (!vorbis_setup_read(stream.data(), stream.size(), e.channels)) return;
    FILE* f = fmemopen(stream.data(), stream.size(), "rb");
    if (!f) return;
    OggVorbis_File vf;
    if (ov_open(f, &vf, nullptr, 0) != 0) {
        std::fclose(f);
        return;
    }
    u64 left = u64(std::min(e.frames, DECODE_CAP)) + 1;
    char pcm[8192];
    int section = 0;
    while (left > 0) {
        long got = ov_read(&vf, pcm, int(std::min<u64>(sizeof pcm, left * 2 * e.channels)), 0, 2, 1, &section);
        if (got <= 0) break;
        left -= std::min<u64>(left, u64(got) / (2 * e.channels));
    }
    ov_clear(&vf);
}

// Recomputes the checksum of every whole page from the first "OggS" on.
bool _fix_page_checksums(std::vector<u8>& s) {
    bool changed = false;
    for (size_t at = 0; s.size() - at >= 27 && std::memcmp(&s[at], "OggS", 4) == 0;) {
        size_t header = 27 + size_t(s[at + 26]);
        if (s.size() - at < header) break;
        size_t body = 0;
        for (size_t i = 27; i < header; i++) body += s[at + i];
        if (s.size() - at - header < body) break;
        ogg_page page = {&s[at], long(header), &s[at + header], long(body)};
        u8 old[4];
        std::memcpy(old, &s[at + 22], 4);
        ogg_page_checksum_set(&page);
        changed = changed || std::memcmp(old, &s[at + 22], 4) != 0;
        at += header + body;
    }
    return changed;
}

void _decode_streams(const Bank& bank) {
    for (const Bank_Event& e : bank.events) {
        switch (e.codec) {
        case codec_vorbis: {
            std::vector<u8> stream(bank.data.begin() + e.first_byte,
                                   bank.data.begin() + e.first_byte + e.byte_count);
            _decode(stream, e);
            if (_fix_page_checksums(stream)) _decode(stream, e);
            break;
        }
        case codec_module: break;  // played by _check_bank
        }
    }
}

void _check_strings(const Strings_Bank& strings, const u8* data, size_t size) {
    _require(strings.entries.size() <= BANK_MAX_STRINGS);
    std::vector<u8> out;
    _require(strings_bank_write(strings, out));
    _require(out.size() == size && std::memcmp(out.data(), data, size) == 0);
}

void _check_pair(const Strings_Bank& strings, const Bank& bank) {
    for (const Bank_String& s : strings.entries) {
        std::optional<u32> found = bank_find_event(strings, bank, s.path);
        if (!found) continue;
        _require(*found < bank.events.size());
        const Bank_Event& e = bank.events[*found];
        volatile u8 first = bank.data[e.first_byte];
        (void)first;
    }
    _require(!bank_find_event(strings, bank, std::string_view()).has_value());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    // Exact-size copies, so that ASan sees any read past the end.
    std::vector<u8> whole(data, data + size);
    std::optional<Bank> bank = bank_read(whole.data(), whole.size());
    if (bank) {
        _check_bank(*bank, whole.data(), whole.size());
        _decode_streams(*bank);
    }
    std::optional<Strings_Bank> strings = strings_bank_read(whole.data(), whole.size());
    if (strings) _check_strings(*strings, whole.data(), whole.size());

    std::string_view view(reinterpret_cast<const char*>(data), size);
    size_t split = view.find("VNST", 4);
    if (size < 4 || std::memcmp(data, "VNBK", 4) != 0 || split == std::string_view::npos) return 0;
    std::vector<u8> main_bytes(data, data + split);
    std::vector<u8> strings_bytes(data + split, data + size);
    std::optional<Bank> b = bank_read(main_bytes.data(), main_bytes.size());
    std::optional<Strings_Bank> s = strings_bank_read(strings_bytes.data(), strings_bytes.size());
    if (!b || !s) return 0;
    _check_bank(*b, main_bytes.data(), main_bytes.size());
    _check_strings(*s, strings_bytes.data(), strings_bytes.size());
    _check_pair(*s, *b);
    return 0;
}
