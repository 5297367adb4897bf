#include "app/game_main.h"

#include "model/model_data.h"
#include "model/system_assets.h"
#include "platform/message_box.h"

namespace app {

namespace {

// The light every run starts with, from above and in front.
constexpr render::Vec3 kStartLight{0.0f, 0.70710677f, 0.70710677f};

// The game whose display shows the models' message boxes; one at a time.
GAME_MAIN* modelMessageOwner = nullptr;

void showModelMessage(const std::string& text, const std::string& caption) {
    if (modelMessageOwner) modelMessageOwner->showMessage(text.c_str(), caption.c_str());
    else platform::showMessageBox(text.c_str(), caption.c_str(), nullptr);
}

}  // namespace

GAME_MAIN::GAME_MAIN() = default;

GAME_MAIN::~GAME_MAIN() {
    if (modelMessageOwner == this) {
        modelMessageOwner = nullptr;
        model::setMessagePresenter(nullptr);
    }
}

void GAME_MAIN::connectModels() {
    modelMessageOwner = this;
    model::setMessagePresenter(showModelMessage);
    model::setTextureStore(d3d ? &d3d->textures() : nullptr);
}

void GAME_MAIN::onStart() {
    connectModels();
    scene.loadBoardModel(model::systemAssetPath(scene::kBoardModelFile).c_str());
    script::ScriptSubsystems parts;
    parts.sound = sound();
    if (d3d) {
        parts.textures = &textures;
        parts.textureStore = &d3d->textures();
    }
    parts.camera = &camera;
    parts.scene = &scene;
    field.connect(d3d ? &d3d->textures() : nullptr, d3d.get(), &lighting);
    parts.field = &field;
    host.attach(parts);
    host.onStart();
}

void GAME_MAIN::onEnd() {
    host.onEnd();
    // The display and the players go at shut-down: the host and the models
    // keep nothing of them beyond this point.
    host.attach({});
    scene.reset();
    field.unload();
    field.connect(nullptr, nullptr, nullptr);
    model::setTextureStore(nullptr);
}

void GAME_MAIN::messageBox(const char* text, const char* caption) {
    platform::showMessageBox(text, caption, mainWindow.get());
}

void GAME_MAIN::showMessage(const char* text, const char* caption) {
    if (d3d) d3d->showMessage(text, caption);
    else messageBox(text, caption);
}

void GAME_MAIN::setTitle(const char* text) {
    if (mainWindow) mainWindow->setTitle(text);
}

void GAME_MAIN::createFont(int height, int width, int weight) {
    if (d3d) d3d->createFont(height, width, weight);
}

void GAME_MAIN::drawText(const char* text, int left, int top, int right, int bottom, uint32_t colour) {
    if (d3d) d3d->drawText(-1, {left, top, right, bottom}, text, colour);
}

void GAME_MAIN::prepareScene() {
    lighting.position = kStartLight;
    if (!d3d) return;
    d3d->alphaBlending = 1;
    if (d3d->device()) d3d->setAlphaMode();
}

void GAME_MAIN::resetScene() {
    scene.reset();
    if (d3d) textures.releaseAllScriptTextures(d3d->textures());
}

void GAME_MAIN::drawScene() {
    if (!d3d) return;
    scene.drawFrame({*d3d, lighting, camera, textures});
}

}  // namespace app
