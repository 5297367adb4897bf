#include <gtest/gtest.h>

#include "platform/message_box.h"

namespace {

TEST(HeadlessMessageBox, WritesOneLineAndRecordsTheBox) {
    platform::clearShownMessageBoxes();
    testing::internal::CaptureStderr();
    // Code page 932 bytes for the caption, UTF-8 for the text.
    platform::showMessageBox("すでにプログラムは起動しています。", "\x91\xbd\x8f\x64\x8b\x4e\x93\xae\x83\x47\x83\x89\x81\x5b", nullptr);
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "MessageBox: 多重起動エラー: すでにプログラムは起動しています。\n");
    auto shown = platform::shownMessageBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "多重起動エラー");
    EXPECT_EQ(shown[0].text, "すでにプログラムは起動しています。");
}

TEST(HeadlessMessageBox, LineBreaksInsideTheTextStayOnOneLine) {
    EXPECT_EQ(platform::messageBoxLine("a\r\nb\nc\rd", "cap"), "MessageBox: cap: a\\nb\\nc\\nd");
    EXPECT_EQ(platform::messageBoxLine("", ""), "MessageBox: : ");
}

TEST(HeadlessMessageBox, KeepsEveryBoxInOrder) {
    platform::clearShownMessageBoxes();
    testing::internal::CaptureStderr();
    platform::showMessageBox("one", "A", nullptr);
    platform::showMessageBox("two", "B", nullptr);
    testing::internal::GetCapturedStderr();
    auto shown = platform::shownMessageBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "one");
    EXPECT_EQ(shown[1].caption, "B");
}

}  // namespace
