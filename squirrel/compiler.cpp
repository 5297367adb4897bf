// Single-pass compiler. Expressions are compiled to registers with a stack
// discipline: locals occupy the low registers of a frame and temporaries are
// allocated above them and freed in reverse order. The first error stops
// compilation through the sticky `failed` flag.
#include "squirrel/compiler.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <unordered_map>

#include "squirrel/lexer.h"
#include "squirrel/opcodes.h"

namespace squirrel {

namespace {

constexpr int kMaxRegisters = 255;
constexpr int kMaxNesting = 200;

struct Exp {
    enum Kind : uint8_t { Temp, Local, Slot, Free, Vargv } kind = Temp;
    int reg = 0;   // value, local, object or vargv index register; free variable index
    int key = 0;   // constant index or register of a slot key
    bool keyConst = false;
};

struct LocalVar {
    Value name;
    int reg;
    int infoIndex;
};

struct LoopState {
    std::vector<int> breaks;
    std::vector<int> continues;
    int trapDepth;
    bool isSwitch;
};

struct FuncState {
    FuncState* parent = nullptr;
    FuncProto* proto = nullptr;
    std::vector<LocalVar> locals;
    std::vector<Value> outerNames;
    std::vector<LoopState> loops;
    std::unordered_map<void*, int> constIndex;
    int freeReg = 0;
    int trapDepth = 0;
    int lastLine = -1;
    int maxJumpTarget = -1;  // peepholes never merge across a jump target
    bool topLevel = false;
};

class Compiler {
public:
    Compiler(SQVM* v, SQLEXREADFUNC read, SQUserPointer up, const char* source)
        : vm(v), lex(read, up), sourceName(v->newString(source)) {}

    CompileResult run() {
        CompileResult result;
        FuncState fs;
        fs.topLevel = true;
        beginFunction(fs, vm->newString("main"));
        next();
        while (!failed && tok != kTokEnd) {
            statement();
            if (failed) break;
            if (lex.prevToken != '}') optionalSemicolon();
        }
        if (!failed) {
            emit(OP_RETURN, 0, 0, 0, 0);
            result.proto = fs.proto;
            addRef(fs.proto);
        }
        release(fs.proto);
        if (failed) {
            result.error = errorText;
            result.line = errorLine;
            result.column = errorColumn;
        }
        return result;
    }

private:
    SQVM* vm;
    Lexer lex;
    Value sourceName;
    FuncState* fs = nullptr;
    int tok = 0;
    int nesting = 0;
    bool failed = false;
    std::string errorText;
    int errorLine = 0;
    int errorColumn = 0;

    // ---- errors and tokens ----

    void error(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        if (failed) return;
        char buf[256];
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(buf, sizeof buf, fmt, ap);
        va_end(ap);
        failed = true;
        errorText = buf;
        errorLine = lex.line;
        errorColumn = lex.column;
    }

    void next() {
        if (failed) {
            tok = kTokEnd;
            return;
        }
        tok = lex.lex();
        if (lex.failed()) {
            failed = true;
            errorText = lex.error();
            errorLine = lex.line;
            errorColumn = lex.column;
            tok = kTokEnd;
        }
    }

    // Returns the identifier/string text for name tokens.
    Value expect(int t) {
        Value v;
        if (failed) return v;
        if (tok != t) {
            if (tok == kTokConstructor && t == kTokIdentifier) {
                // `constructor` stands for an identifier wherever one is expected.
            } else {
                if (t > 255) {
                    const char* name;
                    switch (t) {
                    case kTokIdentifier: name = "IDENTIFIER"; break;
                    case kTokStringLiteral: name = "STRING_LITERAL"; break;
                    case kTokInteger: name = "INTEGER"; break;
                    case kTokFloat: name = "FLOAT"; break;
                    default: name = Lexer::tokenText(t); break;
                    }
                    error("expected '%s'", name ? name : "?");
                } else {
                    error("expected '%c'", t);
                }
                return v;
            }
        }
        if (t == kTokIdentifier) {
            v = tok == kTokConstructor ? vm->newString("constructor")
                                       : vm->newString(lex.text.data(), int(lex.text.size()));
        } else if (t == kTokStringLiteral) {
            v = vm->newString(lex.text.data(), int(lex.text.size()));
        }
        next();
        return v;
    }

    bool isEndOfStatement() const {
        return lex.prevToken == '\n' || tok == kTokEnd || tok == '}' || tok == ';';
    }

    void optionalSemicolon() {
        if (tok == ';') {
            next();
            return;
        }
        if (!isEndOfStatement()) error("end of statement expected (; or lf)");
    }

    // ---- function state ----

    void beginFunction(FuncState& f, const Value& name) {
        f.parent = fs;
        f.proto = new FuncProto();
        addRef(f.proto);
        f.proto->name = name;
        f.proto->source = sourceName;
        fs = &f;
        declareLocal(vm->newString("this"));
        f.proto->params.push_back(vm->newString("this"));
    }

    int pc() const { return int(fs->proto->code.size()); }

    int emit(int op, int a, int b, int c, int arg) {
        fs->proto->code.push_back(Instr{uint8_t(op), uint8_t(a), uint8_t(b), uint8_t(c), arg});
        return pc() - 1;
    }

    void patchJump(int at) { patchJumpTo(at, pc()); }
    void patchJumpTo(int at, int target) {
        fs->proto->code[size_t(at)].arg = target - at - 1;
        if (target > fs->maxJumpTarget) fs->maxJumpTarget = target;
    }

    void addLineInfo(int line) {
        if (line == fs->lastLine) return;
        fs->lastLine = line;
        auto& lines = fs->proto->lines;
        if (!lines.empty() && lines.back().pc == pc()) {
            lines.back().line = line;
        } else {
            lines.push_back(LineInfo{line, pc()});
        }
        if (vm->shared->debugInfo) emit(OP_LINE, 0, 0, 0, line);
    }

    int constant(const Value& v) {
        auto it = fs->constIndex.find(v.raw());
        if (it != fs->constIndex.end()) return it->second;
        int idx = int(fs->proto->constants.size());
        fs->proto->constants.push_back(v);
        fs->constIndex.emplace(v.raw(), idx);
        return idx;
    }

    int allocTemp() {
        int r = fs->freeReg++;
        if (fs->freeReg > kMaxRegisters) {
            error("internal compiler error: too many locals");
            fs->freeReg = kMaxRegisters;
            return kMaxRegisters - 1;
        }
        if (fs->freeReg > fs->proto->stackSize) fs->proto->stackSize = fs->freeReg;
        return r;
    }

    int localRegs() const { return int(fs->locals.size()); }
    bool isTemp(int r) const { return r >= localRegs(); }

    void freeRegister(int r) {
        if (isTemp(r) && r == fs->freeReg - 1) fs->freeReg--;
    }

    void freeExp(const Exp& e) {
        switch (e.kind) {
        case Exp::Temp: freeRegister(e.reg); break;
        case Exp::Slot:
            if (!e.keyConst) freeRegister(e.key);
            freeRegister(e.reg);
            break;
        case Exp::Vargv: freeRegister(e.reg); break;
        default: break;
        }
    }

    void declareLocal(const Value& name) {
        int reg = fs->freeReg;
        if (reg != localRegs()) {
            // The value was left in a temporary that now becomes the local.
            reg = localRegs();
        }
        LocalVarInfo info{name, reg, pc(), -1};
        fs->proto->locals.push_back(info);
        fs->locals.push_back(LocalVar{name, reg, int(fs->proto->locals.size()) - 1});
        if (fs->freeReg < localRegs()) fs->freeReg = localRegs();
        if (fs->freeReg > kMaxRegisters) error("internal compiler error: too many locals");
        if (fs->freeReg > fs->proto->stackSize) fs->proto->stackSize = fs->freeReg;
    }

    int beginScope() { return localRegs(); }

    void endScope(int saved) {
        while (localRegs() > saved) {
            fs->proto->locals[size_t(fs->locals.back().infoIndex)].endPc = pc();
            fs->locals.pop_back();
        }
        fs->freeReg = saved;
    }

    int findLocal(const Value& name) const {
        for (int i = localRegs() - 1; i >= 0; i--) {
            if (fs->locals[size_t(i)].name.raw() == name.raw()) return fs->locals[size_t(i)].reg;
        }
        return -1;
    }

    int findOuter(const Value& name) const {
        for (size_t i = 0; i < fs->outerNames.size(); i++) {
            if (fs->outerNames[i].raw() == name.raw()) return int(i);
        }
        return -1;
    }

    // ---- discharging expressions ----

    int toReg(Exp& e) {
        switch (e.kind) {
        case Exp::Local:
        case Exp::Temp: return e.reg;
        case Exp::Slot: {
            freeExp(e);
            int t = allocTemp();
            if (e.keyConst) {
                emit(OP_GETK, t, e.reg, 0, e.key);
            } else {
                emit(OP_GET, t, e.reg, e.key, 0);
            }
            e = Exp{Exp::Temp, t};
            return t;
        }
        case Exp::Free: {
            int t = allocTemp();
            emit(OP_LOADFREE, t, 0, 0, e.reg);
            e = Exp{Exp::Temp, t};
            return t;
        }
        case Exp::Vargv: {
            freeExp(e);
            int t = allocTemp();
            emit(OP_VARGV, t, e.reg, 0, 0);
            e = Exp{Exp::Temp, t};
            return t;
        }
        }
        return 0;
    }

    int toTemp(Exp& e) {
        if (e.kind == Exp::Local) {
            int t = allocTemp();
            emit(OP_MOVE, t, e.reg, 0, 0);
            e = Exp{Exp::Temp, t};
            return t;
        }
        return toReg(e);
    }

    // Moves the value of e into register target (a temp at the top).
    void toTarget(Exp& e, int target) {
        int r = toReg(e);
        freeExp(e);
        if (r != target) emit(OP_MOVE, target, r, 0, 0);
        fs->freeReg = target + 1;
        if (fs->freeReg > fs->proto->stackSize) fs->proto->stackSize = fs->freeReg;
    }

    // Result of an expression whose value lands in a fresh temporary.
    Exp resultTemp() { return Exp{Exp::Temp, allocTemp()}; }

    // ---- statements ----

    void statement() {
        if (failed) return;
        if (++nesting > kMaxNesting) {
            error("internal compiler error: nesting too deep");
            return;
        }
        addLineInfo(lex.line);
        switch (tok) {
        case ';': next(); break;
        case kTokIf: ifStatement(); break;
        case kTokWhile: whileStatement(); break;
        case kTokDo: doWhileStatement(); break;
        case kTokFor: forStatement(); break;
        case kTokForeach: foreachStatement(); break;
        case kTokSwitch: switchStatement(); break;
        case kTokLocal: localDeclaration(); break;
        case kTokReturn:
        case kTokYield: returnStatement(); break;
        case kTokBreak: breakContinue(true); break;
        case kTokContinue: breakContinue(false); break;
        case kTokFunction: functionStatement(); break;
        case kTokClass: classStatement(); break;
        case '{': {
            int scope = beginScope();
            next();
            statements();
            expect('}');
            endScope(scope);
            break;
        }
        case kTokTry: tryCatch(); break;
        case kTokThrow: {
            next();
            Exp e = commaExpr();
            int r = toReg(e);
            emit(OP_THROW, r, 0, 0, 0);
            break;
        }
        default: {
            // A bare slot read still performs the get (it may raise).
            Exp e = commaExpr();
            toReg(e);
            fs->freeReg = localRegs();
            break;
        }
        }
        fs->freeReg = localRegs();
        nesting--;
    }

    // statements -> { statement [';'] } up to '}', 'case' or 'default'
    void statements() {
        while (!failed && tok != '}' && tok != kTokDefault && tok != kTokCase && tok != kTokEnd) {
            statement();
            if (lex.prevToken != '}' && lex.prevToken != ';') optionalSemicolon();
        }
    }

    // ifStatement -> 'if' '(' commaExpr ')' statement ['else' statement]
    void ifStatement() {
        next();
        expect('(');
        Exp c = commaExpr();
        int r = toReg(c);
        expect(')');
        fs->freeReg = localRegs();
        int jz = emitJumpIfFalse(r);
        int scope = beginScope();
        statement();
        endScope(scope);
        if (tok != '}' && tok != kTokElse) optionalSemicolon();
        if (tok == kTokElse) {
            int jmp = emit(OP_JMP, 0, 0, 0, 0);
            patchJump(jz);
            next();
            scope = beginScope();
            statement();
            endScope(scope);
            optionalSemicolon();
            patchJump(jmp);
        } else {
            patchJump(jz);
        }
    }

    // A compare-and-jump whose right operand a byte-sized integer literal
    // loaded just before it: one instruction with the literal inside.
    void fuseSmallConstant() {
        auto& code = fs->proto->code;
        const int at = pc() - 1;
        if (at < 1 || fs->maxJumpTarget >= at) return;
        const Instr load = code[size_t(at) - 1];
        const Instr cmp = code[size_t(at)];
        if (load.op != OP_LOADINT || load.a != cmp.c || cmp.b == load.a || !isTemp(load.a) ||
            load.arg < -128 || load.arg > 127) {
            return;
        }
        const auto& lines = fs->proto->lines;
        if (!lines.empty() && lines.back().pc >= at) return;
        static const uint8_t kRel[] = {kRelLess, kRelLessEqual, kRelGreater, kRelGreaterEqual,
                                       kRelEqual, kRelNotEqual};
        code.pop_back();
        code.back() = Instr{uint8_t(OP_JCMPI), kRel[cmp.op - OP_JLT], cmp.b,
                            uint8_t(int8_t(load.arg)), 0};
    }

    // Emits "jump when r is false". A comparison that just produced r into a
    // temporary is fused into one compare-and-jump instruction.
    int emitJumpIfFalse(int r) {
        auto& code = fs->proto->code;
        if (!code.empty() && isTemp(r) && fs->maxJumpTarget < pc()) {
            Instr& last = code.back();
            if (last.a == r && last.op >= OP_EQ && last.op <= OP_GE) {
                static const uint8_t kFused[] = {OP_JEQ, OP_JNE, OP_JLT, OP_JLE, OP_JGT, OP_JGE};
                last.op = kFused[last.op - OP_EQ];
                last.arg = 0;
                fuseSmallConstant();
                return pc() - 1;
            }
        }
        return emit(OP_JZ, r, 0, 0, 0);
    }

    void beginLoop(bool isSwitch) {
        fs->loops.push_back(LoopState{{}, {}, fs->trapDepth, isSwitch});
    }

    void endLoop(int continueTarget, int breakTarget) {
        LoopState loop = std::move(fs->loops.back());
        fs->loops.pop_back();
        for (int j : loop.breaks) patchJumpTo(j, breakTarget);
        if (loop.isSwitch) {
            // `continue` inside a switch belongs to the enclosing loop.
            if (!loop.continues.empty()) {
                if (fs->loops.empty()) {
                    error("'continue' has to be in a loop block");
                } else {
                    for (int j : loop.continues) fs->loops.back().continues.push_back(j);
                }
            }
        } else {
            for (int j : loop.continues) patchJumpTo(j, continueTarget);
        }
    }

    // whileStatement -> 'while' '(' commaExpr ')' statement
    void whileStatement() {
        next();
        expect('(');
        int top = pc();
        Exp c = commaExpr();
        int r = toReg(c);
        expect(')');
        fs->freeReg = localRegs();
        int jz = emitJumpIfFalse(r);
        beginLoop(false);
        int scope = beginScope();
        statement();
        endScope(scope);
        int back = emit(OP_JMP, 0, 0, 0, 0);
        patchJumpTo(back, top);
        patchJump(jz);
        endLoop(top, pc());
    }

    // doWhileStatement -> 'do' statement 'while' '(' commaExpr ')'
    void doWhileStatement() {
        next();
        int top = pc();
        beginLoop(false);
        int scope = beginScope();
        statement();
        endScope(scope);
        expect(kTokWhile);
        int cont = pc();
        expect('(');
        Exp c = commaExpr();
        int r = toReg(c);
        expect(')');
        fs->freeReg = localRegs();
        int jnz = emit(OP_JNZ, r, 0, 0, 0);
        patchJumpTo(jnz, top);
        endLoop(cont, pc());
    }

    // forStatement -> 'for' '(' [local decl | commaExpr] ';' [commaExpr] ';' [commaExpr] ')' statement
    void forStatement() {
        next();
        int scope = beginScope();
        expect('(');
        if (tok == kTokLocal) {
            localDeclaration();
        } else if (tok != ';') {
            commaExpr();
            fs->freeReg = localRegs();
        }
        expect(';');
        int top = pc();
        int jz = -1;
        if (tok != ';') {
            Exp c = commaExpr();
            int r = toReg(c);
            fs->freeReg = localRegs();
            jz = emitJumpIfFalse(r);
        }
        expect(';');
        int incStart = pc();
        if (tok != ')') {
            commaExpr();
            fs->freeReg = localRegs();
        }
        expect(')');
        std::vector<Instr> incr(fs->proto->code.begin() + incStart, fs->proto->code.end());
        fs->proto->code.resize(size_t(incStart));
        beginLoop(false);
        int bodyScope = beginScope();
        statement();
        endScope(bodyScope);
        int cont = pc();
        for (const Instr& in : incr) fs->proto->code.push_back(in);
        int back = emit(OP_JMP, 0, 0, 0, 0);
        patchJumpTo(back, top);
        if (jz >= 0) patchJump(jz);
        endLoop(cont, pc());
        endScope(scope);
    }

    // foreachStatement -> 'foreach' '(' [id ','] id 'in' expression ')' statement
    void foreachStatement() {
        next();
        expect('(');
        Value first = expect(kTokIdentifier);
        Value keyName, valName;
        if (tok == ',') {
            keyName = first;
            next();
            valName = expect(kTokIdentifier);
        } else {
            keyName = vm->newString("@INDEX@");
            valName = first;
        }
        expect(kTokIn);
        Exp c = expression();
        expect(')');
        if (failed) return;
        int scope = beginScope();
        // A local container is stepped through in its own register, so what
        // the body assigns to it is what the next step reads.
        int container;
        if (c.kind == Exp::Local) {
            container = c.reg;
            fs->freeReg = localRegs();
        } else {
            container = toTemp(c);
            declareLocal(vm->newString(""));
        }
        int keyReg = localRegs();
        emit(OP_LOADNULL, keyReg, 0, 0, 3);
        fs->freeReg = keyReg;
        declareLocal(keyName);
        declareLocal(valName);
        declareLocal(vm->newString("@ITERATOR@"));
        int top = emit(OP_FOREACH, container, keyReg, 0, 0);
        beginLoop(false);
        int bodyScope = beginScope();
        statement();
        endScope(bodyScope);
        int back = emit(OP_JMP, 0, 0, 0, 0);
        patchJumpTo(back, top);
        patchJump(top);
        endLoop(top, pc());
        endScope(scope);
    }

    // switchStatement -> 'switch' '(' commaExpr ')' '{' {'case' expression ':' statements}
    //                    ['default' ':' statements] '}'
    void switchStatement() {
        next();
        expect('(');
        Exp e = commaExpr();
        expect(')');
        expect('{');
        if (failed) return;
        int scope = beginScope();
        int subject = toTemp(e);
        declareLocal(vm->newString(""));
        beginLoop(true);
        int pendingTest = -1;  // JZ of the previous case test
        int pendingFall = -1;  // JMP from the end of the previous body
        while (!failed && tok == kTokCase) {
            next();
            if (pendingTest >= 0) patchJump(pendingTest);
            Exp ce = expression();
            int cr = toReg(ce);
            freeExp(ce);
            int t = allocTemp();
            emit(OP_EQ, t, subject, cr, 0);
            fs->freeReg = localRegs();
            pendingTest = emit(OP_JZ, t, 0, 0, 0);
            expect(':');
            if (pendingFall >= 0) patchJump(pendingFall);
            int caseScope = beginScope();
            statements();
            endScope(caseScope);
            pendingFall = emit(OP_JMP, 0, 0, 0, 0);
        }
        if (pendingTest >= 0) patchJump(pendingTest);
        if (tok == kTokDefault) {
            next();
            expect(':');
            if (pendingFall >= 0) patchJump(pendingFall);
            pendingFall = -1;
            int caseScope = beginScope();
            statements();
            endScope(caseScope);
        }
        expect('}');
        if (pendingFall >= 0) patchJump(pendingFall);
        endLoop(0, pc());
        endScope(scope);
    }

    // localDeclaration -> 'local' id ['=' expression] {',' id ['=' expression]}
    void localDeclaration() {
        next();
        do {
            Value name = expect(kTokIdentifier);
            if (failed) return;
            int reg = localRegs();
            fs->freeReg = reg;
            if (tok == '=') {
                next();
                Exp e = expression();
                if (failed) return;
                toTarget(e, reg);
            } else {
                int r = allocTemp();
                emit(OP_LOADNULL, r, 0, 0, 1);
            }
            declareLocal(name);
            if (tok != ',') break;
            next();
        } while (!failed);
    }

    void popTraps(int count) {
        if (count > 0) emit(OP_POPTRAP, 0, 0, 0, count);
    }

    // returnStatement -> ('return' | 'yield') [commaExpr]
    void returnStatement() {
        bool isYield = tok == kTokYield;
        next();
        if (isYield && !fs->topLevel) fs->proto->generator = true;
        if (!isEndOfStatement()) {
            int before = pc();
            Exp e = commaExpr();
            int r = toReg(e);
            if (isYield) {
                emit(OP_YIELD, r, 0, 0, 1);
                return;
            }
            popTraps(fs->trapDepth);
            if (!fs->topLevel && fs->trapDepth == 0 && pc() > before) {
                Instr& last = fs->proto->code.back();
                if (last.op == OP_CALL && last.a == r) last.op = OP_TAILCALL;
            }
            emit(OP_RETURN, r, 0, 0, 1);
        } else {
            if (isYield) {
                emit(OP_YIELD, 0, 0, 0, 0);
                return;
            }
            popTraps(fs->trapDepth);
            emit(OP_RETURN, 0, 0, 0, 0);
        }
    }

    // breakStatement -> 'break' ; continueStatement -> 'continue'
    // A misplaced keyword is reported before anything after it is read.
    void breakContinue(bool isBreak) {
        LoopState* loop = nullptr;
        if (isBreak) {
            if (!fs->loops.empty()) loop = &fs->loops.back();
            if (!loop) {
                error("'break' has to be in a loop block");
                return;
            }
        } else {
            for (auto it = fs->loops.rbegin(); it != fs->loops.rend(); ++it) {
                if (!it->isSwitch) {
                    loop = &*it;
                    break;
                }
            }
            if (!loop) {
                error("'continue' has to be in a loop block");
                return;
            }
            loop = &fs->loops.back();
        }
        next();
        popTraps(fs->trapDepth - loop->trapDepth);
        int j = emit(OP_JMP, 0, 0, 0, 0);
        (isBreak ? loop->breaks : loop->continues).push_back(j);
    }

    // functionStatement -> 'function' id {'::' id} '(' params ')' body
    void functionStatement() {
        next();
        Value name = expect(kTokIdentifier);
        if (failed) return;
        Exp e{Exp::Slot, 0, constant(name), true};
        while (tok == kTokDoubleColon) {
            next();
            int obj = toReg(e);
            name = expect(kTokIdentifier);
            if (failed) return;
            e = Exp{Exp::Slot, obj, constant(name), true};
        }
        expect('(');
        int objReg = e.reg;
        int keyReg = allocTemp();
        emit(OP_LOADK, keyReg, 0, 0, e.key);
        int f = allocTemp();
        createFunction(name, f);
        emit(OP_NEWSLOT, objReg, keyReg, f, 0);
    }

    // classStatement -> 'class' prefixedExpr classBody
    void classStatement() {
        next();
        Exp e = prefixedExpr();
        if (failed) return;
        if (e.kind == Exp::Local) {
            error("cannot create a class in a local with the syntax(class <local>)");
            return;
        }
        if (e.kind != Exp::Slot) {
            error("invalid class name");
            return;
        }
        int keyReg = e.key;
        if (e.keyConst) {
            keyReg = allocTemp();
            emit(OP_LOADK, keyReg, 0, 0, e.key);
        }
        int c = allocTemp();
        classExpr(c);
        emit(OP_NEWSLOT, e.reg, keyReg, c, 0);
    }

    // tryCatch -> 'try' statement 'catch' '(' id ')' statement
    void tryCatch() {
        next();
        int errReg = localRegs();
        int push = emit(OP_PUSHTRAP, errReg, 0, 0, 0);
        fs->trapDepth++;
        int scope = beginScope();
        statement();
        endScope(scope);
        fs->trapDepth--;
        emit(OP_POPTRAP, 0, 0, 0, 1);
        int jmp = emit(OP_JMP, 0, 0, 0, 0);
        patchJump(push);
        expect(kTokCatch);
        expect('(');
        Value id = expect(kTokIdentifier);
        expect(')');
        if (failed) return;
        scope = beginScope();
        fs->freeReg = errReg;
        allocTemp();
        declareLocal(id);
        statement();
        endScope(scope);
        patchJump(jmp);
    }

    // ---- expressions ----

    // commaExpr -> expression {',' expression}
    Exp commaExpr() {
        Exp e = expression();
        while (!failed && tok == ',') {
            next();
            freeExp(e);
            fs->freeReg = std::max(fs->freeReg, localRegs());
            e = expression();
        }
        return e;
    }

    bool enter() {
        if (++nesting > kMaxNesting) {
            error("internal compiler error: nesting too deep");
            return false;
        }
        return true;
    }

    // expression -> logicalOr [assignop expression | '?' expression ':' expression]
    Exp expression() {
        if (!enter()) return Exp{};
        Exp e = logicalOr();
        switch (tok) {
        case '=':
        case kTokNewSlot:
        case kTokPlusEq:
        case kTokMinusEq:
        case kTokMulEq:
        case kTokDivEq:
        case kTokModEq: e = assignment(e); break;
        case '?': {
            next();
            int t = toTemp(e);
            int jz = emit(OP_JZ, t, 0, 0, 0);
            fs->freeReg = t;
            Exp a = expression();
            toTarget(a, t);
            int jmp = emit(OP_JMP, 0, 0, 0, 0);
            patchJump(jz);
            fs->freeReg = t;
            expect(':');
            Exp b = expression();
            toTarget(b, t);
            patchJump(jmp);
            e = Exp{Exp::Temp, t};
            break;
        }
        default: break;
        }
        nesting--;
        return e;
    }

    static int arithChar(int t) {
        switch (t) {
        case kTokPlusEq: return '+';
        case kTokMinusEq: return '-';
        case kTokMulEq: return '*';
        case kTokDivEq: return '/';
        default: return '%';
        }
    }

    static int arithOp(int t) {
        switch (t) {
        case kTokPlusEq: return OP_ADD;
        case kTokMinusEq: return OP_SUB;
        case kTokMulEq: return OP_MUL;
        case kTokDivEq: return OP_DIV;
        default: return OP_MOD;
        }
    }

    Exp assignment(Exp& lhs) {
        int op = tok;
        if (lhs.kind == Exp::Temp || lhs.kind == Exp::Vargv) {
            error("can't assign expression");
            return lhs;
        }
        // These two are reported once the right-hand side has been read.
        if (lhs.kind == Exp::Free && (op == '=' || op == kTokNewSlot)) {
            next();
            expression();
            error("free variables cannot be modified");
            return lhs;
        }
        if (lhs.kind == Exp::Local && op == kTokNewSlot) {
            next();
            expression();
            error("can't 'create' a local slot");
            return lhs;
        }
        next();
        if (lhs.kind == Exp::Local) {
            Exp rhs = expression();
            if (op == '=') {
                int r = toReg(rhs);
                freeExp(rhs);
                if (r != lhs.reg) emit(OP_MOVE, lhs.reg, r, 0, 0);
            } else {
                int r = toReg(rhs);
                freeExp(rhs);
                emit(arithOp(op), lhs.reg, lhs.reg, r, 0);
            }
            return lhs;
        }
        if (lhs.kind == Exp::Free) {
            int t = toTemp(lhs);
            Exp rhs = expression();
            int r = toReg(rhs);
            freeExp(rhs);
            emit(arithOp(op), t, t, r, 0);
            return Exp{Exp::Temp, t};
        }
        // Slot: obj and key stay in their registers while the value is computed.
        int base = fs->freeReg;
        int resultReg = lhs.reg;
        if (!isTemp(resultReg)) resultReg = (!lhs.keyConst && isTemp(lhs.key)) ? lhs.key : base;
        if (op == '=' || op == kTokNewSlot) {
            Exp rhs = expression();
            int v = toReg(rhs);
            if (op == '=') {
                if (lhs.keyConst) {
                    emit(OP_SETK, lhs.reg, 0, v, packKeyedSet(lhs.key, false));
                } else {
                    emit(OP_SET, lhs.reg, lhs.key, v, 0);
                }
            } else {
                int keyReg = lhs.key;
                if (lhs.keyConst) {
                    keyReg = allocTemp();
                    emit(OP_LOADK, keyReg, 0, 0, lhs.key);
                }
                emit(OP_NEWSLOT, lhs.reg, keyReg, v, 0);
            }
            fs->freeReg = std::max(base, localRegs());
            freeExp(lhs);
            int t = allocTemp();
            if (t != v) emit(OP_MOVE, t, v, 0, 0);
            (void)resultReg;
            return Exp{Exp::Temp, t};
        }
        int cur = allocTemp();
        const int readPc = pc();
        if (lhs.keyConst) {
            emit(OP_GETK, cur, lhs.reg, 0, lhs.key);
        } else {
            emit(OP_GET, cur, lhs.reg, lhs.key, 0);
        }
        Exp rhs = expression();
        if (!lhs.keyConst && rhs.kind == Exp::Local && pc() == readPc + 1 &&
            fs->maxJumpTarget <= readPc &&
            (fs->proto->lines.empty() || fs->proto->lines.back().pc <= readPc)) {
            // A local operand runs no code, so the read can wait for it.
            fs->proto->code.pop_back();
            emit(OP_ARITHSLOT, cur, lhs.reg, lhs.key, packSlotArith(arithChar(op), rhs.reg));
            fs->freeReg = cur + 1;
            return finishSlotResult(lhs, cur);
        }
        int v = toReg(rhs);
        freeExp(rhs);
        emit(arithOp(op), cur, cur, v, 0);
        storeUnchecked(lhs, cur);
        fs->freeReg = cur + 1;
        return finishSlotResult(lhs, cur);
    }

    void storeUnchecked(const Exp& slot, int val) {
        if (slot.keyConst) {
            emit(OP_SETK, slot.reg, 0, val, packKeyedSet(slot.key, true));
        } else {
            emit(OP_SET, slot.reg, slot.key, val, kUncheckedSet);
        }
    }

    // Frees the slot's registers and moves the value in `val` to a fresh temp.
    Exp finishSlotResult(const Exp& slot, int val) {
        fs->freeReg = val;
        freeExp(slot);
        int t = allocTemp();
        if (t != val) emit(OP_MOVE, t, val, 0, 0);
        return Exp{Exp::Temp, t};
    }

    template <typename F>
    Exp binary(Exp& left, int op, F&& right) {
        next();
        int l = toReg(left);
        Exp r = (this->*right)();
        if ((op == OP_ADD || op == OP_SUB) && r.kind == Exp::Temp && !fs->proto->code.empty() &&
            fs->maxJumpTarget < pc() - 1) {
            Instr last = fs->proto->code.back();
            if (last.op == OP_LOADINT && last.a == r.reg) {
                // x + k and x - k with an integer literal k: one instruction.
                fs->proto->code.pop_back();
                freeExp(r);
                freeExp(left);
                int t = allocTemp();
                emit(OP_ADDI, t, l, op == OP_SUB ? kAddiSubtract : 0, last.arg);
                return Exp{Exp::Temp, t};
            }
        }
        if (op >= OP_BAND && op <= OP_USHR && r.kind == Exp::Temp && !fs->proto->code.empty() &&
            fs->maxJumpTarget < pc() - 1) {
            Instr last = fs->proto->code.back();
            if (last.op == OP_LOADINT && last.a == r.reg) {
                // x & k, x << k, ... with an integer literal k: one instruction.
                fs->proto->code.pop_back();
                freeExp(r);
                freeExp(left);
                int t = allocTemp();
                emit(OP_BITI, t, l, op - OP_BAND, last.arg);
                return Exp{Exp::Temp, t};
            }
        }
        int rr = toReg(r);
        freeExp(r);
        freeExp(left);
        int t = allocTemp();
        emit(op, t, l, rr, 0);
        return Exp{Exp::Temp, t};
    }

    // logicalOr -> logicalAnd {'||' logicalOr}
    Exp logicalOr() {
        Exp e = logicalAnd();
        while (!failed && tok == kTokOr) {
            next();
            int t = toTemp(e);
            int j = emit(OP_JNZ, t, 0, 0, 0);
            fs->freeReg = t;
            Exp r = logicalOr();
            toTarget(r, t);
            patchJump(j);
            e = Exp{Exp::Temp, t};
        }
        return e;
    }

    // logicalAnd -> bitOr {('&&' logicalAnd) | ('in' bitOr) | ('instanceof' bitOr)}
    Exp logicalAnd() {
        Exp e = bitOr();
        for (;;) {
            if (failed) return e;
            switch (tok) {
            case kTokAnd: {
                next();
                int t = toTemp(e);
                int j = emit(OP_JZ, t, 0, 0, 0);
                fs->freeReg = t;
                Exp r = logicalAnd();
                toTarget(r, t);
                patchJump(j);
                e = Exp{Exp::Temp, t};
                break;
            }
            case kTokIn: e = binary(e, OP_IN, &Compiler::bitOr); break;
            case kTokInstanceof: e = binary(e, OP_INSTANCEOF, &Compiler::bitOr); break;
            default: return e;
            }
        }
    }

    Exp bitOr() {
        Exp e = bitXor();
        while (!failed && tok == '|') e = binary(e, OP_BOR, &Compiler::bitXor);
        return e;
    }

    Exp bitXor() {
        Exp e = bitAnd();
        while (!failed && tok == '^') e = binary(e, OP_BXOR, &Compiler::bitAnd);
        return e;
    }

    Exp bitAnd() {
        Exp e = comparison();
        while (!failed && tok == '&') e = binary(e, OP_BAND, &Compiler::comparison);
        return e;
    }

    // comparison -> shift {('==' | '!=' | '<' | '<=' | '>' | '>=') shift}
    Exp comparison() {
        Exp e = shift();
        for (;;) {
            if (failed) return e;
            switch (tok) {
            case kTokEq: e = binary(e, OP_EQ, &Compiler::shift); break;
            case kTokNe: e = binary(e, OP_NE, &Compiler::shift); break;
            case '<': e = binary(e, OP_LT, &Compiler::shift); break;
            case kTokLe: e = binary(e, OP_LE, &Compiler::shift); break;
            case '>': e = binary(e, OP_GT, &Compiler::shift); break;
            case kTokGe: e = binary(e, OP_GE, &Compiler::shift); break;
            default: return e;
            }
        }
    }

    Exp shift() {
        Exp e = additive();
        for (;;) {
            if (failed) return e;
            switch (tok) {
            case kTokShiftL: e = binary(e, OP_SHL, &Compiler::additive); break;
            case kTokShiftR: e = binary(e, OP_SHR, &Compiler::additive); break;
            case kTokUShiftR: e = binary(e, OP_USHR, &Compiler::additive); break;
            default: return e;
            }
        }
    }

    Exp additive() {
        Exp e = multiplicative();
        for (;;) {
            if (failed) return e;
            switch (tok) {
            case '+': e = binary(e, OP_ADD, &Compiler::multiplicative); break;
            case '-': e = binary(e, OP_SUB, &Compiler::multiplicative); break;
            default: return e;
            }
        }
    }

    Exp multiplicative() {
        Exp e = unary();
        for (;;) {
            if (failed) return e;
            switch (tok) {
            case '*': e = binary(e, OP_MUL, &Compiler::unary); break;
            case '/': e = binary(e, OP_DIV, &Compiler::unary); break;
            case '%': e = binary(e, OP_MOD, &Compiler::unary); break;
            default: return e;
            }
        }
    }

    Exp unaryOp(int op) {
        next();
        Exp e = prefixedExpr();
        int r = toReg(e);
        freeExp(e);
        int t = allocTemp();
        emit(op, t, r, 0, 0);
        return Exp{Exp::Temp, t};
    }

    // unary -> ('-' | '!' | '~' | 'typeof' | 'resume' | 'clone') prefixedExpr
    //        | ('++' | '--') prefixedExpr | 'delete' prefixedExpr | prefixedExpr
    Exp unary() {
        if (!enter()) return Exp{};
        Exp e;
        switch (tok) {
        case '-': e = unaryOp(OP_NEG); break;
        case '!': e = unaryOp(OP_NOT); break;
        case '~': e = unaryOp(OP_BNOT); break;
        case kTokTypeof: e = unaryOp(OP_TYPEOF); break;
        case kTokResume: e = unaryOp(OP_RESUME); break;
        case kTokClone: e = unaryOp(OP_CLONE); break;
        case kTokPlusPlus:
        case kTokMinusMinus: {
            int delta = tok == kTokPlusPlus ? 1 : -1;
            next();
            Exp target = prefixedExpr();
            e = incDec(target, delta, true);
            break;
        }
        case kTokDelete: {
            next();
            Exp target = prefixedExpr();
            if (failed) break;
            if (target.kind == Exp::Local) {
                error("cannot delete a local");
                break;
            }
            if (target.kind != Exp::Slot) {
                error("can't delete an expression");
                break;
            }
            int keyReg = target.key;
            if (target.keyConst) {
                keyReg = allocTemp();
                emit(OP_LOADK, keyReg, 0, 0, target.key);
                freeRegister(keyReg);
            }
            freeExp(target);
            int t = allocTemp();
            emit(OP_DELETE, t, target.reg, keyReg, 0);
            e = Exp{Exp::Temp, t};
            break;
        }
        default: e = prefixedExpr(); break;
        }
        nesting--;
        return e;
    }

    Exp incDec(Exp& target, int delta, bool prefix) {
        if (failed) return target;
        switch (target.kind) {
        case Exp::Local:
            if (prefix) {
                emit(OP_ADDI, target.reg, target.reg, 0, delta);
                return target;
            } else {
                int t = allocTemp();
                emit(OP_MOVE, t, target.reg, 0, 0);
                emit(OP_ADDI, target.reg, target.reg, 0, delta);
                return Exp{Exp::Temp, t};
            }
        case Exp::Free: {
            int t = toTemp(target);
            if (prefix) emit(OP_ADDI, t, t, 0, delta);
            return Exp{Exp::Temp, t};
        }
        case Exp::Slot: {
            int cur = allocTemp();
            if (target.keyConst) {
                emit(OP_GETK, cur, target.reg, 0, target.key);
            } else {
                emit(OP_GET, cur, target.reg, target.key, 0);
            }
            if (prefix) {
                emit(OP_ADDI, cur, cur, 0, delta);
                storeUnchecked(target, cur);
            } else {
                int nv = allocTemp();
                emit(OP_ADDI, nv, cur, 0, delta);
                storeUnchecked(target, nv);
            }
            return finishSlotResult(target, cur);
        }
        default: error("can't assign expression"); return target;
        }
    }

    // prefixedExpr -> factor {'.' id | '[' expression ']' | '(' args ')' | '++' | '--'}
    Exp prefixedExpr() {
        Exp e = factor();
        for (;;) {
            if (failed) return e;
            switch (tok) {
            case '.': {
                next();
                int obj = toReg(e);
                if (tok == kTokParent) {
                    next();
                    if (tok == '=' || tok == kTokNewSlot || tok == '(' || tok == kTokPlusPlus ||
                        tok == kTokMinusMinus || tok == kTokPlusEq || tok == kTokMinusEq ||
                        tok == kTokMulEq || tok == kTokDivEq || tok == kTokModEq) {
                        error("parent cannot be set");
                        return e;
                    }
                    freeExp(e);
                    int t = allocTemp();
                    emit(OP_GETPARENT, t, obj, 0, 0);
                    e = Exp{Exp::Temp, t};
                    break;
                }
                Value name = expect(kTokIdentifier);
                if (failed) return e;
                e = Exp{Exp::Slot, obj, constant(name), true};
                break;
            }
            case '[': {
                if (lex.prevToken == '\n') {
                    error("cannot brake deref/or comma needed after [exp]=exp slot declaration");
                    return e;
                }
                next();
                int obj = toReg(e);
                Exp k = expression();
                int kr = toReg(k);
                expect(']');
                e = Exp{Exp::Slot, obj, kr, false};
                break;
            }
            case kTokPlusPlus:
            case kTokMinusMinus: {
                if (lex.newlineBefore) return e;
                int delta = tok == kTokPlusPlus ? 1 : -1;
                next();
                return incDec(e, delta, false);
            }
            case '(': e = call(e); break;
            default: return e;
            }
        }
    }

    Exp call(Exp& callee) {
        int a;
        if (callee.kind == Exp::Slot) {
            freeExp(callee);
            a = allocTemp();
            allocTemp();
            if (callee.keyConst) {
                emit(OP_PREPCALLK, a, callee.reg, 0, callee.key);
            } else {
                emit(OP_PREPCALL, a, callee.reg, callee.key, 0);
            }
        } else {
            a = toTemp(callee);
            int t = allocTemp();
            emit(OP_MOVE, t, 0, 0, 0);
        }
        next();
        int nargs = 1;
        while (!failed && tok != ')') {
            Exp arg = expression();
            int target = a + 1 + nargs;
            toTarget(arg, target);
            nargs++;
            if (tok == ',') {
                next();
                if (tok == ')') {
                    error("expression expected, found ')'");
                    break;
                }
            }
        }
        expect(')');
        emit(OP_CALL, a, nargs, 0, 0);
        fs->freeReg = a + 1;
        return Exp{Exp::Temp, a};
    }

    // factor -> literal | id | 'this' | '::' id | 'parent' | '(' commaExpr ')' | array
    //         | table | function | class | 'vargc' | 'vargv' '[' expression ']'
    //         | 'delegate' commaExpr ':' commaExpr
    Exp factor() {
        if (failed) return Exp{};
        switch (tok) {
        case kTokStringLiteral: {
            Value s = vm->newString(lex.text.data(), int(lex.text.size()));
            Exp e = resultTemp();
            emit(OP_LOADK, e.reg, 0, 0, constant(s));
            next();
            return e;
        }
        case kTokInteger: {
            Exp e = resultTemp();
            emit(OP_LOADINT, e.reg, 0, 0, lex.intValue);
            next();
            return e;
        }
        case kTokFloat: {
            Exp e = resultTemp();
            int32_t bits;
            memcpy(&bits, &lex.floatValue, 4);
            emit(OP_LOADFLOAT, e.reg, 0, 0, bits);
            next();
            return e;
        }
        case kTokNull: {
            Exp e = resultTemp();
            emit(OP_LOADNULL, e.reg, 0, 0, 1);
            next();
            return e;
        }
        case kTokTrue:
        case kTokFalse: {
            Exp e = resultTemp();
            emit(OP_LOADBOOL, e.reg, 0, 0, tok == kTokTrue);
            next();
            return e;
        }
        case kTokIdentifier:
        case kTokConstructor: {
            Value name = expect(kTokIdentifier);
            int r = findLocal(name);
            if (r >= 0) return Exp{Exp::Local, r};
            int o = findOuter(name);
            if (o >= 0) return Exp{Exp::Free, o};
            return Exp{Exp::Slot, 0, constant(name), true};
        }
        case kTokThis: next(); return Exp{Exp::Local, 0};
        case kTokDoubleColon: {
            next();
            int t = allocTemp();
            emit(OP_LOADROOT, t, 0, 0, 0);
            Value name = expect(kTokIdentifier);
            return Exp{Exp::Slot, t, constant(name), true};
        }
        case kTokParent: {
            next();
            Exp e = resultTemp();
            emit(OP_GETPARENT, e.reg, 0, 0, 0);
            return e;
        }
        case '(': {
            next();
            Exp e = commaExpr();
            expect(')');
            int r = toReg(e);
            if (e.kind == Exp::Local) return e;
            return Exp{Exp::Temp, r};
        }
        case '[': {
            next();
            Exp e = resultTemp();
            int newArr = emit(OP_NEWARRAY, e.reg, 0, 0, 0);
            int n = 0;
            while (!failed && tok != ']') {
                Exp v = expression();
                int r = toReg(v);
                freeExp(v);
                emit(OP_APPEND, e.reg, r, 0, 0);
                n++;
                if (tok == ',') next();
            }
            fs->proto->code[size_t(newArr)].arg = std::min(n, kMaxSizeHint);
            expect(']');
            return e;
        }
        case '{': {
            next();
            Exp e = resultTemp();
            int newTab = emit(OP_NEWTABLE, e.reg, 0, 0, 0);
            int n = tableOrClassBody(e.reg, ',', '}', false);
            fs->proto->code[size_t(newTab)].arg = std::min(n, kMaxSizeHint);
            return e;
        }
        case kTokFunction: {
            next();
            expect('(');
            Exp e = resultTemp();
            createFunction(Value(), e.reg);
            return e;
        }
        case kTokClass: {
            next();
            Exp e = resultTemp();
            classExpr(e.reg);
            return e;
        }
        case kTokVargc: {
            next();
            Exp e = resultTemp();
            emit(OP_VARGC, e.reg, 0, 0, 0);
            return e;
        }
        case kTokVargv: {
            next();
            expect('[');
            Exp i = expression();
            int r = toTemp(i);
            expect(']');
            return Exp{Exp::Vargv, r};
        }
        case kTokDelegate: {
            next();
            Exp d = commaExpr();
            int dr = toTemp(d);
            expect(':');
            Exp t = commaExpr();
            int tr = toReg(t);
            freeExp(t);
            fs->freeReg = dr;
            int res = allocTemp();
            emit(OP_DELEGATE, res, dr, tr, 0);
            return Exp{Exp::Temp, res};
        }
        case '-':
        case '!':
        case '~':
        case kTokTypeof:
        case kTokResume:
        case kTokClone:
        case kTokPlusPlus:
        case kTokMinusMinus:
        case kTokDelete: return unary();
        default: error("expression expected"); return Exp{};
        }
    }

    // tableOrClassBody -> {[attrs] ['static'] (id '=' expression | '[' commaExpr ']' '=' expression
    //                      | 'function' id '(' ... | 'constructor' '(' ...) [separator]} terminator
    int tableOrClassBody(int target, int separator, int terminator, bool isClass) {
        int count = 0;
        while (!failed && tok != terminator) {
            int attrs = kNoReg;
            bool isStatic = false;
            if (isClass) {
                if (tok == kTokAttrOpen) {
                    next();
                    attrs = allocTemp();
                    emit(OP_NEWTABLE, attrs, 0, 0, 0);
                    tableOrClassBody(attrs, ',', kTokAttrClose, false);
                }
                if (tok == kTokStatic) {
                    isStatic = true;
                    next();
                }
            }
            int keyReg = allocTemp();
            int valReg;
            if (tok == kTokFunction || tok == kTokConstructor) {
                bool ctor = tok == kTokConstructor;
                next();
                Value name = ctor ? vm->newString("constructor") : expect(kTokIdentifier);
                if (failed) return count;
                emit(OP_LOADK, keyReg, 0, 0, constant(name));
                expect('(');
                valReg = allocTemp();
                createFunction(name, valReg);
            } else if (tok == '[') {
                next();
                Exp k = commaExpr();
                toTarget(k, keyReg);
                expect(']');
                expect('=');
                valReg = allocTemp();
                Exp v = expression();
                toTarget(v, valReg);
            } else {
                Value name = expect(kTokIdentifier);
                if (failed) return count;
                emit(OP_LOADK, keyReg, 0, 0, constant(name));
                expect('=');
                valReg = allocTemp();
                Exp v = expression();
                toTarget(v, valReg);
            }
            if (tok == separator) next();
            emit(OP_NEWSLOT, target, keyReg, valReg, packNewSlot(isStatic, isClass, attrs));
            fs->freeReg = attrs != kNoReg ? attrs : keyReg;
            count++;
        }
        next();  // terminator
        return count;
    }

    // classExpr -> ['extends' expression] [attrs] '{' classBody '}'
    void classExpr(int target) {
        int base = kNoReg;
        int attrs = kNoReg;
        if (tok == kTokExtends) {
            next();
            Exp b = expression();
            base = toTemp(b);
        }
        if (tok == kTokAttrOpen) {
            next();
            attrs = allocTemp();
            emit(OP_NEWTABLE, attrs, 0, 0, 0);
            tableOrClassBody(attrs, ',', kTokAttrClose, false);
        }
        expect('{');
        if (failed) return;
        emit(OP_CLASS, target, base, attrs, 0);
        fs->freeReg = target + 1;
        tableOrClassBody(target, ';', '}', true);
    }

    // function -> '(' params ')' [':' '(' freevars ')'] statement
    // The '(' has been consumed. The closure lands in register target.
    void createFunction(const Value& name, int target) {
        if (failed) return;
        FuncState child;
        FuncState* parentState = fs;
        beginFunction(child, name);
        FuncProto* p = child.proto;
        while (!failed && tok != ')') {
            if (tok == kTokVarParams) {
                p->varargs = true;
                next();
                if (tok != ')') error("expected ')'");
                break;
            }
            Value param = expect(kTokIdentifier);
            if (failed) break;
            declareLocal(param);
            p->params.push_back(param);
            if (tok == ',') {
                next();
            } else if (tok != ')') {
                error("expected ')' or ','");
            }
        }
        expect(')');
        p->numParams = int(p->params.size());
        if (tok == ':') {
            next();
            expect('(');
            while (!failed && tok != ')') {
                Value outer = expect(kTokIdentifier);
                if (failed) break;
                OuterInfo oi;
                oi.name = outer;
                FuncState* saved = fs;
                fs = parentState;
                int r = findLocal(outer);
                int o = r < 0 ? findOuter(outer) : -1;
                if (r >= 0) {
                    oi.kind = OuterInfo::Local;
                    oi.index = r;
                } else if (o >= 0) {
                    oi.kind = OuterInfo::Outer;
                    oi.index = o;
                } else {
                    oi.kind = OuterInfo::Slot;
                    oi.index = 0;
                }
                fs = saved;
                p->outers.push_back(oi);
                child.outerNames.push_back(outer);
                if (tok == ',') {
                    next();
                } else if (tok != ')') {
                    error("expected ')' or ','");
                }
            }
            expect(')');
        }
        if (!failed) statement();
        if (!failed) {
            addLineInfo(lex.prevToken == '\n' ? lex.lastTokenLine : lex.line);
            emit(OP_RETURN, 0, 0, 0, 0);
        }
        fs = parentState;
        if (failed) {
            release(p);
            return;
        }
        fs->proto->functions.push_back(p);  // takes the reference
        emit(OP_CLOSURE, target, 0, 0, int(fs->proto->functions.size()) - 1);
    }
};

}  // namespace

CompileResult compile(SQVM* vm, SQLEXREADFUNC read, SQUserPointer up, const char* sourceName) {
    Compiler c(vm, read, up, sourceName);
    return c.run();
}

}  // namespace squirrel
