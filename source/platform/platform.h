// The window layer: owns the main loop and calls the game's four callbacks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// A key in the common desktop numbering; the keys between two named ones follow on without
// gaps (key_b = 66, ...). Anything outside the numbering is unknown.
enum class Platform_Key : int32_t {
    unknown = 0,
    key_space = 32, key_apostrophe = 39, key_comma = 44, key_minus, key_period, key_slash,
    key_0 = 48, key_1, key_2, key_3, key_4, key_5, key_6, key_7, key_8, key_9,
    key_semicolon = 59, key_equal = 61,
    key_a = 65, key_b, key_c, key_d, key_e, key_f, key_g, key_h, key_i, key_j, key_k, key_l, key_m,
    key_n, key_o, key_p, key_q, key_r, key_s, key_t, key_u, key_v, key_w, key_x, key_y, key_z,
    key_left_bracket = 91, key_backslash, key_right_bracket, key_grave_accent = 96,
    key_world_1 = 161, key_world_2,
    key_escape = 256, key_enter, key_tab, key_backspace, key_insert, key_delete, key_right, key_left,
    key_down, key_up, key_page_up, key_page_down, key_home, key_end,
    key_caps_lock = 280, key_scroll_lock, key_num_lock, key_print_screen, key_pause,
    key_f1 = 290, key_f2, key_f3, key_f4, key_f5, key_f6, key_f7, key_f8, key_f9, key_f10, key_f11,
    key_f12, key_f13, key_f14, key_f15, key_f16, key_f17, key_f18, key_f19, key_f20, key_f21,
    key_f22, key_f23, key_f24, key_f25,
    key_kp_0 = 320, key_kp_1, key_kp_2, key_kp_3, key_kp_4, key_kp_5, key_kp_6, key_kp_7, key_kp_8,
    key_kp_9, key_kp_decimal, key_kp_divide, key_kp_multiply, key_kp_subtract, key_kp_add,
    key_kp_enter, key_kp_equal,
    key_left_shift = 340, key_left_control, key_left_alt, key_left_super, key_right_shift,
    key_right_control, key_right_alt, key_right_super, key_menu,
};

enum class Platform_Mouse_Button : uint8_t { left, right, middle, other };

// Only what the game may react to is handed over; the close button ends the loop by itself.
enum class Platform_Event_Kind : uint8_t {
    key_down, key_up, mouse_down, mouse_up,
    focus_lost, minimised,
};

struct Platform_Event {
    Platform_Event_Kind kind = Platform_Event_Kind::focus_lost;
    Platform_Key key = Platform_Key::unknown;  // key events
    bool repeat = false;                       // key events: sent again by the key's auto-repeat
    Platform_Mouse_Button button = Platform_Mouse_Button::other;  // mouse events
};

struct Platform_Callbacks {
    void (*init)();
    void (*frame)();
    void (*event)(const Platform_Event&);
    void (*cleanup)();
};

struct Platform_Start {
    bool fullscreen = true;  // false: the 640 x 576 window
};

// First thing in main: a write past a file-size limit then fails like a full disk (EFBIG)
// instead of ending the process.
void platform_process_begin();
// The arguments in UTF-8, as every path in the game is. On Windows the C library's argv holds
// only what the local code page can; the system's own wide copy is converted instead.
char** platform_utf8_arguments(int argc, char** argv);
// Fills bytes from the system's random source without waiting; false when it has none ready.
bool platform_entropy(void* bytes, size_t size);
// Text for the player on standard output; on Windows, where the game is a GUI program,
// in the console it was started from.
void platform_print(const char* text);
// What ends the game with a non-zero status, on standard error; on Windows also in a message
// box when the program has no console to print to (started from Explorer or a shortcut).
void platform_report_failure(const char* text);

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
// Off while a replay plays: fullscreen requests and opened pages then change only what the
// layer reports to the game, never the window or the desktop. On by default; kept across
// platform_run and headless sessions.
void platform_set_desktop_effects(bool on);
void platform_quit();
bool platform_quit_requested();
int platform_width();
int platform_height();
void platform_show_mouse(bool show);
void platform_lock_mouse(bool lock);
double platform_time();  // monotonic seconds since the timer was set up
// Today on the wall clock, in the player's time zone; headless, always HEADLESS_DATE.
struct Platform_Date {
    int year = 0, month = 0, day = 0;  // month and day from 1
};
constexpr Platform_Date HEADLESS_DATE = {2026, 5, 17};
Platform_Date platform_local_date();
void platform_setup_timer();
void platform_open_url(const char* url);
// What platform_open_url hands to the system: web addresses as given, a relative file name
// as a file URL in the working directory ("" when that is unknown).
std::string platform_resolve_url(const char* url);
// The executable's folder as the system names it, without moving there ("" when unknown).
std::string platform_find_exe_dir();
// Moves to the folder of the executable, or to the installed data folder when only that
// holds "data"; false when that failed.
bool platform_change_to_exe_dir();
// The executable's folder after a successful move, else "".
const char* platform_exe_dir();
// Presenting. The loop presents a frame only when its frame callback drew a new picture;
// the renderer reports each frame (a frame that reports nothing counts as drawn). A picture
// the same as the one on screen is left there instead of being handed to the window system
// again, which on a software GL costs most of a still screen's processor time.
void platform_set_frame_drawn(bool drawn);
bool platform_frame_drawn();
// Whether the window may no longer show the last picture (none drawn yet, shown again,
// exposed, resized, fullscreen switched): the next frame must draw even an unchanged one.
// A drawn frame clears it.
bool platform_redraw_needed();
void platform_request_redraw();
// Releases the GL context and window early in shutdown (no-op headless).
void platform_shutdown_graphics();
// The window icon, RGBA8 (ignored headless).
void platform_set_icon(int w, int h, const uint8_t* rgba);
