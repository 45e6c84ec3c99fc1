#include <cstdio>

#include "../platform/platform.h"
#include "command_line.h"
#include "game.h"

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
    Platform_Start start;
    start.fullscreen = cl.window_mode == window_mode_fullscreen;
    return platform_run(argc, argv, Platform_Callbacks{_sapp_init, _sapp_frame, _sapp_event, _sapp_cleanup}, start);
}
