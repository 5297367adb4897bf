// tools/tessmodel/import_messages.h
#pragma once
#include <initializer_list>
#include <string>

// Every text `tessmodel import` shows: its refusals (with the node,
// material or animation that breaks a limit) and its notes. "%1" to "%6"
// stand for the values given to `say`, in order; names come quoted
// ('arm').
namespace tessmodel::messages {

// ---- the host's limits ----
constexpr const char* kTooManyParts = "node %1 is part 101; a model holds at most 100 parts";
constexpr const char* kTooManyChildren = "node %1 has more than 20 children; a part holds at most 20";
constexpr const char* kNameTooLong = "node %1: its name has %2 characters; a part's name holds at most 256";
constexpr const char* kTooManyAnimations = "animation %1 is the 31st; a model holds at most 30 animations";
constexpr const char* kTooManyFrames = "animation %1 lasts %2 frames; an animation holds at most 32767 (try a lower --fps)";
constexpr const char* kTooManyKeys =
    "needs more than %1 keys to stay within %2 degrees and %3 units of the source (off by %4 degrees, %5 units at "
    "frame %6); try a lower --fps";
constexpr const char* kTooManySwaps = "shows and hides its mesh %1 times; a track holds at most %2 keys";
constexpr const char* kTwoTextures =
    "node %1 uses textures %2 and %3; a part draws with one texture (split the node by texture)";
constexpr const char* kSkinned =
    "node %1: mesh %2 is skinned; parts must be rigid (give each rigid piece its own node, or bake it with "
    "--bake-skin)";
constexpr const char* kStretches =
    "stretches in this animation (a scale that is not the same on every axis above a turning part); parts must be "
    "rigid";
constexpr const char* kNoSizeAtRest =
    "node %1 has no size at rest (a scale of 0); give it its size at rest and hide it with scale keys";
constexpr const char* kMeshTooLarge = "%1 corners or faces; a mesh holds at most 4194304";
constexpr const char* kTooManyMaterials = "%1 materials; a mesh holds at most 4096";

// ---- damaged or unusable sources ----
constexpr const char* kUnreadable = "%1: %2";  // the source, Assimp's reason
constexpr const char* kIncomplete = "%1: incomplete scene (no meshes or nodes)";
constexpr const char* kNoFaces = "%1: no faces to make a field of";
constexpr const char* kTexture = "texture '%1': %2";
constexpr const char* kTextureTooLarge = "larger than 8192 pixels a side";
constexpr const char* kTextureMissing = "cannot be read";
constexpr const char* kNotNumbers = "has keys that are not numbers at frame %1";
constexpr const char* kCornersNotNumbers = "mesh %1 has corners that are not numbers";
constexpr const char* kCornersWithoutBone = "mesh %1 has corners that follow no bone";
constexpr const char* kBoneNotPart = "mesh %1: bone %2 is no part of the model";
constexpr const char* kNoBoxNode = "--box: the source has no node '%1'";

// Where a fault is: prefixes for the texts above.
constexpr const char* kInNode = "node %1: %2";
constexpr const char* kInMaterial = "material %1: %2";
constexpr const char* kInAnimation = "animation %1, node %2: %3";

// ---- options ----
constexpr const char* kBadScale = "--scale must be a positive number";
constexpr const char* kBadFps = "--fps must be 1 to 1000";
constexpr const char* kBadMaxKeys = "--max-keys must be 1 to 30";

// ---- notes ----
constexpr const char* kNoteResized =
    "animation %1, node %2: scale keys only show and hide the part; it is drawn at its rest size";
constexpr const char* kNoteVertexColours = "mesh %1: vertex colours are not kept";
constexpr const char* kNoteCoordinateSets = "mesh %1: only the first texture coordinate set is kept";
constexpr const char* kNoteCameras = "cameras and lights are not part of a model: the game sets its own";
constexpr const char* kNoteFieldAnimations = "a field does not move: its animations are left out";

// `pattern` with %1 to %9 replaced by `values` in order.
inline std::string say(const char* pattern, std::initializer_list<std::string> values) {
    std::string out;
    for (const char* p = pattern; *p; ++p) {
        if (p[0] == '%' && p[1] >= '1' && p[1] <= '9' && size_t(p[1] - '1') < values.size()) {
            out += values.begin()[p[1] - '1'];
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

}  // namespace tessmodel::messages
