#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/files.h"
#include "platform/save_folder.h"

namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// A game folder made current and an empty save folder beside it; the
// redirection is switched off again afterwards.
class SaveFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tesserae-save-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = std::string(pattern) + "/";
        game = root + "game/";
        save = root + "save/";
        ASSERT_EQ(mkdir(game.c_str(), 0777), 0);
        ASSERT_EQ(mkdir(save.c_str(), 0777), 0);
        before = platform::currentDir();
        ASSERT_TRUE(platform::setCurrentDir(game));
    }
    void TearDown() override {
        platform::setSaveFolder("");
        platform::setFallbackSaveFolder("");
        platform::setCurrentDir(before);
        chmod(game.c_str(), 0777);
        std::string command = "rm -rf '" + root + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    void makeGameFile(const std::string& relative, const std::string& text) {
        std::ofstream(game + relative, std::ios::binary) << text;
    }
    std::string read(const std::string& windowsPath) {
        std::vector<uint8_t> data;
        if (!platform::readFile(windowsPath, data)) return "<unreadable>";
        return std::string(data.begin(), data.end());
    }
    std::string root, game, save, before;
};

TEST_F(SaveFolder, WritesLandThereAndReadsPreferTheSavedCopy) {
    ASSERT_EQ(mkdir((game + "Data").c_str(), 0777), 0);
    makeGameFile("Data/shipped.txt", "from the game");
    platform::setSaveFolder(save);
    EXPECT_EQ(platform::saveFolder(), save);
    EXPECT_EQ(platform::writeFolder(), save);

    // The folder of the game is made in the save folder under its own name.
    ASSERT_TRUE(platform::replaceFile("data\\new.txt", "written", 7));
    EXPECT_EQ(contents(save + "Data/new.txt"), "written");
    EXPECT_FALSE(exists(game + "Data/new.txt"));
    EXPECT_EQ(read("DATA\\NEW.TXT"), "written");
    EXPECT_TRUE(platform::fileExists("data\\new.txt"));

    // Until the game writes it, the game folder's copy is read.
    EXPECT_EQ(read("data\\shipped.txt"), "from the game");
    ASSERT_TRUE(platform::replaceFile("data\\shipped.txt", "changed", 7));
    EXPECT_EQ(read("data\\shipped.txt"), "changed");
    EXPECT_EQ(contents(game + "Data/shipped.txt"), "from the game");

    // Removing takes the saved copy away, and the game's shows again.
    EXPECT_TRUE(platform::removeFile("data\\shipped.txt"));
    EXPECT_EQ(read("data\\shipped.txt"), "from the game");
}

TEST_F(SaveFolder, AppendingContinuesTheGameFolderFile) {
    makeGameFile("report.txt", "first\n");
    platform::setSaveFolder(save);
    FILE* file = platform::openGameFile("report.txt", "ab");
    ASSERT_NE(file, nullptr);
    fputs("second\n", file);
    fclose(file);
    EXPECT_EQ(contents(save + "report.txt"), "first\nsecond\n");
    EXPECT_EQ(contents(game + "report.txt"), "first\n");
    // Truncating opens start empty instead.
    file = platform::openGameFile("report.txt", "wb");
    ASSERT_NE(file, nullptr);
    fclose(file);
    EXPECT_EQ(contents(save + "report.txt"), "");
}

TEST_F(SaveFolder, WhatFailsInTheGameFolderFailsThereToo) {
    platform::setSaveFolder(save);
    // No such folder in the game: none is made, and the write fails.
    EXPECT_FALSE(platform::replaceFile("nofolder\\x.txt", "x", 1));
    EXPECT_EQ(platform::openGameFile("nofolder\\x.txt", "wb"), nullptr);
    EXPECT_FALSE(exists(save + "nofolder"));
    // A path climbing out of the folder is not redirected: it stays where
    // it points, beside the game folder, not beside the save folder.
    ASSERT_TRUE(platform::replaceFile("..\\outside.txt", "x", 1));
    EXPECT_TRUE(exists(root + "outside.txt"));
    // Absolute paths are the user's: never redirected.
    ASSERT_TRUE(platform::replaceFile(game + "absolute.txt", "x", 1));
    EXPECT_TRUE(exists(game + "absolute.txt"));
    EXPECT_FALSE(exists(save + "absolute.txt"));
}

TEST_F(SaveFolder, WithoutOneEverythingStaysInTheGameFolder) {
    ASSERT_TRUE(platform::replaceFile("plain.txt", "x", 1));
    EXPECT_TRUE(exists(game + "plain.txt"));
    EXPECT_EQ(platform::saveFolder(), "");
    EXPECT_EQ(platform::writeFolder(), game);
}

// Runs `check` as an ordinary user: root ignores permissions, so as root it
// runs in a child that drops to "nobody". The check's text is empty when it
// passed, else it says what failed.
std::string runUnprivileged(const std::function<std::string()>& check) {
    if (geteuid() != 0) return check();
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        std::string failure = check();
        if (!failure.empty()) fprintf(stderr, "%s\n", failure.c_str());
        _exit(failure.empty() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return "cannot run the check as another user";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) return "cannot become the user nobody";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "the check failed as the user nobody (above)";
}

TEST_F(SaveFolder, RefusedWriteSwitchesToTheFallbackFolder) {
    ASSERT_EQ(chmod(root.c_str(), 0755), 0);
    ASSERT_EQ(chmod(game.c_str(), 0555), 0);
    ASSERT_EQ(chmod(save.c_str(), 0777), 0);
    platform::setFallbackSaveFolder(save + "user/game");
    std::string failure = runUnprivileged([&]() -> std::string {
        if (platform::canCreateFilesIn(game)) return "the read-only folder looks writable";
        if (!platform::replaceFile("slot.dat", "kept", 4)) return "the write failed";
        if (platform::saveFolder() != save + "user/game/") return "no switch: '" + platform::saveFolder() + "'";
        if (contents(save + "user/game/slot.dat") != "kept") return "not in the fallback folder";
        if (read("slot.dat") != "kept") return "not read back";
        return {};
    });
    EXPECT_EQ(failure, "");
    EXPECT_FALSE(exists(game + "slot.dat"));
}

TEST_F(SaveFolder, ProbeCreatesNothingAndSeesMissingFolders) {
    EXPECT_TRUE(platform::canCreateFilesIn(game));
    EXPECT_FALSE(platform::canCreateFilesIn(root + "missing"));
    std::string command = "test -z \"$(ls -A '" + game + "')\"";
    EXPECT_EQ(system(command.c_str()), 0) << "the probe left a file behind";
    EXPECT_TRUE(platform::makeDirectories(root + "a/b/c"));
    EXPECT_TRUE(platform::isDirectory(root + "a/b/c"));
    std::ofstream(root + "file") << "x";
    EXPECT_FALSE(platform::makeDirectories(root + "file/below"));
}

// Sets or unsets an environment variable for one test, restoring it after.
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const char* value) : name(name) {
        const char* old = getenv(name);
        had = old != nullptr;
        if (had) previous = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~EnvironmentValue() {
        if (had) setenv(name, previous.c_str(), 1);
        else unsetenv(name);
    }

private:
    const char* name;
    bool had = false;
    std::string previous;
};

TEST(UserSaveFolder, FollowsXdgDataHomeElseTheHomeFolder) {
    {
        EnvironmentValue data("XDG_DATA_HOME", "/xdg/data");
        EXPECT_EQ(platform::userSaveFolder("demo"), "/xdg/data/tesserae/demo/");
        // Names that would leave or collapse the folder are made safe.
        EXPECT_EQ(platform::userSaveFolder(".."), "/xdg/data/tesserae/game/");
        EXPECT_EQ(platform::userSaveFolder(""), "/xdg/data/tesserae/game/");
    }
    {
        // A relative XDG_DATA_HOME is ignored, as the XDG rules say.
        EnvironmentValue data("XDG_DATA_HOME", "relative/data");
        EnvironmentValue home("HOME", "/home/player");
        EXPECT_EQ(platform::userSaveFolder("demo"), "/home/player/.local/share/tesserae/demo/");
    }
    {
        EnvironmentValue data("XDG_DATA_HOME", nullptr);
        EnvironmentValue home("HOME", "/home/player/");
        EXPECT_EQ(platform::userSaveFolder("Star Garden"), "/home/player/.local/share/tesserae/Star Garden/");
    }
}

}  // namespace
