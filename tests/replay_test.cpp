// Recording and playing back whole sessions; the replay file's damage handling; the options.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "virtual_pad.h"

#include "game/command_line.h"
#include "game/physics.h"
#include "game/random.h"
#include "game/replay.h"
#include "harness.h"

namespace fs = std::filesystem;

namespace {
constexpr int PAD_A = 0, PAD_X = 2, PAD_LEFT_SHOULDER = 4;  // raw numbering of the common wired pad

fs::path temp_file(const char* name) {
    return fs::temp_directory_path() / (std::string("vantorel-replay-") + std::to_string(getpid()) + "-" + name);
}

struct Entity_Digest {
    Entity_Id id;
    Variant_Kind kind;
    Vec2 pos;
    f32 rot;
    bool operator==(const Entity_Digest& o) const {
        return id == o.id && kind == o.kind && pos.x == o.pos.x && pos.y == o.pos.y && rot == o.rot;
    }
};
struct World_Digest {
    Game_State state;
    i32 score, stage;
    std::vector<Entity_Digest> entities;
};

World_Digest digest() {
    World_Digest d{game.state, game.score, game.stage, {}};
    scene_for_each(game.scene, [&](Entity_Ref r) {
        if (!(r.entity->tags & tag_destroyed))
            d.entities.push_back({r.id, r.entity->variant.kind, r.entity->pos, r.entity->rot});
    });
    return d;
}



// The test's own hand in the world (rocks placed in the line of fire, the ship put in front
// of the boss), noted by frame so that the playback gets the same help at the same moment.
enum Assist_Kind : u8 { assist_rock, assist_aim };
struct Assist {
    size_t frame;
    Assist_Kind kind;
};

void apply(Assist_Kind k) {
    Entity* p = player_entity();
    if (!p) return;
    switch (k) {
        case assist_rock: place_asteroid(p->pos + from_angle(p->rot) * 40, small); break;
        case assist_aim:
            if (Entity* b = boss_entity()) {
                Vec2 away = b->pos.x > 0 ? Vec2{-1, 0} : Vec2{1, 0};
                p->pos = b->pos + away * 40;
                p->rot = angle_of(-away);
            }
            break;
    }
}

// A mix of frame lengths, so a replay that ignored the recorded ones would drift.
constexpr double DURATIONS[] = {1.0 / 16, 1.0 / 20, 1.0 / 30, 1.0 / 16, 0.5};

struct Session {
    Headless h;
    SDL_Joystick* pad;
    bool replaying;
    std::vector<Assist>& assists;
    std::vector<World_Digest>& frames;
    size_t index = 0;
    bool diverged = false;

    // Rocks may touch the ship and boss bullets may hit it; the game still has to go on.
    static void keep_alive() {
        if (Entity* p = player_entity()) {
            p->variant.player.health = 5;
            p->variant.player.time_since_damage = 0;
        }
    }
    void frame() {
        if (replaying)
            for (const Assist& a : assists)
                if (a.frame == index) apply(a.kind);
        keep_alive();
        // Played back, the live duration must give way to the recorded one.
        h.frame(replaying ? 1.0 / 60 : DURATIONS[index % std::size(DURATIONS)]);
        World_Digest d = digest();
        if (!replaying) {
            frames.push_back(d);
        } else if (!diverged) {
            if (index >= frames.size()) {
                ADD_FAILURE() << "the replay runs past the recording at frame " << index;
                diverged = true;
            } else {
                const World_Digest& r = frames[index];
                bool same = d.state == r.state && d.score == r.score && d.stage == r.stage && d.entities == r.entities;
                EXPECT_TRUE(same) << "frame " << index << ": state " << int(d.state) << "/" << int(r.state)
                                  << ", score " << d.score << "/" << r.score << ", stage " << d.stage << "/"
                                  << r.stage << ", entities " << d.entities.size() << "/" << r.entities.size();
                diverged = !same;
            }
        }
        index++;
    }
    void help(Assist_Kind k) {
        apply(k);
        assists.push_back({index, k});
    }
    void key(int k) {
        h.down(k);
        frame();
        h.up(k);
        frame();
    }
    void button(int b) {
        SDL_JoystickSetVirtualButton(pad, b, 1);
        frame();
        SDL_JoystickSetVirtualButton(pad, b, 0);
        frame();
    }
    // Steers until a charge is ready, by keys and by pad in turn, left and right in turn.
    void charge(int turn) {
        bool right = turn % 2 == 0;
        bool by_pad = turn % 4 >= 2;
        if (by_pad)
            SDL_JoystickSetVirtualHat(pad, 0, right ? SDL_HAT_RIGHT : SDL_HAT_LEFT);
        else
            h.down(right ? DK_RIGHT : DK_LEFT);
        for (int i = 0; i < 100 && ship().num_charges < 1; i++) frame();
        if (by_pad)
            SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_CENTERED);
        else
            h.up(right ? DK_RIGHT : DK_LEFT);
        frame();
    }
    void fire(int turn) {
        if (turn % 3 == 2)
            button(PAD_X);
        else
            key(DK_X);
        for (int i = 0; i < 80 && player_bullets() > 0 && game.state == playing; i++) frame();
    }
};

struct Replay_Test : Virtual_Pad_Test {
    void TearDown() override {
        replay_stop();
        Virtual_Pad_Test::TearDown();
    }
    void detach_pad() {
        SDL_JoystickClose(pad);
        pad = nullptr;
        detach_virtual_pads();
    }
};

// Plays a whole game from the main menu through five stages and the boss to the credits,
// with keys, the pad, a lost focus and a pause on the way.
void play_whole_game(Session& s) {
    s.key(DK_ENTER);  // New Game
    ASSERT_EQ(game.state, intro);
    s.key(DK_RIGHT);
    ASSERT_EQ(game.state, tutorial);
    int turn = 0;
    for (int stage = 1; stage <= 5; stage++) {
        int shots = 0;
        while (game.state != pick_upgrade) {
            ASSERT_LT(++shots, 60) << "stage " << stage << " does not end";
            s.charge(turn);
            s.help(assist_rock);
            s.fire(turn++);
            if (stage == 1 && shots == 2) {
                // Volume steps, each with its sound: heard only, the replay stays in step.
                s.key(int(Platform_Key::key_minus));
                s.button(PAD_LEFT_SHOULDER);
            }
            if (stage == 2 && shots == 2) {
                s.h.focus_lost();
                s.frame();
                ASSERT_EQ(game.state, paused);
                s.key(DK_ESCAPE);
            }
            if (stage == 3 && shots == 2) {
                s.button(7);  // Start
                ASSERT_EQ(game.state, paused);
                s.button(7);
            }
            ASSERT_TRUE(game.state == playing || game.state == pick_upgrade);
        }
        s.frame();
        if (stage % 2)
            s.key(DK_ENTER);
        else
            s.button(PAD_A);
        ASSERT_EQ(game.state, playing);
    }
    for (int i = 0; i < 400 && boss_entity() && boss_entity()->variant.boss.state == waking_up; i++) s.frame();
    int shots = 0;
    while (boss_entity() && boss_entity()->health > 0) {
        ASSERT_LT(++shots, 100) << "the boss does not die";
        s.charge(turn);
        s.help(assist_aim);
        s.fire(turn++);
    }
    for (int i = 0; i < 200 && game.state == playing; i++) s.frame();
    ASSERT_EQ(game.state, won);
    s.key(DK_ENTER);  // Continue
    ASSERT_EQ(game.state, credits);
    s.key(DK_UP);
    s.key(DK_ENTER);
    ASSERT_EQ(game.state, main_menu);
}
}  // namespace

TEST_F(Replay_Test, WholeGameRecordedPlaysBackFrameForFrame) {
    fs::path file = temp_file("whole.rpl");
    std::vector<Assist> assists;
    std::vector<World_Digest> frames;
    constexpr u64 SEED = 0xC0FFEE1234ull;
    char error[256] = "";
    const std::string dir = private_exe_dir("whole-game");
    {
        ASSERT_TRUE(replay_record_start(file.c_str(), SEED, error, sizeof error)) << error;
        random_seed(SEED);
        audio_seed(SEED);
        audio_trace = {};
        Session s{Headless{dir}, pad, false, assists, frames};
        play_whole_game(s);
        if (HasFatalFailure()) return;
    }
    // Every shot and rock burst was a little different, in an order the replay must repeat.
    const Audio_Trace recorded = audio_trace;
    EXPECT_GT(recorded.varied, 100u);
    ASSERT_GT(frames.size(), 500u);
    // The live game kept its score; its replay shows the result and writes nothing.
    fs::path table = fs::path(harness_scores_dir) / SCORES_FILE;
    ASSERT_TRUE(fs::exists(table));
    fs::remove(table);
    // The viewer starts from the volume the player started from.
    ASSERT_LT(recorded.effects_gain, 1);
    ASSERT_TRUE(fs::remove(dir + VOLUME_FILE));
    {
        Replay r;
        std::vector<u8> data = read_whole_file(file);
        ASSERT_TRUE(replay_parse(data.data(), data.size(), r, error, sizeof error)) << error;
        EXPECT_EQ(r.seed, SEED);
        EXPECT_EQ(r.frames.size(), frames.size());
    }

    // Played back with no pad attached, other live input and another generator state.
    detach_pad();
    random_seed(1);
    ASSERT_TRUE(replay_play_start(file.c_str(), error, sizeof error)) << error;
    ASSERT_EQ(replay_seed(), SEED);
    random_seed(replay_seed());
    audio_seed(replay_seed());
    audio_trace = {};
    {
        Session s{Headless{dir}, nullptr, true, assists, frames};
        while (!replay_finished() && !s.diverged && s.index <= frames.size()) {
            if (s.index == 40) s.h.down(DK_ESCAPE);  // only the recorded input may count
            if (s.index == 41) s.h.up(DK_ESCAPE);
            s.frame();
        }
        EXPECT_FALSE(s.diverged);
        EXPECT_EQ(s.index, frames.size());
        EXPECT_TRUE(platform_quit_requested());  // the entry point exits 0 from here
        EXPECT_EQ(game.state, main_menu);
        EXPECT_EQ(score_keeper.last.rank, 0);
    }
    EXPECT_FALSE(fs::exists(table));
    EXPECT_EQ(audio_trace.varied, recorded.varied);
    EXPECT_EQ(audio_trace.variations, recorded.variations);
    EXPECT_EQ(audio_trace.effects_gain, recorded.effects_gain);
    fs::remove(file);
    fs::remove_all(dir);
}

namespace {
// A short recording with keys, pad states and a focus loss in it.
std::vector<u8> small_recording(std::vector<size_t>& chunk_ends) {
    std::vector<u8> out;
    replay_encode_header(77, out);
    chunk_ends.push_back(out.size());
    for (int f = 0; f < 12; f++) {
        std::vector<Input_Event> events;
        for (int e = 0; e < f % 3; e++)
            events.push_back(Input_Event{event_key_down, DK_X + e, e == 1, mouse_button_other});
        if (f == 5) events.push_back(Input_Event{event_focus_lost, 0, false, mouse_button_other});
        if (f == 6) events.push_back(Input_Event{event_mouse_up, 0, false, mouse_button_middle});
        Pad_Snapshot pads;
        if (f % 2) {
            pads.present = u8(1u | 1u << 5);
            pads.pads[0] = Gamepad_State{u16(1u << f), {0.5f, -1, 1, 0, -1, -1}};
            pads.pads[5] = Gamepad_State{0, {0, 0, 0, 0, -0.25f, 1}};
        }
        replay_encode_frame(events.data(), events.size(), 1.0 / (16 + f), pads, out);
        chunk_ends.push_back(out.size());
    }
    return out;
}
}  // namespace

TEST(ReplayFile, RoundTripsEveryField) {
    std::vector<size_t> ends;
    std::vector<u8> data = small_recording(ends);
    Replay r;
    char error[200] = "";
    ASSERT_TRUE(replay_parse(data.data(), data.size(), r, error, sizeof error)) << error;
    EXPECT_EQ(r.seed, 77u);
    ASSERT_EQ(r.frames.size(), 12u);
    const Replay_Frame& f5 = r.frames[5];
    EXPECT_EQ(f5.duration, 1.0 / 21);
    ASSERT_EQ(f5.event_count, 3);
    const Input_Event& repeated = r.events[f5.first_event + 1];
    EXPECT_EQ(repeated.kind, event_key_down);
    EXPECT_EQ(repeated.key, DK_X + 1);
    EXPECT_TRUE(repeated.repeat);
    EXPECT_EQ(r.events[f5.first_event + 2].kind, event_focus_lost);
    EXPECT_EQ(r.events[r.frames[6].first_event].button, mouse_button_middle);
    Pad_Snapshot pads = replay_frame_pads(r, f5);
    EXPECT_EQ(pads.present, 0x21);
    EXPECT_EQ(pads.pads[0].buttons, 1u << 5);
    EXPECT_EQ(pads.pads[0].axes[0], 0.5f);
    EXPECT_EQ(pads.pads[5].axes[4], -0.25f);
    EXPECT_EQ(pads.pads[3].axes[0], 0.0f);
    EXPECT_EQ(replay_frame_pads(r, r.frames[7]).pads[0].buttons, 1u << 7);
    EXPECT_EQ(r.frames[4].pads_present, 0);
}

TEST(ReplayFile, EveryCutPlaysItsWholeFramesAndEveryFlipIsRefused) {
    std::vector<size_t> ends;
    std::vector<u8> data = small_recording(ends);
    replay_encode_end(u32(ends.size() - 1), data);
    Replay whole;
    ASSERT_TRUE(replay_parse(data.data(), data.size(), whole, nullptr, 0));
    EXPECT_FALSE(whole.cut_short);
    char error[200];
    for (size_t len = 0; len < data.size(); len++) {
        Replay r;
        error[0] = 0;
        bool ok = replay_parse(data.data(), len, r, error, sizeof error);
        if (len < REPLAY_HEADER_SIZE) {
            EXPECT_FALSE(ok) << len;
            EXPECT_NE(error[0], 0) << len;
            continue;
        }
        ASSERT_TRUE(ok) << len << ": " << error;
        EXPECT_TRUE(r.cut_short) << len;
        size_t whole_frames = 0;
        while (whole_frames + 1 < ends.size() && ends[whole_frames + 1] <= len) whole_frames++;
        EXPECT_EQ(r.frames.size(), whole_frames) << len;
    }
    // A flipped size field is told from a cut: no damage plays as a shorter game.
    for (size_t at = 0; at < data.size(); at++) {
        for (u8 flip : {u8(0x01), u8(0x80), u8(0xFF)}) {
            std::vector<u8> bad = data;
            bad[at] ^= flip;
            Replay r;
            error[0] = 0;
            EXPECT_FALSE(replay_parse(bad.data(), bad.size(), r, error, sizeof error)) << "byte " << at << " ^ " << int(flip);
            EXPECT_NE(error[0], 0);
            EXPECT_EQ(std::strchr(error, '\n'), nullptr);  // one line
        }
    }
    std::vector<u8> trailing = data;
    trailing.push_back(0);
    Replay r;
    EXPECT_FALSE(replay_parse(trailing.data(), trailing.size(), r, nullptr, 0)) << "a byte after the end mark";
    // Values the game could not have produced are refused even with a good checksum.
    for (auto [kind, duration, axis] : {std::tuple{u8(9), 0.01, 0.0f}, std::tuple{u8(1), -1.0, 0.0f},
                                         std::tuple{u8(1), std::nan(""), 0.0f}, std::tuple{u8(1), 0.01, 1.5f},
                                         std::tuple{u8(1), 0.01, std::nanf("")}}) {
        std::vector<u8> out;
        replay_encode_header(1, out);
        Input_Event e{Input_Event_Kind(kind), 1, false, mouse_button_other};
        Pad_Snapshot pads;
        pads.present = 1;
        pads.pads[0].axes[2] = axis;
        replay_encode_frame(&e, 1, duration, pads, out);
        Replay r;
        EXPECT_FALSE(replay_parse(out.data(), out.size(), r, nullptr, 0))
            << int(kind) << " " << duration << " " << axis;
    }
}

TEST(ReplayFile, VersionOneRecordingsStillPlayAndACutIsSaidInOneLine) {
    std::vector<size_t> ends;
    std::vector<u8> now = small_recording(ends);
    // The same frames as version 1 wrote them: no size checks, no end mark.
    std::vector<u8> old(now.begin(), now.begin() + REPLAY_HEADER_SIZE);
    old[8] = 1;
    u32 sum = u32(crc32(crc32(0, nullptr, 0), old.data(), 24));
    std::memcpy(old.data() + 24, &sum, 4);
    for (size_t f = 0; f + 1 < ends.size(); f++) {
        old.insert(old.end(), now.begin() + ptrdiff_t(ends[f]), now.begin() + ptrdiff_t(ends[f]) + 4);
        old.insert(old.end(), now.begin() + ptrdiff_t(ends[f]) + 8, now.begin() + ptrdiff_t(ends[f + 1]));
    }
    old.pop_back();
    fs::path file = temp_file("v1.rpl");
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(old.data()), std::streamsize(old.size()));
    char error[REPLAY_ERROR_ROOM + 256] = "";
    bool played = false;
    std::string said = capture_output(temp_file("v1.log"), [&] { played = replay_play_start(file.c_str(), error, sizeof error); });
    ASSERT_TRUE(played) << error;
    EXPECT_EQ(said, "vantorel: " + file.string() + " is cut short: playing its 11 whole frames\n");
    fs::remove(file);
    fs::remove(temp_file("v1.log"));
}

TEST_F(Replay_Test, FullDiskStopsTheRecordingAtItsLastWholeFrame) {
    fs::path file = temp_file("full.rpl");
    char error[256] = "";
    EXPECT_FALSE(replay_record_start("/dev/full", 1, error, sizeof error));  // not a file
    EXPECT_NE(std::string(error).find("/dev/full"), std::string::npos);
    fs::path fifo = temp_file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(replay_record_start(fifo.c_str(), 1, error, sizeof error));  // and does not hang
    fs::remove(fifo);
    EXPECT_FALSE(replay_record_start((file.parent_path() / "no-such-dir" / "x.rpl").c_str(), 1, error, sizeof error));

    ASSERT_TRUE(replay_record_start(file.c_str(), 5, error, sizeof error)) << error;
    Headless h;
    h.frames(3);
    // What a killed recorder leaves behind is already playable.
    std::vector<u8> so_far = read_whole_file(file);
    Replay r;
    ASSERT_TRUE(replay_parse(so_far.data(), so_far.size(), r, error, sizeof error)) << error;
    EXPECT_EQ(r.frames.size(), 3u);

    // The file may grow only a little more: the write that crosses the limit is cut short.
    void (*old_handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    rlimit tight = old_limit;
    tight.rlim_cur = so_far.size() + 200;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_LEFT);  // pad frames are the larger ones
    for (int i = 0; i < 20; i++) {
        h.down(DK_X);
        h.frame();
        h.up(DK_X);
    }
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    h.frames(5);  // the game goes on; nothing more is written

    std::vector<u8> data = read_whole_file(file);
    EXPECT_LE(data.size(), so_far.size() + 200);
    ASSERT_TRUE(replay_parse(data.data(), data.size(), r, error, sizeof error)) << error;
    EXPECT_GT(r.frames.size(), 3u);
    // Cut back to whole frames: encoding what was parsed gives the file byte for byte.
    std::vector<u8> again;
    replay_encode_header(5, again);
    for (const Replay_Frame& f : r.frames)
        replay_encode_frame(r.events.data() + f.first_event, f.event_count, f.duration, replay_frame_pads(r, f),
                            again);
    EXPECT_EQ(again, data);
    fs::remove(file);
}

// Whatever a name holds that is not a recording is refused at once, saying why.
TEST(ReplayFile, WhatIsNotARecordingIsRefusedWithItsReason) {
    fs::path dir = temp_file("refused");
    fs::create_directories(dir);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::ofstream(dir / "text") << "hello";
    std::ofstream(dir / "big").put('x');
    fs::resize_file(dir / "big", REPLAY_MAX_FILE_SIZE + 1);
    const std::pair<fs::path, std::string> cases[] = {
        {dir / "missing", std::strerror(ENOENT)}, {dir / "fifo", "not a replay file"},
        {dir, "not a replay file"},               {dir / "big", "not a replay file"},
        {dir / "text", "not a replay file"},
    };
    for (const auto& [path, why] : cases) {
        char error[REPLAY_ERROR_ROOM + 256] = "";
        EXPECT_FALSE(replay_play_start(path.c_str(), error, sizeof error));
        EXPECT_EQ(error, "cannot play " + path.string() + ": " + why);
    }
    fs::remove_all(dir);
}

// A recording given up before its first frame goes, but only while its name still holds it.
TEST(ReplayFile, AnEmptyRecordingIsRemovedOnlyWhileItsNameHoldsIt) {
    fs::path file = temp_file("discard.rpl"), moved = temp_file("discard-moved.rpl");
    char error[256] = "";
    for (bool replaced : {false, true}) {
        ASSERT_TRUE(replay_record_start(file.c_str(), 1, error, sizeof error)) << error;
        if (replaced) {
            fs::rename(file, moved);
            std::ofstream(file) << "another's";
        }
        replay_record_discard();
        EXPECT_EQ(fs::exists(file), replaced);
        EXPECT_EQ(fs::exists(moved), replaced);
    }
    EXPECT_EQ(read_whole_file(file).size(), 9u);
    fs::remove(file);
    fs::remove(moved);
}

TEST(CommandLine, SeedRecordAndReplayOptions) {
    Command_Line cl;
    char error[200];
    const char* ok[] = {"vantorel", "--seed", "18446744073709551615", "--record", "out.rpl", "--windowed"};
    ASSERT_TRUE(command_line_parse(6, ok, cl, error, sizeof error)) << error;
    EXPECT_TRUE(cl.has_seed);
    EXPECT_EQ(cl.seed, ~u64(0));
    EXPECT_STREQ(cl.record_path, "out.rpl");
    EXPECT_EQ(cl.replay_path, nullptr);
    EXPECT_EQ(cl.window_mode, window_mode_windowed);
    const char* replay[] = {"vantorel", "--replay", "in.rpl"};
    ASSERT_TRUE(command_line_parse(3, replay, cl, error, sizeof error)) << error;
    EXPECT_STREQ(cl.replay_path, "in.rpl");
    EXPECT_FALSE(cl.has_seed);

    const std::vector<std::vector<const char*>> bad = {
        {"vantorel", "--seed"},           {"vantorel", "--seed", "-1"},
        {"vantorel", "--seed", "12x"},    {"vantorel", "--seed", "18446744073709551616"},
        {"vantorel", "--seed", " 1"},     {"vantorel", "--seed", "0x10"},
        {"vantorel", "--record"},         {"vantorel", "--replay", ""},
        {"vantorel", "--replay", "a", "--record", "b"}, {"vantorel", "--seed", "3", "--replay", "a"},
    };
    for (const auto& args : bad) {
        error[0] = 0;
        EXPECT_FALSE(command_line_parse(int(args.size()), args.data(), cl, error, sizeof error)) << args.back();
        EXPECT_NE(error[0], 0) << args.back();
    }
    EXPECT_NE(std::string(command_line_usage()).find("--replay FILE"), std::string::npos);
}

TEST(Seed, FreshSeedsDifferFromLaunchToLaunch) {
    u64 a = random_fresh_seed(), b = random_fresh_seed(), c = random_fresh_seed();
    EXPECT_FALSE(a == b && b == c);
}
