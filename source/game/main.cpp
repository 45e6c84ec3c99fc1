// The process entry: reads the options, prepares a recording or replay, runs the window.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "../platform/paths.h"
#include "../platform/platform.h"
#include "audio.h"
#include "command_line.h"
#include "game.h"
#include "app.h"
#include "random.h"
#include "replay.h"
#include "scores.h"
#include "settings.h"
#include "volume.h"

namespace {
void _report(const char* reason, const char* more = "") {
    platform_report_failure((std::string("vantorel: ") + reason + "\n" + more).c_str());
}

// Room for a one-line reason that names any of the arguments whole.
size_t _error_room(int argc, char** argv) {
    size_t longest = 0;
    for (int i = 0; i < argc; i++) longest = std::max(longest, std::strlen(argv[i]));
    return longest + REPLAY_ERROR_ROOM;
}

// Which of the game's own files, beside it or in the user's folders, the new recording is (the
// game would replace it or move it aside). Asked once the recording exists, so that any
// spelling of the same place counts.
const char* _kept_file_recorded_into() {
    const std::string beside = platform_find_exe_dir();
    const std::string config = paths_config_dir(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    const std::string data = paths_data_dir(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    const std::pair<const std::string&, const char*> kept[] = {
        {beside, SETTINGS_FILE}, {config, SETTINGS_FILE}, {beside, VOLUME_FILE},
        {config, VOLUME_FILE},   {beside, SCORES_FILE},   {data, SCORES_FILE},
    };
    for (const auto& [dir, name] : kept)
        if (!dir.empty() && replay_is_recording_file(paths_join(dir, name).c_str())) return name;
    return nullptr;
}

// Seed, recording and playback before the window opens; a non-negative result ends the process.
int _prepare_session(const Command_Line& cl, std::vector<char>& error) {
    u64 seed = cl.has_seed ? cl.seed : random_fresh_seed();
    if (cl.replay_path) {
        if (!replay_play_start(cl.replay_path, error.data(), error.size())) {
            _report(error.data());
            return 1;
        }
        if (replay_finished()) return 0;  // a recording of no frames has nothing to show
        seed = replay_seed();
    }
    bool name_taken = false;
    if (cl.record_path && !replay_record_start(cl.record_path, seed, error.data(), error.size(), &name_taken)) {
        _report(error.data());
        // Like a bad option: the player picks another name.
        return name_taken ? 2 : 1;
    }
    if (const char* kept = cl.record_path ? _kept_file_recorded_into() : nullptr) {
        replay_record_discard();
        std::snprintf(error.data(), error.size(),
                      "cannot record to %s: the game keeps its own %s there; choose another name", cl.record_path, kept);
        _report(error.data());
        return 2;
    }
    random_seed(seed);
    audio_seed(seed);
    return -1;
}
}  // namespace

int main(int argc, char** argv) {
    platform_process_begin();
    argv = platform_utf8_arguments(argc, argv);
    Command_Line cl;
    std::vector<char> error(_error_room(argc, argv));
    if (!command_line_parse(argc, argv, cl, error.data(), error.size())) {
        _report(error.data(), command_line_usage());
        return 2;
    }
    if (cl.show_help) {
        platform_print(command_line_usage());
        return 0;
    }
    if (cl.show_version) {
        platform_print("vantorel " VANTOREL_VERSION "\n");
        return 0;
    }
    if (int status = _prepare_session(cl, error); status >= 0) return status;
    Platform_Start start;
    start.fullscreen = cl.window_mode == window_mode_fullscreen;
    Platform_Callbacks callbacks = {_sapp_init, _sapp_frame, app_platform_event, _sapp_cleanup};
    int status = platform_run(argc, argv, callbacks, start);
    // A game that never started leaves no empty recording behind.
    if (status != 0) replay_record_discard();
    replay_stop();
    return status;
}
