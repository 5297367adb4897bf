// app/input.h
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace app {

// What the pad plug-in's GetInput fills: two axes and eight buttons.
struct PadReading {
    int32_t x = 0;
    int32_t y = 0;
    uint8_t buttons[8] = {};
};
static_assert(sizeof(PadReading) == 16);

// One entry of the input ring, taken every 100 ms by the sampler.
struct InputSample {
    uint32_t time = 0;  // 0: not written yet
    uint8_t up = 0, down = 0, left = 0, right = 0;
    uint8_t keyButtons[4] = {};
    uint8_t unused[4] = {};
    PadReading pad;
};

// The input of the current logic tick, as the script functions read it.
struct InputState {
    uint8_t up = 0, down = 0, left = 0, right = 0;
    uint8_t buttons[5] = {};
    PadReading pad;
};

// Keys and pad buttons behind the five buttons, from input.dat.
struct KeyMapping {
    static constexpr int kEntries = 10;
    int32_t keys[kEntries] = {0x5A, 0x58, 0x43, 0x53, 0x71, 0x71, 0x71, 0x71, 0x71, 0x71};
    int8_t padButtons[kEntries] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

    // Records of two bytes (key code, pad button); a short file changes
    // only the entries it covers.
    void read(const uint8_t* bytes, size_t size);
    void load(const char* fileName = "input.dat");
};

constexpr int kRingEntries = 256;

// The sampled input the logic ticks replay, one entry per tick. The
// sampler (on the input thread) appends under the lock; the main loop
// holds the lock for its whole logic phase.
class InputRing {
public:
    // Reads the asynchronous key state of a virtual key.
    using KeyReader = std::function<int16_t(int)>;
    // Fills a pad reading; false when there is none this time.
    using PadSource = std::function<bool(PadReading&)>;

    InputRing();

    void setMapping(const KeyMapping& keyMapping) { mapping = keyMapping; }
    const KeyMapping& keyMapping() const { return mapping; }
    void setKeyReader(KeyReader reader) { readKey = std::move(reader); }
    void setPadSource(PadSource source) { pad = std::move(source); }
    bool hasPad() const { return bool(pad); }

    std::mutex& lock() { return mutex; }

    // One pass of the sampler: pad first (a failed read repeats the last
    // valid reading), then the arrows and the four mapped keys; appends
    // one entry stamped `now`. Takes the lock for the append only.
    void sample(uint32_t now);
    // The same, for the caller that already holds the lock.
    void sampleLocked(uint32_t now);

    // Write index 0 and every time stamp 0. Caller holds the lock.
    void reset();

    // The logic phase, caller holding the lock: snapshot the write index,
    // fill the state of each tick, advance after each tick, and end.
    int writeIndex() const { return writeAt; }
    void fillState(InputState& state) const;
    void advanceAfterTick(uint32_t tickClock, int snapshot);
    void endLogicPhase(int snapshot) { readAt = snapshot == 0 ? kRingEntries - 1 : snapshot - 1; }

    int readIndex() const { return readAt; }
    const InputSample& entry(int index) const { return ring[index]; }

private:
    InputSample takeSample(uint32_t now);
    void append(const InputSample& sample);

    KeyMapping mapping;
    KeyReader readKey;
    PadSource pad;
    PadReading lastPad;  // the sampler's own reading
    std::mutex mutex;
    InputSample ring[kRingEntries];
    int writeAt = 0;
    int readAt = 0;
};

}  // namespace app
