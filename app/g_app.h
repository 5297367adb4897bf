// app/g_app.h
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/window.h"

namespace app {

// Makes the platform window the application runs in (a real one or a
// headless one); null when none can be made.
using WindowFactory = std::function<std::unique_ptr<platform::Window>()>;

// A plain window application: the window description, the dispatch of
// window events and the message loop. The game frame derives from it.
class G_APP : public platform::EventHandler {
public:
    G_APP();
    ~G_APP() override;
    G_APP(const G_APP&) = delete;
    G_APP& operator=(const G_APP&) = delete;

    // The run sequence: initMembers, the window, startUp, run, shutDown.
    // 0 when the window cannot be made; otherwise the parameter of the last
    // quit message, which is 0.
    int runSequence(const WindowFactory& makeWindow);

    // The overridable operations, in slot order.
    virtual void initMembers() {}
    virtual void startUp() {}
    virtual void run();
    virtual void shutDown() {}
    virtual bool handleMessage(const platform::WindowEvent&) { return false; }
    virtual bool preHandleMessage(const platform::WindowEvent& event);
    // Handles at most one waiting event; with none, sleeps 1 ms. False once
    // the window is gone.
    virtual bool pumpMessages();

    bool handleWindowEvent(const platform::WindowEvent& event) override {
        return preHandleMessage(event);
    }

    platform::Window* window() { return mainWindow.get(); }
    bool isRunning() const { return running.load() != 0; }
    void setRunning(bool value) { running.store(value ? 1 : 0); }

    // The window description, filled by the program entry.
    int requestedWidth = 640, requestedHeight = 480;
    int showCommand = 1;
    std::string title;
    bool fullScreen = false;
    int zoom = 1;
    int renderThreads = 1;

protected:
    std::unique_ptr<platform::Window> mainWindow;
    // Read by the input thread between its samples.
    std::atomic<uint8_t> running{0};
};

}  // namespace app
