// Field meshes and collision models written in code for the field,
// collision and picking tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "../graphics/test_images.h"
#include "model/model_data.h"
#include "render/matrix.h"

namespace field_test {

using Bytes = std::vector<uint8_t>;
using render::Vec3;

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct Material {
    float r = 1.0f, g = 1.0f, b = 1.0f, a = 1.0f;
    std::string texture;  // empty: untextured
};

// A mesh file of triangles (or quads), one normal per face.
struct MeshText {
    std::vector<Vec3> positions;
    std::vector<std::vector<int>> faces;
    std::vector<int> faceMaterials;  // empty: material 0
    std::vector<Vec3> faceNormals;   // empty: (0, 1, 0) for every face
    std::vector<Material> materials{Material{}};

    // A triangle wound clockwise seen from +y (normal up) when a, b, c run
    // clockwise in the x-z plane seen from above.
    void triangle(Vec3 a, Vec3 b, Vec3 c, int material = 0) {
        const int at = int(positions.size());
        positions.insert(positions.end(), {a, b, c});
        faces.push_back({at, at + 1, at + 2});
        faceMaterials.push_back(material);
    }
    // The square [x0, x1] x [z0, z1] at height y as two triangles facing up.
    void square(float x0, float z0, float x1, float z1, float y = 0.0f, int material = 0) {
        triangle({x0, y, z0}, {x0, y, z1}, {x1, y, z1}, material);
        triangle({x0, y, z0}, {x1, y, z1}, {x1, y, z0}, material);
    }

    std::string text() const {
        std::string s = "xof 0303txt 0032\r\nMesh {\r\n";
        char buf[160];
        std::snprintf(buf, sizeof buf, " %zu;\r\n", positions.size());
        s += buf;
        for (size_t i = 0; i < positions.size(); ++i) {
            std::snprintf(buf, sizeof buf, " %.9g;%.9g;%.9g;%s\r\n", positions[i].x, positions[i].y, positions[i].z,
                          i + 1 < positions.size() ? "," : ";");
            s += buf;
        }
        auto faceLines = [&](bool normals) {
            std::snprintf(buf, sizeof buf, " %zu;\r\n", faces.size());
            s += buf;
            for (size_t i = 0; i < faces.size(); ++i) {
                std::snprintf(buf, sizeof buf, " %zu;", faces[i].size());
                s += buf;
                for (size_t k = 0; k < faces[i].size(); ++k) {
                    std::snprintf(buf, sizeof buf, "%d%s", normals ? int(i) : faces[i][k],
                                  k + 1 < faces[i].size() ? "," : "");
                    s += buf;
                }
                s += i + 1 < faces.size() ? ";,\r\n" : ";;\r\n";
            }
        };
        faceLines(false);
        s += " MeshMaterialList {\r\n";
        std::snprintf(buf, sizeof buf, "  %zu;\r\n  %zu;\r\n", materials.size(), faces.size());
        s += buf;
        for (size_t i = 0; i < faces.size(); ++i) {
            std::snprintf(buf, sizeof buf, "  %d%s\r\n", faceMaterials.empty() ? 0 : faceMaterials[i],
                          i + 1 < faces.size() ? "," : ";");
            s += buf;
        }
        for (const Material& m : materials) {
            std::snprintf(buf, sizeof buf, "  Material {\r\n   %.6f;%.6f;%.6f;%.6f;;\r\n   5.0;\r\n", m.r, m.g, m.b,
                          m.a);
            s += buf;
            s += "   0.0;0.0;0.0;;\r\n   0.0;0.0;0.0;;\r\n";
            if (!m.texture.empty()) s += "   TextureFilename {\r\n    \"" + m.texture + "\";\r\n   }\r\n";
            s += "  }\r\n";
        }
        s += " }\r\n MeshNormals {\r\n";
        std::snprintf(buf, sizeof buf, "  %zu;\r\n", faces.size());
        s += buf;
        for (size_t i = 0; i < faces.size(); ++i) {
            const Vec3 n = faceNormals.empty() ? Vec3{0, 1, 0} : faceNormals[i];
            std::snprintf(buf, sizeof buf, "  %.9g;%.9g;%.9g;%s\r\n", n.x, n.y, n.z, i + 1 < faces.size() ? "," : ";");
            s += buf;
        }
        faceLines(true);
        s += " }\r\n}\r\n";
        return s;
    }
    Bytes bytes() const { return bytesOf(text()); }
};

// The box [-hx, hx] x [-hy, hy] x [-hz, hz] as 12 triangles wound
// clockwise seen from outside: six collision planes.
inline MeshText boxMesh(float hx, float hy, float hz) {
    MeshText m;
    for (int i = 0; i < 8; ++i) m.positions.push_back({i & 1 ? hx : -hx, i & 2 ? hy : -hy, i & 4 ? hz : -hz});
    const int quads[6][4] = {{2, 3, 1, 0}, {7, 6, 4, 5}, {6, 2, 0, 4}, {7, 5, 1, 3}, {1, 5, 4, 0}, {7, 3, 2, 6}};
    for (const auto& q : quads) {
        m.faces.push_back({q[0], q[1], q[2]});
        m.faces.push_back({q[0], q[2], q[3]});
    }
    return m;
}

inline void put32(Bytes& b, uint32_t v) { graphics_test::put32(b, v); }

// A model file of one drawn part showing `meshFile`.
inline Bytes onePartModel(const std::string& meshFile) {
    Bytes b;
    put32(b, 0);  // part count - 1
    put32(b, 0);  // root
    b.push_back(1);
    auto name = [&](const std::string& text) {
        const size_t at = b.size();
        b.resize(at + model::kNameLength, 0);
        std::memcpy(b.data() + at, text.data(), std::min<size_t>(text.size(), model::kNameLength));
    };
    name("body");
    name(meshFile);
    put32(b, uint32_t(-1));
    for (int i = 0; i < model::kPartChildren; ++i) put32(b, uint32_t(-1));
    const float vectors[8][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {}, {}, {}, {}, {}};
    for (const auto& v : vectors) {
        for (float f : v) {
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            put32(b, bits);
        }
    }
    return b;
}

inline void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// "NAME.cha" in the folder `root` (ending in a slash): the model NAME.mdl
// drawing NAME.x, with the collision box NAME_box.x of half sizes
// (hx, hy, hz) and the description's extra lines.
inline void writeBoxModel(const std::string& root, const std::string& name, float hx, float hy, float hz,
                          const std::string& extra = "") {
    writeFile(root + name + ".x", boxMesh(hx, hy, hz).bytes());
    writeFile(root + name + "_box.x", boxMesh(hx, hy, hz).bytes());
    writeFile(root + name + ".mdl", onePartModel(name + ".x"));
    writeFile(root + name + ".cha", bytesOf("MODEL:[" + name + ".mdl]\r\nBOX:[" + name + "_box.x]\r\n" + extra));
}
inline void writeBoxModel(const graphics_test::ScratchFolder& folder, const std::string& name, float hx, float hy,
                          float hz, const std::string& extra = "") {
    writeBoxModel(folder.root().string() + "/", name, hx, hy, hz, extra);
}

}  // namespace field_test
