// Mesh, model, animation and description files built in code for the
// model tests.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../graphics/test_images.h"
#include "model/mesh_data.h"
#include "model/model_data.h"

namespace model_test {

using namespace model;
using Bytes = std::vector<uint8_t>;
using graphics_test::ScratchFolder;

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Lines joined with CR LF, each terminated, as the game's files are.
inline std::string crlf(const std::vector<std::string>& lines, const char* end = "\r\n") {
    std::string out;
    for (const std::string& line : lines) out += line + end;
    return out;
}

struct MeshMaterialSpec {
    float r = 1.0f, g = 1.0f, b = 1.0f, a = 1.0f;
    std::string texture;  // written as given inside quotation marks; empty: none
};

// A mesh file in the usual layout of exporters: header, Mesh with
// positions and faces, then the material list, normals and coordinates.
struct MeshSpec {
    std::vector<render::Vec3> positions;
    std::vector<std::vector<int>> faces;
    std::vector<MeshMaterialSpec> materials{MeshMaterialSpec{}};
    std::vector<int> faceMaterials;  // empty: material 0 for every face
    std::vector<render::Vec3> normals;  // empty: one normal per face from `faceNormals`
    std::vector<std::vector<int>> normalFaces;
    bool writeNormals = true;
    std::vector<TexCoord> texCoords;  // empty: none written

    std::string text(const char* lineEnd = "\r\n") const {
        std::vector<std::string> l;
        char buf[256];
        l.push_back("xof 0303txt 0032");
        l.push_back("");
        l.push_back("Mesh {");
        l.push_back(" " + std::to_string(positions.size()) + ";");
        for (size_t i = 0; i < positions.size(); ++i) {
            std::snprintf(buf, sizeof buf, " %.6f;%.6f;%.6f;%s", positions[i].x, positions[i].y, positions[i].z,
                          i + 1 < positions.size() ? "," : ";");
            l.push_back(buf);
        }
        auto faceLines = [&](const std::vector<std::vector<int>>& list) {
            l.push_back(" " + std::to_string(list.size()) + ";");
            for (size_t i = 0; i < list.size(); ++i) {
                std::string s = " ";
                s += std::to_string(list[i].size());
                s += ";";
                for (size_t k = 0; k < list[i].size(); ++k)
                    s += std::to_string(list[i][k]) + (k + 1 < list[i].size() ? "," : "");
                s += i + 1 < list.size() ? ";," : ";;";
                l.push_back(s);
            }
        };
        faceLines(faces);
        l.push_back("");
        l.push_back(" MeshMaterialList {");
        l.push_back("  " + std::to_string(materials.size()) + ";");
        l.push_back("  " + std::to_string(faces.size()) + ";");
        for (size_t i = 0; i < faces.size(); ++i) {
            int m = faceMaterials.empty() ? 0 : faceMaterials[i];
            l.push_back("  " + std::to_string(m) + (i + 1 < faces.size() ? "," : ";"));
        }
        for (const MeshMaterialSpec& m : materials) {
            l.push_back("  Material {");
            std::snprintf(buf, sizeof buf, "   %.6f;%.6f;%.6f;%.6f;;", m.r, m.g, m.b, m.a);
            l.push_back(buf);
            l.push_back("   5.000000;");
            l.push_back("   0.100000;0.200000;0.300000;;");
            l.push_back("   0.000000;0.000000;0.000000;;");
            if (!m.texture.empty()) {
                l.push_back("   TextureFilename {");
                l.push_back("    \"" + m.texture + "\";");
                l.push_back("   }");
            }
            l.push_back("  }");
        }
        l.push_back(" }");
        if (writeNormals) {
            l.push_back(" MeshNormals {");
            l.push_back("  " + std::to_string(normals.size()) + ";");
            for (size_t i = 0; i < normals.size(); ++i) {
                std::snprintf(buf, sizeof buf, "  %.6f;%.6f;%.6f;%s", normals[i].x, normals[i].y, normals[i].z,
                              i + 1 < normals.size() ? "," : ";");
                l.push_back(buf);
            }
            faceLines(normalFaces);
            l.push_back(" }");
        }
        if (!texCoords.empty()) {
            l.push_back(" MeshTextureCoords {");
            l.push_back("  " + std::to_string(texCoords.size()) + ";");
            for (size_t i = 0; i < texCoords.size(); ++i) {
                std::snprintf(buf, sizeof buf, "  %.6f;%.6f;%s", texCoords[i].u, texCoords[i].v,
                              i + 1 < texCoords.size() ? "," : ";");
                l.push_back(buf);
            }
            l.push_back(" }");
        }
        l.push_back("}");
        return crlf(l, lineEnd);
    }
};

// Gives every face one normal of its own, (0, 0, -1) unless set.
inline void flatNormals(MeshSpec& m, render::Vec3 n = {0.0f, 0.0f, -1.0f}) {
    m.normals.assign(1, n);
    m.normalFaces.clear();
    for (const auto& f : m.faces) m.normalFaces.push_back(std::vector<int>(f.size(), 0));
}

// One quad facing -z: corners left-top, right-top, right-bottom, left-bottom.
inline MeshSpec quadMesh() {
    MeshSpec m;
    m.positions = {{-1, 1, 0}, {1, 1, 0}, {1, -1, 0}, {-1, -1, 0}};
    m.faces = {{0, 1, 2, 3}};
    flatNormals(m);
    m.texCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    return m;
}

// The cube with corners at (+-1, +-1, +-1): eight shared positions and six
// quads, each wound clockwise seen from outside, with outward normals.
inline MeshSpec cubeMesh() {
    MeshSpec m;
    for (int i = 0; i < 8; ++i)
        m.positions.push_back({i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f});
    // -z, +z, -x, +x, -y, +y; each starting at the corner that makes both
    // triangles' planes equal bit for bit (zeros of the same sign).
    m.faces = {{2, 3, 1, 0}, {7, 6, 4, 5}, {6, 2, 0, 4}, {7, 5, 1, 3}, {1, 5, 4, 0}, {7, 3, 2, 6}};
    m.normals = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}};
    for (int f = 0; f < 6; ++f) m.normalFaces.push_back({f, f, f, f});
    return m;
}

inline void put16(Bytes& b, uint32_t v) { graphics_test::put16(b, v); }
inline void put32(Bytes& b, uint32_t v) { graphics_test::put32(b, v); }
inline void putFloat(Bytes& b, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put32(b, bits);
}
inline void putName(Bytes& b, const std::string& name) {
    size_t at = b.size();
    b.resize(at + kNameLength, 0);
    std::memcpy(b.data() + at, name.data(), std::min<size_t>(name.size(), kNameLength));
}

struct PartSpec {
    uint8_t kind = 0;
    std::string name;
    std::string meshFile;
    int32_t parent = -1;
    std::vector<int32_t> children;
    render::Vec3 vectors[8] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {}, {}, {}, {}, {}};
};

inline Bytes modelFile(const std::vector<PartSpec>& parts, int32_t root = 0) {
    Bytes b;
    put32(b, uint32_t(int32_t(parts.size()) - 1));
    put32(b, uint32_t(root));
    for (const PartSpec& p : parts) {
        b.push_back(p.kind);
        putName(b, p.name);
        putName(b, p.meshFile);
        put32(b, uint32_t(p.parent));
        for (int i = 0; i < kPartChildren; ++i)
            put32(b, uint32_t(i < int(p.children.size()) ? p.children[size_t(i)] : -1));
        for (const render::Vec3& v : p.vectors) {
            putFloat(b, v.x);
            putFloat(b, v.y);
            putFloat(b, v.z);
        }
    }
    return b;
}

struct KeySpec {
    int16_t frame = -1;
    int16_t rx = 0, ry = 0, rz = 0;
    int8_t dx = 1, dy = 1, dz = 1;
    float tx = 0, ty = 0, tz = 0;
    int16_t meshSource = -1;
};

// Tracks of keys; missing key slots are written empty (frame -1).
inline Bytes animeFile(const std::string& modelName, const std::vector<std::vector<KeySpec>>& tracks,
                       int32_t frameCount, int32_t version = 1) {
    Bytes b;
    put32(b, uint32_t(version));
    putName(b, modelName);
    put32(b, uint32_t(int32_t(tracks.size()) - 1));
    put32(b, 0);
    for (const auto& keys : tracks) {
        for (int i = 0; i < kTrackKeys; ++i) {
            KeySpec k = i < int(keys.size()) ? keys[size_t(i)] : KeySpec{};
            put16(b, uint16_t(k.frame));
            put16(b, uint16_t(k.rx));
            put16(b, uint16_t(k.ry));
            put16(b, uint16_t(k.rz));
            b.push_back(uint8_t(k.dx));
            b.push_back(uint8_t(k.dy));
            b.push_back(uint8_t(k.dz));
            b.push_back(0);
            putFloat(b, k.tx);
            putFloat(b, k.ty);
            putFloat(b, k.tz);
            put16(b, uint16_t(k.meshSource));
            put16(b, 0);
        }
    }
    put32(b, uint32_t(frameCount));
    return b;
}

}  // namespace model_test
