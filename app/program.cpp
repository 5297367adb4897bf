#include "app/program.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/game_main.h"
#include "app/startup_settings.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/instance_lock.h"
#include "platform/message_box.h"
#include "platform/null/headless_window.h"
#include "platform/sdl/sdl_window.h"

namespace app {

namespace {

bool readScriptedInput(const std::string& file, std::vector<platform::ScriptedInput>& out) {
    std::vector<uint8_t> bytes;
    if (!platform::readFile(file, bytes)) {
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

}  // namespace

int runProgram(const Options& options) {
    RunControl control;
    control.frameLimit = options.frames;
    control.headless = options.headless;
    if (!options.input.empty() && !readScriptedInput(options.input, control.scripted)) return 2;
    // Output files named relative to where the program was started.
    auto hostPath = [](const std::string& path) {
        return path.empty() || path[0] == '/' ? path : platform::currentDir() + path;
    };
    control.screenshot = hostPath(options.screenshot);
    control.audioOut = hostPath(options.audioOut);
    control.soundFont = hostPath(options.soundfont);

    std::string gameDir = options.gameDir.empty() ? platform::executableDir() : options.gameDir;
    if (!platform::isDirectory(gameDir)) {
        fprintf(stderr, "tesserae: '%s' is not a folder\n", gameDir.c_str());
        return 2;
    }
    platform::InstanceLock instance;
    if (!instance.acquire(gameDir)) {
        platform::showMessageBox("すでにプログラムは起動しています。", "多重起動エラー", nullptr);
        return 0;
    }
    if (!platform::setCurrentDir(gameDir)) {
        fprintf(stderr, "tesserae: cannot enter the folder '%s'\n", gameDir.c_str());
        return 2;
    }

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
    game->setRunControl(std::move(control));

    std::string windowError;
    WindowFactory makeWindow = [&]() -> std::unique_ptr<platform::Window> {
        if (options.headless) return std::make_unique<platform::HeadlessWindow>();
        return platform::createSdlWindow(windowError);
    };
    int result = game->runSequence(makeWindow);
    if (!game->window()) {
        fprintf(stderr, "tesserae: cannot open a window%s%s%s; --headless runs without one\n",
                windowError.empty() ? "" : " (", windowError.c_str(), windowError.empty() ? "" : ")");
        result = 1;
    } else if (!game->screenshotWritten()) {
        fprintf(stderr, "tesserae: cannot write the screenshot '%s'\n", options.screenshot.c_str());
        result = 1;
    }
    game.reset();
    platform::setClock(nullptr);
    return result;
}

}  // namespace app
