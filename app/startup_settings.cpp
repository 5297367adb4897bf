#include "app/startup_settings.h"

#include <cstdio>

#include "platform/files.h"

namespace app {

StartupSettings readStartupSettings(const uint8_t* bytes, size_t size) {
    StartupSettings settings;
    if (size >= 4) settings.reserved = int32_t(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 |
                                               uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24);
    settings.fullScreen = size >= 5 ? bytes[4] == 1 : true;
    settings.windowScale = size >= 6 ? bytes[5] : 0;
    settings.colourDepth = size >= 7 ? bytes[6] : 16;
    settings.inputLibrary = size >= 8 ? bytes[7] != 0 : false;
    return settings;
}

StartupSettings loadStartupSettings(const char* fileName) {
    // Only the first 8 bytes count, however large the file (or endless
    // the device) it names.
    FILE* file = platform::openGameFile(fileName, "rb");
    if (!file) return StartupSettings{};
    uint8_t bytes[kStartupFileBytes];
    size_t size = fread(bytes, 1, sizeof bytes, file);
    fclose(file);
    return readStartupSettings(bytes, size);
}

}  // namespace app
