#include "app/options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace app {

namespace {

bool parseCount(const char* text, long low, long high, int& out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    out = int(value);
    return true;
}

}  // namespace

std::string usageText() {
    return "usage: tesserae [options] [GAME_DIR]\n"
           "Runs the game in GAME_DIR (default: the folder of this program when it holds a\n"
           "game, else the installed demo).\n"
           "\n"
           "  --headless            no window and no sound device\n"
           "  --virtual-clock       time moves only as the program sleeps; runs repeat exactly\n"
           "  --frames N            end after N drawn frames, as if the window were closed\n"
           "  --screenshot FILE     write the last presented frame as a PNG at the end\n"
           "  --input FILE          scripted input, one event per line\n"
           "  --audio-out FILE      write the mixed sound output as a WAV file\n"
           "  --soundfont FILE      SoundFont for MIDI music\n"
           "  --zoom N              show the frame N times larger (1 to 8)\n"
           "  --render-threads N    draw the 3D with N threads (1 to 8; default 1); the\n"
           "                        frames are the same at any N\n"
           "  --max-seconds N       end the run after N seconds of wall time (status 5)\n"
           "  --save-dir DIR        keep the files the game writes in DIR (default: the game\n"
           "                        folder, or ~/.local/share/tesserae/GAME when it is read-only)\n"
           "  --help                show this text\n"
           "  --version             show the version\n"
           "\n"
           "Keys (the game never sees them while Alt is held):\n"
           "  Alt+Enter             switch between full screen and a window\n"
           "  Alt+S                 save a screenshot (PNG) into the save folder\n"
           "  Alt+F4                close the window\n";
}

ParseResult parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    options = Options{};
    bool positionalOnly = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (positionalOnly || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!options.gameDir.empty()) {
                error = "more than one game folder given ('" + options.gameDir + "' and '" + arg + "')";
                return ParseResult::Error;
            }
            options.gameDir = arg;
            continue;
        }
        if (arg == "--") {
            positionalOnly = true;
            continue;
        }
        // "--name=value" and "--name value" are both accepted.
        std::string name = arg, value;
        bool inlineValue = false;
        if (size_t eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        auto flag = [&](bool& target) {
            if (inlineValue) {
                error = "option " + name + " takes no value";
                return false;
            }
            target = true;
            return true;
        };
        auto takeValue = [&]() {
            if (inlineValue) return true;
            if (i + 1 >= argc) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto takePath = [&](std::string& target) {
            if (!takeValue()) return false;
            if (value.empty()) {
                error = "option " + name + " needs a file name";
                return false;
            }
            target = value;
            return true;
        };
        bool ok;
        if (name == "--help" || name == "-h") {
            return ParseResult::Help;
        } else if (name == "--version") {
            return ParseResult::Version;
        } else if (name == "--headless") {
            ok = flag(options.headless);
        } else if (name == "--virtual-clock") {
            ok = flag(options.virtualClock);
        } else if (name == "--frames") {
            ok = takeValue();
            if (ok && !parseCount(value.c_str(), 1, INT_MAX, options.frames)) {
                error = "--frames needs a positive whole number, not '" + value + "'";
                ok = false;
            }
        } else if (name == "--zoom") {
            ok = takeValue();
            if (ok && !parseCount(value.c_str(), 1, kMaxZoom, options.zoom)) {
                error = "--zoom needs a whole number from 1 to " + std::to_string(kMaxZoom) +
                        ", not '" + value + "'";
                ok = false;
            }
        } else if (name == "--render-threads") {
            ok = takeValue();
            if (ok && !parseCount(value.c_str(), 1, kMaxRenderThreads, options.renderThreads)) {
                error = "--render-threads needs a whole number from 1 to " + std::to_string(kMaxRenderThreads) +
                        ", not '" + value + "'";
                ok = false;
            }
        } else if (name == "--max-seconds") {
            ok = takeValue();
            if (ok && !parseCount(value.c_str(), 1, kMaxSecondsLimit, options.maxSeconds)) {
                error = "--max-seconds needs a whole number from 1 to " + std::to_string(kMaxSecondsLimit) +
                        ", not '" + value + "'";
                ok = false;
            }
        } else if (name == "--screenshot") {
            ok = takePath(options.screenshot);
        } else if (name == "--input") {
            ok = takePath(options.input);
        } else if (name == "--audio-out") {
            ok = takePath(options.audioOut);
        } else if (name == "--soundfont") {
            ok = takePath(options.soundfont);
        } else if (name == "--save-dir") {
            ok = takePath(options.saveDir);
        } else {
            error = "unknown option " + name;
            ok = false;
        }
        if (!ok) return ParseResult::Error;
    }
    return ParseResult::Run;
}

}  // namespace app
