// A stand-in for the application frame: runs the script host's hooks in
// the order of the main loop on the virtual clock, over a copy of a game
// folder, and records what the host asked of the rest of the game.
#pragma once
#include <string>
#include <vector>

#include "platform/clock.h"
#include "script/game_services.h"
#include "script/script_host.h"

namespace testing_support {

struct DrawnText {
    std::string text;
    int left, top, right, bottom;
    uint32_t colour;
    int fontHeight, fontWidth;
};

struct Box {
    std::string caption, text;
};

class RecordingServices : public script::GameServices {
public:
    bool isRunning() override { return running; }
    void stopRunning() override { running = false; }
    int16_t asyncKeyState(int key) override { return key >= 0 && key < 256 ? keys[key] : 0; }
    void messageBox(const char* text, const char* caption) override { boxes.push_back({caption, text}); }
    void showMessage(const char* text, const char* caption) override { boxes.push_back({caption, text}); }
    void createFont(int height, int width, int) override {
        fontHeight = height;
        fontWidth = width;
    }
    void drawText(const char* text, int left, int top, int right, int bottom, uint32_t colour) override {
        drawn.push_back({text, left, top, right, bottom, colour, fontHeight, fontWidth});
    }
    void resetScene() override { ++sceneResets; }

    bool running = true;
    int16_t keys[256] = {};
    std::vector<Box> boxes;
    std::vector<DrawnText> drawn;
    int sceneResets = 0;
    int fontHeight = 0, fontWidth = 0;
};

class HostDriver {
public:
    // Copies tests/games/<name> into a fresh folder and makes it current.
    explicit HostDriver(const std::string& game);
    ~HostDriver();

    // onConfigure and onStart, as the main loop's start does.
    void start();
    // One logic tick.
    void tick();
    // One drawn frame: onDraw3D then onDraw2D.
    void frame();
    // Ticks until the host stops running or `limit` ticks have passed.
    int runUntilStopped(int limit = 100);

    // The log's lines without their CR LF; empty when there is no log.
    std::vector<std::string> logLines() const;
    bool logHasOnlyCrLfLines() const;
    // The `// expect: ` lines of a script file of the game.
    std::vector<std::string> expectedLines(const std::string& script) const;
    std::string path(const std::string& relative) const { return folder + relative; }

    RecordingServices services;
    script::ScriptHost host{services};

private:
    std::string readLog() const;
    platform::VirtualClock clock;
    std::string folder;
    std::string previousDir;
};

}  // namespace testing_support
