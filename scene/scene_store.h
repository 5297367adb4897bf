// scene/scene_store.h
#pragma once
#include <cstdint>
#include <memory>

#include "scene/scene_records.h"

namespace graphics {
class Camera;
class G_D3D;
class ScriptTextures;
struct Lighting;
}  // namespace graphics

namespace model {
class CHARA;
class OBJECTBASE;
}  // namespace model

namespace scene {

constexpr int kModelNameLength = 257;  // 256 characters and the NUL
constexpr int kNoModel = -1;
constexpr const char* kBoardModelFile = "system\\board\\board.cha";

// An object slot, addressed by a PorigonManager's `index`: the model it
// shows and where the last update() put it.
struct ObjectSlot {
    uint8_t active = 0;         // 1 after update(), 0 after a model was attached and after a reset
    int32_t model = kNoModel;   // model slot, or -1
    float x = 0, y = 0, z = 0;
    float rx = 0, ry = 0, rz = 0;  // degrees
    uint8_t obstacle = 0;       // isObst at the last update()
};

// A loaded model shared by every object slot that attached the same file.
// The object is made at the slot's first load and kept for the next.
struct ModelSlot {
    std::unique_ptr<model::CHARA> chara;
    char name[kModelNameLength] = {};  // empty: free
    int32_t refCount = 0;
};

// One queued object of a frame: what the draw step needs of the instance.
struct DrawEntry {
    int32_t index = -1;
    float x = 0, y = 0, z = 0;
    float rx = 0, ry = 0, rz = 0;
    int32_t animeIndex = 0;
    float animeFrame = 0;
    int32_t isMask = 0;
    float scaleX = 1, scaleY = 1, scaleZ = 1;
    float colorR = 1, colorG = 1, colorB = 1, colorA = 1;
    float isSetColor = 0;  // 0.0 or 1.0
    float distance = 0;    // to the eye; written only when the list is sorted
};

// One queued board of a frame.
struct BoardEntry {
    float rote = 0;
    float x = 0, y = 0, z = 0;
    float rx = 0, ry = 0, rz = 0;
    int32_t textureIndex = -1;
    float top = 0, left = 0, bottom = 0, right = 0;
    float scaleX = 0, scaleY = 0, scaleZ = 0;
    float colorR = 1, colorG = 1, colorB = 1, colorA = 1;
    float distance = 0;  // to the eye; written only when the list is sorted
};

template <typename Entry>
struct DrawList {
    Entry entries[kDrawListEntries];
    int32_t count = 0;

    // A full list drops the entry without report.
    void push(const Entry& entry) {
        if (count < kDrawListEntries) entries[count++] = entry;
    }
};

// What the frame's draw step draws with: the device, the light (whose
// tint the tinted pass sets and restores), the camera's eye and degree
// table, and the scripts' 2D images and texture table.
struct FrameTargets {
    graphics::G_D3D& d3d;
    graphics::Lighting& lighting;
    const graphics::Camera& camera;
    graphics::ScriptTextures& textures;
};

// Everything the scripts put into the 3D scene: 600 object slots, 50
// shared models, the billboard model and the five draw lists the
// PorigonManager and BoardManager methods fill during a frame. One lives
// in the application for the whole run; nothing in it grows.
class SceneStore {
public:
    SceneStore();
    ~SceneStore();
    SceneStore(const SceneStore&) = delete;
    SceneStore& operator=(const SceneStore&) = delete;

    // Loads the billboard model once, from `path` as given (a game path or
    // the host's copy). False when it cannot be loaded: boards are then
    // never drawn.
    bool loadBoardModel(const char* path);
    // The billboard model, when loaded with at least six vertices in its
    // root part's mesh; null otherwise.
    model::OBJECTBASE* boardModel();

    // PorigonManager.load: the model file `file` (a description, or a lone
    // mesh) into object slot `index`, shared with every slot that loaded the
    // same name. False for an index outside 0-599, a file that does not
    // load, or 50 models in use; nothing changes then. A model the slot held
    // before keeps its count.
    bool attachModel(int index, const char* file);
    // PorigonManager.unload: one reference less; at 0 the model goes and
    // the slot has none.
    void detachModel(int index);
    // PorigonManager.update: the instance's last-update fields, then (with a
    // model in its slot) the slot's placement and obstacle flag.
    void registerObject(ObjectRecord& record);
    // PorigonManager.draw: the transparent list with isAlpha or isSetColor,
    // else the opaque one.
    void queueObject(const ObjectRecord& record);
    // BoardManager.draw: board list effectType (0, 1, 2); others queue nothing.
    void queueBoard(const BoardRecord& record);
    // -1.0 without a model in slot `index`, 0.0 for `anime` outside 0-29,
    // else the frame count of that animation.
    float maxAnimeFrame(int index, int anime) const;

    // Before each script file and at the end: every slot loses its model,
    // every model is released. The board model stays.
    void reset();

    // The frame's draw step: 2D images "first", the opaque list nearest
    // first, the transparent list farthest first, board lists 0, 1 and 2
    // with their depth and blend states, 2D images "last"; then every list
    // and the 2D queue are empty.
    void drawFrame(const FrameTargets& targets);

    const ObjectSlot& objectSlot(int index) const { return objects[index]; }
    const ModelSlot& modelSlot(int slot) const { return models[slot]; }
    // The model shown by object slot `index`, or null.
    model::CHARA* modelOf(int index);
    const DrawList<DrawEntry>& opaqueList() const { return opaque; }
    const DrawList<DrawEntry>& transparentList() const { return transparent; }
    const DrawList<BoardEntry>& boardList(int effect) const { return boards[effect]; }

private:
    void clearLists();

    ObjectSlot objects[kObjectSlots];
    ModelSlot models[kModelSlots];
    std::unique_ptr<model::OBJECTBASE> board;
    bool boardLoaded = false;
    DrawList<DrawEntry> opaque;
    DrawList<DrawEntry> transparent;
    DrawList<BoardEntry> boards[3];
};

}  // namespace scene
