// glTF 2.0 files written by the import tests: JSON with the buffer inline
// as base64, and the source's own node poses computed from the same
// numbers (translation, rotation, scale keys; linear, spherical between
// rotation keys), independently of the importer.
#pragma once
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace gltf_test {

using Vec3 = std::array<double, 3>;
using Quat = std::array<double, 4>;  // x, y, z, w as glTF writes them

inline Quat axisAngle(Vec3 axis, double degrees) {
    double l = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    double h = degrees * 3.14159265358979323846 / 360.0;
    double s = std::sin(h) / l;
    return {axis[0] * s, axis[1] * s, axis[2] * s, std::cos(h)};
}

struct Channel {
    int node = 0;
    std::string path;  // "translation", "rotation" or "scale"
    std::vector<double> times;
    std::vector<std::vector<double>> values;  // 3 or 4 numbers a key
    std::string interpolation = "LINEAR";
};

struct Animation {
    std::string name;
    std::vector<Channel> channels;
};

struct Primitive {
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;
    std::vector<std::array<double, 2>> uvs;  // empty: none
    std::vector<uint32_t> indices;           // triangles, counter-clockwise from the front
    int material = -1;
};

struct Node {
    std::string name;
    Vec3 translation{0, 0, 0};
    Quat rotation{0, 0, 0, 1};
    Vec3 scale{1, 1, 1};
    std::vector<int> children;
    int mesh = -1;  // index into Source::meshes (one primitive each)
};

struct Material {
    std::array<double, 4> colour{1, 1, 1, 1};
    int texture = -1;  // index into Source::pngs
};

// A skin on one node's mesh: each corner's first joint and its weight,
// the rest of the weight on the second joint.
struct Skin {
    int node = -1;  // the node whose mesh is skinned
    std::vector<int> joints;
    std::vector<std::array<double, 16>> inverseBind;  // column-major, one a joint
    std::vector<std::array<int, 2>> cornerJoints;     // indices into joints
    std::vector<double> cornerWeight;                 // of the first joint
};

struct Source {
    Skin skin;
    std::vector<Node> nodes;
    std::vector<int> roots;
    std::vector<Primitive> meshes;
    std::vector<Material> materials;
    std::vector<std::vector<uint8_t>> pngs;
    std::vector<Animation> animations;

    std::string json() const;

    // Column-major 4x4 world matrix of `node` at `time` in `animation`
    // (-1: the rest pose), as glTF defines it.
    std::array<double, 16> world(int node, int animation, double time) const;
};

inline std::string base64(const std::vector<uint8_t>& b) {
    static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < b.size(); i += 3) {
        uint32_t v = uint32_t(b[i]) << 16 | (i + 1 < b.size() ? uint32_t(b[i + 1]) << 8 : 0) |
                     (i + 2 < b.size() ? uint32_t(b[i + 2]) : 0);
        out += k[v >> 18 & 63];
        out += k[v >> 12 & 63];
        out += i + 1 < b.size() ? k[v >> 6 & 63] : '=';
        out += i + 2 < b.size() ? k[v & 63] : '=';
    }
    return out;
}

class JsonBuffer {
public:
    // Appends floats (or uint32 indices), 4-byte aligned; returns the
    // accessor index.
    int floats(const std::vector<double>& values, int width, bool withBounds = false) {
        int view = addView(values.size() * 4);
        for (double v : values) {
            float f = float(v);
            uint8_t raw[4];
            std::memcpy(raw, &f, 4);
            bytes.insert(bytes.end(), raw, raw + 4);
        }
        const char* type = width == 1   ? "SCALAR"
                           : width == 2 ? "VEC2"
                           : width == 3 ? "VEC3"
                           : width == 4 ? "VEC4"
                                        : "MAT4";
        std::string a = "{\"bufferView\":" + std::to_string(view) + ",\"componentType\":5126,\"count\":" +
                        std::to_string(values.size() / size_t(width)) + ",\"type\":\"" + type + "\"";
        if (withBounds) {
            std::vector<double> lo(size_t(width), 1e30), hi(size_t(width), -1e30);
            for (size_t i = 0; i < values.size(); ++i) {
                lo[i % size_t(width)] = std::min(lo[i % size_t(width)], double(float(values[i])));
                hi[i % size_t(width)] = std::max(hi[i % size_t(width)], double(float(values[i])));
            }
            a += ",\"min\":" + list(lo) + ",\"max\":" + list(hi);
        }
        accessors.push_back(a + "}");
        return int(accessors.size()) - 1;
    }
    int joints(const std::vector<std::array<int, 2>>& pairs) {
        int view = addView(pairs.size() * 4);
        for (const auto& p : pairs) bytes.insert(bytes.end(), {uint8_t(p[0]), uint8_t(p[1]), 0, 0});
        accessors.push_back("{\"bufferView\":" + std::to_string(view) + ",\"componentType\":5121,\"count\":" +
                            std::to_string(pairs.size()) + ",\"type\":\"VEC4\"}");
        return int(accessors.size()) - 1;
    }
    int indices(const std::vector<uint32_t>& values) {
        int view = addView(values.size() * 4);
        for (uint32_t v : values)
            for (int k = 0; k < 4; ++k) bytes.push_back(uint8_t(v >> (8 * k)));
        accessors.push_back("{\"bufferView\":" + std::to_string(view) + ",\"componentType\":5125,\"count\":" +
                            std::to_string(values.size()) + ",\"type\":\"SCALAR\"}");
        return int(accessors.size()) - 1;
    }
    int image(const std::vector<uint8_t>& png) {
        int view = addView(png.size());
        bytes.insert(bytes.end(), png.begin(), png.end());
        while (bytes.size() % 4) bytes.push_back(0);
        return view;
    }
    static std::string list(const std::vector<double>& v) {
        std::string s = "[";
        char buf[40];
        for (size_t i = 0; i < v.size(); ++i) {
            std::snprintf(buf, sizeof buf, "%.9g", v[i]);
            s += (i ? "," : "") + std::string(buf);
        }
        return s + "]";
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

inline std::string joined(const std::vector<std::string>& parts) {
    std::string s = "[";
    for (size_t i = 0; i < parts.size(); ++i) s += (i ? "," : "") + parts[i];
    return s + "]";
}

inline std::string Source::json() const {
    JsonBuffer buf;
    std::vector<std::string> meshJson, nodeJson, materialJson, imageJson, textureJson, animationJson;
    for (const Primitive& p : meshes) {
        std::vector<double> pos, nor, uv;
        for (const Vec3& v : p.positions) pos.insert(pos.end(), v.begin(), v.end());
        for (const Vec3& v : p.normals) nor.insert(nor.end(), v.begin(), v.end());
        for (const auto& t : p.uvs) uv.insert(uv.end(), t.begin(), t.end());
        std::string attributes = "\"POSITION\":" + std::to_string(buf.floats(pos, 3, true));
        if (!nor.empty()) attributes += ",\"NORMAL\":" + std::to_string(buf.floats(nor, 3));
        if (!uv.empty()) attributes += ",\"TEXCOORD_0\":" + std::to_string(buf.floats(uv, 2));
        if (skin.node >= 0 && nodes[size_t(skin.node)].mesh == int(&p - meshes.data())) {
            std::vector<double> weights;
            for (double w : skin.cornerWeight) weights.insert(weights.end(), {w, 1 - w, 0, 0});
            attributes += ",\"JOINTS_0\":" + std::to_string(buf.joints(skin.cornerJoints));
            attributes += ",\"WEIGHTS_0\":" + std::to_string(buf.floats(weights, 4));
        }
        std::string prim = "{\"attributes\":{" + attributes + "},\"indices\":" + std::to_string(buf.indices(p.indices));
        if (p.material >= 0) prim += ",\"material\":" + std::to_string(p.material);
        meshJson.push_back("{\"primitives\":[" + prim + "}]}");
    }
    for (size_t i = 0; i < pngs.size(); ++i) {
        imageJson.push_back("{\"bufferView\":" + std::to_string(buf.image(pngs[i])) + ",\"mimeType\":\"image/png\"}");
        textureJson.push_back("{\"source\":" + std::to_string(i) + "}");
    }
    for (const Material& m : materials) {
        std::string pbr = "\"baseColorFactor\":" + JsonBuffer::list({m.colour[0], m.colour[1], m.colour[2], m.colour[3]});
        if (m.texture >= 0) pbr += ",\"baseColorTexture\":{\"index\":" + std::to_string(m.texture) + "}";
        std::string mode = m.colour[3] < 1 || m.texture >= 0 ? ",\"alphaMode\":\"BLEND\"" : "";
        materialJson.push_back("{\"pbrMetallicRoughness\":{" + pbr + ",\"metallicFactor\":0}" + mode + "}");
    }
    for (const Node& n : nodes) {
        std::string s = "{\"name\":\"" + n.name + "\",\"translation\":" +
                        JsonBuffer::list({n.translation[0], n.translation[1], n.translation[2]}) +
                        ",\"rotation\":" + JsonBuffer::list({n.rotation[0], n.rotation[1], n.rotation[2], n.rotation[3]}) +
                        ",\"scale\":" + JsonBuffer::list({n.scale[0], n.scale[1], n.scale[2]});
        if (n.mesh >= 0) s += ",\"mesh\":" + std::to_string(n.mesh);
        if (skin.node == int(&n - nodes.data())) s += ",\"skin\":0";
        if (!n.children.empty()) {
            std::vector<std::string> c;
            for (int k : n.children) c.push_back(std::to_string(k));
            s += ",\"children\":" + joined(c);
        }
        nodeJson.push_back(s + "}");
    }
    for (const Animation& a : animations) {
        std::vector<std::string> samplers, channels;
        for (const Channel& c : a.channels) {
            std::vector<double> values;
            for (const auto& v : c.values) values.insert(values.end(), v.begin(), v.end());
            int in = buf.floats(c.times, 1, true);
            int out = buf.floats(values, int(c.values[0].size()));
            samplers.push_back("{\"input\":" + std::to_string(in) + ",\"output\":" + std::to_string(out) +
                               ",\"interpolation\":\"" + c.interpolation + "\"}");
            channels.push_back("{\"sampler\":" + std::to_string(samplers.size() - 1) + ",\"target\":{\"node\":" +
                               std::to_string(c.node) + ",\"path\":\"" + c.path + "\"}}");
        }
        animationJson.push_back("{\"name\":\"" + a.name + "\",\"samplers\":" + joined(samplers) +
                                ",\"channels\":" + joined(channels) + "}");
    }
    std::string skins;
    if (skin.node >= 0) {
        std::vector<double> ibm;
        for (const auto& m : skin.inverseBind) ibm.insert(ibm.end(), m.begin(), m.end());
        std::vector<std::string> joints;
        for (int j : skin.joints) joints.push_back(std::to_string(j));
        skins = ",\"skins\":[{\"joints\":" + joined(joints) +
                ",\"inverseBindMatrices\":" + std::to_string(buf.floats(ibm, 16)) + "}]";
    }
    std::vector<std::string> rootList;
    for (int r : roots) rootList.push_back(std::to_string(r));
    std::string s = "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":" + joined(rootList) + "}]";
    s += ",\"nodes\":" + joined(nodeJson);
    if (!meshJson.empty()) s += ",\"meshes\":" + joined(meshJson);
    if (!materialJson.empty()) s += ",\"materials\":" + joined(materialJson);
    if (!imageJson.empty()) s += ",\"images\":" + joined(imageJson) + ",\"textures\":" + joined(textureJson);
    if (!animationJson.empty()) s += ",\"animations\":" + joined(animationJson);
    s += skins;
    s += ",\"accessors\":" + joined(buf.accessors) + ",\"bufferViews\":" + joined(buf.views);
    s += ",\"buffers\":[{\"byteLength\":" + std::to_string(buf.bytes.size()) +
         ",\"uri\":\"data:application/octet-stream;base64," + base64(buf.bytes) + "\"}]}";
    return s;
}

namespace detail {

using M4 = std::array<double, 16>;  // column-major

inline M4 multiply(const M4& a, const M4& b) {
    M4 r{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k) r[size_t(c * 4 + row)] += a[size_t(k * 4 + row)] * b[size_t(c * 4 + k)];
    return r;
}

inline M4 trs(Vec3 t, Quat q, Vec3 s) {
    double x = q[0], y = q[1], z = q[2], w = q[3];
    double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                      {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                      {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
    M4 m{};
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row) m[size_t(c * 4 + row)] = r[row][c] * s[size_t(c)];
    m[12] = t[0];
    m[13] = t[1];
    m[14] = t[2];
    m[15] = 1;
    return m;
}

inline std::vector<double> sampleChannel(const Channel& c, double time) {
    size_t i = 0;
    while (i + 1 < c.times.size() && c.times[i + 1] <= time) ++i;
    if (i + 1 >= c.times.size() || time <= c.times[i] || c.interpolation == "STEP") return c.values[i];
    double f = (time - c.times[i]) / (c.times[i + 1] - c.times[i]);
    const auto& a = c.values[i];
    auto b = c.values[i + 1];
    std::vector<double> out(a.size());
    if (c.path != "rotation") {
        for (size_t k = 0; k < a.size(); ++k) out[k] = a[k] + (b[k] - a[k]) * f;
        return out;
    }
    double d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    if (d < 0) {
        for (double& v : b) v = -v;
        d = -d;
    }
    double wa = 1 - f, wb = f;
    if (d < 0.9995) {
        double th = std::acos(d);
        wa = std::sin((1 - f) * th) / std::sin(th);
        wb = std::sin(f * th) / std::sin(th);
    }
    double l = 0;
    for (size_t k = 0; k < 4; ++k) {
        out[k] = wa * a[k] + wb * b[k];
        l += out[k] * out[k];
    }
    for (double& v : out) v /= std::sqrt(l);
    return out;
}

}  // namespace detail

inline std::array<double, 16> Source::world(int node, int animation, double time) const {
    auto localOf = [&](int n) {
        Vec3 t = nodes[size_t(n)].translation, s = nodes[size_t(n)].scale;
        Quat q = nodes[size_t(n)].rotation;
        if (animation >= 0) {
            for (const Channel& c : animations[size_t(animation)].channels) {
                if (c.node != n) continue;
                std::vector<double> v = detail::sampleChannel(c, time);
                if (c.path == "translation") t = {v[0], v[1], v[2]};
                if (c.path == "rotation") q = {v[0], v[1], v[2], v[3]};
                if (c.path == "scale") s = {v[0], v[1], v[2]};
            }
        }
        return detail::trs(t, q, s);
    };
    std::vector<int> chain{node};
    for (bool found = true; found;) {
        found = false;
        for (size_t p = 0; p < nodes.size(); ++p)
            for (int c : nodes[p].children)
                if (c == chain.back()) {
                    chain.push_back(int(p));
                    found = true;
                }
    }
    detail::M4 m = localOf(chain.back());
    for (size_t i = chain.size() - 1; i-- > 0;) m = detail::multiply(m, localOf(chain[i]));
    return m;
}

// A box from `lo` to `hi`: 24 corners with face normals, 12 triangles.
inline Primitive box(Vec3 lo, Vec3 hi, int material = -1) {
    Primitive p;
    p.material = material;
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side) {
            Vec3 n{0, 0, 0};
            n[size_t(axis)] = side ? 1 : -1;
            int u = (axis + 1) % 3, v = (axis + 2) % 3;
            uint32_t base = uint32_t(p.positions.size());
            for (int k = 0; k < 4; ++k) {
                Vec3 c;
                c[size_t(axis)] = side ? hi[size_t(axis)] : lo[size_t(axis)];
                c[size_t(u)] = (k == 1 || k == 2) ? hi[size_t(u)] : lo[size_t(u)];
                c[size_t(v)] = (k >= 2) ? hi[size_t(v)] : lo[size_t(v)];
                p.positions.push_back(c);
                p.normals.push_back(n);
                p.uvs.push_back({k == 1 || k == 2 ? 1.0 : 0.0, k >= 2 ? 1.0 : 0.0});
            }
            // Corners go round u then v; seen from the normal's side that
            // is counter-clockwise when (u, v, n) is right-handed.
            if (side) {
                p.indices.insert(p.indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
            } else {
                p.indices.insert(p.indices.end(), {base, base + 2, base + 1, base, base + 3, base + 2});
            }
        }
    return p;
}

}  // namespace gltf_test
