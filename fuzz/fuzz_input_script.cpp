// Scripted-input files on arbitrary text: parsed events are sorted by frame
// and carry what the window and the pad accept.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/input_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<platform::ScriptedInput> events;
    std::string error;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!platform::parseInputScript(text, events, error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].frame < 1) __builtin_trap();
        if (i > 0 && events[i].frame < events[i - 1].frame) __builtin_trap();
        for (uint8_t b : events[i].padButtons)
            if (b > 1) __builtin_trap();
    }
    return 0;
}
