// model/model_data.h
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/render_mesh.h"
#include "render/matrix.h"

namespace graphics {
class TextureStore;
}

namespace model {

constexpr int kModelParts = 100;
constexpr int kPartChildren = 20;
constexpr int kPartVectors = 8;
constexpr int kAnimations = 30;
constexpr int kAnimeTracks = 100;
constexpr int kTrackKeys = 30;
constexpr int kNameLength = 257;      // 256 characters and the NUL
constexpr int kFolderLength = 257;
constexpr size_t kModelPartBytes = 695;  // one part in a model file
constexpr size_t kAnimeKeyBytes = 28;    // one key in an animation file
constexpr int32_t kAnimeVersion = 1;

// One node of a model's part tree.
struct MODEL_PART {
    uint8_t kind = 0;  // 1: has a mesh; 0: no mesh, never animated; others: animated, no mesh
    char name[kNameLength] = {};
    int32_t parent = -1;
    int32_t children[kPartChildren];  // -1: empty slot
    // 0-2 rotation axes, 3 fixed angles, 4 current rotation in degrees
    // (animation), 5 as stored, 6 pivot, 7 current position (drawing).
    render::Vec3 vectors[kPartVectors];
    render::Vec3 translation;  // set by animation
    // Part whose mesh is drawn for this one; set by animation keys, so any
    // int16 value: a drawer uses it only when it is a part index.
    int32_t meshSource = 0;
    RENDER_MESH mesh;   // texture acquired
    RENDER_MESH shell;  // built when the model has shells
    char meshFile[kNameLength] = {};

    // Work values of the drawing code, kept beside the part.
    render::Vec3 worldPosition;
    render::Matrix accumulatedRotation;
    render::Matrix worldMatrix;

    MODEL_PART();
};

struct MODEL_DATA {
    char name[kNameLength] = {};  // model file name (no folder)
    int32_t rootPart = -1;
    int32_t highestPart = -1;  // parts 0..highestPart came from the file
    MODEL_PART parts[kModelParts];
    float scale = 1.0f;
    render::Vec3 scaleOffset;  // per-draw extra scale, 0 otherwise
    render::Vec3 origin;       // the root part's pivot
    render::Vec3 drawPosition;
    uint8_t hasShell = 0;
    float drawPlacement[6] = {};

    MODEL_DATA();
};

// One key of an animation track, as stored (28 bytes in the file).
struct ANIME_KEY {
    int16_t frame = -1;  // negative: empty slot, ends the key list
    int16_t rotation[3] = {};
    int8_t direction[3] = {1, 1, 1};  // turn towards this key: > 0 up, < 0 down
    uint8_t padding1 = 0;
    float translation[3] = {};
    int16_t meshSource = -1;
    uint8_t padding2[2] = {};
};

struct ANIME_TRACK {
    int32_t part = -1;  // track i drives part i; -1 after reset
    ANIME_KEY keys[kTrackKeys];
    uint8_t enabled = 0;  // the part's kind when loaded
};

struct ANIME_DATA {
    ANIME_TRACK tracks[kAnimeTracks];
    int32_t frameCount = 0;
};

// ---- services the models use ----

// Material textures resolve through this store; with none set, meshes
// keep no texture slot (tools and headless checks). Not owned.
void setTextureStore(graphics::TextureStore* store);
graphics::TextureStore* textureStore();

// How a message box reaches the user: the display prepares itself for it
// and shows it. Texts are code page 932. The default shows it through
// platform::showMessageBox without an owner.
using MessagePresenter = void (*)(const std::string& text, const std::string& caption);
void setMessagePresenter(MessagePresenter presenter);

// Writes `folder` (up to 256 characters) as the folder of model, mesh and
// animation files and as the texture store's texture folder.
void setModelFolder(const char* folder);
const char* modelFolder();

// ---- models ----

// Empties the model: every part reset (kind 0, no parent or children,
// axes X, Y, Z, other vectors zero, meshSource its own index, meshes
// empty, textures released), rootPart -1, hasShell 0.
void resetModel(MODEL_DATA& model);

// Reads model folder + `fileName` into the model, loading each part's mesh
// (and shell when `withShell`) from the mesh folder and acquiring its
// texture. False with a message box when the file cannot be read or is
// malformed (file name as text), or a mesh or its texture fails ("…が
// 見つかりませんでした。" with the mesh path or texture name).
bool loadModelFile(MODEL_DATA& model, const char* fileName, bool withShell, float shellDistance);

// The file's bytes, already read: the same checks and mesh loads, with
// `fileName` for the messages and the model name.
bool loadModelMemory(MODEL_DATA& model, const char* fileName, const uint8_t* data, size_t size,
                     bool withShell, float shellDistance);

// Reads the part table of a model file without loading meshes. False when
// malformed: shorter than its parts, more than 100 parts, or a root,
// parent or child index of 100 or more. `trailing` receives the count of
// bytes after the last part.
bool readModelParts(MODEL_DATA& model, const uint8_t* data, size_t size, size_t* trailing = nullptr);

// Every key reset, no part, not enabled.
void resetAnimeTrack(ANIME_TRACK& track);

// Reads animation folder + `fileName`. False, without a message, when the
// file cannot be read, is not version 1, is malformed (truncated, more than
// 100 tracks, a mesh source of 100 or more) or names another model (the
// names compared in lower case); a file for another model also resets
// every track and the frame count. Tracks above the file's highest track
// keep their contents.
bool loadAnimeFile(ANIME_DATA& anime, const MODEL_DATA& model, const char* fileName);
bool loadAnimeMemory(ANIME_DATA& anime, const MODEL_DATA& model, const uint8_t* data, size_t size);

}  // namespace model
