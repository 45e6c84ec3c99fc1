#include <cstdio>

#include "../platform/platform.h"
#include "audio.h"
#include "command_line.h"
#include "game.h"
#include "main.h"
#include "random.h"
#include "replay.h"

namespace {
// Seed, recording and playback before the window opens; a non-negative result ends the process.
int _prepare_session(const Command_Line& cl) {
    char error[320];
    u64 seed = cl.has_seed ? cl.seed : random_fresh_seed();
    if (cl.replay_path) {
        if (!replay_play_start(cl.replay_path, error, sizeof error)) {
            std::fprintf(stderr, "vantorel: %s\n", error);
            return 1;
        }
        if (replay_finished()) return 0;  // a recording of no frames has nothing to show
        seed = replay_seed();
    }
    if (cl.record_path && !replay_record_start(cl.record_path, seed, error, sizeof error)) {
        std::fprintf(stderr, "vantorel: %s\n", error);
        return 1;
    }
    random_seed(seed);
    audio_seed(seed);
    return -1;
}
}  // namespace

int main(int argc, char** argv) {
    Command_Line cl;
    char error[256];
    if (!command_line_parse(argc, argv, cl, error, sizeof error)) {
        std::fprintf(stderr, "vantorel: %s\n%s", error, command_line_usage());
        return 2;
    }
    if (cl.show_help) {
        std::fputs(command_line_usage(), stdout);
        return 0;
    }
    if (cl.show_version) {
        std::printf("vantorel %s\n", VANTOREL_VERSION);
        return 0;
    }
    if (int status = _prepare_session(cl); status >= 0) return status;
    Platform_Start start;
    start.fullscreen = cl.window_mode == window_mode_fullscreen;
    Platform_Callbacks callbacks = {_sapp_init, _sapp_frame, _sapp_platform_event, _sapp_cleanup};
    int status = platform_run(argc, argv, callbacks, start);
    replay_stop();
    return status;
}
