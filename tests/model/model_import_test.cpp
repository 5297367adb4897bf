// Models imported from glTF files the tests write, loaded by the host's
// own readers and posed by its animation code, compared with the poses
// the test computes from the glTF numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "gltf_source.h"
#include "graphics/bitmap.h"
#include "image_decode.h"
#include "model/mesh_data.h"
#include "model/objects.h"
#include "scene/field.h"
#include "model_fixture.h"
#include "model_export.h"
#include "model_import.h"

using namespace model_test;
using gltf_test::Source;

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---- the host's pose, as the drawing code builds it ----

struct HostPose {
    render::Matrix acc;  // rotation, row vectors
    render::Vec3 world;  // where the part's pivot is drawn
};

// The drawing code's placement of every part, for an unrotated object of
// scale 1: turns about the part's axes through the host's matrix
// functions, accumulated down the tree, pivots carried by the parents.
std::vector<HostPose> hostPoses(const model::MODEL_DATA& m) {
    std::vector<HostPose> out(model::kModelParts);
    auto rad = [](float d) { return float(int(d)) * 3.1415927f / 180.0f; };
    std::vector<int> order{m.rootPart};
    for (size_t i = 0; i < order.size(); ++i)
        for (int c : m.parts[order[i]].children)
            if (c >= 0) order.push_back(c);
    for (int index : order) {
        const model::MODEL_PART& p = m.parts[index];
        const render::Vec3* v = p.vectors;
        using namespace render;
        Matrix e = multiply(multiply(rotationY(rad(v[3].y)), rotationX(rad(v[3].x))), rotationZ(rad(v[3].z)));
        Matrix a1 = rotationAxis({v[0].x, v[0].y, -v[0].z}, rad(v[4].x));
        Matrix a2 = rotationAxis(v[1], rad(v[4].y));
        Matrix a3 = rotationAxis(transformDirection(v[2], a1), rad(v[4].z));
        Matrix local = multiply(multiply(multiply(a2, e), a1), a3);
        HostPose& h = out[size_t(index)];
        if (p.parent < 0) {
            h.acc = local;
            h.world = v[6] + transformDirection(p.translation, local);
        } else {
            const HostPose& ph = out[size_t(p.parent)];
            const model::MODEL_PART& pp = m.parts[p.parent];
            h.acc = multiply(local, ph.acc);
            h.world = ph.world + transformDirection(v[6] - pp.vectors[5], ph.acc) +
                      transformDirection(p.translation, ph.acc);
        }
    }
    return out;
}

// ---- the source's pose in the host's space (z mirrored) ----

using M4 = std::array<double, 16>;

// Column-major rotation part of a source matrix, mirrored into the host's
// space and given as row vectors: r[i][j] multiplies component i.
// Scale is taken out (each axis to unit length).
std::array<std::array<double, 3>, 3> hostRotation(const M4& m) {
    std::array<std::array<double, 3>, 3> r{};
    for (int i = 0; i < 3; ++i) {
        double l = std::sqrt(m[size_t(i * 4)] * m[size_t(i * 4)] + m[size_t(i * 4 + 1)] * m[size_t(i * 4 + 1)] +
                             m[size_t(i * 4 + 2)] * m[size_t(i * 4 + 2)]);
        for (int j = 0; j < 3; ++j)
            r[size_t(i)][size_t(j)] = m[size_t(i * 4 + j)] / (l > 0 ? l : 1) * (i == 2 ? -1 : 1) * (j == 2 ? -1 : 1);
    }
    return r;
}

// Length of the source node's first axis at `time`: its scale.
double sizeAt(const Source& s, int node, int anim, double time) {
    const M4 w = s.world(node, anim, time);
    return std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
}

double degreesBetween(const std::array<std::array<double, 3>, 3>& a, const render::Matrix& b) {
    double trace = 0;
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) trace += a[size_t(k)][size_t(i)] * b.m[k][i];
    return std::acos(std::clamp((trace - 1) / 2, -1.0, 1.0)) * 180 / kPi;
}

// Rotation of `node` at `time` relative to its rest rotation, in host form.
std::array<std::array<double, 3>, 3> turnSinceRest(const Source& s, int node, int anim, double time) {
    auto now = hostRotation(s.world(node, anim, time));
    auto rest = hostRotation(s.world(node, -1, 0));
    std::array<std::array<double, 3>, 3> r{};
    // row form: rest^-1 * now, rest orthonormal
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[size_t(i)][size_t(j)] += rest[size_t(k)][size_t(i)] * now[size_t(k)][size_t(j)];
    return r;
}

render::Matrix transposedMatrix(const render::Matrix& a) {
    render::Matrix r = a;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = a.m[j][i];
    return r;
}

render::Vec3 hostOrigin(const M4& m) { return {float(m[12]), float(m[13]), float(-m[14])}; }

float distance(render::Vec3 a, render::Vec3 b) { return render::length(a - b); }

// ---- the sources ----

std::vector<double> quat(gltf_test::Vec3 axis, double degrees) {
    gltf_test::Quat q = gltf_test::axisAngle(axis, degrees);
    return {q[0], q[1], q[2], q[3]};
}

// A body with an arm holding either a fist or an open hand: "swing" turns
// the body about Y and swings the arm about X; "hop" moves the body and
// swaps the hands halfway through (the glTF way: scale to nothing).
Source character() {
    Source s;
    // The body's texture: four colours in its quarters, so a coordinate
    // turned or flipped shows in the drawn frame.
    tessmodel::Image quarters{2, 2, {230, 40, 40, 255, 40, 200, 40, 255, 40, 40, 230, 255, 230, 230, 40, 255}};
    std::vector<uint8_t> png;
    EXPECT_TRUE(tessmodel::encodePngRgba(quarters, png));
    s.pngs = {png};
    s.materials = {{{1, 1, 1, 1}, 0}, {{0.2, 0.8, 0.2, 1}, -1}};
    s.meshes = {gltf_test::box({-0.5, 0, -0.3}, {0.5, 1.6, 0.3}, 0), gltf_test::box({-0.1, -0.8, -0.1}, {0.1, 0, 0.1}, 1),
                gltf_test::box({-0.15, -0.15, -0.15}, {0.15, 0.15, 0.15}, 0),
                gltf_test::box({-0.05, -0.3, -0.2}, {0.05, 0, 0.2}, 1)};
    gltf_test::Node body{"body", {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {1}, 0};
    gltf_test::Node arm{"arm", {0.6, 1.4, 0.1}, {0, 0, 0, 1}, {1, 1, 1}, {2, 3}, 1};
    gltf_test::Node fist{"fist", {0, -0.9, 0}, {0, 0, 0, 1}, {1, 1, 1}, {}, 2};
    gltf_test::Node open{"open", {0, -0.85, 0}, gltf_test::axisAngle({0, 1, 0}, 30), {1, 1, 1}, {}, 3};
    s.nodes = {body, arm, fist, open};
    s.roots = {0};
    gltf_test::Animation swing{"swing", {}};
    swing.channels.push_back({0, "rotation", {0, 0.5, 1.0}, {quat({0, 1, 0}, 0), quat({0, 1, 0}, 70), quat({0, 1, 0}, 140)}});
    swing.channels.push_back(
        {1, "rotation", {0, 0.5, 1.0}, {quat({1, 0, 0}, 0), quat({1, 0, 0}, -60), quat({1, 0, 0}, 45)}});
    gltf_test::Animation hop{"hop", {}};
    hop.channels.push_back({0, "translation", {0, 0.5, 1.0}, {{0, 0, 0}, {0, 0.75, 1.5}, {0, 0, 3}}});
    hop.channels.push_back({1, "rotation", {0, 1.0}, {quat({0, 0, 1}, 0), quat({0, 0, 1}, 90)}});
    hop.channels.push_back({2, "scale", {0, 0.5, 0.55, 1.0}, {{1, 1, 1}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0}}});
    hop.channels.push_back({3, "scale", {0, 0.5, 0.55, 1.0}, {{0, 0, 0}, {0, 0, 0}, {1, 1, 1}, {1, 1, 1}}});
    s.animations = {swing, hop};
    return s;
}

class ModelImport : public ModelFixture {
protected:
    std::string writeSource(const std::string& name, const Source& s) const {
        write(name, s.json());
        return (folder.root() / name).string();
    }

    // Imports into "game/" and loads the description through the host.
    bool importAndLoad(const std::string& source, model::CHARA& chara, std::string& error,
                       tessmodel::ImportResult& result, const std::string& boxNode = "") {
        tessmodel::ImportOptions options;
        options.source = source;
        options.name = "hero";
        options.boxNode = boxNode;
        if (!tessmodel::importModel(options, result, error)) return false;
        for (const tessmodel::OutputFile& f : result.files) write("game/" + f.name, f.bytes);
        return model::loadDescription(chara, "game\\hero.cha");
    }

    std::string importError(const Source& s) {
        tessmodel::ImportOptions options;
        options.source = writeSource("bad.gltf", s);
        tessmodel::ImportResult result;
        std::string error;
        EXPECT_FALSE(tessmodel::importModel(options, result, error));
        EXPECT_TRUE(result.files.empty());
        return error;
    }
};

TEST_F(ModelImport, CharacterPosesMatchTheSourceAtItsKeysAndStayWithinTheBoundBetween) {
    const Source source = character();
    auto chara = std::make_unique<model::CHARA>();
    std::string error;
    tessmodel::ImportResult result;
    ASSERT_TRUE(importAndLoad(writeSource("hero.gltf", source), *chara, error, result)) << error;
    ASSERT_TRUE(boxes().empty()) << boxes()[0];

    // Each node is a part named after it, found by name.
    const model::MODEL_DATA& m = chara->model;
    std::map<std::string, int> part;
    for (int i = 0; i <= m.highestPart; ++i) part[m.parts[i].name] = i;
    ASSERT_EQ(part.count("body") + part.count("arm") + part.count("fist") + part.count("open"), 4u);
    ASSERT_EQ(chara->animeFrameCount(0), 20);
    ASSERT_EQ(chara->animeFrameCount(1), 20);

    for (int anim = 0; anim < 2; ++anim) {
        for (int frame = 0; frame <= 20; ++frame) {
            chara->animeIndex = anim;
            chara->animeFrame = float(frame);
            chara->applyAnimation(0.0f);
            std::vector<HostPose> host = hostPoses(m);
            const double time = frame / 20.0;
            const bool atKey = frame % 10 == 0;
            for (int node = 0; node < 4; ++node) {
                const int p = part[source.nodes[size_t(node)].name];
                SCOPED_TRACE("animation " + std::to_string(anim) + " frame " + std::to_string(frame) + " node " +
                             source.nodes[size_t(node)].name);
                // A hidden part has no orientation to compare.
                if (sizeAt(source, node, anim, time) < 0.5) {
                    EXPECT_EQ(m.parts[p].meshSource, -1);
                    continue;
                }
                EXPECT_EQ(m.parts[p].meshSource, p);
                const double turn = degreesBetween(turnSinceRest(source, node, anim, time), host[size_t(p)].acc);
                const float off = distance(hostOrigin(source.world(node, anim, time)), host[size_t(p)].world);
                if (atKey) {
                    EXPECT_LT(turn, 0.5);
                    EXPECT_LT(off, 0.001f);
                } else {
                    EXPECT_LT(turn, tessmodel::kRotationBound);
                    EXPECT_LT(off, 0.05f);  // 1% of the model's size
                }
            }
        }
    }

    // Every drawn corner of the arm lands where the source puts it.
    chara->animeIndex = 0;
    chara->animeFrame = 10.0f;
    chara->applyAnimation(0.0f);
    std::vector<HostPose> host = hostPoses(m);
    const model::MODEL_PART& arm = m.parts[part["arm"]];
    ASSERT_EQ(arm.mesh.vertexCount, 36);
    const M4 now = source.world(1, 0, 0.5);
    const M4 rest = source.world(1, -1, 0);
    for (const render::LVertex& v : arm.mesh.vertices) {
        render::Vec3 drawn = render::transformDirection(render::Vec3{v.x, v.y, v.z} - arm.vectors[5],
                                                        host[size_t(part["arm"])].acc) +
                             host[size_t(part["arm"])].world;
        // Back to the node's own space through the rest pose (a pure
        // translation here), then forward through the pose at 0.5 s.
        double local[3] = {v.x - rest[12], v.y - rest[13], -v.z - rest[14]};
        double x = now[0] * local[0] + now[4] * local[1] + now[8] * local[2] + now[12];
        double y = now[1] * local[0] + now[5] * local[1] + now[9] * local[2] + now[13];
        double z = now[2] * local[0] + now[6] * local[1] + now[10] * local[2] + now[14];
        EXPECT_LT(distance(drawn, {float(x), float(y), float(-z)}), 0.001f);
    }
}

// A long chain whose every link sways: each link keeps its turn relative
// to its parent within the bound at every frame, however deep it hangs.
TEST_F(ModelImport, EveryLinkOfALongChainStaysWithinTheBoundOfItsParent) {
    Source s;
    s.meshes = {gltf_test::box({-0.1, 0, -0.1}, {0.1, 0.5, 0.1})};
    s.roots = {0};
    gltf_test::Animation sway{"sway", {}};
    constexpr int kLinks = 8;
    for (int n = 0; n < kLinks; ++n) {
        s.nodes.push_back({"link" + std::to_string(n), {0, n ? 0.5 : 0.0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {}, 0});
        if (n + 1 < kLinks) s.nodes.back().children = {n + 1};
        gltf_test::Channel c{n, "rotation", {}, {}};
        for (int k = 0; k <= 24; ++k) {
            c.times.push_back(k);
            c.values.push_back(quat({1, 0, 0.3}, 20 * std::sin(k * 0.7 + n)));
        }
        sway.channels.push_back(c);
    }
    s.animations = {sway};
    auto chara = std::make_unique<model::CHARA>();
    std::string error;
    tessmodel::ImportResult result;
    ASSERT_TRUE(importAndLoad(writeSource("chain.gltf", s), *chara, error, result)) << error;
    const model::MODEL_DATA& m = chara->model;
    for (int frame = 0; frame <= chara->animeFrameCount(0); ++frame) {
        chara->animeFrame = float(frame);
        chara->applyAnimation(0.0f);
        std::vector<HostPose> host = hostPoses(m);
        for (int n = 1; n < kLinks; ++n) {
            auto child = turnSinceRest(s, n, 0, frame / 20.0), parent = turnSinceRest(s, n - 1, 0, frame / 20.0);
            // The source's turn of the link within its parent, row form:
            // child * transpose(parent).
            std::array<std::array<double, 3>, 3> relative{};
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    for (int k = 0; k < 3; ++k)
                        relative[size_t(i)][size_t(j)] += child[size_t(i)][size_t(k)] * parent[size_t(j)][size_t(k)];
            render::Matrix drawn = render::multiply(host[size_t(n)].acc, transposedMatrix(host[size_t(n - 1)].acc));
            ASSERT_LT(degreesBetween(relative, drawn), tessmodel::kRotationBound) << "frame " << frame << " link " << n;
        }
    }
}

// A bending arm whose one mesh is skinned to two joints: refused as it
// is, cut into a rigid piece per joint with --bake-skin, each corner
// following its strongest joint.
TEST_F(ModelImport, SkinnedMeshIsRefusedOrBakedIntoRigidPartsPerJoint) {
    Source s;
    gltf_test::Primitive arm = gltf_test::box({-0.2, 0, -0.2}, {0.2, 1, 0.2});
    gltf_test::Primitive fore = gltf_test::box({-0.2, 1, -0.2}, {0.2, 2, 0.2});
    const uint32_t base = uint32_t(arm.positions.size());
    arm.positions.insert(arm.positions.end(), fore.positions.begin(), fore.positions.end());
    arm.normals.insert(arm.normals.end(), fore.normals.begin(), fore.normals.end());
    arm.uvs.insert(arm.uvs.end(), fore.uvs.begin(), fore.uvs.end());
    for (uint32_t i : fore.indices) arm.indices.push_back(base + i);
    s.meshes = {arm};
    s.nodes = {{"rig", {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {1, 3}, -1},
               {"upper", {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {2}, -1},
               {"lower", {0, 1, 0}, {0, 0, 0, 1}, {1, 1, 1}, {}, -1},
               {"skin", {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {}, 0}};
    s.roots = {0};
    s.skin.node = 3;
    s.skin.joints = {1, 2};
    s.skin.inverseBind = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1}};
    for (size_t i = 0; i < arm.positions.size(); ++i) {
        const bool upper = i < base;
        s.skin.cornerJoints.push_back(upper ? std::array<int, 2>{0, 1} : std::array<int, 2>{1, 0});
        s.skin.cornerWeight.push_back(upper ? 0.7 : 0.8);
    }
    s.animations = {{"bend", {{2, "rotation", {0, 1}, {quat({0, 0, 1}, 0), quat({0, 0, 1}, 90)}}}}};
    const std::string path = writeSource("arm.gltf", s);

    std::string error = importError(s);
    EXPECT_NE(error.find("is skinned; parts must be rigid"), std::string::npos) << error;

    tessmodel::ImportOptions options;
    options.source = path;
    options.name = "hero";
    options.bakeSkin = true;
    tessmodel::ImportResult result;
    ASSERT_TRUE(tessmodel::importModel(options, result, error)) << error;
    for (const tessmodel::OutputFile& f : result.files) write("game/" + f.name, f.bytes);
    auto chara = std::make_unique<model::CHARA>();
    ASSERT_TRUE(model::loadDescription(*chara, "game\\hero.cha"));
    const model::MODEL_DATA& m = chara->model;
    ASSERT_STREQ(m.parts[2].name, "lower");
    EXPECT_EQ(m.parts[1].mesh.vertexCount, 36);
    EXPECT_EQ(m.parts[2].mesh.vertexCount, 36);
    EXPECT_EQ(m.parts[3].kind, 2);  // the skinned node keeps no mesh of its own

    chara->animeIndex = 0;
    chara->animeFrame = 20.0f;
    chara->applyAnimation(0.0f);
    std::vector<HostPose> host = hostPoses(m);
    const M4 joint = s.world(2, 0, 1.0);
    for (const render::LVertex& v : m.parts[2].mesh.vertices) {
        render::Vec3 drawn =
            render::transformDirection(render::Vec3{v.x, v.y, v.z} - m.parts[2].vectors[5], host[2].acc) + host[2].world;
        const double local[3] = {v.x, v.y - 1.0, -v.z};  // through the joint's inverse bind matrix
        const double x = joint[0] * local[0] + joint[4] * local[1] + joint[8] * local[2] + joint[12];
        const double y = joint[1] * local[0] + joint[5] * local[1] + joint[9] * local[2] + joint[13];
        const double z = joint[2] * local[0] + joint[6] * local[1] + joint[10] * local[2] + joint[14];
        EXPECT_LT(distance(drawn, {float(x), float(y), float(-z)}), 0.001f);
        EXPECT_GE(v.y, 1.0f - 1e-6f);  // only the forearm's corners
    }
}

// A texture with transparent texels: the colour bitmap, its alpha
// companion, and the corner the source maps to texture coordinate (0, 0).
TEST_F(ModelImport, TextureBecomesABitmapWithAnAlphaCompanionTheHostLoads) {
    Source s;
    tessmodel::Image image;
    image.width = 4;
    image.height = 2;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) image.rgba.insert(image.rgba.end(), {uint8_t(x * 60), uint8_t(y * 200), 30, uint8_t(x == 0 ? 64 : 255)});
    std::vector<uint8_t> png;
    ASSERT_TRUE(tessmodel::encodePngRgba(image, png));
    s.pngs = {png};
    s.materials = {{{1, 1, 1, 1}, 0}};
    gltf_test::Primitive quad;
    quad.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    quad.normals.assign(4, {0, 0, 1});
    quad.uvs = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    quad.indices = {0, 1, 2, 0, 2, 3};
    quad.material = 0;
    s.meshes = {quad};
    // Its collision box, named by --box: not a part, the description's BOX.
    s.meshes.push_back(gltf_test::box({0, 0, -0.5}, {1, 1, 0.5}));
    s.nodes = {{"sign", {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {1}, 0}, {"hit", {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {}, 1}};
    s.roots = {0};
    auto chara = std::make_unique<model::CHARA>();
    std::string error;
    tessmodel::ImportResult result;
    ASSERT_TRUE(importAndLoad(writeSource("sign.gltf", s), *chara, error, result, "hit")) << error;
    ASSERT_TRUE(boxes().empty());
    EXPECT_EQ(chara->model.highestPart, 0);
    EXPECT_STREQ(chara->collisionFile, "game\\hero_box.x");
    // Faces wound as the host's own cube: outward planes, the x = 1 face
    // among them with its normal along +x.
    bool outward = false;
    for (int i = 0; i < chara->collisionShape.planeCount; ++i) {
        const model::CollisionPlane& plane = chara->collisionShape.planes[i];
        if (std::fabs(plane.normal.x - 1) < 1e-5f && std::fabs(plane.d - 1) < 1e-5f) outward = true;
    }
    EXPECT_GE(chara->collisionShape.planeCount, 6);
    EXPECT_TRUE(outward);
    const model::MODEL_PART& sign = chara->model.parts[0];
    EXPECT_STREQ(sign.mesh.textureName, "hero_tex0.bmp");
    EXPECT_GE(sign.mesh.textureSlot, 0);

    graphics::G_BMP_G colour, alpha;
    ASSERT_TRUE(colour.load("game\\hero_tex0.bmp"));
    ASSERT_TRUE(alpha.load("game\\hero_tex0_a.bmp"));
    ASSERT_EQ(colour.depth(), 24);
    ASSERT_EQ(colour.width(), 4);
    // Bitmap rows are stored bottom first: row 1 is the image's top row.
    const uint8_t* top = colour.rowData(1);
    EXPECT_EQ(top[3 * 3 + 2], 180);  // red of the top-right texel
    EXPECT_EQ(colour.rowData(0)[1], 200);  // green of the bottom row
    EXPECT_EQ(alpha.rowData(1)[0], 64);
    EXPECT_EQ(alpha.rowData(1)[3], 255);

    // Exported and imported again, the texture and its alpha come back
    // texel for texel.
    std::vector<uint8_t> glb;
    std::vector<std::string> notes;
    ASSERT_TRUE(tessmodel::exportModel((folder.root() / "game/hero.cha").string(), 20, glb, error, notes)) << error;
    write("back.glb", glb);
    tessmodel::ImportOptions again;
    again.source = (folder.root() / "back.glb").string();
    again.name = "hero";
    ASSERT_TRUE(tessmodel::importModel(again, result, error)) << error;
    std::map<std::string, std::vector<uint8_t>> back;
    for (const tessmodel::OutputFile& f : result.files) back[f.name] = f.bytes;
    EXPECT_EQ(back["hero_tex0.bmp"], folder.read("game/hero_tex0.bmp"));
    EXPECT_EQ(back["hero_tex0_a.bmp"], folder.read("game/hero_tex0_a.bmp"));

    // The source's (0, 0) corner, its top left (0, 1, 0), keeps (0, 0).
    bool found = false;
    for (const render::LVertex& v : sign.mesh.vertices)
        if (std::fabs(v.x) < 1e-6f && std::fabs(v.y - 1) < 1e-6f) {
            found = true;
            EXPECT_FLOAT_EQ(v.tu, 0.0f);
            EXPECT_FLOAT_EQ(v.tv, 0.0f);
        }
    EXPECT_TRUE(found);
}

TEST_F(ModelImport, FieldIsOneMeshAtTheNodesPlacesWithAMaterialPerSourceMaterial) {
    Source s;
    s.materials = {{{0.5, 0.5, 0.5, 1}, -1}, {{0.1, 0.9, 0.1, 1}, -1}};
    s.meshes = {gltf_test::box({0, -1, 0}, {10, 0, 10}, 0), gltf_test::box({0, 0, 0}, {1, 1, 1}, 1)};
    s.nodes = {{"ground", {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {1}, 0},
               {"rock", {5, 0, 5}, {0, 0, 0, 1}, {2, 2, 2}, {}, 1}};
    s.roots = {0};
    tessmodel::ImportOptions options;
    options.source = writeSource("field.gltf", s);
    tessmodel::ImportResult result;
    std::string error;
    ASSERT_TRUE(tessmodel::importField(options, "ground.x", result, error)) << error;
    ASSERT_EQ(result.files.size(), 1u);
    // The host's field stands a walker on the ground and on the rock.
    scene::Field ground;
    ASSERT_TRUE(ground.loadMemory("ground.x", result.files[0].bytes.data(), result.files[0].bytes.size()));
    render::Vec3 walker{2, 0.1f, -2};
    EXPECT_GE(ground.checkGround(walker), 1);
    EXPECT_FLOAT_EQ(walker.y, 0.0f + scene::kGroundOffset);
    render::Vec3 climber{6, 2.1f, -6};
    EXPECT_GE(ground.checkGround(climber), 1);
    EXPECT_FLOAT_EQ(climber.y, 2.0f + scene::kGroundOffset);
    model::MESH_DATA mesh;
    ASSERT_TRUE(model::parseMeshMemory(mesh, result.files[0].bytes.data(), result.files[0].bytes.size()));
    EXPECT_EQ(mesh.materialCount, 2);
    EXPECT_EQ(mesh.faceCount, 24);
    float top = -1e9f, farZ = 1e9f;
    for (const render::Vec3& p : mesh.vertices) {
        top = std::max(top, p.y);
        farZ = std::min(farZ, p.z);
    }
    EXPECT_FLOAT_EQ(top, 2.0f);     // the rock, scaled twice, on the ground
    EXPECT_FLOAT_EQ(farZ, -10.0f);  // +z of the source is -z of the host
    model::clearMeshData(mesh, true);
}

TEST_F(ModelImport, EveryHostLimitIsRefusedNamingWhatBreaksIt) {
    auto chain = [](int count, int childrenOfFirst) {
        Source s;
        s.meshes = {gltf_test::box({0, 0, 0}, {1, 1, 1})};
        s.roots = {0};
        for (int i = 0; i < count; ++i) s.nodes.push_back({"n" + std::to_string(i), {0, 1, 0}, {0, 0, 0, 1}, {1, 1, 1}, {}, 0});
        for (int i = 1; i < count; ++i) s.nodes[size_t(i < childrenOfFirst + 1 ? 0 : i - 1)].children.push_back(i);
        return s;
    };
    EXPECT_EQ(importError(chain(101, 1)), "node 'n100' is part 101; a model holds at most 100 parts");
    EXPECT_EQ(importError(chain(22, 21)), "node 'n0' has more than 20 children; a part holds at most 20");

    Source longName = chain(1, 0);
    longName.nodes[0].name = std::string(257, 'a');
    EXPECT_EQ(importError(longName),
              "node '" + std::string(257, 'a') + "': its name has 257 characters; a part's name holds at most 256");

    Source many = chain(2, 1);
    for (int i = 0; i < 31; ++i)
        many.animations.push_back({"a" + std::to_string(i), {{1, "translation", {0, 1}, {{0, 1, 0}, {0, 2, 0}}}}});
    EXPECT_EQ(importError(many), "animation 'a30' is the 31st; a model holds at most 30 animations");

    // A turn that changes direction every frame needs a key every frame.
    Source shaky = chain(2, 1);
    gltf_test::Channel c{1, "rotation", {}, {}};
    for (int f = 0; f <= 40; ++f) {
        c.times.push_back(f / 20.0);
        c.values.push_back(quat({1, 0, 0}, f % 2 ? 20 : 0));
    }
    shaky.animations.push_back({"shake", {c}});
    std::string error = importError(shaky);
    EXPECT_EQ(error.rfind("animation 'shake', node 'n1': needs more than 30 keys to stay within 2.0 degrees", 0), 0u)
        << error;

    // --max-keys lowers the cap: the arm swings forth and back, three keys.
    {
        tessmodel::ImportOptions options;
        options.source = writeSource("hero.gltf", character());
        options.maxKeys = 2;
        tessmodel::ImportResult result;
        EXPECT_FALSE(tessmodel::importModel(options, result, error));
        EXPECT_EQ(error.rfind("animation 'swing', node 'arm': needs more than 2 keys", 0), 0u) << error;
    }

    Source endless = chain(2, 1);
    endless.animations.push_back({"long", {{1, "translation", {0, 2000}, {{0, 1, 0}, {0, 2, 0}}}}});
    EXPECT_EQ(importError(endless),
              "animation 'long' lasts 40000 frames; an animation holds at most 32767 (try a lower --fps)");

    Source unseen = chain(2, 1);
    unseen.nodes[1].scale = {0, 0, 0};
    EXPECT_EQ(importError(unseen), "node 'n1' has no size at rest (a scale of 0); give it its size at rest and hide "
                                   "it with scale keys");

    // A turning part under a parent stretched along x would shear.
    Source stretched = chain(2, 1);
    stretched.nodes[0].scale = {2, 1, 1};
    stretched.animations.push_back(
        {"twist", {{1, "rotation", {0, 1}, {quat({0, 0, 1}, 0), quat({0, 0, 1}, 45)}}}});
    EXPECT_EQ(importError(stretched), "animation 'twist', node 'n1': stretches in this animation (a scale that is not "
                                      "the same on every axis above a turning part); parts must be rigid");

    Source twoTextures = chain(1, 0);
    tessmodel::Image pixel{1, 1, {255, 0, 0, 255}};
    std::vector<uint8_t> png;
    ASSERT_TRUE(tessmodel::encodePngRgba(pixel, png));
    twoTextures.pngs = {png, png};
    twoTextures.materials = {{{1, 1, 1, 1}, 0}, {{1, 1, 1, 1}, 1}};
    twoTextures.meshes = {gltf_test::box({0, 0, 0}, {1, 1, 1}, 0), gltf_test::box({1, 0, 0}, {2, 1, 1}, 1)};
    // Both primitives in the node's one mesh.
    std::string json = twoTextures.json();
    const std::string join = "}]},{\"primitives\":[";
    size_t cut = json.find(join);
    ASSERT_NE(cut, std::string::npos);
    json.replace(cut, join.size(), "},");
    write("textures.gltf", json);
    tessmodel::ImportOptions options;
    options.source = (folder.root() / "textures.gltf").string();
    tessmodel::ImportResult result;
    EXPECT_FALSE(tessmodel::importModel(options, result, error));
    EXPECT_EQ(error, "node 'n0' uses textures textures_tex0.bmp and textures_tex1.bmp; a part draws with one texture "
                     "(split the node by texture)")
        << json;
}

// The same path for the other formats Assimp reads: an OBJ of two objects
// becomes a part for each under a root, and a face of five corners is
// cut into triangles the host's reader takes.
TEST_F(ModelImport, ObjObjectsBecomePartsWithLargerFacesTriangulated) {
    write("shapes.obj",
          "o house\nv 0 0 0\nv 2 0 0\nv 2 2 0\nv 1 3 0\nv 0 2 0\nf 1 2 3 4 5\n"
          "o door\nv 0.5 0 0.1\nv 1 0 0.1\nv 1 1 0.1\nv 0.5 1 0.1\nf 6 7 8 9\n");
    tessmodel::ImportOptions options;
    options.source = (folder.root() / "shapes.obj").string();
    options.name = "hero";
    tessmodel::ImportResult result;
    std::string error;
    ASSERT_TRUE(tessmodel::importModel(options, result, error)) << error;
    for (const tessmodel::OutputFile& f : result.files) write("game/" + f.name, f.bytes);
    auto chara = std::make_unique<model::CHARA>();
    ASSERT_TRUE(model::loadDescription(*chara, "game\\hero.cha"));
    std::map<std::string, int> vertices;
    for (int i = 0; i <= chara->model.highestPart; ++i)
        vertices[chara->model.parts[i].name] = chara->model.parts[i].mesh.vertexCount;
    EXPECT_EQ(vertices["house"], 9);  // three triangles
    EXPECT_EQ(vertices["door"], 6);
    EXPECT_EQ(chara->model.parts[chara->model.rootPart].parent, -1);
}

// Export writes what the host draws; importing that again gives back every
// key: its frame, its whole-degree pose, its translation and mesh source.
TEST_F(ModelImport, ExportedModelImportsBackWithEveryKey) {
    auto first = std::make_unique<model::CHARA>();
    std::string error;
    tessmodel::ImportResult result;
    ASSERT_TRUE(importAndLoad(writeSource("hero.gltf", character()), *first, error, result)) << error;

    std::vector<uint8_t> glb;
    std::vector<std::string> notes;
    ASSERT_TRUE(tessmodel::exportModel((folder.root() / "game/hero.cha").string(), 20, glb, error, notes)) << error;
    EXPECT_TRUE(notes.empty());
    write("hero_back.glb", glb);
    tessmodel::ImportOptions options;
    options.source = (folder.root() / "hero_back.glb").string();
    options.name = "hero";
    ASSERT_TRUE(tessmodel::importModel(options, result, error)) << error;
    for (const tessmodel::OutputFile& f : result.files) write("back/" + f.name, f.bytes);
    auto second = std::make_unique<model::CHARA>();
    ASSERT_TRUE(model::loadDescription(*second, "back\\hero.cha"));

    ASSERT_EQ(second->model.highestPart, first->model.highestPart);
    for (int i = 0; i <= first->model.highestPart; ++i) {
        EXPECT_STREQ(second->model.parts[i].name, first->model.parts[i].name);
        EXPECT_EQ(second->model.parts[i].parent, first->model.parts[i].parent);
        EXPECT_EQ(second->model.parts[i].mesh.vertexCount, first->model.parts[i].mesh.vertexCount);
    }
    for (int slot = 0; slot < 2; ++slot) {
        ASSERT_EQ(second->animeFrameCount(slot), first->animeFrameCount(slot));
        for (int t = 0; t <= first->model.highestPart; ++t) {
            const model::ANIME_TRACK& a = first->animations[slot].tracks[t];
            const model::ANIME_TRACK& b = second->animations[slot].tracks[t];
            for (int k = 0; k < model::kTrackKeys && a.keys[k].frame >= 0; ++k) {
                SCOPED_TRACE("slot " + std::to_string(slot) + " track " + std::to_string(t) + " key " + std::to_string(k));
                EXPECT_EQ(b.keys[k].frame, a.keys[k].frame);
                for (int axis = 0; axis < 3; ++axis) {
                    EXPECT_EQ(b.keys[k].rotation[axis], a.keys[k].rotation[axis]);
                    EXPECT_NEAR(b.keys[k].translation[axis], a.keys[k].translation[axis], 0.001f);
                }
                EXPECT_EQ(b.keys[k].meshSource, a.keys[k].meshSource);
            }
        }
    }
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The viewer is a game the host runs: the imported character, turning and
// swinging, drawn headless and compared with a reviewed frame.
TEST_F(ModelImport, ViewerShowsTheImportedModelAsTheReviewedFrame) {
    auto chara = std::make_unique<model::CHARA>();
    std::string error;
    tessmodel::ImportResult result;
    ASSERT_TRUE(importAndLoad(writeSource("hero.gltf", character()), *chara, error, result)) << error;
    const std::filesystem::path game = folder.root() / "view";
    const std::filesystem::path shot = folder.root() / "shot.png";
    const std::string command = std::string("SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ") + TESSMODEL_BINARY +
                                " view '" + (folder.root() / "game/hero.cha").string() + "' --anime 0 --game '" +
                                game.string() + "' -- --headless --virtual-clock --frames 40 --screenshot '" +
                                shot.string() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_FALSE(std::filesystem::exists(game / "20000101_000000.log")) << readText(game / "20000101_000000.log");
    const std::string golden = std::string(TESSERAE_TEST_DATA) + "/model/imported_view.png";
    if (std::getenv("TESSERAE_UPDATE_GOLDEN")) {
        std::ofstream(golden, std::ios::binary) << readText(shot);
    } else {
        EXPECT_EQ(readText(shot), readText(golden)) << "differs from " << golden;
    }
}

TEST_F(ModelImport, DamagedFilesAreRefusedWithAssimpsReasonAndNothingWritten) {
    std::string json = character().json();
    write("cut.gltf", json.substr(0, json.size() / 2));
    write("bad.obj", "v 0 0 0\nv 1 0 0\nf 1 2 7\n");
    const std::string tool = TESSMODEL_BINARY;
    for (const char* name : {"cut.gltf", "bad.obj"}) {
        const std::filesystem::path out = folder.root() / (std::string("out_") + name);
        const std::string command =
            tool + " import '" + (folder.root() / name).string() + "' '" + out.string() + "' 2>" + (folder.root() / "err.txt").string();
        EXPECT_NE(std::system(command.c_str()), 0) << name;
        EXPECT_FALSE(std::filesystem::exists(out)) << name;
        Bytes err = folder.read("err.txt");
        std::string text(err.begin(), err.end());
        EXPECT_EQ(text.rfind("tessmodel: " + (folder.root() / name).string() + ": ", 0), 0u) << text;
        EXPECT_GT(text.size(), (folder.root() / name).string().size() + 16) << text;
    }
}

}  // namespace
