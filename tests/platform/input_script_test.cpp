#include <gtest/gtest.h>

#include "platform/input_script.h"

namespace {

using platform::EventType;
using platform::ScriptedInput;

TEST(ScriptedInputFile, ParsesEveryKindOfLine) {
    const std::string text =
        "# a comment line\n"
        "3 key down LEFT   # trailing comment\n"
        "1 mouse move 319 239\r\n"
        "1 mouse down left\n"
        "\n"
        "4 key up 0x25\n"
        "5 pad -1 0 00100000\n"
        "6 minimise\n"
        "7 restore\n"
        "9 close\n";
    std::vector<ScriptedInput> lines;
    std::string error;
    ASSERT_TRUE(platform::parseInputScript(text, lines, error)) << error;
    ASSERT_EQ(lines.size(), 8u);
    // Sorted by frame, file order kept within a frame.
    EXPECT_EQ(lines[0].event.type, EventType::MouseMove);
    EXPECT_EQ(lines[0].event.x, 319);
    EXPECT_EQ(lines[0].event.y, 239);
    EXPECT_EQ(lines[1].event.type, EventType::MouseDown);
    EXPECT_EQ(lines[1].event.button, platform::MouseButton::Left);
    EXPECT_EQ(lines[2].frame, 3);
    EXPECT_EQ(lines[2].event.type, EventType::KeyDown);
    EXPECT_EQ(lines[2].event.key, 0x25);
    EXPECT_EQ(lines[2].line, 2);
    EXPECT_EQ(lines[3].event.type, EventType::KeyUp);
    EXPECT_EQ(lines[4].kind, ScriptedInput::Kind::Pad);
    EXPECT_EQ(lines[4].padX, -1);
    EXPECT_EQ(lines[4].padY, 0);
    EXPECT_EQ(lines[4].padButtons[2], 1);
    EXPECT_EQ(lines[4].padButtons[0], 0);
    EXPECT_EQ(lines[5].event.type, EventType::Minimise);
    EXPECT_EQ(lines[6].event.type, EventType::Restore);
    EXPECT_EQ(lines[7].event.type, EventType::Close);
}

TEST(ScriptedInputFile, BadLinesAreNamedByNumber) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"1 key down LEFT\n2 key press LEFT\n", "line 2: expected 'down' or 'up' after 'key'"},
        {"1 key down NOPE\n", "line 1: unknown key 'NOPE'"},
        {"0 close\n", "line 1: frame number must be a positive integer"},
        {"x close\n", "line 1: frame number must be a positive integer"},
        {"\n\n1 jump\n", "line 3: unknown event 'jump'"},
        {"1 mouse move 10\n", "line 1: wrong number of words for 'mouse'"},
        {"1 mouse move -1 5\n", "line 1: mouse coordinates must be integers from 0 to 65535"},
        {"1 mouse down middle\n", "line 1: expected 'left' or 'right'"},
        {"1 pad 0 0 0010\n", "line 1: pad buttons must be eight 0/1 digits"},
        {"1 pad 0 9999999999 00000000\n", "line 1: pad axes must be 32-bit integers"},
        {"1 close now\n", "line 1: wrong number of words for 'close'"},
        {"5\n", "line 1: missing event"},
    };
    for (const Case& c : cases) {
        std::vector<ScriptedInput> lines;
        std::string error;
        EXPECT_FALSE(platform::parseInputScript(c.text, lines, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
        EXPECT_TRUE(lines.empty());
    }
}

}  // namespace
