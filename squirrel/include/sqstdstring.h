// Standard string library: format, strip, split and the regexp class.
#pragma once

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int SQRexBool;
typedef struct SQRex SQRex;

typedef struct {
    const SQChar* begin;
    SQInteger len;
} SQRexMatch;

// Compiles a NUL-terminated pattern. Null on failure, with *error (when
// error is not null) pointing at a static message such as `expected paren`.
SQRex* sqstd_rex_compile(const SQChar* pattern, const SQChar** error);
// Frees a pattern from sqstd_rex_compile; null is ignored.
void sqstd_rex_free(SQRex* exp);
// True when the whole NUL-terminated text matches.
SQBool sqstd_rex_match(SQRex* exp, const SQChar* text);
// First match in [text_begin, text_end): *out_begin, *out_end (may be null).
SQBool sqstd_rex_searchrange(SQRex* exp, const SQChar* text_begin, const SQChar* text_end,
                             const SQChar** out_begin, const SQChar** out_end);
SQBool sqstd_rex_search(SQRex* exp, const SQChar* text, const SQChar** out_begin,
                        const SQChar** out_end);
// Number of groups including group 0, the whole match.
SQInteger sqstd_rex_getsubexpcount(SQRex* exp);
// Group `n` of the last match or search; a group that took no part in it,
// or matched nothing, has len 0. SQFalse for a bad n or before any search.
SQBool sqstd_rex_getsubexp(SQRex* exp, SQInteger n, SQRexMatch* subexp);

// Formats like the script `format` with the format string at `nformatstringidx`
// and the arguments after it. The text lives in the VM's scratch pad until
// the next call that uses it. SQ_ERROR with the script-visible message.
SQRESULT sqstd_format(HSQUIRRELVM v, SQInteger nformatstringidx, SQInteger* outlen,
                      SQChar** output);

// Adds the class `regexp`, then format, strip, lstrip, rstrip and split to
// the table on top of the stack.
SQRESULT sqstd_register_stringlib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif
