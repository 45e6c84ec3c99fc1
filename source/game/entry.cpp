#include "../platform/platform.h"
#include "game.h"

int main(int argc, char** argv) {
    return platform_run(argc, argv, Platform_Callbacks{_sapp_init, _sapp_frame, _sapp_event, _sapp_cleanup});
}
