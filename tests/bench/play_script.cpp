// Writes the replay the CPU benchmark plays: half a second of the title, "New Game", then
// a fixed round of steering, firing and boosting at 60 frames a second, so that every run
// plays exactly the same game.
//   play_script <out.rpl> [seconds of play]
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "game/replay.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace {
constexpr u64 SEED = 7;
constexpr int FPS = 60;
constexpr int TITLE_FRAMES = 30;
constexpr int ROUND_FRAMES = 3 * FPS;

// Key changes at a frame of the round: charge right, fire, charge left, boost, coast.
struct Step {
    int frame;
    Input_Event_Kind kind;
    Platform_Key key;
};
constexpr Step ROUND[] = {
    {0, event_key_down, Platform_Key::key_right},  {60, event_key_up, Platform_Key::key_right},
    {61, event_key_down, Platform_Key::key_x},     {63, event_key_up, Platform_Key::key_x},
    {72, event_key_down, Platform_Key::key_left},  {132, event_key_up, Platform_Key::key_left},
    {133, event_key_down, Platform_Key::key_z},    {135, event_key_up, Platform_Key::key_z},
};
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <out.rpl> [seconds of play]\n", argv[0]);
        return 2;
    }
    int play_frames = (argc > 2 ? std::atoi(argv[2]) : 25) * FPS;
    std::vector<u8> out;
    replay_encode_header(SEED, out);
    const Pad_Snapshot no_pads;
    auto frame = [&](std::vector<Input_Event> events) {
        replay_encode_frame(events.data(), events.size(), 1.0 / FPS, no_pads, out);
    };
    for (int f = 0; f < TITLE_FRAMES; f++) frame({});
    frame({{event_key_down, i32(Platform_Key::key_enter)}});
    frame({{event_key_up, i32(Platform_Key::key_enter)}});
    for (int f = 0; f < play_frames; f++) {
        std::vector<Input_Event> events;
        for (const Step& s : ROUND)
            if (s.frame == f % ROUND_FRAMES) events.push_back({s.kind, i32(s.key)});
        frame(events);
    }
    if (!file_write_atomic(argv[1], out.data(), out.size())) {
        std::fprintf(stderr, "%s: cannot write\n", argv[1]);
        return 1;
    }
    return 0;
}
