#include "platform.h"

#include <SDL2/SDL.h>
#include <algorithm>
#include <signal.h>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>
#include <strings.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/auxv.h>
#include <sys/random.h>
#include <sys/stat.h>
#endif
#ifdef _WIN32
#include <fcntl.h>
#include <windows.h>
#include <shellapi.h>
#endif
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#include <emscripten/html5.h>
#include <sys/stat.h>
#endif

#include "paths.h"

#include "files.h"

namespace {
#ifdef _WIN32
// Files open in binary mode, as on POSIX; Windows would otherwise write "\n" as "\r\n".
// Set before main, so every file the program opens is covered.
[[maybe_unused]] const int _binary_files = (*__p__fmode() = _O_BINARY);
#endif
constexpr int WINDOW_W = 640;  // pixels, windowed
constexpr int WINDOW_H = 576;
constexpr int SMOOTHING_FRAMES = 8;

struct Platform {
    bool headless = false;
    int headless_w = WINDOW_W, headless_h = WINDOW_H;
    double headless_duration = 1.0 / 60.0;  // seconds
    std::string headless_exe_dir;
    std::string exe_dir;  // empty until the move to it succeeded
    bool fullscreen = false;
    bool quit = false;
    SDL_Window* window = nullptr;
    SDL_GLContext gl = nullptr;
    bool timer_ready = false;
    Uint64 timer_start = 0;
    double durations[SMOOTHING_FRAMES] = {};  // seconds, ring buffer
    int duration_count = 0;
    int duration_next = 0;
    double smoothed = 1.0 / 60.0;
    double pace = 0;  // seconds, least frame length asked for by the game
    bool frame_drawn = true;
    bool redraw_needed = true;
} P;

// The start-up benchmark hands over a pipe in VANTOREL_FIRST_FRAME_FD and reads from it
// the monotonic time (nanoseconds) at which the first frame was presented.
void _report_first_frame() {
    static bool reported = false;
    const char* fd_text = reported ? nullptr : std::getenv("VANTOREL_FIRST_FRAME_FD");
    reported = true;
    if (!fd_text) return;
    int fd = std::atoi(fd_text);
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long ns = now.tv_sec * 1000000000LL + now.tv_nsec;
    if (write(fd, &ns, sizeof ns) != sizeof ns) SDL_Log("start-up probe: write failed");
    close(fd);
}

// Whether the game's requests reach the window and the desktop.
bool desktop_effects = true;

// Set by SIGTERM, SIGINT and SIGHUP; the loop reads it every frame. SDL's own quit event
// for a signal is dropped when its queue is full, so it is not relied on.
volatile std::sig_atomic_t quit_signalled = 0;

extern "C" void _on_quit_signal(int) { quit_signalled = 1; }

void _install_quit_signals() {
    quit_signalled = 0;
#ifdef _WIN32
    for (int sig : {SIGTERM, SIGINT}) std::signal(sig, _on_quit_signal);
#else
    struct sigaction sa = {};
    sa.sa_handler = _on_quit_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;  // as signal() gives: interrupted system calls carry on
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
#endif
}

// Video drivers tried at start-up may print complaints of their own (Wayland's about
// XDG_RUNTIME_DIR when only X11 runs, or nothing does); they are held back so that when the
// start is refused, the game's own line comes first.
struct Held_Errors {
    int saved = -1;
    std::FILE* held = nullptr;
};

Held_Errors _hold_errors() {
    Held_Errors h;
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
    std::fflush(stderr);
    h.held = std::tmpfile();
    h.saved = h.held ? dup(2) : -1;
    if (h.saved < 0 || dup2(fileno(h.held), 2) < 0) {
        if (h.saved >= 0) close(h.saved);
        if (h.held) std::fclose(h.held);
        h = Held_Errors{};
    }
#endif
    return h;
}

// Standard error back; `first` (when given) is reported before what was held.
void _release_errors(Held_Errors& h, const char* first) {
    if (h.held) {
        std::fflush(stderr);
        dup2(h.saved, 2);
        close(h.saved);
    }
    if (first) platform_report_failure(first);
    if (!h.held) return;
    std::rewind(h.held);
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, h.held)) > 0) std::fwrite(chunk, 1, n, stderr);
    std::fflush(stderr);
    std::fclose(h.held);
    h = Held_Errors{};
}

double _seconds_now() { return double(SDL_GetPerformanceCounter()) / double(SDL_GetPerformanceFrequency()); }

void _record_duration(double d) {
    P.durations[P.duration_next] = d;
    P.duration_next = (P.duration_next + 1) % SMOOTHING_FRAMES;
    if (P.duration_count < SMOOTHING_FRAMES) P.duration_count++;
    double sum = 0;
    for (int i = 0; i < P.duration_count; i++) sum += P.durations[i];
    P.smoothed = sum / P.duration_count;
}

// Ranges of SDL scancodes and of the numbering run in the same order.
Platform_Key _key_after(Platform_Key first, int offset) { return Platform_Key(int32_t(first) + offset); }

Platform_Key _platform_key(SDL_Scancode sc) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return _key_after(Platform_Key::key_a, sc - SDL_SCANCODE_A);
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return _key_after(Platform_Key::key_1, sc - SDL_SCANCODE_1);
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return _key_after(Platform_Key::key_f1, sc - SDL_SCANCODE_F1);
    if (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F24) return _key_after(Platform_Key::key_f13, sc - SDL_SCANCODE_F13);
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return _key_after(Platform_Key::key_kp_1, sc - SDL_SCANCODE_KP_1);
    switch (sc) {
        case SDL_SCANCODE_0: return Platform_Key::key_0;
        case SDL_SCANCODE_SPACE: return Platform_Key::key_space;
        case SDL_SCANCODE_APOSTROPHE: return Platform_Key::key_apostrophe;
        case SDL_SCANCODE_COMMA: return Platform_Key::key_comma;
        case SDL_SCANCODE_MINUS: return Platform_Key::key_minus;
        case SDL_SCANCODE_PERIOD: return Platform_Key::key_period;
        case SDL_SCANCODE_SLASH: return Platform_Key::key_slash;
        case SDL_SCANCODE_SEMICOLON: return Platform_Key::key_semicolon;
        case SDL_SCANCODE_EQUALS: return Platform_Key::key_equal;
        case SDL_SCANCODE_LEFTBRACKET: return Platform_Key::key_left_bracket;
        case SDL_SCANCODE_BACKSLASH: return Platform_Key::key_backslash;
        case SDL_SCANCODE_RIGHTBRACKET: return Platform_Key::key_right_bracket;
        case SDL_SCANCODE_GRAVE: return Platform_Key::key_grave_accent;
        case SDL_SCANCODE_NONUSBACKSLASH: return Platform_Key::key_world_2;
        case SDL_SCANCODE_ESCAPE: return Platform_Key::key_escape;
        case SDL_SCANCODE_RETURN: return Platform_Key::key_enter;
        case SDL_SCANCODE_TAB: return Platform_Key::key_tab;
        case SDL_SCANCODE_BACKSPACE: return Platform_Key::key_backspace;
        case SDL_SCANCODE_INSERT: return Platform_Key::key_insert;
        case SDL_SCANCODE_DELETE: return Platform_Key::key_delete;
        case SDL_SCANCODE_RIGHT: return Platform_Key::key_right;
        case SDL_SCANCODE_LEFT: return Platform_Key::key_left;
        case SDL_SCANCODE_DOWN: return Platform_Key::key_down;
        case SDL_SCANCODE_UP: return Platform_Key::key_up;
        case SDL_SCANCODE_PAGEUP: return Platform_Key::key_page_up;
        case SDL_SCANCODE_PAGEDOWN: return Platform_Key::key_page_down;
        case SDL_SCANCODE_HOME: return Platform_Key::key_home;
        case SDL_SCANCODE_END: return Platform_Key::key_end;
        case SDL_SCANCODE_CAPSLOCK: return Platform_Key::key_caps_lock;
        case SDL_SCANCODE_SCROLLLOCK: return Platform_Key::key_scroll_lock;
        case SDL_SCANCODE_NUMLOCKCLEAR: return Platform_Key::key_num_lock;
        case SDL_SCANCODE_PRINTSCREEN: return Platform_Key::key_print_screen;
        case SDL_SCANCODE_PAUSE: return Platform_Key::key_pause;
        case SDL_SCANCODE_KP_0: return Platform_Key::key_kp_0;
        case SDL_SCANCODE_KP_PERIOD: return Platform_Key::key_kp_decimal;
        case SDL_SCANCODE_KP_DIVIDE: return Platform_Key::key_kp_divide;
        case SDL_SCANCODE_KP_MULTIPLY: return Platform_Key::key_kp_multiply;
        case SDL_SCANCODE_KP_MINUS: return Platform_Key::key_kp_subtract;
        case SDL_SCANCODE_KP_PLUS: return Platform_Key::key_kp_add;
        case SDL_SCANCODE_KP_ENTER: return Platform_Key::key_kp_enter;
        case SDL_SCANCODE_KP_EQUALS: return Platform_Key::key_kp_equal;
        case SDL_SCANCODE_LSHIFT: return Platform_Key::key_left_shift;
        case SDL_SCANCODE_LCTRL: return Platform_Key::key_left_control;
        case SDL_SCANCODE_LALT: return Platform_Key::key_left_alt;
        case SDL_SCANCODE_LGUI: return Platform_Key::key_left_super;
        case SDL_SCANCODE_RSHIFT: return Platform_Key::key_right_shift;
        case SDL_SCANCODE_RCTRL: return Platform_Key::key_right_control;
        case SDL_SCANCODE_RALT: return Platform_Key::key_right_alt;
        case SDL_SCANCODE_RGUI: return Platform_Key::key_right_super;
        case SDL_SCANCODE_APPLICATION: return Platform_Key::key_menu;
        default: return Platform_Key::unknown;  // not in the numbering
    }
}

// Events after which the window may show nothing, or a rescaled or stale picture.
bool _loses_picture(const SDL_Event& ev) {
    if (ev.type != SDL_WINDOWEVENT) return false;
    switch (ev.window.event) {
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_RESIZED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_MAXIMIZED:
        case SDL_WINDOWEVENT_RESTORED: return true;
        default: return false;
    }
}

bool _translate(const SDL_Event& ev, Platform_Event& out) {
    using K = Platform_Event_Kind;
    using B = Platform_Mouse_Button;
    switch (ev.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            out.kind = ev.type == SDL_KEYDOWN ? K::key_down : K::key_up;
            out.key = _platform_key(ev.key.keysym.scancode);
            out.repeat = ev.key.repeat != 0;
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            out.kind = ev.type == SDL_MOUSEBUTTONDOWN ? K::mouse_down : K::mouse_up;
            out.button = ev.button.button == SDL_BUTTON_LEFT     ? B::left
                         : ev.button.button == SDL_BUTTON_RIGHT  ? B::right
                         : ev.button.button == SDL_BUTTON_MIDDLE ? B::middle
                                                                 : B::other;
            return true;
        case SDL_WINDOWEVENT:
            if (ev.window.event == SDL_WINDOWEVENT_FOCUS_LOST) out.kind = K::focus_lost;
            else if (ev.window.event == SDL_WINDOWEVENT_MINIMIZED) out.kind = K::minimised;
            else return false;
            return true;
        default: return false;
    }
}

double _refresh_interval() {
    SDL_DisplayMode mode;
    int display = P.window ? SDL_GetWindowDisplayIndex(P.window) : 0;
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
        return 1.0 / mode.refresh_rate;
    return 1.0 / 60.0;
}

bool _is_invisible_driver(const char* driver) {
    return driver && (strcasecmp(driver, "offscreen") == 0 || strcasecmp(driver, "dummy") == 0);
}

// SDL_VIDEODRIVER holds one driver name or a comma-separated list of them.
bool _driver_requested(const char* driver) {
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (!driver || !asked) return false;
    size_t n = std::strlen(driver);
    for (const char* p = asked; *p;) {
        const char* end = std::strchr(p, ',');
        size_t len = end ? size_t(end - p) : std::strlen(p);
        if (len == n && strncasecmp(p, driver, n) == 0) return true;
        if (!end) break;
        p = end + 1;
    }
    return false;
}

void _sleep_until(double deadline) {
    for (;;) {
        double left = deadline - _seconds_now();
        if (left <= 0) return;
        if (left > 0.002) {
            SDL_Delay(Uint32((left - 0.001) * 1000));
        } else {
            usleep(200);
        }
    }
}

// SDL's flag only follows SDL's own requests; when the window manager takes the window out
// of fullscreen (a key or menu of its own) only the window's size tells.
bool _window_fullscreen_now() {
    if (!(SDL_GetWindowFlags(P.window) & SDL_WINDOW_FULLSCREEN)) return false;
    SDL_Rect display;
    int index = SDL_GetWindowDisplayIndex(P.window);
    if (index < 0 || SDL_GetDisplayBounds(index, &display) != 0) return true;
    int w = 0, h = 0;
    SDL_GetWindowSize(P.window, &w, &h);
    return w >= display.w && h >= display.h;
}

#ifdef __EMSCRIPTEN__
// The page lays the canvas out; its drawing buffer follows the laid-out size in device
// pixels, so every game pixel covers whole screen pixels wherever the scale allows.
constexpr const char* BROWSER_CANVAS = "#canvas";
// Where the page puts the game's data; read-only, as an installed game's folder is.
constexpr const char* BROWSER_GAME_DIR = "/vantorel/";

struct Browser_Loop {
    Platform_Callbacks cb = {};
    double last = 0;  // seconds
    bool drawn = false;
} B;

void _browser_fit_canvas() {
    double css_w = 0, css_h = 0;
    if (emscripten_get_element_css_size(BROWSER_CANVAS, &css_w, &css_h) != EMSCRIPTEN_RESULT_SUCCESS) return;
    double ratio = emscripten_get_device_pixel_ratio();
    int w = std::max(1, int(std::lround(css_w * ratio)));
    int h = std::max(1, int(std::lround(css_h * ratio)));
    int now_w = 0, now_h = 0;
    SDL_GetWindowSize(P.window, &now_w, &now_h);
    if (w == now_w && h == now_h) return;
    // A resized canvas starts blank: the next frame draws even an unchanged picture.
    SDL_SetWindowSize(P.window, w, h);
    P.redraw_needed = true;
}

void _browser_end() {
    emscripten_cancel_main_loop();
    B.cb.cleanup();
    platform_shutdown_graphics();
    SDL_DestroyWindow(P.window);
    P.window = nullptr;
    SDL_Quit();
    EM_ASM({ if (Module.gameEnded) Module.gameEnded(); });
}

// One animation frame of the browser: the desktop loop's body, paced by the browser.
void _browser_frame() {
    if (!platform_pump_events(B.cb)) {
        _browser_end();
        return;
    }
    _browser_fit_canvas();
    // A frame that draws nothing leaves the canvas showing the last picture.
    P.frame_drawn = true;
    B.cb.frame();
    if (!B.drawn) {
        B.drawn = true;
        EM_ASM({ if (Module.firstFrame) Module.firstFrame(); });
    }
    double now = _seconds_now();
    _record_duration(now - B.last);
    B.last = now;
    if (P.quit) _browser_end();
}

// Never returns: the browser calls the frame until the game quits.
void _browser_run(const Platform_Callbacks& cb) {
    B = Browser_Loop{};
    B.cb = cb;
    // Like an installed game's folder: what the game keeps goes to the per-user folders,
    // which the page keeps in the browser's storage.
    chmod(BROWSER_GAME_DIR, 0555);
    _browser_fit_canvas();
    cb.init();
    B.last = _seconds_now();
    emscripten_set_main_loop(_browser_frame, 0, 1);
}
#endif
}  // namespace

#ifdef _WIN32
// The system's own generator, exported under this name by advapi32.
extern "C" __declspec(dllimport) unsigned char __stdcall SystemFunction036(void* buffer, unsigned long length);
#endif

bool platform_entropy(void* bytes, size_t size) {
#if defined(_WIN32)
    return size <= 0xFFFFFFFFu && SystemFunction036(bytes, (unsigned long)size);
#elif defined(__EMSCRIPTEN__)
    // Emscripten's C library declares getrandom without providing it; the browser's random
    // source is reached through getentropy, at most 256 bytes a call.
    constexpr size_t MAX_ENTROPY = 256;  // bytes
    return size <= MAX_ENTROPY && getentropy(bytes, size) == 0;
#else
    // Never blocks: early in boot, before the pool is ready, the caller falls back instead.
    return getrandom(bytes, size, GRND_NONBLOCK) == ssize_t(size);
#endif
}

void platform_headless_begin(int width, int height) {
    P = Platform{};
    P.headless = true;
    P.headless_w = width;
    P.headless_h = height;
    char* base = SDL_GetBasePath();
    if (base) {
        P.headless_exe_dir = base;
        SDL_free(base);
    }
}
void platform_headless_end() { P = Platform{}; }
void platform_headless_set_frame_duration(double seconds) { P.headless_duration = seconds; }
void platform_headless_set_exe_dir(const char* dir) { P.headless_exe_dir = dir ? dir : ""; }
bool platform_is_headless() { return P.headless; }

double platform_frame_duration() { return P.headless ? P.headless_duration : P.smoothed; }
void platform_set_frame_pace(double seconds) { P.pace = seconds > 0 ? seconds : 0; }

void platform_set_frame_drawn(bool drawn) {
    P.frame_drawn = drawn;
    if (drawn) P.redraw_needed = false;
}
bool platform_frame_drawn() { return P.frame_drawn; }
bool platform_redraw_needed() { return P.redraw_needed; }
void platform_request_redraw() { P.redraw_needed = true; }

void platform_toggle_fullscreen() {
#ifdef __EMSCRIPTEN__
    // Browsers grant fullscreen only inside an input event: the request waits for the next one
    // (the release of the key that asked).
    if (P.window && desktop_effects) {
        if (platform_is_fullscreen()) emscripten_exit_fullscreen();
        else emscripten_request_fullscreen(BROWSER_CANVAS, 1);
        return;
    }
#endif
    bool was = P.window && desktop_effects ? _window_fullscreen_now() : P.fullscreen;
    P.fullscreen = !was;
    P.redraw_needed = true;
    if (!P.window || !desktop_effects) return;
    if (P.fullscreen) {
        // SDL may still believe the window is fullscreen and would ignore the request.
        if (SDL_GetWindowFlags(P.window) & SDL_WINDOW_FULLSCREEN) SDL_SetWindowFullscreen(P.window, 0);
        SDL_SetWindowFullscreen(P.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        SDL_SetWindowFullscreen(P.window, 0);
        SDL_SetWindowSize(P.window, WINDOW_W, WINDOW_H);
        SDL_SetWindowPosition(P.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
}
bool platform_is_fullscreen() {
#ifdef __EMSCRIPTEN__
    EmscriptenFullscreenChangeEvent status;
    if (P.window && desktop_effects)
        return emscripten_get_fullscreen_status(&status) == EMSCRIPTEN_RESULT_SUCCESS && status.isFullscreen;
#endif
    return P.window && desktop_effects ? _window_fullscreen_now() : P.fullscreen;
}
void platform_set_desktop_effects(bool on) { desktop_effects = on; }
void platform_quit() { P.quit = true; }
bool platform_quit_requested() { return P.quit; }

int platform_width() {
    if (!P.window) return P.headless_w;
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(P.window, &w, &h);
    return w;
}
int platform_height() {
    if (!P.window) return P.headless_h;
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(P.window, &w, &h);
    return h;
}

void platform_show_mouse(bool show) {
    if (!P.headless) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}
void platform_lock_mouse(bool lock) {
    if (!P.headless) SDL_SetRelativeMouseMode(lock ? SDL_TRUE : SDL_FALSE);
}

void platform_setup_timer() {
    P.timer_start = SDL_GetPerformanceCounter();
    P.timer_ready = true;
}
double platform_time() {
    if (!P.timer_ready) return 0;
    return double(SDL_GetPerformanceCounter() - P.timer_start) / double(SDL_GetPerformanceFrequency());
}

Platform_Date platform_local_date() {
    if (P.headless) return HEADLESS_DATE;
    std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &now) != 0) return {};
#else
    if (!localtime_r(&now, &local)) return {};
#endif
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string platform_resolve_url(const char* url) {
    if (!url) return "";
    std::string target = url;
    if (target.find("://") == std::string::npos) {
        // A file beside the executable: an absolute file URL, whatever the folders are called.
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return "";
        std::string dir = cwd;
#ifdef _WIN32
        // C:\games\vantorel becomes /C:/games/vantorel, the path part of a file URL.
        for (char& c : dir)
            if (c == '\\') c = '/';
        dir.insert(0, "/");
        target = file_url_from_path(dir + "/" + target);
        // The drive's colon stays as it is: file:///C:/...
        if (target.size() > 11 && target.compare(9, 3, "%3A") == 0) target.replace(9, 3, ":");
#else
        target = file_url_from_path(dir + "/" + target);
#endif
    }
    return target;
}

void platform_open_url(const char* url) {
    if (P.headless || !desktop_effects) return;
#ifdef __EMSCRIPTEN__
    // A page beside the game's own, in a tab of its own.
    if (url) EM_ASM({ window.open(UTF8ToString($0), "_blank", "noopener"); }, url);
    return;
#endif
    std::string target = platform_resolve_url(url);
    if (!target.empty()) SDL_OpenURL(target.c_str());
}

#ifndef __EMSCRIPTEN__
namespace {
// SDL reads /proc/self/exe, which cannot name an executable whose path is PATH_MAX or longer.
// The name it was started by still leads to it, relative to the folder it was started in
// (still the working directory here); only when that name is the executable itself, not a
// link to it, is its folder taken.
std::string _exe_dir_from_system() {
#if defined(__linux__)
    const char* name = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    struct stat named, running;
    if (!name || lstat(name, &named) != 0 || !S_ISREG(named.st_mode) || stat("/proc/self/exe", &running) != 0 ||
        named.st_dev != running.st_dev || named.st_ino != running.st_ino)
        return "";
    const char* slash = std::strrchr(name, '/');
    if (!slash) return ".";
    return slash == name ? "/" : std::string(name, size_t(slash - name));
#else
    return "";
#endif
}
}  // namespace
#endif

std::string platform_find_exe_dir() {
    if (P.headless) return P.headless_exe_dir;
#ifdef __EMSCRIPTEN__
    return BROWSER_GAME_DIR;  // SDL would name the root of the page's file system
#else
    char* base = SDL_GetBasePath();
    if (!base) return _exe_dir_from_system();
    std::string dir = base;
    SDL_free(base);
    return dir;
#endif
}

bool platform_change_to_exe_dir() {
    std::string dir = platform_find_exe_dir();
#ifndef _WIN32
    // A relative folder (the system's, when SDL cannot say) means nothing once left: from
    // inside it, it is ".".
    if (!P.headless && !dir.empty() && dir[0] != '/') dir = file_change_folder(dir.c_str()) ? "." : "";
#endif
    P.exe_dir.clear();
    if (dir.empty()) return false;
    // An installed executable has no data beside it; its data folder is found relative to it.
    std::string root = paths_data_root(dir);
    if (!file_change_folder(root.c_str())) return false;
    // "." names the executable's folder only while that is the working directory.
    P.exe_dir = dir != "." || root == dir ? dir : "";
    return true;
}

const char* platform_exe_dir() { return P.exe_dir.c_str(); }

void platform_set_icon(int w, int h, const uint8_t* rgba) {
    if (!P.window || !rgba || w <= 0 || h <= 0) return;
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(rgba), w, h, 32, w * 4,
                                                        SDL_PIXELFORMAT_ABGR8888);
    if (!s) return;
    SDL_SetWindowIcon(P.window, s);
    SDL_FreeSurface(s);
}

void platform_shutdown_graphics() {
    if (P.gl) SDL_GL_DeleteContext(P.gl);
    P.gl = nullptr;
}

void platform_process_begin() {
#ifndef _WIN32
    signal(SIGXFSZ, SIG_IGN);
#endif
}

char** platform_utf8_arguments(int argc, char** argv) {
#ifdef _WIN32
    // Kept for the whole run, as argv is.
    static std::vector<std::string> text;
    static std::vector<char*> pointers;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return argv;
    // Should the two readings of the command line ever disagree, the C library's stands.
    if (count == argc) {
        text.clear();
        for (int i = 0; i < count; i++) text.push_back(file_utf8_from_wide(wide[i]));
        pointers.clear();
        for (std::string& t : text) pointers.push_back(t.data());
        pointers.push_back(nullptr);
        argv = pointers.data();
    }
    LocalFree(wide);
#else
    (void)argc;
#endif
    return argv;
}

namespace {
#ifdef _WIN32
bool _redirected(DWORD which) {
    HANDLE h = GetStdHandle(which);
    return h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

// A GUI program gets no console; it borrows the one it was started from, if any. Streams
// already sent to a file or a pipe stay there.
bool _console() {
    static int attached = -1;
    if (attached < 0) {
        bool out = _redirected(STD_OUTPUT_HANDLE), err = _redirected(STD_ERROR_HANDLE);
        attached = GetConsoleWindow() || AttachConsole(ATTACH_PARENT_PROCESS) ? 1 : 0;
        if (attached && !out && std::freopen("CONOUT$", "w", stdout)) setvbuf(stdout, nullptr, _IONBF, 0);
        if (attached && !err && std::freopen("CONOUT$", "w", stderr)) setvbuf(stderr, nullptr, _IONBF, 0);
    }
    return attached == 1;
}
#endif
}  // namespace

void platform_print(const char* text) {
#ifdef _WIN32
    _console();
#endif
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void platform_report_failure(const char* text) {
#ifdef _WIN32
    bool console = _console();
#endif
    std::fputs(text, stderr);
    std::fflush(stderr);
#ifdef _WIN32
    if (!console) SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Vantorel", text, nullptr);
#endif
}

void platform_events_begin() {
    // Our own handlers instead of SDL's, whose quit event is lost when the queue is full.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    _install_quit_signals();
}

bool platform_pump_events(const Platform_Callbacks& cb) {
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
        if (ev.type == SDL_QUIT) P.quit = true;
        if (_loses_picture(ev)) P.redraw_needed = true;
        Platform_Event pe;
        if (_translate(ev, pe)) cb.event(pe);
    }
    if (quit_signalled) P.quit = true;
    return !P.quit;
}

int platform_run(int argc, char** argv, const Platform_Callbacks& cb, const Platform_Start& start) {
    (void)argc;
    (void)argv;
    P = Platform{};
    SDL_SetHint(SDL_HINT_VIDEO_HIGHDPI_DISABLED, "1");
    platform_events_begin();
    Held_Errors held = _hold_errors();
    // The timer subsystem starts a thread, and from the first thread on every getc locks: video
    // first, so the X input method reads its compose table (tens of thousands of getc) unlocked.
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0 || SDL_InitSubSystem(SDL_INIT_TIMER) != 0) {
        _release_errors(held, (std::string("vantorel: no display: ") + SDL_GetError() + "\n").c_str());
        return 1;
    }
    // Without a display SDL falls back to drivers that show nothing; a game nobody can see
    // must not run unless the caller chose such a driver on purpose.
    const char* driver = SDL_GetCurrentVideoDriver();
    bool invisible = _is_invisible_driver(driver);
    if (invisible && !_driver_requested(driver)) {
        _release_errors(held, "vantorel: no display: set DISPLAY or WAYLAND_DISPLAY to a running display server\n");
        SDL_Quit();
        return 1;
    }
    _release_errors(held, nullptr);
#ifdef __EMSCRIPTEN__
    // WebGL 2
    constexpr int GL_MAJOR = 3, GL_MINOR = 0, GL_PROFILE = SDL_GL_CONTEXT_PROFILE_ES;
    const char* gl_name = "WebGL 2";
#else
    constexpr int GL_MAJOR = 3, GL_MINOR = 3, GL_PROFILE = SDL_GL_CONTEXT_PROFILE_CORE;
    const char* gl_name = "OpenGL 3.3 core";
#endif
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, GL_MAJOR);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, GL_MINOR);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, GL_PROFILE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
#ifdef __EMSCRIPTEN__
    // The page sizes the canvas and only the player may make it fullscreen.
    Uint32 flags = SDL_WINDOW_OPENGL;
#else
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE;
    if (start.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
#endif
    P.window = SDL_CreateWindow("Vantorel", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, WINDOW_W, WINDOW_H, flags);
    if (P.window) P.gl = SDL_GL_CreateContext(P.window);
    int major = 0, minor = 0;
    if (P.gl) {
        SDL_GL_GetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, &major);
        SDL_GL_GetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, &minor);
    }
    if (!P.gl || major * 10 + minor < GL_MAJOR * 10 + GL_MINOR) {
        std::string line = std::string(gl_name) + " is not available: " +
                           (P.gl ? "the driver offers an older version" : SDL_GetError());
        std::fprintf(stderr, "vantorel: %s\n", line.c_str());
        if (P.gl) SDL_GL_DeleteContext(P.gl);
        P.gl = nullptr;
        if (P.window) SDL_DestroyWindow(P.window);
        P.window = nullptr;
        // A player who started the game from a menu never sees standard error.
        if (!invisible) SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Vantorel", line.c_str(), nullptr);
        SDL_Quit();
        return 1;
    }
    P.fullscreen = start.fullscreen;
    SDL_GL_MakeCurrent(P.window, P.gl);
    SDL_GL_SetSwapInterval(1);

#ifdef __EMSCRIPTEN__
    P.fullscreen = false;
    _browser_run(cb);
#endif
    cb.init();
    double last = _seconds_now();
    while (!P.quit) {
        if (!platform_pump_events(cb)) break;
        P.frame_drawn = true;
        cb.frame();
        if (P.gl && P.frame_drawn) {
            SDL_GL_SwapWindow(P.window);
            _report_first_frame();
        }
        // Without a waiting present (no vsync, Xvfb, or no present at all this frame) never
        // outrun the display.
        double interval = std::max(_refresh_interval(), P.pace);
        _sleep_until(last + interval);
        double now = _seconds_now();
        _record_duration(now - last);
        last = now;
    }
    cb.cleanup();
    platform_shutdown_graphics();
    SDL_DestroyWindow(P.window);
    P.window = nullptr;
    SDL_Quit();
    return 0;
}
