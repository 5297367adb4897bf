// Tagged values and the reference-counted object header shared by every
// heap object of the engine. A Value has the layout of SQObject, so handles
// given to the host are plain copies of it.
#pragma once

#include <cstdint>
#include <cstring>

#include "squirrel.h"

namespace squirrel {

struct SharedState;
struct WeakRef;

// Every heap object starts with this header. refCount counts Values, host
// references and internal owners; the object is destroyed when it drops to 0.
struct Object {
    uint32_t refCount = 0;
    SQObjectType type;
    WeakRef* weakRef = nullptr;  // the one weak reference pointing here, if any
    explicit Object(SQObjectType t) : type(t) {}
};

void destroyObject(Object* o);

inline void addRef(Object* o) { ++o->refCount; }
inline void release(Object* o) {
    if (--o->refCount == 0) destroyObject(o);
}

struct String;
struct Table;
struct Array;
struct Closure;
struct NativeClosure;
struct Class;
struct Instance;
struct Generator;
struct UserData;
struct FuncProto;

struct Value : SQObject {
    Value() {
        _type = OT_NULL;
        _unVal.pRefCounted = nullptr;
    }
    Value(const Value& v) {
        _type = v._type;
        _unVal = v._unVal;
        if (_type & SQOBJECT_REF_COUNTED) addRef(obj());
    }
    explicit Value(const SQObject& v) {
        _type = v._type;
        _unVal = v._unVal;
        if (_type & SQOBJECT_REF_COUNTED) addRef(obj());
    }
    Value(Value&& v) noexcept {
        _type = v._type;
        _unVal = v._unVal;
        v._type = OT_NULL;
        v._unVal.pRefCounted = nullptr;
    }
    explicit Value(Object* o) {
        _type = o->type;
        _unVal.pRefCounted = o;
        addRef(o);
    }
    static Value integer(SQInteger i) {
        Value v;
        v._type = OT_INTEGER;
        v._unVal.nInteger = i;
        return v;
    }
    static Value number(SQFloat f) {
        Value v;
        v._type = OT_FLOAT;
        v._unVal.pRefCounted = nullptr;
        v._unVal.fFloat = f;
        return v;
    }
    static Value boolean(bool b) {
        Value v;
        v._type = OT_BOOL;
        v._unVal.nInteger = b ? 1 : 0;
        return v;
    }
    static Value userPointer(void* p) {
        Value v;
        v._type = OT_USERPOINTER;
        v._unVal.pUserPointer = p;
        return v;
    }
    ~Value() {
        if (_type & SQOBJECT_REF_COUNTED) release(obj());
    }
    Value& operator=(const Value& v) {
        if (v._type & SQOBJECT_REF_COUNTED) addRef(v.obj());
        SQObjectType ot = _type;
        Object* oo = static_cast<Object*>(_unVal.pRefCounted);
        _type = v._type;
        _unVal = v._unVal;
        if (ot & SQOBJECT_REF_COUNTED) release(oo);
        return *this;
    }
    Value& operator=(Value&& v) noexcept {
        if (this != &v) {
            SQObjectType ot = _type;
            Object* oo = static_cast<Object*>(_unVal.pRefCounted);
            _type = v._type;
            _unVal = v._unVal;
            v._type = OT_NULL;
            v._unVal.pRefCounted = nullptr;
            if (ot & SQOBJECT_REF_COUNTED) release(oo);
        }
        return *this;
    }
    void setNull() {
        if (_type & SQOBJECT_REF_COUNTED) {
            Object* o = obj();
            _type = OT_NULL;
            _unVal.pRefCounted = nullptr;
            release(o);
        } else {
            _type = OT_NULL;
            _unVal.pRefCounted = nullptr;
        }
    }
    void setInt(SQInteger i) {
        if (_type & SQOBJECT_REF_COUNTED) setNull();
        _type = OT_INTEGER;
        _unVal.nInteger = i;
    }
    void setFloat(SQFloat f) {
        if (_type & SQOBJECT_REF_COUNTED) setNull();
        _type = OT_FLOAT;
        _unVal.fFloat = f;
    }
    void setBool(bool b) {
        if (_type & SQOBJECT_REF_COUNTED) setNull();
        _type = OT_BOOL;
        _unVal.nInteger = b ? 1 : 0;
    }

    SQObjectType type() const { return _type; }
    bool isNull() const { return _type == OT_NULL; }
    bool isInt() const { return _type == OT_INTEGER; }
    bool isFloat() const { return _type == OT_FLOAT; }
    bool isNumeric() const { return (_type & SQOBJECT_NUMERIC) != 0; }
    bool isString() const { return _type == OT_STRING; }
    bool isRefCounted() const { return (_type & SQOBJECT_REF_COUNTED) != 0; }
    SQInteger i() const { return _unVal.nInteger; }
    SQFloat f() const { return _unVal.fFloat; }
    SQFloat toFloat() const { return _type == OT_INTEGER ? SQFloat(_unVal.nInteger) : _unVal.fFloat; }
    SQInteger toInt() const;
    Object* obj() const { return static_cast<Object*>(_unVal.pRefCounted); }
    inline String* str() const;
    inline Table* table() const;
    inline Array* array() const;
    inline Closure* closure() const;
    inline NativeClosure* native() const;
    inline Class* cls() const;
    inline Instance* instance() const;
    inline Generator* generator() const;
    inline UserData* userData() const;
    inline WeakRef* weak() const;
    inline FuncProto* proto() const;
    inline SQVM* thread() const;
    void* raw() const { return _unVal.pRefCounted; }
    // Same type and same raw bits: the identity used by == and by table keys.
    bool rawEquals(const Value& o) const {
        if (_type != o._type) return false;
        if (_type == OT_FLOAT) return memcmp(&_unVal.fFloat, &o._unVal.fFloat, 4) == 0;
        if (_type == OT_INTEGER || _type == OT_BOOL) return _unVal.nInteger == o._unVal.nInteger;
        return _unVal.pRefCounted == o._unVal.pRefCounted;
    }
};

// Float to integer truncates toward zero; out-of-range values and NaN give
// INT_MIN, as the original x86 conversion does.
inline SQInteger floatToInt(SQFloat f) {
    if (!(f > -2147483904.0f && f < 2147483648.0f)) return SQInteger(0x80000000u);
    return SQInteger(f);
}

inline SQInteger Value::toInt() const {
    return _type == OT_INTEGER ? _unVal.nInteger : floatToInt(_unVal.fFloat);
}

// False: null, false, 0, 0.0, -0.0 and a NULL user pointer.
inline bool isFalse(const Value& v) {
    switch (v._type) {
    case OT_NULL: return true;
    case OT_INTEGER:
    case OT_BOOL: return v._unVal.nInteger == 0;
    case OT_FLOAT: return v._unVal.fFloat == 0.0f;
    case OT_USERPOINTER: return v._unVal.pUserPointer == nullptr;
    default: return false;
    }
}

const char* typeName(SQObjectType t);

}  // namespace squirrel
