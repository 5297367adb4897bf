// Writers of the host's model, animation, mesh and bitmap files.
#include "host_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tessmodel {

namespace {

void put8(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); }
void put16(Bytes& b, uint32_t v) {
    put8(b, v);
    put8(b, v >> 8);
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void putFloat(Bytes& b, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put32(b, bits);
}
void putName(Bytes& b, const char* name) {
    size_t at = b.size();
    b.resize(at + model::kNameLength, 0);
    std::memcpy(b.data() + at, name, std::min(std::strlen(name), size_t(model::kNameLength - 1)));
}

std::string numbers(const char* format, double a, double b, double c = 0, double d = 0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, format, a, b, c, d);
    return buf;
}

}  // namespace

std::string meshText(const TextMesh& m) {
    std::string s = "xof 0303txt 0032\r\n\r\nMesh {\r\n";
    auto separator = [](size_t i, size_t n) { return i + 1 < n ? ",\r\n" : ";\r\n"; };
    s += " ";
    s += std::to_string(m.positions.size());
    s += ";\r\n";
    for (size_t i = 0; i < m.positions.size(); ++i)
        s += numbers(" %.6f;%.6f;%.6f;", m.positions[i].x, m.positions[i].y, m.positions[i].z) +
             separator(i, m.positions.size());
    auto faceList = [&](std::string& out) {
        out += " ";
        out += std::to_string(m.faces.size());
        out += ";\r\n";
        for (size_t i = 0; i < m.faces.size(); ++i) {
            out += " ";
            out += std::to_string(m.faces[i].size());
            out += ";";
            for (size_t k = 0; k < m.faces[i].size(); ++k) {
                out += std::to_string(m.faces[i][k]);
                if (k + 1 < m.faces[i].size()) out += ",";
            }
            out += i + 1 < m.faces.size() ? ";,\r\n" : ";;\r\n";
        }
    };
    faceList(s);
    s += "\r\n MeshMaterialList {\r\n";
    auto count = [&s](size_t n, const char* end) {
        s += "  ";
        s += std::to_string(n);
        s += end;
    };
    count(m.materials.size(), ";\r\n");
    count(m.faces.size(), ";\r\n");
    for (size_t i = 0; i < m.faces.size(); ++i) count(size_t(m.faceMaterials[i]), i + 1 < m.faces.size() ? ",\r\n" : ";\r\n");
    for (const MeshMaterial& mat : m.materials) {
        s += "  Material {\r\n";
        s += numbers("   %.6f;%.6f;%.6f;%.6f;;\r\n", mat.r, mat.g, mat.b, mat.a);
        s += "   0.000000;\r\n   0.000000;0.000000;0.000000;;\r\n   0.000000;0.000000;0.000000;;\r\n";
        if (!mat.texture.empty()) {
            s += "   TextureFilename {\r\n    \"";
            s += mat.texture;
            s += "\";\r\n   }\r\n";
        }
        s += "  }\r\n";
    }
    s += " }\r\n MeshNormals {\r\n";
    count(m.normals.size(), ";\r\n");
    for (size_t i = 0; i < m.normals.size(); ++i)
        s += numbers("  %.6f;%.6f;%.6f;", m.normals[i].x, m.normals[i].y, m.normals[i].z) +
             separator(i, m.normals.size());
    faceList(s);
    s += " }\r\n MeshTextureCoords {\r\n";
    count(m.u.size(), ";\r\n");
    for (size_t i = 0; i < m.u.size(); ++i) s += numbers("  %.6f;%.6f;", m.u[i], m.v[i]) + separator(i, m.u.size());
    s += " }\r\n}\r\n";
    return s;
}

Bytes modelFileBytes(const std::vector<model::MODEL_PART>& parts, int root) {
    Bytes b;
    put32(b, uint32_t(int32_t(parts.size()) - 1));
    put32(b, uint32_t(root));
    for (const model::MODEL_PART& p : parts) {
        put8(b, p.kind);
        putName(b, p.name);
        putName(b, p.meshFile);
        put32(b, uint32_t(p.parent));
        for (int32_t child : p.children) put32(b, uint32_t(child));
        for (const render::Vec3& v : p.vectors) {
            putFloat(b, v.x);
            putFloat(b, v.y);
            putFloat(b, v.z);
        }
    }
    return b;
}

Bytes animeFileBytes(const std::string& modelName, const std::vector<std::vector<model::ANIME_KEY>>& tracks,
                     int32_t frameCount) {
    Bytes b;
    put32(b, uint32_t(model::kAnimeVersion));
    putName(b, modelName.c_str());
    put32(b, uint32_t(int32_t(tracks.size()) - 1));
    put32(b, 0);
    for (const auto& keys : tracks) {
        for (int i = 0; i < model::kTrackKeys; ++i) {
            model::ANIME_KEY k = i < int(keys.size()) ? keys[size_t(i)] : model::ANIME_KEY{};
            put16(b, uint16_t(k.frame));
            for (int16_t r : k.rotation) put16(b, uint16_t(r));
            for (int8_t d : k.direction) put8(b, uint8_t(d));
            put8(b, 0);
            for (float t : k.translation) putFloat(b, t);
            put16(b, uint16_t(k.meshSource));
            put16(b, 0);
        }
    }
    put32(b, uint32_t(frameCount));
    return b;
}

Bytes bitmapBytes(const std::vector<uint8_t>& rgba, int width, int height, bool alpha) {
    const int rowBytes = (width * 3 + 3) & ~3;
    Bytes b;
    put8(b, 'B');
    put8(b, 'M');
    put32(b, uint32_t(54 + rowBytes * height));
    put32(b, 0);
    put32(b, 54);
    put32(b, 40);
    put32(b, uint32_t(width));
    put32(b, uint32_t(height));
    put16(b, 1);
    put16(b, 24);
    put32(b, 0);
    put32(b, uint32_t(rowBytes * height));
    put32(b, 2835);
    put32(b, 2835);
    put32(b, 0);
    put32(b, 0);
    for (int row = height - 1; row >= 0; --row) {
        const uint8_t* p = rgba.data() + size_t(row) * size_t(width) * 4;
        for (int x = 0; x < width; ++x, p += 4) {
            if (alpha) {
                b.insert(b.end(), 3, p[3]);
            } else {
                put8(b, p[2]);
                put8(b, p[1]);
                put8(b, p[0]);
            }
        }
        b.insert(b.end(), size_t(rowBytes - width * 3), 0);
    }
    return b;
}

}  // namespace tessmodel
