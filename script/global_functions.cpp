// The global functions every script file sees, in registration order.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "graphics/camera.h"
#include "graphics/script_textures.h"
#include "scene/field.h"
#include "scene/picking.h"
#include "script/script_api.h"
#include "script/script_host.h"
#include "sound/sound_functions.h"

namespace script {

namespace {

ScriptHost& host() { return *ScriptHost::current(); }
GameServices& game() { return ScriptHost::current()->game(); }
sound::SoundFunctions* sound() { return host().parts().sound; }
graphics::Camera& camera() { return host().camera(); }

void setNextFilePath(const Argument* a, Result&) { host().setNextFilePath(a[0].s); }
void setMainLoopEnd(const Argument*, Result&) { host().setMainLoopEnd(); }
void setTitle(const Argument* a, Result&) { game().setTitle(a[0].s); }
void setCameraIti(const Argument* a, Result&) { camera().eye = {a[0].f, a[1].f, a[2].f}; }
void setCameraSiten(const Argument* a, Result&) { camera().target = {a[0].f, a[1].f, a[2].f}; }
void getMouseX(const Argument*, Result& r) { r.i = game().mouseX(); }
void getMouseY(const Argument*, Result& r) { r.i = game().mouseY(); }
void getMouseLButton(const Argument*, Result& r) { r.b = game().mouseLButton(); }
void getMouseRButton(const Argument*, Result& r) { r.b = game().mouseRButton(); }
void getInputUp(const Argument*, Result& r) { r.b = game().inputUp(); }
void getInputDown(const Argument*, Result& r) { r.b = game().inputDown(); }
void getInputLeft(const Argument*, Result& r) { r.b = game().inputLeft(); }
void getInputRight(const Argument*, Result& r) { r.b = game().inputRight(); }
void getInputButton(const Argument* a, Result& r) {
    r.b = a[0].i >= 0 && a[0].i <= 4 && game().inputButton(a[0].i);
}
void loadWave(const Argument* a, Result& r) { r.i = sound() ? sound()->loadWave(a[0].s) : -1; }
void unloadWave(const Argument* a, Result&) { if (sound()) sound()->unloadWave(a[0].i); }
void playWave(const Argument* a, Result&) { if (sound()) sound()->playWave(a[0].i); }
void stopWave(const Argument* a, Result&) { if (sound()) sound()->stopWave(a[0].i); }
void loadMidi(const Argument* a, Result& r) { r.b = sound() && sound()->loadMidi(a[0].s); }
void unloadMidi(const Argument*, Result&) { if (sound()) sound()->unloadMidi(); }
void playMidi(const Argument* a, Result&) { if (sound()) sound()->playMidi(a[0].i); }
void stopMidi(const Argument*, Result&) { if (sound()) sound()->stopMidi(); }
void setMidiValume(const Argument* a, Result&) { if (sound()) sound()->setMidiValume(a[0].i); }
void loadTexture(const Argument* a, Result& r) {
    const ScriptSubsystems& s = host().parts();
    r.b = a[0].i >= 0 && a[0].i < kScriptTextureSlots && s.textures &&
          s.textures->loadTexture(*s.textureStore, a[0].i, a[1].s);
}

void queueTextureDraw(const Argument* a, int last) {
    graphics::ScriptTextures* textures = host().parts().textures;
    if (!textures) return;
    graphics::QueuedQuad quad;
    quad.tableIndex = a[0].i;
    quad.x = a[1].i;
    quad.y = a[2].i;
    quad.width = a[3].i;
    quad.height = a[4].i;
    quad.angle = a[5].i;
    quad.color = graphics::packQuadColour(a[10].f, a[11].f, a[12].f, a[13].f);
    quad.left = a[6].i;
    quad.top = a[7].i;
    quad.right = a[8].i;
    quad.bottom = a[9].i;
    quad.pivotX = a[14].f;
    quad.pivotY = a[15].f;
    quad.last = last;
    textures->queue(quad);
}
void drawTextureFirst(const Argument* a, Result&) { queueTextureDraw(a, 0); }
void drawTextureLast(const Argument* a, Result&) { queueTextureDraw(a, 1); }
void unloadTexture(const Argument* a, Result&) {
    const ScriptSubsystems& s = host().parts();
    if (a[0].i >= 0 && a[0].i < kScriptTextureSlots && s.textures) s.textures->unloadTexture(*s.textureStore, a[0].i);
}
void convert3Dto2D(const Argument* a, Result& r) {
    ScriptHost& h = host();
    r.b = camera().worldToScreen({a[0].f, a[1].f, a[2].f}, h.converted2DX, h.converted2DY);
}
void get3Dto2DX(const Argument*, Result& r) { r.i = host().converted2DX; }
void get3Dto2DY(const Argument*, Result& r) { r.i = host().converted2DY; }
void convert2Dto3D(const Argument* a, Result& r) {
    host().converted3D = camera().screenToWorld(a[0].i, a[1].i, a[2].f);
    r.b = true;
}
void get2Dto3DX(const Argument*, Result& r) { r.f = host().converted3D.x; }
void get2Dto3DY(const Argument*, Result& r) { r.f = host().converted3D.y; }
void get2Dto3DZ(const Argument*, Result& r) { r.f = host().converted3D.z; }

// The segment under the mouse runs from depth 0.25 to depth 1000; the far
// point stays in the 2D-to-3D result. Without a scene nothing is hit.
void findNearMousePos(const Argument*, Result& r) {
    ScriptHost& h = host();
    GameServices& g = game();
    const int mx = g.mouseX(), my = g.mouseY();
    const render::Vec3 nearPoint = camera().screenToWorld(mx, my, scene::kPickNearDepth);
    h.converted3D = camera().screenToWorld(mx, my, scene::kPickFarDepth);
    scene::PickResult pick;
    if (scene::SceneStore* store = h.parts().scene)
        pick = scene::pickObject(*store, camera().eye, nearPoint, h.converted3D);
    h.lastPick.slot = pick.slot;
    h.lastPick.point = pick.offset;
    h.lastPick.distance = pick.distance;
    r.i = pick.slot;
}
void getFindResultX(const Argument*, Result& r) { r.f = host().lastPick.point.x; }
void getFindResultY(const Argument*, Result& r) { r.f = host().lastPick.point.y; }
void getFindResultZ(const Argument*, Result& r) { r.f = host().lastPick.point.z; }
void getFindResultDis(const Argument*, Result& r) { r.f = host().lastPick.distance; }
scene::Field* field() { return host().parts().field; }
void loadField(const Argument* a, Result& r) { r.b = field() && field()->load(a[0].s); }
void unloadField(const Argument*, Result&) { if (field()) field()->unload(); }
void drawField(const Argument*, Result&) { if (field()) field()->draw(camera()); }
void setData(const Argument* a, Result&) { host().dataStore.setData(a[0].s, a[1].s); }
void getData(const Argument* a, Result& r) { r.s = host().dataStore.getData(a[0].s).c_str(); }
void clearData(const Argument*, Result&) { host().dataStore.clearData(); }
void loadData(const Argument* a, Result& r) { r.b = host().dataStore.loadData(a[0].s); }
void saveData(const Argument* a, Result& r) { r.b = host().dataStore.saveData(a[0].s); }
void getLoadData(const Argument*, Result& r) { r.s = host().dataStore.getLoadData().c_str(); }
void drawText(const Argument* a, Result&) {
    host().drawText(a[0].s, a[1].i, a[2].i, a[3].i, a[4].i, a[5].i, a[6].i);
}
void setDebugMsg(const Argument* a, Result&) { host().setDebugMsg(a[0].s); }

constexpr GlobalDef kGlobals[kGlobalFunctions] = {
    {"setNextFilePath", "s", 0, setNextFilePath},
    {"setMainLoopEnd", "", 0, setMainLoopEnd},
    {"setTitle", "s", 0, setTitle},
    {"setCameraIti", "fff", 0, setCameraIti},
    {"setCameraSiten", "fff", 0, setCameraSiten},
    {"getMouseX", "", 'i', getMouseX},
    {"getMouseY", "", 'i', getMouseY},
    {"getMouseLButton", "", 'b', getMouseLButton},
    {"getMouseRButton", "", 'b', getMouseRButton},
    {"getInputUp", "", 'b', getInputUp},
    {"getInputDown", "", 'b', getInputDown},
    {"getInputLeft", "", 'b', getInputLeft},
    {"getInputRight", "", 'b', getInputRight},
    {"getInputButton", "i", 'b', getInputButton},
    {"loadWave", "s", 'i', loadWave},
    {"unloadWave", "i", 0, unloadWave},
    {"playWave", "i", 0, playWave},
    {"stopWave", "i", 0, stopWave},
    {"loadMidi", "s", 'b', loadMidi},
    {"unloadMidi", "", 0, unloadMidi},
    {"playMidi", "i", 0, playMidi},
    {"stopMidi", "", 0, stopMidi},
    {"setMidiValume", "i", 0, setMidiValume},
    {"loadTexture", "is", 'b', loadTexture},
    {"drawTextureFirst", "iiiiiiiiiiffffff", 0, drawTextureFirst},
    {"drawTextureLast", "iiiiiiiiiiffffff", 0, drawTextureLast},
    {"unloadTexture", "i", 0, unloadTexture},
    {"convert3Dto2D", "fff", 'b', convert3Dto2D},
    {"get3Dto2DX", "", 'i', get3Dto2DX},
    {"get3Dto2DY", "", 'i', get3Dto2DY},
    {"convert2Dto3D", "iif", 'b', convert2Dto3D},
    {"get2Dto3DX", "", 'f', get2Dto3DX},
    {"get2Dto3DY", "", 'f', get2Dto3DY},
    {"get2Dto3DZ", "", 'f', get2Dto3DZ},
    {"findNearMousePos", "", 'i', findNearMousePos},
    {"getFindResultX", "", 'f', getFindResultX},
    {"getFindResultY", "", 'f', getFindResultY},
    {"getFindResultZ", "", 'f', getFindResultZ},
    {"getFindResultDis", "", 'f', getFindResultDis},
    {"loadField", "s", 'b', loadField},
    {"unloadField", "", 0, unloadField},
    {"drawField", "", 0, drawField},
    {"setData", "ss", 0, setData},
    {"getData", "s", 's', getData},
    {"clearData", "", 0, clearData},
    {"loadData", "s", 'b', loadData},
    {"saveData", "s", 'b', saveData},
    {"getLoadData", "", 's', getLoadData},
    {"drawText", "siiiiii", 0, drawText},
    {"setDebugMsg", "s", 0, setDebugMsg},
};

}  // namespace

const GlobalDef* globalFunctions() { return kGlobals; }

void registerScriptApi(HSQUIRRELVM vm) {
    registerClass(vm, porigonManagerClass());
    registerClass(vm, boardManagerClass());
    for (const GlobalDef& def : kGlobals) registerGlobal(vm, def);
}

}  // namespace script
