// The pad plug-in "input.so": games that ask for a pad load it from their
// folder and call GetInput every 100 ms from their input thread. It reads
// the first game controller: the left stick and the d-pad as the axes, and
// A, B, X, Y, the shoulder buttons, Back and Start as buttons 0 to 7.
#include <SDL.h>

#include <cstdint>
#include <cstring>

namespace {

struct PadReading {
    int32_t x;
    int32_t y;
    uint8_t buttons[8];
};

constexpr int kDeadZone = 8000;

SDL_GameController* controller = nullptr;
bool started = false;

SDL_GameController* openController() {
    if (!started) {
        started = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
        if (!started) return nullptr;
    }
    if (controller && SDL_GameControllerGetAttached(controller)) return controller;
    if (controller) SDL_GameControllerClose(controller);
    controller = nullptr;
    SDL_GameControllerUpdate();
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (SDL_IsGameController(i) && (controller = SDL_GameControllerOpen(i)) != nullptr) break;
    }
    return controller;
}

int32_t axis(SDL_GameController* pad, SDL_GameControllerAxis stick, SDL_GameControllerButton minus,
             SDL_GameControllerButton plus) {
    if (SDL_GameControllerGetButton(pad, minus)) return -32767;
    if (SDL_GameControllerGetButton(pad, plus)) return 32767;
    int value = SDL_GameControllerGetAxis(pad, stick);
    return value > -kDeadZone && value < kDeadZone ? 0 : value;
}

}  // namespace

// Fills the reading; 0 when no controller is attached (the game then
// keeps its last valid reading).
extern "C" __attribute__((visibility("default"))) uint8_t GetInput(PadReading* reading) {
    if (!reading) return 0;
    SDL_GameController* pad = openController();
    if (!pad) return 0;
    SDL_GameControllerUpdate();
    static constexpr SDL_GameControllerButton kButtons[8] = {
        SDL_CONTROLLER_BUTTON_A,         SDL_CONTROLLER_BUTTON_B,
        SDL_CONTROLLER_BUTTON_X,         SDL_CONTROLLER_BUTTON_Y,
        SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
        SDL_CONTROLLER_BUTTON_BACK,      SDL_CONTROLLER_BUTTON_START,
    };
    PadReading out{};
    out.x = axis(pad, SDL_CONTROLLER_AXIS_LEFTX, SDL_CONTROLLER_BUTTON_DPAD_LEFT, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
    out.y = axis(pad, SDL_CONTROLLER_AXIS_LEFTY, SDL_CONTROLLER_BUTTON_DPAD_UP, SDL_CONTROLLER_BUTTON_DPAD_DOWN);
    for (int i = 0; i < 8; ++i) out.buttons[i] = SDL_GameControllerGetButton(pad, kButtons[i]) ? 1 : 0;
    memcpy(reading, &out, sizeof out);
    return 1;
}
