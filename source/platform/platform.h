// The window layer: owns the main loop and calls the game's four callbacks.
#pragma once
#include <cstdint>
#include <string>
#include "../game/input.h"

struct Platform_Callbacks {
    void (*init)();
    void (*frame)();
    void (*event)(const Input_Event&);
    void (*cleanup)();
};

struct Platform_Start {
    bool fullscreen = true;  // false: the 640 x 576 window
};

// Opens the window and runs until quit; returns the process exit code (1 when there is no
// display or no OpenGL 3.3, after one line on standard error).
int platform_run(int argc, char** argv, const Platform_Callbacks& cb, const Platform_Start& start = {});
// The loop's parts, open to tests. Before SDL_Init: SIGTERM, SIGINT and SIGHUP from now on
// end the loop. Each frame: hands the queued events to cb.event; false once the loop ends.
void platform_events_begin();
bool platform_pump_events(const Platform_Callbacks& cb);

// Headless mode for tests: no window, no GL context; the test drives frames.
void platform_headless_begin(int width, int height);
void platform_headless_end();
void platform_headless_set_frame_duration(double seconds);
bool platform_is_headless();
// Where the headless "executable" lives (default: the test program's folder).
void platform_headless_set_exe_dir(const char* dir);

// What the game may ask of the layer.
double platform_frame_duration();  // smoothed, seconds
// Frames last at least this long (a replay keeps its recorded speed); 0 = the display's pace.
void platform_set_frame_pace(double seconds);
void platform_toggle_fullscreen();
bool platform_is_fullscreen();
void platform_quit();
bool platform_quit_requested();
int platform_width();
int platform_height();
void platform_show_mouse(bool show);
void platform_lock_mouse(bool lock);
double platform_time();  // monotonic seconds since the timer was set up
void platform_setup_timer();
void platform_open_url(const char* url);
// What platform_open_url hands to the system: web addresses as given, a relative file name
// as a file URL in the working directory ("" when that is unknown).
std::string platform_resolve_url(const char* url);
// Moves to the folder of the executable, or to the installed data folder when only that
// holds "data"; false when that failed.
bool platform_change_to_exe_dir();
// The executable's folder after a successful move, else "".
const char* platform_exe_dir();
// Releases the GL context and window early in shutdown (no-op headless).
void platform_shutdown_graphics();
// The window icon, RGBA8 (ignored headless).
void platform_set_icon(int w, int h, const uint8_t* rgba);
