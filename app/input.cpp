#include "app/input.h"

#include <vector>

#include "platform/files.h"
#include "platform/keyboard.h"

namespace app {

void KeyMapping::read(const uint8_t* bytes, size_t size) {
    for (int i = 0; i < kEntries && size_t(i) * 2 + 1 < size; ++i) {
        keys[i] = bytes[i * 2];
        padButtons[i] = int8_t(bytes[i * 2 + 1]);
    }
}

void KeyMapping::load(const char* fileName) {
    std::vector<uint8_t> bytes;
    if (platform::readFile(fileName, bytes)) read(bytes.data(), bytes.size());
}

InputRing::InputRing() {
    readKey = [](int key) { return platform::keyboard().query(key); };
}

InputSample InputRing::takeSample(uint32_t now) {
    if (pad) {
        PadReading reading;
        if (pad(reading)) lastPad = reading;
    }
    InputSample sample;
    sample.pad = pad ? lastPad : PadReading{};
    sample.time = now;
    sample.up = readKey(platform::vk::kUp) != 0;
    sample.down = readKey(platform::vk::kDown) != 0;
    sample.left = readKey(platform::vk::kLeft) != 0;
    sample.right = readKey(platform::vk::kRight) != 0;
    for (int i = 0; i < 4; ++i) sample.keyButtons[i] = readKey(mapping.keys[i]) != 0;
    return sample;
}

void InputRing::append(const InputSample& sample) {
    ring[(writeAt + 1) % kRingEntries].time = 0;
    ring[writeAt] = sample;
    writeAt = (writeAt + 1) % kRingEntries;
}

void InputRing::sample(uint32_t now) {
    InputSample taken = takeSample(now);
    std::lock_guard guard(mutex);
    append(taken);
}

void InputRing::sampleLocked(uint32_t now) {
    append(takeSample(now));
}

void InputRing::reset() {
    writeAt = 0;
    for (InputSample& s : ring) s.time = 0;
}

void InputRing::fillState(InputState& state) const {
    const InputSample& s = ring[readAt];
    state.up = s.up;
    state.down = s.down;
    state.left = s.left;
    state.right = s.right;
    for (int i = 0; i < 4; ++i) state.buttons[i] = s.keyButtons[i];
    state.buttons[4] = 0;
    if (!pad) return;
    // Keyboard and pad combine by "or": the pad never clears a direction.
    state.pad = s.pad;
    if (s.pad.y < 0) state.up = 1;
    if (s.pad.y > 0) state.down = 1;
    if (s.pad.x < 0) state.left = 1;
    if (s.pad.x > 0) state.right = 1;
    for (int i = 0; i < 5; ++i) {
        int index = mapping.padButtons[i];
        if (index >= 0 && index < 8 && s.pad.buttons[index]) state.buttons[i] = 1;
    }
}

void InputRing::advanceAfterTick(uint32_t tickClock, int snapshot) {
    if (tickClock > ring[readAt].time) {
        readAt = (readAt + 1) % kRingEntries;
        if (readAt == snapshot) readAt = readAt == 0 ? kRingEntries - 1 : readAt - 1;
    }
}

}  // namespace app
