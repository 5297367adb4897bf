// app/options.h
#pragma once
#include <string>

namespace app {

// The command line: tesserae [options] [GAME_DIR]
struct Options {
    std::string gameDir;      // empty: the executable's folder, else the installed demo
    bool headless = false;
    bool virtualClock = false;
    int frames = 0;           // 0: run until the game or the user ends it
    std::string screenshot;   // PNG of the last presented frame, written at the end
    std::string input;        // scripted input file
    std::string audioOut;     // WAV capture of the mixed sound
    std::string soundfont;
    int zoom = 1;
    int renderThreads = 0;    // 0: not given (one thread)
    int maxSeconds = 0;       // 0: no limit on the run's wall time
    std::string saveDir;      // where the game's files go; empty: the game folder when writable
};

enum class ParseResult { Run, Help, Version, Error };

// Reads argv into `options`. On Error, `error` says what was wrong in one
// line; the caller prints it with the usage text and exits non-zero.
ParseResult parseOptions(int argc, const char* const* argv, Options& options, std::string& error);

std::string usageText();

constexpr int kMaxZoom = 8;
constexpr int kMaxRenderThreads = 8;
constexpr int kMaxSecondsLimit = 1000000;  // about 11 days

}  // namespace app
