// Time from exec to the first presented frame: the game's title against the bare platform
// program, alternated so that both see the same machine, medians and their ratio printed.
//   startup_bench <game> <bare> [runs]
// Needs a display; the child processes are stopped as soon as they have reported.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

long long _now_ns() {
    timespec t = {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

struct Run {
    double wall_ms;  // exec to the first frame; negative when the program reported nothing
    double cpu_ms;   // processor time the program had used by then, which a busy machine
                     // disturbs far less than the wall-clock time
};

Run _one_run(const char* program) {
    int fds[2];
    if (pipe(fds) != 0) return {-1, -1};
    long long before = _now_ns();
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        setenv("VANTOREL_FIRST_FRAME_FD", fd.c_str(), 1);
        std::string dir = program;
        dir = dir.substr(0, dir.find_last_of('/') + 1);
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(127);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (child < 0) {
        close(fds[0]);
        return {-1, -1};
    }
    long long at = 0;
    // A read that ends without the time means the program died or gave up first.
    bool ok = read(fds[0], &at, sizeof at) == sizeof at;
    close(fds[0]);
    kill(child, SIGKILL);
    rusage use = {};
    wait4(child, nullptr, 0, &use);
    double cpu = (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 +
                 (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
    return ok ? Run{double(at - before) / 1e6, cpu} : Run{-1, -1};
}

double _median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <game> <bare> [runs]\n", argv[0]);
        return 2;
    }
    int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::printf("start-up: no display, not measured\n");
        return 0;
    }
    std::vector<double> game, bare, game_cpu, bare_cpu;
    // One run of each first, unmeasured, so both start with warm file caches.
    _one_run(argv[1]);
    _one_run(argv[2]);
    for (int i = 0; i < runs; i++) {
        Run g = _one_run(argv[1]), b = _one_run(argv[2]);
        if (g.wall_ms < 0 || b.wall_ms < 0) {
            std::fprintf(stderr, "start-up: a program did not present a frame\n");
            return 1;
        }
        game.push_back(g.wall_ms);
        bare.push_back(b.wall_ms);
        game_cpu.push_back(g.cpu_ms);
        bare_cpu.push_back(b.cpu_ms);
        std::printf("start-up run %d: title %.1f ms (cpu %.1f), bare %.1f ms (cpu %.1f)\n", i + 1, g.wall_ms,
                    g.cpu_ms, b.wall_ms, b.cpu_ms);
    }
    double mg = _median(game), mb = _median(bare), cg = _median(game_cpu), cb = _median(bare_cpu);
    std::printf("start-up medians of %d alternated runs: title %.1f ms, bare %.1f ms, ratio %.2f\n", runs, mg, mb,
                mg / mb);
    std::printf("processor time to the first frame, medians: title %.1f ms, bare %.1f ms, ratio %.2f\n", cg, cb,
                cg / cb);
    return 0;
}
