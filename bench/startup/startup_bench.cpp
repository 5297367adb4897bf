// Start-up of the program: from starting the process to the first frame
// that shows the demo game, in a headless run on the real clock.
//
// The run ends with --frames 2 right after that frame: the second pass
// draws the first frame after the script's onLoad (the first pass draws
// before any tick). The figure is the time to the process's exit, so it
// includes the shut-down and is an upper bound of the start-up.
//
// Argument 0 runs the program as a user does; 1 names the standard
// SoundFont with --soundfont, which loads it before the game starts
// instead of while it starts, for comparison.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// A copy of the demo with the pad plug-in beside it, as tools/demo.sh
// plays it, so a run leaves nothing in the source tree.
class DemoCopy {
public:
    DemoCopy() {
        char pattern[] = "/tmp/tesserae-startup-XXXXXX";
        if (!mkdtemp(pattern)) return;
        root = std::string(pattern) + "/";
        std::string command = "cp -R '" TESSERAE_DEMO_GAME "' '" + root + "game' && cp '" TESSERAE_PAD_PLUGIN "' '" +
                              root + "game/input.so'";
        ready = system(command.c_str()) == 0;
    }
    ~DemoCopy() {
        if (!root.empty()) system(("rm -rf '" + root + "'").c_str());
    }
    std::string root;
    bool ready = false;
};

// Seconds from starting the program to its exit; negative when the run
// failed (its stderr is then in `errors`).
double runOnce(const DemoCopy& demo, const char* soundFont) {
    std::string game = demo.root + "game", errors = demo.root + "errors.txt";
    Clock::time_point start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        if (!freopen(errors.c_str(), "w", stderr)) _exit(126);
        if (soundFont)
            execl(TESSERAE_BINARY, TESSERAE_BINARY, "--headless", "--frames", "2", "--soundfont", soundFont,
                  game.c_str(), static_cast<char*>(nullptr));
        else
            execl(TESSERAE_BINARY, TESSERAE_BINARY, "--headless", "--frames", "2", game.c_str(),
                  static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

void BM_StartupToFirstGameFrame(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    DemoCopy demo;
    if (!demo.ready) {
        state.SkipWithError("cannot copy the demo");
        return;
    }
    const char* soundFont = nullptr;
    if (state.range(0) == 1) {
        for (const char* path : {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2"}) {
            if (!soundFont && access(path, R_OK) == 0) soundFont = path;
        }
        if (!soundFont) {
            state.SkipWithError("no standard SoundFont installed");
            return;
        }
    }
    for (auto _ : state) {
        double seconds = runOnce(demo, soundFont);
        if (seconds < 0) {
            system(("cat '" + demo.root + "errors.txt' >&2").c_str());
            state.SkipWithError("the program's run failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_StartupToFirstGameFrame)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
