// A game model back out as binary glTF, for editing in today's packages.
//
// The model is loaded by the host's own readers, so what is written is
// what the game draws: each part a node at its rest place, its mesh in
// the node's space (less the pivot), its animation keys posed by the
// host's key code and written as the node's rotation and translation at
// each key. A part hidden by its keys (mesh source -1) is scaled to
// nothing with a step, the way glTF shows and hides.
#include "model_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "graphics/bitmap.h"
#include "host_pose.h"
#include "image_decode.h"
#include "model/model_data.h"
#include "model/objects.h"
#include "platform/files.h"

namespace tessmodel {

namespace {

std::string* messageSink = nullptr;

void collectMessage(const std::string& text, const std::string& caption) {
    if (messageSink) *messageSink += caption + ": " + text;
}

// ---- glTF pieces ----

struct Quat {
    double x = 0, y = 0, z = 0, w = 1;
};

// Host row-form rotation to a glTF quaternion: transposed to column form
// and mirrored in z.
Quat gltfRotation(const Mat3d& r) {
    double c[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) c[i][j] = r.m[j][i] * (i == 2 ? -1 : 1) * (j == 2 ? -1 : 1);
    Quat q;
    double trace = c[0][0] + c[1][1] + c[2][2];
    if (trace > 0) {
        double s = std::sqrt(trace + 1.0) * 2;
        q = {(c[2][1] - c[1][2]) / s, (c[0][2] - c[2][0]) / s, (c[1][0] - c[0][1]) / s, 0.25 * s};
    } else if (c[0][0] > c[1][1] && c[0][0] > c[2][2]) {
        double s = std::sqrt(1.0 + c[0][0] - c[1][1] - c[2][2]) * 2;
        q = {0.25 * s, (c[0][1] + c[1][0]) / s, (c[0][2] + c[2][0]) / s, (c[2][1] - c[1][2]) / s};
    } else if (c[1][1] > c[2][2]) {
        double s = std::sqrt(1.0 + c[1][1] - c[0][0] - c[2][2]) * 2;
        q = {(c[0][1] + c[1][0]) / s, 0.25 * s, (c[1][2] + c[2][1]) / s, (c[0][2] - c[2][0]) / s};
    } else {
        double s = std::sqrt(1.0 + c[2][2] - c[0][0] - c[1][1]) * 2;
        q = {(c[0][2] + c[2][0]) / s, (c[1][2] + c[2][1]) / s, 0.25 * s, (c[1][0] - c[0][1]) / s};
    }
    double l = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    return {q.x / l, q.y / l, q.z / l, q.w / l};
}

Vec3d gltfPoint(Vec3d p) { return {p.x, p.y, -p.z}; }
Vec3d fromHost(render::Vec3 v) { return {v.x, v.y, v.z}; }

std::string number(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.9g", std::isfinite(v) ? v : 0.0);
    return buf;
}

std::string jsonText(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string list(const std::vector<std::string>& items) {
    std::string s = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) s += ",";
        s += items[i];
    }
    return s + "]";
}

class Buffer {
public:
    int floats(const std::vector<float>& values, const char* type, int width, bool bounds = false) {
        int view = addView(values.size() * 4);
        for (float f : values) {
            uint8_t raw[4];
            std::memcpy(raw, &f, 4);
            bytes.insert(bytes.end(), raw, raw + 4);
        }
        std::string a = "{\"bufferView\":" + std::to_string(view) + ",\"componentType\":5126,\"count\":" +
                        std::to_string(values.size() / size_t(width)) + ",\"type\":\"" + type + "\"";
        if (bounds) {
            std::vector<std::string> lo, hi;
            for (int k = 0; k < width; ++k) {
                float l = 1e30f, h = -1e30f;
                for (size_t i = size_t(k); i < values.size(); i += size_t(width)) {
                    l = std::min(l, values[i]);
                    h = std::max(h, values[i]);
                }
                lo.push_back(number(l));
                hi.push_back(number(h));
            }
            a += ",\"min\":" + list(lo) + ",\"max\":" + list(hi);
        }
        accessors.push_back(a + "}");
        return int(accessors.size()) - 1;
    }
    int image(const std::vector<uint8_t>& png) {
        int view = addView(png.size());
        bytes.insert(bytes.end(), png.begin(), png.end());
        while (bytes.size() % 4) bytes.push_back(0);
        return view;
    }

    std::vector<uint8_t> bytes;
    std::vector<std::string> views;
    std::vector<std::string> accessors;

private:
    int addView(size_t length) {
        views.push_back("{\"buffer\":0,\"byteOffset\":" + std::to_string(bytes.size()) +
                        ",\"byteLength\":" + std::to_string(length) + "}");
        return int(views.size()) - 1;
    }
};

// A texture of the model as RGBA, its alpha from the companion image when
// the folder has one. False when the colour image cannot be read.
bool readTexture(const std::string& folder, const char* name, Image& out) {
    std::vector<uint8_t> data;
    graphics::G_BMP_G colour, alpha;
    if (!platform::readFile(folder + name, data) || !colour.loadMemory(data.data(), data.size())) return false;
    std::string alphaName = name;
    alphaName.insert(alphaName.size() >= 4 ? alphaName.size() - 4 : 0, "_a");
    bool hasAlpha = platform::readFile(folder + alphaName, data) && alpha.loadMemory(data.data(), data.size());
    out.width = colour.width();
    out.height = colour.height();
    out.rgba.resize(size_t(out.width) * size_t(out.height) * 4);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            uint32_t rgb = colour.pixelRgb(x, y);
            uint8_t* p = &out.rgba[(size_t(y) * size_t(out.width) + size_t(x)) * 4];
            p[0] = uint8_t(rgb >> 16);
            p[1] = uint8_t(rgb >> 8);
            p[2] = uint8_t(rgb);
            p[3] = hasAlpha && x < alpha.width() && y < alpha.height() ? uint8_t(alpha.pixelRgb(x, y) >> 16) : 255;
        }
    }
    return true;
}

}  // namespace

bool exportModel(const std::string& descriptionPath, int fps, std::vector<uint8_t>& glb, std::string& error,
                 std::vector<std::string>& notes) {
    glb.clear();
    std::string windowsPath = descriptionPath;
    for (char& c : windowsPath)
        if (c == '/') c = '\\';
    std::string messages;
    messageSink = &messages;
    model::setMessagePresenter(collectMessage);
    // Meshes keep their texture names without a store; the caller's
    // store comes back afterwards.
    graphics::TextureStore* store = model::textureStore();
    model::setTextureStore(nullptr);
    auto chara = std::make_unique<model::CHARA>();
    bool loaded = model::loadDescription(*chara, windowsPath.c_str());
    model::setTextureStore(store);
    model::setMessagePresenter(nullptr);
    messageSink = nullptr;
    if (!loaded || chara->model.highestPart < 0 || !messages.empty()) {
        error = descriptionPath + ": " + (messages.empty() ? "the description or an animation cannot be read" : messages);
        return false;
    }
    const model::MODEL_DATA& m = chara->model;
    const std::string folder = chara->folder;
    const int parts = m.highestPart + 1;

    Buffer buf;
    std::vector<std::string> nodes, meshes, materials, images, textures, animations;
    std::map<std::string, int> textureIndex;
    std::map<std::string, int> materialIndex;  // colour and texture -> index
    std::vector<int> meshOf(size_t(parts), -1);

    for (int i = 0; i < parts; ++i) {
        const model::MODEL_PART& part = m.parts[i];
        if (part.kind != 1 || part.mesh.vertexCount < 3) continue;
        int texture = -1;
        if (part.mesh.textureName[0]) {
            auto found = textureIndex.find(part.mesh.textureName);
            if (found != textureIndex.end()) {
                texture = found->second;
            } else {
                Image image;
                std::vector<uint8_t> png;
                if (!readTexture(folder, part.mesh.textureName, image) || !encodePngRgba(image, png)) {
                    error = std::string("part '") + part.name + "': texture " + part.mesh.textureName +
                            " cannot be read";
                    return false;
                }
                images.push_back("{\"bufferView\":" + std::to_string(buf.image(png)) + ",\"mimeType\":\"image/png\"}");
                textures.push_back("{\"source\":" + std::to_string(images.size() - 1) + "}");
                texture = int(textures.size()) - 1;
                textureIndex[part.mesh.textureName] = texture;
            }
        }
        // Triangles grouped by their colour: one primitive each.
        std::map<uint32_t, std::vector<int>> byColour;
        for (int v = 0; v + 2 < part.mesh.vertexCount; v += 3) byColour[part.mesh.vertices[size_t(v)].diffuse].push_back(v);
        std::vector<std::string> primitives;
        const Vec3d pivot = fromHost(part.vectors[5]);
        for (const auto& [colour, starts] : byColour) {
            std::vector<float> pos, nor, uv;
            for (int start : starts) {
                // The host's clockwise fronts, mirrored, are glTF's
                // counter-clockwise ones with the corners reversed.
                for (int k = 2; k >= 0; --k) {
                    const render::LVertex& v = part.mesh.vertices[size_t(start + k)];
                    Vec3d p = gltfPoint(sub(Vec3d{v.x, v.y, v.z}, pivot));
                    pos.insert(pos.end(), {float(p.x), float(p.y), float(p.z)});
                    const render::Vec3 n = size_t(start + k) < part.mesh.normals.size()
                                               ? part.mesh.normals[size_t(start + k)]
                                               : render::Vec3{};
                    nor.insert(nor.end(), {n.x, n.y, -n.z});
                    uv.insert(uv.end(), {v.tu, v.tv});
                }
            }
            std::string key = std::to_string(colour) + "/" + std::to_string(texture);
            auto mat = materialIndex.find(key);
            if (mat == materialIndex.end()) {
                std::string pbr = "\"baseColorFactor\":[" + number((colour >> 16 & 0xFF) / 255.0) + "," +
                                  number((colour >> 8 & 0xFF) / 255.0) + "," + number((colour & 0xFF) / 255.0) + "," +
                                  number((colour >> 24 & 0xFF) / 255.0) + "],\"metallicFactor\":0";
                if (texture >= 0) pbr += ",\"baseColorTexture\":{\"index\":" + std::to_string(texture) + "}";
                bool blend = (colour >> 24) < 255 || texture >= 0;
                materials.push_back("{\"pbrMetallicRoughness\":{" + pbr + "}" +
                                    (blend ? ",\"alphaMode\":\"BLEND\"" : "") + "}");
                mat = materialIndex.emplace(key, int(materials.size()) - 1).first;
            }
            int p = buf.floats(pos, "VEC3", 3, true), n = buf.floats(nor, "VEC3", 3), t = buf.floats(uv, "VEC2", 2);
            primitives.push_back("{\"attributes\":{\"POSITION\":" + std::to_string(p) + ",\"NORMAL\":" +
                                 std::to_string(n) + ",\"TEXCOORD_0\":" + std::to_string(t) +
                                 "},\"material\":" + std::to_string(mat->second) + "}");
        }
        meshes.push_back("{\"primitives\":" + list(primitives) + "}");
        meshOf[size_t(i)] = int(meshes.size()) - 1;
    }

    // The tree as the host walks it: from the root part through each
    // part's children, a part only once. That is what a game draws, so a
    // part no walk reaches is a node outside the scene, and a file whose
    // children loop back still gives a tree.
    if (m.rootPart < 0 || m.rootPart >= parts) {
        error = descriptionPath + ": the model has no root part to draw from";
        return false;
    }
    const size_t partCount = size_t(parts);
    std::vector<int> walkParent(partCount, -1);
    std::vector<std::vector<int>> walkChildren(partCount);
    std::vector<bool> visited(partCount, false);
    std::vector<int> stack{m.rootPart};
    visited[size_t(m.rootPart)] = true;
    while (!stack.empty()) {
        int i = stack.back();
        stack.pop_back();
        std::vector<int> next;
        for (int c : m.parts[i].children) {
            if (c < 0 || c >= parts || visited[size_t(c)]) continue;
            visited[size_t(c)] = true;
            walkParent[size_t(c)] = i;
            walkChildren[size_t(i)].push_back(c);
            next.push_back(c);
        }
        stack.insert(stack.end(), next.rbegin(), next.rend());
    }
    // The node of each part at rest: the pivot carried by the parent, the
    // fixed angles as its rotation.
    auto restTranslation = [&](int i, Vec3d move, const Mat3d& local) {
        const model::MODEL_PART& part = m.parts[i];
        const int parent = walkParent[size_t(i)];
        if (parent < 0) return gltfPoint(add(fromHost(part.vectors[6]), times(move, local)));
        return gltfPoint(add(sub(fromHost(part.vectors[6]), fromHost(m.parts[parent].vectors[5])), move));
    };
    std::vector<int> roots{m.rootPart};
    for (int i = 0; i < parts; ++i) {
        const model::MODEL_PART& part = m.parts[i];
        Mat3d local = hostPartRotation(part.vectors, 0, 0, 0);
        Quat q = gltfRotation(local);
        Vec3d t = restTranslation(i, {}, local);
        std::string s = "{\"name\":" + jsonText(part.name) + ",\"translation\":[" + number(t.x) + "," + number(t.y) +
                        "," + number(t.z) + "],\"rotation\":[" + number(q.x) + "," + number(q.y) + "," + number(q.z) +
                        "," + number(q.w) + "]";
        if (meshOf[size_t(i)] >= 0) s += ",\"mesh\":" + std::to_string(meshOf[size_t(i)]);
        std::vector<std::string> children;
        for (int c : walkChildren[size_t(i)]) children.push_back(std::to_string(c));
        if (!children.empty()) s += ",\"children\":" + list(children);
        nodes.push_back(s + "}");
    }

    auto scratch = std::make_unique<model::MODEL_PART>();
    for (int slot = 0; slot < model::kAnimations; ++slot) {
        if (!chara->animeFiles[slot][0]) continue;
        const model::ANIME_DATA& anime = chara->animations[slot];
        std::vector<std::string> samplers, channels;
        for (int i = 0; i < parts; ++i) {
            const model::ANIME_TRACK& track = anime.tracks[i];
            if (!track.enabled || track.part != i) continue;
            std::vector<float> times, rotations, moves, scales;
            Quat last;
            bool first = true;
            std::vector<int> frames;
            for (const model::ANIME_KEY& key : track.keys) {
                if (key.frame < 0) break;
                if (!frames.empty() && key.frame <= frames.back()) break;
                frames.push_back(key.frame);
            }
            if (frames.empty()) continue;
            if (anime.frameCount > frames.back()) frames.push_back(anime.frameCount);
            for (int frame : frames) {
                model::posePart(*scratch, track, frame);
                const render::Vec3& a = scratch->vectors[4];
                Mat3d local = hostPartRotation(m.parts[i].vectors, int(a.x), int(a.y), int(a.z));
                Quat q = gltfRotation(local);
                if (!first && q.x * last.x + q.y * last.y + q.z * last.z + q.w * last.w < 0) q = {-q.x, -q.y, -q.z, -q.w};
                first = false;
                last = q;
                Vec3d t = restTranslation(i, fromHost(scratch->translation), local);
                times.push_back(float(frame) / float(fps));
                rotations.insert(rotations.end(), {float(q.x), float(q.y), float(q.z), float(q.w)});
                moves.insert(moves.end(), {float(t.x), float(t.y), float(t.z)});
                float shown = scratch->meshSource == i ? 1.0f : 0.0f;
                if (scratch->meshSource >= 0 && scratch->meshSource != i)
                    notes.push_back(std::string("part '") + m.parts[i].name + "' draws part " +
                                    std::to_string(scratch->meshSource) + "'s mesh at frame " +
                                    std::to_string(frame) + ": glTF keeps it hidden there");
                scales.insert(scales.end(), {shown, shown, shown});
            }
            int input = buf.floats(times, "SCALAR", 1, true);
            auto channel = [&](int output, const char* path, const char* interpolation) {
                samplers.push_back("{\"input\":" + std::to_string(input) + ",\"output\":" + std::to_string(output) +
                                   ",\"interpolation\":\"" + interpolation + "\"}");
                channels.push_back("{\"sampler\":" + std::to_string(samplers.size() - 1) + ",\"target\":{\"node\":" +
                                   std::to_string(i) + ",\"path\":\"" + path + "\"}}");
            };
            channel(buf.floats(rotations, "VEC4", 4), "rotation", "LINEAR");
            channel(buf.floats(moves, "VEC3", 3), "translation", "LINEAR");
            // Shown and hidden as a step, written as linear keys a moment
            // apart: importers that read STEP as LINEAR still see it.
            std::vector<float> stepTimes, steps;
            for (size_t k = 0; k < times.size(); ++k) {
                if (k > 0 && scales[k * 3] != scales[(k - 1) * 3]) {
                    stepTimes.push_back(times[k] - std::min(1e-4f, (times[k] - times[k - 1]) / 2));
                    steps.insert(steps.end(), 3, scales[(k - 1) * 3]);
                }
                stepTimes.push_back(times[k]);
                steps.insert(steps.end(), 3, scales[k * 3]);
            }
            input = buf.floats(stepTimes, "SCALAR", 1, true);
            channel(buf.floats(steps, "VEC3", 3), "scale", "LINEAR");
        }
        if (channels.empty()) continue;
        std::string name = chara->animeFiles[slot];
        size_t dot = name.rfind('.');
        if (dot != std::string::npos) name.resize(dot);
        animations.push_back("{\"name\":" + jsonText(name) + ",\"samplers\":" + list(samplers) +
                             ",\"channels\":" + list(channels) + "}");
    }

    std::vector<std::string> rootList;
    for (int r : roots) rootList.push_back(std::to_string(r));
    std::string json = "{\"asset\":{\"version\":\"2.0\",\"generator\":\"tessmodel\"},\"scene\":0,\"scenes\":[{\"nodes\":" +
                       list(rootList) + "}],\"nodes\":" + list(nodes);
    if (!meshes.empty()) json += ",\"meshes\":" + list(meshes);
    if (!materials.empty()) json += ",\"materials\":" + list(materials);
    if (!images.empty()) json += ",\"images\":" + list(images) + ",\"textures\":" + list(textures);
    if (!animations.empty()) json += ",\"animations\":" + list(animations);
    if (!buf.accessors.empty()) json += ",\"accessors\":" + list(buf.accessors) + ",\"bufferViews\":" + list(buf.views);
    if (!buf.bytes.empty()) json += ",\"buffers\":[{\"byteLength\":" + std::to_string(buf.bytes.size()) + "}]";
    json += "}";
    while (json.size() % 4) json += ' ';

    auto put32 = [&glb](uint32_t v) {
        for (int k = 0; k < 4; ++k) glb.push_back(uint8_t(v >> (8 * k)));
    };
    const bool hasBin = !buf.bytes.empty();
    put32(0x46546C67);  // "glTF"
    put32(2);
    put32(uint32_t(12 + 8 + json.size() + (hasBin ? 8 + buf.bytes.size() : 0)));
    put32(uint32_t(json.size()));
    put32(0x4E4F534A);  // "JSON"
    glb.insert(glb.end(), json.begin(), json.end());
    if (hasBin) {
        put32(uint32_t(buf.bytes.size()));
        put32(0x004E4942);  // "BIN"
        glb.insert(glb.end(), buf.bytes.begin(), buf.bytes.end());
    }
    return true;
}

}  // namespace tessmodel
