// platform/input_script.h
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/window.h"

namespace platform {

// One line of a scripted-input file: an event delivered before main-loop
// pass `frame` (1-based).
struct ScriptedInput {
    enum class Kind { Window, Pad };
    int frame = 1;
    int line = 0;
    Kind kind = Kind::Window;
    WindowEvent event;          // Kind::Window
    int32_t padX = 0;           // Kind::Pad
    int32_t padY = 0;
    uint8_t padButtons[8] = {};
};

// Parses the text of a scripted-input file:
//   FRAME key down|up KEY        KEY: 0x25, LEFT RIGHT UP DOWN ESCAPE SPACE
//                                RETURN F1..F12 A..Z 0..9
//   FRAME mouse move X Y         client pixels, 0..65535
//   FRAME mouse down|up left|right
//   FRAME pad X Y BBBBBBBB       axes as integers, eight 0/1 button digits
//   FRAME close | minimise | restore
// '#' starts a comment; blank lines are skipped. Lines may come in any
// order; the result is sorted by frame, keeping file order within a frame.
// On a bad line returns false with `error` naming the line number.
bool parseInputScript(const std::string& text, std::vector<ScriptedInput>& out,
                      std::string& error);

}  // namespace platform
