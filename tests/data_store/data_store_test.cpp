#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "data/data_store.h"
#include "platform/files.h"

namespace {

class DataFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tesserae-data-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = std::string(pattern) + "/";
    }
    void TearDown() override {
        std::string command = "rm -rf '" + root + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    std::string read(const std::string& name) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(platform::readFile(root + name, bytes));
        return std::string(bytes.begin(), bytes.end());
    }
    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(root + name, std::ios::binary) << bytes;
    }
    std::string path(const std::string& name) { return root + name; }
    std::string root;
};

TEST_F(DataFiles, SavesOneCallPerEntryInByteOrder) {
    data::DataStore store;
    store.setData("stage", "3");
    store.setData("name", "Ann");
    store.setData("b", "2");
    store.setData("a", "1");
    store.setData("ab", "x");
    store.setData("\x8a\xbf", "\x8e\x9a");  // Shift-JIS bytes sort after ASCII and stay as they are
    ASSERT_TRUE(store.saveData(path("save.txt").c_str()));
    EXPECT_EQ(read("save.txt"),
              "setData(\"a\",\"1\");setData(\"ab\",\"x\");setData(\"b\",\"2\");"
              "setData(\"name\",\"Ann\");setData(\"stage\",\"3\");"
              "setData(\"\x8a\xbf\",\"\x8e\x9a\");");
}

TEST_F(DataFiles, MissingKeyReadsEmptyAndIsSavedEmpty) {
    data::DataStore store;
    EXPECT_EQ(store.getData("nothing"), "");
    store.setData("nothing", "");  // unchanged
    ASSERT_TRUE(store.saveData(path("s.txt").c_str()));
    EXPECT_EQ(read("s.txt"), "setData(\"nothing\",\"\");");
}

TEST_F(DataFiles, EmptyStoreSavesAnEmptyFile) {
    data::DataStore store;
    write("old.txt", "previous");
    ASSERT_TRUE(store.saveData(path("old.txt").c_str()));
    EXPECT_EQ(read("old.txt"), "");
}

TEST_F(DataFiles, QuotesBackslashesAndLineBreaksAreEscaped) {
    data::DataStore store;
    store.setData("say", "He said \"hi\"\\\r\n");
    store.setData("k\"ey", "v");
    EXPECT_EQ(store.savedText(),
              "setData(\"k\\\"ey\",\"v\");setData(\"say\",\"He said \\\"hi\\\"\\\\\\r\\n\");");
}

TEST_F(DataFiles, FailedSaveKeepsThePreviousFile) {
    data::DataStore store;
    store.setData("k", "v");
    // A folder where the file should be: nothing can be written over it.
    ASSERT_EQ(mkdir(path("taken").c_str(), 0777), 0);
    EXPECT_FALSE(store.saveData(path("taken").c_str()));
    // A missing folder: the file cannot be created.
    EXPECT_FALSE(store.saveData(path("no/such/file.txt").c_str()));
    // The folder is untouched and no temporary file is left behind.
    EXPECT_TRUE(platform::isDirectory(path("taken")));
    write("other.txt", "setData(\"old\",\"1\");");
    std::string listing = "ls -A '" + root + "' > '" + root + "listing'";
    ASSERT_EQ(system(listing.c_str()), 0);
    EXPECT_EQ(read("listing"), "listing\nother.txt\ntaken\n");
}

TEST_F(DataFiles, LoadReplacesEntriesAndStopsAtNul) {
    data::DataStore store;
    store.setData("kept", "1");
    write("with_nul.txt", std::string("setData(\"a\",\"1\");\0tail", 22));
    ASSERT_TRUE(store.loadData(path("with_nul.txt").c_str()));
    EXPECT_EQ(store.getLoadData(), "setData(\"a\",\"1\");");
    EXPECT_EQ(store.size(), 0u);  // emptied before the script runs the text
}

TEST_F(DataFiles, LoadOfMissingFileKeepsEntriesAndEmptiesText) {
    data::DataStore store;
    write("one.txt", "text");
    ASSERT_TRUE(store.loadData(path("one.txt").c_str()));
    store.setData("kept", "1");
    EXPECT_FALSE(store.loadData(path("missing.txt").c_str()));
    EXPECT_EQ(store.getLoadData(), "");
    EXPECT_EQ(store.getData("kept"), "1");
}

TEST_F(DataFiles, ClearEmptiesEntriesAndLoadedText) {
    data::DataStore store;
    write("one.txt", "text");
    ASSERT_TRUE(store.loadData(path("one.txt").c_str()));
    store.setData("k", "v");
    store.clearData();
    EXPECT_EQ(store.size(), 0u);
    EXPECT_EQ(store.getLoadData(), "");
}

}  // namespace
