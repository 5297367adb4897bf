// The global functions every script file sees, in registration order.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "graphics/script_textures.h"
#include "script/script_api.h"
#include "script/script_host.h"

namespace script {

namespace {

ScriptHost& host() { return *ScriptHost::current(); }
GameServices& game() { return ScriptHost::current()->game(); }

void setNextFilePath(const Argument* a, Result&) { host().setNextFilePath(a[0].s); }
void setMainLoopEnd(const Argument*, Result&) { host().setMainLoopEnd(); }
void setTitle(const Argument* a, Result&) { game().setTitle(a[0].s); }
void setCameraIti(const Argument* a, Result&) { host().cameraEye = {a[0].f, a[1].f, a[2].f}; }
void setCameraSiten(const Argument* a, Result&) { host().cameraTarget = {a[0].f, a[1].f, a[2].f}; }
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
void loadWave(const Argument* a, Result& r) { r.i = game().loadWave(a[0].s); }
void unloadWave(const Argument* a, Result&) { game().unloadWave(a[0].i); }
void playWave(const Argument* a, Result&) { game().playWave(a[0].i); }
void stopWave(const Argument* a, Result&) { game().stopWave(a[0].i); }
void loadMidi(const Argument* a, Result& r) { r.b = game().loadMidi(a[0].s); }
void unloadMidi(const Argument*, Result&) { game().unloadMidi(); }
void playMidi(const Argument* a, Result&) { game().playMidi(a[0].i); }
void stopMidi(const Argument*, Result&) { game().stopMidi(); }
void setMidiValume(const Argument* a, Result&) { game().setMidiValume(a[0].i); }
void loadTexture(const Argument* a, Result& r) {
    r.b = a[0].i >= 0 && a[0].i < kScriptTextureSlots && game().loadTexture(a[0].i, a[1].s);
}

void queueTextureDraw(const Argument* a, uint8_t phase) {
    TextureDraw draw;
    draw.slot = a[0].i;
    draw.x = a[1].i;
    draw.y = a[2].i;
    draw.w = a[3].i;
    draw.h = a[4].i;
    draw.angle = a[5].i;
    draw.colour = graphics::packQuadColour(a[10].f, a[11].f, a[12].f, a[13].f);
    draw.srcLeft = a[6].i;
    draw.srcTop = a[7].i;
    draw.srcRight = a[8].i;
    draw.srcBottom = a[9].i;
    draw.pivotX = a[14].f;
    draw.pivotY = a[15].f;
    draw.phase = phase;
    game().queueTexture(draw);
}
void drawTextureFirst(const Argument* a, Result&) { queueTextureDraw(a, 0); }
void drawTextureLast(const Argument* a, Result&) { queueTextureDraw(a, 1); }
void unloadTexture(const Argument* a, Result&) {
    if (a[0].i >= 0 && a[0].i < kScriptTextureSlots) game().unloadTexture(a[0].i);
}
void convert3Dto2D(const Argument* a, Result& r) {
    ScriptHost& h = host();
    r.b = game().convert3Dto2D({a[0].f, a[1].f, a[2].f}, h.converted2DX, h.converted2DY);
}
void get3Dto2DX(const Argument*, Result& r) { r.i = host().converted2DX; }
void get3Dto2DY(const Argument*, Result& r) { r.i = host().converted2DY; }
void convert2Dto3D(const Argument* a, Result& r) {
    r.b = game().convert2Dto3D(a[0].i, a[1].i, a[2].f, host().converted3D);
}
void get2Dto3DX(const Argument*, Result& r) { r.f = host().converted3D.x; }
void get2Dto3DY(const Argument*, Result& r) { r.f = host().converted3D.y; }
void get2Dto3DZ(const Argument*, Result& r) { r.f = host().converted3D.z; }

// The segment under the mouse runs from depth 0.25 to depth 1000; the far
// point stays in the 2D-to-3D result.
void findNearMousePos(const Argument*, Result& r) {
    ScriptHost& h = host();
    GameServices& g = game();
    r.i = -1;
    int mx = g.mouseX(), my = g.mouseY();
    if (!g.convert2Dto3D(mx, my, 0.25f, h.converted3D)) return;
    Vector3 nearPoint = h.converted3D;
    if (!g.convert2Dto3D(mx, my, 1000.0f, h.converted3D)) return;
    h.lastPick = g.pick(nearPoint, h.converted3D);
    r.i = h.lastPick.slot;
}
void getFindResultX(const Argument*, Result& r) { r.f = host().lastPick.point.x; }
void getFindResultY(const Argument*, Result& r) { r.f = host().lastPick.point.y; }
void getFindResultZ(const Argument*, Result& r) { r.f = host().lastPick.point.z; }
void getFindResultDis(const Argument*, Result& r) { r.f = host().lastPick.distance; }
void loadField(const Argument* a, Result& r) { r.b = game().loadField(a[0].s); }
void unloadField(const Argument*, Result&) { game().unloadField(); }
void drawField(const Argument*, Result&) { game().drawField(host().cameraEye, host().cameraTarget); }
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
