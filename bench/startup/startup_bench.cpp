// Start-up of the program: from starting the process to the first frame
// that shows the demo game, in a headless run on the real clock.
//
// The moment the frame is on the screen is taken from the program itself:
// the scripted input presses Alt+S on the second pass, whose frame is the
// first one drawn after the script's onLoad (the first pass draws before
// any tick), and the program says on stderr that it saved that frame. The
// figure therefore includes writing the PNG, and is an upper bound. The
// time to the end of the run (the shut-down included) is a counter.
//
// Argument 0 runs the program as a user does; 1 names the standard
// SoundFont with --soundfont, which loads it before the game starts
// instead of while it starts, for comparison.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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
        // One event per pass: a pass handles at least one after its frame.
        std::ofstream(root + "input.txt") << "1 key down ALT\n2 key down S\n";
    }
    ~DemoCopy() {
        if (!root.empty()) system(("rm -rf '" + root + "'").c_str());
    }
    std::string root;
    bool ready = false;
};

// One run: seconds to the line naming the screenshot and to the exit;
// false when the run did not go as planned.
bool runOnce(const DemoCopy& demo, const char* soundFont, double& toFrame, double& toExit) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return false;
    std::string input = demo.root + "input.txt", game = demo.root + "game", saves = demo.root + "saves";
    Clock::time_point start = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], 2);
        close(pipeEnds[0]);
        if (soundFont)
            execl(TESSERAE_BINARY, TESSERAE_BINARY, "--headless", "--frames", "3", "--input", input.c_str(),
                  "--save-dir", saves.c_str(), "--soundfont", soundFont, game.c_str(), static_cast<char*>(nullptr));
        else
            execl(TESSERAE_BINARY, TESSERAE_BINARY, "--headless", "--frames", "3", "--input", input.c_str(),
                  "--save-dir", saves.c_str(), game.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    if (child < 0) {
        close(pipeEnds[0]);
        return false;
    }
    std::string said;
    char buffer[512];
    bool seen = false;
    ssize_t n;
    while ((n = read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
        said.append(buffer, size_t(n));
        if (!seen && said.find("screenshot saved") != std::string::npos) {
            toFrame = std::chrono::duration<double>(Clock::now() - start).count();
            seen = true;
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    toExit = std::chrono::duration<double>(Clock::now() - start).count();
    system(("rm -rf '" + saves + "'").c_str());
    if (!seen || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "startup_bench: the run failed:\n%s", said.c_str());
        return false;
    }
    return true;
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
    double exitTotal = 0;
    for (auto _ : state) {
        double toFrame = 0, toExit = 0;
        if (!runOnce(demo, soundFont, toFrame, toExit)) {
            state.SkipWithError("the program's run failed");
            return;
        }
        state.SetIterationTime(toFrame);
        exitTotal += toExit;
    }
    state.counters["to_exit_ms"] =
        benchmark::Counter(exitTotal * 1000.0 / double(state.iterations()));
}
BENCHMARK(BM_StartupToFirstGameFrame)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
