// script/game_services.h
#pragma once
#include <cstdint>

namespace script {

struct Vector3 {
    float x = 0, y = 0, z = 0;
};

// One 2D draw request as the script functions queue it.
struct TextureDraw {
    int32_t slot = -1;
    int32_t x = 0, y = 0, w = 0, h = 0, angle = 0;
    uint32_t colour = 0;  // 0xAARRGGBB
    int32_t srcLeft = 0, srcTop = 0, srcRight = 0, srcBottom = 0;
    float pivotX = 0, pivotY = 0;
    uint8_t phase = 0;  // 0: before the 3D scene, 1: after it
};

// A pick along a segment.
struct PickResult {
    int slot = -1;
    Vector3 point;
    float distance = 0;
};

// What the script host and the script API need from the rest of the
// game: the application frame, the display, the scene, sound and input.
// The application object implements it. Every operation has a default
// that answers as if its subsystem were absent (false, -1, nothing
// drawn), so tests override only what they look at.
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

    // Start of a run: wave slots, board model, light and blending.
    virtual void prepareScene() {}
    // Empties the scene store and releases every script texture.
    virtual void resetScene() {}
    // The frame's scene draw step: 2D "first", objects, boards, 2D "last".
    virtual void drawScene(const Vector3& /*eye*/) {}

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

    // Sound, with the guards of the script functions (handles outside
    // 0..29 ignored, the MIDI file remembered by loadMidi).
    virtual int loadWave(const char* /*file*/) { return -1; }
    virtual void unloadWave(int /*handle*/) {}
    virtual void playWave(int /*handle*/) {}
    virtual void stopWave(int /*handle*/) {}
    virtual bool loadMidi(const char* /*file*/) { return false; }
    virtual void unloadMidi() {}
    virtual void playMidi(int /*start*/) {}
    virtual void stopMidi() {}
    virtual void setMidiValume(int /*milliseconds*/) {}

    // Script textures and the 2D queue.
    virtual bool loadTexture(int /*slot 0..99*/, const char* /*file*/) { return false; }
    virtual void unloadTexture(int /*slot 0..99*/) {}
    virtual void queueTexture(const TextureDraw& /*draw*/) {}

    // Screen and world.
    virtual bool convert3Dto2D(const Vector3& /*point*/, int& /*x*/, int& /*y*/) { return false; }
    virtual bool convert2Dto3D(int /*x*/, int /*y*/, float /*depth*/, Vector3& /*point*/) { return false; }
    virtual PickResult pick(const Vector3& /*from*/, const Vector3& /*to*/) { return {}; }

    // Field.
    virtual bool loadField(const char* /*file*/) { return false; }
    virtual void unloadField() {}
    virtual void drawField(const Vector3& /*eye*/, const Vector3& /*target*/) {}

    // Scene objects behind PorigonManager and BoardManager.
    virtual bool loadModel(int /*slot*/, const char* /*file*/) { return false; }
    virtual void unloadModel(int /*slot*/) {}
    virtual void queueObject(const void* /*porigonRecord*/) {}
    virtual float maxAnimeFrame(int /*slot*/, int /*anime*/) { return -1.0f; }
    virtual void updateObject(const void* /*porigonRecord*/) {}
    virtual bool checkHit(void* /*porigonRecord*/, const Vector3& /*from*/, const Vector3& /*to*/) { return false; }
    virtual int checkObst(void* /*porigonRecord*/, int /*skipSlot*/, bool /*flag*/) { return -1; }
    virtual int checkField(void* /*porigonRecord*/) { return -1; }
    virtual void queueBoard(const void* /*boardRecord*/) {}
};

}  // namespace script
