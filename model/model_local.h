// model/model_local.h: shared inside model/ only.
#pragma once
#include <string>

#include "model/model_data.h"

namespace model {

// Texture of a main mesh from the texture store, by the mesh's texture
// name in the current texture folder. An empty name succeeds without a
// slot; false when the store cannot load it.
bool acquireMeshTexture(RENDER_MESH& mesh);
// Gives the mesh's texture slot back to the store.
void releaseMeshTexture(RENDER_MESH& mesh);
void setStoreTextureFolder(const char* folder);

// Shows a model message box: `text` and the caption, both UTF-8 or
// code page 932.
void showModelMessage(const std::string& text, const char* caption);

// The "not found" text for a path or name (code page 932 bytes).
std::string notFoundText(const char* name);

// Bounded copy: at most capacity - 1 bytes and the NUL.
void copyName(char* out, size_t capacity, const char* text);

// folder + name ("%s%s"), the way every model file path is formed.
std::string joinPath(const char* folder, const char* name);

}  // namespace model
