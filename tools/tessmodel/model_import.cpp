// Models from today's modelling packages: an Assimp scene turned into the
// host's part tree, text meshes, animations and textures.
//
// Every node becomes a part. A part's mesh is written in the model's rest
// space, so its pivot (vectors 5 and 6) is the node's rest origin and its
// angles are zero at rest. Each frame of an animation, the part's rotation
// since rest, relative to its parent's in the source, is split into the
// host's three whole-degree angles, and keys are kept only where the
// host's own interpolation, posed through the host's code, would stray
// past the bounds.
#include "model_import.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "host_files.h"
#include "host_pose.h"
#include "image_decode.h"
#include "import_messages.h"
#include "model/mesh_data.h"
#include "model/objects.h"

namespace tessmodel {

namespace {

using messages::say;

constexpr int kMaxNameLength = model::kNameLength - 1;
constexpr int kMaxFrame = 32767;  // key frames are int16
// Below half its rest size on every axis a part is hidden.
constexpr double kHiddenVolume = 0.125;

std::string printed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string quote(const aiString& s) {
    std::string out = "'";
    out += s.C_Str();
    out += "'";
    return out;
}

// Bounded copy into a fixed name field; the caller refuses names too long.
void copyField(char* field, size_t capacity, const std::string& text) {
    size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(field, text.data(), n);
    field[n] = 0;
}

// Letters, digits, '_' and '-': safe in a description value and in any
// file system; the rest become '_'.
std::string fileStem(const std::string& text, size_t limit) {
    std::string out;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        out += std::isalnum(u) || c == '_' || c == '-' ? c : '_';
        if (out.size() >= limit) break;
    }
    return out.empty() ? "part" : out;
}

// Names unique ignoring letter case, as the host finds files.
class NameSet {
public:
    std::string unique(const std::string& stem, const std::string& extension) {
        for (int n = 0;; ++n) {
            std::string name = n ? stem + "_" + std::to_string(n) + extension : stem + extension;
            std::string key = name;
            for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
            if (used.insert(key).second) return name;
        }
    }

private:
    std::set<std::string> used;
};

// ---- source poses ----

Pose hostPose(const aiMatrix4x4& a, double scaleFactor) {
    // Assimp's matrices take column vectors in a right-handed space; the
    // host takes row vectors in a left-handed one: transpose, mirror z.
    const double c[3][3] = {{a.a1, a.a2, a.a3}, {a.b1, a.b2, a.b3}, {a.c1, a.c2, a.c3}};
    Pose p;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) p.r.m[i][j] = c[j][i] * (i == 2 ? -1 : 1) * (j == 2 ? -1 : 1);
    p.t = {a.a4 * scaleFactor, a.b4 * scaleFactor, -a.c4 * scaleFactor};
    return p;
}

Vec3d hostPoint(const aiVector3D& v, double scaleFactor) {
    return {v.x * scaleFactor, v.y * scaleFactor, -v.z * scaleFactor};
}

// The last key at or before `time` (the first key before them all); keys
// are in time order, as Assimp's validation makes sure.
template <typename Key>
size_t segment(const Key* keys, unsigned count, double time) {
    const Key* after = std::upper_bound(keys, keys + count, time, [](double t, const Key& k) { return t < k.mTime; });
    return after == keys ? 0 : size_t(after - keys) - 1;
}

aiVector3D vectorAt(const aiVectorKey* keys, unsigned count, double time) {
    size_t i = segment(keys, count, time);
    if (i + 1 >= count || time <= keys[i].mTime) return keys[i].mValue;
    double span = keys[i + 1].mTime - keys[i].mTime;
    float f = span > 0 ? float((time - keys[i].mTime) / span) : 0.0f;
    return keys[i].mValue + (keys[i + 1].mValue - keys[i].mValue) * f;
}

aiQuaternion rotationAt(const aiQuatKey* keys, unsigned count, double time) {
    size_t i = segment(keys, count, time);
    if (i + 1 >= count || time <= keys[i].mTime) return keys[i].mValue;
    double span = keys[i + 1].mTime - keys[i].mTime;
    float f = span > 0 ? float((time - keys[i].mTime) / span) : 0.0f;
    aiQuaternion out;
    aiQuaternion::Interpolate(out, keys[i].mValue, keys[i + 1].mValue, f);
    return out.Normalize();
}

struct Node {
    const aiNode* node;
    int parent;
};

// The scene's nodes in pre-order, so a parent comes before its children;
// a loop rather than recursion, so no depth of tree exhausts the stack.
void flatten(const aiNode* root, int parent, std::vector<Node>& out) {
    std::vector<Node> pending{{root, parent}};
    while (!pending.empty()) {
        Node next = pending.back();
        pending.pop_back();
        int at = int(out.size());
        out.push_back(next);
        for (unsigned i = next.node->mNumChildren; i-- > 0;) pending.push_back({next.node->mChildren[i], at});
    }
}

// One source animation sampled at whole frames.
struct Sampled {
    std::vector<std::vector<Pose>> global;     // [frame][node], scale keys left out
    std::vector<std::vector<uint8_t>> shown;   // [frame][node]
    std::vector<std::vector<int>> keyFrames;   // [node] frames of the node's own keys
    std::vector<uint8_t> resized;              // [node] shown at other than its rest size
};

Sampled sample(const std::vector<Node>& nodes, const aiAnimation& anim, int frames, int fps, double scaleFactor) {
    std::map<std::string, const aiNodeAnim*> channels;
    for (unsigned c = 0; c < anim.mNumChannels; ++c) channels[anim.mChannels[c]->mNodeName.C_Str()] = anim.mChannels[c];
    double ticks = anim.mTicksPerSecond > 0 ? anim.mTicksPerSecond : 25.0;
    Sampled s;
    s.keyFrames.resize(nodes.size());
    s.resized.assign(nodes.size(), 0);
    for (size_t n = 0; n < nodes.size(); ++n) {
        auto found = channels.find(nodes[n].node->mName.C_Str());
        if (found == channels.end()) continue;
        const aiNodeAnim* ch = found->second;
        auto add = [&](double time) {
            double f = std::round(time / ticks * fps);
            if (f >= 0 && f <= frames) s.keyFrames[n].push_back(int(f));
        };
        for (unsigned k = 0; k < ch->mNumPositionKeys; ++k) add(ch->mPositionKeys[k].mTime);
        for (unsigned k = 0; k < ch->mNumRotationKeys; ++k) add(ch->mRotationKeys[k].mTime);
        std::sort(s.keyFrames[n].begin(), s.keyFrames[n].end());
        s.keyFrames[n].erase(std::unique(s.keyFrames[n].begin(), s.keyFrames[n].end()), s.keyFrames[n].end());
    }
    s.global.assign(size_t(frames) + 1, std::vector<Pose>(nodes.size()));
    s.shown.assign(size_t(frames) + 1, std::vector<uint8_t>(nodes.size(), 1));
    for (int f = 0; f <= frames; ++f) {
        double time = double(f) / fps * ticks;
        std::vector<double> volume(nodes.size(), 1.0);
        for (size_t n = 0; n < nodes.size(); ++n) {
            const aiNode* node = nodes[n].node;
            aiMatrix4x4 local = node->mTransformation;
            double ratio = 1.0;
            auto found = channels.find(node->mName.C_Str());
            if (found != channels.end()) {
                const aiNodeAnim* ch = found->second;
                aiVector3D restScale, restPosition;
                aiQuaternion restRotation;
                node->mTransformation.Decompose(restScale, restRotation, restPosition);
                aiVector3D position = ch->mNumPositionKeys
                                          ? vectorAt(ch->mPositionKeys, ch->mNumPositionKeys, time)
                                          : restPosition;
                aiQuaternion rotation = ch->mNumRotationKeys
                                            ? rotationAt(ch->mRotationKeys, ch->mNumRotationKeys, time)
                                            : restRotation;
                if (ch->mNumScalingKeys) {
                    aiVector3D now = vectorAt(ch->mScalingKeys, ch->mNumScalingKeys, time);
                    double rest = double(restScale.x) * restScale.y * restScale.z;
                    ratio = std::fabs(rest) > 0 ? std::fabs(double(now.x) * now.y * now.z / rest) : 1.0;
                }
                local = aiMatrix4x4(restScale, rotation, position);
            }
            Pose pose = hostPose(local, scaleFactor);
            int parent = nodes[n].parent;
            s.global[size_t(f)][n] = parent < 0 ? pose : compose(pose, s.global[size_t(f)][size_t(parent)]);
            volume[n] = ratio * (parent < 0 ? 1.0 : volume[size_t(parent)]);
            s.shown[size_t(f)][n] = volume[n] >= kHiddenVolume;
            if (s.shown[size_t(f)][n] && std::fabs(ratio - 1.0) > 0.03) s.resized[n] = 1;
        }
    }
    return s;
}

// ---- meshes and textures ----

struct TextureTable {
    std::string base;      // output name stem
    std::string folder;    // the source's folder
    const aiScene* scene = nullptr;
    std::map<std::string, std::string> names;  // source path -> bmp name
    std::vector<OutputFile>* files = nullptr;
    NameSet* nameSet = nullptr;

    // The bitmap name for a source texture, converting it the first
    // time; false with `error` when it cannot be read.
    bool convert(const std::string& path, std::string& out, std::string& error) {
        auto found = names.find(path);
        if (found != names.end()) {
            out = found->second;
            return true;
        }
        Image image;
        const aiTexture* embedded = scene->GetEmbeddedTexture(path.c_str());
        std::string reason;
        bool decoded = false;
        if (embedded && embedded->mHeight == 0) {
            decoded = decodeImage(reinterpret_cast<const uint8_t*>(embedded->pcData), embedded->mWidth, image, reason);
        } else if (embedded) {
            if (embedded->mWidth > unsigned(kMaxImageSide) || embedded->mHeight > unsigned(kMaxImageSide)) {
                reason = messages::kTextureTooLarge;
            } else {
                image.width = int(embedded->mWidth);
                image.height = int(embedded->mHeight);
                image.rgba.resize(size_t(image.width) * size_t(image.height) * 4);
                for (size_t i = 0; i < size_t(image.width) * size_t(image.height); ++i) {
                    const aiTexel& t = embedded->pcData[i];
                    image.rgba[i * 4] = t.r;
                    image.rgba[i * 4 + 1] = t.g;
                    image.rgba[i * 4 + 2] = t.b;
                    image.rgba[i * 4 + 3] = t.a;
                }
                decoded = true;
            }
        } else {
            std::ifstream in(std::filesystem::path(folder) / path, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
            if (!in && bytes.empty()) {
                reason = messages::kTextureMissing;
            } else {
                decoded = decodeImage(bytes.data(), bytes.size(), image, reason);
            }
        }
        if (!decoded) {
            error = say(messages::kTexture, {path, reason});
            return false;
        }
        out = nameSet->unique(base + "_tex" + std::to_string(names.size()), ".bmp");
        names[path] = out;
        files->push_back({out, bitmapBytes(image.rgba, image.width, image.height, false)});
        if (image.hasAlpha()) {
            std::string alpha = out.substr(0, out.size() - 4) + "_a.bmp";
            files->push_back({alpha, bitmapBytes(image.rgba, image.width, image.height, true)});
        }
        return true;
    }
};

bool materialOf(const aiMaterial& m, TextureTable& textures, MeshMaterial& out, std::string& error) {
    aiColor4D colour(1, 1, 1, 1);
    if (m.Get(AI_MATKEY_BASE_COLOR, colour) != AI_SUCCESS) m.Get(AI_MATKEY_COLOR_DIFFUSE, colour);
    float opacity = 1.0f;
    if (m.Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS && opacity < colour.a) colour.a = opacity;
    out.r = colour.r;
    out.g = colour.g;
    out.b = colour.b;
    out.a = colour.a;
    aiString path;
    if (m.GetTexture(aiTextureType_BASE_COLOR, 0, &path) != AI_SUCCESS &&
        m.GetTexture(aiTextureType_DIFFUSE, 0, &path) != AI_SUCCESS)
        return true;
    if (!textures.convert(path.C_Str(), out.texture, error)) {
        aiString name;
        m.Get(AI_MATKEY_NAME, name);
        error = say(messages::kInMaterial, {quote(name), error});
        return false;
    }
    return true;
}

// Adds `mesh`, carried by `place` from its node's space to the output's,
// to `out`: every face, or only those listed in `only`, with the corners
// they use. Materials are looked up through `materialSlots` (scene index
// -> index in `out`, added on first use).
bool addMesh(const aiScene& scene, const aiMesh& mesh, const Pose& place, double scaleFactor,
             TextureTable& textures, std::map<unsigned, int>& materialSlots, TextMesh& out, std::string& error,
             const std::vector<unsigned>* only = nullptr) {
    auto slot = materialSlots.find(mesh.mMaterialIndex);
    if (slot == materialSlots.end()) {
        MeshMaterial material;
        if (mesh.mMaterialIndex < scene.mNumMaterials &&
            !materialOf(*scene.mMaterials[mesh.mMaterialIndex], textures, material, error))
            return false;
        slot = materialSlots.emplace(mesh.mMaterialIndex, int(out.materials.size())).first;
        out.materials.push_back(material);
    }
    const Mat3d normalMatrix = transposed(inverse(place.r));
    std::vector<int> index(mesh.mNumVertices, -1);
    bool badCorner = false;
    auto corner = [&](unsigned i) {
        if (index[i] >= 0) return index[i];
        index[i] = int(out.positions.size());
        Vec3d p = add(times(hostPoint(mesh.mVertices[i], scaleFactor), place.r), place.t);
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) badCorner = true;
        out.positions.push_back({float(p.x), float(p.y), float(p.z)});
        Vec3d n{};
        if (mesh.mNormals) {
            n = times(hostPoint(mesh.mNormals[i], 1.0), normalMatrix);
            double l = length(n);
            if (l > 0) n = scale(n, 1.0 / l);
        }
        out.normals.push_back({float(n.x), float(n.y), float(n.z)});
        out.u.push_back(mesh.mTextureCoords[0] ? mesh.mTextureCoords[0][i].x : 0.0f);
        out.v.push_back(mesh.mTextureCoords[0] ? mesh.mTextureCoords[0][i].y : 0.0f);
        return index[i];
    };
    // Mirroring z turns the source's counter-clockwise fronts into the
    // host's clockwise ones only with the corners reversed; a mirroring
    // placement reverses them once more.
    const bool reverse = determinant(place.r) > 0;
    const size_t count = only ? only->size() : mesh.mNumFaces;
    for (size_t k = 0; k < count; ++k) {
        const aiFace& face = mesh.mFaces[only ? (*only)[k] : k];
        if (face.mNumIndices < 3) continue;  // points and lines draw nothing
        std::vector<int> corners;
        for (unsigned c = 0; c < face.mNumIndices; ++c) corners.push_back(corner(face.mIndices[c]));
        if (reverse) std::reverse(corners.begin(), corners.end());
        out.faces.push_back(corners);
        out.faceMaterials.push_back(slot->second);
    }
    if (badCorner) {
        error = say(messages::kCornersNotNumbers, {quote(mesh.mName)});
        return false;
    }
    return true;
}

// A skinned mesh cut into rigid pieces: each corner follows its strongest
// bone, each face the bone most of its corners follow (the first corner's
// on a tie), each piece posed at rest through its bone's inverse bind
// matrix and added to the bone's part.
bool bakeSkin(const aiScene& scene, const aiMesh& mesh, const std::map<std::string, int>& partNamed,
              const std::vector<Pose>& partRest, double scaleFactor, TextureTable& textures,
              std::vector<std::map<unsigned, int>>& slots, std::vector<TextMesh>& meshes, std::string& error) {
    std::vector<int> strongest(mesh.mNumVertices, -1);
    std::vector<float> weight(mesh.mNumVertices, -1.0f);
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        const aiBone& bone = *mesh.mBones[b];
        for (unsigned w = 0; w < bone.mNumWeights; ++w) {
            const aiVertexWeight& vw = bone.mWeights[w];
            if (vw.mVertexId < mesh.mNumVertices && vw.mWeight > weight[vw.mVertexId]) {
                weight[vw.mVertexId] = vw.mWeight;
                strongest[vw.mVertexId] = int(b);
            }
        }
    }
    std::vector<std::vector<unsigned>> facesOf(mesh.mNumBones);
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices == 0) continue;
        int best = strongest[face.mIndices[0]], bestVotes = 0;
        for (unsigned c = 0; c < face.mNumIndices; ++c) {
            int votes = 0;
            for (unsigned d = 0; d < face.mNumIndices; ++d)
                votes += strongest[face.mIndices[d]] == strongest[face.mIndices[c]];
            if (votes > bestVotes) {
                bestVotes = votes;
                best = strongest[face.mIndices[c]];
            }
        }
        if (best < 0) {
            error = say(messages::kCornersWithoutBone, {quote(mesh.mName)});
            return false;
        }
        facesOf[size_t(best)].push_back(f);
    }
    for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        if (facesOf[b].empty()) continue;
        const aiBone& bone = *mesh.mBones[b];
        auto part = partNamed.find(bone.mName.C_Str());
        if (part == partNamed.end()) {
            error = say(messages::kBoneNotPart, {quote(mesh.mName), quote(bone.mName)});
            return false;
        }
        size_t p = size_t(part->second);
        Pose place = compose(hostPose(bone.mOffsetMatrix, scaleFactor), partRest[p]);
        if (!addMesh(scene, mesh, place, scaleFactor, textures, slots[p], meshes[p], error, &facesOf[b]))
            return false;
    }
    return true;
}

// The host's mesh reader refuses larger meshes.
bool fitsMeshReader(const TextMesh& mesh, std::string& error) {
    if (mesh.positions.size() > size_t(model::kMaxMeshElements) || mesh.faces.size() > size_t(model::kMaxMeshElements)) {
        error = say(messages::kMeshTooLarge, {std::to_string(std::max(mesh.positions.size(), mesh.faces.size()))});
        return false;
    }
    if (mesh.materials.size() > size_t(model::kMaxMaterials)) {
        error = say(messages::kTooManyMaterials, {std::to_string(mesh.materials.size())});
        return false;
    }
    return true;
}

// ---- animation keys ----

// A part's track through one animation, fitted to the host. Each part is
// judged against its parent: its turn and its pivot relative to the
// parent's frame (the root's pivot in the model's space), the source's
// wanted and the host's drawn, so a chain of parts does not add its
// parents' rounding to each child's bound.
struct TrackFit {
    std::vector<Mat3d> target;  // [frame] the source's pose since rest
    std::vector<Vec3d> targetWorld;
    std::vector<Mat3d> wantedTurn;  // [frame] relative to the parent
    std::vector<Vec3d> wantedPlace;
    std::vector<Mat3d> drawnTurn;  // [frame] as the host poses the keys
    std::vector<Vec3d> drawnPlace;
    std::vector<model::ANIME_KEY> keys;
};

struct PartSetup {
    int index = 0;
    int parent = -1;
    Vec3d pivot;  // vectors 5 and 6
    bool hasMesh = false;
};

// The part's turn and place at every frame from its keys, through the
// host's own key interpolation. The place is the translation, or for the
// root the pivot it moves to.
void simulate(const PartSetup& part, bool isRoot, const std::vector<model::ANIME_KEY>& keys, int frames,
              TrackFit& out, model::MODEL_PART& scratch) {
    model::ANIME_TRACK track;
    model::resetAnimeTrack(track);
    for (size_t k = 0; k < keys.size(); ++k) track.keys[k] = keys[k];
    out.drawnTurn.resize(size_t(frames) + 1);
    out.drawnPlace.resize(size_t(frames) + 1);
    for (int f = 0; f <= frames; ++f) {
        model::posePart(scratch, track, f);
        const render::Vec3& a = scratch.vectors[4];
        Mat3d local = hostPartRotation(int(a.x), int(a.y), int(a.z));
        Vec3d t{scratch.translation.x, scratch.translation.y, scratch.translation.z};
        out.drawnTurn[size_t(f)] = local;
        out.drawnPlace[size_t(f)] = isRoot ? add(part.pivot, times(t, local)) : t;
    }
}

bool finite(const Pose& p) {
    for (const auto& row : p.r.m)
        for (double v : row)
            if (!std::isfinite(v)) return false;
    return std::isfinite(p.t.x) && std::isfinite(p.t.y) && std::isfinite(p.t.z);
}

int wrapDegrees(long angle) { return int(((angle % 360) + 360) % 360); }

// Fits one part's track: the ideal key at every frame, then as few of
// them as keep the pose within the bounds. False with `error` when more
// than `maxKeys` keys are needed or the part would stretch.
bool fitTrack(const PartSetup& part, const PartSetup* parent, const TrackFit* parentFit, const Pose& rest,
              const Sampled& s, size_t node, int frames, int maxKeys, double positionBound, TrackFit& out,
              std::string& error, model::MODEL_PART& scratch) {
    const size_t count = size_t(frames) + 1;
    std::vector<Mat3d>& target = out.target;
    std::vector<Vec3d>& targetWorld = out.targetWorld;
    target.resize(count);
    targetWorld.resize(count);
    out.wantedTurn.resize(count);
    out.wantedPlace.resize(count);
    std::vector<Angles> angles(count);
    std::vector<model::ANIME_KEY> ideal(count);
    const Pose restInverse = inverse(rest);
    Angles near;
    for (size_t f = 0; f < count; ++f) {
        Pose relative = compose(restInverse, s.global[f][node]);
        if (!finite(relative)) {
            error = say(messages::kNotNumbers, {std::to_string(f)});
            return false;
        }
        if (orthogonalityError(relative.r) > 1e-3) {
            error = messages::kStretches;
            return false;
        }
        target[f] = relative.r;
        targetWorld[f] = s.global[f][node].t;
        // Relative to the source's parent, not the host's: a part then
        // keeps the source's own motion, and a rigid child needs no keys
        // to make up for its parent's rounding.
        Mat3d parentAcc = parentFit ? parentFit->target[f] : Mat3d{};
        Mat3d local = times(relative.r, transposed(parentAcc));
        out.wantedTurn[f] = local;
        angles[f] = anglesOf(local, near);
        near = angles[f];
        model::ANIME_KEY& key = ideal[f];
        key.frame = int16_t(f);
        int rx = wrapDegrees(std::lround(angles[f].x)), ry = wrapDegrees(std::lround(angles[f].y)),
            rz = wrapDegrees(std::lround(angles[f].z));
        key.rotation[0] = int16_t(rx);
        key.rotation[1] = int16_t(ry);
        key.rotation[2] = int16_t(rz);
        Mat3d hostLocal = hostPartRotation(rx, ry, rz);
        Vec3d t;
        if (!parentFit) {
            t = times(sub(targetWorld[f], part.pivot), transposed(hostLocal));
            out.wantedPlace[f] = targetWorld[f];
        } else {
            t = sub(times(sub(targetWorld[f], parentFit->targetWorld[f]), transposed(parentAcc)),
                    sub(part.pivot, parent->pivot));
            out.wantedPlace[f] = t;
        }
        key.translation[0] = float(t.x);
        key.translation[1] = float(t.y);
        key.translation[2] = float(t.z);
        key.meshSource = int16_t(part.hasMesh && !s.shown[f][node] ? -1 : part.index);
    }
    std::vector<int> chosen{0};
    for (size_t f = 1; f < count; ++f)
        if (ideal[f].meshSource != ideal[f - 1].meshSource) chosen.push_back(int(f));
    std::vector<int> preferred = s.keyFrames[node];
    preferred.push_back(frames);
    std::vector<int> merged = chosen;
    merged.insert(merged.end(), preferred.begin(), preferred.end());
    std::sort(merged.begin(), merged.end());
    merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
    if (int(merged.size()) <= maxKeys) chosen = merged;
    if (int(chosen.size()) > maxKeys) {
        error = say(messages::kTooManySwaps, {std::to_string(chosen.size() - 1), std::to_string(maxKeys)});
        return false;
    }
    auto build = [&](const std::vector<int>& frameList) {
        std::vector<model::ANIME_KEY> keys;
        for (size_t k = 0; k < frameList.size(); ++k) {
            model::ANIME_KEY key = ideal[size_t(frameList[k])];
            if (k > 0) {
                size_t from = size_t(frameList[k - 1]);
                size_t to = size_t(frameList[k]);
                const double a[3] = {angles[from].x, angles[from].y, angles[from].z};
                const double b[3] = {angles[to].x, angles[to].y, angles[to].z};
                for (int axis = 0; axis < 3; ++axis)
                    key.direction[axis] = std::lround(b[axis]) - std::lround(a[axis]) >= 0 ? 1 : -1;
            }
            keys.push_back(key);
        }
        return keys;
    };
    for (;;) {
        std::sort(chosen.begin(), chosen.end());
        out.keys = build(chosen);
        simulate(part, !parentFit, out.keys, frames, out, scratch);
        double worst = 0;
        int worstFrame = -1;
        for (size_t f = 0; f < count; ++f) {
            double e = std::max(angleBetween(out.drawnTurn[f], out.wantedTurn[f]) / kRotationBound,
                                length(sub(out.drawnPlace[f], out.wantedPlace[f])) / positionBound);
            if (e > worst) {
                worst = e;
                worstFrame = int(f);
            }
        }
        if (worst <= 1.0) return true;
        bool isKey = std::find(chosen.begin(), chosen.end(), worstFrame) != chosen.end();
        if (isKey || int(chosen.size()) >= maxKeys) {
            const size_t w = size_t(worstFrame);
            error = say(messages::kTooManyKeys,
                        {std::to_string(maxKeys), printed("%.1f", kRotationBound), printed("%.4g", positionBound),
                         printed("%.2f", angleBetween(out.drawnTurn[w], out.wantedTurn[w])),
                         printed("%.4g", length(sub(out.drawnPlace[w], out.wantedPlace[w]))),
                         std::to_string(worstFrame)});
            return false;
        }
        chosen.push_back(worstFrame);
    }
}

// ---- the scene ----

unsigned readFlags() {
    return aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_GenSmoothNormals |
           aiProcess_FlipUVs | aiProcess_ValidateDataStructure | aiProcess_SortByPType;
}

const aiScene* readScene(Assimp::Importer& importer, const ImportOptions& options, std::string& error) {
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    const aiScene* scene = importer.ReadFile(options.source, readFlags());
    if (!scene) {
        error = say(messages::kUnreadable, {options.source, importer.GetErrorString()});
        return nullptr;
    }
    if ((scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mRootNode) {
        error = say(messages::kIncomplete, {options.source});
        return nullptr;
    }
    return scene;
}

bool checkOptions(const ImportOptions& o, std::string& error) {
    if (!(o.scale > 0) || !std::isfinite(o.scale)) error = messages::kBadScale;
    else if (o.fps < 1 || o.fps > 1000) error = messages::kBadFps;
    else if (o.maxKeys < 1 || o.maxKeys > model::kTrackKeys) error = messages::kBadMaxKeys;
    return error.empty();
}

std::string stemOf(const ImportOptions& o) {
    std::string stem = o.name.empty() ? std::filesystem::path(o.source).stem().string() : o.name;
    return fileStem(stem, 64);
}

// Extent of the model's rest meshes, for the position bound.
double restExtent(const std::vector<TextMesh>& meshes) {
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (const TextMesh& m : meshes)
        for (const TextMesh::Point& p : m.positions) {
            const double v[3] = {p.x, p.y, p.z};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], v[k]);
                hi[k] = std::max(hi[k], v[k]);
            }
        }
    double d = 0;
    for (int k = 0; k < 3; ++k)
        if (hi[k] >= lo[k]) d += (hi[k] - lo[k]) * (hi[k] - lo[k]);
    return std::sqrt(d);
}

}  // namespace

namespace {

bool importModelInto(const ImportOptions& options, ImportResult& result, std::string& error) {
    if (!checkOptions(options, error)) return false;
    Assimp::Importer importer;
    const aiScene* scene = readScene(importer, options, error);
    if (!scene) return false;

    if (scene->mNumCameras || scene->mNumLights)
        result.notes.push_back(messages::kNoteCameras);
    const std::string stem = stemOf(options);
    const std::string modelName = stem + ".mdl";
    NameSet names;
    names.unique(stem, ".mdl");
    names.unique(stem, ".cha");
    TextureTable textures;
    textures.base = stem;
    textures.folder = std::filesystem::path(options.source).parent_path().string();
    textures.scene = scene;
    textures.files = &result.files;
    textures.nameSet = &names;

    std::vector<Node> nodes;
    flatten(scene->mRootNode, -1, nodes);
    std::vector<Node> parts;
    std::vector<int> partOf(nodes.size(), -1);
    const aiNode* box = nullptr;
    for (size_t n = 0; n < nodes.size(); ++n) {
        const aiNode* node = nodes[n].node;
        if (!options.boxNode.empty() && options.boxNode == node->mName.C_Str()) {
            box = node;
            continue;
        }
        if (nodes[n].parent >= 0 && partOf[size_t(nodes[n].parent)] < 0) continue;  // below the box
        if (node->mName.length > unsigned(kMaxNameLength)) {
            error = say(messages::kNameTooLong, {quote(node->mName), std::to_string(node->mName.length)});
            return false;
        }
        if (parts.size() >= size_t(model::kModelParts)) {
            error = say(messages::kTooManyParts, {quote(node->mName)});
            return false;
        }
        partOf[n] = int(parts.size());
        parts.push_back({node, nodes[n].parent < 0 ? -1 : partOf[size_t(nodes[n].parent)]});
    }
    if (!options.boxNode.empty() && !box) {
        error = say(messages::kNoBoxNode, {options.boxNode});
        return false;
    }

    // Rest poses and the part table.
    std::vector<Pose> rest(nodes.size());
    for (size_t n = 0; n < nodes.size(); ++n) {
        Pose local = hostPose(nodes[n].node->mTransformation, options.scale);
        rest[n] = nodes[n].parent < 0 ? local : compose(local, rest[size_t(nodes[n].parent)]);
    }
    std::vector<model::MODEL_PART> table(parts.size());
    std::vector<PartSetup> setups(parts.size());
    std::vector<TextMesh> meshes(parts.size());
    std::vector<size_t> nodeOfPart(parts.size());
    std::vector<std::map<unsigned, int>> slots(parts.size());
    std::vector<const aiMesh*> skinned;
    for (size_t n = 0; n < nodes.size(); ++n)
        if (partOf[n] >= 0) nodeOfPart[size_t(partOf[n])] = n;
    for (size_t p = 0; p < parts.size(); ++p) {
        const aiNode* node = parts[p].node;
        const size_t n = nodeOfPart[p];
        model::MODEL_PART& part = table[p];
        copyField(part.name, sizeof part.name, node->mName.C_Str());
        part.parent = parts[p].parent;
        int children = 0;
        for (size_t q = 0; q < parts.size(); ++q) {
            if (parts[q].parent != int(p)) continue;
            if (children == model::kPartChildren) {
                error = say(messages::kTooManyChildren, {quote(node->mName)});
                return false;
            }
            part.children[children++] = int32_t(q);
        }
        const Vec3d pivot = rest[n].t;
        part.vectors[5] = part.vectors[6] = {float(pivot.x), float(pivot.y), float(pivot.z)};
        setups[p] = {int(p), parts[p].parent, pivot, false};
        if (node->mNumMeshes && std::fabs(determinant(rest[n].r)) < 1e-12) {
            error = say(messages::kNoSizeAtRest, {quote(node->mName)});
            return false;
        }
        for (unsigned m = 0; m < node->mNumMeshes; ++m) {
            const aiMesh& mesh = *scene->mMeshes[node->mMeshes[m]];
            if (mesh.HasBones()) {
                if (!options.bakeSkin) {
                    error = say(messages::kSkinned, {quote(node->mName), quote(mesh.mName)});
                    return false;
                }
                skinned.push_back(&mesh);
                continue;
            }
            if (mesh.HasVertexColors(0))
                result.notes.push_back(say(messages::kNoteVertexColours, {quote(mesh.mName)}));
            if (mesh.GetNumUVChannels() > 1)
                result.notes.push_back(say(messages::kNoteCoordinateSets, {quote(mesh.mName)}));
            if (!addMesh(*scene, mesh, rest[n], options.scale, textures, slots[p], meshes[p], error)) {
                error = say(messages::kInNode, {quote(node->mName), error});
                return false;
            }
        }
    }
    std::map<std::string, int> partNamed;
    std::vector<Pose> partRest(parts.size());
    for (size_t p = 0; p < parts.size(); ++p) {
        partNamed.emplace(parts[p].node->mName.C_Str(), int(p));
        partRest[p] = rest[nodeOfPart[p]];
    }
    for (const aiMesh* mesh : skinned)
        if (!bakeSkin(*scene, *mesh, partNamed, partRest, options.scale, textures, slots, meshes, error))
            return false;
    for (size_t p = 0; p < parts.size(); ++p) {
        const aiNode* node = parts[p].node;
        model::MODEL_PART& part = table[p];
        std::string texture;
        for (const MeshMaterial& m : meshes[p].materials) {
            if (m.texture.empty() || m.texture == texture) continue;
            if (!texture.empty()) {
                error = say(messages::kTwoTextures, {quote(node->mName), texture, m.texture});
                return false;
            }
            texture = m.texture;
        }
        if (!fitsMeshReader(meshes[p], error)) {
            error = say(messages::kInNode, {quote(node->mName), error});
            return false;
        }
        if (!meshes[p].faces.empty()) {
            setups[p].hasMesh = true;
            part.kind = 1;
            std::string file = names.unique(stem + "_" + fileStem(node->mName.C_Str(), 48), ".x");
            copyField(part.meshFile, sizeof part.meshFile, file);
            std::string text = meshText(meshes[p]);
            result.files.push_back({file, Bytes(text.begin(), text.end())});
        } else {
            part.kind = 2;
        }
    }
    result.files.push_back({modelName, modelFileBytes(table, 0)});

    std::string description = "MODEL:[" + modelName + "]\r\nSCALE:[1.0]\r\n";
    if (box) {
        TextMesh boxMesh;
        std::map<unsigned, int> boxSlots;
        std::vector<Node> below;
        flatten(box, -1, below);
        for (const Node& b : below) {
            Pose place = hostPose(b.node->mTransformation, options.scale);
            for (const aiNode* up = b.node->mParent; up; up = up->mParent)
                place = compose(place, hostPose(up->mTransformation, options.scale));
            for (unsigned m = 0; m < b.node->mNumMeshes; ++m)
                if (!addMesh(*scene, *scene->mMeshes[b.node->mMeshes[m]], place, options.scale, textures,
                             boxSlots, boxMesh, error))
                    return false;
        }
        std::string file = names.unique(stem + "_box", ".x");
        std::string text = meshText(boxMesh);
        result.files.push_back({file, Bytes(text.begin(), text.end())});
        description += "BOX:[" + file + "]\r\n";
    }

    // Animations.
    if (scene->mNumAnimations > unsigned(model::kAnimations)) {
        error = say(messages::kTooManyAnimations, {quote(scene->mAnimations[model::kAnimations]->mName)});
        return false;
    }
    const double positionBound = std::max(kPositionBound * restExtent(meshes), 1e-4);
    auto scratch = std::make_unique<model::MODEL_PART>();
    for (unsigned a = 0; a < scene->mNumAnimations; ++a) {
        const aiAnimation& anim = *scene->mAnimations[a];
        std::string label = anim.mName.length ? quote(anim.mName) : "#" + std::to_string(a);
        double ticks = anim.mTicksPerSecond > 0 ? anim.mTicksPerSecond : 25.0;
        double frames = std::max(0.0, std::round(anim.mDuration / ticks * options.fps));
        if (!(frames <= kMaxFrame)) {
            error = say(messages::kTooManyFrames, {label, printed("%.0f", frames)});
            return false;
        }
        // Parts only: nodes below the collision box never move, and a
        // part's ancestors are all parts.
        Sampled s = sample(parts, anim, int(frames), options.fps, options.scale);
        std::vector<TrackFit> fits(parts.size());
        std::vector<std::vector<model::ANIME_KEY>> tracks(parts.size());
        for (size_t p = 0; p < parts.size(); ++p) {
            int parent = parts[p].parent;
            const PartSetup* parentSetup = parent < 0 ? nullptr : &setups[size_t(parent)];
            const TrackFit* parentFit = parent < 0 ? nullptr : &fits[size_t(parent)];
            std::string reason;
            if (!fitTrack(setups[p], parentSetup, parentFit, rest[nodeOfPart[p]], s, p, int(frames),
                          options.maxKeys, positionBound, fits[p], reason, *scratch)) {
                error = say(messages::kInAnimation, {label, quote(parts[p].node->mName), reason});
                return false;
            }
            tracks[p] = fits[p].keys;
            if (s.resized[p])
                result.notes.push_back(say(messages::kNoteResized, {label, quote(parts[p].node->mName)}));
        }
        // A name that already starts with the model's (an exported
        // model's animation files) keeps its name on the way back.
        std::string animName = fileStem(anim.mName.length ? anim.mName.C_Str() : "anime", 40);
        std::string file = names.unique(animName.rfind(stem + "_", 0) == 0 ? animName : stem + "_" + animName, ".ani");
        result.files.push_back({file, animeFileBytes(modelName, tracks, int32_t(frames))});
        description += "ANIME:[" + std::to_string(a) + "," + file + "]\r\n";
    }
    result.files.push_back({stem + ".cha", Bytes(description.begin(), description.end())});
    return true;
}

bool importFieldInto(const ImportOptions& options, const std::string& meshName, ImportResult& result,
                     std::string& error) {
    if (!checkOptions(options, error)) return false;
    Assimp::Importer importer;
    const aiScene* scene = readScene(importer, options, error);
    if (!scene) return false;
    std::string stem = std::filesystem::path(meshName).stem().string();
    NameSet names;
    names.unique(meshName, "");
    TextureTable textures;
    textures.base = fileStem(stem, 64);
    textures.folder = std::filesystem::path(options.source).parent_path().string();
    textures.scene = scene;
    textures.files = &result.files;
    textures.nameSet = &names;
    std::vector<Node> nodes;
    flatten(scene->mRootNode, -1, nodes);
    std::vector<Pose> place(nodes.size());
    TextMesh field;
    std::map<unsigned, int> slots;
    for (size_t n = 0; n < nodes.size(); ++n) {
        Pose local = hostPose(nodes[n].node->mTransformation, options.scale);
        place[n] = nodes[n].parent < 0 ? local : compose(local, place[size_t(nodes[n].parent)]);
        for (unsigned m = 0; m < nodes[n].node->mNumMeshes; ++m) {
            const aiMesh& mesh = *scene->mMeshes[nodes[n].node->mMeshes[m]];
            if (!addMesh(*scene, mesh, place[n], options.scale, textures, slots, field, error)) {
                error = say(messages::kInNode, {quote(nodes[n].node->mName), error});
                return false;
            }
        }
    }
    if (!fitsMeshReader(field, error)) return false;
    if (field.faces.empty()) {
        error = say(messages::kNoFaces, {options.source});
        return false;
    }
    if (scene->mNumAnimations) result.notes.push_back(messages::kNoteFieldAnimations);
    std::string text = meshText(field);
    result.files.push_back({meshName, Bytes(text.begin(), text.end())});
    return true;
}

}  // namespace

// A failed import hands back no files, not even those made before the
// fault was found.
bool importModel(const ImportOptions& options, ImportResult& result, std::string& error) {
    result = ImportResult{};
    error.clear();
    if (importModelInto(options, result, error)) return true;
    result = ImportResult{};
    return false;
}

bool importField(const ImportOptions& options, const std::string& meshName, ImportResult& result,
                 std::string& error) {
    result = ImportResult{};
    error.clear();
    if (importFieldInto(options, meshName, result, error)) return true;
    result = ImportResult{};
    return false;
}

}  // namespace tessmodel
