// script/binding.h
#pragma once
#include <cstddef>
#include <cstdint>

#include "squirrel.h"

namespace script {

// Argument and result types of host operations, one letter each:
// 'i' integer, 'f' float, 'b' bool, 's' string; a result may also be
// 0 for "none" (the script gets null).
constexpr int kMaxArguments = 16;

struct Argument {
    SQInteger i = 0;
    SQFloat f = 0;
    bool b = false;
    const SQChar* s = "";  // valid during the call only
};

struct Result {
    SQInteger i = 0;
    SQFloat f = 0;
    bool b = false;
    const SQChar* s = "";  // copied into the VM after the routine returns
};

using GlobalRoutine = void (*)(const Argument* args, Result& result);
using MethodRoutine = void (*)(void* record, const Argument* args, Result& result);

// A global script function. `arguments` lists the checked argument types
// in order ("fff"); arguments beyond them are ignored.
struct GlobalDef {
    const char* name;
    const char* arguments;
    char result;
    GlobalRoutine routine;
};

struct MethodDef {
    const char* name;
    const char* arguments;
    char result;
    MethodRoutine routine;
};

enum class MemberType : int32_t { Integer = 0, Float = 1, Bool = 2 };

struct MemberDef {
    const char* name;
    MemberType type;
    int32_t offset;  // within the host record
};

// A script class whose instances each own one host record.
struct ClassDef {
    const char* name;
    size_t recordSize;
    void (*initRecord)(void* record);  // fills the defaults
    const MemberDef* members;
    int memberCount;
    const MethodDef* methods;
    int methodCount;
};

// Registration into the root table of the open VM, in the caller's order.
// The definitions must outlive every VM they are registered in.
void registerGlobal(HSQUIRRELVM vm, const GlobalDef& def);
void registerClass(HSQUIRRELVM vm, const ClassDef& def);

// The type tag of a class's instances (the identity of its record type).
inline SQUserPointer classTag(const ClassDef& def) { return const_cast<ClassDef*>(&def); }

// The texts scripts meet.
inline constexpr const char* kIncorrectArgument = "Incorrect function argument";
inline constexpr const char* kInvalidInstance = "Invalid Instance Type";
inline constexpr const char* kNoMember = "getInstanceVarInfo: Could not retrieve UserData";

}  // namespace script
