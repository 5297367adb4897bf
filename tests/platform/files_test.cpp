#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/files.h"

namespace {

// A scratch folder per test, removed afterwards.
class GamePathResolution : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tesserae-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = std::string(pattern) + "/";
    }
    void TearDown() override {
        std::string command = "rm -rf '" + root + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    void makeFolder(const std::string& relative) { ASSERT_EQ(mkdir((root + relative).c_str(), 0777), 0); }
    void makeFile(const std::string& relative, const std::string& contents = "x") {
        std::ofstream(root + relative) << contents;
    }
    std::string root;
};

TEST_F(GamePathResolution, BackslashesAndExactNames) {
    makeFolder("script");
    makeFile("script/init.nut");
    EXPECT_EQ(platform::resolveGamePath(root + "script\\init.nut"), root + "script/init.nut");
    EXPECT_TRUE(platform::fileExists(root + "script\\init.nut"));
}

TEST_F(GamePathResolution, MixedCaseComponentsMatchExistingEntries) {
    makeFolder("System");
    makeFolder("System/Board");
    makeFile("System/Board/Board.CHA");
    EXPECT_EQ(platform::resolveGamePath(root + "system\\board\\board.cha"),
              root + "System/Board/Board.CHA");
    std::vector<uint8_t> data;
    EXPECT_TRUE(platform::readFile(root + "SYSTEM\\BOARD\\BOARD.cha", data));
    EXPECT_EQ(data.size(), 1u);
}

TEST_F(GamePathResolution, MissingComponentsKeepTheGivenName) {
    makeFolder("Save");
    // The folder matches, the file does not exist yet: created as named.
    EXPECT_EQ(platform::resolveGamePath(root + "save\\Slot1.dat"), root + "Save/Slot1.dat");
    // Nothing below a missing folder is looked up.
    EXPECT_EQ(platform::resolveGamePath(root + "nosuch\\deeper\\File.txt"),
              root + "nosuch/deeper/File.txt");
    EXPECT_FALSE(platform::fileExists(root + "nosuch\\deeper\\File.txt"));
}

TEST_F(GamePathResolution, FolderAndFileDifferingOnlyInCase) {
    makeFile("data", "file");
    makeFolder("Data");
    makeFile("Data/item.txt", "item");
    // As a folder component "data" must mean the folder...
    EXPECT_EQ(platform::resolveGamePath(root + "data\\item.txt"), root + "Data/item.txt");
    // ...and as the last component the exact file wins.
    EXPECT_EQ(platform::resolveGamePath(root + "data"), root + "data");
    // Neither exact: the first of the candidates in sorted order.
    EXPECT_EQ(platform::resolveGamePath(root + "DATA"), root + "Data");
}

TEST_F(GamePathResolution, ExactMatchWinsOverOtherCases) {
    makeFile("a.txt", "lower");
    makeFile("A.txt", "upper");
    EXPECT_EQ(platform::resolveGamePath(root + "A.txt"), root + "A.txt");
    EXPECT_EQ(platform::resolveGamePath(root + "a.txt"), root + "a.txt");
    // Neither exact: the first in sorted order, independent of directory order.
    EXPECT_EQ(platform::resolveGamePath(root + "a.TXT"), root + "A.txt");
}

TEST_F(GamePathResolution, RelativePathsFollowTheCurrentDirectory) {
    makeFolder("Script");
    makeFile("Script/Init.nut");
    std::string before = platform::currentDir();
    ASSERT_TRUE(platform::setCurrentDir(root));
    EXPECT_TRUE(platform::fileExists("script\\init.nut"));
    EXPECT_EQ(platform::resolveGamePath("script\\init.nut"), "Script/Init.nut");
    ASSERT_TRUE(platform::setCurrentDir(before));
}

TEST_F(GamePathResolution, ReplaceFileSwapsContentsWhole) {
    std::string target = root + "save.dat";
    ASSERT_TRUE(platform::replaceFile(target, "first", 5));
    ASSERT_TRUE(platform::replaceFile(target, "second", 6));
    std::vector<uint8_t> data;
    ASSERT_TRUE(platform::readFile(target, data));
    EXPECT_EQ(std::string(data.begin(), data.end()), "second");
    // No temporary files are left beside it.
    std::string listing = root + "listing";
    std::string command = "ls -A '" + root + "' | grep -v listing > '" + listing + "'";
    ASSERT_EQ(system(command.c_str()), 0);
    std::ifstream in(listing);
    std::string names((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(names, "save.dat\n");
}

TEST_F(GamePathResolution, FailedReplaceKeepsTheOldFile) {
    std::string target = root + "keep.dat";
    makeFile("keep.dat", "old");
    // A target whose folder cannot hold the temporary file fails cleanly.
    EXPECT_FALSE(platform::replaceFile(root + "missing\\keep.dat", "new", 3));
    // A target that is a folder cannot be replaced by a file.
    makeFolder("dir");
    EXPECT_FALSE(platform::replaceFile(root + "dir", "new", 3));
    std::vector<uint8_t> data;
    ASSERT_TRUE(platform::readFile(target, data));
    EXPECT_EQ(std::string(data.begin(), data.end()), "old");
    EXPECT_TRUE(platform::isDirectory(root + "dir"));
}

// Saves and screenshots never turn a link, a FIFO or a device into a
// regular file.
TEST_F(GamePathResolution, ReplaceFileRefusesWhatIsNotARegularFile) {
    ASSERT_EQ(mkfifo((root + "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(platform::replaceFile(root + "fifo", "new", 3));
    struct stat st {};
    ASSERT_EQ(lstat((root + "fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    ASSERT_EQ(symlink("/dev/null", (root + "device").c_str()), 0);
    EXPECT_FALSE(platform::replaceFile(root + "device", "new", 3));
    ASSERT_EQ(symlink((root + "nowhere").c_str(), (root + "dangling").c_str()), 0);
    EXPECT_FALSE(platform::replaceFile(root + "dangling", "new", 3));
    EXPECT_FALSE(platform::fileExists(root + "nowhere"));

    makeFolder("real");
    makeFile("real/save.dat", "old");
    ASSERT_EQ(chmod((root + "real/save.dat").c_str(), 0640), 0);
    ASSERT_EQ(symlink("real/save.dat", (root + "link.dat").c_str()), 0);
    ASSERT_TRUE(platform::replaceFile(root + "link.dat", "new", 3));
    ASSERT_EQ(lstat((root + "link.dat").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    std::vector<uint8_t> data;
    ASSERT_TRUE(platform::readFile(root + "real/save.dat", data));
    EXPECT_EQ(std::string(data.begin(), data.end()), "new");
    ASSERT_EQ(stat((root + "real/save.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(GamePathResolution, MissingFilesReadAsFailures) {
    std::vector<uint8_t> data{1, 2, 3};
    EXPECT_FALSE(platform::readFile(root + "none.bin", data));
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(platform::openGameFile(root + "none.bin", "rb"), nullptr);
    EXPECT_FALSE(platform::removeFile(root + "none.bin"));
}

}  // namespace

namespace {

// A game names its files in code page 932; the tools that unpacked it here
// stored the names in UTF-8 (and a UTF-8 script may name a file stored as
// code page 932). Either finds the file, in any letter case, and a
// backslash byte inside a code page 932 character is not a separator.
TEST_F(GamePathResolution, JapaneseNamesInEitherEncoding) {
    const std::string imageUtf8 = "\xE7\x94\xBB\xE5\x83\x8F", imageCp932 = "\x89\xE6\x91\x9C";  // 画像
    const std::string tableUtf8 = "\xE8\xA1\xA8", tableCp932 = "\x95\x5C";                      // 表
    makeFolder(imageUtf8);
    makeFile(imageUtf8 + "/" + tableUtf8 + ".BMP", "utf8");
    makeFile(tableCp932 + "2.bmp", "cp932");
    std::vector<uint8_t> data;
    ASSERT_TRUE(platform::readFile(root + imageCp932 + "\\" + tableCp932 + ".bmp", data));
    EXPECT_EQ(std::string(data.begin(), data.end()), "utf8");
    ASSERT_TRUE(platform::readFile(root + tableUtf8 + "2.BMP", data));
    EXPECT_EQ(std::string(data.begin(), data.end()), "cp932");
    EXPECT_TRUE(platform::fileExists(root + imageUtf8 + "\\" + tableUtf8 + ".bmp"));
    // A name that matches nothing keeps the form it was given in.
    EXPECT_EQ(platform::resolveGamePath(root + imageCp932 + "\\" + "new.dat"), root + imageUtf8 + "/new.dat");
}

// Paths of the user's keep their backslashes; game paths inside such a
// folder still convert theirs.
TEST_F(GamePathResolution, HostFoldersKeepTheirBackslashes) {
    makeFolder("my\\game");
    makeFolder("my\\game/Data");
    makeFile("my\\game/Data/a.txt", "a");
    EXPECT_TRUE(platform::isDirectory(root + "my\\game"));
    EXPECT_TRUE(platform::isDirectory(root + "MY\\GAME"));
    EXPECT_EQ(platform::resolveGamePathIn(root + "my\\game/", "data\\A.TXT"), root + "my\\game/Data/a.txt");
}

}  // namespace
