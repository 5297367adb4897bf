#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_vm.h"

namespace {

using sqstd_test::TestVm;
using Lines = std::vector<std::string>;

// Every line of the report is its own print call: hosts log them one by one.
TEST(RuntimeErrorReport, ListsFramesAndLocalsOfEveryType) {
    TestVm t;
    sq_pushroottable(t.vm);
    sq_pushstring(t.vm, "up", -1);
    sq_pushuserpointer(t.vm, &t);
    sq_newslot(t.vm, -3, SQFalse);
    sq_pushstring(t.vm, "ud", -1);
    sq_newuserdata(t.vm, 8);
    sq_newslot(t.vm, -3, SQFalse);
    sq_pop(t.vm, 1);

    const char* script =
        "class C {}\n"
        "function gen_fn() { yield 1; }\n"
        "function inner(a, b) {\n"
        "    local n = null;\n"
        "    local i = 7;\n"
        "    local f = 0.1;\n"
        "    local bo = true;\n"
        "    local s = \"str\";\n"
        "    local t = {};\n"
        "    local ar = [];\n"
        "    local cl = function() {};\n"
        "    local nc = print;\n"
        "    local gen = gen_fn();\n"
        "    local up = ::up;\n"
        "    local ud = ::ud;\n"
        "    local th = ::newthread(cl);\n"
        "    local cls = C;\n"
        "    local inst = C();\n"
        "    local wr = t.weakref();\n"
        "    throw \"boom\";\n"
        "}\n"
        "function outer() {\n"
        "    local k = 1;\n"
        "    inner(k, \"x\");\n"
        "}\n"
        "outer();\n";
    EXPECT_FALSE(t.run(script, "report.nut"));
    EXPECT_EQ(t.lastError(), "boom");
    Lines expected = {
        "\nAN ERROR HAS OCCURED [boom]\n",
        "\nCALLSTACK\n",
        "*FUNCTION [inner()] report.nut line [20]\n",
        "*FUNCTION [outer()] report.nut line [24]\n",
        "*FUNCTION [main()] report.nut line [26]\n",
        "\nLOCALS\n",
        "[wr] WEAKREF\n",
        "[inst] INSTANCE\n",
        "[cls] CLASS\n",
        "[th] THREAD\n",
        "[ud] USERDATA\n",
        "[up] USERPOINTER\n",
        "[gen] NATIVECLOSURE\n",
        "[nc] NATIVECLOSURE\n",
        "[cl] CLOSURE\n",
        "[ar] ARRAY\n",
        "[t] TABLE\n",
        "[s] \"str\"\n",
        "[bo] true\n",
        "[f] 0.10000000149012\n",
        "[i] 7\n",
        "[n] NULL\n",
        "[b] \"x\"\n",
        "[a] 1\n",
        "[this] TABLE\n",
        "[k] 1\n",
        "[this] TABLE\n",
        "[this] TABLE\n",
    };
    EXPECT_EQ(t.lines, expected);
}

TEST(RuntimeErrorReport, NamesAnErrorThatIsNoString) {
    TestVm t;
    EXPECT_FALSE(t.run("throw 5;"));
    Lines expected = {
        "\nAN ERROR HAS OCCURED [unknown]\n", "\nCALLSTACK\n",
        "*FUNCTION [main()] test.nut line [1]\n", "\nLOCALS\n", "[this] TABLE\n",
    };
    EXPECT_EQ(t.lines, expected);
}

TEST(RuntimeErrorReport, PrintsFloatLocalsWithThreeExponentDigits) {
    TestVm t;
    EXPECT_FALSE(t.run("local big = 1.0e20;\nlocal tiny = -2.5e-7;\nthrow \"f\";"));
    ASSERT_EQ(t.lines.size(), 7u);
    EXPECT_EQ(t.lines[4], "[tiny] -2.4999999936881e-007\n");
    EXPECT_EQ(t.lines[5], "[big] 1.0000000200409e+020\n");
}

TEST(RuntimeErrorReport, ListsLocalsOfNineFramesOnly) {
    TestVm t;
    EXPECT_FALSE(t.run("function r(n) {\n"
                       "    if (n == 0) throw \"deep\";\n"
                       "    r(n - 1);\n"
                       "}\n"
                       "r(11);\n"));
    ASSERT_GE(t.lines.size(), 2u);
    size_t locals = 0;
    while (locals < t.lines.size() && t.lines[locals] != "\nLOCALS\n") ++locals;
    ASSERT_LT(locals, t.lines.size());
    EXPECT_EQ(locals, 2u + 13u);  // 12 calls of r and main
    EXPECT_EQ(t.lines[2], "*FUNCTION [r()] test.nut line [2]\n");
    EXPECT_EQ(t.lines[3], "*FUNCTION [r()] test.nut line [3]\n");
    EXPECT_EQ(t.lines[locals - 1], "*FUNCTION [main()] test.nut line [5]\n");
    Lines tail(t.lines.begin() + long(locals) + 1, t.lines.end());
    ASSERT_EQ(tail.size(), 18u);
    EXPECT_EQ(tail[0], "[n] 0\n");
    EXPECT_EQ(tail[16], "[n] 8\n");
    EXPECT_EQ(tail[17], "[this] TABLE\n");
}

TEST(RuntimeErrorReport, PrintsNothingWithoutAPrintFunction) {
    TestVm t;
    sq_setprintfunc(t.vm, nullptr);
    EXPECT_FALSE(t.run("local x = 1; throw \"quiet\";"));
    EXPECT_EQ(t.lastError(), "quiet");
    EXPECT_TRUE(t.lines.empty());
}

SQInteger dumpStack(HSQUIRRELVM v) {
    sqstd_printcallstack(v);
    return 0;
}

TEST(CallStackPrinter, SkipsTheNativeThatCallsIt) {
    TestVm t;
    sq_pushroottable(t.vm);
    sq_pushstring(t.vm, "dump", -1);
    sq_newclosure(t.vm, dumpStack, 0);
    sq_newslot(t.vm, -3, SQFalse);
    sq_pop(t.vm, 1);
    EXPECT_TRUE(t.run("function f(x) { dump(); }\nf(3);\n"));
    Lines expected = {
        "\nCALLSTACK\n",  "*FUNCTION [f()] test.nut line [1]\n",
        "*FUNCTION [main()] test.nut line [2]\n", "\nLOCALS\n",
        "[x] 3\n", "[this] TABLE\n", "[this] TABLE\n",
    };
    EXPECT_EQ(t.lines, expected);
}

TEST(CompilerErrorReport, GivesSourceLineAndColumn) {
    TestVm t;
    EXPECT_FALSE(t.run("x = ;", "script\\init.nut"));
    EXPECT_EQ(t.lastError(), "expression expected");
    Lines expected = {"script\\init.nut line = (1) column = (5) : error expression expected\n"};
    EXPECT_EQ(t.lines, expected);
}

}  // namespace
