// libFuzzer target: the main bank reader, the strings bank reader and the lookup that
// joins them; every module the reader lets through is loaded and played a little by the
// module player, as the game would. An input starting with "VNBK" and holding "VNST"
// further on is also split
// there into a main bank and a strings bank, so one input can exercise the pair.
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "game/bank.h"
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
    std::vector<u8> out;
    _require(bank_write(bank, out));
    _require(out.size() == size && std::memcmp(out.data(), data, size) == 0);
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
    if (bank) _check_bank(*bank, whole.data(), whole.size());
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
