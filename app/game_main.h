// app/game_main.h
#pragma once
#include "app/g_app_2.h"
#include "graphics/script_textures.h"
#include "scene/field.h"
#include "scene/scene_store.h"
#include "script/game_services.h"
#include "script/script_host.h"

namespace app {

// The game: the frame of G_APP_2 driving the script host. It hands the
// host the subsystems the script functions drive (sound, the scripts'
// textures, the camera, the scene store, the field) and answers the few
// frame services the host asks of it (running state, message boxes,
// title, text, input).
class GAME_MAIN : public G_APP_2, public script::GameServices {
public:
    GAME_MAIN();
    ~GAME_MAIN() override;

    void onStart() override;
    void onTick() override { host.onTick(); }
    void onDraw3D() override { host.onDraw3D(); }
    void onDraw2D() override { host.onDraw2D(); }
    void onConfigure() override { host.onConfigure(); }
    void onEnd() override;

    script::ScriptHost& scriptHost() { return host; }
    graphics::ScriptTextures& scriptTextures() { return textures; }
    scene::SceneStore& sceneStore() { return scene; }

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
    void drawScene() override;
    int mouseX() override { return mouse.x; }
    int mouseY() override { return mouse.y; }
    bool mouseLButton() override { return mouse.left; }
    bool mouseRButton() override { return mouse.right; }
    bool inputUp() override { return inputState().up != 0; }
    bool inputDown() override { return inputState().down != 0; }
    bool inputLeft() override { return inputState().left != 0; }
    bool inputRight() override { return inputState().right != 0; }
    bool inputButton(int n) override { return n >= 0 && n <= 4 && inputState().buttons[n] != 0; }

private:
    // Models load their textures into the display's store and show their
    // message boxes through the display.
    void connectModels();

    script::ScriptHost host{*this};
    graphics::ScriptTextures textures;
    scene::SceneStore scene;
    // Survives changes of script file; unloaded by the script or at the end.
    scene::Field field;
};

}  // namespace app
