// script/script_host.h
#pragma once
#include <cstdint>

#include "data/data_store.h"
#include "graphics/camera.h"
#include "render/matrix.h"
#include "script/game_services.h"
#include "script/script_subsystems.h"
#include "script/script_vm.h"

namespace script {

constexpr int kQueuedTexts = 100;
constexpr int kConsoleLines = 100;
constexpr int kTextBytes = 256;   // 255 characters and the terminator
constexpr int kPathBytes = 257;

// A pick along a segment.
struct PickResult {
    int slot = -1;
    render::Vec3 point;
    float distance = 0;
};

struct QueuedText {
    int32_t x = 0, y = 0;
    char text[kTextBytes] = {};
    int32_t height = 14;
    uint32_t colour = 0;  // 0x00BBGGRR
};

// Text lines the script queues during a tick, drawn by every frame until
// the next tick empties them.
struct TextQueue {
    int32_t count = 0;
    QueuedText entries[kQueuedTexts];
};

struct DebugConsole {
    bool enabled = false;
    int32_t count = 0;
    char lines[kConsoleLines][kTextBytes] = {};
};

// Runs the game's scripts: one script file at a time in a fresh VM,
// driven by the main loop through the hooks below, all on the main
// thread. Errors of script code are shown in message boxes captioned
// with the callback's name and reported in the log.
class ScriptHost {
public:
    enum class State : int32_t { Loading = 0, Running = 1, Unloading = 2 };

    explicit ScriptHost(GameServices& services);
    ~ScriptHost();
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    // The hooks, in the order the main loop calls them.
    void onConfigure() {}
    void onStart();
    void onTick();
    void onDraw3D();
    void onDraw2D();
    void onEnd();

    // The host the script functions act on; set while a host exists.
    static ScriptHost* current() { return instance; }
    GameServices& game() { return services; }

    // The subsystems the script functions drive; see ScriptSubsystems.
    void attach(const ScriptSubsystems& parts) { subsystems = parts; }
    const ScriptSubsystems& parts() const { return subsystems; }
    graphics::Camera& camera() { return subsystems.camera ? *subsystems.camera : ownCamera; }

    // Script functions implemented by the host itself.
    void setNextFilePath(const char* path);
    void setMainLoopEnd() { endRequested = true; }
    void drawText(const char* text, int x, int y, int size, int r, int g, int b);
    void setDebugMsg(const char* text);

    // Results the script functions keep for their getters.
    int converted2DX = 0, converted2DY = 0;
    render::Vec3 converted3D;
    PickResult lastPick;
    data::DataStore dataStore;

    State state() const { return scriptState; }
    const char* nextPath() const { return nextFilePath; }
    const TextQueue& texts() const { return textQueue; }
    const DebugConsole& console() const { return debugConsole; }
    int framesPerSecond() const { return fps; }
    // True once a script error box was shown in this run.
    bool hasReportedError() const { return errorReported; }

    // The log's name; empty before onStart. Messages the VM prints are
    // appended to it, one CR LF line each.
    static const char* logFile();

private:
    void loadScript();
    void runningTick();
    void unloadScript();
    void openVm();
    void closeVm();
    // Calls a script callback; on a ScriptError shows the box captioned
    // with `name` and returns false.
    bool callScript(const char* name);
    void reportError(const char* text, const char* caption);
    // Says in English which callback the running script file lacks.
    void reportMissing(const ScriptError& error, const char* name) const;

    static ScriptHost* instance;

    GameServices& services;
    ScriptSubsystems subsystems;
    graphics::Camera ownCamera;
    State scriptState = State::Loading;
    char nextFilePath[kPathBytes] = {};
    char runningFilePath[kPathBytes] = {};  // the script file loaded last
    bool endRequested = false;
    bool compiling = false;  // the script file is being compiled or read
    ScriptObject scriptObject;
    char extension[10] = {};
    TextQueue textQueue;
    DebugConsole debugConsole;
    int32_t framesCounted = 0;
    int32_t fps = 0;
    uint32_t secondMark = 0;
    uint32_t bitTime = 0;
    bool errorReported = false;
};

}  // namespace script
