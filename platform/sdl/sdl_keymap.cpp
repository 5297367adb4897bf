#include <SDL.h>

#include "platform/keyboard.h"

namespace platform {

// Windows virtual-key code for an SDL key, or -1 for keys the games cannot
// name. Letters map to upper case whatever the layout's case.
int virtualKeyFromSdl(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return vk::kF1 + (key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return 0x61 + (key - SDLK_KP_1);
    switch (key) {
        case SDLK_LEFT: return vk::kLeft;
        case SDLK_RIGHT: return vk::kRight;
        case SDLK_UP: return vk::kUp;
        case SDLK_DOWN: return vk::kDown;
        case SDLK_ESCAPE: return vk::kEscape;
        case SDLK_SPACE: return vk::kSpace;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return vk::kReturn;
        case SDLK_TAB: return vk::kTab;
        case SDLK_BACKSPACE: return vk::kBack;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return vk::kShift;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return vk::kControl;
        case SDLK_LALT:
        case SDLK_RALT: return vk::kMenu;
        case SDLK_PAUSE: return vk::kPause;
        case SDLK_PAGEUP: return vk::kPrior;
        case SDLK_PAGEDOWN: return vk::kNext;
        case SDLK_END: return vk::kEnd;
        case SDLK_HOME: return vk::kHome;
        case SDLK_INSERT: return vk::kInsert;
        case SDLK_DELETE: return vk::kDelete;
        case SDLK_KP_0: return 0x60;
        default: return -1;
    }
}

}  // namespace platform
