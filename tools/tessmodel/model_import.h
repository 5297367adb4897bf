// tools/tessmodel/model_import.h
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tessmodel {

// The pose error every imported animation keeps within, at every frame
// and for every part: its turn relative to its parent within this many
// degrees of the source's, its pivot in its parent's frame within this
// fraction of the model's size.
constexpr double kRotationBound = 2.0;
constexpr double kPositionBound = 0.01;
constexpr int kDefaultFps = 20;  // one frame per logic tick of the host

struct ImportOptions {
    std::string source;     // a file Assimp reads: .gltf, .glb, .fbx, .obj, .dae
    std::string name;       // base of the output names; empty: the source's stem
    double scale = 1.0;     // multiplies every position and translation
    int fps = kDefaultFps;  // animation frames per second of source time
    int maxKeys = 30;       // keys a track may use, 1 to 30
    std::string boxNode;    // a node whose meshes become the collision mesh
    bool bakeSkin = false;  // skinned meshes cut into rigid pieces, one per bone
};

struct OutputFile {
    std::string name;  // no folder
    std::vector<uint8_t> bytes;
};

// Every file of the imported model, made in memory: nothing is written
// until the whole import has succeeded.
struct ImportResult {
    std::vector<OutputFile> files;
    std::vector<std::string> notes;  // what was dropped or changed, one line each
};

// Reads the source and makes a game model: a text mesh per part, the part
// tree, an animation per source animation, the textures and the
// description "NAME.cha". False with `error` naming the source's node,
// material or animation that breaks a limit of the host, or with
// Assimp's reason when the file cannot be read.
bool importModel(const ImportOptions& options, ImportResult& result, std::string& error);

// Reads the source as a field: every mesh at its place in the scene,
// merged into one mesh named `meshName` (its materials the field's
// batches), with its textures.
bool importField(const ImportOptions& options, const std::string& meshName, ImportResult& result,
                 std::string& error);

}  // namespace tessmodel
