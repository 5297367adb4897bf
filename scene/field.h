// scene/field.h
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/render_mesh.h"
#include "render/matrix.h"
#include "render/vertex.h"

namespace graphics {
class Camera;
class G_D3D;
class TextureStore;
struct Lighting;
}  // namespace graphics

namespace scene {

constexpr int kFieldNodes = 21;           // a root, four children, sixteen leaves
constexpr int kFieldLeaves = 16;
constexpr float kFieldCullHalfSize = 90.0f;  // around the look-at point
constexpr float kGroundOffset = 0.25f;       // checkField keeps points this far above a face
constexpr int kFieldStampLimit = 10000;      // the query stamp runs 0..10000
// A field file asking for more is refused: every coordinate within
// +-1,000,000, at most 4,194,304 one-unit grid cells (2048 x 2048) and at
// most 8,388,608 cell entries (a face counts once per cell its x-z box
// covers).
constexpr float kFieldCoordinateLimit = 1000000.0f;
constexpr int64_t kMaxFieldGridCells = int64_t(1) << 22;
constexpr int64_t kMaxFieldGridLinks = int64_t(1) << 23;
// A cell lists at most this many faces (the first ones, in the order the
// ground query meets them); faces past it are still drawn and are found
// from their other cells. So a ground query tests at most 9 x 1,024 faces.
constexpr int32_t kMaxCellFaces = 1024;

// One triangle of the field, ready for ground queries. Edge normals point
// out of the triangle for faces wound clockwise seen from +y; a point is
// inside the face's vertical prism when edgeNormal[k] . p + edgeOffset[k]
// <= 0 for every k.
struct FieldFace {
    render::Vec3 p0;
    render::Vec3 normal;     // normalize((P0 - P1) x (P0 - P2))
    render::Vec3 slide;      // normalize(n.x, cos(1.57 acos(n.y)), n.z)
    float planeOffset = 0;   // -(n . P0)
    render::Vec3 edgeNormal[3];
    float edgeOffset[3] = {};
    int32_t stamp = 0;       // the query that last tested the face
    render::Vec3 min, max;   // extent of the three corners
};

// A leaf's faces of one material, drawn in one call.
struct FieldBatch {
    int32_t material = 0;
    int32_t textureSlot = -1;  // texture-store slot of the material, -1 untextured
    std::vector<render::LVertex> vertices;
    std::vector<render::Vec3> normals;
};

// A quad-tree node over an x-z rectangle of the bounds. Nodes are
// numbered depth first from the root (0): child c of the root is node
// 1 + 5c, its leaves the four nodes after it. Children run (low x, low z),
// (high x, low z), (low x, high z), (high x, high z).
struct FieldNode {
    render::Vec3 min, max;              // what the node's faces reach
    float rectMinX = 0, rectMinZ = 0;  // the rectangle it was built for
    float rectMaxX = 0, rectMaxZ = 0;
    int32_t children[4] = {-1, -1, -1, -1};
    std::vector<int32_t> faces;        // leaves: face indices in assignment order
    std::vector<FieldBatch> batches;   // leaves: per material, in material order
    bool isLeaf() const { return children[0] < 0; }
};

// The one static terrain of the scene: its triangles as ground faces, a
// fixed quad tree (a root, four children, sixteen leaves) of batches to
// draw, and a grid of one-unit cells over the x-z bounds listing the faces
// each cell's area meets. Bounds always contain the origin: they start at
// 0 for every load, so a field lying at x > 0 is gridded from x = 0.
//
// Triangles without area (a zero cross product) have no normal: they
// grow the bounds but are not faces, so they are neither drawn nor
// walked on. A vertical triangle is drawn but never carries a point: its
// prism is empty.
//
// Everything is built at load; drawing and queries allocate nothing.
class Field {
public:
    Field();
    // Frees the field without releasing its textures: the texture store
    // may be gone by then. Call unload first to give them back.
    ~Field();
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    // Where textures load and the field draws. Any may be null: without a
    // store the materials stay untextured, without a display or light the
    // field is not drawn. Textures of a loaded field go back to the store
    // they came from, whatever is connected later.
    void connect(graphics::TextureStore* store, graphics::G_D3D* display, graphics::Lighting* light);

    // Unloads the current field, then reads the mesh file at the game path
    // `path`. Its materials' textures come from the folder of `path`
    // (everything up to its last backslash; none without one), which
    // becomes the store's texture folder. A texture that does not load
    // leaves its material untextured. False, with no field, when the file
    // cannot be read or parsed, a coordinate is not finite, the field
    // exceeds the limits above, or what it keeps does not fit in the mesh
    // budget (model/render_mesh.h; said on stderr).
    bool load(const char* path);
    bool loadMemory(const char* path, const uint8_t* data, size_t size);
    // Frees the field and releases every texture slot it holds. Harmless
    // without a field.
    void unload();
    bool isLoaded() const { return loaded; }

    // Draws the leaves whose rectangle meets the 180 x 180 square around
    // the camera's look-at point, each batch lit from the light's
    // position as a direction (turned by the light's matrix, which the draw
    // first resets to the identity) into its vertex colours. Nothing
    // without a field, a display or a light.
    void draw(const graphics::Camera& camera);

    // checkField: lifts `p` onto the ground raised by kGroundOffset and
    // slides it down steep faces. -2 no face near; -1 inside a face's
    // prism but above the ground; 1 lifted; 2 lifted and slid. `p` changes
    // only with 1 and 2. -2 without a field.
    int checkGround(render::Vec3& p);

    // For tests and tools: the built field.
    int faceCount() const { return int(faces.size()); }
    const FieldFace& face(int index) const { return faces[size_t(index)]; }
    render::Vec3 boundsMin() const { return minBound; }
    render::Vec3 boundsMax() const { return maxBound; }
    const FieldNode& node(int index) const { return nodes[index]; }
    int columns() const { return columnCount; }
    int rows() const { return rowCount; }
    float centreX() const { return centerX; }
    float centreZ() const { return centerZ; }
    // Faces listed in cell (row, column), in leaf order then face order.
    int cellFaceCount(int row, int column) const;
    int cellFace(int row, int column, int k) const;
    int textureCount() const { return loaded ? int(textureSlots.size()) : -1; }
    int textureSlot(int material) const { return textureSlots[size_t(material)]; }
    int32_t queryStamp() const { return stamp; }
    void setQueryStamp(int32_t value) { stamp = value; }

private:
    bool build(const char* path, const uint8_t* data, size_t size);
    void buildNode(int index, int depth, float minX, float minZ, float maxX, float maxZ, int& nextNode);
    void fillLeaf(FieldNode& leaf);
    bool buildGrid();
    void clear();

    graphics::TextureStore* store = nullptr;
    graphics::G_D3D* display = nullptr;
    graphics::Lighting* light = nullptr;
    graphics::TextureStore* textureOwner = nullptr;  // the store the loaded textures came from

    bool loaded = false;
    bool overBudget = false;    // the last build was refused for memory
    model::MeshCharge charge;   // what the loaded field keeps
    std::vector<FieldFace> faces;
    std::vector<int32_t> faceMaterials;  // per face
    // The render mesh's vertices of each face, three per face.
    std::vector<render::LVertex> faceVertices;
    std::vector<render::Vec3> faceNormals;
    render::Vec3 minBound, maxBound;
    std::vector<int32_t> textureSlots;  // per material
    FieldNode nodes[kFieldNodes];
    int32_t columnCount = 0, rowCount = 0;
    float centerX = 0, centerZ = 0;
    std::vector<int32_t> cellStart;  // rows x columns + 1 offsets into cellFaces
    std::vector<int32_t> cellFaces;
    int32_t stamp = 2;
};

}  // namespace scene
