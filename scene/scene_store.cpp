#include "scene/scene_store.h"

#include <cstring>

#include "platform/file_report.h"

#include "graphics/camera.h"
#include "graphics/g_d3d.h"
#include "graphics/script_textures.h"
#include "model/objects.h"
#include "scene/scene_local.h"

namespace scene {

namespace {

constexpr int kBoardVertices = 6;

bool validIndex(int index) { return index >= 0 && index < kObjectSlots; }

}  // namespace

SceneStore::SceneStore() = default;

SceneStore::~SceneStore() {
    reset();
}

bool SceneStore::loadBoardModel(const char* path) {
    if (!board) board = std::make_unique<model::OBJECTBASE>();
    boardLoaded = model::loadDescription(*board, path);
    return boardLoaded;
}

model::OBJECTBASE* SceneStore::boardModel() {
    if (!boardLoaded || !board) return nullptr;
    const model::MODEL_DATA& m = board->model;
    if (m.rootPart < 0 || m.rootPart >= model::kModelParts) return nullptr;
    if (m.parts[m.rootPart].mesh.vertexCount < kBoardVertices) return nullptr;
    return board.get();
}

bool SceneStore::attachModel(int index, const char* file) {
    if (!validIndex(index) || !file) return false;
    int chosen = kNoModel;
    for (int i = 0; i < kModelSlots; ++i) {
        if (models[i].name[0] && std::strncmp(models[i].name, file, kModelNameLength) == 0) {
            ++models[i].refCount;
            chosen = i;
            break;
        }
    }
    if (chosen == kNoModel) {
        int free = kNoModel;
        for (int i = 0; i < kModelSlots; ++i) {
            if (!models[i].name[0]) {
                free = i;
                break;
            }
        }
        if (free == kNoModel) {
            platform::reportFileOnce("cannot load the model '%s': all 50 model slots are in use", file);
            return false;
        }
        ModelSlot& slot = models[free];
        if (!slot.chara) slot.chara = std::make_unique<model::CHARA>();
        if (!model::loadDescription(*slot.chara, file)) {
            // Whatever the failed load kept goes now: the slot stays free.
            slot.chara->release();
            return false;
        }
        // A name the slot cannot hold whole could never be matched again;
        // it is kept cut, as its first 256 bytes.
        std::strncpy(slot.name, file, kModelNameLength - 1);
        slot.name[kModelNameLength - 1] = 0;
        slot.refCount = 1;
        chosen = free;
    }
    objects[index].model = chosen;
    objects[index].active = 0;
    return true;
}

void SceneStore::detachModel(int index) {
    if (!validIndex(index) || objects[index].model < 0) return;
    ModelSlot& slot = models[objects[index].model];
    if (--slot.refCount > 0) return;
    if (slot.chara) slot.chara->release();
    slot.name[0] = 0;
    slot.refCount = 0;
    objects[index].model = kNoModel;
}

void SceneStore::registerObject(ObjectRecord& o) {
    o.rememberPlacement();
    if (!validIndex(o.index) || objects[o.index].model < 0) return;
    ObjectSlot& slot = objects[o.index];
    slot.x = o.x;
    slot.y = o.y;
    slot.z = o.z;
    slot.rx = o.rx;
    slot.ry = o.ry;
    slot.rz = o.rz;
    slot.obstacle = o.isObst;
    slot.active = 1;
}

void SceneStore::queueObject(const ObjectRecord& o) {
    DrawEntry e;
    e.index = o.index;
    e.x = o.x;
    e.y = o.y;
    e.z = o.z;
    e.rx = o.rx;
    e.ry = o.ry;
    e.rz = o.rz;
    e.animeIndex = o.animeIndex;
    e.animeFrame = o.animeFrame;
    e.isMask = o.isMask ? 1 : 0;
    e.scaleX = o.scaleX;
    e.scaleY = o.scaleY;
    e.scaleZ = o.scaleZ;
    e.colorR = o.colorR;
    e.colorG = o.colorG;
    e.colorB = o.colorB;
    e.colorA = o.colorA;
    e.isSetColor = o.isSetColor ? 1.0f : 0.0f;
    e.distance = 0.0f;
    if (o.isAlpha || o.isSetColor) transparent.push(e);
    else opaque.push(e);
}

void SceneStore::queueBoard(const BoardRecord& b) {
    if (b.effectType < 0 || b.effectType > 2) return;
    BoardEntry e;
    e.rote = b.rote;
    e.x = b.x;
    e.y = b.y;
    e.z = b.z;
    e.rx = b.rx;
    e.ry = b.ry;
    e.rz = b.rz;
    e.textureIndex = b.textureIndex;
    e.top = b.top;
    e.left = b.left;
    e.bottom = b.bottom;
    e.right = b.right;
    e.scaleX = b.scaleX;
    e.scaleY = b.scaleY;
    e.scaleZ = b.scaleZ;
    e.colorR = b.colorR;
    e.colorG = b.colorG;
    e.colorB = b.colorB;
    e.colorA = b.colorA;
    e.distance = 0.0f;
    boards[b.effectType].push(e);
}

float SceneStore::maxAnimeFrame(int index, int anime) const {
    if (!validIndex(index) || objects[index].model < 0) return -1.0f;
    if (anime < 0 || anime >= model::kAnimations) return 0.0f;
    const ModelSlot& slot = models[objects[index].model];
    return slot.chara ? float(slot.chara->animeFrameCount(anime)) : 0.0f;
}

model::CHARA* SceneStore::modelOf(int index) {
    if (!validIndex(index) || objects[index].model < 0) return nullptr;
    return models[objects[index].model].chara.get();
}

void SceneStore::reset() {
    for (ObjectSlot& slot : objects) {
        if (slot.model >= 0) {
            slot.model = kNoModel;
            slot.active = 0;
        }
    }
    for (ModelSlot& slot : models) {
        if (slot.chara) slot.chara->release();
        slot.name[0] = 0;
        slot.refCount = 0;
    }
    clearLists();
}

void SceneStore::clearLists() {
    opaque.count = 0;
    transparent.count = 0;
    for (DrawList<BoardEntry>& list : boards) list.count = 0;
}

void SceneStore::drawFrame(const FrameTargets& t) {
    render::Device* device = t.d3d.device();
    if (device) {
        using render::RenderState;
        t.textures.drawPass(t.d3d, 0);
        const render::Vec3 eye = t.camera.eye;
        drawObjectList(*this, opaque, ListOrder::NearestFirst, eye, t);
        drawObjectList(*this, transparent, ListOrder::FarthestFirst, eye, t);
        drawBoardList(*this, boards[0], eye, t);
        device->setRenderState(RenderState::ZEnable, 0u);
        drawBoardList(*this, boards[1], eye, t);
        device->setRenderState(RenderState::SrcBlend, render::Blend::SrcAlpha);
        device->setRenderState(RenderState::DestBlend, render::Blend::One);
        drawBoardList(*this, boards[2], eye, t);
        device->setRenderState(RenderState::SrcBlend, render::Blend::SrcAlpha);
        device->setRenderState(RenderState::DestBlend, render::Blend::InvSrcAlpha);
        t.textures.drawQueuedTextures(t.d3d, 1);
        device->setRenderState(RenderState::ZEnable, 1u);
    }
    t.textures.clearQueue();
    clearLists();
}

}  // namespace scene
