// init.dat and input.dat on arbitrary bytes. Both readers take any value
// (the application judges them when it opens the window and reads the
// pad), so the harness holds only that they read inside the bytes.
#include <cstddef>
#include <cstdint>

#include "app/input.h"
#include "app/startup_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const app::StartupSettings settings = app::readStartupSettings(data, size);
    if (size >= 6 && settings.windowScale != data[5]) __builtin_trap();
    app::KeyMapping mapping;
    mapping.read(data, size);
    return 0;
}
