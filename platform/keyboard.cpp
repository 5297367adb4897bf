#include "platform/keyboard.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace platform {

namespace {

struct NamedKey {
    const char* name;
    int code;
};

constexpr NamedKey kNamedKeys[] = {
    {"LEFT", vk::kLeft},       {"RIGHT", vk::kRight},     {"UP", vk::kUp},
    {"DOWN", vk::kDown},       {"ESCAPE", vk::kEscape},   {"ESC", vk::kEscape},
    {"SPACE", vk::kSpace},     {"RETURN", vk::kReturn},   {"ENTER", vk::kReturn},
    {"SHIFT", vk::kShift},     {"CONTROL", vk::kControl}, {"CTRL", vk::kControl},
    {"ALT", vk::kMenu},        {"TAB", vk::kTab},         {"BACK", vk::kBack},
    {"BACKSPACE", vk::kBack},  {"INSERT", vk::kInsert},   {"DELETE", vk::kDelete},
    {"HOME", vk::kHome},       {"END", vk::kEnd},         {"PRIOR", vk::kPrior},
    {"PAGEUP", vk::kPrior},    {"NEXT", vk::kNext},       {"PAGEDOWN", vk::kNext},
    {"PAUSE", vk::kPause},
};

}  // namespace

int virtualKeyFromName(const char* name) {
    if (!name || !*name) return -1;
    size_t length = strlen(name);
    if (length == 1) {
        char c = name[0];
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
        return -1;
    }
    if ((name[0] == 'F' || name[0] == 'f') && length <= 3) {
        char* end = nullptr;
        long n = strtol(name + 1, &end, 10);
        if (*end == '\0' && n >= 1 && n <= 12) return vk::kF1 + int(n) - 1;
    }
    if (name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        char* end = nullptr;
        long n = strtol(name + 2, &end, 16);
        if (name[2] != '\0' && *end == '\0' && n >= 0 && n <= 0xFF) return int(n);
        return -1;
    }
    for (const NamedKey& key : kNamedKeys) {
        if (strcasecmp(key.name, name) == 0) return key.code;
    }
    return -1;
}

void KeyTable::press(int key) {
    if (key < 0 || key >= kKeys) return;
    state[key].fetch_or(kDown | kPressed);
}

void KeyTable::release(int key) {
    if (key < 0 || key >= kKeys) return;
    state[key].fetch_and(uint8_t(~kDown));
}

void KeyTable::releaseAll() {
    for (auto& s : state) s.fetch_and(uint8_t(~kDown));
}

int16_t KeyTable::query(int key) {
    if (key < 0 || key >= kKeys) return 0;
    uint8_t old = state[key].fetch_and(uint8_t(~kPressed));
    int16_t result = 0;
    if (old & kDown) result = int16_t(0x8000);
    if (old & kPressed) result = int16_t(result | 1);
    return result;
}

bool KeyTable::isDown(int key) const {
    if (key < 0 || key >= kKeys) return false;
    return state[key].load() & kDown;
}

KeyTable& keyboard() {
    static KeyTable table;
    return table;
}

}  // namespace platform
