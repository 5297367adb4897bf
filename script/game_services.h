// script/game_services.h
#pragma once
#include <cstdint>

namespace script {

// What the script host needs of the application frame around it: the
// running state, message boxes, the title, the display's text, the
// life-cycle points of the frame's scene, and the input of the current
// tick. The application object implements it; tests use a recording
// stand-in. The subsystems the script functions drive are handed to the
// host separately (ScriptSubsystems), typed.
class GameServices {
public:
    virtual ~GameServices() = default;

    // Application frame.
    virtual bool isRunning() = 0;
    virtual void stopRunning() = 0;
    virtual void restartLogicTime() {}
    virtual int16_t asyncKeyState(int virtualKey);   // the platform key table
    virtual void messageBox(const char* text, const char* caption);  // owned by the active window
    virtual void showMessage(const char* text, const char* caption); // through the display
    virtual void setTitle(const char*) {}

    // Display text.
    virtual void createFont(int /*height*/, int /*width*/, int /*weight*/) {}
    virtual void drawText(const char* /*text*/, int /*left*/, int /*top*/, int /*right*/,
                          int /*bottom*/, uint32_t /*colour 0x00BBGGRR*/) {}

    // Start of a run: light and blending.
    virtual void prepareScene() {}
    // Before each script file and at the end: the scene empties and every
    // script texture is released.
    virtual void resetScene() {}
    // The frame's scene draw step: 2D "first", objects, boards, 2D "last".
    virtual void drawScene() {}

    // Input of the current logic tick and the mouse.
    virtual int mouseX() { return 0; }
    virtual int mouseY() { return 0; }
    virtual bool mouseLButton() { return false; }
    virtual bool mouseRButton() { return false; }
    virtual bool inputUp() { return false; }
    virtual bool inputDown() { return false; }
    virtual bool inputLeft() { return false; }
    virtual bool inputRight() { return false; }
    virtual bool inputButton(int /*n 0..4*/) { return false; }
};

}  // namespace script
