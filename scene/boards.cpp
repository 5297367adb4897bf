// Billboards: every board of a list drawn, farthest first, with the one
// shared quad whose colours and texture coordinates are rewritten per board.
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
using render::multiply;

constexpr float kBoardPi = 3.14f;  // the single-precision 3.14, not pi
constexpr float kReferenceSize = 16.0f;  // untextured boards map against 16 x 16

// (u, v) corners of the six quad vertices: (left, top), (right, top),
// (right, bottom), (left, top), (right, bottom), (left, bottom).
constexpr bool kUsesRight[6] = {false, true, true, false, true, false};
constexpr bool kUsesBottom[6] = {false, false, true, false, true, true};

float boardRadians(float degrees) { return degrees * kBoardPi / 180.0f; }

void drawBoard(model::MODEL_PART& quad, const BoardEntry& b, const FrameTargets& t) {
    const Matrix world =
        multiply(multiply(multiply(multiply(render::scalingMatrix(b.scaleX, b.scaleY, b.scaleZ),
                                            render::rotationZ(boardRadians(b.rote))),
                                   render::rotationY(boardRadians(b.ry))),
                          render::rotationX(boardRadians(b.rx))),
                 render::translationMatrix(b.x, b.y, b.z));

    // A table slot outside 0-99, an empty one, or a store slot that holds
    // no texture draws untextured against the reference square.
    int slot = t.textures.storeSlot(b.textureIndex);
    float width = kReferenceSize, height = kReferenceSize;
    if (slot >= 0 && slot < graphics::kTextureSlots) {
        const graphics::TextureSlot& texture = t.d3d.textures().textureSlot(slot);
        if (texture.state == 1) {
            width = float(texture.size.right - texture.size.left);
            height = float(texture.size.bottom - texture.size.top);
        } else {
            slot = -1;
        }
    } else {
        slot = -1;
    }
    const float uLeft = b.left / width, uRight = b.right / width;
    const float vTop = b.top / height, vBottom = b.bottom / height;
    const uint32_t colour = graphics::packQuadColour(b.colorR, b.colorG, b.colorB, b.colorA);

    render::LVertex* v = quad.mesh.vertices.data();
    for (int i = 0; i < 6; ++i) {
        v[i].diffuse = colour;
        v[i].tu = kUsesRight[i] ? uRight : uLeft;
        v[i].tv = kUsesBottom[i] ? vBottom : vTop;
    }
    graphics::MeshView mesh = model::meshView(quad.mesh);
    t.d3d.drawMesh(slot, mesh, &world, t.lighting);
}

}  // namespace

void drawBoardList(SceneStore& store, DrawList<BoardEntry>& list, render::Vec3 eye, const FrameTargets& targets) {
    model::OBJECTBASE* board = store.boardModel();
    if (!board || !targets.d3d.device()) return;
    sortByDistance(list, eye, ListOrder::FarthestFirst);
    model::MODEL_PART& quad = board->model.parts[board->model.rootPart];
    for (int i = 0; i < list.count; ++i) drawBoard(quad, list.entries[i], targets);
}

}  // namespace scene
