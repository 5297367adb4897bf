// The tesserae program: runs the game folder named on the command line.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/options.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/input_script.h"
#include "platform/instance_lock.h"
#include "platform/keyboard.h"
#include "platform/message_box.h"
#include "platform/null/headless_window.h"
#include "platform/sdl/sdl_window.h"

namespace {

constexpr const char* kVersionText = "tesserae 0.1.0";
constexpr int kClientWidth = 640;
constexpr int kClientHeight = 480;
constexpr uint32_t kFramePacing = 30;  // milliseconds a frame lasts at least

class LoopState final : public platform::EventHandler {
public:
    bool handleWindowEvent(const platform::WindowEvent& event) override {
        if (event.type == platform::EventType::Destroy) running = false;
        if (event.type == platform::EventType::KeyDown && event.key == platform::vk::kEscape)
            running = false;
        return false;
    }
    bool running = true;
};

// Options whose subsystem is not part of this build fail loudly instead of
// being ignored.
bool checkAvailable(const app::Options& options) {
    struct Pending {
        const std::string& value;
        const char* name;
        const char* subsystem;
    };
    const Pending pending[] = {
        {options.screenshot, "--screenshot", "the renderer"},
        {options.audioOut, "--audio-out", "the sound system"},
        {options.soundfont, "--soundfont", "the MIDI player"},
    };
    for (const Pending& p : pending) {
        if (!p.value.empty()) {
            fprintf(stderr, "tesserae: %s is not available yet: %s is not part of this build\n",
                    p.name, p.subsystem);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    app::Options options;
    std::string error;
    switch (app::parseOptions(argc, argv, options, error)) {
        case app::ParseResult::Help: fputs(app::usageText().c_str(), stdout); return 0;
        case app::ParseResult::Version: printf("%s\n", kVersionText); return 0;
        case app::ParseResult::Error:
            fprintf(stderr, "tesserae: %s\n%s", error.c_str(), app::usageText().c_str());
            return 2;
        case app::ParseResult::Run: break;
    }
    if (!checkAvailable(options)) return 2;

    std::vector<platform::ScriptedInput> scripted;
    if (!options.input.empty()) {
        std::vector<uint8_t> bytes;
        if (!platform::readFile(options.input, bytes)) {
            fprintf(stderr, "tesserae: cannot read the input file '%s'\n", options.input.c_str());
            return 2;
        }
        if (!platform::parseInputScript(std::string(bytes.begin(), bytes.end()), scripted, error)) {
            fprintf(stderr, "tesserae: %s: %s\n", options.input.c_str(), error.c_str());
            return 2;
        }
    }

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
    platform::setCurrentDir(gameDir);

    platform::VirtualClock virtualClock;
    if (options.virtualClock) platform::setClock(&virtualClock);
    platform::Clock& clock = platform::clock();

    std::unique_ptr<platform::Window> window;
    platform::HeadlessWindow* headless = nullptr;
    if (options.headless) {
        auto made = std::make_unique<platform::HeadlessWindow>();
        headless = made.get();
        window = std::move(made);
    } else {
        window = platform::createSdlWindow(error);
        if (!window) {
            fprintf(stderr, "tesserae: cannot open a window (%s); --headless runs without one\n",
                    error.c_str());
            return 1;
        }
    }
    LoopState state;
    window->setEventHandler(&state);
    platform::WindowDesc desc;
    desc.width = kClientWidth;
    desc.height = kClientHeight;
    desc.title = "Squirrelサンプル";
    desc.zoom = options.zoom;
    if (!window->create(desc)) {
        fprintf(stderr, "tesserae: the window could not be created\n");
        return 1;
    }
    window->show(true);

    bool hasScript = platform::fileExists("script\\init.nut");
    printf("Tesserae: game folder %s%s\n", platform::currentDir().c_str(),
           hasScript ? "" : " (no script\\init.nut)");
    fflush(stdout);

    std::vector<uint32_t> frame(size_t(kClientWidth) * kClientHeight, 0);
    platform::FrameView view{frame.data(), kClientWidth, kClientHeight, kClientWidth * 4,
                             platform::PixelFormat::Xrgb8888};
    size_t nextScripted = 0;
    int pass = 0, drawn = 0;
    while (state.running) {
        ++pass;
        while (nextScripted < scripted.size() && scripted[nextScripted].frame <= pass) {
            const platform::ScriptedInput& input = scripted[nextScripted++];
            if (headless && input.kind == platform::ScriptedInput::Kind::Window)
                headless->post(input.event);
        }
        if (window->isMinimised() || !window->isActive()) {
            if (!window->pumpEvent()) clock.sleep(1);
            continue;
        }
        uint32_t start = clock.now();
        window->present(view);
        ++drawn;
        do {
            if (!window->pumpEvent()) clock.sleep(1);
        } while (state.running && clock.now() - start < kFramePacing);
        if (options.frames > 0 && drawn >= options.frames) state.running = false;
    }
    if (window->exists()) window->destroy();
    platform::setClock(nullptr);
    return 0;
}
