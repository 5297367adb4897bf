#include <gtest/gtest.h>

#include "host_driver.h"
#include "platform/files.h"

namespace {

using testing_support::HostDriver;
using Lines = std::vector<std::string>;

TEST(ScriptLifecycle, SwitchTakesThreeTicksAndStartsAFreshVm) {
    HostDriver game("switch");
    game.start();
    game.tick();  // Loading init
    game.tick();  // Running: onProc asks for the switch
    EXPECT_EQ(game.host.state(), script::ScriptHost::State::Unloading);
    game.tick();  // Unloading: onUnload
    EXPECT_EQ(game.host.state(), script::ScriptHost::State::Loading);
    game.tick();  // Loading second: onLoad
    EXPECT_EQ(game.host.state(), script::ScriptHost::State::Running);
    game.runUntilStopped();
    EXPECT_EQ(game.logLines(), (Lines{"init onLoad", "init onProc 1", "init onUnload",
                                      "second onLoad ext=.nut counter=false", "second onProc",
                                      "second onUnload"}));
    EXPECT_TRUE(game.services.boxes.empty());
    EXPECT_FALSE(game.services.running);
    // Every load empties the scene first.
    EXPECT_EQ(game.services.sceneResets, 2);
}

TEST(ScriptLifecycle, PathSetInOnLoadIsForgotten) {
    HostDriver game("path_in_onload");
    game.start();
    int ticks = game.runUntilStopped();
    EXPECT_EQ(ticks, 3);  // load, end request, unload
    EXPECT_EQ(game.logLines(), (Lines{"unloaded"}));
    EXPECT_STREQ(game.host.nextPath(), "");
}

TEST(ScriptLifecycle, MissingInitScriptEndsTheProgram) {
    HostDriver game("missing");
    game.start();
    game.tick();
    ASSERT_EQ(game.services.boxes.size(), 1u);
    EXPECT_EQ(game.services.boxes[0].caption, "onLoad");
    EXPECT_EQ(game.services.boxes[0].text, "cannot open the file");
    EXPECT_FALSE(game.services.running);
    EXPECT_EQ(game.host.state(), script::ScriptHost::State::Running);
}

TEST(ScriptLifecycle, ScriptWithoutOnUnloadShowsOneBoxAndStillSwitches) {
    HostDriver game("no_unload");
    game.start();
    for (int i = 0; i < 4; ++i) game.tick();
    ASSERT_EQ(game.services.boxes.size(), 1u);
    EXPECT_EQ(game.services.boxes[0].caption, "onUnload");
    EXPECT_EQ(game.services.boxes[0].text, "SquirrelFunction<> call failed");
    EXPECT_TRUE(game.services.running);
    EXPECT_EQ(game.logLines(), (Lines{"first", "next"}));
}

TEST(ScriptLifecycle, EscapeEndsTheProgramAtTheEndOfTheTick) {
    HostDriver game("switch");
    game.start();
    game.tick();
    game.services.keys[0x1B] = int16_t(0x8000);
    game.tick();
    EXPECT_FALSE(game.services.running);
    EXPECT_EQ(game.logLines(), (Lines{"init onLoad", "init onProc 1"}));
}

TEST(ScriptLifecycle, F1PausesWithTwoEmptyBoxes) {
    HostDriver game("switch");
    game.start();
    game.tick();
    game.services.keys[0x70] = 1;
    game.tick();
    ASSERT_EQ(game.services.boxes.size(), 2u);
    EXPECT_EQ(game.services.boxes[0].caption, "");
    EXPECT_EQ(game.services.boxes[1].text, "");
}

TEST(TextOverlay, QueueKeepsOneHundredTextsCutTo255Bytes) {
    HostDriver game("text_limits");
    game.start();
    game.tick();
    game.tick();
    const script::TextQueue& texts = game.host.texts();
    EXPECT_EQ(texts.count, 100);
    EXPECT_EQ(std::string(texts.entries[0].text), std::string(255, 'x'));
    EXPECT_EQ(texts.entries[0].colour, 0x0180FFu);
    EXPECT_EQ(std::string(texts.entries[99].text), "t99");
    EXPECT_EQ(game.host.console().count, 100);

    game.services.drawn.clear();
    game.frame();
    // The frame-rate line, 100 texts, 100 console lines.
    ASSERT_EQ(game.services.drawn.size(), 201u);
    const auto& fpsLine = game.services.drawn[0];
    EXPECT_EQ(fpsLine.text, "FPS 0 [bitTime 00]");
    EXPECT_EQ(fpsLine.colour, 0xFFFFFFu);
    const auto& first = game.services.drawn[1];
    EXPECT_EQ(first.left, 1);
    EXPECT_EQ(first.top, 2);
    EXPECT_EQ(first.right, 641);
    EXPECT_EQ(first.bottom, 482);
    EXPECT_EQ(first.fontHeight, 20);
    EXPECT_EQ(first.fontWidth, 10);
    const auto& console = game.services.drawn[102];
    EXPECT_EQ(console.text, "d1");
    EXPECT_EQ(console.top, 45);
    EXPECT_EQ(console.fontHeight, 14);
    EXPECT_EQ(console.fontWidth, 0);

    // Without a tick the same texts are drawn again by the next frame.
    game.services.drawn.clear();
    game.frame();
    EXPECT_EQ(game.services.drawn.size(), 201u);
}

// A text's rectangle reaches 640 by 480 beyond its point, but never past
// the ends of the integer range.
TEST(TextOverlay, RectanglesStopAtTheEndsOfTheIntegerRange) {
    HostDriver game("text_extremes");
    game.start();
    game.tick();
    game.tick();
    game.services.drawn.clear();
    game.frame();
    ASSERT_EQ(game.services.drawn.size(), 5u);  // the frame-rate line and four texts
    const auto& far = game.services.drawn[1];
    EXPECT_EQ(far.left, INT32_MAX);
    EXPECT_EQ(far.right, INT32_MAX);
    EXPECT_EQ(far.bottom, INT32_MAX);
    const auto& near = game.services.drawn[2];
    EXPECT_EQ(near.left, INT32_MIN);
    EXPECT_EQ(near.right, INT32_MIN + 640);
    EXPECT_EQ(near.bottom, INT32_MIN + 480);
    EXPECT_EQ(near.fontHeight, -20);
    EXPECT_EQ(near.fontWidth, -10);
}

TEST(ScriptLog, NoMessagesNoLogFile) {
    HostDriver game("text_limits");
    game.start();
    game.tick();
    game.tick();
    EXPECT_FALSE(platform::fileExists(game.path(script::ScriptHost::logFile())));
    EXPECT_STREQ(script::ScriptHost::logFile(), "20000101_000000.log");
}

TEST(ScriptLog, EachMessageIsOneCrLfLineAndErrorsAreReported) {
    HostDriver game("errors");
    game.start();
    testing::internal::CaptureStderr();
    game.tick();
    game.tick();
    game.tick();  // inner() fails
    std::string printed = testing::internal::GetCapturedStderr();
    // The report reaches stderr too; what the script prints does not.
    EXPECT_EQ(printed.rfind("\nAN ERROR HAS OCCURED [the index 'nosuch' does not exist]\n\nCALLSTACK\n", 0), 0u)
        << printed;
    EXPECT_EQ(printed.find("one"), std::string::npos);
    ASSERT_EQ(game.services.boxes.size(), 1u);
    EXPECT_EQ(game.services.boxes[0].caption, "onProc");
    EXPECT_EQ(game.services.boxes[0].text, "SquirrelFunction<> call failed");
    EXPECT_FALSE(game.services.running);
    EXPECT_TRUE(game.logHasOnlyCrLfLines());
    Lines lines = game.logLines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "one");
    EXPECT_EQ(lines[1], "two\n");  // a message ending in a line break still gets its CR LF
    EXPECT_EQ(lines[2], "\nAN ERROR HAS OCCURED [the index 'nosuch' does not exist]\n");
    EXPECT_EQ(lines[3], "\nCALLSTACK\n");
    EXPECT_EQ(lines[4], "*FUNCTION [inner()] script\\init.nut line [11]\n");
}

// A runaway recursion's report keeps ten frames at each end of the call
// stack and one line counting the rest; the lines around it are as ever.
TEST(ScriptLog, StackOverflowReportKeepsTheEndsOfTheCallStack) {
    HostDriver game("deep_recursion");
    game.start();
    testing::internal::CaptureStderr();
    game.tick();
    game.tick();
    std::string printed = testing::internal::GetCapturedStderr();
    ASSERT_EQ(game.services.boxes.size(), 1u);
    EXPECT_EQ(game.services.boxes[0].caption, "onProc");
    EXPECT_TRUE(game.logHasOnlyCrLfLines());
    Lines lines = game.logLines();
    ASSERT_GE(lines.size(), 24u);
    EXPECT_EQ(lines[0], "\nAN ERROR HAS OCCURED [stack overflow]\n");
    EXPECT_EQ(lines[1], "\nCALLSTACK\n");
    for (int i = 2; i < 12; ++i) EXPECT_EQ(lines[i], "*FUNCTION [down()] script\\init.nut line [5]\n") << i;
    ASSERT_EQ(lines[12].rfind("*... ", 0), 0u) << lines[12];
    int leftOut = atoi(lines[12].c_str() + 5);
    EXPECT_GT(leftOut, 100);
    EXPECT_EQ(lines[12], "*... " + std::to_string(leftOut) + " frames left out\n");
    for (int i = 13; i < 22; ++i) EXPECT_EQ(lines[i], "*FUNCTION [down()] script\\init.nut line [5]\n") << i;
    EXPECT_EQ(lines[22], "*FUNCTION [onProc()] script\\init.nut line [14]\n");
    EXPECT_EQ(lines[23], "\nLOCALS\n");
    EXPECT_LT(lines.size(), 60u);
    // The same report on stderr, each message ending its line once.
    EXPECT_EQ(printed.rfind("\nAN ERROR HAS OCCURED [stack overflow]\n\nCALLSTACK\n*FUNCTION [down()]", 0), 0u)
        << printed;
    EXPECT_NE(printed.find("\n" + lines[12] + lines[13]), std::string::npos) << printed;
}

TEST(ScriptLog, CompileErrorLine) {
    HostDriver game("errors");
    game.host.setNextFilePath("script\\broken.nut");
    game.start();
    game.host.setNextFilePath("script\\broken.nut");
    testing::internal::CaptureStderr();
    game.tick();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "script\\broken.nut line = (3) column = (13) : error expression expected\n");
    ASSERT_EQ(game.services.boxes.size(), 1u);
    EXPECT_EQ(game.services.boxes[0].caption, "onLoad");
    EXPECT_EQ(game.services.boxes[0].text, "expression expected");
    Lines lines = game.logLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "script\\broken.nut line = (3) column = (13) : error expression expected\n");
}

TEST(ScriptApi, ChecksAndConversionsAsScriptsSeeThem) {
    HostDriver game("api_checks");
    game.start();
    game.tick();
    EXPECT_TRUE(game.services.boxes.empty());
    EXPECT_EQ(game.logLines(), game.expectedLines("script/init.nut"));
}

TEST(ScriptApi, DataStoreRoundTripThroughScripts) {
    HostDriver game("data_store");
    game.start();
    game.tick();
    EXPECT_TRUE(game.services.boxes.empty());
    EXPECT_EQ(game.logLines(), game.expectedLines("script/init.nut"));
}

TEST(ScriptApi, DataSurvivesAFileSwitch) {
    HostDriver game("switch");
    game.start();
    game.tick();
    game.host.dataStore.setData("kept", "yes");
    game.runUntilStopped();
    EXPECT_EQ(game.host.dataStore.getData("kept"), "yes");
}

}  // namespace
