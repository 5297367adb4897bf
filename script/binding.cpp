// Native closures behind global functions, methods and member variables.
// Each closure carries one free variable, a 4-byte userdata holding the
// index of its operation in `operations`; the routine reading it depends
// only on the kind of operation, the signature travels with the entry.
#include "script/binding.h"

#include <cassert>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "platform/text_codec.h"

namespace script {

namespace {

constexpr int kMaxOperations = 256;

enum class OperationKind { Global, Method, Constructor, MemberGet, MemberSet };

struct Operation {
    OperationKind kind;
    const void* def;         // GlobalDef, MethodDef or ClassDef
    const ClassDef* owner;   // the class of a method or member operation
};

Operation operations[kMaxOperations];
int operationCount = 0;

// The index of an operation, registering it on first use. Definitions are
// static, so the table fills once per process whatever the number of VMs.
uint32_t operationIndex(OperationKind kind, const void* def, const ClassDef* owner) {
    for (int i = 0; i < operationCount; ++i) {
        if (operations[i].kind == kind && operations[i].def == def) return uint32_t(i);
    }
    assert(operationCount < kMaxOperations);
    operations[operationCount] = {kind, def, owner};
    return uint32_t(operationCount++);
}

// Copies one member value between the record and a temporary; also the
// identity of the member type in __SqTypes.
void copyInteger(void* to, const void* from) { memcpy(to, from, 4); }
void copyFloat(void* to, const void* from) { memcpy(to, from, 4); }
void copyBool(void* to, const void* from) { memcpy(to, from, 1); }

// The record kept under "_v" + name in the class, one per member.
struct VarRef {
    int32_t offset;
    int32_t type;
    SQUserPointer classTag;
    void (*copy)(void*, const void*);
    int16_t size;
    int16_t access;  // 0: read and write
    const char* typeName;
};

const Operation& currentOperation(HSQUIRRELVM vm) {
    SQUserPointer data = nullptr;
    SQInteger top = sq_gettop(vm);
    sq_getuserdata(vm, top, &data, nullptr);
    uint32_t index;
    memcpy(&index, data, 4);
    assert(index < uint32_t(operationCount));
    return operations[index];
}

// Reads the arguments the signature needs from stack positions 2 on. The
// free variable sits above the arguments and is never read as one.
bool readArguments(HSQUIRRELVM vm, const char* types, Argument* args) {
    SQInteger lastArgument = sq_gettop(vm) - 1;
    for (int i = 0; types[i]; ++i) {
        assert(i < kMaxArguments);
        SQInteger index = 2 + i;
        SQObjectType actual = index <= lastArgument ? sq_gettype(vm, index) : OT_NULL;
        switch (types[i]) {
            case 'i':
                if (actual != OT_INTEGER) return false;
                sq_getinteger(vm, index, &args[i].i);
                break;
            case 'f':
                if (actual != OT_FLOAT) return false;
                sq_getfloat(vm, index, &args[i].f);
                break;
            case 'b': {
                if (actual != OT_BOOL) return false;
                SQBool value = SQFalse;
                sq_getbool(vm, index, &value);
                args[i].b = value != 0;
                break;
            }
            case 's':
                if (actual != OT_STRING) return false;
                sq_getstring(vm, index, &args[i].s);
                break;
            default: assert(false && "bad signature letter"); return false;
        }
    }
    return true;
}

SQInteger pushResult(HSQUIRRELVM vm, char type, const Result& result) {
    switch (type) {
        case 'i': sq_pushinteger(vm, result.i); return 1;
        case 'f': sq_pushfloat(vm, result.f); return 1;
        case 'b': sq_pushbool(vm, result.b ? SQTrue : SQFalse); return 1;
        case 's': sq_pushstring(vm, result.s, -1); return 1;
        default: return 0;
    }
}

// The host record of `this` for a class: the instance's own record when
// its class is `owner`, else the one its __ot table maps to owner's tag.
void* recordOf(HSQUIRRELVM vm, const ClassDef& owner) {
    if (sq_gettype(vm, 1) != OT_INSTANCE) return nullptr;
    SQUserPointer record = nullptr;
    if (SQ_FAILED(sq_getinstanceup(vm, 1, &record, nullptr))) return nullptr;
    SQUserPointer tag = nullptr;
    if (SQ_SUCCEEDED(sq_gettypetag(vm, 1, &tag)) && tag == classTag(owner)) return record;
    void* found = nullptr;
    SQInteger top = sq_gettop(vm);
    sq_pushstring(vm, "__ot", -1);
    if (SQ_SUCCEEDED(sq_rawget(vm, 1)) && sq_gettype(vm, -1) == OT_TABLE) {
        sq_pushuserpointer(vm, classTag(owner));
        if (SQ_SUCCEEDED(sq_rawget(vm, -2))) {
            SQUserPointer p = nullptr;
            if (SQ_SUCCEEDED(sq_getuserpointer(vm, -1, &p))) found = p;
        }
    }
    sq_settop(vm, top);
    return found;
}

SQInteger callGlobal(HSQUIRRELVM vm) {
    const Operation& operation = currentOperation(vm);
    const GlobalDef& def = *static_cast<const GlobalDef*>(operation.def);
    Argument args[kMaxArguments];
    if (!readArguments(vm, def.arguments, args)) return sq_throwerror(vm, kIncorrectArgument);
    Result result;
    def.routine(args, result);
    return pushResult(vm, def.result, result);
}

SQInteger callMethod(HSQUIRRELVM vm) {
    const Operation& operation = currentOperation(vm);
    const MethodDef& def = *static_cast<const MethodDef*>(operation.def);
    void* record = recordOf(vm, *operation.owner);
    if (!record) return sq_throwerror(vm, kInvalidInstance);
    Argument args[kMaxArguments];
    if (!readArguments(vm, def.arguments, args)) return sq_throwerror(vm, kIncorrectArgument);
    Result result;
    def.routine(record, args, result);
    return pushResult(vm, def.result, result);
}

SQInteger releaseRecord(SQUserPointer record, SQInteger) {
    ::operator delete(record);
    return 1;
}

SQInteger construct(HSQUIRRELVM vm) {
    const Operation& operation = currentOperation(vm);
    const ClassDef& def = *operation.owner;
    if (sq_gettype(vm, 1) != OT_INSTANCE) return sq_throwerror(vm, kInvalidInstance);
    void* record = ::operator new(def.recordSize);
    def.initRecord(record);
    sq_pushstring(vm, "__ot", -1);
    sq_newtable(vm);
    sq_pushuserpointer(vm, classTag(def));
    sq_pushuserpointer(vm, record);
    sq_rawset(vm, -3);
    sq_rawset(vm, 1);
    sq_setinstanceup(vm, 1, record);
    sq_setreleasehook(vm, 1, releaseRecord);
    return 0;
}

// The VarRef of member `key` (stack position 2) of the instance at 1, or
// null. Keys too long to be a member name are no member.
const VarRef* findMember(HSQUIRRELVM vm) {
    const SQChar* key = nullptr;
    if (SQ_FAILED(sq_getstring(vm, 2, &key))) return nullptr;
    char name[300] = "_v";
    size_t length = strlen(key);
    if (length + 3 > sizeof name) return nullptr;
    memcpy(name + 2, key, length + 1);
    SQInteger top = sq_gettop(vm);
    const VarRef* ref = nullptr;
    sq_pushstring(vm, name, -1);
    if (SQ_SUCCEEDED(sq_rawget(vm, 1)) && sq_gettype(vm, -1) == OT_USERDATA) {
        SQUserPointer data = nullptr;
        if (SQ_SUCCEEDED(sq_getuserdata(vm, -1, &data, nullptr))) ref = static_cast<const VarRef*>(data);
    }
    sq_settop(vm, top);
    return ref;
}

void pushMember(HSQUIRRELVM vm, const VarRef& ref, const char* record) {
    switch (MemberType(ref.type)) {
        case MemberType::Integer: {
            int32_t value;
            ref.copy(&value, record + ref.offset);
            sq_pushinteger(vm, value);
            break;
        }
        case MemberType::Float: {
            float value;
            ref.copy(&value, record + ref.offset);
            sq_pushfloat(vm, value);
            break;
        }
        case MemberType::Bool: {
            uint8_t value;
            ref.copy(&value, record + ref.offset);
            sq_pushbool(vm, value ? SQTrue : SQFalse);
            break;
        }
    }
}

SQInteger memberGet(HSQUIRRELVM vm) {
    const Operation& operation = currentOperation(vm);
    if (sq_gettype(vm, 1) != OT_INSTANCE) return sq_throwerror(vm, kInvalidInstance);
    const VarRef* ref = findMember(vm);
    if (!ref) return sq_throwerror(vm, kNoMember);
    const char* record = static_cast<const char*>(recordOf(vm, *operation.owner));
    if (!record) return sq_throwerror(vm, kInvalidInstance);
    pushMember(vm, *ref, record);
    return 1;
}

const char* valueTypeName(SQObjectType type) {
    switch (type) {
        case OT_NULL: return "null";
        case OT_INTEGER: return "an integer";
        case OT_FLOAT: return "a float";
        case OT_BOOL: return "a bool";
        case OT_STRING: return "a string";
        case OT_TABLE: return "a table";
        case OT_ARRAY: return "an array";
        case OT_CLOSURE:
        case OT_NATIVECLOSURE: return "a function";
        case OT_INSTANCE: return "an instance";
        case OT_CLASS: return "a class";
        default: return "a value of another type";
    }
}

// A member given a value it cannot hold keeps its documented result (0,
// 0.0 or false). That is rarely what the script meant, so it is said on
// stderr, once per member and script file.
void noteMismatch(HSQUIRRELVM vm, const ClassDef& owner, const char* stored) {
    constexpr int kNotes = 128;
    static uint64_t said[kNotes];
    static int saidCount = 0;
    const SQChar* member = "?";
    sq_getstring(vm, 2, &member);
    SQStackInfos where{};
    const char* source = SQ_SUCCEEDED(sq_stackinfos(vm, 1, &where)) && where.source ? where.source : "?";
    uint64_t key = 1469598103934665603ull;
    for (const char* text : {owner.name, member, source}) {
        for (const char* c = text; *c; ++c) key = (key ^ uint8_t(*c)) * 1099511628211ull;
        key = (key ^ 0xFF) * 1099511628211ull;
    }
    for (int i = 0; i < saidCount; ++i) {
        if (said[i] == key) return;
    }
    if (saidCount < kNotes) said[saidCount++] = key;
    fprintf(stderr, "tesserae: %s line %d: %s.%s was given %s; it holds %s\n", platform::displayText(source).c_str(),
            int(where.line), owner.name, member, valueTypeName(sq_gettype(vm, 3)), stored);
}

SQInteger memberSet(HSQUIRRELVM vm) {
    const Operation& operation = currentOperation(vm);
    if (sq_gettype(vm, 1) != OT_INSTANCE) return sq_throwerror(vm, kInvalidInstance);
    const VarRef* ref = findMember(vm);
    if (!ref) return sq_throwerror(vm, kNoMember);
    char* record = static_cast<char*>(recordOf(vm, *operation.owner));
    if (!record) return sq_throwerror(vm, kInvalidInstance);
    switch (MemberType(ref->type)) {
        case MemberType::Integer: {
            SQInteger value = 0;
            if (SQ_FAILED(sq_getinteger(vm, 3, &value))) {
                value = 0;
                noteMismatch(vm, *operation.owner, "0");
            }
            int32_t stored = value;
            ref->copy(record + ref->offset, &stored);
            break;
        }
        case MemberType::Float: {
            SQFloat value = 0;
            if (SQ_FAILED(sq_getfloat(vm, 3, &value))) {
                value = 0;
                noteMismatch(vm, *operation.owner, "0.0");
            }
            float stored = value;
            ref->copy(record + ref->offset, &stored);
            break;
        }
        case MemberType::Bool: {
            SQBool value = SQFalse;
            if (SQ_FAILED(sq_getbool(vm, 3, &value))) {
                value = SQFalse;
                noteMismatch(vm, *operation.owner, "false");
            }
            uint8_t stored = value ? 1 : 0;
            ref->copy(record + ref->offset, &stored);
            break;
        }
    }
    pushMember(vm, *ref, record);
    return 1;
}

// Pushes a native closure with its one free variable.
void pushOperation(HSQUIRRELVM vm, SQFUNCTION routine, uint32_t index) {
    void* data = sq_newuserdata(vm, 4);
    memcpy(data, &index, 4);
    sq_newclosure(vm, routine, 1);
}

// Every mask puts the mask of `this` (table, class or instance) first.
void setMask(HSQUIRRELVM vm, const char* mask) {
    char full[64];
    snprintf(full, sizeof full, "t|y|x%s", mask);
    sq_setparamscheck(vm, SQ_MATCHTYPEMASKSTRING, full);
}

void registerMember(HSQUIRRELVM vm, const ClassDef& def, const MemberDef& member, bool first) {
    static const char* const kTypeNames[] = {"int", "float", "bool"};
    static void (*const kCopies[])(void*, const void*) = {copyInteger, copyFloat, copyBool};
    int type = int(member.type);

    // The class is at -1.
    char key[300];
    snprintf(key, sizeof key, "_v%s", member.name);
    sq_pushstring(vm, key, -1);
    VarRef* ref = static_cast<VarRef*>(sq_newuserdata(vm, sizeof(VarRef)));
    *ref = VarRef{member.offset, type, classTag(def), kCopies[type],
                  int16_t(type == 2 ? 1 : 4), 0, kTypeNames[type]};
    sq_newslot(vm, -3, SQFalse);

    // __SqTypes in the root table: copy routine -> type name.
    sq_pushroottable(vm);
    sq_pushstring(vm, "__SqTypes", -1);
    if (SQ_FAILED(sq_rawget(vm, -2))) {
        sq_pushstring(vm, "__SqTypes", -1);
        sq_newtable(vm);
        sq_newslot(vm, -3, SQFalse);
        sq_pushstring(vm, "__SqTypes", -1);
        sq_rawget(vm, -2);
    }
    sq_pushuserpointer(vm, reinterpret_cast<SQUserPointer>(kCopies[type]));
    sq_pushstring(vm, kTypeNames[type], -1);
    sq_rawset(vm, -3);
    sq_pop(vm, 2);

    if (first) {
        sq_pushstring(vm, "_set", -1);
        pushOperation(vm, memberSet, operationIndex(OperationKind::MemberSet, &def, &def));
        setMask(vm, "sn|b|s|x");
        sq_newslot(vm, -3, SQFalse);
        sq_pushstring(vm, "_get", -1);
        pushOperation(vm, memberGet, operationIndex(OperationKind::MemberGet, &def, &def));
        setMask(vm, "s");
        sq_newslot(vm, -3, SQFalse);
    }
}

}  // namespace

void registerGlobal(HSQUIRRELVM vm, const GlobalDef& def) {
    sq_pushroottable(vm);
    sq_pushstring(vm, def.name, -1);
    pushOperation(vm, callGlobal, operationIndex(OperationKind::Global, &def, nullptr));
    sq_setnativeclosurename(vm, -1, def.name);
    sq_createslot(vm, -3);
    sq_pop(vm, 1);
}

void registerClass(HSQUIRRELVM vm, const ClassDef& def) {
    // The class enters the root table first; members and methods follow,
    // so __SqTypes comes after the class among the root's slots.
    sq_pushroottable(vm);
    sq_pushstring(vm, def.name, -1);
    sq_newclass(vm, SQFalse);
    sq_settypetag(vm, -1, classTag(def));
    sq_createslot(vm, -3);
    sq_pushstring(vm, def.name, -1);
    sq_rawget(vm, -2);

    sq_pushstring(vm, "constructor", -1);
    pushOperation(vm, construct, operationIndex(OperationKind::Constructor, &def, &def));
    setMask(vm, "");
    sq_newslot(vm, -3, SQFalse);

    // Bookkeeping of construction: the object-type table slot, the
    // ancestors (only the class itself) and the class index.
    sq_pushstring(vm, "__ot", -1);
    sq_pushnull(vm);
    sq_newslot(vm, -3, SQFalse);
    sq_pushstring(vm, "__ca", -1);
    sq_newarray(vm, 0);
    sq_push(vm, -3);
    sq_arrayappend(vm, -2);
    sq_newslot(vm, -3, SQFalse);
    sq_pushstring(vm, "__ci", -1);
    sq_pushinteger(vm, -1);
    sq_newslot(vm, -3, SQFalse);

    for (int i = 0; i < def.memberCount; ++i) registerMember(vm, def, def.members[i], i == 0);
    for (int i = 0; i < def.methodCount; ++i) {
        const MethodDef& method = def.methods[i];
        sq_pushstring(vm, method.name, -1);
        pushOperation(vm, callMethod, operationIndex(OperationKind::Method, &method, &def));
        sq_setnativeclosurename(vm, -1, method.name);
        sq_newslot(vm, -3, SQFalse);
    }
    sq_pop(vm, 2);
}

}  // namespace script
