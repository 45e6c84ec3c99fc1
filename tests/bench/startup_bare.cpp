// The platform work every start of the game must do, and nothing else: SDL video, audio
// and joystick, the fullscreen GL 3.3 core window, the mixer device, one cleared frame.
// The start-up benchmark holds the game's first title frame against this one. With --loop it
// then carries on as the plainest game loop would (events, a cleared frame presented, 60 Hz)
// until it is closed, as the processor-time benchmark's yardstick.
#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>
#include <epoxy/gl.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "../../source/game/common.h"

int main(int argc, char** argv) {
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO | SDL_INIT_JOYSTICK) != 0) return 1;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_Window* window = SDL_CreateWindow("bare", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 576,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_FULLSCREEN_DESKTOP);
    if (!window) return 1;
    SDL_GLContext gl = SDL_GL_CreateContext(window);
    if (!gl) return 1;
    SDL_GL_SetSwapInterval(1);
    Mix_OpenAudioDevice(44100, AUDIO_S16SYS, 2, 1024, nullptr, 0);
    glClearColor(PALETTE[3].r, PALETTE[3].g, PALETTE[3].b, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
    if (const char* fd_text = std::getenv("VANTOREL_FIRST_FRAME_FD")) {
        timespec now = {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        long long ns = now.tv_sec * 1000000000LL + now.tv_nsec;
        if (write(std::atoi(fd_text), &ns, sizeof ns) != sizeof ns) return 1;
    }
    if (argc > 1 && std::strcmp(argv[1], "--loop") == 0) {
        const Uint64 frame = SDL_GetPerformanceFrequency() / 60;  // counter ticks
        Uint64 next = SDL_GetPerformanceCounter();
        for (bool open = true; open;) {
            SDL_Event ev;
            while (SDL_PollEvent(&ev)) open = open && ev.type != SDL_QUIT;
            glClear(GL_COLOR_BUFFER_BIT);
            SDL_GL_SwapWindow(window);
            next += frame;
            Uint64 now = SDL_GetPerformanceCounter();
            if (now < next) SDL_Delay(Uint32((next - now) * 1000 / SDL_GetPerformanceFrequency()));
        }
    }
    Mix_CloseAudio();
    SDL_GL_DeleteContext(gl);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
