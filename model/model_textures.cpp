// Material textures of model meshes, through the texture store.
#include "graphics/texture_store.h"
#include "model/model_local.h"

namespace model {

bool acquireMeshTexture(RENDER_MESH& mesh) {
    graphics::TextureStore* store = textureStore();
    if (!store) return true;
    int slot = -1;
    if (!store->findOrLoadMaterialTexture(mesh.textureName, slot)) return false;
    mesh.textureSlot = slot;
    return true;
}

void releaseMeshTexture(RENDER_MESH& mesh) {
    graphics::TextureStore* store = textureStore();
    if (store && mesh.textureSlot >= 0) store->releaseTexture(mesh.textureSlot);
    mesh.textureSlot = -1;
}

void setStoreTextureFolder(const char* folder) {
    if (graphics::TextureStore* store = textureStore()) store->setTextureFolder(folder);
}

}  // namespace model
