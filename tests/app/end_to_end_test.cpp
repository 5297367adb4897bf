#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/options.h"
#include "game_models.h"
#include "app/program.h"
#include "platform/files.h"
#include "platform/instance_lock.h"
#include "platform/message_box.h"

namespace {

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A copy of tests/games/<name> in a scratch folder.
class GameCopy {
public:
    explicit GameCopy(const std::string& name) {
        char pattern[] = "/tmp/tesserae-e2e-XXXXXX";
        if (!mkdtemp(pattern)) ADD_FAILURE() << "no temporary folder";
        folder = std::string(pattern) + "/";
        std::string command = "cp -R '" + std::string(TESSERAE_TEST_GAMES) + "/" + name + "/.' '" + folder + "'";
        if (system(command.c_str()) != 0) ADD_FAILURE() << command;
    }
    ~GameCopy() {
        std::string command = "rm -rf '" + folder + "'";
        if (system(command.c_str()) != 0) ADD_FAILURE() << command;
    }
    std::string folder;
};

// The program run as a user runs it, compared with a reviewed screenshot.
// TESSERAE_UPDATE_GOLDEN=1 rewrites the golden file instead.
TEST(HeadlessRun, ScriptedGameMatchesItsGoldenScreenshot) {
    GameCopy game("moving_image");
    std::string shot = game.folder + "shot.png";
    std::string command = std::string(TESSERAE_BINARY) + " --headless --virtual-clock --frames 100 --input '" +
                          game.folder + "input.txt' --screenshot '" + shot + "' '" + game.folder + "' 2>&1";
    ASSERT_EQ(system(command.c_str()), 0) << command;
    std::string golden = std::string(TESSERAE_TEST_DATA) + "/app/moving_image.png";
    if (getenv("TESSERAE_UPDATE_GOLDEN")) {
        std::ofstream(golden, std::ios::binary) << readBytes(shot);
        GTEST_SKIP() << "golden image rewritten";
    }
    EXPECT_EQ(readBytes(shot), readBytes(golden)) << "differs from " << golden;
    // Nothing printed, so no log; the switch and errors would show as boxes.
    EXPECT_FALSE(platform::fileExists(game.folder + "20000101_000000.log"));
}

TEST(HeadlessRun, RunsRepeatExactly) {
    GameCopy first("moving_image"), second("moving_image");
    for (const GameCopy* game : {&first, &second}) {
        std::string command = std::string(TESSERAE_BINARY) + " --headless --virtual-clock --frames 60 --input '" +
                              game->folder + "input.txt' --screenshot '" + game->folder + "s.png' '" +
                              game->folder + "' 2>&1";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    EXPECT_EQ(readBytes(first.folder + "s.png"), readBytes(second.folder + "s.png"));
}

// Models, animation and boards through the program: the frame matches its
// reviewed image, the log shows what the script classes answered, and a
// second run gives the same frame.
TEST(HeadlessRun, SceneOfModelsAndBoardsMatchesItsGoldenFrame) {
    GameCopy first("scene_objects"), second("scene_objects");
    std::string frames[2];
    int run = 0;
    for (const GameCopy* game : {&first, &second}) {
        app_test::writeSceneAssets(game->folder);
        std::string command = std::string(TESSERAE_BINARY) + " --headless --virtual-clock --frames 45 --screenshot '" +
                              game->folder + "s.png' '" + game->folder + "' 2>&1";
        ASSERT_EQ(system(command.c_str()), 0) << command;
        frames[run++] = readBytes(game->folder + "s.png");
    }
    EXPECT_EQ(frames[0], frames[1]);
    std::string golden = std::string(TESSERAE_TEST_DATA) + "/app/scene_objects.png";
    if (getenv("TESSERAE_UPDATE_GOLDEN")) {
        std::ofstream(golden, std::ios::binary) << frames[0];
    } else {
        EXPECT_EQ(frames[0], readBytes(golden)) << "differs from " << golden;
    }
    EXPECT_EQ(readBytes(first.folder + "20000101_000000.log"),
              "robot 0 load true\r\nrobot 1 load true\r\nframes 20 0\r\ncrate load true\r\n"
              "missing load false\r\nbad index load false\r\n");
}

std::string runAndReadLog(const GameCopy& game) {
    std::string command = std::string(TESSERAE_BINARY) + " --headless --virtual-clock '" + game.folder + "' 2>&1";
    EXPECT_EQ(system(command.c_str()), 0) << command;
    return readBytes(game.folder + "20000101_000000.log");
}

// The script folders of the host's own tests run the same through the
// program: the switch between files, and the end after the last one.
TEST(HeadlessRun, ScriptFolderSwitchesFilesAndEnds) {
    GameCopy game("switch");
    EXPECT_EQ(runAndReadLog(game),
              "init onLoad\r\ninit onProc 1\r\ninit onUnload\r\n"
              "second onLoad ext=.nut counter=false\r\nsecond onProc\r\nsecond onUnload\r\n");
}

TEST(HeadlessRun, RandomNumbersRepeatOnTheVirtualClock) {
    GameCopy first("random"), second("random");
    std::string log = runAndReadLog(first);
    EXPECT_EQ(log, runAndReadLog(second));
    EXPECT_EQ(std::count(log.begin(), log.end(), ' '), 2) << log;
}

TEST(HeadlessRun, MissingInitScriptShowsTheBoxAndEnds) {
    GameCopy game("missing");
    platform::clearShownMessageBoxes();
    app::Options options;
    options.headless = true;
    options.virtualClock = true;
    options.frames = 50;
    options.gameDir = game.folder;
    std::string before = platform::currentDir();
    testing::internal::CaptureStderr();
    EXPECT_EQ(app::runProgram(options), 0);
    std::string printed = testing::internal::GetCapturedStderr();
    platform::setCurrentDir(before);
    auto boxes = platform::shownMessageBoxes();
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "onLoad");
    EXPECT_EQ(boxes[0].text, "cannot open the file");
    EXPECT_NE(printed.find("MessageBox: onLoad: cannot open the file"), std::string::npos);
}

TEST(HeadlessRun, SecondInstanceIsRefused) {
    GameCopy game("moving_image");
    platform::InstanceLock first;
    ASSERT_TRUE(first.acquire(game.folder));
    platform::clearShownMessageBoxes();
    app::Options options;
    options.headless = true;
    options.gameDir = game.folder;
    testing::internal::CaptureStderr();
    EXPECT_EQ(app::runProgram(options), 0);
    testing::internal::GetCapturedStderr();
    auto boxes = platform::shownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "多重起動エラー");
    EXPECT_EQ(boxes[0].text, "すでにプログラムは起動しています。");
}

TEST(CommandLineErrors, BadArgumentsExitWithStatusTwo) {
    const char* cases[] = {"--frames 0", "--zoom 9", "--bogus", "--input /nonexistent/input.txt /tmp",
                           "/nonexistent/game/folder"};
    for (const char* args : cases) {
        std::string command = std::string(TESSERAE_BINARY) + " --headless " + args + " >/dev/null 2>&1";
        int status = system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args;
    }
}

}  // namespace
