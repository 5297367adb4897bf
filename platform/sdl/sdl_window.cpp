#include "platform/sdl/sdl_window.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/message_box.h"
#include "platform/text_codec.h"

namespace platform {

int virtualKeyFromSdl(SDL_Keycode key);  // sdl_keymap.cpp

namespace {

void presentMessageBox(const std::string& text, const std::string& caption, Window* owner);

class SdlWindow final : public Window {
public:
    ~SdlWindow() override {
        destroyResources();
        setMessageBoxPresenter(nullptr);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool create(const WindowDesc& desc) override {
        if (desc.width <= 0 || desc.height <= 0) return false;
        fullScreen = desc.fullScreen;
        // A zoomed window never outgrows the desktop it opens on.
        SDL_Rect desktop{0, 0, 0, 0};
        if (SDL_GetDisplayUsableBounds(0, &desktop) != 0) desktop = SDL_Rect{0, 0, 0, 0};
        zoom = fullScreen ? std::max(desc.zoom, 1) : fitZoom(desc.zoom, desc.width, desc.height, desktop.w, desktop.h);
        clientWidth = desc.width;
        clientHeight = desc.height;
        // Resizing keeps the frame whole: it is scaled by whole multiples
        // and centred (the integer logical size below).
        Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE;
        if (fullScreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        std::string title = displayText(desc.title);
        window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  desc.width * zoom, desc.height * zoom, flags);
        if (!window) return false;
        renderer = SDL_CreateRenderer(window, -1, 0);
        if (!renderer) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
        if (!renderer) {
            destroyResources();
            return false;
        }
        // Mouse events arrive in the game's own client pixels whatever the
        // zoom or the full-screen scaling.
        SDL_RenderSetLogicalSize(renderer, desc.width, desc.height);
        SDL_RenderSetIntegerScale(renderer, SDL_TRUE);
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        setMessageBoxPresenter(presentMessageBox);
        active = true;
        return true;
    }

    void destroy() override {
        if (!window) return;
        destroyResources();
        dispatch({EventType::Destroy});
    }

    bool exists() const override { return window != nullptr; }

    void show(bool visible) override {
        if (!window) return;
        if (visible) {
            SDL_ShowWindow(window);
            SDL_RaiseWindow(window);
        } else {
            SDL_HideWindow(window);
        }
    }

    void setTitle(const std::string& title) override {
        if (window) SDL_SetWindowTitle(window, displayText(title).c_str());
    }

    bool isMinimised() const override {
        return window && (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED);
    }

    bool isActive() const override { return window && active; }

    void setCursorVisible(bool visible) override { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

    bool isHeadless() const override { return false; }

    void setFullScreen(bool on) override {
        if (window && SDL_SetWindowFullscreen(window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0) fullScreen = on;
    }

    bool isFullScreen() const override { return fullScreen; }

    void present(const FrameView& frame) override {
        keepFrame(frame);
        if (!renderer || frameCopy.empty()) return;
        if (!texture || textureWidth != frameWidth || textureHeight != frameHeight) {
            if (texture) SDL_DestroyTexture(texture);
            texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888,
                                        SDL_TEXTUREACCESS_STREAMING, frameWidth, frameHeight);
            textureWidth = frameWidth;
            textureHeight = frameHeight;
            if (!texture) return;
        }
        SDL_UpdateTexture(texture, nullptr, frameCopy.data(), frameWidth * 4);
        SDL_RenderClear(renderer);
        SDL_Rect target{0, 0, clientWidth, clientHeight};
        SDL_RenderCopy(renderer, texture, nullptr, &target);
        SDL_RenderPresent(renderer);
    }

    bool pumpEvent() override {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            WindowEvent out;
            if (translate(event, out)) {
                dispatch(out);
                return true;
            }
        }
        return false;
    }

    SDL_Window* handle() const { return window; }

private:
    bool translate(const SDL_Event& event, WindowEvent& out) {
        switch (event.type) {
            case SDL_QUIT:
                out.type = EventType::Close;
                return window != nullptr;
            case SDL_WINDOWEVENT:
                switch (event.window.event) {
                    case SDL_WINDOWEVENT_CLOSE: out.type = EventType::Close; return true;
                    case SDL_WINDOWEVENT_MOVED:
                        out.type = EventType::Move;
                        out.x = uint16_t(event.window.data1);
                        out.y = uint16_t(event.window.data2);
                        return true;
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                        out.type = EventType::Size;
                        out.x = uint16_t(event.window.data1 / zoom);
                        out.y = uint16_t(event.window.data2 / zoom);
                        return true;
                    case SDL_WINDOWEVENT_FOCUS_GAINED:
                        active = true;
                        out.type = EventType::Activate;
                        return true;
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        active = false;
                        out.type = EventType::Deactivate;
                        return true;
                    case SDL_WINDOWEVENT_MINIMIZED: out.type = EventType::Minimise; return true;
                    case SDL_WINDOWEVENT_RESTORED: out.type = EventType::Restore; return true;
                    case SDL_WINDOWEVENT_EXPOSED: out.type = EventType::Paint; return true;
                    default: return false;
                }
            case SDL_MOUSEMOTION:
                out.type = EventType::MouseMove;
                out.x = uint16_t(event.motion.x);
                out.y = uint16_t(event.motion.y);
                return true;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                out.type = event.type == SDL_MOUSEBUTTONDOWN ? EventType::MouseDown : EventType::MouseUp;
                out.x = uint16_t(event.button.x);
                out.y = uint16_t(event.button.y);
                if (event.button.button == SDL_BUTTON_LEFT) out.button = MouseButton::Left;
                else if (event.button.button == SDL_BUTTON_RIGHT) out.button = MouseButton::Right;
                else out.button = MouseButton::Middle;
                return true;
            case SDL_KEYDOWN:
            case SDL_KEYUP: {
                int key = virtualKeyFromSdl(event.key.keysym.sym);
                if (key < 0) return false;
                out.type = event.type == SDL_KEYDOWN ? EventType::KeyDown : EventType::KeyUp;
                out.key = key;
                out.alt = (event.key.keysym.mod & KMOD_ALT) != 0;
                out.repeat = event.key.repeat != 0;
                return true;
            }
            default: return false;
        }
    }

    void destroyResources() {
        if (texture) SDL_DestroyTexture(texture);
        if (renderer) SDL_DestroyRenderer(renderer);
        if (window) SDL_DestroyWindow(window);
        texture = nullptr;
        renderer = nullptr;
        window = nullptr;
    }

    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int textureWidth = 0, textureHeight = 0;
    int clientWidth = 0, clientHeight = 0;
    int zoom = 1;
    bool fullScreen = false;
    bool active = false;
};

void presentMessageBox(const std::string& text, const std::string& caption, Window* owner) {
    SDL_Window* parent = nullptr;
    if (owner && !owner->isHeadless()) parent = static_cast<SdlWindow*>(owner)->handle();
    beginMessageBox();
    int shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption.c_str(), text.c_str(), parent);
    endMessageBox();
    if (shown != 0) fprintf(stderr, "%s\n", messageBoxLine(text, caption).c_str());
}

}  // namespace

std::unique_ptr<Window> createSdlWindow(std::string& error) {
    // SIGINT and SIGTERM belong to the program's watchdog, which ends the
    // run even when the main loop no longer reads events.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = SDL_GetError();
        return nullptr;
    }
    // Without a display SDL falls back to drivers that show nothing; a game
    // must not run invisibly unless the user chose such a driver by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* chosen = getenv("SDL_VIDEODRIVER");
    if (driver && (strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0) &&
        !(chosen && strcmp(chosen, driver) == 0)) {
        error = std::string("no display: only SDL's '") + driver + "' video driver is available";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    return std::make_unique<SdlWindow>();
}

}  // namespace platform
