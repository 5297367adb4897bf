// app/program.h
#pragma once
#include "app/options.h"

namespace app {

// The program entry: refuses a second copy for the game folder, makes the
// folder current, reads init.dat, builds the game object and its window
// and runs it. Returns the process exit status (app/exit_status.h; 128 +
// the signal's number after SIGINT or SIGTERM). A watchdog runs alongside:
// signals and --max-seconds end the run like the close box, and end the
// process when the game does not stop within a few seconds.
int runProgram(const Options& options);

// The window title of the game window.
constexpr const char* kWindowTitle = "Squirrelサンプル";

}  // namespace app
