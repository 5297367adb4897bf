// Lexer. Positions follow the 2.1 rules: the column counts every consumed
// byte and restarts at 1 after a line feed between tokens.
#include "squirrel/lexer.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace squirrel {

namespace {

struct Keyword {
    const char* name;
    int token;
};

constexpr Keyword kKeywords[] = {
    {"while", kTokWhile}, {"do", kTokDo}, {"if", kTokIf}, {"else", kTokElse},
    {"break", kTokBreak}, {"continue", kTokContinue}, {"return", kTokReturn},
    {"null", kTokNull}, {"function", kTokFunction}, {"local", kTokLocal}, {"for", kTokFor},
    {"foreach", kTokForeach}, {"in", kTokIn}, {"typeof", kTokTypeof},
    {"delegate", kTokDelegate}, {"delete", kTokDelete}, {"try", kTokTry},
    {"catch", kTokCatch}, {"throw", kTokThrow}, {"clone", kTokClone}, {"yield", kTokYield},
    {"resume", kTokResume}, {"switch", kTokSwitch}, {"case", kTokCase},
    {"default", kTokDefault}, {"this", kTokThis}, {"parent", kTokParent},
    {"class", kTokClass}, {"extends", kTokExtends}, {"constructor", kTokConstructor},
    {"instanceof", kTokInstanceof}, {"vargc", kTokVargc}, {"vargv", kTokVargv},
    {"true", kTokTrue}, {"false", kTokFalse}, {"static", kTokStatic},
};

bool isHex(int c) { return c >= 0 && c < 256 && isxdigit(c); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isAlpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

Lexer::Lexer(SQLEXREADFUNC read, SQUserPointer up) : reader(read), readerData(up) {
    next();
    column = 0;
}

const char* Lexer::tokenText(int tok) {
    for (const Keyword& k : kKeywords) {
        if (k.token == tok) return k.name;
    }
    return nullptr;
}

void Lexer::next() {
    SQInteger c = reader(readerData);
    if (c > 255) {
        fail("Invalid character");
        c = 0;
    }
    current = int(c);
    column++;
}

bool Lexer::fail(const char* msg) {
    if (errorText.empty()) errorText = msg;
    current = 0;
    return false;
}

void Lexer::blockComment() {
    for (;;) {
        switch (current) {
        case '*':
            next();
            if (current == '/') {
                next();
                return;
            }
            continue;
        case '\n':
            line++;
            next();
            continue;
        case 0: fail("missing \"*/\" in comment"); return;
        default: next();
        }
    }
}

int Lexer::lex() {
    lastTokenLine = line;
    bool sawNewline = false;
    int tok = kTokEnd;
    while (!failed()) {
        switch (current) {
        case '\t':
        case '\r':
        case ' ': next(); continue;
        case '\n':
            line++;
            sawNewline = true;
            next();
            column = 1;
            continue;
        case '/':
            next();
            if (current == '*') {
                next();
                blockComment();
                continue;
            }
            if (current == '/') {
                do {
                    next();
                } while (current != '\n' && current != 0);
                continue;
            }
            if (current == '=') {
                next();
                tok = kTokDivEq;
            } else if (current == '>') {
                next();
                tok = kTokAttrClose;
            } else {
                tok = '/';
            }
            break;
        case '=':
            next();
            if (current == '=') {
                next();
                tok = kTokEq;
            } else {
                tok = '=';
            }
            break;
        case '<':
            next();
            if (current == '=') {
                next();
                tok = kTokLe;
            } else if (current == '-') {
                next();
                tok = kTokNewSlot;
            } else if (current == '<') {
                next();
                tok = kTokShiftL;
            } else if (current == '/') {
                next();
                tok = kTokAttrOpen;
            } else {
                tok = '<';
            }
            break;
        case '>':
            next();
            if (current == '=') {
                next();
                tok = kTokGe;
            } else if (current == '>') {
                next();
                if (current == '>') {
                    next();
                    tok = kTokUShiftR;
                } else {
                    tok = kTokShiftR;
                }
            } else {
                tok = '>';
            }
            break;
        case '!':
            next();
            if (current == '=') {
                next();
                tok = kTokNe;
            } else {
                tok = '!';
            }
            break;
        case '@':
            next();
            if (current != '"') {
                fail("string expected");
                break;
            }
            tok = readString('"', true);
            break;
        case '"':
        case '\'':
            tok = readString(current, false);
            break;
        case '{': case '}': case '(': case ')': case '[': case ']': case ';': case ',':
        case '?': case '^': case '~':
            tok = current;
            next();
            break;
        case '.':
            next();
            if (current != '.') {
                tok = '.';
                break;
            }
            next();
            if (current != '.') {
                fail("invalid token '..'");
                break;
            }
            next();
            tok = kTokVarParams;
            break;
        case '&':
            next();
            if (current == '&') {
                next();
                tok = kTokAnd;
            } else {
                tok = '&';
            }
            break;
        case '|':
            next();
            if (current == '|') {
                next();
                tok = kTokOr;
            } else {
                tok = '|';
            }
            break;
        case ':':
            next();
            if (current == ':') {
                next();
                tok = kTokDoubleColon;
            } else {
                tok = ':';
            }
            break;
        case '*':
            next();
            if (current == '=') {
                next();
                tok = kTokMulEq;
            } else {
                tok = '*';
            }
            break;
        case '%':
            next();
            if (current == '=') {
                next();
                tok = kTokModEq;
            } else {
                tok = '%';
            }
            break;
        case '-':
            next();
            if (current == '=') {
                next();
                tok = kTokMinusEq;
            } else if (current == '-') {
                next();
                tok = kTokMinusMinus;
            } else {
                tok = '-';
            }
            break;
        case '+':
            next();
            if (current == '=') {
                next();
                tok = kTokPlusEq;
            } else if (current == '+') {
                next();
                tok = kTokPlusPlus;
            } else {
                tok = '+';
            }
            break;
        case 0: tok = kTokEnd; break;
        default:
            if (isDigit(current)) {
                tok = readNumber();
            } else if (isAlpha(current) || current == '_') {
                tok = readIdentifier();
            } else if ((current > 0 && current < 32) || current == 127) {
                fail("unexpected character(control)");
            } else {
                tok = current;
                next();
            }
            break;
        }
        break;
    }
    if (failed()) tok = kTokEnd;
    prevToken = sawNewline ? '\n' : token;
    newlineBefore = sawNewline;
    token = tok;
    return tok;
}

int Lexer::readString(int delimiter, bool verbatim) {
    text.clear();
    next();
    if (current == 0) {
        fail("error parsing the string");
        return kTokEnd;
    }
    for (;;) {
        while (current != delimiter) {
            switch (current) {
            case 0: fail("unfinished string"); return kTokEnd;
            case '\n':
                if (!verbatim) {
                    fail("newline in a constant");
                    return kTokEnd;
                }
                text.push_back(char(current));
                next();
                line++;
                break;
            case '\\':
                if (verbatim) {
                    text.push_back('\\');
                    next();
                    break;
                }
                next();
                switch (current) {
                case 'x': {
                    next();
                    if (!isHex(current)) {
                        fail("hexadecimal number expected");
                        return kTokEnd;
                    }
                    char digits[5];
                    int n = 0;
                    while (isHex(current) && n < 4) {
                        digits[n++] = char(current);
                        next();
                    }
                    digits[n] = 0;
                    text.push_back(char(strtoul(digits, nullptr, 16)));
                    break;
                }
                case 't': text.push_back('\t'); next(); break;
                case 'a': text.push_back('\a'); next(); break;
                case 'b': text.push_back('\b'); next(); break;
                case 'n': text.push_back('\n'); next(); break;
                case 'r': text.push_back('\r'); next(); break;
                case 'v': text.push_back('\v'); next(); break;
                case 'f': text.push_back('\f'); next(); break;
                case '0': text.push_back('\0'); next(); break;
                case '\\': text.push_back('\\'); next(); break;
                case '"': text.push_back('"'); next(); break;
                case '\'': text.push_back('\''); next(); break;
                default: fail("unrecognised escaper char"); return kTokEnd;
                }
                break;
            default:
                text.push_back(char(current));
                next();
                break;
            }
            if (failed()) return kTokEnd;
        }
        next();
        if (verbatim && current == '"') {
            text.push_back('"');
            next();
        } else {
            break;
        }
    }
    if (delimiter == '\'') {
        if (text.empty()) {
            fail("empty constant");
            return kTokEnd;
        }
        if (text.size() > 1) {
            fail("constant too long");
            return kTokEnd;
        }
        intValue = SQInteger(static_cast<signed char>(text[0]));
        return kTokInteger;
    }
    return kTokStringLiteral;
}

int Lexer::readNumber() {
    enum { Int, Float, Hex, Scientific } kind = Int;
    text.clear();
    int first = current;
    next();
    if (first == '0' && (current == 'x' || current == 'X')) {
        next();
        kind = Hex;
        while (isHex(current)) {
            text.push_back(char(current));
            next();
        }
        if (text.size() > 8) {
            fail("too many digits for an Hex number");
            return kTokEnd;
        }
    } else {
        text.push_back(char(first));
        while (current == '.' || isDigit(current) || current == 'e' || current == 'E') {
            if (current == '.') kind = Float;
            if (current == 'e' || current == 'E') {
                if (kind != Float) {
                    fail("invalid numeric format");
                    return kTokEnd;
                }
                kind = Scientific;
                text.push_back(char(current));
                next();
                if (current == '+' || current == '-') {
                    text.push_back(char(current));
                    next();
                }
                if (!isDigit(current)) {
                    fail("exponent expected");
                    return kTokEnd;
                }
            }
            text.push_back(char(current));
            next();
        }
    }
    if (kind == Float || kind == Scientific) {
        floatValue = SQFloat(strtod(text.c_str(), nullptr));
        return kTokFloat;
    }
    SQUnsignedInteger v = 0;
    for (char ch : text) {
        if (kind == Hex) {
            int d = isDigit(ch) ? ch - '0' : (toupper(ch) - 'A' + 10);
            v = v * 16 + SQUnsignedInteger(d);
        } else {
            v = v * 10 + SQUnsignedInteger(ch - '0');
        }
    }
    intValue = SQInteger(v);
    return kTokInteger;
}

int Lexer::readIdentifier() {
    text.clear();
    do {
        text.push_back(char(current));
        next();
    } while (isAlpha(current) || isDigit(current) || current == '_');
    for (const Keyword& k : kKeywords) {
        if (text == k.name) return k.token;
    }
    return kTokIdentifier;
}

}  // namespace squirrel
