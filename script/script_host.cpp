#include "script/script_host.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text_codec.h"
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

// Error reports also go to stderr, where a user who sees only the box
// text learns what failed: a compile error (everything printed while a
// file compiles) and a run-time report, from its first line to the end of
// the script call that raised it.
bool echoingReport = false;

// A runaway recursion ends in a report of one CALLSTACK line per frame,
// hundreds of thousands of them. Such a report keeps its innermost and
// outermost frames and says how many were left out; every other report is
// logged whole.
constexpr int kKeptFrames = 10;
constexpr size_t kFrameLineBytes = 1024;
bool overflowReport = false;
bool inCallStack = false;
int framesSeen = 0;
char outermostFrames[kKeptFrames][kFrameLineBytes];
int outermostLengths[kKeptFrames];

bool startsWith(const char* text, const char* prefix) { return strncmp(text, prefix, strlen(prefix)) == 0; }

void writeLogLine(FILE* file, const char* text, size_t length) {
    if (file) {
        fwrite(text, 1, length, file);
        fwrite("\r\n", 1, 2, file);
    }
    // On stderr each message ends its line once, whether or not it ends in
    // a line break.
    if (echoingReport) {
        fwrite(text, 1, length, stderr);
        if (length == 0 || text[length - 1] != '\n') fputc('\n', stderr);
    }
}

// The outermost frames kept back, after the line counting the others.
void flushOutermostFrames(FILE* file) {
    int kept = std::min(framesSeen - kKeptFrames, kKeptFrames);
    int leftOut = framesSeen - kKeptFrames - kept;
    if (leftOut > 0) {
        char line[64];
        int length = snprintf(line, sizeof line, "*... %d frames left out\n", leftOut);
        writeLogLine(file, line, size_t(length));
    }
    for (int i = 0; i < kept; ++i) {
        int slot = (framesSeen - kept + i) % kKeptFrames;
        writeLogLine(file, outermostFrames[slot], size_t(outermostLengths[slot]));
    }
    inCallStack = false;
    framesSeen = 0;
}

// Whether the message goes out now; a frame line of an overflow report
// past the innermost ones is kept back (the latest kKeptFrames of them).
bool passReportLine(FILE* file, const char* text, int length) {
    if (startsWith(text, "\nAN ERROR HAS OCCURED [")) {
        echoingReport = true;
        overflowReport = strstr(text, "stack overflow]") != nullptr;
        inCallStack = false;
        framesSeen = 0;
        return true;
    }
    if (!overflowReport) return true;
    if (strcmp(text, "\nCALLSTACK\n") == 0) {
        inCallStack = true;
        framesSeen = 0;
        return true;
    }
    if (inCallStack && startsWith(text, "*FUNCTION [")) {
        if (framesSeen++ < kKeptFrames) return true;
        int slot = (framesSeen - kKeptFrames - 1) % kKeptFrames;
        int kept = std::min(length, int(kFrameLineBytes));
        memcpy(outermostFrames[slot], text, size_t(kept));
        outermostLengths[slot] = kept;
        return false;
    }
    if (inCallStack) flushOutermostFrames(file);
    return true;
}

// A log that cannot be written is said once per run.
bool logFailureReported = false;

void reportUnwritableLog() {
    if (logFailureReported) return;
    logFailureReported = true;
    fprintf(stderr, "tesserae: cannot write the log '%s'\n", logFileName);
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
    if (!file) {
        reportUnwritableLog();
        if (!passReportLine(nullptr, messageBuffer, length)) return;
        writeLogLine(nullptr, messageBuffer, size_t(length));
        return;
    }
    if (passReportLine(file, messageBuffer, length)) writeLogLine(file, messageBuffer, size_t(length));
    fclose(file);
}

// The end of a script call or a compile ends any report it printed.
void endReport() {
    if (inCallStack) {
        FILE* file = logFileName[0] ? platform::openGameFile(logFileName, "ab") : nullptr;
        flushOutermostFrames(file);
        if (file) fclose(file);
    }
    echoingReport = false;
    overflowReport = false;
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
    logFailureReported = false;
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
        echoingReport = true;  // whatever compiling prints is its error
        scriptObject = ScriptVm::compileFile(nextFilePath);
        endReport();
        ScriptVm::run(scriptObject);
        ScriptFunction::callGlobal("onLoad");
        endReport();
    } catch (const ScriptError& error) {
        endReport();
        if (!platform::fileExists(nextFilePath))
            fprintf(stderr, "tesserae: the script '%s%s' does not exist\n", platform::currentDir().c_str(),
                    platform::displayText(platform::resolveGamePath(nextFilePath)).c_str());
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
        endReport();
        return true;
    } catch (const ScriptError& error) {
        endReport();
        reportError(error.text.c_str(), name);
        return false;
    }
}

void ScriptHost::reportError(const char* text, const char* caption) {
    errorReported = true;
    services.messageBox(text, caption);
}

}  // namespace script
