// platform/keyboard.h
#pragma once
#include <atomic>
#include <cstdint>

namespace platform {

// Windows virtual-key codes, the numbering game scripts and key mapping
// files use. Letters and digits are their upper-case ASCII codes.
namespace vk {
constexpr int kBack = 0x08, kTab = 0x09, kReturn = 0x0D, kShift = 0x10, kControl = 0x11,
              kMenu = 0x12, kPause = 0x13, kEscape = 0x1B, kSpace = 0x20, kPrior = 0x21,
              kNext = 0x22, kEnd = 0x23, kHome = 0x24, kLeft = 0x25, kUp = 0x26,
              kRight = 0x27, kDown = 0x28, kInsert = 0x2D, kDelete = 0x2E, kF1 = 0x70,
              kF12 = 0x7B, kLShift = 0xA0, kRShift = 0xA1, kLControl = 0xA2,
              kRControl = 0xA3, kLMenu = 0xA4, kRMenu = 0xA5;
}  // namespace vk

// Key code from a name as scripted input writes it: "LEFT", "F1", "A", "7",
// "SPACE", or a number such as "0x25". -1 when the name is unknown.
int virtualKeyFromName(const char* name);

// The state of every virtual key, written by the thread that pumps window
// events and read from any thread. query() follows the asynchronous key
// state of the original system: non-zero while the key is down, and
// non-zero once for a key that went down since the previous query even if
// it is already up again.
class KeyTable {
public:
    static constexpr int kKeys = 256;

    void press(int key);
    void release(int key);
    void releaseAll();  // focus lost: nothing stays held

    // 0x8000 while down, | 0x0001 when pressed since the previous query.
    // Codes outside 0..255 read 0.
    int16_t query(int key);

    bool isDown(int key) const;  // no side effect on the pressed bit

private:
    static constexpr uint8_t kDown = 1, kPressed = 2;
    std::atomic<uint8_t> state[kKeys] = {};
};

// The process-wide table the window back ends feed.
KeyTable& keyboard();

}  // namespace platform
