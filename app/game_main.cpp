#include "app/game_main.h"

#include "platform/message_box.h"

namespace app {

GAME_MAIN::GAME_MAIN() = default;

GAME_MAIN::~GAME_MAIN() {
    if (d3d) textures.releaseAllScriptTextures(*d3d);
}

void GAME_MAIN::syncCamera() {
    const script::ScriptHost& h = host;
    cameraEye = {h.cameraEye.x, h.cameraEye.y, h.cameraEye.z};
    cameraTarget = {h.cameraTarget.x, h.cameraTarget.y, h.cameraTarget.z};
}

void GAME_MAIN::onDraw3D() {
    host.onDraw3D();
    syncCamera();
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
    if (!d3d) return;
    d3d->lightPosition = {0.0f, 0.70710677f, 0.70710677f};
    d3d->alphaBlending = 1;
    if (d3d->device()) d3d->setAlphaMode();
}

void GAME_MAIN::resetScene() {
    if (d3d) textures.releaseAllScriptTextures(*d3d);
}

void GAME_MAIN::drawScene(const script::Vector3&) {
    if (!d3d) return;
    textures.drawPass(*d3d, 0);
    textures.drawPass(*d3d, 1);
    textures.clearQueue();
}

int GAME_MAIN::loadWave(const char* file) { return sound() ? sound()->loadWave(file) : -1; }
void GAME_MAIN::unloadWave(int handle) { if (sound()) sound()->unloadWave(handle); }
void GAME_MAIN::playWave(int handle) { if (sound()) sound()->playWave(handle); }
void GAME_MAIN::stopWave(int handle) { if (sound()) sound()->stopWave(handle); }
bool GAME_MAIN::loadMidi(const char* file) { return sound() && sound()->loadMidi(file); }
void GAME_MAIN::unloadMidi() { if (sound()) sound()->unloadMidi(); }
void GAME_MAIN::playMidi(int start) { if (sound()) sound()->playMidi(start); }
void GAME_MAIN::stopMidi() { if (sound()) sound()->stopMidi(); }
void GAME_MAIN::setMidiValume(int milliseconds) { if (sound()) sound()->setMidiValume(milliseconds); }

bool GAME_MAIN::loadTexture(int slot, const char* file) {
    return d3d && textures.loadTexture(*d3d, slot, file);
}

void GAME_MAIN::unloadTexture(int slot) {
    if (d3d) textures.unloadTexture(*d3d, slot);
}

void GAME_MAIN::queueTexture(const script::TextureDraw& draw) {
    graphics::QueuedQuad quad;
    quad.tableIndex = draw.slot;
    quad.x = draw.x;
    quad.y = draw.y;
    quad.width = draw.w;
    quad.height = draw.h;
    quad.angle = draw.angle;
    quad.color = draw.colour;
    quad.left = draw.srcLeft;
    quad.top = draw.srcTop;
    quad.right = draw.srcRight;
    quad.bottom = draw.srcBottom;
    quad.pivotX = draw.pivotX;
    quad.pivotY = draw.pivotY;
    quad.last = draw.phase;
    textures.queue(quad);
}

}  // namespace app
