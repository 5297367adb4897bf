// Byte-oriented lexer of the 2.1 language. Errors are sticky: after the
// first one every call returns kTokEnd and error() holds the message.
#pragma once

#include <string>

#include "squirrel.h"

namespace squirrel {

enum Token {
    kTokEnd = 0,
    kTokIdentifier = 258,
    kTokStringLiteral, kTokInteger, kTokFloat,
    kTokBase, kTokDelete, kTokEq, kTokNe, kTokLe, kTokGe, kTokSwitch, kTokArrow, kTokAnd,
    kTokOr, kTokIf, kTokElse, kTokWhile, kTokBreak, kTokFor, kTokDo, kTokNull, kTokForeach,
    kTokIn, kTokNewSlot, kTokModulo, kTokLocal, kTokClone, kTokFunction, kTokReturn,
    kTokTypeof, kTokUminus, kTokPlusEq, kTokMinusEq, kTokContinue, kTokYield, kTokTry,
    kTokCatch, kTokThrow, kTokShiftL, kTokShiftR, kTokResume, kTokDoubleColon, kTokCase,
    kTokDefault, kTokThis, kTokPlusPlus, kTokMinusMinus, kTokParent, kTokUShiftR, kTokClass,
    kTokExtends, kTokConstructor, kTokInstanceof, kTokVarParams, kTokVargc, kTokVargv,
    kTokTrue, kTokFalse, kTokMulEq, kTokDivEq, kTokModEq, kTokAttrOpen, kTokAttrClose,
    kTokStatic, kTokDelegate,
};

class Lexer {
public:
    Lexer(SQLEXREADFUNC read, SQUserPointer up);
    int lex();
    bool failed() const { return !errorText.empty(); }
    const std::string& error() const { return errorText; }
    static const char* tokenText(int tok);

    int token = 0;
    int prevToken = -1;
    int line = 1;
    int column = 0;
    int lastTokenLine = 1;  // line where the previous token ended
    std::string text;       // identifier or string bytes
    SQInteger intValue = 0;
    SQFloat floatValue = 0;
    bool newlineBefore = false;  // a line feed separated this token from the previous one

private:
    void next();
    bool fail(const char* msg);
    int readString(int delimiter, bool verbatim);
    int readNumber();
    int readIdentifier();
    void blockComment();

    SQLEXREADFUNC reader;
    SQUserPointer readerData;
    int current = 0;
    std::string errorText;
};

}  // namespace squirrel
