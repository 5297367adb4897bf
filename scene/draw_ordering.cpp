// The object lists of a frame: ordered by distance to the eye, each entry
// posed and drawn through its model's part tree, plainly, tinted, or as an
// outline of its shells.
#include <cmath>

#include "graphics/camera.h"
#include "graphics/g_d3d.h"
#include "graphics/lighting.h"
#include "graphics/script_textures.h"
#include "model/mesh_view.h"
#include "model/objects.h"
#include "scene/scene_local.h"

namespace scene {

namespace {

using render::Matrix;
using render::Vec3;
using render::multiply;

enum class Traversal { Plain, Tinted, Outline };

// Rotation about `axis`; an axis of no length turns nothing.
Matrix axisRotation(Vec3 axis, float radians) {
    if (!(render::length(axis) > 0.0f)) return render::identityMatrix();
    return render::rotationAxis(axis, radians);
}


Vec3 scaled(Vec3 v, Vec3 k) { return {v.x * k.x, v.y * k.y, v.z * k.z}; }


// One walk over a model's part tree with one way of drawing.
class PartWalk {
public:
    PartWalk(model::CHARA& object, Traversal kind, const FrameTargets& targets)
        : chara(object), m(object.model), mode(kind), t(targets), degrees(targets.camera.degrees()) {}

    void run() {
        for (bool& seen : visited) seen = false;
        if (m.rootPart >= 0 && m.rootPart < model::kModelParts) visit(m.rootPart, -1);
    }

private:
    float radians(float degreesValue) const { return degrees[degreeIndex(degreesValue)]; }

    // A part is visited once per walk, so a file whose children loop back
    // (or share a part) cannot make the walk endless.
    void visit(int index, int parentIndex) {
        if (visited[index]) return;
        visited[index] = true;
        model::MODEL_PART& part = m.parts[index];
        place(part, parentIndex < 0 ? nullptr : &m.parts[parentIndex]);
        drawMeshOf(part);
        for (int child : part.children) {
            if (child >= 0 && child < model::kModelParts) visit(child, index);
        }
    }

    void place(model::MODEL_PART& part, const model::MODEL_PART* parent) {
        const Vec3* v = part.vectors;
        const Matrix e = multiply(multiply(render::rotationY(radians(v[3].y)), render::rotationX(radians(v[3].x))),
                                  render::rotationZ(radians(v[3].z)));
        const Matrix a1 = axisRotation({v[0].x, v[0].y, -v[0].z}, radians(v[4].x));
        const Matrix a2 = axisRotation(v[1], radians(v[4].y));
        const Matrix a3 = axisRotation(render::transformDirection(v[2], a1), radians(v[4].z));
        Matrix local = multiply(multiply(multiply(a2, e), a1), a3);
        if (!parent) {
            const Vec3 r = chara.rotation;
            local = multiply(multiply(multiply(local, render::rotationY(radians(r.y))), render::rotationX(radians(r.x))),
                             render::rotationZ(radians(r.z)));
        }
        part.accumulatedRotation = parent ? multiply(local, parent->accumulatedRotation) : local;
        const Vec3 offset =
            render::transformDirection(part.translation, parent ? parent->accumulatedRotation : local);
        if (!parent) {
            part.vectors[7] = v[6] + offset;
            part.worldPosition = part.vectors[7];
        } else {
            part.vectors[7] = v[6] + (parent->vectors[7] - parent->vectors[5]);
            part.worldPosition = parent->worldPosition +
                                 render::transformDirection(part.vectors[7] - parent->vectors[7],
                                                            parent->accumulatedRotation) +
                                 offset;
        }
        const Vec3 k{m.scale * (1.0f + m.scaleOffset.x), m.scale * (1.0f + m.scaleOffset.y),
                     m.scale * (1.0f + m.scaleOffset.z)};
        const Vec3 pivot = scaled(v[5], k);
        const Vec3 world = scaled(part.worldPosition, k);
        const Vec3 at = chara.position;
        part.worldMatrix = multiply(
            multiply(multiply(multiply(render::scalingMatrix(k.x, k.y, k.z),
                                       render::translationMatrix(-pivot.x, -pivot.y, -pivot.z)),
                              part.accumulatedRotation),
                     render::translationMatrix(world.x, world.y, world.z)),
            render::translationMatrix(at.x, at.y, at.z));
    }

    void drawMeshOf(const model::MODEL_PART& part) {
        const int source = part.meshSource;
        if (source < 0 || source >= model::kModelParts) return;
        model::MODEL_PART& from = m.parts[source];
        if (from.mesh.vertexCount < 1) return;
        graphics::Lighting& light = t.lighting;
        switch (mode) {
            case Traversal::Plain: {
                graphics::MeshView mesh = model::meshView(from.mesh);
                t.d3d.drawMesh(from.mesh.textureSlot, mesh, &part.worldMatrix, light);
                break;
            }
            case Traversal::Tinted: {
                const uint32_t colour = graphics::packQuadColour(light.tintColor[1], light.tintColor[2],
                                                                 light.tintColor[3], light.tintColor[0]);
                for (render::LVertex& vertex : from.shell.vertices) vertex.diffuse = colour;
                graphics::MeshView mesh = model::meshView(from.shell);
                t.d3d.drawMesh(light.tintTextured ? from.mesh.textureSlot : -1, mesh, &part.worldMatrix, light);
                break;
            }
            case Traversal::Outline: {
                graphics::MeshView mesh = model::meshView(from.shell);
                t.d3d.drawMesh(from.shell.textureSlot, mesh, &part.worldMatrix, light);
                break;
            }
        }
    }

    model::CHARA& chara;
    model::MODEL_DATA& m;
    Traversal mode;
    const FrameTargets& t;
    const float* degrees;
    bool visited[model::kModelParts];
};

// Poses the model for the entry: placement, animation at the clamped frame,
// and the instance's scale on top of the model's own.
void pose(model::CHARA& chara, const DrawEntry& e) {
    chara.position = {e.x, e.y, e.z};
    chara.rotation = {e.rx, e.ry, e.rz};
    if (e.animeIndex >= 0 && e.animeIndex < model::kAnimations) {
        chara.animeIndex = e.animeIndex;
        chara.animeFrame = 0.0f;
    }
    float frame = 0.0f;
    if (chara.animeIndex >= 0 && chara.animeIndex < model::kAnimations) {
        const float last = float(chara.animeFrameCount(chara.animeIndex));
        frame = e.animeFrame > 0.0f ? e.animeFrame : 0.0f;  // NaN counts as 0
        if (frame > last) frame = last;
    }
    chara.animeFrame = frame;
    chara.applyAnimation(0.0f);
    chara.model.scaleOffset = {e.scaleX - 1.0f, e.scaleY - 1.0f, e.scaleZ - 1.0f};
}

void drawEntry(SceneStore& store, const DrawEntry& e, const FrameTargets& t) {
    model::CHARA* chara = store.modelOf(e.index);
    if (!chara) return;
    pose(*chara, e);
    graphics::Lighting& light = t.lighting;
    const bool tinted = e.isSetColor != 0.0f;
    if (tinted) {
        light.tintColor[0] = e.colorA;
        light.tintColor[1] = e.colorR;
        light.tintColor[2] = e.colorG;
        light.tintColor[3] = e.colorB;
        light.tintTextured = 0;
        PartWalk(*chara, Traversal::Tinted, t).run();
    } else {
        PartWalk(*chara, Traversal::Plain, t).run();
    }
    if (e.isMask && chara->model.hasShell == 1) {
        render::Device* device = t.d3d.device();
        device->setRenderState(render::RenderState::CullMode, render::Cull::CW);
        PartWalk(*chara, Traversal::Outline, t).run();
        device->setRenderState(render::RenderState::CullMode, render::Cull::CCW);
    }
    chara->model.scaleOffset = {};
    if (tinted) {
        for (float& c : light.tintColor) c = 1.0f;
        light.tintTextured = 1;
    }
}

}  // namespace

void drawObjectList(SceneStore& store, DrawList<DrawEntry>& list, ListOrder order, render::Vec3 eye,
                    const FrameTargets& targets) {
    if (!targets.d3d.device()) return;
    sortByDistance(list, eye, order);
    for (int i = 0; i < list.count; ++i) drawEntry(store, list.entries[i], targets);
}

}  // namespace scene
