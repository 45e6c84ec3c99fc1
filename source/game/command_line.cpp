#include "command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// Digits only: strtoull alone would take signs, spaces and hex.
bool _parse_u64(const char* s, u64& out) {
    if (!s || *s < '0' || *s > '9') return false;
    for (const char* c = s; *c; c++)
        if (*c < '0' || *c > '9') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(s, &end, 10);
    if (errno == ERANGE || !end || *end) return false;
    out = u64(v);
    return true;
}
}  // namespace

bool command_line_parse(int argc, const char* const* argv, Command_Line& out, char* error, size_t error_size) {
    out = Command_Line{};
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            out.show_help = true;
        } else if (std::strcmp(a, "--version") == 0) {
            out.show_version = true;
        } else if (std::strcmp(a, "--windowed") == 0) {
            out.window_mode = window_mode_windowed;
        } else if (std::strcmp(a, "--fullscreen") == 0) {
            out.window_mode = window_mode_fullscreen;
        } else if (std::strcmp(a, "--seed") == 0 || std::strcmp(a, "--record") == 0 ||
                   std::strcmp(a, "--replay") == 0) {
            const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
            if (!value || !*value) {
                if (error && error_size) std::snprintf(error, error_size, "%s needs a value", a);
                return false;
            }
            i++;
            if (std::strcmp(a, "--seed") == 0) {
                if (!_parse_u64(value, out.seed)) {
                    if (error && error_size)
                        std::snprintf(error, error_size, "--seed needs a whole number from 0 to %llu, not %s",
                                      (unsigned long long)~u64(0), value);
                    return false;
                }
                out.has_seed = true;
            } else if (std::strcmp(a, "--record") == 0) {
                out.record_path = value;
            } else {
                out.replay_path = value;
            }
        } else {
            if (error && error_size) std::snprintf(error, error_size, "unknown option: %s", a);
            return false;
        }
    }
    // A replay brings its own seed and input; mixing in more would not show the recorded game.
    if (out.replay_path && (out.record_path || out.has_seed)) {
        if (error && error_size)
            std::snprintf(error, error_size, "--replay cannot be combined with %s",
                          out.record_path ? "--record" : "--seed");
        return false;
    }
    return true;
}

const char* command_line_usage() {
    return "Usage: vantorel [OPTION]...\n"
           "A small arcade shooter: steer to charge energy, spend it on bullets or a boost.\n"
           "\n"
           "  --windowed     start in a 640 x 576 window\n"
           "  --fullscreen   start fullscreen (the default)\n"
           "  --seed N       start the random generator from N instead of a fresh seed\n"
           "  --record FILE  write every frame's time and input to FILE\n"
           "  --replay FILE  play FILE back and exit when it ends\n"
           "  --help         show this text and exit\n"
           "  --version      show the version and exit\n";
}
