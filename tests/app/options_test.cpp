#include <gtest/gtest.h>

#include <vector>

#include "app/options.h"

namespace {

app::ParseResult parse(std::vector<const char*> args, app::Options& options, std::string& error) {
    args.insert(args.begin(), "tesserae");
    return app::parseOptions(int(args.size()), args.data(), options, error);
}

TEST(CommandLine, AcceptsEveryOptionAndTheGameFolder) {
    app::Options o;
    std::string error;
    ASSERT_EQ(parse({"--headless", "--virtual-clock", "--frames", "100", "--screenshot=out.png",
                     "--input", "in.txt", "--audio-out", "a.wav", "--soundfont", "gm.sf2",
                     "--zoom", "2", "--render-threads", "3", "--max-seconds=30", "--save-dir", "saves", "games/demo"},
                    o, error),
              app::ParseResult::Run)
        << error;
    EXPECT_TRUE(o.headless);
    EXPECT_TRUE(o.virtualClock);
    EXPECT_EQ(o.frames, 100);
    EXPECT_EQ(o.screenshot, "out.png");
    EXPECT_EQ(o.input, "in.txt");
    EXPECT_EQ(o.audioOut, "a.wav");
    EXPECT_EQ(o.soundfont, "gm.sf2");
    EXPECT_EQ(o.zoom, 2);
    EXPECT_EQ(o.renderThreads, 3);
    EXPECT_EQ(o.maxSeconds, 30);
    EXPECT_EQ(o.saveDir, "saves");
    EXPECT_EQ(o.gameDir, "games/demo");
}

TEST(CommandLine, DefaultsWithoutArguments) {
    app::Options o;
    std::string error;
    ASSERT_EQ(parse({}, o, error), app::ParseResult::Run);
    EXPECT_TRUE(o.gameDir.empty());
    EXPECT_FALSE(o.headless);
    EXPECT_EQ(o.frames, 0);
    EXPECT_EQ(o.zoom, 1);
    EXPECT_EQ(o.renderThreads, 0);  // not given: one thread
}

TEST(CommandLine, HelpAndVersion) {
    app::Options o;
    std::string error;
    EXPECT_EQ(parse({"--frames", "3", "--help"}, o, error), app::ParseResult::Help);
    EXPECT_EQ(parse({"--version"}, o, error), app::ParseResult::Version);
    // The help names the save folder option and the host's keys.
    const std::string help = app::usageText();
    for (const char* text : {"--save-dir DIR", "Alt+Enter", "Alt+S", "Alt+F4"})
        EXPECT_NE(help.find(text), std::string::npos) << text;
}

TEST(CommandLine, BadOptionsAndValuesAreErrors) {
    struct Case {
        std::vector<const char*> args;
        const char* error;
    };
    const Case cases[] = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"--frames"}, "option --frames needs a value"},
        {{"--frames", "0"}, "--frames needs a positive whole number, not '0'"},
        {{"--frames", "-5"}, "--frames needs a positive whole number, not '-5'"},
        {{"--frames", "12x"}, "--frames needs a positive whole number, not '12x'"},
        {{"--frames", "99999999999"}, "--frames needs a positive whole number, not '99999999999'"},
        {{"--zoom", "0"}, "--zoom needs a whole number from 1 to 8, not '0'"},
        {{"--zoom=9"}, "--zoom needs a whole number from 1 to 8, not '9'"},
        {{"--render-threads", "0"}, "--render-threads needs a whole number from 1 to 8, not '0'"},
        {{"--render-threads=9"}, "--render-threads needs a whole number from 1 to 8, not '9'"},
        {{"--max-seconds", "0"}, "--max-seconds needs a whole number from 1 to 1000000, not '0'"},
        {{"--max-seconds", "1e3"}, "--max-seconds needs a whole number from 1 to 1000000, not '1e3'"},
        {{"--headless=yes"}, "option --headless takes no value"},
        {{"--screenshot="}, "option --screenshot needs a file name"},
        {{"--input"}, "option --input needs a value"},
        {{"--save-dir="}, "option --save-dir needs a file name"},
        {{"one", "two"}, "more than one game folder given ('one' and 'two')"},
    };
    for (const Case& c : cases) {
        app::Options o;
        std::string error;
        EXPECT_EQ(parse(c.args, o, error), app::ParseResult::Error) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

TEST(CommandLine, DoubleDashEndsOptions) {
    app::Options o;
    std::string error;
    ASSERT_EQ(parse({"--", "--odd-folder-name"}, o, error), app::ParseResult::Run);
    EXPECT_EQ(o.gameDir, "--odd-folder-name");
}

}  // namespace
