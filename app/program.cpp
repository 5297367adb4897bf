#include "app/program.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/exit_status.h"
#include "app/game_main.h"
#include "app/startup_settings.h"
#include "model/system_assets.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/instance_lock.h"
#include "platform/message_box.h"
#include "platform/null/headless_window.h"
#include "platform/save_folder.h"
#include "platform/sdl/sdl_window.h"
#include "platform/watchdog.h"

namespace app {

namespace {

bool readScriptedInput(const std::string& file, std::vector<platform::ScriptedInput>& out) {
    std::vector<uint8_t> bytes;
    if (!platform::readHostFile(file, bytes)) {
        fprintf(stderr, "tesserae: cannot read the input file '%s'\n", file.c_str());
        return false;
    }
    std::string error;
    if (!platform::parseInputScript(std::string(bytes.begin(), bytes.end()), out, error)) {
        fprintf(stderr, "tesserae: %s: %s\n", file.c_str(), error.c_str());
        return false;
    }
    return true;
}

// Where the host's own files live: beside the program in a build tree
// (its "system" folder), under the data folder once installed.
std::string hostDataRoot() {
    std::string programDir = platform::executableDir();
    if (platform::isDirectory(programDir + "system")) return programDir;
    std::string installed = programDir + TESSERAE_DATA_FROM_PROGRAM + "/";
    return platform::isDirectory(installed) ? installed : programDir;
}

// The folder of the program when it holds a game; otherwise the demo that
// is installed with the program.
std::string defaultGameDir(const std::string& dataRoot) {
    std::string programDir = platform::executableDir();
    if (platform::fileExists(programDir + "script\\init.nut")) return programDir;
    std::string demo = dataRoot + "demo/";
    return platform::fileExists(demo + "script\\init.nut") ? demo : programDir;
}

// The game's files go to its own folder while it can take them, and to
// the user's folder for the game otherwise; --save-dir names the folder
// outright. Runs in the game folder. False (said on stderr) when the
// named folder cannot be made.
bool chooseSaveFolder(const std::string& named, bool installed) {
    if (!named.empty()) {
        if (!platform::makeDirectories(named)) {
            fprintf(stderr, "tesserae: cannot make the save folder '%s'\n", named.c_str());
            return false;
        }
        platform::setSaveFolder(named);
        return true;
    }
    std::string gameFolder = platform::currentDir();
    gameFolder.pop_back();
    std::string user = platform::userSaveFolder(gameFolder.substr(gameFolder.rfind('/') + 1));
    // A game installed with the program never writes into the install
    // folder, even when it could (root, or a prefix in the user's home).
    if (!installed && platform::canCreateFilesIn(".")) {
        platform::setFallbackSaveFolder(user);
        return true;
    }
    if (user.empty() || !platform::makeDirectories(user)) {
        fprintf(stderr, "tesserae: the game folder is read-only and no folder of the user can take its "
                        "files (%s); the game cannot save\n",
                user.empty() ? "no home folder" : user.c_str());
        return true;
    }
    platform::setSaveFolder(user);
    fprintf(stderr, "tesserae: the game folder is %s; the game's files go to '%s'\n",
            installed ? "installed with the program" : "read-only", user.c_str());
    return true;
}

// True when `path` (a folder) lies in `folder`, both taken as real paths.
bool isInside(const std::string& path, const std::string& folder) {
    char real[PATH_MAX], realFolder[PATH_MAX];
    if (!realpath(path.c_str(), real) || !realpath(folder.c_str(), realFolder)) return false;
    const std::string inner = std::string(real) + "/", outer = std::string(realFolder) + "/";
    return inner.compare(0, outer.size(), outer) == 0;
}

// How long a stop request (a signal, the time limit) may take to end the
// run before the watchdog ends the process: a pass and the shut-down of a
// game that behaves take a small part of it, even on a loaded machine.
constexpr uint32_t kStopGrace = 5000;

int runGame(const Options& options) {
    RunControl control;
    control.frameLimit = options.frames;
    control.headless = options.headless;
    if (!options.input.empty() && !readScriptedInput(options.input, control.scripted)) return kExitUsage;
    if (!options.headless) {
        // Only a headless window can be minimised and restored by a file.
        for (const platform::ScriptedInput& s : control.scripted) {
            if (s.kind == platform::ScriptedInput::Kind::Window &&
                (s.event.type == platform::EventType::Minimise || s.event.type == platform::EventType::Restore)) {
                fprintf(stderr, "tesserae: %s: line %d: minimise and restore need --headless\n",
                        options.input.c_str(), s.line);
                return kExitUsage;
            }
        }
    }
    // Output files named relative to where the program was started.
    auto hostPath = [](const std::string& path) {
        return path.empty() || path[0] == '/' ? path : platform::currentDir() + path;
    };
    control.screenshot = hostPath(options.screenshot);
    control.audioOut = hostPath(options.audioOut);
    control.soundFont = hostPath(options.soundfont);
    std::string saveDir = hostPath(options.saveDir);
    // Output files are checked now, not after a long run.
    for (const auto& [path, what] : {std::pair{control.screenshot, "screenshot"}, {control.audioOut, "sound capture"}}) {
        std::string reason;
        if (!path.empty() && !platform::canWriteHostFile(path, reason)) {
            fprintf(stderr, "tesserae: cannot write the %s '%s': %s\n", what, path.c_str(), reason.c_str());
            return kExitHostFailure;
        }
    }

    std::string dataRoot = hostDataRoot();
    control.hostPadLibrary = platform::executableDir() + TESSERAE_PAD_FROM_PROGRAM;
    std::string gameDir = options.gameDir.empty() ? defaultGameDir(dataRoot) : options.gameDir;
    if (options.gameDir.empty() && !platform::fileExists(gameDir + "script\\init.nut")) {
        // Started from a build tree without a game beside it.
        fprintf(stderr,
                "tesserae: no game to play: name a game folder, e.g.\n"
                "    %s %s\n"
                "(a game folder holds script/init.nut; without GAME_DIR the program plays the game in its own "
                "folder, else the installed demo)\n",
                platform::executableDir().append("tesserae").c_str(),
                platform::isDirectory(TESSERAE_SOURCE_GAME) ? TESSERAE_SOURCE_GAME : "GAME_DIR");
        return kExitUsage;
    }
    if (!platform::isDirectory(gameDir)) {
        fprintf(stderr, "tesserae: '%s' is not a folder\n", gameDir.c_str());
        return kExitUsage;
    }
    platform::InstanceLock instance;
    if (!instance.acquire(gameDir)) {
        if (!instance.failureReason().empty()) {
            fprintf(stderr, "tesserae: cannot take the single-instance lock: %s\n", instance.failureReason().c_str());
            return kExitLocked;
        }
        fprintf(stderr, "tesserae: another copy of this game is running (%s); one copy runs per game folder\n",
                gameDir.c_str());
        platform::showMessageBox("すでにプログラムは起動しています。", "多重起動エラー", nullptr);
        return kExitLocked;
    }
    if (!platform::setCurrentDir(gameDir)) {
        fprintf(stderr, "tesserae: cannot enter the folder '%s'\n", gameDir.c_str());
        return kExitUsage;
    }
    // Games without their own system files use the installed copies.
    bool installedAssets = dataRoot != platform::executableDir();
    if (!chooseSaveFolder(saveDir, installedAssets && isInside(platform::currentDir(), dataRoot)))
        return kExitHostFailure;
    if (installedAssets) model::setHostAssetRoot(dataRoot);

    platform::VirtualClock virtualClock;
    if (options.virtualClock) platform::setClock(&virtualClock);

    StartupSettings settings = loadStartupSettings();
    auto game = std::make_unique<GAME_MAIN>();
    game->colourDepth = settings.colourDepth;
    game->inputLibraryFlag = settings.inputLibrary;
    game->title = kWindowTitle;
    game->requestedWidth = settings.clientWidth();
    game->requestedHeight = settings.clientHeight();
    game->fullScreen = settings.fullScreen && !options.headless;
    game->zoom = options.zoom;
    // One thread unless asked: the frame's set-up does not yet overlap the
    // drawing, and two threads measured slower than one on a busy two-core
    // machine (bench/README.md).
    game->renderThreads = options.renderThreads > 0 ? options.renderThreads : 1;
    game->setRunControl(std::move(control));

    std::string windowError;
    WindowFactory makeWindow = [&]() -> std::unique_ptr<platform::Window> {
        if (options.headless) return std::make_unique<platform::HeadlessWindow>();
        return platform::createSdlWindow(windowError);
    };
    game->runSequence(makeWindow);
    // The script's error ended the run even when a host failure came first.
    int result = game->scriptHost().hasReportedError() ? kExitScriptError : game->failureStatus();
    if (!game->window() && (settings.clientWidth() <= 0 || settings.clientHeight() <= 0)) {
        fprintf(stderr,
                "tesserae: cannot open a window of %d x %d: init.dat gives the window scale %d "
                "(0 for 640 x 480, 1 for 320 x 240)\n",
                settings.clientWidth(), settings.clientHeight(), int(settings.windowScale));
        result = kExitHostFailure;
    } else if (!game->window()) {
        fprintf(stderr, "tesserae: cannot open a window%s%s%s; --headless runs without one\n",
                windowError.empty() ? "" : " (", windowError.c_str(), windowError.empty() ? "" : ")");
        result = kExitHostFailure;
    } else if (!game->screenshotWritten()) {
        fprintf(stderr, "tesserae: cannot write the screenshot '%s'\n", options.screenshot.c_str());
        if (result == kExitNormal) result = kExitHostFailure;
    }
    game.reset();
    platform::setClock(nullptr);
    platform::setSaveFolder("");
    platform::setFallbackSaveFolder("");
    if (installedAssets) model::setHostAssetRoot("");
    return result;
}

}  // namespace

int runProgram(const Options& options) {
    platform::Watchdog watchdog;
    if (!watchdog.start(options.maxSeconds, kStopGrace, kExitTimeLimit) && options.maxSeconds > 0) {
        fputs("tesserae: cannot start the watchdog that --max-seconds needs\n", stderr);
        return kExitHostFailure;
    }
    int result = runGame(options);
    watchdog.finish();
    int cause = watchdog.stopCause();
    if (cause == platform::Watchdog::kTimeLimit) return kExitTimeLimit;
    if (cause > 0) return 128 + cause;
    return result;
}

}  // namespace app
