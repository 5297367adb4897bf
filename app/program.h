// app/program.h
#pragma once
#include "app/options.h"

namespace app {

// The program entry: refuses a second copy for the game folder, makes the
// folder current, reads init.dat, builds the game object and its window
// and runs it. Returns the process exit code.
int runProgram(const Options& options);

// The window title of the game window.
constexpr const char* kWindowTitle = "Squirrelサンプル";

}  // namespace app
