// script/script_error.h
#pragma once
#include <string>

namespace script {

// The one exception type of the program: a failed compile, run or script
// call. The script host catches it around every script callback.
struct ScriptError {
    std::string text;
    bool missingFunction = false;  // the callback called is not defined
};

}  // namespace script
