#!/usr/bin/env python3
"""Writes the eight scripts of the shared benchmark folder in
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
from sq211asm import ADD, SUB, MUL, DIV, MOD, CMP_LT, CMP_GT, NONE  # noqa: E402

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


def counted_loop(f, register, limit, limit_register):
    """for (local r = 0; r < limit; r++) head: returns (condition index, exit jump)."""
    f.op("LOADINT", register, 0)
    cond = f.op("LOADINT", limit_register, limit)
    f.op("CMP", limit_register, limit_register, register, CMP_LT)
    return cond, f.op("JZ", limit_register)


def close_loop(f, register, temp, cond, exit_jump, name):
    f.op("PINCL", temp, register, 0, 1)
    loop_back(f, cond)
    f.patch_jump(exit_jump, f.here())
    f.local(name, register, cond, f.here() - 1)


def methods():
    src = "methods.nut"
    ctor = asm.Function(src, "constructor", ("this", "px", "py", "dx", "dy"))
    ctor.line(7)
    ctor.line(7)
    for register, name in enumerate(("x", "y", "vx", "vy"), start=1):
        ctor.op("LOAD", 5, ctor.literal(name))
        ctor.op("SET", 5, 0, 5, register)
    ctor.line(7)
    end = ctor.op("RETURN", NONE)
    for register, name in reversed(list(enumerate(ctor.params))):
        ctor.local(name, register, 0, end)
    ctor.stack = 6

    step = asm.Function(src, "step")
    step.line(8)
    for line, pos, speed in ((9, "x", "vx"), (10, "y", "vy")):
        step.line(line)
        step.op("LOAD", 1, step.literal(pos))
        step.op("GETK", 2, step.literal(speed), 0)
        step.op("COMPARITH", 1, 2, 1, ADD)
    for line, pos, speed in ((11, "x", "vx"), (12, "y", "vy")):
        step.line(line)
        step.op("GETK", 1, step.literal(pos), 0)
        step.op("LOADINT", 2, 0)
        step.op("CMP", 1, 2, 1, CMP_LT)
        either = step.op("OR", 1, 0, 1)
        step.op("GETK", 2, step.literal(pos), 0)
        step.op("LOADINT", 3, 1000)
        step.op("CMP", 2, 3, 2, CMP_GT)
        step.op("MOVE", 1, 2)
        step.patch_jump(either, step.here())
        skip = step.op("JZ", 1)
        step.op("LOAD", 1, step.literal(speed))
        step.op("GETK", 2, step.literal(speed), 0)
        step.op("NEG", 2, 2)
        step.op("SET", 1, 0, 1, 2)
        step.patch_jump(skip, step.here())
    step.line(13)
    end = step.op("RETURN", NONE)
    step.local("this", 0, 0, end)
    step.stack = 4

    energy = asm.Function(src, "energy")
    energy.line(14)
    energy.line(14)
    for register, name in ((1, "vx"), (2, "vy")):
        energy.op("GETK", register, energy.literal(name), 0)
        energy.op("GETK", register + 1, energy.literal(name), 0)
        energy.op("ARITH", register, register + 1, register, MUL)
    energy.op("ARITH", 1, 2, 1, ADD)
    energy.op("RETURN", 1, 1)
    energy.line(14)
    end = energy.op("RETURN", NONE)
    energy.local("this", 0, 0, end)
    energy.stack = 4

    f = asm.Function(src, "main")
    f.line(2)
    f.op("LOAD", 1, f.literal("Particle"))
    f.op("CLASS", 2, -1, NONE)
    for name in ("x", "y", "vx", "vy"):
        f.op("LOAD", 3, f.literal(name))
        f.op("LOADINT", 4, 0)
        f.op("NEWSLOTA", 0, 2, 3, 4)
    for method in (ctor, step, energy):
        f.op("LOAD", 3, f.literal(method.name))
        f.op("CLOSURE", 4, f.function(method))
        f.op("NEWSLOTA", 0, 2, 3, 4)
    f.op("NEWSLOT", 1, 0, 1, 2)
    f.line(16)
    f.op("NEWARRAY", 1, 0)                        # ps
    f.line(17)
    cond, done = counted_loop(f, 2, 100, 3)
    f.op("PREPCALLK", 3, f.literal("append"), 1, 4)
    f.op("PREPCALLK", 5, f.literal("Particle"), 0, 6)
    for register, (factor, divisor, offset) in enumerate(((7, 1000, 0), (13, 1000, 0), (None, 5, 1),
                                                          (None, 3, -1)), start=7):
        if factor is not None:
            f.op("LOADINT", register, factor)
            f.op("ARITH", register, register, 2, MUL)
            f.op("LOADINT", register + 1, divisor)
            f.op("ARITH", register, register + 1, register, MOD)
        else:
            f.op("LOADINT", register, divisor)
            f.op("ARITH", register, register, 2, MOD)
            f.op("LOADINT", register + 1, 1)
            f.op("ARITH", register, register + 1, register, ADD if offset > 0 else SUB)
    f.op("CALL", 5, 5, 6, 5)
    f.op("CALL", 3, 3, 4, 2)
    close_loop(f, 2, 3, cond, done, "i")
    f.line(18)
    f.op("LOADINT", 2, 0)                         # e
    f.line(19)
    cond, done = counted_loop(f, 3, 60000, 4)
    f.line(20)
    each = foreach_over(f, 1, 4)
    f.op("PREPCALLK", 7, f.literal("step"), 5, 8)
    f.op("CALL", 7, 7, 8, 1)
    close_foreach(f, each, "@INDEX@", "p", 4)
    f.line(21)
    f.op("LOADINT", 4, 1000)
    f.op("ARITH", 4, 4, 3, MOD)
    f.op("LOADINT", 5, 0)
    f.op("EQ", 4, 5, 4, 0)
    skip = f.op("JZ", 4)
    each = foreach_over(f, 1, 4)
    f.op("PREPCALLK", 7, f.literal("energy"), 5, 8)
    f.op("CALL", 7, 7, 8, 1)
    f.op("COMPARITHL", 7, 2, 7, ADD)
    close_foreach(f, each, "@INDEX@", "p", 4)
    f.patch_jump(skip, f.here())
    close_loop(f, 3, 4, cond, done, "t")
    f.line(23)
    f.op("LOADINT", 3, 0)                         # pos
    f.line(24)
    each = foreach_over(f, 1, 4)
    f.op("GETK", 7, f.literal("x"), 5)
    f.op("LOADINT", 8, 3)
    f.op("ARITH", 7, 8, 7, MUL)
    f.op("GETK", 8, f.literal("y"), 5)
    f.op("ARITH", 7, 8, 7, ADD)
    f.op("COMPARITHL", 7, 3, 7, ADD)
    close_foreach(f, each, "@INDEX@", "p", 4)
    f.line(25)
    print_checksum(f, 4, [2, 3])
    f.local("pos", 3, 0, f.here() - 1)
    f.local("e", 2, 0, f.here() - 1)
    f.local("ps", 1, 0, f.here() - 1)
    end_main(f, 26, 12)
    return f


def closures():
    src = "closures.nut"
    adder = asm.Function(src, None, ("this", "x"))
    adder.outers.append((0, 1, "n"))
    adder.line(2)
    adder.line(2)
    adder.op("LOADFREEVAR", 2, 0)
    adder.op("ARITH", 2, 2, 1, ADD)
    adder.op("RETURN", 1, 2)
    adder.line(2)
    end = adder.op("RETURN", NONE)
    adder.local("x", 1, 0, end)
    adder.local("this", 0, 0, end)
    adder.stack = 3

    make_adder = asm.Function(src, "makeAdder", ("this", "n"))
    make_adder.line(2)
    make_adder.line(2)
    make_adder.op("CLOSURE", 2, make_adder.function(adder))
    make_adder.op("RETURN", 1, 2)
    make_adder.line(2)
    end = make_adder.op("RETURN", NONE)
    make_adder.local("n", 1, 0, end)
    make_adder.local("this", 0, 0, end)
    make_adder.stack = 3

    counter = asm.Function(src, None)
    counter.outers.append((0, 1, "state"))
    counter.line(5)
    counter.line(5)
    counter.op("LOADFREEVAR", 1, 0)
    counter.op("LOAD", 2, counter.literal("c"))
    counter.op("PINC", 1, 1, 2, 1)
    counter.op("LOADFREEVAR", 1, 0)
    counter.op("GETK", 1, counter.literal("c"), 1)
    counter.op("RETURN", 1, 1)
    counter.line(5)
    end = counter.op("RETURN", NONE)
    counter.local("this", 0, 0, end)
    counter.stack = 3

    make_counter = asm.Function(src, "makeCounter")
    make_counter.line(3)
    make_counter.line(4)
    make_counter.op("NEWTABLE", 1, 1)
    make_counter.op("LOAD", 2, make_counter.literal("c"))
    make_counter.op("LOADINT", 3, 0)
    make_counter.op("NEWSLOTA", 0, 1, 2, 3)
    make_counter.line(5)
    make_counter.op("CLOSURE", 2, make_counter.function(counter))
    last = make_counter.op("RETURN", 1, 2)
    make_counter.local("state", 1, 4, last)
    make_counter.line(6)
    end = make_counter.op("RETURN", NONE)
    make_counter.local("this", 0, 0, end)
    make_counter.stack = 4

    gen = asm.Function(src, "gen", ("this", "n"))
    gen.generator = True
    gen.line(15)
    gen.line(15)
    gen.op("LOADINT", 2, 0)
    cond = gen.op("CMP", 3, 1, 2, CMP_LT)
    done = gen.op("JZ", 3)
    gen.op("YIELD", 1, 2)
    close_loop(gen, 2, 3, cond, done, "i")
    gen.line(15)
    end = gen.op("RETURN", NONE)
    gen.local("n", 1, 0, end)
    gen.local("this", 0, 0, end)
    gen.stack = 4

    f = asm.Function(src, "main")
    for line, fn in ((2, make_adder), (3, make_counter)):
        f.line(line)
        f.op("LOAD", 1, f.literal(fn.name))
        f.op("CLOSURE", 2, f.function(fn))
        f.op("NEWSLOT", 1, 0, 1, 2)
    f.line(7)
    f.op("LOADINT", 1, 0)                         # total
    f.line(8)
    cond, done = counted_loop(f, 2, 3500000, 3)
    f.line(9)
    f.op("PREPCALLK", 3, f.literal("makeAdder"), 0, 4)
    f.op("LOADINT", 5, 15)
    f.op("BITW", 5, 5, 2, BIT_AND)
    f.op("CALL", 3, 3, 4, 2)                      # add
    f.line(10)
    f.op("DMOVE", 4, 0, 5, 2)
    f.op("CALL", 4, 3, 4, 2)
    f.op("ARITH", 4, 4, 1, ADD)
    f.op("LOADINT", 5, 0xFFFFFFF)
    f.op("BITW", 4, 5, 4, BIT_AND)
    f.op("MOVE", 1, 4)
    f.local("add", 3, cond + 7, f.here() - 1)
    close_loop(f, 2, 3, cond, done, "i")
    f.line(12)
    f.op("NEWARRAY", 2, 0)                        # counters
    f.line(13)
    cond, done = counted_loop(f, 3, 50, 4)
    f.op("PREPCALLK", 4, f.literal("append"), 2, 5)
    f.op("PREPCALLK", 6, f.literal("makeCounter"), 0, 7)
    f.op("CALL", 6, 6, 7, 1)
    f.op("CALL", 4, 4, 5, 2)
    close_loop(f, 3, 4, cond, done, "i")
    f.line(14)
    cond, done = counted_loop(f, 3, 40000, 4)
    each = foreach_over(f, 2, 4)
    f.op("MOVE", 7, 0)
    f.op("CALL", 7, 5, 7, 1)
    f.op("LOADINT", 8, 1)
    f.op("BITW", 7, 8, 7, BIT_AND)
    f.op("COMPARITHL", 7, 1, 7, ADD)
    close_foreach(f, each, "@INDEX@", "c", 4)
    close_loop(f, 3, 4, cond, done, "r")
    f.line(15)
    f.op("LOAD", 3, f.literal("gen"))
    f.op("CLOSURE", 4, f.function(gen))
    f.op("NEWSLOT", 3, 0, 3, 4)
    f.line(16)
    cond, done = counted_loop(f, 3, 2000, 4)
    f.line(17)
    f.op("PREPCALLK", 4, f.literal("gen"), 0, 5)
    f.op("LOADINT", 6, 1000)
    f.op("CALL", 4, 4, 5, 2)                      # g
    f.line(18)
    inner, inner_done = counted_loop(f, 5, 1000, 6)
    f.op("RESUME", 6, 4)
    f.op("COMPARITHL", 6, 1, 6, ADD)
    close_loop(f, 5, 6, inner, inner_done, "i")
    f.local("g", 4, inner - 1, f.here() - 1)
    close_loop(f, 3, 4, cond, done, "r")
    f.line(20)
    print_checksum(f, 3, [1])
    f.local("counters", 2, 0, f.here() - 1)
    f.local("total", 1, 0, f.here() - 1)
    end_main(f, 21, 9)
    return f


def leaf(src, name, params, line, stack):
    """A function on one line: header and body entries, then the code."""
    f = asm.Function(src, name, params)
    f.line(line)
    f.line(line)
    f.stack = stack
    return f


def end_function(f, line):
    f.line(line)
    end = f.op("RETURN", NONE)
    for register, name in reversed(list(enumerate(f.params))):
        f.local(name, register, 0, end)


def masked_into(f, target, temp, value):
    """target = R(value) & 0xFFFFFFF, computed in R(value) with R(temp)."""
    f.op("LOADINT", temp, 0xFFFFFFF)
    f.op("BITW", value, temp, value, BIT_AND)
    f.op("MOVE", target, value)


def arrays():
    src = "arrays.nut"
    rand = leaf(src, "nextRand", ("this",), 3, 5)
    rand.lines[-1] = (4, 0)
    rand.op("LOADROOTTABLE", 1)
    rand.op("LOAD", 2, rand.literal("seed"))
    rand.op("LOADROOTTABLE", 3)
    rand.op("GETK", 3, rand.literal("seed"), 3)
    for value, operation in ((1103515245, ("ARITH", MUL)), (12345, ("ARITH", ADD)),
                             (0x7FFFFFFF, ("BITW", BIT_AND))):
        rand.op("LOADINT", 4, value)
        rand.op(operation[0], 3, 4, 3, operation[1])
    rand.op("SET", 1, 1, 2, 3)
    rand.line(5)
    rand.op("LOADROOTTABLE", 1)
    rand.op("GETK", 1, rand.literal("seed"), 1)
    rand.op("RETURN", 1, 1)
    end_function(rand, 6)

    descending = leaf(src, None, ("this", "x", "y"), 17, 4)
    descending.op("ARITH", 3, 1, 2, SUB)
    descending.op("RETURN", 1, 3)
    end_function(descending, 17)

    f = asm.Function(src, "main")
    f.line(2)
    f.op("LOADINT", 1, 12345)                     # seed
    f.line(3)
    f.op("LOAD", 2, f.literal("nextRand"))
    f.op("CLOSURE", 3, f.function(rand))
    f.op("NEWSLOT", 2, 0, 2, 3)
    f.line(7)
    f.op("LOADROOTTABLE", 2)
    f.op("LOAD", 3, f.literal("seed"))
    f.op("NEWSLOT", 2, 2, 3, 1)
    f.line(8)
    f.op("LOADINT", 2, 0)                         # check
    f.line(9)
    rounds, rounds_done = counted_loop(f, 3, 80, 4)
    f.line(10)
    f.op("NEWARRAY", 4, 0)                        # a
    f.line(11)
    cond, done = counted_loop(f, 5, 20000, 6)
    f.op("PREPCALLK", 6, f.literal("append"), 4, 7)
    f.op("PREPCALLK", 8, f.literal("nextRand"), 0, 9)
    f.op("CALL", 8, 8, 9, 1)
    f.op("LOADINT", 9, 100000)
    f.op("ARITH", 8, 9, 8, MOD)
    f.op("CALL", 6, 6, 7, 2)
    close_loop(f, 5, 6, cond, done, "i")
    f.line(12)
    f.op("LOADINT", 5, 0)                         # s
    f.line(13)
    each = foreach_over(f, 4, 6)
    f.op("COMPARITHL", 9, 5, 7, ADD)
    close_foreach(f, each, "@INDEX@", "v", 6)
    f.line(14)
    f.op("PREPCALLK", 6, f.literal("slice"), 4, 7)
    f.op("LOADINT", 8, 0)
    f.op("LOADINT", 9, 5000)
    f.op("CALL", 6, 6, 7, 3)                      # b
    f.line(15)
    f.op("PREPCALLK", 7, f.literal("sort"), 4, 8)
    f.op("CALL", 7, 7, 8, 1)
    f.line(16)
    f.op("ARITH", 7, 5, 2, ADD)
    f.op("LOADINT", 8, 0)
    f.op("GET", 8, 4, 8)
    f.op("ARITH", 7, 8, 7, ADD)
    for divisor, operation in ((1, SUB), (2, DIV)):
        f.op("PREPCALLK", 8, f.literal("len"), 4, 9)
        f.op("CALL", 8, 8, 9, 1)
        f.op("LOADINT", 9, divisor)
        f.op("ARITH", 8, 9, 8, operation)
        f.op("GET", 8, 4, 8)
        f.op("ARITH", 7, 8, 7, ADD)
    masked_into(f, 2, 8, 7)
    f.line(17)
    f.op("PREPCALLK", 7, f.literal("sort"), 6, 8)
    f.op("CLOSURE", 9, f.function(descending))
    f.op("CALL", 7, 7, 8, 2)
    f.line(18)
    f.op("LOADINT", 7, 0)
    f.op("GET", 7, 6, 7)
    f.op("ARITH", 7, 7, 2, ADD)
    for index in (100, 4999):
        f.op("LOADINT", 8, index)
        f.op("GET", 8, 6, 8)
        f.op("ARITH", 7, 8, 7, ADD)
    masked_into(f, 2, 8, 7)
    f.line(19)
    shrink = f.op("PREPCALLK", 7, f.literal("len"), 4, 8)
    f.op("CALL", 7, 7, 8, 1)
    f.op("LOADINT", 8, 10000)
    f.op("CMP", 7, 8, 7, CMP_GT)
    shrunk = f.op("JZ", 7)
    f.op("PREPCALLK", 7, f.literal("pop"), 4, 8)
    f.op("CALL", 7, 7, 8, 1)
    loop_back(f, shrink)
    f.patch_jump(shrunk, f.here())
    f.line(20)
    f.op("LOADINT", 7, 0)                         # i
    step = f.op("PREPCALLK", 8, f.literal("len"), 4, 9)
    f.op("CALL", 8, 8, 9, 1)
    f.op("CMP", 8, 8, 7, CMP_LT)
    stepped = f.op("JZ", 8)
    f.op("GET", 8, 4, 7)
    f.op("ARITH", 8, 7, 8, ADD)
    f.op("SET", 8, 4, 7, 8)
    f.op("LOADINT", 8, 2)
    f.op("COMPARITHL", 8, 7, 8, ADD)
    loop_back(f, step)
    f.patch_jump(stepped, f.here())
    f.local("i", 7, step, f.here() - 1)
    f.line(21)
    f.op("PREPCALLK", 7, f.literal("len"), 4, 8)
    f.op("CALL", 7, 7, 8, 1)
    f.op("ARITH", 7, 7, 2, ADD)
    f.op("LOADINT", 8, 9998)
    f.op("GET", 8, 4, 8)
    f.op("ARITH", 7, 8, 7, ADD)
    masked_into(f, 2, 8, 7)
    f.local("b", 6, 0, f.here() - 1)
    f.local("s", 5, 0, f.here() - 1)
    f.local("a", 4, 0, f.here() - 1)
    close_loop(f, 3, 4, rounds, rounds_done, "round")
    f.line(23)
    print_checksum(f, 3, [2])
    f.local("check", 2, 0, f.here() - 1)
    f.local("seed", 1, 1, f.here() - 1)
    end_main(f, 24, 10)
    return f


def local_loop(f, register, limit, temp):
    """for (local r = 0; r < limit; r++) with limit a local register."""
    f.op("LOADINT", register, 0)
    cond = f.op("CMP", temp, limit, register, CMP_LT)
    return cond, f.op("JZ", temp)


def matrix():
    src = "matrix.nut"
    make = asm.Function(src, "makeMatrix", ("this", "n", "seed"))
    make.line(3)
    make.line(4)
    make.op("PREPCALLK", 3, make.literal("array"), 0, 4)
    make.op("MOVE", 5, 1)
    make.op("CALL", 3, 3, 4, 2)                   # m
    make.line(5)
    rows, rows_done = local_loop(make, 4, 1, 5)
    make.line(6)
    make.op("PREPCALLK", 5, make.literal("array"), 0, 6)
    make.op("MOVE", 7, 1)
    make.op("CALL", 5, 5, 6, 2)                   # row
    make.line(7)
    cols, cols_done = local_loop(make, 6, 1, 7)
    make.op("LOADINT", 7, 31)
    make.op("ARITH", 7, 7, 4, MUL)
    make.op("LOADINT", 8, 17)
    make.op("ARITH", 8, 8, 6, MUL)
    make.op("ARITH", 7, 8, 7, ADD)
    make.op("ARITH", 7, 2, 7, ADD)
    make.op("LOADINT", 8, 100)
    make.op("ARITH", 7, 8, 7, MOD)
    make.op("LOADFLOAT", 8, float_bits(100.0))
    make.op("ARITH", 7, 8, 7, DIV)
    make.op("SET", 7, 5, 6, 7)
    close_loop(make, 6, 7, cols, cols_done, "j")
    make.line(8)
    make.op("SET", 6, 3, 4, 5)
    make.local("row", 5, rows + 5, make.here() - 1)
    close_loop(make, 4, 5, rows, rows_done, "i")
    make.line(10)
    make.op("RETURN", 1, 3)
    make.local("m", 3, 3, make.here() - 1)
    end_function(make, 11)
    make.stack = 9

    mul = asm.Function(src, "mul", ("this", "a", "b", "n"))
    mul.line(12)
    mul.line(13)
    mul.op("PREPCALLK", 4, mul.literal("array"), 0, 5)
    mul.op("MOVE", 6, 3)
    mul.op("CALL", 4, 4, 5, 2)                    # c
    mul.line(14)
    rows, rows_done = local_loop(mul, 5, 3, 6)
    mul.line(15)
    mul.op("PREPCALLK", 6, mul.literal("array"), 0, 7)
    mul.op("MOVE", 8, 3)
    mul.op("LOADFLOAT", 9, float_bits(0.0))
    mul.op("CALL", 6, 6, 7, 3)                    # row
    mul.line(16)
    mul.op("GET", 7, 1, 5)                        # ai
    mul.line(17)
    inner, inner_done = local_loop(mul, 8, 3, 9)
    mul.line(18)
    mul.op("GET", 9, 7, 8)                        # aik
    mul.line(19)
    mul.op("GET", 10, 2, 8)                       # bk
    mul.line(20)
    cols, cols_done = local_loop(mul, 11, 3, 12)
    mul.op("GET", 12, 10, 11)
    mul.op("ARITH", 12, 12, 9, MUL)
    mul.op("COMPARITH", 12, (6 << 16) | 12, 11, ADD)
    close_loop(mul, 11, 12, cols, cols_done, "j")
    close_loop(mul, 8, 9, inner, inner_done, "k")
    mul.line(22)
    mul.op("SET", 8, 4, 5, 6)
    close_loop(mul, 5, 6, rows, rows_done, "i")
    mul.line(24)
    mul.op("RETURN", 1, 4)
    end_function(mul, 25)
    mul.stack = 13

    f = asm.Function(src, "main")
    f.line(2)
    f.op("LOADINT", 1, 100)                       # n
    for line, fn in ((3, make), (12, mul)):
        f.line(line)
        f.op("LOAD", 2, f.literal(fn.name))
        f.op("CLOSURE", 3, f.function(fn))
        f.op("NEWSLOT", 2, 0, 2, 3)
    for line, register, seed in ((26, 2, 1), (27, 3, 2)):
        f.line(line)
        f.op("PREPCALLK", register, f.literal("makeMatrix"), 0, register + 1)
        f.op("MOVE", register + 2, 1)
        f.op("LOADINT", register + 3, seed)
        f.op("CALL", register, register, register + 1, 3)
    f.line(28)
    f.op("LOADNULLS", 4, 1)                       # c
    f.line(29)
    cond, done = counted_loop(f, 5, 20, 6)
    f.op("PREPCALLK", 6, f.literal("mul"), 0, 7)
    f.op("DMOVE", 8, 2, 9, 3)
    f.op("MOVE", 10, 1)
    f.op("CALL", 6, 6, 7, 4)
    f.op("MOVE", 4, 6)
    close_loop(f, 5, 6, cond, done, "r")
    f.line(30)
    f.op("LOADFLOAT", 5, float_bits(0.0))         # trace
    f.line(31)
    cond, done = local_loop(f, 6, 1, 7)
    f.op("GET", 7, 4, 6)
    f.op("GET", 7, 7, 6)
    f.op("COMPARITHL", 7, 5, 7, ADD)
    close_loop(f, 6, 7, cond, done, "i")
    f.line(32)
    f.op("PREPCALLK", 6, f.literal("print"), 0, 7)
    f.op("LOAD", 8, f.literal("checksum "))
    f.op("PREPCALLK", 9, f.literal("format"), 0, 10)
    f.op("LOAD", 11, f.literal("%.2f"))
    f.op("MOVE", 12, 5)
    f.op("CALL", 9, 9, 10, 3)
    f.op("ARITH", 8, 9, 8, ADD)
    f.op("LOAD", 9, f.literal(" "))
    f.op("ARITH", 8, 9, 8, ADD)
    f.op("PREPCALLK", 9, f.literal("format"), 0, 10)
    f.op("LOAD", 11, f.literal("%.3f"))
    f.op("LOADINT", 12, 7)
    f.op("GET", 12, 4, 12)
    f.op("LOADINT", 13, 11)
    f.op("GET", 12, 12, 13)
    f.op("CALL", 9, 9, 10, 3)
    f.op("ARITH", 8, 9, 8, ADD)
    f.op("LOAD", 9, f.literal("\n"))
    f.op("ARITH", 8, 9, 8, ADD)
    f.op("CALL", 6, 6, 7, 2)
    for name, register in (("trace", 5), ("c", 4), ("b", 3), ("a", 2), ("n", 1)):
        f.local(name, register, 0, f.here() - 1)
    end_main(f, 33, 14)
    return f


def strings():
    src = "strings.nut"
    f = asm.Function(src, "main")
    f.line(2)
    f.op("LOADINT", 1, 0)                         # total
    f.line(3)
    rounds, rounds_done = counted_loop(f, 2, 4000, 3)
    f.line(4)
    f.op("LOAD", 3, f.literal(""))                # s
    f.line(5)
    cond, done = counted_loop(f, 4, 300, 5)
    f.op("PREPCALLK", 5, f.literal("format"), 0, 6)
    f.op("LOAD", 7, f.literal("%04d:%s;"))
    f.op("MOVE", 8, 4)
    f.op("LOADINT", 9, 7)
    f.op("ARITH", 9, 9, 4, MOD)
    f.op("PREPCALLK", 9, f.literal("tostring"), 9, 10)
    f.op("CALL", 9, 9, 10, 1)
    f.op("CALL", 5, 5, 6, 4)
    f.op("COMPARITHL", 5, 3, 5, ADD)
    close_loop(f, 4, 5, cond, done, "i")
    f.line(6)
    f.op("PREPCALLK", 4, f.literal("len"), 3, 5)
    f.op("CALL", 4, 4, 5, 1)
    f.op("COMPARITHL", 4, 1, 4, ADD)
    f.line(7)
    f.op("LOADINT", 4, 0)                         # pos
    f.line(8)
    f.op("LOADINT", 5, 0)                         # hits
    f.line(9)
    search = f.op("LOADBOOL", 6, 1)
    found_all = f.op("JZ", 6)
    f.line(10)
    f.op("PREPCALLK", 6, f.literal("find"), 3, 7)
    f.op("LOAD", 8, f.literal("3:"))
    f.op("MOVE", 9, 4)
    f.op("CALL", 6, 6, 7, 3)                      # at
    f.line(11)
    f.op("LOADNULLS", 7, 1)
    f.op("EQ", 7, 7, 6, 0)
    f.op("JZ", 7, 1)
    leave = f.op("JMP")
    f.line(12)
    f.op("PINCL", 7, 5, 0, 1)
    f.line(13)
    f.op("LOADINT", 7, 2)
    f.op("ARITH", 7, 7, 6, ADD)
    f.op("MOVE", 4, 7)
    f.local("at", 6, search + 6, f.here() - 1)
    loop_back(f, search)
    f.patch_jump(found_all, f.here())
    f.patch_jump(leave, f.here())
    f.line(15)
    f.op("COMPARITHL", 6, 1, 5, ADD)
    f.line(16)
    f.op("PREPCALLK", 6, f.literal("split"), 0, 7)
    f.op("MOVE", 8, 3)
    f.op("LOAD", 9, f.literal(";"))
    f.op("CALL", 6, 6, 7, 3)                      # parts
    f.line(17)
    each = foreach_over(f, 6, 7)
    f.op("PREPCALLK", 10, f.literal("slice"), 8, 11)
    f.op("LOADINT", 12, 0)
    f.op("LOADINT", 13, 4)
    f.op("CALL", 10, 10, 11, 3)
    f.op("PREPCALLK", 10, f.literal("tointeger"), 10, 11)
    f.op("CALL", 10, 10, 11, 1)
    f.op("LOADINT", 11, 13)
    f.op("ARITH", 10, 11, 10, MOD)
    f.op("COMPARITHL", 10, 1, 10, ADD)
    close_foreach(f, each, "@INDEX@", "p", 7)
    f.line(18)
    f.op("PREPCALLK", 7, f.literal("toupper"), 3, 8)
    f.op("CALL", 7, 7, 8, 1)
    f.op("PREPCALLK", 7, f.literal("len"), 7, 8)
    f.op("CALL", 7, 7, 8, 1)
    f.op("COMPARITHL", 7, 1, 7, ADD)
    for name, register in (("parts", 6), ("hits", 5), ("pos", 4), ("s", 3)):
        f.local(name, register, 0, f.here() - 1)
    close_loop(f, 2, 3, rounds, rounds_done, "round")
    f.line(20)
    print_checksum(f, 2, [1])
    f.local("total", 1, 0, f.here() - 1)
    end_main(f, 21, 14)
    return f


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_compiled.py OUT_DIR")
    os.makedirs(sys.argv[1], exist_ok=True)
    for name, build in (("fib", fib), ("loops", loops), ("tables", tables), ("methods", methods),
                        ("closures", closures), ("arrays", arrays), ("matrix", matrix),
                        ("strings", strings)):
        with open(os.path.join(sys.argv[1], name + ".nut"), "wb") as fh:
            fh.write(asm.assemble(build()))


if __name__ == "__main__":
    main()
