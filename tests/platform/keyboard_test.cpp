#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/keyboard.h"

namespace {

using platform::KeyTable;
namespace vk = platform::vk;

TEST(AsyncKeyState, HeldKeyReadsDownUntilReleased) {
    KeyTable keys;
    EXPECT_EQ(keys.query(vk::kLeft), 0);
    keys.press(vk::kLeft);
    EXPECT_EQ(uint16_t(keys.query(vk::kLeft)), 0x8001);  // down, and pressed since last query
    EXPECT_EQ(uint16_t(keys.query(vk::kLeft)), 0x8000);  // still down
    keys.release(vk::kLeft);
    EXPECT_EQ(keys.query(vk::kLeft), 0);
}

TEST(AsyncKeyState, PressAndReleaseBetweenQueriesRegistersOnce) {
    KeyTable keys;
    keys.press('Z');
    keys.release('Z');
    EXPECT_NE(keys.query('Z'), 0);
    EXPECT_EQ(keys.query('Z'), 0);
    EXPECT_FALSE(keys.isDown('Z'));
}

TEST(AsyncKeyState, OutOfRangeCodesReadZero) {
    KeyTable keys;
    keys.press(-1);
    keys.press(256);
    EXPECT_EQ(keys.query(-1), 0);
    EXPECT_EQ(keys.query(256), 0);
    EXPECT_EQ(keys.query(0x7FFFFFFF), 0);
}

TEST(AsyncKeyState, ReleaseAllKeepsThePressedBit) {
    KeyTable keys;
    keys.press(vk::kSpace);
    keys.releaseAll();
    EXPECT_FALSE(keys.isDown(vk::kSpace));
    EXPECT_EQ(keys.query(vk::kSpace), 1);
}

// A sampler on a second thread sees every tap the pumping thread makes,
// however short, and each one only once.
TEST(AsyncKeyState, TapsSeenFromAnotherThread) {
    KeyTable keys;
    constexpr int kTaps = 500;
    std::atomic<int> tapsMade{0};
    std::atomic<int> sampled{0};
    std::atomic<bool> stop{false};
    int seen = 0;
    std::thread sampler([&] {
        while (!stop.load()) {
            int made = tapsMade.load();
            if (sampled.load() < made) {
                if (keys.query('X') != 0) ++seen;
                sampled.store(made);
            }
        }
    });
    for (int i = 0; i < kTaps; ++i) {
        keys.press('X');
        keys.release('X');
        tapsMade.store(i + 1);
        while (sampled.load() < i + 1) std::this_thread::yield();
    }
    stop.store(true);
    sampler.join();
    EXPECT_EQ(seen, kTaps);
    EXPECT_EQ(keys.query('X'), 0);
}

TEST(KeyNames, NamesAndNumbersOfScriptedInput) {
    EXPECT_EQ(platform::virtualKeyFromName("LEFT"), 0x25);
    EXPECT_EQ(platform::virtualKeyFromName("down"), 0x28);
    EXPECT_EQ(platform::virtualKeyFromName("ESCAPE"), 0x1B);
    EXPECT_EQ(platform::virtualKeyFromName("SPACE"), 0x20);
    EXPECT_EQ(platform::virtualKeyFromName("RETURN"), 0x0D);
    EXPECT_EQ(platform::virtualKeyFromName("F1"), 0x70);
    EXPECT_EQ(platform::virtualKeyFromName("F12"), 0x7B);
    EXPECT_EQ(platform::virtualKeyFromName("z"), 'Z');
    EXPECT_EQ(platform::virtualKeyFromName("7"), '7');
    EXPECT_EQ(platform::virtualKeyFromName("0x25"), 0x25);
    EXPECT_EQ(platform::virtualKeyFromName("F13"), -1);
    EXPECT_EQ(platform::virtualKeyFromName("0x100"), -1);
    EXPECT_EQ(platform::virtualKeyFromName("0x"), -1);
    EXPECT_EQ(platform::virtualKeyFromName("LEFTY"), -1);
    EXPECT_EQ(platform::virtualKeyFromName(""), -1);
}

}  // namespace
