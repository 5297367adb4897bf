// platform/sdl/sdl_window.h
#pragma once
#include <memory>
#include <string>

#include "platform/window.h"

namespace platform {

// A window on the display through SDL. Null (with the reason in `error`)
// when the video system cannot start. Installs the real message box while
// it lives.
std::unique_ptr<Window> createSdlWindow(std::string& error);

}  // namespace platform
