// app/game_main.h
#pragma once
#include "app/g_app_2.h"
#include "graphics/script_textures.h"
#include "script/game_services.h"
#include "script/script_host.h"

namespace app {

// The game: the frame of G_APP_2 driving the script host, and the
// services the script API asks of the display, input and scene.
class GAME_MAIN : public G_APP_2, public script::GameServices {
public:
    GAME_MAIN();
    ~GAME_MAIN() override;

    void onStart() override { host.onStart(); }
    void onTick() override {
        host.onTick();
        syncCamera();
    }
    void onDraw3D() override;
    void onDraw2D() override { host.onDraw2D(); }
    void onConfigure() override { host.onConfigure(); }
    void onEnd() override { host.onEnd(); }

    script::ScriptHost& scriptHost() { return host; }
    graphics::ScriptTextures& scriptTextures() { return textures; }

    // GameServices.
    bool isRunning() override { return G_APP::isRunning(); }
    void stopRunning() override { setRunning(false); }
    void restartLogicTime() override { G_APP_2::restartLogicTime(); }
    void messageBox(const char* text, const char* caption) override;
    void showMessage(const char* text, const char* caption) override;
    void setTitle(const char* text) override;
    void createFont(int height, int width, int weight) override;
    void drawText(const char* text, int left, int top, int right, int bottom, uint32_t colour) override;
    void prepareScene() override;
    void resetScene() override;
    void drawScene(const script::Vector3& eye) override;
    int mouseX() override { return G_APP_2::mouseX; }
    int mouseY() override { return G_APP_2::mouseY; }
    bool mouseLButton() override { return mouseLeft; }
    bool mouseRButton() override { return mouseRight; }
    bool inputUp() override { return inputState().up != 0; }
    bool inputDown() override { return inputState().down != 0; }
    bool inputLeft() override { return inputState().left != 0; }
    bool inputRight() override { return inputState().right != 0; }
    bool inputButton(int n) override { return n >= 0 && n <= 4 && inputState().buttons[n] != 0; }
    int loadWave(const char* file) override;
    void unloadWave(int handle) override;
    void playWave(int handle) override;
    void stopWave(int handle) override;
    bool loadMidi(const char* file) override;
    void unloadMidi() override;
    void playMidi(int start) override;
    void stopMidi() override;
    void setMidiValume(int milliseconds) override;
    bool loadTexture(int slot, const char* file) override;
    void unloadTexture(int slot) override;
    void queueTexture(const script::TextureDraw& draw) override;

private:
    // The scripts' camera drives the view matrix of the frame.
    void syncCamera();

    script::ScriptHost host{*this};
    graphics::ScriptTextures textures;
};

}  // namespace app
