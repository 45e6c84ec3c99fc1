// The real window loop on a real window: a frame that repeats the picture on screen is not
// presented again, a changed one is presented in its own frame, a window shown again gets its
// picture back, and frames keep their pace when nothing is presented. Needs a display.
#include <SDL2/SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "game/renderer.h"
#include "game/sprite.h"
#include "platform/platform.h"

namespace {
constexpr int SETTLED_FRAMES = 30;   // in a row without a present
constexpr int MOVING_FRAMES = 5;
constexpr int GIVE_UP_FRAMES = 600;  // per phase: ten seconds at 60 frames a second

enum Phase { settling, moving, shown_again, done };

struct Script {
    Phase phase = settling;
    int frame = -1;  // the frame being run
    int phase_start = 0;
    int last_present = 0;
    double still_since = 0;     // seconds
    double settle_seconds = 0;  // the last SETTLED_FRAMES frames of settling, none presented
    int moved_at = 0;
    int shown_at = -1;
    bool gave_up = false;
    Phase gave_up_in = settling;
    std::vector<int> presents;  // frame numbers
} S;

void _init() {
    platform_setup_timer();
    renderer_init(false);
    const u8 white[4] = {255, 255, 255, 255};
    renderer_load_atlas(1, 1, white);
}

void _next(Phase p) {
    S.phase = p;
    S.phase_start = S.frame;
}

// Still, then moving a pixel a frame, then still again in a window hidden and shown.
void _frame() {
    S.frame++;
    if (S.phase == settling) {
        if (S.frame - S.last_present == 1) S.still_since = platform_time();
        if (S.frame - S.last_present > SETTLED_FRAMES) {
            S.settle_seconds = platform_time() - S.still_since;
            _next(moving);
            S.moved_at = S.frame;
        }
    } else if (S.phase == moving && S.frame - S.phase_start == MOVING_FRAMES) {
        SDL_Window* w = SDL_GL_GetCurrentWindow();
        SDL_HideWindow(w);
        SDL_ShowWindow(w);
        _next(shown_again);
    } else if (S.phase == shown_again && S.last_present >= S.phase_start) {
        S.shown_at = S.last_present;
        _next(done);
    }
    if (S.phase != done && S.frame - S.phase_start > GIVE_UP_FRAMES) {
        S.gave_up = true;
        S.gave_up_in = S.phase;
        _next(done);
    }
    if (S.phase == done) platform_quit();
    f32 x = S.phase == settling ? 0 : S.phase == moving ? f32(S.frame - S.phase_start + 1) : f32(MOVING_FRAMES);
    draw_world_sprite({x, 0}, {4, 4}, 0, WHITE, Sprite{0, 0, 1, 1}, 0.5f);
    renderer_flush_frame();
}

void _event(const Platform_Event&) {}
void _cleanup() { renderer_shutdown(); }
}  // namespace

// The loop presents through this symbol of the executable; the count is of real presents.
extern "C" void SDL_GL_SwapWindow(SDL_Window* window) {
    static auto real = reinterpret_cast<void (*)(SDL_Window*)>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
    S.presents.push_back(S.frame);
    S.last_present = S.frame;
    real(window);
}

TEST(Loop, PresentsOnlyChangedPicturesAndKeepsItsPace) {
    Platform_Start start;
    start.fullscreen = false;
    Platform_Callbacks cb = {_init, _frame, _event, _cleanup};
    char name[] = "vantorel";
    char* argv[] = {name, nullptr};
    ASSERT_EQ(platform_run(1, argv, cb, start), 0);
    ASSERT_FALSE(S.gave_up) << "stuck in phase " << S.gave_up_in << " (settling, moving, shown again) at frame " << S.frame;
    ASSERT_FALSE(S.presents.empty());
    EXPECT_EQ(S.presents.front(), 0) << "the first frame is presented";
    // Settled: the unchanged frames presented nothing and still took their time, not spun.
    EXPECT_GE(S.settle_seconds, SETTLED_FRAMES / 120.0);
    for (int k = 0; k < MOVING_FRAMES; k++)
        EXPECT_EQ(std::count(S.presents.begin(), S.presents.end(), S.moved_at + k), 1)
            << "moved picture " << k << " presented in its own frame";
    EXPECT_GE(S.shown_at, S.moved_at + MOVING_FRAMES) << "a window shown again gets its picture";
}
