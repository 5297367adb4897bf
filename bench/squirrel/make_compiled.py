#!/usr/bin/env python3
"""Writes fib.nut, loops.nut and tables.nut of the shared benchmark folder in
the compiled form of Squirrel 2.1.1 into OUT_DIR, laid out as its compiler
lays out those sources (register use, loop shapes, merged instructions and
line tables of its genuine files), so compiled.sh can time them against
their source.

    bench/squirrel/make_compiled.py OUT_DIR
"""
import os
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tools"))
import sq211asm as asm  # noqa: E402
from sq211asm import ADD, SUB, MUL, CMP_LT, NONE  # noqa: E402

BIT_AND, BIT_XOR = 0, 3


def float_bits(value):
    return struct.unpack("<i", struct.pack("<f", value))[0]


def loop_back(f, target):
    at = f.op("JMP")
    f.patch_jump(at, target)


def print_checksum(f, base, parts):
    """print("checksum " + a [+ " " + b] + "\n") with the call built from R(base)."""
    f.op("PREPCALLK", base, f.literal("print"), 0, base + 1)
    text = base + 2
    f.op("LOAD", text, f.literal("checksum "))
    for i, register in enumerate(parts):
        if i:
            f.op("LOAD", text + 1, f.literal(" "))
            f.op("ARITH", text, text + 1, text, ADD)
        f.op("ARITH", text, register, text, ADD)
    f.op("LOAD", text + 1, f.literal("\n"))
    f.op("ARITH", text, text + 1, text, ADD)
    f.op("CALL", base, base, base + 1, 2)


def end_main(f, line, stack):
    f.line(line)
    end = f.op("RETURN", NONE)
    f.local("this", 0, 0, end)
    f.stack = stack


def fib():
    src = "fib.nut"
    fn = asm.Function(src, "fib", ("this", "n"))
    fn.line(2)
    fn.line(3)
    fn.op("LOADINT", 2, 2)
    fn.op("CMP", 2, 2, 1, CMP_LT)
    fn.op("JZ", 2, 1)
    fn.op("RETURN", 1, 1)
    fn.line(4)
    fn.op("PREPCALLK", 2, fn.literal("fib"), 0, 3)
    fn.op("LOADINT", 4, 1)
    fn.op("ARITH", 4, 4, 1, SUB)
    fn.op("CALL", 2, 2, 3, 2)
    fn.op("PREPCALLK", 3, fn.literal("fib"), 0, 4)
    fn.op("LOADINT", 5, 2)
    fn.op("ARITH", 5, 5, 1, SUB)
    fn.op("CALL", 3, 3, 4, 2)
    fn.op("ARITH", 2, 3, 2, ADD)
    fn.op("RETURN", 1, 2)
    fn.line(5)
    end = fn.op("RETURN", NONE)
    fn.local("n", 1, 0, end)
    fn.local("this", 0, 0, end)
    fn.stack = 6

    main = asm.Function(src, "main")
    main.line(2)
    main.op("LOAD", 1, main.literal("fib"))
    main.op("CLOSURE", 2, main.function(fn))
    main.op("NEWSLOT", 1, 0, 1, 2)
    main.line(6)
    main.op("LOADINT", 1, 0)                      # total
    main.line(7)
    main.op("LOADINT", 2, 0)                      # i
    cond = main.op("LOADINT", 3, 3)
    main.op("CMP", 3, 3, 2, CMP_LT)
    exit_jump = main.op("JZ", 3)
    main.op("PREPCALLK", 3, main.literal("fib"), 0, 4)
    main.op("LOADINT", 5, 32)
    main.op("CALL", 3, 3, 4, 2)
    main.op("COMPARITHL", 3, 1, 3, ADD)
    main.op("PINCL", 3, 2, 0, 1)
    loop_back(main, cond)
    main.patch_jump(exit_jump, main.here())
    main.local("i", 2, cond, main.here() - 1)
    main.line(8)
    print_checksum(main, 2, [1])
    main.local("total", 1, 4, main.here() - 1)
    end_main(main, 9, 6)
    return main


def loops():
    src = "loops.nut"
    f = asm.Function(src, "main")
    f.line(2)
    f.op("LOADINT", 1, 0)                         # isum
    f.line(3)
    f.op("LOADINT", 2, 0)                         # fcheck
    f.line(4)
    f.op("LOADINT", 3, 0)                         # i
    outer = f.op("LOADINT", 4, 3300)
    f.op("CMP", 4, 4, 3, CMP_LT)
    outer_exit = f.op("JZ", 4)
    f.line(5)
    f.op("LOADFLOAT", 4, float_bits(0.0))         # row
    f.line(6)
    f.op("LOADINT", 5, 0)                         # j
    inner = f.op("LOADINT", 6, 4000)
    f.op("CMP", 6, 6, 5, CMP_LT)
    inner_exit = f.op("JZ", 6)
    f.line(7)
    f.op("ARITH", 6, 5, 3, MUL)
    f.op("ARITH", 6, 6, 1, ADD)
    f.op("BITW", 7, 5, 3, BIT_XOR)
    f.op("ARITH", 6, 7, 6, ADD)
    f.op("LOADINT", 7, 0xFFFFFFF)
    f.op("BITW", 6, 7, 6, BIT_AND)
    f.op("MOVE", 1, 6)
    f.line(8)
    f.op("LOADINT", 6, 7)
    f.op("BITW", 6, 6, 5, BIT_AND)
    f.op("LOADINT", 7, 0)
    f.op("EQ", 6, 7, 6, 0)
    skip = f.op("JZ", 6)
    f.op("LOADINT", 6, 63)
    f.op("BITW", 6, 6, 5, BIT_AND)
    f.op("LOADFLOAT", 7, float_bits(0.125))
    f.op("ARITH", 6, 7, 6, MUL)
    f.op("COMPARITHL", 6, 4, 6, ADD)
    f.patch_jump(skip, f.here())
    f.op("PINCL", 6, 5, 0, 1)
    loop_back(f, inner)
    f.patch_jump(inner_exit, f.here())
    f.local("j", 5, inner, f.here() - 1)
    f.line(10)
    f.op("PREPCALLK", 5, f.literal("tointeger"), 4, 6)
    f.op("CALL", 5, 5, 6, 1)
    f.op("ARITH", 5, 5, 2, ADD)
    f.op("LOADINT", 6, 0xFFFFFFF)
    f.op("BITW", 5, 6, 5, BIT_AND)
    f.op("MOVE", 2, 5)
    f.local("row", 4, outer + 4, f.here() - 1)
    f.op("PINCL", 4, 3, 0, 1)
    loop_back(f, outer)
    f.patch_jump(outer_exit, f.here())
    f.local("i", 3, outer, f.here() - 1)
    f.line(12)
    print_checksum(f, 3, [1, 2])
    f.local("fcheck", 2, 2, f.here() - 1)
    f.local("isum", 1, 1, f.here() - 1)
    end_main(f, 13, 8)
    return f


def foreach_over(f, container, first):
    """LOADNULLS for the three foreach registers and the FOREACH step;
    returns (step index, exit jump index)."""
    f.op("LOADNULLS", first, 3)
    step = f.op("FOREACH", container, 0, first)
    return step


def close_foreach(f, step, key_name, value_name, first):
    loop_back(f, step)
    code, a0, _, a2, a3 = f.code[step]
    f.code[step] = (code, a0, f.here() - step - 1, a2, a3)
    last = f.here() - 1
    f.local("@ITERATOR@", first + 2, step, last)
    f.local(value_name, first + 1, step, last)
    f.local(key_name, first, step - 1, last)


def tables():
    src = "tables.nut"
    f = asm.Function(src, "main")
    f.line(2)
    f.op("NEWARRAY", 1, 0)                        # keys
    f.line(3)
    f.op("LOADINT", 2, 0)                         # i
    cond = f.op("LOADINT", 3, 10000)
    f.op("CMP", 3, 3, 2, CMP_LT)
    done = f.op("JZ", 3)
    f.op("PREPCALLK", 3, f.literal("append"), 1, 4)
    f.op("LOAD", 5, f.literal("key"))
    f.op("ARITH", 5, 2, 5, ADD)
    f.op("CALL", 3, 3, 4, 2)
    f.op("PINCL", 3, 2, 0, 1)
    loop_back(f, cond)
    f.patch_jump(done, f.here())
    f.local("i", 2, cond, f.here() - 1)
    f.line(4)
    f.op("LOADINT", 2, 0)                         # total
    f.line(5)
    f.op("LOADINT", 3, 0)                         # round
    rounds = f.op("LOADINT", 4, 800)
    f.op("CMP", 4, 4, 3, CMP_LT)
    rounds_done = f.op("JZ", 4)
    f.line(6)
    f.op("NEWTABLE", 4, 0)                        # t
    f.line(7)
    step = foreach_over(f, 1, 5)
    f.op("NEWSLOT", 8, 4, 6, 5)
    close_foreach(f, step, "i", "k", 5)
    f.line(8)
    step = foreach_over(f, 1, 5)
    f.op("COMPARITH", 8, (4 << 16) | 3, 6, ADD)
    close_foreach(f, step, "@INDEX@", "k", 5)
    f.line(9)
    step = foreach_over(f, 1, 5)
    f.op("EXISTS", 8, 4, 6)
    skip = f.op("JZ", 8)
    f.op("GET", 8, 4, 6)
    f.op("LOADINT", 9, 0xFF)
    f.op("BITW", 8, 9, 8, BIT_AND)
    f.op("COMPARITHL", 8, 2, 8, ADD)
    f.patch_jump(skip, f.here())
    close_foreach(f, step, "i", "k", 5)
    f.line(10)
    f.op("LOADINT", 5, 0)                         # i
    sweep = f.op("LOADINT", 6, 10000)
    f.op("CMP", 6, 6, 5, CMP_LT)
    sweep_done = f.op("JZ", 6)
    f.op("GET", 6, 1, 5)
    f.op("DELETE", 6, 4, 6)
    f.op("LOADINT", 6, 3)
    f.op("COMPARITHL", 6, 5, 6, ADD)
    loop_back(f, sweep)
    f.patch_jump(sweep_done, f.here())
    f.local("i", 5, sweep, f.here() - 1)
    f.line(11)
    f.op("PREPCALLK", 5, f.literal("len"), 4, 6)
    f.op("CALL", 5, 5, 6, 1)
    f.op("COMPARITHL", 5, 2, 5, ADD)
    f.local("t", 4, rounds + 4, f.here() - 1)
    f.op("PINCL", 4, 3, 0, 1)
    loop_back(f, rounds)
    f.patch_jump(rounds_done, f.here())
    f.local("round", 3, rounds, f.here() - 1)
    f.line(13)
    print_checksum(f, 3, [2])
    f.local("total", 2, rounds - 1, f.here() - 1)
    f.local("keys", 1, 1, f.here() - 1)
    end_main(f, 14, 10)
    return f


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_compiled.py OUT_DIR")
    os.makedirs(sys.argv[1], exist_ok=True)
    for name, build in (("fib", fib), ("loops", loops), ("tables", tables)):
        with open(os.path.join(sys.argv[1], name + ".nut"), "wb") as fh:
            fh.write(asm.assemble(build()))


if __name__ == "__main__":
    main()
