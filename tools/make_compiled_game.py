#!/usr/bin/env python3
"""Writes tests/games/compiled/script/{init,second}.nut: the scripts of
tests/games/compiled_source in the compiled form of Squirrel 2.1.1, laid out
instruction for instruction as its compiler lays out the same source (the
register use, merged loads, line and local tables of its genuine files).

    tools/make_compiled_game.py [OUT_DIR]
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sq211asm as asm  # noqa: E402
from sq211asm import ADD, MUL, NONE  # noqa: E402


def float_bits(value):
    return struct.unpack("<i", struct.pack("<f", value))[0]


def body(source, name, header, first, params=("this",)):
    f = asm.Function(source, name, params)
    f.line(header)
    f.line(first)
    return f


def finish(f, closing, stack):
    f.line(closing)
    end = f.op("RETURN", NONE)
    for register, param in reversed(list(enumerate(f.params))):
        f.local(param, register, 0, end)
    f.stack = stack


def call_print(f, text):
    """print("text") as a statement; this is R0, the call is built in R1-R3."""
    f.op("PREPCALLK", 1, f.literal("print"), 0, 2)
    f.op("LOAD", 3, f.literal(text))
    f.op("CALL", 1, 1, 2, 2)


def top_level(source, functions, end_line):
    """The file's main: each function statement creates a root slot."""
    main = asm.Function(source, "main")
    for line, f in functions:
        main.line(line)
        main.op("LOAD", 1, main.literal(f.name))
        main.op("CLOSURE", 2, main.function(f))
        main.op("NEWSLOT", 1, 0, 1, 2)
    main.line(end_line)
    end = main.op("RETURN", NONE)
    main.local("this", 0, 0, end)
    main.stack = 3
    return main


def init_script():
    src = "script\\init.nut"

    on_load = body(src, "onLoad", 2, 4)
    on_load.op("LOADROOTTABLE", 1)
    on_load.op("LOAD", 2, on_load.literal("counter"))
    on_load.op("LOADINT", 3, 0)
    on_load.op("NEWSLOT", 1, 1, 2, 3)
    on_load.line(5)
    call_print(on_load, "init onLoad")
    finish(on_load, 6, 4)

    on_proc = body(src, "onProc", 8, 10)
    counter = on_proc.literal("counter")
    on_proc.op("LOAD", 1, counter)
    on_proc.op("PINC", 1, 0, 1, 1)
    on_proc.line(11)
    on_proc.op("PREPCALLK", 1, on_proc.literal("print"), 0, 2)
    on_proc.op("LOAD", 3, on_proc.literal("init onProc "))
    on_proc.op("GETK", 4, counter, 0)
    on_proc.op("ARITH", 3, 4, 3, ADD)
    on_proc.op("CALL", 1, 1, 2, 2)
    on_proc.line(12)
    on_proc.op("GETK", 1, counter, 0)
    on_proc.op("LOADINT", 2, 3)
    on_proc.op("EQ", 1, 2, 1, 0)
    skip = on_proc.op("JZ", 1)
    on_proc.line(13)
    on_proc.op("PREPCALLK", 1, on_proc.literal("setNextFilePath"), 0, 2)
    on_proc.op("LOAD", 3, on_proc.literal("script\\second.nut"))
    on_proc.op("CALL", 1, 1, 2, 2)
    on_proc.line(14)
    on_proc.op("PREPCALLK", 1, on_proc.literal("setMainLoopEnd"), 0, 2)
    on_proc.op("CALL", 1, 1, 2, 1)
    on_proc.patch_jump(skip, on_proc.here())
    finish(on_proc, 16, 5)

    on_draw = body(src, "onDraw", 18, 20)
    on_draw.op("PREPCALLK", 1, on_draw.literal("drawTextureFirst"), 0, 2)
    on_draw.op("LOADINT", 3, 1)
    on_draw.op("NEG", 3, 3)
    on_draw.op("GETK", 4, on_draw.literal("counter"), 0)
    on_draw.op("LOADINT", 5, 40)
    on_draw.op("ARITH", 4, 5, 4, MUL)
    for register, value in enumerate([100, 64, 32, 0, 0, 0, 0, 0], start=5):
        on_draw.op("LOADINT", register, value)
    for register, value in enumerate([1.0, 0.5, 0.0, 1.0, 0.5, 0.5], start=13):
        on_draw.op("LOADFLOAT", register, float_bits(value))
    on_draw.op("CALL", 1, 1, 2, 17)
    finish(on_draw, 21, 19)

    on_unload = body(src, "onUnload", 23, 25)
    call_print(on_unload, "init onUnload")
    finish(on_unload, 26, 4)

    return top_level(src, [(2, on_load), (8, on_proc), (18, on_draw), (23, on_unload)], 27)


def second_script():
    src = "script\\second.nut"

    describe = body(src, "describe", 3, 5, params=("this", "table", "key"))
    describe.op("LOAD", 3, describe.literal("item"))
    describe.line(6)
    describe.op("LOAD", 4, describe.literal(" "))
    describe.op("ARITH", 4, 4, 3, ADD)
    describe.op("GET", 5, 1, 2)
    describe.op("ARITH", 4, 5, 4, ADD)
    last = describe.op("RETURN", 1, 4)
    describe.local("label", 3, 1, last)
    finish(describe, 7, 6)

    on_load = body(src, "onLoad", 9, 11)
    call_print(on_load, "second onLoad")
    finish(on_load, 12, 4)

    on_proc = body(src, "onProc", 14, 16)
    for line, key in ((16, "name"), (17, "size")):
        if line != 16:
            on_proc.line(line)
        on_proc.op("PREPCALLK", 1, on_proc.literal("print"), 0, 2)
        on_proc.op("PREPCALLK", 3, on_proc.literal("describe"), 0, 4)
        on_proc.op("NEWTABLE", 5, 1)
        on_proc.op("DLOAD", 6, on_proc.literal("name"), 7, on_proc.literal("lamp"))
        on_proc.op("NEWSLOTA", 0, 5, 6, 7)
        on_proc.op("LOAD", 6, on_proc.literal(key))
        on_proc.op("CALL", 3, 3, 4, 3)
        on_proc.op("CALL", 1, 1, 2, 2)
    finish(on_proc, 18, 8)

    on_draw = body(src, "onDraw", 20, 22)
    on_draw.lines.pop()  # an empty body: the closing line is the only other entry
    finish(on_draw, 22, 1)

    on_unload = body(src, "onUnload", 24, 26)
    call_print(on_unload, "second onUnload")
    finish(on_unload, 27, 4)

    return top_level(src, [(3, describe), (9, on_load), (14, on_proc), (20, on_draw),
                           (24, on_unload)], 28)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "tests", "games", "compiled", "script")
    os.makedirs(out, exist_ok=True)
    for name, build in (("init.nut", init_script), ("second.nut", second_script)):
        with open(os.path.join(out, name), "wb") as fh:
            fh.write(asm.assemble(build()))


if __name__ == "__main__":
    main()
