#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "game/audio.h"
#include "game/bank.h"
#include "game/random.h"
#include "game/volume.h"
#include "harness.h"

namespace {

const std::string BANK_DIR = VANTOREL_BUILD_DIR "/data/Desktop/";

// The reader checks the container, not the streams inside, so any bytes do here.
Bank _small_bank() {
    Bank b;
    b.data = {'O', 'g', 'g', 'S', 5, 6, 7, 8, 9, 10};
    b.events.push_back({BANK_RATE, 1, true, 0.5f, 1.0f, 2, 100, 0, 4});
    b.events.push_back({BANK_RATE, 2, false, 1.0f, 0.1f, 1, 50, 4, 6});
    return b;
}

Strings_Bank _small_strings() {
    return {{{"event:/music_menu", 0}, {"event:/ui_hover", 1}}};
}

std::vector<u8> _bytes_of(const Bank& b) {
    std::vector<u8> out;
    EXPECT_TRUE(bank_write(b, out));
    return out;
}

void _put_u32(std::vector<u8>& bytes, size_t at, u32 v) {
    for (int i = 0; i < 4; i++) bytes[at + i] = u8(v >> (8 * i));
}

bool _bank_ok(const std::vector<u8>& bytes) { return bank_read(bytes.data(), bytes.size()).has_value(); }

std::string _temp_dir() {
    char name[] = "/tmp/vantorel_audio_XXXXXX";
    return mkdtemp(name) ? name : "";
}

// Restores the working directory when a test leaves, whatever happened inside.
struct Cwd_Guard {
    char saved[4096];
    Cwd_Guard() { EXPECT_NE(getcwd(saved, sizeof saved), nullptr); }
    ~Cwd_Guard() { EXPECT_EQ(chdir(saved), 0); }
};

void _write(const std::string& path, const std::vector<u8>& bytes) {
    ASSERT_TRUE(bank_write_file_atomic(path.c_str(), bytes));
}

std::vector<u8> _read(const std::string& path) {
    std::vector<u8> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    u8 chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    return bytes;
}

} // namespace

// ---- Bank files --------------------------------------------------------------------------

TEST(Bank, RoundTripKeepsEverything) {
    Bank b = _small_bank();
    std::vector<u8> bytes = _bytes_of(b);
    std::optional<Bank> back = bank_read(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->data, b.data);
    ASSERT_EQ(back->events.size(), 2u);
    for (size_t i = 0; i < 2; i++) {
        const Bank_Event &x = b.events[i], &y = back->events[i];
        EXPECT_EQ(x.sample_rate, y.sample_rate);
        EXPECT_EQ(x.channels, y.channels);
        EXPECT_EQ(x.loop, y.loop);
        EXPECT_EQ(x.volume, y.volume);
        EXPECT_EQ(x.fade_out, y.fade_out);
        EXPECT_EQ(x.max_instances, y.max_instances);
        EXPECT_EQ(x.frames, y.frames);
        EXPECT_EQ(x.first_byte, y.first_byte);
        EXPECT_EQ(x.byte_count, y.byte_count);
    }
    // Little-endian on disk whatever the machine: the magic, then version 3.
    EXPECT_EQ(std::memcmp(bytes.data(), "VNBK\x03\0\0\0", 8), 0);

    std::vector<u8> sbytes;
    ASSERT_TRUE(strings_bank_write(_small_strings(), sbytes));
    std::optional<Strings_Bank> s = strings_bank_read(sbytes.data(), sbytes.size());
    ASSERT_TRUE(s);
    EXPECT_EQ(bank_find_event(*s, *back, "event:/ui_hover"), 1u);
    EXPECT_EQ(bank_find_event(*s, *back, "event:/music_menu"), 0u);
    EXPECT_FALSE(bank_find_event(*s, *back, "event:/ui_press"));
    EXPECT_FALSE(bank_find_event(*s, *back, "event:/ui_hove"));
}

TEST(Bank, EveryTruncationAndTrailingByteIsRefused) {
    std::vector<u8> bytes = _bytes_of(_small_bank());
    for (size_t n = 0; n < bytes.size(); n++) EXPECT_FALSE(bank_read(bytes.data(), n)) << n;
    bytes.push_back(0);
    EXPECT_FALSE(_bank_ok(bytes));

    std::vector<u8> sbytes;
    ASSERT_TRUE(strings_bank_write(_small_strings(), sbytes));
    for (size_t n = 0; n < sbytes.size(); n++) EXPECT_FALSE(strings_bank_read(sbytes.data(), n)) << n;
    sbytes.push_back(0);
    EXPECT_FALSE(strings_bank_read(sbytes.data(), sbytes.size()));
    EXPECT_FALSE(bank_read(nullptr, 0));
}

TEST(Bank, CorruptCountsLengthsAndSettingsAreRefused) {
    const std::vector<u8> good = _bytes_of(_small_bank());
    ASSERT_TRUE(_bank_ok(good));
    // Header: magic 0, version 4, count 8, data size 12; records from 16, 32 bytes each:
    // rate 0, channels 4, flags 6, volume 8, fade 12, max instances 16, reserved 18,
    // frames 20, offset 24, length 28.
    struct Patch {
        size_t at;
        u32 value;
    };
    const size_t second = 16 + 32;
    const Patch patches[] = {
        {0, 0x4b424e56 ^ 1},       // magic
        {4, 1},                    // the old raw-sample version
        {8, 0xffffffff},           // huge event count
        {8, 3},                    // count the table does not hold
        {12, 0xfffffffe},          // huge data size
        {16, 22050},               // a rate that would need resampling
        {16, 0},                   // rate 0
        {20, 3},                   // three channels
        {20, 0x00040001},          // unknown flag bit
        {24, 0x7fc00000},          // NaN volume
        {24, 0x40000000},          // volume 2
        {28, 0xbf800000},          // negative fade
        {32, 0},                   // no instance allowed
        {32, BANK_MAX_INSTANCES + 1},
        {32, 0x00010002},          // reserved bits set
        {36, 0},                   // decodes to nothing
        {36, BANK_MAX_TOTAL_FRAMES + 1},
        {44, 0},                   // empty sound
        {44, 0xfffffffe},          // length past the data
        {44, 6},                   // first event runs into the second
        {second + 24, 2},          // second event overlaps the first
        {second + 24, 0xfffffffc}, // offset that wraps when added to the length
        // Each event within the cap, but together past it: a bank that would decode to
        // more than the cap allows is refused before anything is decoded.
        {second + 20, BANK_MAX_TOTAL_FRAMES - 99},
    };
    for (const Patch& p : patches) {
        std::vector<u8> bad = good;
        _put_u32(bad, p.at, p.value);
        EXPECT_FALSE(_bank_ok(bad)) << "patch at " << p.at << " = " << p.value;
    }
    std::vector<u8> at_cap = good;
    _put_u32(at_cap, second + 20, BANK_MAX_TOTAL_FRAMES - 100);
    EXPECT_TRUE(_bank_ok(at_cap));

    // The writer refuses what the reader would refuse.
    Bank overlap = _small_bank();
    overlap.events[1].first_byte = 2;
    std::vector<u8> out;
    EXPECT_FALSE(bank_write(overlap, out));
    Bank past_end = _small_bank();
    past_end.events[1].byte_count = 8;
    EXPECT_FALSE(bank_write(past_end, out));
    Bank too_long = _small_bank();
    too_long.events[1].frames = BANK_MAX_TOTAL_FRAMES;
    EXPECT_FALSE(bank_write(too_long, out));
}

TEST(Bank, StringsBankIsCheckedAndLookupsStayInRange) {
    std::vector<u8> sbytes;
    ASSERT_TRUE(strings_bank_write(_small_strings(), sbytes));
    auto refused = [&](size_t at, std::vector<u8> patch) {
        std::vector<u8> bad = sbytes;
        std::copy(patch.begin(), patch.end(), bad.begin() + at);
        return !strings_bank_read(bad.data(), bad.size());
    };
    EXPECT_TRUE(refused(8, {0xff, 0xff, 0xff, 0xff})); // huge entry count
    EXPECT_TRUE(refused(8, {3, 0, 0, 0}));             // one entry more than stored
    EXPECT_TRUE(refused(12, {0, 0}));                  // empty path
    EXPECT_TRUE(refused(12, {0xff, 0xff}));            // path longer than the file
    EXPECT_TRUE(refused(14, {0}));                     // NUL inside a path

    // An index past the main bank's events is read but never returned.
    Strings_Bank wild = {{{"event:/boss_dying", 7}, {"event:/game_win", 0xffffffff}}};
    ASSERT_TRUE(strings_bank_write(wild, sbytes));
    std::optional<Strings_Bank> s = strings_bank_read(sbytes.data(), sbytes.size());
    ASSERT_TRUE(s);
    Bank b = _small_bank();
    EXPECT_FALSE(bank_find_event(*s, b, "event:/boss_dying"));
    EXPECT_FALSE(bank_find_event(*s, b, "event:/game_win"));
    // Without a strings bank nothing has a path.
    EXPECT_FALSE(bank_find_event(Strings_Bank{}, b, "event:/music_menu"));
}

TEST(Bank, FilesAreWrittenWholeAndReadBack) {
    std::string dir = _temp_dir();
    ASSERT_FALSE(dir.empty());
    std::string path = dir + "/persistent.bank";
    _write(path, _bytes_of(_small_bank()));
    EXPECT_TRUE(temporaries_of(dir, "persistent.bank").empty());
    std::optional<Bank> back = bank_read_file(path.c_str());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->data, _small_bank().data);
    EXPECT_FALSE(bank_read_file((dir + "/missing.bank").c_str()));
    EXPECT_FALSE(bank_write_file_atomic((dir + "/no/such/dir.bank").c_str(), {1, 2}));
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

// ---- The audio layer -------------------------------------------------------------------

TEST(Audio, WithoutBanksEverythingIsSilentButCounted) {
    Cwd_Guard cwd;
    std::string dir = _temp_dir();
    ASSERT_EQ(chdir(dir.c_str()), 0);
    audio_shutdown(); // before any init: harmless
    for (int round = 0; round < 2; round++) {
        audio_trace = {};
        audio_init();
        for (int e = 0; e < AUDIO_EVENT_COUNT; e++) EXPECT_EQ(audio_play(Audio_Event(e)), 0u);
        audio_play(new_stage);
        EXPECT_EQ(audio_trace.started[new_stage], 2u);
        EXPECT_EQ(audio_trace.started[player_idle], 1u);
        audio_stop(0);
        audio_stop(0x12345601);
        audio_stop(0xffffffff);
        EXPECT_EQ(audio_trace.stopped, 0u);
        audio_set_listener({3, -4}, {10, 20});
        EXPECT_EQ(audio_trace.listener_pos.x, 3);
        EXPECT_EQ(audio_trace.listener_vel.y, 20);
        audio_update();
        audio_shutdown();
    }
    audio_shutdown();
    rmdir(dir.c_str());
}

TEST(Audio, MainBankWithoutUsableStringsBankFindsNothing) {
    Cwd_Guard cwd;
    std::vector<u8> main_bank = _read(BANK_DIR + "persistent.bank");
    ASSERT_FALSE(main_bank.empty()) << "the build writes the banks to " << BANK_DIR;
    std::string dir = _temp_dir();
    ASSERT_EQ(mkdir((dir + "/data").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir + "/data/Desktop").c_str(), 0755), 0);
    _write(dir + "/data/Desktop/persistent.bank", main_bank);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    for (int round = 0; round < 2; round++) {
        // First no strings bank at all, then one that is garbage.
        if (round == 1) _write(dir + "/data/Desktop/persistent.strings.bank", {'V', 'N', 'S', 'T', 1, 0});
        audio_init();
        for (int e = 0; e < AUDIO_EVENT_COUNT; e++) EXPECT_EQ(audio_play(Audio_Event(e)), 0u) << e;
        audio_shutdown();
    }
    std::remove((dir + "/data/Desktop/persistent.bank").c_str());
    std::remove((dir + "/data/Desktop/persistent.strings.bank").c_str());
    rmdir((dir + "/data/Desktop").c_str());
    rmdir((dir + "/data").c_str());
    rmdir(dir.c_str());
}

TEST(Audio, RealBanksPlayStopAndSurviveStaleHandles) {
    Cwd_Guard cwd;
    ASSERT_EQ(chdir(VANTOREL_BUILD_DIR), 0);
    audio_trace = {};
    audio_init();
    for (int e = 0; e < AUDIO_EVENT_COUNT; e++) EXPECT_NE(audio_play(Audio_Event(e)), 0u) << audio_event_names[e];
    audio_shutdown();

    audio_init();
    // A one-shot ends and its channel is taken by the next sound: the old handle must not
    // reach the new sound.
    Audio_Instance hover = audio_play(ui_hover);
    ASSERT_NE(hover, 0u);
    SDL_Delay(250);
    Audio_Instance rumble = audio_play(boss_waking_up);
    ASSERT_NE(rumble, 0u);
    EXPECT_NE(rumble, hover);
    audio_stop(hover);
    EXPECT_EQ(audio_trace.stopped, 0u);
    EXPECT_EQ(Mix_Playing(-1), 1);
    audio_stop(rumble);
    EXPECT_EQ(audio_trace.stopped, 1u);
    audio_stop(rumble); // already on its way out
    EXPECT_EQ(audio_trace.stopped, 1u);

    for (int i = 0; i < 3000 && Mix_Playing(-1) > 0; i++) SDL_Delay(1);
    ASSERT_EQ(Mix_Playing(-1), 0) << "the faded rumble never ended";
    // A bomb chain: more one-shots in a frame than channels. Each start takes over the
    // oldest bomb, so no start is lost and the chain keeps to the bank's limit of bombs.
    int started = 0;
    for (int i = 0; i < 100; i++) started += audio_play(bomb_explode) != 0;
    EXPECT_EQ(started, 100);
    EXPECT_EQ(audio_trace.started[bomb_explode], 101u);
    EXPECT_EQ(audio_trace.stolen[bomb_explode], 98u);
    // Taken-over instances fade for a few milliseconds before their channels free up.
    for (int i = 0; i < 1000 && Mix_Playing(-1) > 2; i++) SDL_Delay(1);
    EXPECT_EQ(Mix_Playing(-1), 2) << "two bombs";

    // Music keeps playing past its stop call while it fades, then ends.
    audio_shutdown();
    audio_init();
    Audio_Instance music = audio_play(music_game);
    ASSERT_NE(music, 0u);
    SDL_Delay(100);
    audio_stop(music);
    SDL_Delay(200);
    EXPECT_EQ(Mix_Playing(-1), 1) << "music was cut, not faded";
    SDL_Delay(1300);
    EXPECT_EQ(Mix_Playing(-1), 0) << "music did not end after its fade";
    audio_shutdown();
}

namespace {

// The real bank's stream for one event, for hand-made banks that need real sound data.
std::vector<u8> _real_stream(Bank_Event& e, Audio_Event which) {
    std::optional<Bank> real = bank_read_file(VANTOREL_BUILD_DIR "/data/Desktop/persistent.bank");
    if (!real) return {};
    e = real->events[which];
    return std::vector<u8>(real->data.begin() + e.first_byte, real->data.begin() + e.first_byte + e.byte_count);
}

// Writes data/Desktop in a fresh folder: the bank given, and every event name pointing
// at event `index_of(name)`.
std::string _bank_folder(const Bank& bank, u32 (*index_of)(int)) {
    std::string dir = _temp_dir();
    mkdir((dir + "/data").c_str(), 0755);
    mkdir((dir + "/data/Desktop").c_str(), 0755);
    std::vector<u8> bytes, sbytes;
    Strings_Bank names;
    for (int e = 0; e < AUDIO_EVENT_COUNT; e++)
        names.entries.push_back({std::string("event:/") + audio_event_names[e], index_of(e)});
    EXPECT_TRUE(bank_write(bank, bytes));
    EXPECT_TRUE(strings_bank_write(names, sbytes));
    _write(dir + "/data/Desktop/persistent.bank", bytes);
    _write(dir + "/data/Desktop/persistent.strings.bank", sbytes);
    return dir;
}

void _remove_bank_folder(const std::string& dir) {
    std::remove((dir + "/data/Desktop/persistent.bank").c_str());
    std::remove((dir + "/data/Desktop/persistent.strings.bank").c_str());
    rmdir((dir + "/data/Desktop").c_str());
    rmdir((dir + "/data").c_str());
    rmdir(dir.c_str());
}

// A bank holding one real stream, which every event name points at, as the working folder;
// `table_frames` (when not 0) replaces the length its table entry promises. "" on failure.
std::string _enter_one_stream_bank(Audio_Event which, Bank_Event& e, u32 table_frames = 0) {
    Bank bank;
    bank.data = _real_stream(e, which);
    if (bank.data.empty()) return "";
    e.first_byte = 0;
    if (table_frames != 0) e.frames = table_frames;
    bank.events.push_back(e);
    std::string dir = _bank_folder(bank, [](int) { return 0u; });
    if (chdir(dir.c_str()) != 0) return "";
    return dir;
}

int _channels_playing() { return Mix_Playing(-1); }

} // namespace

TEST(Audio, InstanceLimitsStealTheOldestAndKeepTheDoubleNewStage) {
    Cwd_Guard cwd;
    ASSERT_EQ(chdir(VANTOREL_BUILD_DIR), 0);
    audio_trace = {};
    audio_init();
    // A stage ends with two new_stage together: both sound.
    ASSERT_NE(audio_play(new_stage), 0u);
    ASSERT_NE(audio_play(new_stage), 0u);
    EXPECT_EQ(audio_trace.stolen[new_stage], 0u);
    EXPECT_EQ(_channels_playing(), 2);
    // Rocks bursting together: three sound, each further one replaces the oldest, and
    // its handle goes stale.
    Audio_Instance first = audio_play(asteroid_destroyed);
    for (int i = 0; i < 6; i++) ASSERT_NE(audio_play(asteroid_destroyed), 0u);
    EXPECT_EQ(audio_trace.started[asteroid_destroyed], 7u);
    EXPECT_EQ(audio_trace.stolen[asteroid_destroyed], 4u);
    audio_stop(first);
    EXPECT_EQ(audio_trace.stopped, 0u);
    // A bomb chain keeps to two bombs once the taken-over ones have faded.
    audio_shutdown();
    audio_init();
    for (int i = 0; i < 5; i++) ASSERT_NE(audio_play(bomb_explode), 0u);
    EXPECT_EQ(audio_trace.stolen[bomb_explode], 3u);
    for (int i = 0; i < 1000 && Mix_Playing(-1) > 2; i++) SDL_Delay(1);
    EXPECT_EQ(_channels_playing(), 2);
    // Limits are per event: other sounds are untouched by the rocks.
    EXPECT_EQ(audio_trace.stolen[new_stage], 0u);
    audio_shutdown();
}

TEST(Audio, OneEventNamedByEveryPathIsPreparedOnce) {
    Cwd_Guard cwd;
    Bank_Event e;
    std::string dir = _enter_one_stream_bank(ui_press, e);
    ASSERT_FALSE(dir.empty());
    audio_init();
    EXPECT_EQ(audio_trace.prepared_frames, 0u) << "decoded before the title was shown";
    for (int frame = 0; frame < 2 * AUDIO_EVENT_COUNT; frame++) audio_update();
    EXPECT_EQ(audio_trace.prepared_frames, e.frames) << "decoded once per name";
    EXPECT_NE(audio_play(player_shoot), 0u);
    EXPECT_NE(audio_play(ui_hover), 0u);
    audio_shutdown();
    _remove_bank_folder(dir);
}

TEST(Audio, AStreamLongerThanItsTableEntryIsNotDecoded) {
    Cwd_Guard cwd;
    Bank_Event e;
    // A small entry for a long stream: decoding stops at what the table promised, and
    // the event is refused as damaged rather than cut.
    std::string dir = _enter_one_stream_bank(game_win, e, 100);
    ASSERT_FALSE(dir.empty());
    audio_init();
    EXPECT_EQ(audio_play(game_win), 0u);
    for (int frame = 0; frame < 2 * AUDIO_EVENT_COUNT; frame++) audio_update();
    EXPECT_EQ(audio_trace.prepared_frames, 0u);
    audio_shutdown();
    _remove_bank_folder(dir);
}

namespace {

constexpr int CAPTURE_RATE = 44100; // Hz, stereo 16-bit: the device format audio.cpp opens

// The sound device writes into `file` instead of playing, one 1024-frame buffer per
// `ms_per_buffer` milliseconds.
void _capture_to_disk(Env_Guard& env, const std::string& file, const char* ms_per_buffer) {
    env.set("SDL_AUDIODRIVER", "disk");
    env.set("SDL_DISKAUDIOFILE", file);
    env.set("SDL_DISKAUDIODELAY", ms_per_buffer);
}

size_t _captured_frames(const std::string& path) {
    struct stat st = {};
    return stat(path.c_str(), &st) == 0 ? size_t(st.st_size) / 4 : 0;
}

void _wait_for_frames(const std::string& path, size_t frames) {
    for (int i = 0; i < 30000 && _captured_frames(path) < frames; i++) SDL_Delay(1);
}

std::vector<i16> _read_capture(const std::string& path) {
    std::vector<u8> bytes = _read(path);
    std::vector<i16> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); i++) pcm[i] = i16(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return pcm;
}

// RMS in dBFS of stereo frames [from, from + count).
f64 _rms_db(const std::vector<i16>& pcm, size_t from, size_t count) {
    f64 sum = 0;
    size_t n = 0;
    for (size_t i = from * 2; i < (from + count) * 2 && i < pcm.size(); i++, n++) sum += f64(pcm[i]) * pcm[i];
    return n ? 10 * std::log10(sum / n / (32768.0 * 32768.0) + 1e-12) : -120;
}

// The loudest 50 ms window starting within [from, to).
f64 _loudest_db(const std::vector<i16>& pcm, size_t from, size_t to) {
    f64 best = -120;
    for (size_t at = from; at < to; at += CAPTURE_RATE / 100) best = std::max(best, _rms_db(pcm, at, CAPTURE_RATE / 20));
    return best;
}

} // namespace

TEST(Audio, DiskCaptureHasSoundWhereExpectedAndNoClipping) {
    Cwd_Guard cwd;
    Env_Guard env;
    std::string dir = _temp_dir();
    std::string file = dir + "/capture.raw";
    _capture_to_disk(env, file, "10"); // ms per 1024-frame buffer: about twice real time
    ASSERT_EQ(chdir(VANTOREL_BUILD_DIR), 0);
    audio_init();

    const size_t second = CAPTURE_RATE;
    size_t music_at = _captured_frames(file);
    Audio_Instance music = audio_play(music_menu);
    ASSERT_NE(music, 0u);
    _wait_for_frames(file, music_at + second);
    size_t shoot_at = _captured_frames(file);
    ASSERT_NE(audio_play(player_shoot), 0u);
    size_t shoot_seen = _captured_frames(file);
    _wait_for_frames(file, shoot_at + second / 2);
    size_t bomb_at = _captured_frames(file);
    ASSERT_NE(audio_play(bomb_explode), 0u);
    size_t bomb_seen = _captured_frames(file);
    _wait_for_frames(file, bomb_at + second);
    audio_shutdown();

    std::vector<i16> pcm = _read_capture(file);
    ASSERT_GE(pcm.size() / 2, bomb_at + second);
    // File positions lag the mixer by the driver's buffering: allow a few buffers.
    const size_t slack = 4 * 1024;

    // Music: sound in every 100 ms window of its first stretch.
    f64 music_level = -120;
    for (size_t at = music_at + slack; at + second / 10 <= shoot_at; at += second / 10) {
        f64 db = _rms_db(pcm, at, second / 10);
        EXPECT_GT(db, -45) << "silent music window at " << at;
        music_level = std::max(music_level, db);
    }
    // The effects stand out above the music.
    EXPECT_GT(_loudest_db(pcm, shoot_at, shoot_seen + slack + second / 10), music_level + 6);
    EXPECT_GT(_loudest_db(pcm, bomb_at, bomb_seen + slack + second / 10), music_level + 6);

    // Saturated runs mean the mix clipped.
    int run = 0, longest = 0;
    for (i16 s : pcm) {
        run = (s >= 32767 || s <= -32767) ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_LT(longest, 3);
    std::remove(file.c_str());
    rmdir(dir.c_str());
}

// Both tunes stream from the bank and rewind at their end; the seam must be exact.
TEST(Audio, MusicLoopsSeamlesslyThroughTheMixer) {
    for (Audio_Event tune : {music_menu, music_game}) {
        SCOPED_TRACE(audio_event_names[tune]);
        Cwd_Guard cwd;
        Env_Guard env;
        std::string dir = _temp_dir();
        std::string file = dir + "/loop.raw";
        _capture_to_disk(env, file, "0"); // as fast as the mixer goes
        ASSERT_EQ(chdir(VANTOREL_BUILD_DIR), 0);
        std::optional<Bank> bank = bank_read_file("data/Desktop/persistent.bank");
        ASSERT_TRUE(bank);
        size_t loop_frames = bank->events[tune].frames;

        audio_init();
        ASSERT_NE(audio_play(tune), 0u);
        // Counted once the tune is loaded: the driver writes silence as fast as it can until then.
        _wait_for_frames(file, _captured_frames(file) + loop_frames + 3 * CAPTURE_RATE);
        audio_shutdown();

        std::vector<i16> pcm = _read_capture(file);
        size_t first = 0;
        while (first < pcm.size() && pcm[first] == 0) first++;
        first /= 2;
        ASSERT_GE(pcm.size() / 2, first + loop_frames + 2 * CAPTURE_RATE);
        // The second pass repeats the first exactly once what rang on from the end of the
        // first has died away, and the seam is no jump.
        size_t differing = 0, settled = size_t(CAPTURE_RATE) * 2;
        for (size_t i = settled; i < settled + size_t(CAPTURE_RATE) * 2; i++)
            differing += pcm[first * 2 + i] != pcm[(first + loop_frames) * 2 + i];
        EXPECT_EQ(differing, 0u);
        size_t seam = first + loop_frames;
        int jump = std::abs(pcm[seam * 2] - pcm[seam * 2 - 2]);
        int widest = 0;
        for (size_t i = first + 1; i < seam; i++) widest = std::max(widest, std::abs(pcm[i * 2] - pcm[i * 2 - 2]));
        EXPECT_LE(jump, widest / 4) << "click at the loop point";
        EXPECT_GT(_rms_db(pcm, seam - CAPTURE_RATE / 2, CAPTURE_RATE), -40);
        std::remove(file.c_str());
        rmdir(dir.c_str());
    }
}

TEST(Audio, WorstPileUpsStayUnderFullScale) {
    Cwd_Guard cwd;
    Env_Guard env;
    std::string dir = _temp_dir();
    std::string file = dir + "/pileup.raw";
    _capture_to_disk(env, file, "10");
    ASSERT_EQ(chdir(VANTOREL_BUILD_DIR), 0);
    audio_init();
    const size_t frame = CAPTURE_RATE / 60;
    auto after = [&](size_t frames) { _wait_for_frames(file, _captured_frames(file) + frames); };

    ASSERT_NE(audio_play(music_game), 0u);
    after(CAPTURE_RATE / 2);
    // Three bombs in one frame, two more over the next frames, each bursting rocks.
    size_t chain_at = _captured_frames(file);
    for (int wave = 0; wave < 3; wave++) {
        for (int b = 0; b < (wave == 0 ? 3 : 1); b++) audio_play(bomb_explode);
        for (int r = 0; r < 4; r++) audio_play(asteroid_destroyed);
        if (wave == 1) {
            // The chain catches the ship on its last hit point.
            audio_play(player_damaged);
            audio_play(game_lose);
            audio_play(player_shoot);
        }
        after(frame);
    }
    after(CAPTURE_RATE);
    audio_play(boss_waking_up);
    audio_play(boss_attack_big_wave);
    audio_play(boss_attack_targeted);
    after(CAPTURE_RATE * 2);
    audio_play(new_stage);
    audio_play(new_stage);
    audio_play(player_boost);
    after(CAPTURE_RATE);
    size_t end = _captured_frames(file);
    audio_shutdown();

    std::vector<i16> pcm = _read_capture(file);
    ASSERT_GE(pcm.size() / 2, end);
    int peak = 0, full_scale = 0;
    for (i16 v : pcm) {
        peak = std::max(peak, std::abs(int(v)));
        full_scale += v >= 32767 || v <= -32767;
    }
    f64 peak_db = 20 * std::log10(std::max(peak, 1) / 32768.0);
    std::printf("pile-up capture: peak %.2f dBFS, %d samples at full scale\n", peak_db, full_scale);
    EXPECT_EQ(full_scale, 0);
    EXPECT_LT(peak_db, -1.0);
    // Held under the ceiling, not squashed to nothing: the chain is still loud.
    EXPECT_GT(_loudest_db(pcm, chain_at, chain_at + CAPTURE_RATE / 2), -14);
    std::remove(file.c_str());
    rmdir(dir.c_str());
}

// ---- Modules in banks ------------------------------------------------------------------

namespace {
// The real bank, and the game tune's module within it.
std::vector<u8> _real_bank_bytes() { return _read(BANK_DIR + "persistent.bank"); }

std::vector<u8> _real_module(const std::vector<u8>& bank_bytes, Audio_Event tune) {
    std::optional<Bank> bank = bank_read(bank_bytes.data(), bank_bytes.size());
    if (!bank) return {};
    const Bank_Event& e = bank->events[tune];
    return std::vector<u8>(bank->data.begin() + e.first_byte, bank->data.begin() + e.first_byte + e.byte_count);
}

u16 _u16_at(const std::vector<u8>& b, size_t at) { return u16(b[at] | b[at + 1] << 8); }
}  // namespace

TEST(Bank, ModulesAreCheckedBeforeAnyPlayerSeesThem) {
    const std::vector<u8> bank_bytes = _real_bank_bytes();
    const std::vector<u8> good = _real_module(bank_bytes, music_game);
    ASSERT_FALSE(good.empty());
    ASSERT_TRUE(bank_module_valid(good.data(), good.size()));
    // Layout: header to 60, counts from 60, orders from 80, patterns from 336 (9-byte
    // headers: rows at +5, packed size at +7), then the instruments (263 bytes each, then a
    // 40-byte sample header: length +0, volume +12, type +14, compression +17, then the data).
    size_t cell = 345;  // the first pattern's first cell with a note, instrument and volume
    while (good[cell] != 0x87) cell += 1 + size_t(__builtin_popcount(good[cell] & 0x1f));
    size_t instrument = 336;
    for (u16 p = 0; p < _u16_at(good, 70); p++) instrument += 9 + _u16_at(good, instrument + 7);
    const size_t sample = instrument + 263;
    struct Patch {
        size_t at;
        std::vector<u8> bytes;
        const char* what;
    };
    const Patch patches[] = {
        {0, {'X'}, "magic"},
        {58, {0x03, 0x01}, "format 1.03"},
        {60, {0x15, 1, 0, 0}, "header size"},
        {64, {0, 0}, "no orders"},
        {66, {0xff, 0}, "restart past the orders"},
        {68, {BANK_MODULE_MAX_CHANNELS + 1, 0}, "channels"},
        {70, {BANK_MODULE_MAX_PATTERNS + 1, 0}, "patterns"},
        {72, {BANK_MODULE_MAX_INSTRUMENTS + 1, 0}, "instruments"},
        {76, {0, 0}, "speed 0"},
        {78, {20, 0}, "too slow"},
        {80, {0xff}, "an order past the patterns"},
        {341, {0, 0}, "a pattern of no rows"},
        {341, {1, 1}, "257 rows"},
        {343, {0xff, 0xff}, "packed cells past the pattern"},
        {cell, {0x9C, 0x20, 0x0B, 0x00}, "a position jump"},
        {cell, {0x9C, 0x20, 0x0D, 0x00}, "a pattern break"},
        {cell, {0x9C, 0x20, 0x0E, 0x61}, "a pattern loop"},
        {cell, {0x9C, 0x20, 0x0E, 0xE2}, "a pattern delay"},
        {cell, {0x9C, 0x20, 0x0F, 0x00}, "speed 0 on the way"},
        {cell + 1, {99}, "note 99"},
        {instrument + 27, {BANK_MODULE_MAX_SAMPLES + 1, 0}, "samples of one instrument"},
        {instrument + 29, {41, 0, 0, 0}, "sample header size"},
        {instrument + 33, {1}, "a key on a sample the instrument lacks"},
        {instrument + 225, {13}, "envelope points"},
        {sample, {0xff, 0xff, 0xff, 0x0f}, "a sample longer than the file"},
        {sample + 12, {65}, "sample volume"},
        {sample + 14, {0x13}, "two loop kinds at once"},
        {sample + 17, {0xAD}, "compressed samples"},
    };
    // A bank with the damaged module is refused whole, like any damage.
    const size_t record = 16 + 32 * size_t(music_game), data = 16 + 32 * _u16_at(bank_bytes, 8);
    const size_t module_at = data + (bank_bytes[record + 24] | bank_bytes[record + 25] << 8 |
                                     bank_bytes[record + 26] << 16 | size_t(bank_bytes[record + 27]) << 24);
    ASSERT_TRUE(std::equal(good.begin(), good.end(), bank_bytes.begin() + long(module_at)));
    for (const Patch& p : patches) {
        std::vector<u8> bad = good;
        std::copy(p.bytes.begin(), p.bytes.end(), bad.begin() + long(p.at));
        EXPECT_FALSE(bank_module_valid(bad.data(), bad.size())) << p.what;
        std::vector<u8> bad_bank = bank_bytes;
        std::copy(bad.begin(), bad.end(), bad_bank.begin() + long(module_at));
        EXPECT_FALSE(_bank_ok(bad_bank)) << p.what;
    }
    for (size_t n = 0; n < good.size(); n += n < 1024 ? 1 : 997)
        EXPECT_FALSE(bank_module_valid(good.data(), n)) << "cut at " << n;
    std::vector<u8> longer = good;
    longer.push_back(0);
    EXPECT_FALSE(bank_module_valid(longer.data(), longer.size()));

    // Only a looping stereo tune may be a module, and only the known codecs are read.
    const Patch records[] = {
        {record + 4, {1, 0}, "a mono module"},
        {record + 6, {0, 0}, "a module that does not loop"},
        {record + 6, {3, 0}, "a module that varies"},
        {record + 18, {2, 0}, "an unknown codec"},
        {16 + 32 * size_t(ui_hover) + 18, {1, 0}, "a one-shot module"},
    };
    for (const Patch& p : records) {
        std::vector<u8> bad = bank_bytes;
        std::copy(p.bytes.begin(), p.bytes.end(), bad.begin() + long(p.at));
        EXPECT_FALSE(_bank_ok(bad)) << p.what;
    }
}

// ---- Volume and variation ----------------------------------------------------------------

namespace {
// Plays one event from the device's start with the given volume into a capture; the stereo
// samples from the first one not silent on.
std::vector<i16> _capture_event(Audio_Event e, f32 music_gain, f32 effects_gain, f64 seconds) {
    Cwd_Guard cwd;
    Env_Guard env;
    std::string dir = _temp_dir();
    std::string file = dir + "/take.raw";
    _capture_to_disk(env, file, "0");
    EXPECT_EQ(chdir(VANTOREL_BUILD_DIR), 0);
    audio_init();
    audio_set_volume(music_gain, effects_gain);
    EXPECT_NE(audio_play(e), 0u);
    // The sound starts in the first buffer mixed after this, whatever went before.
    _wait_for_frames(file, _captured_frames(file) + size_t(seconds * CAPTURE_RATE) + 16384);
    audio_shutdown();
    std::vector<i16> pcm = _read_capture(file);
    std::remove(file.c_str());
    rmdir(dir.c_str());
    size_t first = 0;
    while (first < pcm.size() && pcm[first] == 0) first++;
    first -= first % 2;
    return std::vector<i16>(pcm.begin() + long(std::min(first, pcm.size())), pcm.end());
}
}  // namespace

TEST(Audio, VolumeStepsScaleWhatTheMixerPlays) {
    struct Take {
        Audio_Event event;
        i32 music, effects;  // levels
        f64 expect_db;       // against both at the top; below -100 means silence
    };
    const Take takes[] = {
        {music_menu, 4, VOLUME_LEVELS, -18}, {music_menu, VOLUME_LEVELS, 0, 0},
        {ui_press, VOLUME_LEVELS, 7, -9},     {ui_press, 0, VOLUME_LEVELS, 0},
        {ui_press, VOLUME_LEVELS, 0, -999},
    };
    for (Audio_Event e : {music_menu, ui_press}) {
        std::vector<i16> full = _capture_event(e, 1, 1, 1.2);
        ASSERT_GE(full.size() / 2, size_t(CAPTURE_RATE)) << audio_event_names[e];
        const size_t from = CAPTURE_RATE / 10, count = e == music_menu ? CAPTURE_RATE : CAPTURE_RATE / 20;
        for (const Take& t : takes) {
            if (t.event != e) continue;
            SCOPED_TRACE(std::string(audio_event_names[e]) + " at music " + std::to_string(t.music) + ", effects " +
                         std::to_string(t.effects));
            std::vector<i16> take = _capture_event(e, volume_gain(t.music), volume_gain(t.effects), 1.2);
            if (t.expect_db < -100) {
                EXPECT_TRUE(take.empty()) << "heard at " << _rms_db(take, 0, take.size() / 2) << " dBFS";
                continue;
            }
            ASSERT_GE(take.size() / 2, from + count);
            EXPECT_NEAR(_rms_db(take, from, count) - _rms_db(full, from, count), t.expect_db, 0.2);
        }
    }
}

TEST(Audio, OneShotsPlayAsStoredUnlessTheirEventVariesAndThenWithinBounds) {
    // Each start alone in its own capture: an event that does not vary is the same sample
    // for sample; one that varies is a little louder or softer each time, within its bounds.
    std::vector<i16> first = _capture_event(ui_press, 1, 1, 0.3);
    std::vector<i16> again = _capture_event(ui_press, 1, 1, 0.3);
    size_t n = std::min(first.size(), again.size());
    ASSERT_GT(n, size_t(CAPTURE_RATE) / 5);
    EXPECT_TRUE(std::equal(first.begin(), first.begin() + long(n), again.begin()));
    f64 lowest = 999, highest = -999;
    for (u64 seed = 1; seed <= 6; seed++) {
        audio_seed(seed);
        std::vector<i16> rock = _capture_event(asteroid_destroyed, 1, 1, 0.4);
        ASSERT_GT(rock.size() / 2, size_t(CAPTURE_RATE) / 5);
        f64 db = _rms_db(rock, 0, CAPTURE_RATE / 5);
        lowest = std::min(lowest, db), highest = std::max(highest, db);
    }
    EXPECT_GT(highest - lowest, 0.3) << "the rocks all sound alike";
    EXPECT_LT(highest - lowest, 2 * AUDIO_VARY_LEVEL + 0.2);
}

TEST(Audio, VariationsFollowTheGameSeedAndLeaveItsGeneratorAlone) {
    Cwd_Guard cwd;
    ASSERT_EQ(chdir(VANTOREL_BUILD_DIR), 0);
    auto run = [](u64 seed, u64& game_next) {
        audio_trace = {};
        random_seed(seed);
        audio_seed(seed);
        audio_init();
        for (int i = 0; i < 300; i++) {
            audio_play(player_shoot);
            audio_play(asteroid_destroyed);
            audio_play(ui_press);  // does not vary, and draws nothing
        }
        game_next = random_u64();
        audio_shutdown();
        return audio_trace;
    };
    u64 next_a = 0, next_b = 0, next_c = 0;
    Audio_Trace a = run(1, next_a), b = run(1, next_b), c = run(2, next_c);
    EXPECT_EQ(a.varied, 600u);
    EXPECT_GE(a.pitch_low, 1 - AUDIO_VARY_PITCH);
    EXPECT_LE(a.pitch_high, 1 + AUDIO_VARY_PITCH);
    EXPECT_GE(a.level_low, -AUDIO_VARY_LEVEL);
    EXPECT_LE(a.level_high, AUDIO_VARY_LEVEL);
    // Spread over the whole range, not stuck at one value.
    EXPECT_GT(a.pitch_high - a.pitch_low, 1.8f * AUDIO_VARY_PITCH);
    EXPECT_GT(a.level_high - a.level_low, 1.8f * AUDIO_VARY_LEVEL);
    EXPECT_EQ(a.variations, b.variations);
    EXPECT_NE(a.variations, c.variations);
    random_seed(1);
    EXPECT_EQ(next_a, random_u64()) << "the sounds drew on the game's generator";
}
