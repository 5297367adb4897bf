#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/exit_status.h"
#include "app/options.h"
#include "game_models.h"
#include "app/program.h"
#include "platform/files.h"
#include "platform/instance_lock.h"
#include "platform/message_box.h"

namespace {

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A copy of tests/games/<name> in a scratch folder.
class GameCopy {
public:
    explicit GameCopy(const std::string& name) {
        char pattern[] = "/tmp/tesserae-e2e-XXXXXX";
        if (!mkdtemp(pattern)) ADD_FAILURE() << "no temporary folder";
        folder = std::string(pattern) + "/";
        std::string command = "cp -R '" + std::string(TESSERAE_TEST_GAMES) + "/" + name + "/.' '" + folder + "'";
        if (system(command.c_str()) != 0) ADD_FAILURE() << command;
    }
    ~GameCopy() {
        std::string command = "rm -rf '" + folder + "'";
        if (system(command.c_str()) != 0) ADD_FAILURE() << command;
    }
    std::string folder;
};

// The program run as a user runs it, compared with a reviewed screenshot.
// TESSERAE_UPDATE_GOLDEN=1 rewrites the golden file instead.
TEST(HeadlessRun, ScriptedGameMatchesItsGoldenScreenshot) {
    GameCopy game("moving_image");
    std::string shot = game.folder + "shot.png";
    std::string command = std::string(TESSERAE_BINARY) + " --headless --virtual-clock --frames 100 --input '" +
                          game.folder + "input.txt' --screenshot '" + shot + "' '" + game.folder + "' 2>&1";
    ASSERT_EQ(system(command.c_str()), 0) << command;
    std::string golden = std::string(TESSERAE_TEST_DATA) + "/app/moving_image.png";
    if (getenv("TESSERAE_UPDATE_GOLDEN")) {
        std::ofstream(golden, std::ios::binary) << readBytes(shot);
        GTEST_SKIP() << "golden image rewritten";
    }
    EXPECT_EQ(readBytes(shot), readBytes(golden)) << "differs from " << golden;
    // Nothing printed, so no log; the switch and errors would show as boxes.
    EXPECT_FALSE(platform::fileExists(game.folder + "20000101_000000.log"));
}

TEST(HeadlessRun, RunsRepeatExactly) {
    GameCopy first("moving_image"), second("moving_image");
    for (const GameCopy* game : {&first, &second}) {
        std::string command = std::string(TESSERAE_BINARY) + " --headless --virtual-clock --frames 60 --input '" +
                              game->folder + "input.txt' --screenshot '" + game->folder + "s.png' '" +
                              game->folder + "' 2>&1";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    EXPECT_EQ(readBytes(first.folder + "s.png"), readBytes(second.folder + "s.png"));
}

// Models, animation and boards through the program: the frame matches its
// reviewed image, the log shows what the script classes answered, and a
// second run gives the same frame.
TEST(HeadlessRun, SceneOfModelsAndBoardsMatchesItsGoldenFrame) {
    GameCopy first("scene_objects"), second("scene_objects");
    std::string frames[2];
    int run = 0;
    for (const GameCopy* game : {&first, &second}) {
        app_test::writeSceneAssets(game->folder);
        std::string command = std::string(TESSERAE_BINARY) + " --headless --virtual-clock --frames 45 --screenshot '" +
                              game->folder + "s.png' '" + game->folder + "' 2>&1";
        ASSERT_EQ(system(command.c_str()), 0) << command;
        frames[run++] = readBytes(game->folder + "s.png");
    }
    EXPECT_EQ(frames[0], frames[1]);
    std::string golden = std::string(TESSERAE_TEST_DATA) + "/app/scene_objects.png";
    if (getenv("TESSERAE_UPDATE_GOLDEN")) {
        std::ofstream(golden, std::ios::binary) << frames[0];
    } else {
        EXPECT_EQ(frames[0], readBytes(golden)) << "differs from " << golden;
    }
    EXPECT_EQ(readBytes(first.folder + "20000101_000000.log"),
              "robot 0 load true\r\nrobot 1 load true\r\nframes 20 0\r\ncrate load true\r\n"
              "missing load false\r\nbad index load false\r\n");
}

std::string runAndReadLog(const GameCopy& game) {
    std::string command = std::string(TESSERAE_BINARY) + " --headless --virtual-clock '" + game.folder + "' 2>&1";
    EXPECT_EQ(system(command.c_str()), 0) << command;
    return readBytes(game.folder + "20000101_000000.log");
}

// The script folders of the host's own tests run the same through the
// program: the switch between files, and the end after the last one.
TEST(HeadlessRun, ScriptFolderSwitchesFilesAndEnds) {
    GameCopy game("switch");
    EXPECT_EQ(runAndReadLog(game),
              "init onLoad\r\ninit onProc 1\r\ninit onUnload\r\n"
              "second onLoad ext=.nut counter=false\r\nsecond onProc\r\nsecond onUnload\r\n");
}

// A game shipped as files compiled by 2.1.1 (made by tools/make_compiled_game.py
// from compiled_source) plays exactly as its source: the same frames while
// the quad moves, the same log and the same error report, whose lines and
// locals come from the compiled file's own tables.
TEST(HeadlessRun, CompiledScriptsPlayLikeTheirSource) {
    GameCopy compiled("compiled"), source("compiled_source");
    ASSERT_EQ(readBytes(compiled.folder + "script/init.nut").substr(0, 2), "\xFA\xFA");
    ASSERT_EQ(readBytes(compiled.folder + "script/second.nut").substr(0, 2), "\xFA\xFA");
    std::string outputs[2];
    int run = 0;
    for (const GameCopy* game : {&compiled, &source}) {
        std::string base = std::string(TESSERAE_BINARY) + " --headless --virtual-clock ";
        for (int frames : {2, 4, 6}) {
            std::string command = base + "--frames " + std::to_string(frames) + " --screenshot '" + game->folder +
                                  "f" + std::to_string(frames) + ".png' '" + game->folder + "' > /dev/null 2>&1";
            ASSERT_EQ(system(command.c_str()), 0) << command;
            remove((game->folder + "20000101_000000.log").c_str());
        }
        std::string command = base + "'" + game->folder + "' > '" + game->folder + "err.txt' 2>&1";
        int status = system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), app::kExitScriptError);
        outputs[run++] = readBytes(game->folder + "err.txt");
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_TRUE(readBytes(compiled.folder + "f2.png") != readBytes(compiled.folder + "f4.png"));
    for (const char* shot : {"f2.png", "f4.png", "f6.png"})
        EXPECT_TRUE(readBytes(compiled.folder + shot) == readBytes(source.folder + shot)) << shot;
    std::string log = readBytes(compiled.folder + "20000101_000000.log");
    EXPECT_EQ(log, readBytes(source.folder + "20000101_000000.log"));
    EXPECT_EQ(log.rfind("init onLoad\r\ninit onProc 1\r\ninit onProc 2\r\ninit onProc 3\r\ninit onUnload\r\n"
                        "second onLoad\r\nitem lamp\r\n\nAN ERROR HAS OCCURED [the index 'size' does not exist]\n",
                        0),
              0u)
        << log;
    EXPECT_NE(log.find("*FUNCTION [describe()] script\\second.nut line [6]\n\r\n"
                       "*FUNCTION [onProc()] script\\second.nut line [17]\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("[label] \"item\"\n\r\n[key] \"size\"\n\r\n[table] TABLE\n"), std::string::npos) << log;
}

TEST(HeadlessRun, RandomNumbersRepeatOnTheVirtualClock) {
    GameCopy first("random"), second("random");
    std::string log = runAndReadLog(first);
    EXPECT_EQ(log, runAndReadLog(second));
    EXPECT_EQ(std::count(log.begin(), log.end(), ' '), 2) << log;
}

TEST(HeadlessRun, MissingInitScriptShowsTheBoxAndEnds) {
    GameCopy game("missing");
    platform::clearShownMessageBoxes();
    app::Options options;
    options.headless = true;
    options.virtualClock = true;
    options.frames = 50;
    options.gameDir = game.folder;
    std::string before = platform::currentDir();
    testing::internal::CaptureStderr();
    EXPECT_EQ(app::runProgram(options), app::kExitScriptError);
    std::string printed = testing::internal::GetCapturedStderr();
    platform::setCurrentDir(before);
    auto boxes = platform::shownMessageBoxes();
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "onLoad");
    EXPECT_EQ(boxes[0].text, "cannot open the file");
    EXPECT_NE(printed.find("MessageBox: onLoad: cannot open the file"), std::string::npos);
    EXPECT_NE(printed.find("tesserae: the script '" + game.folder + "script/init.nut' does not exist\n"),
              std::string::npos)
        << printed;
}

TEST(HeadlessRun, SecondInstanceIsRefused) {
    GameCopy game("moving_image");
    platform::InstanceLock first;
    ASSERT_TRUE(first.acquire(game.folder));
    platform::clearShownMessageBoxes();
    app::Options options;
    options.headless = true;
    options.gameDir = game.folder;
    testing::internal::CaptureStderr();
    EXPECT_EQ(app::runProgram(options), app::kExitLocked);
    testing::internal::GetCapturedStderr();
    auto boxes = platform::shownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "多重起動エラー");
    EXPECT_EQ(boxes[0].text, "すでにプログラムは起動しています。");
}

TEST(CommandLineErrors, BadArgumentsExitWithStatusTwo) {
    const char* cases[] = {"--frames 0", "--zoom 9", "--bogus", "--input /nonexistent/input.txt /tmp",
                           "/nonexistent/game/folder"};
    for (const char* args : cases) {
        std::string command = std::string(TESSERAE_BINARY) + " --headless " + args + " >/dev/null 2>&1";
        int status = system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args;
    }
}

// The program's exit status for a command line; a run that hangs fails
// through `timeout` (status 124) instead of blocking the tests.
int exitStatus(const std::string& arguments, const std::string& errorFile = "/dev/null") {
    std::string command = "timeout 300 " + std::string(TESSERAE_BINARY) + " " + arguments + " >/dev/null 2>'" +
                          errorFile + "'";
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ExitStatus, OneValuePerClassOfCause) {
    GameCopy good("moving_image"), broken("compile_error"), missing("missing");
    const std::string run = "--headless --virtual-clock --frames 5 ";
    EXPECT_EQ(exitStatus(run + "'" + good.folder + "'"), app::kExitNormal);
    EXPECT_EQ(exitStatus(run + "'" + broken.folder + "'"), app::kExitScriptError);
    EXPECT_EQ(exitStatus(run + "'" + missing.folder + "'"), app::kExitScriptError);
    EXPECT_EQ(exitStatus(run + "--soundfont /nonexistent.sf2 '" + good.folder + "'"), app::kExitHostFailure);
    EXPECT_EQ(exitStatus(run + "--audio-out /nonexistent/a.wav '" + good.folder + "'"), app::kExitHostFailure);
    EXPECT_EQ(exitStatus(run + "--screenshot /nonexistent/s.png '" + good.folder + "'"), app::kExitHostFailure);
    ASSERT_EQ(mkfifo((good.folder + "fifo").c_str(), 0600), 0);
    EXPECT_EQ(exitStatus(run + "--screenshot '" + good.folder + "fifo' '" + good.folder + "'"), app::kExitHostFailure);
    EXPECT_EQ(exitStatus(run + "--frames 0 '" + good.folder + "'"), app::kExitUsage);
    platform::InstanceLock first;
    ASSERT_TRUE(first.acquire(good.folder));
    EXPECT_EQ(exitStatus(run + "'" + good.folder + "'"), app::kExitLocked);
}

TEST(HeadlessRun, TextAtAnyHeightAndPositionDrawsWithoutABox) {
    GameCopy game("text_extremes");
    std::string errors = game.folder + "errors.txt";
    EXPECT_EQ(exitStatus("--headless --virtual-clock --frames 5 '" + game.folder + "'", errors), app::kExitNormal);
    EXPECT_EQ(readBytes(errors), "");
}

// Without a display SDL would fall back to a driver that shows nothing:
// the program says so instead of running a game nobody sees.
TEST(ExitStatus, NoDisplayWithoutHeadlessIsSaid) {
    GameCopy game("moving_image");
    std::string errors = game.folder + "errors.txt";
    std::string command = "env -u SDL_VIDEODRIVER -u DISPLAY -u WAYLAND_DISPLAY timeout 300 " +
                          std::string(TESSERAE_BINARY) + " --frames 3 '" + game.folder + "' >/dev/null 2>'" +
                          errors + "'";
    int status = system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), app::kExitHostFailure);
    EXPECT_NE(readBytes(errors).find("tesserae: cannot open a window (no display: only SDL's '"), std::string::npos)
        << readBytes(errors);
}

// A window scale that leaves no window names init.dat as the cause.
TEST(ExitStatus, WindowScaleWithoutAWindowNamesInitDat) {
    GameCopy game("moving_image");
    std::ofstream(game.folder + "init.dat", std::ios::binary) << std::string("\1\0\0\0\0\2\x20\0", 8);
    std::string errors = game.folder + "errors.txt";
    EXPECT_EQ(exitStatus("--headless --frames 3 '" + game.folder + "'", errors), app::kExitHostFailure);
    EXPECT_EQ(readBytes(errors),
              "tesserae: cannot open a window of 0 x 0: init.dat gives the window scale 2 (0 for 640 x 480, 1 "
              "for 320 x 240)\n");
}

// Scripted keys, mouse and close reach a real window (here SDL's dummy
// driver, chosen by name); minimise and restore are refused there.
TEST(ScriptedInput, KeysAndMouseReachAWindow) {
    GameCopy game("input_echo");
    std::ofstream(game.folder + "input.txt") << "1 mouse move 100 50\n3 mouse down left\n6 mouse up left\n"
                                                "8 key down LEFT\n20 key up LEFT\n";
    std::string command = "SDL_VIDEODRIVER=dummy timeout 300 " + std::string(TESSERAE_BINARY) +
                          " --virtual-clock --input '" + game.folder + "input.txt' '" + game.folder + "' 2>&1";
    ASSERT_EQ(system(command.c_str()), 0);
    EXPECT_EQ(readBytes(game.folder + "20000101_000000.log"), "click 100 50\r\nleft\r\n");

    std::ofstream(game.folder + "input.txt") << "# pause\n5 minimise\n";
    std::string errors = game.folder + "errors.txt";
    command = "SDL_VIDEODRIVER=dummy timeout 300 " + std::string(TESSERAE_BINARY) + " --input '" + game.folder +
              "input.txt' '" + game.folder + "' 2>'" + errors + "'";
    int status = system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == app::kExitUsage);
    EXPECT_EQ(readBytes(errors), "tesserae: " + game.folder + "input.txt: line 2: minimise and restore need --headless\n");
}

// A WAV capture whose RIFF and data sizes agree with its length.
void expectCompleteCapture(const std::string& path) {
    std::string bytes = readBytes(path);
    ASSERT_GE(bytes.size(), 44u) << path;
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
               uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
    };
    EXPECT_EQ(u32(4), bytes.size() - 8);
    EXPECT_EQ(u32(40), bytes.size() - 44);
}

TEST(Watchdog, EndsARunStuckInACallback) {
    GameCopy game("stuck");
    std::string errors = game.folder + "errors.txt";
    EXPECT_EQ(exitStatus("--headless --max-seconds 1 --audio-out '" + game.folder + "a.wav' '" + game.folder + "'",
                         errors),
              app::kExitTimeLimit);
    std::string printed = readBytes(errors);
    EXPECT_NE(printed.find("(--max-seconds); ending the run"), std::string::npos) << printed;
    EXPECT_NE(printed.find("a script callback does not return"), std::string::npos) << printed;
}

TEST(Watchdog, EndsARunThatBehavesLikeTheCloseBox) {
    GameCopy game("endless");
    std::string errors = game.folder + "errors.txt";
    EXPECT_EQ(exitStatus("--headless --max-seconds 1 --audio-out '" + game.folder + "a.wav' '" + game.folder + "'",
                         errors),
              app::kExitTimeLimit);
    std::string printed = readBytes(errors);
    EXPECT_NE(printed.find("(--max-seconds); ending the run"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("does not return"), std::string::npos) << printed;
    expectCompleteCapture(game.folder + "a.wav");
}

// The program, started with `arguments` and stderr into `errors`, once
// the game's log exists; -1 when it ended before that.
pid_t startUntilLogged(const std::vector<std::string>& arguments, const std::string& folder,
                       const std::string& errors) {
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (!freopen(errors.c_str(), "w", stderr)) _exit(126);
        std::vector<char*> argv{const_cast<char*>(TESSERAE_BINARY)};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(TESSERAE_BINARY, argv.data());
        _exit(127);
    }
    int status = 0;
    while (!platform::fileExists(folder + "20000101_000000.log")) {
        if (waitpid(child, &status, WNOHANG) == child) return -1;
        usleep(10000);
    }
    return child;
}

// In a window too, a signal ends a run whose callback never returns, once
// the grace period is over.
TEST(Signals, EndAWindowedRunStuckInACallback) {
    GameCopy game("stuck");
    std::string errors = game.folder + "errors.txt";
    const char* driver = getenv("SDL_VIDEODRIVER");
    std::string previous = driver ? driver : "";
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    pid_t child = startUntilLogged({"--virtual-clock", "--max-seconds", "300", game.folder}, game.folder, errors);
    if (driver) setenv("SDL_VIDEODRIVER", previous.c_str(), 1);
    else unsetenv("SDL_VIDEODRIVER");
    ASSERT_GT(child, 0) << readBytes(errors);
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    std::string printed = readBytes(errors);
    EXPECT_NE(printed.find("SIGTERM received; ending the run"), std::string::npos) << printed;
    EXPECT_NE(printed.find("a script callback does not return); ending at once"), std::string::npos) << printed;
}

// SIGINT and SIGTERM end a headless run as the close box ends a windowed
// one: the pass finishes, the shut-down runs, the capture is complete and
// no half-written save is left behind.
//
// GNU timeout signals the child and then its process group: the same
// signal twice within a moment is one request, not "end at once".
TEST(Signals, EndAHeadlessRunLikeTheCloseBox) {
    for (int signal : {SIGTERM, SIGINT, -SIGTERM}) {
        const bool twice = signal < 0;
        signal = std::abs(signal);
        GameCopy game("endless");
        std::string errors = game.folder + "errors.txt", capture = game.folder + "a.wav";
        pid_t child = startUntilLogged({"--headless", "--virtual-clock", "--max-seconds", "300", "--audio-out",
                                        capture, game.folder},
                                       game.folder, errors);
        ASSERT_GT(child, 0) << readBytes(errors);
        int status = 0;
        kill(child, signal);
        if (twice) {
            usleep(10000);
            kill(child, signal);
        }
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        std::string printed = readBytes(errors);
        EXPECT_NE(printed.find(signal == SIGTERM ? "SIGTERM received" : "SIGINT received"), std::string::npos)
            << printed;
        EXPECT_EQ(printed.find("ending at once"), std::string::npos) << printed;
        expectCompleteCapture(capture);
        for (const auto& entry : std::filesystem::directory_iterator(game.folder))
            EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
        EXPECT_TRUE(platform::fileExists(game.folder + "save.dat"));
    }
}

}  // namespace

namespace {

// A later signal does end a run at once, and even then the capture's
// header matches its samples and no temporary file is left.
TEST(Signals, ASecondSignalLaterEndsAtOnceWithTheCaptureComplete) {
    GameCopy game("stuck");
    std::string errors = game.folder + "errors.txt", capture = game.folder + "a.wav";
    pid_t child = startUntilLogged({"--headless", "--virtual-clock", "--max-seconds", "300", "--audio-out", capture,
                                    game.folder},
                                   game.folder, errors);
    ASSERT_GT(child, 0) << readBytes(errors);
    while (readBytes(game.folder + "20000101_000000.log").find("stuck") == std::string::npos) usleep(10000);
    kill(child, SIGTERM);
    usleep(700000);
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    EXPECT_NE(readBytes(errors).find("SIGTERM received again; ending at once"), std::string::npos)
        << readBytes(errors);
    expectCompleteCapture(capture);
    for (const auto& entry : std::filesystem::directory_iterator(game.folder))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

// A script that appends to an array until memory runs out gets a script
// error (the error box, status 3), not the end of the program. The memory
// is limited with `ulimit -v`, which the sanitiser's allocator cannot run
// under: there it reports exhaustion itself, so the case runs in the
// release build only.
TEST(ScriptMemory, RunningOutOfMemoryIsAScriptError) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitiser ends the program on exhausted memory itself";
#endif
    GameCopy game("errors");
    std::ofstream(game.folder + "script/init.nut", std::ios::binary)
        << "function onLoad()\n{\n\tlocal a = [];\n\twhile (true)\n\t\ta.append(a.len());\n}\n"
           "function onProc() {}\nfunction onDraw() {}\nfunction onUnload() {}\n";
    const std::string limit = "ulimit -v 2000000; ";
    const std::string errors = game.folder + "errors.txt";
    const std::string command = "bash -c '" + limit + "exec timeout -s KILL 120 " + std::string(TESSERAE_BINARY) +
                                " --headless --virtual-clock --frames 5 \"" + game.folder + "\"' 2>'" + errors + "'";
    int status = system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), app::kExitScriptError) << readBytes(errors);
    EXPECT_NE(readBytes(errors).find("not enough memory"), std::string::npos) << readBytes(errors);
}

}  // namespace

namespace {

// The children of a process, from /proc; empty when it has none.
std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> out;
    std::ifstream list("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
    for (long pid; list >> pid;) out.push_back(pid_t(pid));
    return out;
}

// Under a real X server a box is drawn by a child process of the program.
// Ending the run from outside while it is open closes it: the program
// ends as asked, and leaves no process, no lock and no open output pipe.
TEST(MessageBoxes, ABoxOpenWhenTheRunIsEndedIsClosed) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "runs in the release build: under the sanitiser the box's forked process does not end as "
                    "it does in the program users run";
#endif
    if (system("command -v Xvfb >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Xvfb is not installed (tools/install_deps.sh installs it)";
    int display = 90;
    while (display < 200 && access(("/tmp/.X11-unix/X" + std::to_string(display)).c_str(), F_OK) == 0) ++display;
    const std::string name = ":" + std::to_string(display);
    pid_t server = fork();
    ASSERT_GE(server, 0);
    if (server == 0) {
        // Nothing of the server may hold the test's own output open.
        if (!freopen("/dev/null", "w", stderr) || !freopen("/dev/null", "w", stdout)) _exit(126);
        execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp", nullptr);
        _exit(127);
    }
    // The server and the program end with the test, whatever it finds.
    struct Reaper {
        pid_t& pid;
        ~Reaper() {
            if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
        }
    } serverReaper{server};
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
    for (int i = 0; i < 1000 && access(socket.c_str(), F_OK) != 0; ++i) usleep(10000);
    ASSERT_EQ(access(socket.c_str(), F_OK), 0) << "Xvfb did not start";

    GameCopy game("errors");
    std::ofstream(game.folder + "script/init.nut", std::ios::binary)
        << "function onLoad()\n{\n\tprint(\"loaded\");\n}\nfunction onProc() {}\nfunction onUnload() {}\n";
    int output[2];
    ASSERT_EQ(pipe(output), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(output[1], STDOUT_FILENO);
        dup2(output[1], STDERR_FILENO);
        close(output[0]);
        close(output[1]);
        setenv("DISPLAY", name.c_str(), 1);
        unsetenv("SDL_VIDEODRIVER");
        setenv("SDL_RENDER_DRIVER", "software", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        execl(TESSERAE_BINARY, TESSERAE_BINARY, "--max-seconds", "300", game.folder.c_str(), nullptr);
        _exit(127);
    }
    close(output[1]);
    pid_t running = child;
    Reaper childReaper{running};
    // The box about the missing onDraw is up once a copy of the program
    // has run beside it for a while (libraries may start short-lived
    // helpers of their own).
    std::vector<pid_t> boxes;
    for (int i = 0, seen = 0; i < 3000 && seen < 30; ++i) {
        usleep(10000);
        boxes.clear();
        for (pid_t pid : childrenOf(child)) {
            std::string command = readBytes("/proc/" + std::to_string(pid) + "/cmdline");
            if (command.rfind(TESSERAE_BINARY, 0) == 0) boxes.push_back(pid);
        }
        seen = boxes.empty() ? 0 : seen + 1;
    }
    ASSERT_FALSE(boxes.empty()) << "no box appeared";
    kill(child, SIGTERM);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 1000 && ended == 0; ++i) {
        ended = waitpid(child, &status, WNOHANG);
        if (ended == 0) usleep(10000);
    }
    ASSERT_EQ(ended, child) << "the program did not end";
    running = 0;
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    // The pipe reaches its end: nothing holds the program's output open.
    std::string printed;
    pollfd poll{output[0], POLLIN, 0};
    for (char buffer[4096];;) {
        ASSERT_GT(::poll(&poll, 1, 5000), 0) << "the output pipe stays open: " << printed;
        ssize_t n = read(output[0], buffer, sizeof buffer);
        if (n <= 0) break;
        printed.append(buffer, size_t(n));
    }
    close(output[0]);
    EXPECT_NE(printed.find("a message box was open; it is closed to end the run"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("does not return"), std::string::npos) << printed;
    for (pid_t box : boxes) {
        for (int i = 0; i < 200 && kill(box, 0) == 0; ++i) usleep(10000);
        EXPECT_NE(kill(box, 0), 0) << "the box's process " << box << " outlived the program";
    }
    EXPECT_NE(access(platform::InstanceLock::lockPath(game.folder).c_str(), F_OK), 0);
    platform::InstanceLock again;
    EXPECT_TRUE(again.acquire(game.folder));
    again.release();
}

}  // namespace

namespace {

// A game copied from a Japanese Windows machine: its script names files in
// code page 932, the files here are named in UTF-8, and the game folder and
// the save folder the user names hold backslashes, which are characters of
// those names and not separators.
TEST(FirstContact, JapaneseNamesAndBackslashesInTheUsersPaths) {
    char pattern[] = "/tmp/tesserae-names-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = std::string(pattern) + "/", game = root + "my\\game/", saves = root + "sa\\ves";
    std::filesystem::create_directories(game + "script");
    std::filesystem::create_directories(game + "\xE7\x94\xBB\xE5\x83\x8F");  // 画像
    app_test::writeBytes(game + "\xE7\x94\xBB\xE5\x83\x8F/\xE7\xB5\xB5.bmp",   // 絵.bmp
                         graphics_test::makeBmp24(4, 4, [](int, int) { return 0x336699u; }));
    // "画像\\絵.bmp" in code page 932, as the game's script holds it.
    std::ofstream(game + "script/init.nut", std::ios::binary)
        << "function onLoad()\n{\n\tprint(\"texture \" + loadTexture(0, \"\x89\xE6\x91\x9C\\\\\x8A\x47.bmp\"));\n"
           "\tsetData(\"k\", \"v\");\n\tprint(\"save \" + saveData(\"save.dat\"));\n}\n"
           "function onProc() { setMainLoopEnd(); }\nfunction onDraw() {}\nfunction onUnload() {}\n";
    const std::string command = std::string(TESSERAE_BINARY) + " --headless --virtual-clock --frames 10 --save-dir '" +
                                saves + "' '" + game + "' 2>'" + root + "errors.txt'";
    EXPECT_EQ(system(command.c_str()), 0) << readBytes(root + "errors.txt");
    EXPECT_EQ(readBytes(saves + "/20000101_000000.log"), "texture true\r\nsave true\r\n");
    EXPECT_TRUE(std::filesystem::is_regular_file(saves + "/save.dat"));
    EXPECT_FALSE(std::filesystem::exists(game + "save.dat"));
    if (!HasFailure()) std::filesystem::remove_all(root);
}

}  // namespace

namespace {

// Alt+F4 is the host's: it ends the run as the close box does, also where
// no window manager turns it into a close request, and the game never sees
// F4.
TEST(FirstContact, AltF4ClosesTheWindow) {
    GameCopy game("endless");
    std::ofstream(game.folder + "input.txt") << "5 key down 0x12\n5 key down F4\n";
    const std::string errors = game.folder + "errors.txt";
    const std::string command = "timeout 120 " + std::string(TESSERAE_BINARY) +
                                " --headless --virtual-clock --frames 100000 --input '" + game.folder +
                                "input.txt' '" + game.folder + "' 2>'" + errors + "'";
    const int status = system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), app::kExitNormal) << readBytes(errors);
    // The game saved its tick count each tick: it ended within a few.
    const std::string saved = readBytes(game.folder + "save.dat");
    const size_t ticks = saved.find("ticks");
    ASSERT_NE(ticks, std::string::npos) << saved;
    const size_t digits = saved.find_first_of("0123456789", ticks);
    ASSERT_NE(digits, std::string::npos) << saved;
    EXPECT_LT(std::atoi(saved.c_str() + digits), 100) << saved;
}

}  // namespace
