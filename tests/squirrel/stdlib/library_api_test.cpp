#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "test_vm.h"

namespace {

using sqstd_test::TestVm;

TEST(BlobApi, SharesBytesWithTheHost) {
    TestVm t;
    SQInteger top = sq_gettop(t.vm);
    SQUserPointer p = sqstd_createblob(t.vm, 3);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(sq_gettop(t.vm), top + 1);
    std::memcpy(p, "abc", 3);
    EXPECT_EQ(sqstd_getblobsize(t.vm, -1), 3);
    SQUserPointer again = nullptr;
    EXPECT_EQ(sqstd_getblob(t.vm, -1, &again), SQ_OK);
    EXPECT_EQ(again, p);

    sq_pushroottable(t.vm);
    sq_pushstring(t.vm, "b", -1);
    sq_push(t.vm, -3);
    sq_newslot(t.vm, -3, SQFalse);
    sq_settop(t.vm, top);
    EXPECT_TRUE(t.run("print(b[0] + \" \" + b[2] + \" \" + b.len());"));
    EXPECT_EQ(t.printed(), "97 99 3");

    sq_pushinteger(t.vm, 5);
    EXPECT_EQ(sqstd_getblobsize(t.vm, -1), -1);
    EXPECT_EQ(sqstd_getblob(t.vm, -1, &again), SQ_ERROR);
    sq_pop(t.vm, 1);
}

TEST(BlobApi, SizeLimitRefusesLargerBlobs) {
    TestVm t;
    sq_setsizelimit(t.vm, 1024);
    EXPECT_TRUE(t.run("local b = blob(1024); b.resize(512);"));
    EXPECT_FALSE(t.run("blob(1025);"));
    EXPECT_FALSE(t.run("blob(16).resize(1025);"));
    EXPECT_EQ(t.lastError(), "resize failed");
}

TEST(BlobApi, CreatesNothingWithoutTheLibrary) {
    HSQUIRRELVM v = sq_open(64);
    EXPECT_EQ(sqstd_createblob(v, 4), nullptr);
    EXPECT_EQ(sq_gettop(v), 0);
    sq_close(v);
}

TEST(FileApi, WrapsAndUnwrapsCStreams) {
    TestVm t;
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(sqstd_createfile(t.vm, f, SQFalse), SQ_OK);
    SQFILE back = nullptr;
    EXPECT_EQ(sqstd_getfile(t.vm, -1, &back), SQ_OK);
    EXPECT_EQ(back, f);
    sq_pop(t.vm, 1);
    sq_collectgarbage(t.vm);
    EXPECT_EQ(std::fputc('x', f), 'x');  // not owned: still open
    std::fclose(f);

    sqstd_createblob(t.vm, 1);
    EXPECT_EQ(sqstd_getfile(t.vm, -1, &back), SQ_ERROR);
    EXPECT_EQ(t.lastError(), "not a file");
    sq_pop(t.vm, 1);
}

TEST(LibraryRegistration, NeedsATable) {
    TestVm t;
    sq_pushinteger(t.vm, 1);
    EXPECT_EQ(sqstd_register_iolib(t.vm), SQ_ERROR);
    EXPECT_EQ(t.lastError(), "table expected");
    EXPECT_EQ(sqstd_register_bloblib(t.vm), SQ_ERROR);
    EXPECT_EQ(sq_gettop(t.vm), 1);
    sq_pop(t.vm, 1);
}

TEST(LibraryRegistration, SharesOneStreamClass) {
    TestVm t;
    EXPECT_TRUE(t.run("print((file.parent == stream) + \" \" + (blob.parent == stream) + \" \""
                      " + (blob(1) instanceof stream));"));
    EXPECT_EQ(t.printed(), "true true true");
}

TEST(RandomNumbers, FollowTheSeededGenerator) {
    TestVm t;
    sqstd_seedrandom(1);
    EXPECT_TRUE(t.run("for (local i = 0; i < 5; i++) print(rand() + \" \");"));
    EXPECT_EQ(t.printed(), "41 18467 6334 26500 19169 ");
    t.lines.clear();
    sqstd_seedrandom(12345);
    EXPECT_TRUE(t.run("print(rand() + \" \" + rand());"));
    EXPECT_EQ(t.printed(), "7584 19164");
}

TEST(FormatApi, LeavesTheTextInTheScratchPad) {
    TestVm t;
    sq_pushstring(t.vm, "%s-%03d", -1);
    sq_pushstring(t.vm, "id", -1);
    sq_pushinteger(t.vm, 7);
    SQChar* out = nullptr;
    SQInteger length = 0;
    ASSERT_EQ(sqstd_format(t.vm, 1, &length, &out), SQ_OK);
    EXPECT_EQ(std::string(out, size_t(length)), "id-007");
    sq_settop(t.vm, 0);
    sq_pushstring(t.vm, "%d", -1);
    EXPECT_EQ(sqstd_format(t.vm, 1, &length, &out), SQ_ERROR);
    EXPECT_EQ(t.lastError(), "not enough paramters for the given format string");
    sq_settop(t.vm, 0);
}

TEST(RegexpApi, ReportsMatchesAsPointers) {
    const SQChar* error = nullptr;
    EXPECT_EQ(sqstd_rex_compile("(ab", &error), nullptr);
    EXPECT_STREQ(error, "expected paren");
    SQRex* rex = sqstd_rex_compile("b(c+)", &error);
    ASSERT_NE(rex, nullptr);
    const char* text = "abccd";
    const SQChar* begin = nullptr;
    const SQChar* end = nullptr;
    ASSERT_TRUE(sqstd_rex_search(rex, text, &begin, &end));
    EXPECT_EQ(begin, text + 1);
    EXPECT_EQ(end, text + 4);
    SQRexMatch group;
    ASSERT_TRUE(sqstd_rex_getsubexp(rex, 1, &group));
    EXPECT_EQ(group.begin, text + 2);
    EXPECT_EQ(group.len, 2);
    EXPECT_FALSE(sqstd_rex_getsubexp(rex, 2, &group));
    EXPECT_EQ(sqstd_rex_getsubexpcount(rex), 2);
    EXPECT_FALSE(sqstd_rex_match(rex, "abcc"));
    EXPECT_TRUE(sqstd_rex_match(rex, "bcc"));
    sqstd_rex_free(rex);
}

}  // namespace
