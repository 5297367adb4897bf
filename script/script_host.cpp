#include "script/script_host.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/keyboard.h"
#include "script/script_api.h"
#include "sqstdmath.h"

namespace script {

namespace {

constexpr const char* kFirstScript = "script\\init.nut";
constexpr uint32_t kWhite = 0xFFFFFF;
using graphics::kScreenWidth;
using graphics::kScreenHeight;
constexpr int kVirtualClockSeed = 20070612;  // any fixed value: runs repeat exactly

char logFileName[kPathBytes] = {};
char messageBuffer[1 << 20];

// A script's coordinate plus the screen's extent, kept inside the 32-bit
// range instead of wrapping.
int32_t offsetClamped(int32_t value, int32_t extent) {
    return int32_t(std::clamp<int64_t>(int64_t(value) + extent, INT32_MIN, INT32_MAX));
}

// Copies at most `capacity - 1` bytes and always terminates.
void copyText(char* to, size_t capacity, const char* from) {
    size_t length = strnlen(from, capacity - 1);
    memcpy(to, from, length);
    to[length] = '\0';
}

// The VM's print function: one CR LF line in the log per message. The
// file is opened and closed for each message, so it exists only once
// something was printed and survives a crash up to the last message.
void printToLog(HSQUIRRELVM, const SQChar* format, ...) {
    va_list args;
    va_start(args, format);
    int length = vsnprintf(messageBuffer, sizeof messageBuffer, format, args);
    va_end(args);
    if (length < 0) return;
    if (size_t(length) >= sizeof messageBuffer) length = int(sizeof messageBuffer - 1);
    if (!logFileName[0]) return;
    FILE* file = platform::openGameFile(logFileName, "ab");
    if (!file) return;
    fwrite(messageBuffer, 1, size_t(length), file);
    fwrite("\r\n", 1, 2, file);
    fclose(file);
}

}  // namespace

ScriptHost* ScriptHost::instance = nullptr;

ScriptHost::ScriptHost(GameServices& game) : services(game) {
    instance = this;
}

ScriptHost::~ScriptHost() {
    closeVm();
    if (instance == this) instance = nullptr;
}

const char* ScriptHost::logFile() { return logFileName; }

void ScriptHost::onStart() {
    platform::Clock& clock = platform::clock();
    sqstd_seedrandom(clock.isVirtual() ? kVirtualClockSeed : unsigned(clock.unixTime()));
    scriptState = State::Loading;
    errorReported = false;
    copyText(nextFilePath, sizeof nextFilePath, kFirstScript);
    services.prepareScene();
    snprintf(extension, sizeof extension, ".%s", "nut");
    framesCounted = 0;
    fps = 0;
    secondMark = clock.now();
    textQueue = TextQueue{};
    debugConsole = DebugConsole{};
    debugConsole.enabled = true;
    platform::DateTime t = clock.localTime();
    snprintf(logFileName, sizeof logFileName, "%04d%02d%02d_%02d%02d%02d.log", t.year, t.month,
             t.day, t.hour, t.minute, t.second);
}

void ScriptHost::onTick() {
    if (debugConsole.enabled) debugConsole.count = 0;
    textQueue.count = 0;
    switch (scriptState) {
        case State::Loading: loadScript(); break;
        case State::Running: runningTick(); break;
        case State::Unloading: unloadScript(); break;
    }
}

void ScriptHost::openVm() {
    ScriptVm::init();
    HSQUIRRELVM vm = ScriptVm::handle();
    sq_setprintfunc(vm, printToLog);
    registerScriptApi(vm);
    char buffer[kPathBytes];
    snprintf(buffer, sizeof buffer, "ext <- \"%s\";", extension);
    ScriptObject setExtension = ScriptVm::compileBuffer(buffer, "console_buffer");
    ScriptVm::run(setExtension);
}

void ScriptHost::closeVm() {
    scriptObject.reset();
    ScriptVm::shutdown();
}

void ScriptHost::loadScript() {
    services.resetScene();
    try {
        closeVm();
        openVm();
        scriptObject = ScriptVm::compileFile(nextFilePath);
        ScriptVm::run(scriptObject);
        ScriptFunction::callGlobal("onLoad");
    } catch (const ScriptError& error) {
        reportError(error.text.c_str(), "onLoad");
        services.stopRunning();
    }
    nextFilePath[0] = '\0';
    endRequested = false;
    scriptState = State::Running;
    services.restartLogicTime();
}

void ScriptHost::runningTick() {
    if (!callScript("onProc")) {
        services.stopRunning();
        return;
    }
    if (services.asyncKeyState(platform::vk::kEscape) != 0) services.stopRunning();
    if (endRequested) scriptState = State::Unloading;
    if (services.asyncKeyState(platform::vk::kF1) != 0) {
        // A debugging pause, with a full collection in between.
        services.showMessage("", "");
        if (ScriptVm::isOpen()) sq_collectgarbage(ScriptVm::handle());
        services.showMessage("", "");
    }
}

void ScriptHost::unloadScript() {
    if (callScript("onUnload")) scriptObject.reset();
    if (!services.isRunning()) return;
    if (!nextFilePath[0]) {
        services.stopRunning();
        return;
    }
    scriptState = State::Loading;
    if (ScriptVm::isOpen()) sq_collectgarbage(ScriptVm::handle());
    closeVm();
}

void ScriptHost::onDraw3D() {
    platform::Clock& clock = platform::clock();
    uint32_t start = clock.now();
    if (!services.isRunning()) return;
    if (scriptState == State::Running && !callScript("onDraw")) {
        services.stopRunning();
        return;
    }
    services.drawScene();
    ++framesCounted;
    uint32_t now = clock.now();
    bitTime = now - start;
    if (now - secondMark >= 1000) {
        secondMark = now;
        fps = framesCounted;
        framesCounted = 0;
    }
    char line[64];
    snprintf(line, sizeof line, "FPS %d [bitTime %02d]", fps, int(bitTime));
    services.drawText(line, 0, 0, kScreenWidth, kScreenHeight, kWhite);
}

void ScriptHost::onDraw2D() {
    if (!services.isRunning()) return;
    for (int i = 0; i < textQueue.count; ++i) {
        const QueuedText& entry = textQueue.entries[i];
        services.createFont(entry.height, entry.height / 2, 400);
        services.drawText(entry.text, entry.x, entry.y, offsetClamped(entry.x, kScreenWidth),
                          offsetClamped(entry.y, kScreenHeight), entry.colour);
    }
    if (debugConsole.enabled) {
        int top = 30;
        services.createFont(14, 0, 400);
        for (int i = 0; i < debugConsole.count; ++i) {
            services.drawText(debugConsole.lines[i], 0, top, kScreenWidth, kScreenHeight, kWhite);
            top += 15;
        }
    }
}

void ScriptHost::onEnd() {
    closeVm();
    services.resetScene();
}

void ScriptHost::setNextFilePath(const char* path) {
    copyText(nextFilePath, sizeof nextFilePath, path);
}

void ScriptHost::drawText(const char* text, int x, int y, int size, int r, int g, int b) {
    if (textQueue.count >= kQueuedTexts) return;
    QueuedText& entry = textQueue.entries[textQueue.count++];
    entry.x = x;
    entry.y = y;
    entry.height = size;
    entry.colour = uint32_t(b & 0xFF) << 16 | uint32_t(g & 0xFF) << 8 | uint32_t(r & 0xFF);
    copyText(entry.text, sizeof entry.text, text);
}

void ScriptHost::setDebugMsg(const char* text) {
    if (!debugConsole.enabled || debugConsole.count >= kConsoleLines) return;
    copyText(debugConsole.lines[debugConsole.count++], kTextBytes, text);
}

bool ScriptHost::callScript(const char* name) {
    try {
        ScriptFunction::callGlobal(name);
        return true;
    } catch (const ScriptError& error) {
        reportError(error.text.c_str(), name);
        return false;
    }
}

void ScriptHost::reportError(const char* text, const char* caption) {
    errorReported = true;
    services.messageBox(text, caption);
}

}  // namespace script
