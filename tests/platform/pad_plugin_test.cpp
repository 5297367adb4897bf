// The shipped pad plug-in, loaded as a game loads it, reading a virtual
// game controller.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/shared_library.h"

namespace {

struct PadReading {
    int32_t x, y;
    uint8_t buttons[8];
};
using GetInput = uint8_t (*)(PadReading*);

TEST(PadPlugin, ReadsTheFirstGameController) {
    platform::SharedLibrary library;
    ASSERT_TRUE(library.open(TESSERAE_PAD_PLUGIN)) << library.error();
    auto getInput = reinterpret_cast<GetInput>(library.symbol("GetInput"));
    ASSERT_NE(getInput, nullptr);

    PadReading reading;
    memset(&reading, 0x55, sizeof reading);
    EXPECT_EQ(getInput(&reading), 0);  // no controller: no reading, nothing written
    EXPECT_EQ(reading.x, 0x55555555);

    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    int device = SDL_JoystickAttachVirtualEx(&desc);
    ASSERT_GE(device, 0) << SDL_GetError();
    SDL_Joystick* joystick = SDL_JoystickOpen(device);
    ASSERT_NE(joystick, nullptr);
    SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTX, -20000);
    SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTY, 100);  // inside the dead zone
    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_B, 1);
    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_START, 1);
    SDL_JoystickUpdate();

    ASSERT_EQ(getInput(&reading), 1);
    EXPECT_LT(reading.x, 0);
    EXPECT_EQ(reading.y, 0);
    const uint8_t expected[8] = {0, 1, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(memcmp(reading.buttons, expected, 8), 0);

    SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_DPAD_UP, 1);
    SDL_JoystickUpdate();
    ASSERT_EQ(getInput(&reading), 1);
    EXPECT_LT(reading.y, 0);  // the d-pad wins over the stick

    SDL_JoystickClose(joystick);
    SDL_JoystickDetachVirtual(device);
    library.close();
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

}  // namespace
