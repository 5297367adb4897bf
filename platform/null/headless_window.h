// platform/null/headless_window.h
#pragma once
#include <string>
#include <vector>

#include "platform/window.h"

namespace platform {

// A window without a display: events come only from post().
class HeadlessWindow final : public Window {
public:
    bool create(const WindowDesc& desc) override;
    void destroy() override;
    bool exists() const override { return created; }
    void show(bool visible) override { shown = visible; }
    void setTitle(const std::string& text) override { title = text; }
    bool isMinimised() const override { return minimised; }
    bool isActive() const override { return active; }
    void setCursorVisible(bool visible) override { cursorVisible = visible; }
    bool isHeadless() const override { return true; }
    void setFullScreen(bool on) override { fullScreen = on; }
    bool isFullScreen() const override { return fullScreen; }
    void present(const FrameView& frame) override;
    bool pumpEvent() override;

    // Queues an event as if the user had caused it; Minimise, Restore,
    // Activate and Deactivate also change the window's state, and mouse
    // buttons take the position of the last mouse move.
    void post(const WindowEvent& event);

    bool hasPendingEvents() const { return queueHead < queue.size(); }
    const std::string& windowTitle() const { return title; }
    bool isShown() const { return shown; }
    bool isCursorVisible() const { return cursorVisible; }
    int presentCount() const { return presents; }

private:
    static constexpr size_t kQueueReserve = 256;
    std::vector<WindowEvent> queue;
    size_t queueHead = 0;
    std::string title;
    bool created = false;
    bool shown = false;
    bool minimised = false;
    bool active = true;
    bool cursorVisible = true;
    bool fullScreen = false;
    uint16_t mouseX = 0, mouseY = 0;
    int presents = 0;
};

}  // namespace platform
