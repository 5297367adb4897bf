#!/usr/bin/env python3
"""Reads and writes closure files in the compiled form of Squirrel 2.1.1
(32-bit build, 1-byte characters).

    sq211asm.py dump FILE     prints every function record and instruction

As a module it assembles such files from instruction lists, so tests can
carry compiled scripts whose every byte is accounted for (see
tools/make_compiled_game.py).
"""
import struct
import sys

OPS = ["LINE", "LOAD", "LOADINT", "LOADFLOAT", "DLOAD", "TAILCALL", "CALL", "PREPCALL",
       "PREPCALLK", "GETK", "MOVE", "NEWSLOT", "DELETE", "SET", "GET", "EQ", "NE", "ARITH",
       "BITW", "RETURN", "LOADNULLS", "LOADROOTTABLE", "LOADBOOL", "DMOVE", "JMP", "JNZ",
       "JZ", "LOADFREEVAR", "VARGC", "GETVARGV", "NEWTABLE", "NEWARRAY", "APPENDARRAY",
       "GETPARENT", "COMPARITH", "COMPARITHL", "INC", "INCL", "PINC", "PINCL", "CMP",
       "EXISTS", "INSTANCEOF", "AND", "OR", "NEG", "NOT", "BWNOT", "CLOSURE", "YIELD",
       "RESUME", "FOREACH", "DELEGATE", "CLONE", "TYPEOF", "PUSHTRAP", "POPTRAP", "THROW",
       "CLASS", "NEWSLOTA"]
OPCODE = {name: code for code, name in enumerate(OPS)}

TAG_SQIR = 0x53514952
TAG_PART = 0x50415254
TAG_TAIL = 0x5441494C
T_NULL = 0x01000001
T_INTEGER = 0x05000002
T_FLOAT = 0x05000004
T_STRING = 0x08000010

# Operand codes of ARITH/COMPARITH(L), CMP and the "no value" sentinel.
ADD, SUB, MUL, DIV, MOD = 0x2B, 0x2D, 0x2A, 0x2F, 0x25
CMP_GT, CMP_GE, CMP_LT, CMP_LE = 0, 2, 3, 4
NONE = 0xFF


class Function:
    """One function record. Instructions are appended with op(); line()
    starts a line-table entry at the next instruction; local() adds a
    local-info entry in the order the file stores them (innermost first)."""

    def __init__(self, source, name, params=("this",), stack=1):
        self.source = source
        self.name = name
        self.params = list(params)
        self.literals = []
        self.outers = []
        self.locals = []
        self.lines = []
        self.code = []
        self.nested = []
        self.stack = stack
        self.generator = False
        self.varparams = False

    def literal(self, value):
        key = (type(value), value)
        for i, known in enumerate(self.literals):
            if (type(known), known) == key:
                return i
        self.literals.append(value)
        return len(self.literals) - 1

    def line(self, number):
        self.lines.append((number, len(self.code)))

    def op(self, name, a0=0, a1=0, a2=0, a3=0):
        self.code.append((OPCODE[name], a0, a1, a2, a3))
        return len(self.code) - 1

    def here(self):
        return len(self.code)

    def patch_jump(self, at, target):
        code, a0, _, a2, a3 = self.code[at]
        self.code[at] = (code, a0, target - at - 1, a2, a3)

    def local(self, name, register, first, last):
        self.locals.append((name, register, first, last))

    def function(self, nested):
        self.nested.append(nested)
        return len(self.nested) - 1


def _value(out, v):
    if v is None:
        out += struct.pack("<I", T_NULL)
    elif isinstance(v, bool):
        raise ValueError("booleans have no compiled constant form")
    elif isinstance(v, int):
        out += struct.pack("<Ii", T_INTEGER, v)
    elif isinstance(v, float):
        out += struct.pack("<If", T_FLOAT, v)
    else:
        data = v.encode("latin-1") if isinstance(v, str) else bytes(v)
        out += struct.pack("<Ii", T_STRING, len(data)) + data


def _record(out, f):
    part = struct.pack("<I", TAG_PART)
    out += part
    _value(out, f.source)
    _value(out, f.name)
    out += part
    out += struct.pack("<7i", len(f.literals), len(f.params), len(f.outers), len(f.locals),
                       len(f.lines), len(f.code), len(f.nested))
    out += part
    for v in f.literals:
        _value(out, v)
    out += part
    for p in f.params:
        _value(out, p)
    out += part
    for kind, source, name in f.outers:
        out += struct.pack("<I", kind)
        _value(out, source)
        _value(out, name)
    out += part
    for name, register, first, last in f.locals:
        _value(out, name)
        out += struct.pack("<3I", register, first, last)
    out += part
    for line, at in f.lines:
        out += struct.pack("<2i", line, at)
    out += part
    for code, a0, a1, a2, a3 in f.code:
        out += struct.pack("<iBBBB", a1, code, a0 & 0xFF, a2 & 0xFF, a3 & 0xFF)
    out += part
    for nested in f.nested:
        _record(out, nested)
    out += struct.pack("<iBB", f.stack, int(f.generator), int(f.varparams))


def assemble(main):
    out = bytearray(b"\xFA\xFA")
    out += struct.pack("<Ii", TAG_SQIR, 1)
    _record(out, main)
    out += struct.pack("<I", TAG_TAIL)
    return bytes(out)


class _Reader:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def take(self, fmt):
        size = struct.calcsize(fmt)
        if self.pos + size > len(self.data):
            raise ValueError("file ends at byte %d" % self.pos)
        values = struct.unpack_from(fmt, self.data, self.pos)
        self.pos += size
        return values if len(values) > 1 else values[0]

    def tag(self, expected, what):
        if self.take("<I") != expected:
            raise ValueError("bad %s tag at byte %d" % (what, self.pos - 4))

    def value(self):
        kind = self.take("<I")
        if kind == T_NULL:
            return None
        if kind == T_INTEGER:
            return self.take("<i")
        if kind == T_FLOAT:
            return self.take("<f")
        if kind == T_STRING:
            n = self.take("<i")
            if n < 0 or self.pos + n > len(self.data):
                raise ValueError("bad string length %d" % n)
            s = self.data[self.pos:self.pos + n].decode("latin-1")
            self.pos += n
            return s
        raise ValueError("unknown value type 0x%08X" % kind)


def _read_record(r):
    r.tag(TAG_PART, "PART")
    source, name = r.value(), r.value()
    f = Function(source, name, params=())
    r.tag(TAG_PART, "PART")
    nl, np_, no, nv, nn, ni, nf = r.take("<7i")
    r.tag(TAG_PART, "PART")
    f.literals = [r.value() for _ in range(nl)]
    r.tag(TAG_PART, "PART")
    f.params = [r.value() for _ in range(np_)]
    r.tag(TAG_PART, "PART")
    f.outers = [(r.take("<I"), r.value(), r.value()) for _ in range(no)]
    r.tag(TAG_PART, "PART")
    f.locals = [(r.value(),) + r.take("<3I") for _ in range(nv)]
    r.tag(TAG_PART, "PART")
    f.lines = [r.take("<2i") for _ in range(nn)]
    r.tag(TAG_PART, "PART")
    for _ in range(ni):
        a1, code, a0, a2, a3 = r.take("<iBBBB")
        f.code.append((code, a0, a1, a2, a3))
    r.tag(TAG_PART, "PART")
    f.nested = [_read_record(r) for _ in range(nf)]
    f.stack, f.generator, f.varparams = r.take("<iBB")
    return f


def read(data):
    r = _Reader(data)
    if r.take("<H") != 0xFAFA:
        raise ValueError("not a compiled file")
    r.tag(TAG_SQIR, "SQIR")
    if r.take("<i") != 1:
        raise ValueError("character size is not 1")
    main = _read_record(r)
    r.tag(TAG_TAIL, "TAIL")
    return main


def dump(f, depth=0):
    pad = "  " * depth
    print("%sfunction %r source %r params %s stack %d%s%s" % (
        pad, f.name, f.source, f.params, f.stack, " generator" if f.generator else "",
        " varparams" if f.varparams else ""))
    for i, v in enumerate(f.literals):
        print("%s  K%d = %r" % (pad, i, v))
    for kind, source, name in f.outers:
        print("%s  outer kind %d source %r name %r" % (pad, kind, source, name))
    for name, register, first, last in f.locals:
        print("%s  local %r R%d ops %d..%d" % (pad, name, register, first, last))
    lines = {}
    for line, at in f.lines:
        lines.setdefault(at, []).append(line)
    for i, (code, a0, a1, a2, a3) in enumerate(f.code):
        name = OPS[code] if code < len(OPS) else "op%d" % code
        mark = " ; line %s" % ",".join(map(str, lines[i])) if i in lines else ""
        print("%s  [%02d] %-12s a0=%d a1=%d a2=%d a3=%d%s" % (pad, i, name, a0, a1, a2, a3, mark))
    for nested in f.nested:
        dump(nested, depth + 1)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] != "dump":
        sys.exit("usage: sq211asm.py dump FILE")
    with open(sys.argv[2], "rb") as fh:
        dump(read(fh.read()))
