// platform/window.h
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class PixelFormat {
    Xrgb8888,  // 32-bit 0x00RRGGBB
    Rgb565,    // 16-bit 5-6-5
};

// A frame in memory handed to present(); the window only reads it.
struct FrameView {
    const void* pixels = nullptr;
    int width = 0;
    int height = 0;
    int pitch = 0;  // bytes from one row to the next
    PixelFormat format = PixelFormat::Xrgb8888;
};

enum class EventType {
    Close,        // the user asked to close (close box, Alt+F4, scripted "close")
    Destroy,      // the window is gone
    Move,         // x, y: new position of the client area
    Size,         // x, y: new client size
    Activate,
    Deactivate,
    Minimise,
    Restore,
    Paint,        // the window needs its contents again
    MouseMove,    // x, y: client pixels of the game's frame
    MouseDown,    // button; x, y as for MouseMove
    MouseUp,
    KeyDown,      // key: Windows virtual-key code
    KeyUp,
    Command,      // command: a window key of the host's own (Alt+Enter, Alt+S)
};

// What the host's window keys ask for. They are Alt combinations, so no key
// a game can map is taken away; while Alt is held their presses never reach
// the key table.
enum class HostCommand { None, ToggleFullScreen, Screenshot, Close };

// The command of `key` pressed with Alt held; None for every other key.
HostCommand hostCommandForKey(int key);

enum class MouseButton { Left, Right, Middle };

struct WindowEvent {
    EventType type = EventType::Paint;
    // Mouse positions travel as the unsigned 16-bit words of a window
    // message, so a position left of or above the client area reads large.
    uint16_t x = 0;
    uint16_t y = 0;
    MouseButton button = MouseButton::Left;
    int key = 0;
    bool alt = false;     // keys: Alt is held, as the window system says
    bool repeat = false;  // keys: the auto-repeat of a key held down
    HostCommand command = HostCommand::None;
};

// Receives every event of a window. Returning false asks for the default
// handling, which for Close is to destroy the window (a Destroy event
// follows).
class EventHandler {
public:
    virtual ~EventHandler() = default;
    virtual bool handleWindowEvent(const WindowEvent& event) = 0;
};

struct WindowDesc {
    int width = 640;        // client size in the game's pixels
    int height = 480;
    std::string title;      // code page 932 or UTF-8
    bool fullScreen = false;
    int zoom = 1;           // windowed: the frame is shown zoom times larger
};

// The game's one window. Every call belongs to the thread that created it.
class Window {
public:
    virtual ~Window() = default;

    // False when the window cannot be made (no display, bad size).
    virtual bool create(const WindowDesc& desc) = 0;
    virtual void destroy() = 0;
    virtual bool exists() const = 0;
    virtual void show(bool visible) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual bool isMinimised() const = 0;
    virtual bool isActive() const = 0;
    virtual void setCursorVisible(bool visible) = 0;
    virtual bool isHeadless() const = 0;

    // Switches between full screen (the frame scaled to the screen) and a
    // window; isFullScreen() tells what the window became.
    virtual void setFullScreen(bool on) = 0;
    virtual bool isFullScreen() const = 0;

    // Shows the frame, scaled to the window. Keeps a copy for lastFrame().
    virtual void present(const FrameView& frame) = 0;

    // Takes at most one waiting event and hands it to the handler, with
    // the default handling when the handler declines it. False when no
    // event was waiting.
    virtual bool pumpEvent() = 0;

    void setEventHandler(EventHandler* handler) { eventHandler = handler; }

    // Delivers a Close event now, as if the user had asked to close: the
    // handler may take it, otherwise the window is destroyed.
    void requestClose() { dispatch({EventType::Close}); }
    // Delivers an event now as if the window had received it (keys reach
    // the key table); the window's own state does not change.
    void deliver(const WindowEvent& event) { dispatch(event); }

    // The last presented frame as 0xFFRRGGBB pixels, row by row.
    const std::vector<uint32_t>& lastFrame() const { return frameCopy; }
    int lastFrameWidth() const { return frameWidth; }
    int lastFrameHeight() const { return frameHeight; }

protected:
    // Hands the event to the handler; when it declines a Close, destroys
    // the window. Keeps the key table current for key events, and turns a
    // press of a window key with Alt held into a Command event instead
    // (once per press, repeats ignored). Releases always reach the table,
    // so a key held before Alt does not stay down.
    void dispatch(const WindowEvent& event);
    void keepFrame(const FrameView& frame);

    EventHandler* eventHandler = nullptr;
    std::vector<uint32_t> frameCopy;
    int frameWidth = 0;
    int frameHeight = 0;
};

// The zoom a window of `width` x `height` game pixels can take on a
// desktop of the given size: the one asked for (at least 1), lowered until
// the window fits; 1 when even that does not fit or the desktop is unknown
// (a size of 0).
int fitZoom(int zoom, int width, int height, int desktopWidth, int desktopHeight);

// Converts one pixel row of a frame to 0xFFRRGGBB.
void convertRow(const FrameView& frame, int row, uint32_t* out);

}  // namespace platform
