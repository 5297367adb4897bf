#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "test_vm.h"

namespace {

using sqstd_test::TempDir;
using sqstd_test::TestVm;

// Loads `path` and calls it; the string it returns, or "error: <text>".
std::string loadAndCall(TestVm& t, const std::string& path) {
    SQInteger top = sq_gettop(t.vm);
    if (SQ_FAILED(sqstd_loadfile(t.vm, path.c_str(), SQTrue))) {
        EXPECT_EQ(sq_gettop(t.vm), top);
        return "error: " + t.lastError();
    }
    sq_pushroottable(t.vm);
    std::string result = "call failed";
    if (SQ_SUCCEEDED(sq_call(t.vm, 1, SQTrue, SQTrue))) {
        const SQChar* s = nullptr;
        SQInteger n = 0;
        if (SQ_SUCCEEDED(sq_getstring(t.vm, -1, &s))) {
            n = sq_getsize(t.vm, -1);
            result.assign(s, size_t(n));
        } else {
            result = "not a string";
        }
    }
    sq_settop(t.vm, top);
    return result;
}

std::string utf16(const std::string& text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text) {
        if (bigEndian) out += '\0';
        out += c;
        if (!bigEndian) out += '\0';
    }
    return out;
}

TEST(FileLoader, FailsOnAMissingFile) {
    TestVm t;
    TempDir dir;
    EXPECT_EQ(loadAndCall(t, dir.file("none.nut")), "error: cannot open the file");
    SQInteger top = sq_gettop(t.vm);
    sq_pushroottable(t.vm);
    EXPECT_TRUE(SQ_FAILED(sqstd_dofile(t.vm, dir.file("none.nut").c_str(), SQTrue, SQTrue)));
    EXPECT_EQ(sq_gettop(t.vm), top + 1);
    EXPECT_TRUE(t.lines.empty());
}

TEST(FileLoader, ReadsEachEncoding) {
    TestVm t;
    TempDir dir;
    dir.write("raw.nut", "return \"\x82\xA0\";");  // legacy code page bytes pass through
    dir.write("utf8.nut", "\xEF\xBB\xBFreturn \"\xC3\xA9\";");
    dir.write("le.nut", utf16("return \"le\";", false));
    dir.write("be.nut", utf16("return \"be\";", true));
    dir.write("nul.nut", std::string("return \"x\";\0 junk ((", 20));
    dir.write("short.nut", "1");
    EXPECT_EQ(loadAndCall(t, dir.file("raw.nut")), "\x82\xA0");
    EXPECT_EQ(loadAndCall(t, dir.file("utf8.nut")), "\xE9");
    EXPECT_EQ(loadAndCall(t, dir.file("le.nut")), "le");
    EXPECT_EQ(loadAndCall(t, dir.file("be.nut")), "be");
    EXPECT_EQ(loadAndCall(t, dir.file("nul.nut")), "x");
    EXPECT_EQ(loadAndCall(t, dir.file("short.nut")), "not a string");
}

TEST(FileLoader, RefusesBrokenByteOrderMarks) {
    TestVm t;
    TempDir dir;
    dir.write("cut.nut", "\xEF\xBB");
    dir.write("wrong.nut", "\xEF\xBBreturn 1;");
    dir.write("wide.nut", "\xEF\xBB\xBFreturn \"\xE3\x81\x82\";");  // U+3042
    EXPECT_EQ(loadAndCall(t, dir.file("cut.nut")), "error: io error");
    EXPECT_EQ(loadAndCall(t, dir.file("wrong.nut")), "error: Unrecognozed ecoding");
    EXPECT_EQ(loadAndCall(t, dir.file("wide.nut")), "error: Invalid character");
}

TEST(FileLoader, ResolvesGamePathsAndKeepsTheGivenName) {
    TestVm t;
    TempDir dir;
    std::filesystem::create_directory(dir.file("Script"));
    dir.write("Script/Init.nut", "x = ;");
    std::string given = dir.path + "\\SCRIPT\\init.NUT";
    EXPECT_EQ(loadAndCall(t, given), "error: expression expected");
    ASSERT_EQ(t.lines.size(), 1u);
    EXPECT_EQ(t.lines[0], given + " line = (1) column = (5) : error expression expected\n");

    t.lines.clear();
    EXPECT_TRUE(SQ_FAILED(sqstd_loadfile(t.vm, given.c_str(), SQFalse)));
    EXPECT_TRUE(t.lines.empty());
}

TEST(FileLoader, DofileReturnsOneAndKeepsThis) {
    TestVm t;
    TempDir dir;
    dir.write("ok.nut", "return this.v * 2;");
    dir.write("bad.nut", "local z = 0;\nreturn 1 / z;");
    SQInteger top = sq_gettop(t.vm);
    sq_newtable(t.vm);
    sq_pushstring(t.vm, "v", -1);
    sq_pushinteger(t.vm, 21);
    sq_newslot(t.vm, -3, SQFalse);
    EXPECT_EQ(sqstd_dofile(t.vm, dir.file("ok.nut").c_str(), SQTrue, SQTrue), 1);
    ASSERT_EQ(sq_gettop(t.vm), top + 2);
    SQInteger result = 0;
    sq_getinteger(t.vm, -1, &result);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(sq_gettype(t.vm, -2), OT_TABLE);
    sq_pop(t.vm, 1);

    EXPECT_EQ(sqstd_dofile(t.vm, dir.file("bad.nut").c_str(), SQFalse, SQTrue), SQ_ERROR);
    EXPECT_EQ(sq_gettop(t.vm), top + 1);
    ASSERT_FALSE(t.lines.empty());
    EXPECT_EQ(t.lines[0], "\nAN ERROR HAS OCCURED [division by zero]\n");
    sq_settop(t.vm, top);
}

TEST(FileLoader, RoundTripsTheEnginesCompiledForm) {
    TestVm t;
    TempDir dir;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(t.vm, "return \"compiled\";", 18, "c.nut", SQTrue)));
    SQRESULT written = sqstd_writeclosuretofile(t.vm, dir.file("c.cnut").c_str());
    sq_pop(t.vm, 1);
    if (SQ_FAILED(written)) GTEST_SKIP() << "the engine writes no compiled form: " << t.lastError();
    EXPECT_EQ(loadAndCall(t, dir.file("c.cnut")), "compiled");
}

TEST(FileLoader, HandsBytecodeTagsToTheEngine) {
    TestVm t;
    TempDir dir;
    dir.write("old.cnut", std::string("\xFA\xFA" "RIQS\x01\0\0\0", 10));
    std::string result = loadAndCall(t, dir.file("old.cnut"));
    EXPECT_EQ(result.rfind("error: ", 0), 0u) << result;
    EXPECT_NE(result, "error: cannot open the file");
}

// Files compiled by 2.1.1 next to their sources: loaded through the file
// loader they print what the source prints here, error reports included
// (recorded source name, line table, locals in stored order).
TEST(FileLoader, CompiledFilesOf211RunLikeTheirSource) {
    const std::filesystem::path folder = std::filesystem::path(TESSERAE_STDLIB_SCRIPTS).parent_path() / "compiled";
    for (const char* name : {"exc_stdreport", "dbg_stackinfos", "gen_basic", "fn_tailcall"}) {
        SCOPED_TRACE(name);
        std::ifstream in(folder / (std::string(name) + ".src"), std::ios::binary);
        std::stringstream source;
        source << in.rdbuf();
        TestVm fromSource;
        EXPECT_TRUE(fromSource.run(source.str(), (std::string(name) + ".nut").c_str()));
        TestVm compiled;
        sq_pushroottable(compiled.vm);
        std::string path = (folder / (std::string(name) + ".cnut")).string();
        EXPECT_TRUE(SQ_SUCCEEDED(sqstd_dofile(compiled.vm, path.c_str(), SQFalse, SQTrue))) << compiled.lastError();
        EXPECT_FALSE(fromSource.printed().empty());
        EXPECT_EQ(compiled.printed(), fromSource.printed());
    }
}

TEST(FileLoader, DamagedCompiledFilesFailLikeACompileError) {
    TestVm t;
    const std::filesystem::path folder = std::filesystem::path(TESSERAE_STDLIB_SCRIPTS).parent_path() / "compiled";
    std::string path = (folder / "bad_jump.cnut").string();
    EXPECT_EQ(loadAndCall(t, path).rfind("error: invalid or corrupted closure stream", 0), 0u);
    std::string script = "try { loadfile(\"" + path + "\"); } catch (e) { print(e); }";
    EXPECT_TRUE(t.run(script));
    EXPECT_EQ(t.printed().rfind("invalid or corrupted closure stream", 0), 0u) << t.printed();
    EXPECT_EQ(t.printed().find("DAMAGED"), std::string::npos);
}

TEST(FileLoader, WriteclosuretofileNeedsAWritablePath) {
    TestVm t;
    TempDir dir;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(t.vm, "return 1;", 9, "c.nut", SQTrue)));
    EXPECT_TRUE(SQ_FAILED(
        sqstd_writeclosuretofile(t.vm, dir.file("no_such_dir/c.cnut").c_str())));
    EXPECT_EQ(t.lastError(), "cannot open the file");
    sq_pop(t.vm, 1);
}

}  // namespace
