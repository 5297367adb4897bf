// app/exit_status.h
#pragma once

namespace app {

// The program's exit statuses, one per class of cause; the README lists
// them. A run ended by SIGINT or SIGTERM exits with 128 + the signal's
// number.
constexpr int kExitNormal = 0;        // the game or the user ended the run
constexpr int kExitHostFailure = 1;   // no window or display, an output or SoundFont that cannot be used
constexpr int kExitUsage = 2;         // bad command line, input file or game folder
constexpr int kExitScriptError = 3;   // a script error box (compile, run time, missing script)
constexpr int kExitLocked = 4;        // another copy runs, or the lock cannot be taken
constexpr int kExitTimeLimit = 5;     // --max-seconds ended the run

}  // namespace app
