#include "platform/window.h"

#include <cstring>

#include "platform/keyboard.h"

namespace platform {

void convertRow(const FrameView& frame, int row, uint32_t* out) {
    const uint8_t* line = static_cast<const uint8_t*>(frame.pixels) + size_t(row) * frame.pitch;
    if (frame.format == PixelFormat::Xrgb8888) {
        const uint32_t* in = reinterpret_cast<const uint32_t*>(line);
        for (int x = 0; x < frame.width; ++x) out[x] = in[x] | 0xFF000000u;
        return;
    }
    const uint16_t* in = reinterpret_cast<const uint16_t*>(line);
    for (int x = 0; x < frame.width; ++x) {
        uint32_t p = in[x];
        // Widen each field by repeating its top bits, so white stays white.
        uint32_t r = (p >> 11) & 0x1F, g = (p >> 5) & 0x3F, b = p & 0x1F;
        r = (r << 3) | (r >> 2);
        g = (g << 2) | (g >> 4);
        b = (b << 3) | (b >> 2);
        out[x] = 0xFF000000u | r << 16 | g << 8 | b;
    }
}

int fitZoom(int zoom, int width, int height, int desktopWidth, int desktopHeight) {
    if (zoom < 1) zoom = 1;
    if (desktopWidth <= 0 || desktopHeight <= 0) return zoom;
    while (zoom > 1 && (int64_t(width) * zoom > desktopWidth || int64_t(height) * zoom > desktopHeight)) --zoom;
    return zoom;
}

HostCommand hostCommandForKey(int key) {
    switch (key) {
        case vk::kReturn: return HostCommand::ToggleFullScreen;
        case 'S': return HostCommand::Screenshot;
        case vk::kF1 + 3: return HostCommand::Close;  // F4
        default: return HostCommand::None;
    }
}

void Window::dispatch(const WindowEvent& event) {
    if (event.type == EventType::KeyDown && (event.alt || keyboard().isDown(vk::kMenu))) {
        HostCommand command = hostCommandForKey(event.key);
        if (command == HostCommand::Close) {
            // Alt+F4 closes the window as its close box does, also where
            // no window manager turns the key into a close request.
            if (event.repeat) return;
            WindowEvent close;
            close.type = EventType::Close;
            if (!(eventHandler && eventHandler->handleWindowEvent(close))) destroy();
            return;
        }
        if (command != HostCommand::None) {
            if (event.repeat || !eventHandler) return;
            WindowEvent out;
            out.type = EventType::Command;
            out.command = command;
            eventHandler->handleWindowEvent(out);
            return;
        }
    }
    if (event.type == EventType::KeyDown) keyboard().press(event.key);
    if (event.type == EventType::KeyUp) keyboard().release(event.key);
    if (event.type == EventType::Deactivate) keyboard().releaseAll();
    bool handled = eventHandler && eventHandler->handleWindowEvent(event);
    if (!handled && event.type == EventType::Close) destroy();
}

void Window::keepFrame(const FrameView& frame) {
    if (!frame.pixels || frame.width <= 0 || frame.height <= 0) return;
    frameWidth = frame.width;
    frameHeight = frame.height;
    frameCopy.resize(size_t(frame.width) * frame.height);
    for (int y = 0; y < frame.height; ++y) convertRow(frame, y, &frameCopy[size_t(y) * frame.width]);
}

}  // namespace platform
