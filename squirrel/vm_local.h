// Declarations shared by the engine's own files only.
#pragma once

#include <string>

#include "squirrel/vm.h"

namespace squirrel {

// C run-time float text in the Microsoft form (three exponent digits,
// 1.#INF and friends). spec is a printf conversion for one double.
std::string formatFloat(double d, const char* spec);
// A key or value as it appears in error texts (string, %d, %.14g or type name).
std::string keyText(const Value& key);

void registerBaseLib(SQVM* vm);
void createDefaultDelegates(SharedState* ss, SQVM* vm);
SQInteger collectGarbage(SharedState* ss, bool closing);

}  // namespace squirrel

bool vmTryGet(SQVM* vm, const squirrel::Value& obj, const squirrel::Value& key,
              squirrel::Value& out, bool forCall);

namespace squirrel {
bool compileTypeMask(std::vector<int>& out, const char* mask);
// Names and values of the variables visible at call level `level` (0 is the
// innermost frame): free variables first, then locals from the innermost
// scope outward, `this` last.
bool collectLocals(SQVM* vm, int level, std::vector<std::pair<Value, Value>>& out);
// Operand check of a function's instructions against opcodes.h (parent: the
// enclosing function, for free-variable sources; null at the top level).
bool verifyProto(const FuncProto* p, const FuncProto* parent);
// Reads the rest of a compiled file written by 2.1.1, from just after the
// first function record's opening tag through the final tag, and returns its
// top-level function translated into this engine's instructions (one
// reference owned by the caller), or null with the VM's error set.
FuncProto* readForeignClosure(SQVM* vm, SQREADFUNC readf, SQUserPointer up);
}  // namespace squirrel
