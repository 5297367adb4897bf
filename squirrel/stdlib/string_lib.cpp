// The script string library (format, strip, lstrip, rstrip, split, the
// regexp class) and the C entry points over the same code.
#include <cstring>
#include <string>
#include <vector>

#include "squirrel/stdlib/messages.h"
#include "squirrel/stdlib/regexp.h"
#include "squirrel/stdlib/stdlib_local.h"
#include "squirrel/stdlib/string_format.h"
#include "sqstdstring.h"

// A compiled pattern and the text of its last match, which the C API
// reports as pointers.
struct SQRex {
    SQRex(const char* pattern, size_t length) : regexp(pattern, length) {}
    sqstd::Regexp regexp;
    const char* base = nullptr;
};

namespace sqstd {

namespace {

char regexpTag;

// Whitespace of the C library in the "C" locale; bytes from 0x80 up are
// never space.
bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

SQInteger string_format(HSQUIRRELVM v) {
    SQChar* text = nullptr;
    SQInteger length = 0;
    if (SQ_FAILED(sqstd_format(v, 2, &length, &text))) return SQ_ERROR;
    sq_pushstring(v, text, length);
    return 1;
}

struct Text {
    const char* s = "";
    SQInteger length = 0;
};

Text stringArg(HSQUIRRELVM v, SQInteger idx) {
    Text text;
    if (SQ_SUCCEEDED(sq_getstring(v, idx, &text.s))) text.length = sq_getsize(v, idx);
    return text;
}

SQInteger leadingSpaces(const Text& t) {
    SQInteger start = 0;
    while (start < t.length && isSpace(t.s[start])) ++start;
    return start;
}

// End of the text without trailing spaces; the first byte always stays,
// so a text of spaces alone keeps one.
SQInteger trimmedEnd(const Text& t) {
    if (t.length == 0) return 0;
    SQInteger last = t.length - 1;
    while (last > 0 && isSpace(t.s[last])) --last;
    return last + 1;
}

SQInteger string_strip(HSQUIRRELVM v) {
    Text t = stringArg(v, 2);
    SQInteger start = leadingSpaces(t), end = trimmedEnd(t);
    sq_pushstring(v, t.s + start, end > start ? end - start : 0);
    return 1;
}

// Ends at the first NUL of the text.
SQInteger string_lstrip(HSQUIRRELVM v) {
    Text t = stringArg(v, 2);
    sq_pushstring(v, t.s + leadingSpaces(t), -1);
    return 1;
}

SQInteger string_rstrip(HSQUIRRELVM v) {
    Text t = stringArg(v, 2);
    sq_pushstring(v, t.s, trimmedEnd(t));
    return 1;
}

// Tokens between runs of separator bytes; the text and the separators end
// at their first NUL.
SQInteger string_split(HSQUIRRELVM v) {
    Text t = stringArg(v, 2), separators = stringArg(v, 3);
    if (separators.s[0] == '\0') return sq_throwerror(v, kEmptySeparators);
    sq_newarray(v, 0);
    const char* p = t.s;
    for (;;) {
        p += std::strspn(p, separators.s);
        if (*p == '\0') break;
        size_t length = std::strcspn(p, separators.s);
        sq_pushstring(v, p, SQInteger(length));
        sq_arrayappend(v, -2);
        p += length;
    }
    return 1;
}

SQInteger releaseRegexp(SQUserPointer p, SQInteger) {
    delete static_cast<SQRex*>(p);
    return 1;
}

// Null (with the error set) unless `this` is a compiled regexp.
SQRex* selfRegexp(HSQUIRRELVM v, SQInteger idx = 1) {
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, idx, &p, &regexpTag))) return nullptr;
    if (!p) sq_throwerror(v, kRegexpInvalid);
    return static_cast<SQRex*>(p);
}

bool attachRegexp(HSQUIRRELVM v, SQRex* rex) {
    SQUserPointer old = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 1, &old, &regexpTag)) ||
        SQ_FAILED(sq_setinstanceup(v, 1, rex))) {
        return false;
    }
    delete static_cast<SQRex*>(old);
    sq_setreleasehook(v, 1, releaseRegexp);
    return true;
}

// The pattern ends at its first NUL.
SQInteger regexp_constructor(HSQUIRRELVM v) {
    Text pattern = stringArg(v, 2);
    SQRex* rex = new SQRex(pattern.s, std::strlen(pattern.s));
    if (!rex->regexp.isReady()) {
        const char* error = rex->regexp.errorText();
        delete rex;
        return sq_throwerror(v, error);
    }
    if (!attachRegexp(v, rex)) {
        delete rex;
        return SQ_ERROR;
    }
    return 0;
}

// `clone` gives the copy its own compiled pattern.
SQInteger regexp__cloned(HSQUIRRELVM v) {
    sq_setinstanceup(v, 1, nullptr);
    SQRex* original = selfRegexp(v, 2);
    if (!original) return SQ_ERROR;
    SQRex* copy = new SQRex(*original);
    if (!attachRegexp(v, copy)) {
        delete copy;
        return SQ_ERROR;
    }
    return 0;
}

SQInteger regexp_match(HSQUIRRELVM v) {
    SQRex* self = selfRegexp(v);
    if (!self) return SQ_ERROR;
    Text t = stringArg(v, 2);
    sq_pushbool(v, self->regexp.match(t.s, size_t(t.length)));
    return 1;
}

void pushRange(HSQUIRRELVM v, size_t begin, size_t end) {
    sq_newtable(v);
    sq_pushstring(v, "begin", -1);
    sq_pushinteger(v, SQInteger(begin));
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "end", -1);
    sq_pushinteger(v, SQInteger(end));
    sq_newslot(v, -3, SQFalse);
}

// A start outside the text finds nothing.
bool searchArgs(HSQUIRRELVM v, SQRex* self, size_t* begin, size_t* end) {
    Text t = stringArg(v, 2);
    SQInteger start = 0;
    if (sq_gettop(v) > 2) sq_getinteger(v, 3, &start);
    if (start < 0 || start > t.length) return false;
    return self->regexp.search(t.s, size_t(t.length), size_t(start), begin, end);
}

SQInteger regexp_search(HSQUIRRELVM v) {
    SQRex* self = selfRegexp(v);
    if (!self) return SQ_ERROR;
    size_t begin = 0, end = 0;
    if (!searchArgs(v, self, &begin, &end)) return 0;
    pushRange(v, begin, end);
    return 1;
}

SQInteger regexp_capture(HSQUIRRELVM v) {
    SQRex* self = selfRegexp(v);
    if (!self) return SQ_ERROR;
    size_t begin = 0, end = 0;
    if (!searchArgs(v, self, &begin, &end)) return 0;
    sq_newarray(v, 0);
    for (int i = 0; i < self->regexp.subexpCount(); ++i) {
        self->regexp.capture(i, &begin, &end);
        pushRange(v, begin, end);
        sq_arrayappend(v, -2);
    }
    return 1;
}

SQInteger regexp_subexpcount(HSQUIRRELVM v) {
    SQRex* self = selfRegexp(v);
    if (!self) return SQ_ERROR;
    sq_pushinteger(v, self->regexp.subexpCount());
    return 1;
}

SQInteger regexp__typeof(HSQUIRRELVM v) {
    sq_pushstring(v, "regexp", -1);
    return 1;
}

const SQRegFunction kRegexpMethods[] = {
    {"constructor", regexp_constructor, 2, ".s"},
    {"search", regexp_search, -2, "xsn"},
    {"match", regexp_match, 2, "xs"},
    {"capture", regexp_capture, -2, "xsn"},
    {"subexpcount", regexp_subexpcount, 1, "x"},
    {"_typeof", regexp__typeof, 1, "x"},
    {"_cloned", regexp__cloned, 2, "xx"},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kStringFunctions[] = {
    {"format", string_format, -2, ".s"},
    {"strip", string_strip, 2, ".s"},
    {"lstrip", string_lstrip, 2, ".s"},
    {"rstrip", string_rstrip, 2, ".s"},
    {"split", string_split, 3, ".ss"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

}  // namespace sqstd

using namespace sqstd;

SQRESULT sqstd_format(HSQUIRRELVM v, SQInteger nformatstringidx, SQInteger* outlen,
                      SQChar** output) {
    const SQChar* format = nullptr;
    if (SQ_FAILED(sq_getstring(v, nformatstringidx, &format))) return SQ_ERROR;
    SQInteger length = sq_getsize(v, nformatstringidx);
    SQInteger top = sq_gettop(v);
    // Most calls pass a few values: those stay on the C++ stack.
    FormatArg few[8];
    std::vector<FormatArg> many;
    const SQInteger count = top > nformatstringidx ? top - nformatstringidx : 0;
    FormatArg* args = few;
    if (count > SQInteger(sizeof few / sizeof few[0])) {
        many.resize(size_t(count));
        args = many.data();
    }
    for (SQInteger i = nformatstringidx + 1; i <= top; ++i) {
        FormatArg& arg = args[i - nformatstringidx - 1];
        switch (sq_gettype(v, i)) {
        case OT_INTEGER:
        case OT_FLOAT:
            arg.kind = sq_gettype(v, i) == OT_INTEGER ? FormatArg::Kind::Integer
                                                       : FormatArg::Kind::Float;
            sq_getinteger(v, i, &arg.integer);
            sq_getfloat(v, i, &arg.real);
            break;
        case OT_STRING:
            arg.kind = FormatArg::Kind::String;
            sq_getstring(v, i, &arg.text);
            break;
        default:
            break;
        }
    }
    std::string text;
    const char* error = formatString(format, size_t(length), args, int(count), text);
    if (error) return sq_throwerror(v, error);
    SQChar* pad = sq_getscratchpad(v, SQInteger(text.size() + 1));
    std::memcpy(pad, text.data(), text.size());
    pad[text.size()] = '\0';
    *output = pad;
    *outlen = SQInteger(text.size());
    return SQ_OK;
}

SQRESULT sqstd_register_stringlib(HSQUIRRELVM v) {
    sq_pushstring(v, "regexp", -1);
    sq_newclass(v, SQFalse);
    sq_settypetag(v, -1, &regexpTag);
    registerFunctions(v, kRegexpMethods);
    sq_newslot(v, -3, SQFalse);
    registerFunctions(v, kStringFunctions);
    return SQ_OK;
}

SQRex* sqstd_rex_compile(const SQChar* pattern, const SQChar** error) {
    SQRex* rex = new SQRex(pattern, std::strlen(pattern));
    if (rex->regexp.isReady()) return rex;
    if (error) *error = rex->regexp.errorText();
    delete rex;
    return nullptr;
}

void sqstd_rex_free(SQRex* exp) {
    delete exp;
}

SQBool sqstd_rex_match(SQRex* exp, const SQChar* text) {
    exp->base = text;
    return exp->regexp.match(text, std::strlen(text)) ? SQTrue : SQFalse;
}

SQBool sqstd_rex_searchrange(SQRex* exp, const SQChar* text_begin, const SQChar* text_end,
                             const SQChar** out_begin, const SQChar** out_end) {
    size_t begin = 0, end = 0;
    exp->base = text_begin;
    if (!exp->regexp.search(text_begin, size_t(text_end - text_begin), 0, &begin, &end)) {
        return SQFalse;
    }
    if (out_begin) *out_begin = text_begin + begin;
    if (out_end) *out_end = text_begin + end;
    return SQTrue;
}

SQBool sqstd_rex_search(SQRex* exp, const SQChar* text, const SQChar** out_begin,
                        const SQChar** out_end) {
    return sqstd_rex_searchrange(exp, text, text + std::strlen(text), out_begin, out_end);
}

SQInteger sqstd_rex_getsubexpcount(SQRex* exp) {
    return exp->regexp.subexpCount();
}

SQBool sqstd_rex_getsubexp(SQRex* exp, SQInteger n, SQRexMatch* subexp) {
    if (n < 0 || n >= exp->regexp.subexpCount() || !exp->base) return SQFalse;
    size_t begin = 0, end = 0;
    exp->regexp.capture(int(n), &begin, &end);
    subexp->begin = exp->base + begin;
    subexp->len = SQInteger(end - begin);
    return SQTrue;
}
