// app/startup_settings.h
#pragma once
#include <cstddef>
#include <cstdint>

namespace app {

constexpr size_t kStartupFileBytes = 8;

// The 8-byte start-up file init.dat.
struct StartupSettings {
    int32_t reserved = 1;
    bool fullScreen = false;
    uint8_t windowScale = 0;   // 0: 640 x 480, 1: 320 x 240
    uint8_t colourDepth = 16;  // bits per pixel handed to the display
    bool inputLibrary = false; // load the pad plug-in

    int clientWidth() const { return (2 - int(windowScale)) * 320; }
    int clientHeight() const { return (2 - int(windowScale)) * 240; }
};

// Reads the settings from the file's bytes. Without a file every field
// keeps its default; a file that ends early sets each field it does not
// reach to that field's short-file value, which for the full-screen byte
// is 1 (full screen) although the default without a file is windowed.
StartupSettings readStartupSettings(const uint8_t* bytes, size_t size);

// From the file in the current folder; defaults when it is missing.
StartupSettings loadStartupSettings(const char* fileName = "init.dat");

}  // namespace app
