#include "command_line.h"

#include <cstdio>
#include <cstring>

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
        } else {
            if (error && error_size) std::snprintf(error, error_size, "unknown option: %s", a);
            return false;
        }
    }
    return true;
}

const char* command_line_usage() {
    return "Usage: vantorel [OPTION]...\n"
           "A small arcade shooter: steer to charge energy, spend it on bullets or a boost.\n"
           "\n"
           "  --windowed     start in a 640 x 576 window\n"
           "  --fullscreen   start fullscreen (the default)\n"
           "  --help         show this text and exit\n"
           "  --version      show the version and exit\n";
}
