// Single-pass compiler from source text to a FuncProto.
#pragma once

#include <string>

#include "squirrel/vm.h"

namespace squirrel {

struct CompileResult {
    FuncProto* proto = nullptr;  // owned reference on success
    std::string error;
    int line = 0;
    int column = 0;
};

CompileResult compile(SQVM* vm, SQLEXREADFUNC read, SQUserPointer up, const char* sourceName);

}  // namespace squirrel
