// Embedding interface of the Squirrel 2.1 engine. Names, signatures and
// conventions follow the 2.1 series so host code reads as it would against
// that library; the engine is not binary compatible with it. Where 2.1's
// behaviour is odd but callers may depend on it, the comment says so.
//
// Stack indices: 1 is the first slot of the current window, negative
// indices count from the top (-1 is the top). Functions returning SQRESULT
// give SQ_OK (0) on success and SQ_ERROR (-1) on failure, leaving the error
// value in the VM's last-error slot (read it with sq_getlasterror).
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int SQInteger;
typedef unsigned int SQUnsignedInteger;
typedef unsigned int SQHash;
typedef float SQFloat;
typedef char SQChar;
typedef unsigned int SQBool;
typedef SQInteger SQRESULT;
typedef void* SQUserPointer;

#define SQTrue 1
#define SQFalse 0
#define SQ_OK 0
#define SQ_ERROR (-1)
#define SQ_SUCCEEDED(res) ((res) >= 0)
#define SQ_FAILED(res) ((res) < 0)
#define SQ_MATCHTYPEMASKSTRING (-99999)
#define SQ_VMSTATE_IDLE 0
#define SQ_VMSTATE_RUNNING 1
#define SQ_VMSTATE_SUSPENDED 2
#define SQ_BYTECODE_STREAM_TAG 0xFAFA
#define SQUIRREL_VERSION "Squirrel 2.1.1 stable"
#define _SC(a) a

#define SQOBJECT_REF_COUNTED 0x08000000
#define SQOBJECT_NUMERIC 0x04000000
#define SQOBJECT_DELEGABLE 0x02000000
#define SQOBJECT_CANBEFALSE 0x01000000

#define _RT_NULL 0x00000001
#define _RT_INTEGER 0x00000002
#define _RT_FLOAT 0x00000004
#define _RT_BOOL 0x00000008
#define _RT_STRING 0x00000010
#define _RT_TABLE 0x00000020
#define _RT_ARRAY 0x00000040
#define _RT_USERDATA 0x00000080
#define _RT_CLOSURE 0x00000100
#define _RT_NATIVECLOSURE 0x00000200
#define _RT_GENERATOR 0x00000400
#define _RT_USERPOINTER 0x00000800
#define _RT_THREAD 0x00001000
#define _RT_FUNCPROTO 0x00002000
#define _RT_CLASS 0x00004000
#define _RT_INSTANCE 0x00008000
#define _RT_WEAKREF 0x00010000

typedef enum tagSQObjectType {
    OT_NULL = (_RT_NULL | SQOBJECT_CANBEFALSE),
    OT_INTEGER = (_RT_INTEGER | SQOBJECT_NUMERIC | SQOBJECT_CANBEFALSE),
    OT_FLOAT = (_RT_FLOAT | SQOBJECT_NUMERIC | SQOBJECT_CANBEFALSE),
    OT_BOOL = (_RT_BOOL | SQOBJECT_CANBEFALSE),
    OT_STRING = (_RT_STRING | SQOBJECT_REF_COUNTED),
    OT_TABLE = (_RT_TABLE | SQOBJECT_REF_COUNTED | SQOBJECT_DELEGABLE),
    OT_ARRAY = (_RT_ARRAY | SQOBJECT_REF_COUNTED),
    OT_USERDATA = (_RT_USERDATA | SQOBJECT_REF_COUNTED | SQOBJECT_DELEGABLE),
    OT_CLOSURE = (_RT_CLOSURE | SQOBJECT_REF_COUNTED),
    OT_NATIVECLOSURE = (_RT_NATIVECLOSURE | SQOBJECT_REF_COUNTED),
    OT_GENERATOR = (_RT_GENERATOR | SQOBJECT_REF_COUNTED),
    OT_USERPOINTER = _RT_USERPOINTER,
    OT_THREAD = (_RT_THREAD | SQOBJECT_REF_COUNTED),
    OT_FUNCPROTO = (_RT_FUNCPROTO | SQOBJECT_REF_COUNTED),
    OT_CLASS = (_RT_CLASS | SQOBJECT_REF_COUNTED),
    OT_INSTANCE = (_RT_INSTANCE | SQOBJECT_REF_COUNTED | SQOBJECT_DELEGABLE),
    OT_WEAKREF = (_RT_WEAKREF | SQOBJECT_REF_COUNTED)
} SQObjectType;

#define ISREFCOUNTED(t) ((t) & SQOBJECT_REF_COUNTED)

struct SQVM;
typedef struct SQVM* HSQUIRRELVM;

typedef union tagSQObjectValue {
    void* pRefCounted;
    SQInteger nInteger;
    SQFloat fFloat;
    SQUserPointer pUserPointer;
} SQObjectValue;

typedef struct tagSQObject {
    SQObjectType _type;
    SQObjectValue _unVal;
} SQObject;

typedef SQObject HSQOBJECT;
typedef SQInteger (*SQFUNCTION)(HSQUIRRELVM);
typedef SQInteger (*SQRELEASEHOOK)(SQUserPointer, SQInteger size);
typedef void (*SQCOMPILERERROR)(HSQUIRRELVM, const SQChar* desc, const SQChar* source,
                                SQInteger line, SQInteger column);
typedef void (*SQPRINTFUNCTION)(HSQUIRRELVM, const SQChar* format, ...);
typedef SQInteger (*SQWRITEFUNC)(SQUserPointer, SQUserPointer, SQInteger);
typedef SQInteger (*SQREADFUNC)(SQUserPointer, SQUserPointer, SQInteger);
typedef SQInteger (*SQLEXREADFUNC)(SQUserPointer);

typedef struct tagSQRegFunction {
    const SQChar* name;
    SQFUNCTION f;
    SQInteger nparamscheck;
    const SQChar* typemask;
} SQRegFunction;

// ---- VM lifetime and settings ----
//
// "Pushes" and "pops" below refer to the stack window of `v`. A function
// that returns SQRESULT sets the last error whenever it returns SQ_ERROR,
// unless its comment says otherwise.

// A new shared state and its main VM: an empty stack, a root table holding
// the base library, an empty registry, no print function, no handlers,
// debug info and notify-all-exceptions off. initialstacksize is a hint
// only; the stack grows to its fixed reserve on demand.
HSQUIRRELVM sq_open(SQInteger initialstacksize);
// A thread VM in friendvm's shared state, with friendvm's current root
// table, error handler and debug hook (not its foreign pointer). Pushes the
// thread onto friendvm; the thread lives while that value is referenced.
HSQUIRRELVM sq_newthread(HSQUIRRELVM friendvm, SQInteger initialstacksize);
// Pops the top value and makes it v's run-time error handler if it is a
// closure, a native closure or null; any other value stays on the stack
// and nothing changes. The handler is called as handler(error) with the
// root table as `this`, while the failing frames are still on the stack.
void sq_seterrorhandler(HSQUIRRELVM v);
// Destroys the shared state of v with every VM in it; the release hooks of
// all objects still alive run here, each exactly once. v is invalid after.
void sq_close(HSQUIRRELVM v);
// A host pointer per VM, never read by the engine; threads start with null.
void sq_setforeignptr(HSQUIRRELVM v, SQUserPointer p);
SQUserPointer sq_getforeignptr(HSQUIRRELVM v);
// The print function of the shared state, used by `print`, the standard
// error handlers and the call-stack printer; null silences them all. It
// always receives a printf format and its arguments.
void sq_setprintfunc(HSQUIRRELVM v, SQPRINTFUNCTION printfunc);
SQPRINTFUNCTION sq_getprintfunc(HSQUIRRELVM v);
// `return sq_suspendvm(v);` from a native suspends v: the pending sq_call,
// sq_wakeupvm or thread call returns the native's result. Refused (with
// `cannot suspend through native calls/metamethods` raised where the native
// returns) unless the native was called by script code of v's outermost
// execution; `cannot suspend an already suspended vm` when suspended.
SQRESULT sq_suspendvm(HSQUIRRELVM v);
// Resumes a suspended v (else SQ_ERROR, `cannot resume a vm that is not
// running any code`). With resumedret the top value is popped and becomes
// the result of the suspending call (else null). Runs to the next suspend
// (SQ_OK, suspend value pushed if retval) or to the end: then the stack is
// cut back to its first slot before the final result is pushed (if retval).
// raiseerror: an uncaught error is reported through the error handler.
SQRESULT sq_wakeupvm(HSQUIRRELVM v, SQBool resumedret, SQBool retval, SQBool raiseerror);
// SQ_VMSTATE_IDLE, SQ_VMSTATE_RUNNING or SQ_VMSTATE_SUSPENDED.
SQInteger sq_getvmstate(HSQUIRRELVM v);

// ---- Compiling ----

// Compiles the characters read(p) returns until it returns 0. Success
// pushes the script's main function (named `main`, one parameter `this`).
// Failure pushes nothing, leaves the bare message as the last error and,
// with raiseerror, calls the compiler error handler once with the message,
// sourcename, line and column.
SQRESULT sq_compile(HSQUIRRELVM v, SQLEXREADFUNC read, SQUserPointer p, const SQChar* sourcename,
                    SQBool raiseerror);
// sq_compile over `size` characters of s; a NUL byte ends the text early.
SQRESULT sq_compilebuffer(HSQUIRRELVM v, const SQChar* s, SQInteger size,
                          const SQChar* sourcename, SQBool raiseerror);
// Shared-state wide, for code compiled afterwards: line events for the
// debug hook. Line numbers for error reports are recorded regardless.
void sq_enabledebuginfo(HSQUIRRELVM v, SQBool enable);
// When on, the error handler sees every error where it is raised, caught
// or not, and an uncaught one is not reported a second time.
void sq_notifyallexceptions(HSQUIRRELVM v, SQBool enable);
// Shared-state wide compiler error callback; null for none.
void sq_setcompilererrorhandler(HSQUIRRELVM v, SQCOMPILERERROR f);

// ---- Stack ----
//
// A bad index (0, or outside the window) is a host bug, asserted in debug
// builds; none of these set the last error.

// Pushes a copy of the value at idx.
void sq_push(HSQUIRRELVM v, SQInteger idx);
void sq_pop(HSQUIRRELVM v, SQInteger nelemstopop);
void sq_poptop(HSQUIRRELVM v);
// Removes the value at idx; the values above it move down.
void sq_remove(HSQUIRRELVM v, SQInteger idx);
// The number of values in the window.
SQInteger sq_gettop(HSQUIRRELVM v);
// Pops down to newtop values or pushes nulls up to it.
void sq_settop(HSQUIRRELVM v, SQInteger newtop);
// Makes room for nsize more pushes (within the fixed reserve).
void sq_reservestack(HSQUIRRELVM v, SQInteger nsize);
// Three-way comparison of the value at -1 with the value at -2 (< 0, 0,
// > 0), by the ordering of `<`; pops nothing. Values that cannot be
// compared leave an error in the last-error slot and give 0.
SQInteger sq_cmp(HSQUIRRELVM v);
// Pushes onto dest the value at idx of src (both of one shared state).
void sq_move(HSQUIRRELVM dest, HSQUIRRELVM src, SQInteger idx);

// ---- Creating, pushing and reading values ----

// Pushes a userdata of `size` uninitialised bytes (type tag 0, no delegate,
// no hook) and returns its payload, valid while the userdata lives.
SQUserPointer sq_newuserdata(HSQUIRRELVM v, SQUnsignedInteger size);
void sq_newtable(HSQUIRRELVM v);
// Pushes an array of `size` nulls (none when size < 0).
void sq_newarray(HSQUIRRELVM v, SQInteger size);
// Pops nfreevars values and pushes a native closure over func: the value
// that was on top becomes free variable 0. A new closure has no parameter
// check and no name.
void sq_newclosure(HSQUIRRELVM v, SQFUNCTION func, SQUnsignedInteger nfreevars);
// Parameter rules of the native closure on top (else `native closure
// expected`). nparamscheck counts `this`: n > 0 exactly n, n < 0 at least
// -n, 0 unchecked, SQ_MATCHTYPEMASKSTRING the number of mask entries. A bad
// typemask gives `invalid typemask` after the count is stored, and keeps
// the previous mask.
SQRESULT sq_setparamscheck(HSQUIRRELVM v, SQInteger nparamscheck, const SQChar* typemask);
// Pops the environment (table, class or instance) on top and pushes a copy
// of the function at idx bound to it (`this` of every call). Errors: `the
// target is not a closure`, `invalid environment`; nothing changes then.
SQRESULT sq_bindenv(HSQUIRRELVM v, SQInteger idx);
// Pushes `len` chars of s (len < 0: up to the first NUL) as an interned
// copy; a null s pushes null.
void sq_pushstring(HSQUIRRELVM v, const SQChar* s, SQInteger len);
void sq_pushfloat(HSQUIRRELVM v, SQFloat f);
void sq_pushinteger(HSQUIRRELVM v, SQInteger n);
// Pushes true for any b != 0.
void sq_pushbool(HSQUIRRELVM v, SQBool b);
void sq_pushuserpointer(HSQUIRRELVM v, SQUserPointer p);
void sq_pushnull(HSQUIRRELVM v);
SQObjectType sq_gettype(HSQUIRRELVM v, SQInteger idx);
// Bytes of a string or userdata, slots of a table, length of an array;
// other types give -1 and set `unexpected type <type>`.
SQInteger sq_getsize(HSQUIRRELVM v, SQInteger idx);
// Pushes the base of the class at idx, or null; a non-class gives
// `wrong argument type, expected 'class' ...` and pushes nothing.
SQRESULT sq_getbase(HSQUIRRELVM v, SQInteger idx);
// Whether the instance at -1 belongs to the class at -2 or a class derived
// from it; pops nothing. Other types: false, with `invalid param type`.
SQBool sq_instanceof(HSQUIRRELVM v);
// Pushes the value at idx converted to a string as `tostring()` does
// (`_tostring` may run).
void sq_tostring(HSQUIRRELVM v, SQInteger idx);
// Truthiness of the value at idx.
void sq_tobool(HSQUIRRELVM v, SQInteger idx, SQBool* b);
// The readers below fill their out-parameter only on success. sq_getinteger
// and sq_getfloat accept either number (floats truncate toward zero);
// sq_getbool only a bool. These three fail without an error message, as
// 2.1 does; the others set `wrong argument type, expected '<type>' got
// '<value>'`. A string stays valid while the string value lives.
SQRESULT sq_getstring(HSQUIRRELVM v, SQInteger idx, const SQChar** c);
SQRESULT sq_getinteger(HSQUIRRELVM v, SQInteger idx, SQInteger* i);
SQRESULT sq_getfloat(HSQUIRRELVM v, SQInteger idx, SQFloat* f);
SQRESULT sq_getbool(HSQUIRRELVM v, SQInteger idx, SQBool* b);
SQRESULT sq_getthread(HSQUIRRELVM v, SQInteger idx, HSQUIRRELVM* thread);
SQRESULT sq_getuserpointer(HSQUIRRELVM v, SQInteger idx, SQUserPointer* p);
// The payload and, when typetag is not null, the type tag of a userdata.
SQRESULT sq_getuserdata(HSQUIRRELVM v, SQInteger idx, SQUserPointer* p, SQUserPointer* typetag);
// Type tag of a userdata or class. Reading an instance gives its own
// class's tag (bases are not walked). Other types: `invalid object type`.
SQRESULT sq_settypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer typetag);
SQRESULT sq_gettypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer* typetag);
// The hook runs when the userdata (payload, size), instance (user pointer,
// 0) or class (type tag, 0) at idx dies: at once when its last reference
// goes, in sq_collectgarbage for cycles, or in sq_close. It must not call
// into the VM. Other types are ignored.
void sq_setreleasehook(HSQUIRRELVM v, SQInteger idx, SQRELEASEHOOK hook);
// A buffer of at least minsize bytes shared by the state, valid until the
// next call.
SQChar* sq_getscratchpad(HSQUIRRELVM v, SQInteger minsize);
// Parameter count (with `this`) and free-variable count of the script
// closure at idx; `the object is not a closure` otherwise.
SQRESULT sq_getclosureinfo(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger* nparams,
                           SQUnsignedInteger* nfreevars);
// The name a native closure shows in call stacks and getinfos(); `the
// object is not a nativeclosure` otherwise.
SQRESULT sq_setnativeclosurename(HSQUIRRELVM v, SQInteger idx, const SQChar* name);
// An instance's user pointer (null when created). Non-instances give `the
// object is not a class instance`. sq_getinstanceup stores the pointer
// first; a non-zero typetag then must be the tag of the instance's class
// or one of its bases, else `invalid type tag`.
SQRESULT sq_setinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer p);
SQRESULT sq_getinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer* p, SQUserPointer typetag);
// Pushes a new class; with hasbase the class on top is popped as its base
// (else `invalid base type`, nothing popped). `_inherited` is not called.
SQRESULT sq_newclass(HSQUIRRELVM v, SQBool hasbase);
// Pushes an instance of the class at idx without running its constructor;
// the class locks. A non-class gives the wrong-argument-type error.
SQRESULT sq_createinstance(HSQUIRRELVM v, SQInteger idx);
// Class at idx, member key at -2 (null: the class itself), attributes at
// -1: pops both and pushes the old attributes. `wrong index` for a missing
// member.
SQRESULT sq_setattributes(HSQUIRRELVM v, SQInteger idx);
// Class at idx, member key on top (null: the class): replaces the key with
// the attributes. `wrong index` for a missing member.
SQRESULT sq_getattributes(HSQUIRRELVM v, SQInteger idx);
// Pushes the class of the instance at idx.
SQRESULT sq_getclass(HSQUIRRELVM v, SQInteger idx);
// Pushes a weak reference to the value at idx (numbers and bools push
// themselves).
void sq_weakref(HSQUIRRELVM v, SQInteger idx);
// Pushes the default delegate of a type; `the type doesn't have a default
// delegate` for the others.
SQRESULT sq_getdefaultdelegate(HSQUIRRELVM v, SQObjectType t);

// ---- Root table, registry and slots ----

void sq_pushroottable(HSQUIRRELVM v);
// The registry: one table per shared state, invisible to scripts.
void sq_pushregistrytable(HSQUIRRELVM v);
// Pops a table or null and makes it v's root table; other values give
// `ivalid type` (sic) and stay. Scripts must not look up globals while
// the root table is null.
SQRESULT sq_setroottable(HSQUIRRELVM v);
// Key at -2, value at -1, object at idx; needs 3 values (`not enough params
// in the stack`); a null key gives `null is not a valid key`. A table gets
// the slot (or its delegate's `_newslot` runs) and both are popped. A class
// gets the member (static with bstatic) and both are popped; a locked class
// still returns SQ_OK with the error only in the last-error slot. Any other
// object returns SQ_OK and pops nothing. Both quirks are kept on purpose.
SQRESULT sq_newslot(HSQUIRRELVM v, SQInteger idx, SQBool bstatic);
// sq_newslot(v, idx, SQFalse).
SQRESULT sq_createslot(HSQUIRRELVM v, SQInteger idx);
// Key on top, table at idx, `delete` rules (`_delslot`; a missing key
// gives `the index '<key>' does not exist`). With pushval the key is
// replaced by the removed value, else popped.
SQRESULT sq_deleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval);
// Key at -2, value at -1: assigns an existing slot (own, delegated or
// through `_set`) without the root-table fallback, and pops both. Failure
// leaves both, with `the index '<key>' does not exist`.
SQRESULT sq_set(HSQUIRRELVM v, SQInteger idx);
// Key on top: replaced by the value found as a script read finds it
// (delegates, `_get`, default delegates; no root-table fallback). Failure
// pops the key, with `the index doesn't exist`.
SQRESULT sq_get(HSQUIRRELVM v, SQInteger idx);
// Key on top: replaced by the own slot of a table, the member of a class or
// instance, or the element of an array. Failure pops the key, with `the
// index doesn't exist` (other object types: `rawget works only on
// array/table/instance and class`).
SQRESULT sq_rawget(HSQUIRRELVM v, SQInteger idx);
// Key at -2, value at -1: a table's own slot (created if missing), a class
// member as a non-static `<-`, an existing instance field or an array
// element in range; pops both. A null key gives `null key` and pops
// nothing; an instance or array failure leaves both; other object types pop
// both and give `rawset works only on array/table/calsse and instance`.
SQRESULT sq_rawset(HSQUIRRELVM v, SQInteger idx);
// Key on top, table at idx: removes the own slot if there is one. With
// pushval the key is replaced by the removed value (or null); without it
// the key stays on the stack, as in 2.1.
SQRESULT sq_rawdeleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval);
// Pops the top value and appends it to the array at idx (idx is resolved
// before the pop).
SQRESULT sq_arrayappend(HSQUIRRELVM v, SQInteger idx);
// Removes the last element (`empty array` when there is none), pushing it
// when pushval.
SQRESULT sq_arraypop(HSQUIRRELVM v, SQInteger idx, SQBool pushval);
// Resizes the array at idx, new elements null. An empty array stays empty,
// as in 2.1.
SQRESULT sq_arrayresize(HSQUIRRELVM v, SQInteger idx, SQInteger newsize);
SQRESULT sq_arrayreverse(HSQUIRRELVM v, SQInteger idx);
// Pops a table or null and makes it the delegate of the table or userdata
// at idx. Errors (nothing popped): `delagate cycle` (sic), `unexpected type
// <type>`.
SQRESULT sq_setdelegate(HSQUIRRELVM v, SQInteger idx);
// Pushes the delegate (or null) of the table or userdata at idx; other
// types give `wrong type`.
SQRESULT sq_getdelegate(HSQUIRRELVM v, SQInteger idx);
// Pushes a clone of the table, array or instance at idx (`_cloned` runs);
// other types give `unexpected type <type>`.
SQRESULT sq_clone(HSQUIRRELVM v, SQInteger idx);
// Pops the top value into free variable nval of the closure at idx.
// Errors: `invalid free var index`, `unexpected type <type>`.
SQRESULT sq_setfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval);
// One iteration step over the object at idx with the iterator on top
// (start with null): pushes key and value and advances the iterator. Tables
// go in node order, arrays and strings by index, classes by member,
// instances and userdata through `_nexti`. SQ_ERROR at the end, without a
// new error, or on an error (`cannot iterate a generator`, `_nexti failed`).
SQRESULT sq_next(HSQUIRRELVM v, SQInteger idx);
// Pushes the target of the weak reference at idx (null once it died);
// `the object must be a weakref` otherwise.
SQRESULT sq_getweakrefval(HSQUIRRELVM v, SQInteger idx);

// ---- Calls and errors ----

// Calls the value below [this, args...] with `params` values counting
// `this`: a script closure (its exact parameter count), a native closure,
// or a class (the result is a new instance; the constructor runs). Pops the
// params and leaves the callee, as 2.1 does; with retval pushes the result
// above it. Any other callee fails without setting a new error. Failure
// leaves the error as the last error; with raiseerror the error handler has
// already reported an error no script `try` caught. A generator function
// runs as a plain function (its first yield raises). A script that suspends
// makes it return SQ_OK with the suspend value (see sq_wakeupvm).
SQRESULT sq_call(HSQUIRRELVM v, SQInteger params, SQBool retval, SQBool raiseerror);
// Resumes the generator on top until it yields or returns, pushing that
// value when retval; `only generators can be resumed` otherwise.
SQRESULT sq_resume(HSQUIRRELVM v, SQBool retval, SQBool raiseerror);
// Local number idx of call level `level` (0: the innermost frame): pushes
// its value and returns its name, or null when there is none. Free
// variables come first, then locals from the innermost scope out, `this`
// last.
const SQChar* sq_getlocal(HSQUIRRELVM v, SQUnsignedInteger level, SQUnsignedInteger idx);
// Pushes free variable nval of the closure at idx and returns its name
// (`@NATIVE` for a native closure's), or null when there is none.
const SQChar* sq_getfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval);
// Makes err the last error and returns SQ_ERROR: `return
// sq_throwerror(v, "text");` from a native raises it.
SQRESULT sq_throwerror(HSQUIRRELVM v, const SQChar* err);
// Clears the last error to null.
void sq_reseterror(HSQUIRRELVM v);
// Pushes the last error (any value, possibly null). Successful operations
// never clear it.
void sq_getlasterror(HSQUIRRELVM v);

// ---- Host handles ----

// Copies the value at idx into *po without taking a reference.
SQRESULT sq_getstackobj(HSQUIRRELVM v, SQInteger idx, HSQOBJECT* po);
void sq_pushobject(HSQUIRRELVM v, HSQOBJECT obj);
// One host reference more on a reference-counted value (others: nothing).
// Host references keep objects alive across collections.
void sq_addref(HSQUIRRELVM v, HSQOBJECT* po);
// One host reference less; true when the host holds none any more (always
// for values that are not reference-counted).
SQBool sq_release(HSQUIRRELVM v, HSQOBJECT* po);
// Sets the handle to null without releasing anything.
void sq_resetobject(HSQOBJECT* po);
// The text of a string handle, else null.
const SQChar* sq_objtostring(HSQOBJECT* o);
SQBool sq_objtobool(HSQOBJECT* o);
// The number in a numeric handle, else 0.
SQInteger sq_objtointeger(HSQOBJECT* o);
SQFloat sq_objtofloat(HSQOBJECT* o);

// Runs the cycle collector: objects no root reaches (stacks, root tables,
// registry, handlers, host references) are cleared and die, their release
// hooks running. Returns the number the sweep visited; objects released as
// a consequence are not counted.
SQInteger sq_collectgarbage(HSQUIRRELVM v);

// ---- Compiled functions ----

// Writes the script closure on top in this engine's own form (FA FA,
// `SQIR`, then the TSQ1 tag and the function tree). Errors: the
// wrong-argument-type error for a non-closure, `io error (write function
// failure)` when writef writes less than asked.
SQRESULT sq_writeclosure(HSQUIRRELVM vm, SQWRITEFUNC writef, SQUserPointer up);
// Reads a closure written by sq_writeclosure and pushes it. Every count,
// tag and instruction operand is checked before the code can run; a
// damaged stream gives `invalid or corrupted closure stream` or the read
// error, and a stream of the original 2.1 engine `compiled code from
// another engine cannot be loaded`. Nothing is pushed on failure.
SQRESULT sq_readclosure(HSQUIRRELVM vm, SQREADFUNC readf, SQUserPointer up);

// ---- Debugging ----

typedef struct tagSQStackInfos {
    const SQChar* funcname;
    const SQChar* source;
    SQInteger line;
} SQStackInfos;
// Function name, source and current line of call level `level` (0: the
// innermost frame, natives included with source `NATIVE` and line -1);
// SQ_ERROR past the outermost frame, without an error message.
SQRESULT sq_stackinfos(HSQUIRRELVM v, SQInteger level, SQStackInfos* si);
// Pops the top value and makes it v's debug hook if it is a closure, a
// native closure or null (others stay on the stack). The hook is called as
// hook(event, source, line, funcname) for calls ('c'), returns ('r') and,
// in code compiled with debug info, lines ('l'); its own frames make no
// events and its errors are discarded.
void sq_setdebughook(HSQUIRRELVM v);

// ---- Limits for untrusted scripts ----

// From now on the VMs of v's shared state, its threads included, run at
// most `count` more instructions; after them every instruction raises
// `instruction limit reached`, so neither try nor an error handler keeps
// the script going. count <= 0 removes the limit (the default).
void sq_setinstructionlimit(HSQUIRRELVM v, SQInteger count);
// The largest string, array or blob a script builds in one step, in bytes
// (an array slot counts 16); beyond it the step raises `not enough
// memory` (blobs: their resize error). 1 GiB by default, which bytes <= 0
// restores.
void sq_setsizelimit(HSQUIRRELVM v, SQInteger bytes);
SQInteger sq_getsizelimit(HSQUIRRELVM v);

#define sq_isnumeric(o) ((o)._type & SQOBJECT_NUMERIC)
#define sq_istable(o) ((o)._type == OT_TABLE)
#define sq_isarray(o) ((o)._type == OT_ARRAY)
#define sq_isfunction(o) ((o)._type == OT_FUNCPROTO)
#define sq_isclosure(o) ((o)._type == OT_CLOSURE)
#define sq_isgenerator(o) ((o)._type == OT_GENERATOR)
#define sq_isnativeclosure(o) ((o)._type == OT_NATIVECLOSURE)
#define sq_isstring(o) ((o)._type == OT_STRING)
#define sq_isinteger(o) ((o)._type == OT_INTEGER)
#define sq_isfloat(o) ((o)._type == OT_FLOAT)
#define sq_isuserpointer(o) ((o)._type == OT_USERPOINTER)
#define sq_isuserdata(o) ((o)._type == OT_USERDATA)
#define sq_isthread(o) ((o)._type == OT_THREAD)
#define sq_isnull(o) ((o)._type == OT_NULL)
#define sq_isclass(o) ((o)._type == OT_CLASS)
#define sq_isinstance(o) ((o)._type == OT_INSTANCE)
#define sq_isbool(o) ((o)._type == OT_BOOL)
#define sq_isweakref(o) ((o)._type == OT_WEAKREF)
#define sq_type(o) ((o)._type)

#ifdef __cplusplus
}
#endif
