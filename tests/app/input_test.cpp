#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "app/input.h"
#include "app/startup_settings.h"
#include "platform/keyboard.h"

namespace {

using app::InputRing;
using app::InputState;

// A ring reading its own key table instead of the process keyboard.
struct RingWithKeys {
    RingWithKeys() {
        ring.setKeyReader([this](int key) { return keys.query(key); });
    }
    InputState tickState() {
        InputState state;
        ring.fillState(state);
        return state;
    }
    platform::KeyTable keys;
    InputRing ring;
};

TEST(InputMapping, DefaultsMapZXCSToButtonsZeroToThree) {
    RingWithKeys input;
    const int keys[] = {'Z', 'X', 'C', 'S'};
    for (int i = 0; i < 4; ++i) {
        input.keys.press(keys[i]);
        input.ring.sample(100 + i);
        input.keys.release(keys[i]);
    }
    for (int i = 0; i < 4; ++i) {
        InputState state;
        input.ring.fillState(state);
        for (int b = 0; b < 5; ++b) EXPECT_EQ(state.buttons[b], b == i) << "sample " << i;
        input.ring.advanceAfterTick(1000, 99);
    }
}

TEST(InputMapping, RecordsReplaceKeysAndPadButtons) {
    app::KeyMapping mapping;
    const uint8_t file[] = {0x20, 0x02, 0x41};  // one whole record and a stray byte
    mapping.read(file, sizeof file);
    EXPECT_EQ(mapping.keys[0], 0x20);
    EXPECT_EQ(mapping.padButtons[0], 2);
    EXPECT_EQ(mapping.keys[1], 0x58);  // not covered: default
    EXPECT_EQ(mapping.padButtons[1], 1);

    RingWithKeys input;
    input.ring.setMapping(mapping);
    input.keys.press(platform::vk::kSpace);
    input.ring.sample(100);
    EXPECT_EQ(input.tickState().buttons[0], 1);

    // Pad button 2 is button 0 as well once a pad is present.
    RingWithKeys padded;
    padded.ring.setMapping(mapping);
    padded.ring.setPadSource([](app::PadReading& r) {
        r = {};
        r.buttons[2] = 1;
        return true;
    });
    padded.ring.sample(100);
    InputState state = padded.tickState();
    EXPECT_EQ(state.buttons[0], 1);
    EXPECT_EQ(state.buttons[2], 1);  // default mapping of entry 2 is pad button 2 too
}

TEST(InputMapping, OutOfRangePadIndexNeverReadsPressed) {
    app::KeyMapping mapping;
    const uint8_t file[] = {0x5A, 0xFF, 0x58, 0x08};  // -1 and 8
    mapping.read(file, sizeof file);
    RingWithKeys input;
    input.ring.setMapping(mapping);
    input.ring.setPadSource([](app::PadReading& r) {
        for (auto& b : r.buttons) b = 1;
        return true;
    });
    input.ring.sample(100);
    InputState state = input.tickState();
    EXPECT_EQ(state.buttons[0], 0);
    EXPECT_EQ(state.buttons[1], 0);
    EXPECT_EQ(state.buttons[4], 1);
}

TEST(InputSampling, TapBetweenSamplesRegisters) {
    RingWithKeys input;
    input.keys.press(platform::vk::kLeft);
    input.keys.release(platform::vk::kLeft);
    input.ring.sample(100);
    EXPECT_EQ(input.tickState().left, 1);
    input.ring.advanceAfterTick(200, 99);
    input.ring.sample(200);
    EXPECT_EQ(input.tickState().left, 0);
}

TEST(InputSampling, PadAxesSetDirectionsAndFailedReadsRepeat) {
    RingWithKeys input;
    int calls = 0;
    input.ring.setPadSource([&](app::PadReading& r) {
        r = {};
        r.y = -1;
        return ++calls == 1;  // only the first read is valid
    });
    input.ring.sample(100);
    input.ring.sample(200);
    EXPECT_EQ(input.tickState().up, 1);
    input.ring.advanceAfterTick(150, 99);
    InputState second = input.tickState();
    EXPECT_EQ(second.up, 1);  // repeated reading
    EXPECT_EQ(second.down, 0);
    EXPECT_EQ(second.pad.y, -1);
}

TEST(InputSampling, KeyboardAloneNeverSetsButtonFour) {
    RingWithKeys input;
    for (int key = 0; key < 256; ++key) input.keys.press(key);
    input.ring.sample(100);
    InputState state = input.tickState();
    EXPECT_EQ(state.buttons[4], 0);
    EXPECT_EQ(state.up, 1);
}

TEST(InputReplay, ReadIndexAdvancesOnlyPastOlderEntriesAndNeverOntoTheNewest) {
    RingWithKeys input;
    input.ring.reset();
    input.ring.sample(100);  // entry 0
    input.ring.sample(200);  // entry 1
    int snapshot = input.ring.writeIndex();
    EXPECT_EQ(snapshot, 2);
    input.ring.advanceAfterTick(150, snapshot);  // 150 > 100: to entry 1
    EXPECT_EQ(input.ring.readIndex(), 1);
    input.ring.advanceAfterTick(150, snapshot);  // 150 < 200: stays
    EXPECT_EQ(input.ring.readIndex(), 1);
    input.ring.advanceAfterTick(250, snapshot);  // would reach the snapshot: steps back
    EXPECT_EQ(input.ring.readIndex(), 1);
    input.ring.endLogicPhase(snapshot);
    EXPECT_EQ(input.ring.readIndex(), 1);
    input.ring.endLogicPhase(0);
    EXPECT_EQ(input.ring.readIndex(), 255);
}

TEST(InputReplay, WritingMarksTheNextEntryUnwritten) {
    RingWithKeys input;
    for (int i = 0; i < 256; ++i) input.ring.sample(1000 + i);
    EXPECT_EQ(input.ring.writeIndex(), 0);
    input.ring.sample(5000);
    EXPECT_EQ(input.ring.entry(0).time, 5000u);
    EXPECT_EQ(input.ring.entry(1).time, 0u);
}

TEST(StartupFile, DefaultsAndShortFiles) {
    app::StartupSettings none = app::loadStartupSettings("/nonexistent/init.dat");
    EXPECT_FALSE(none.fullScreen);
    EXPECT_EQ(none.clientWidth(), 640);
    EXPECT_EQ(none.clientHeight(), 480);
    EXPECT_EQ(none.colourDepth, 16);
    EXPECT_FALSE(none.inputLibrary);

    const uint8_t four[] = {0, 0, 0, 0};
    EXPECT_TRUE(app::readStartupSettings(four, 4).fullScreen);

    const uint8_t scaled[] = {1, 0, 0, 0, 0, 1, 32, 1};
    app::StartupSettings s = app::readStartupSettings(scaled, 8);
    EXPECT_FALSE(s.fullScreen);
    EXPECT_EQ(s.clientWidth(), 320);
    EXPECT_EQ(s.clientHeight(), 240);
    EXPECT_EQ(s.colourDepth, 32);
    EXPECT_TRUE(s.inputLibrary);

    const uint8_t windowedTwo[] = {1, 0, 0, 0, 2};  // only 1 means full screen
    EXPECT_FALSE(app::readStartupSettings(windowedTwo, 5).fullScreen);
}

// Only the first 8 bytes are read: an init.dat naming an endless device
// gives its first 8 bytes instead of filling memory.
// A device is never read, not even its first eight bytes: init.dat as
// /dev/zero gives the settings of a missing file.
TEST(StartupFile, ADeviceIsReadAsAMissingFile) {
    char folder[] = "/tmp/tesserae-init-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string file = std::string(folder) + "/init.dat";
    ASSERT_EQ(symlink("/dev/zero", file.c_str()), 0);
    app::StartupSettings device = app::loadStartupSettings(file.c_str());
    app::StartupSettings missing = app::loadStartupSettings((std::string(folder) + "/none.dat").c_str());
    EXPECT_EQ(device.reserved, missing.reserved);
    EXPECT_EQ(device.fullScreen, missing.fullScreen);
    EXPECT_EQ(device.colourDepth, missing.colourDepth);
    unlink(file.c_str());
    rmdir(folder);
}

}  // namespace
