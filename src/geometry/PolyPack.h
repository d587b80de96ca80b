#pragma once

#include "app/Vector3.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

class Mesh;

// A plane n.p + d = 0, with one extra word carried from polygons into tree nodes.
struct PackPlane {
    Vec3 normal;
    float d = 0.0f;
    uint32_t extra = 4;

    float distance(const Vec3& p) const { return dot(normal, p) + d; }
};

// Where the bake's texture atlas placed a polygon: the texel rectangle (columns x to
// x + width - 1, rows y to y + height - 1 as placed), its bounds normalised over the
// atlas (x0 / W, y0 / H, x1 / W, y1 / H) and whether the rectangle was turned by 90
// degrees (u and v exchanged).
struct AtlasPlacement {
    bool placed = false;
    bool flipped = false;
    uint32_t x = 0, y = 0, width = 0, height = 0;
    float bounds[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

// A planar group of a mesh's triangles. Its outline is the boundary of the group; its
// frame (axes U and V in the plane, origin and extents) parametrises the polygon as
// origin + u * sizeU * axisU + v * sizeV * axisV with u and v in [0, 1].
struct PackPolygon {
    std::vector<Vec3> outline;            // boundary points, in order
    std::vector<uint32_t> outlineIndices; // mesh vertex index of each outline point
    // Where each closed chain of the outline begins: just 0 for a simple polygon; a
    // group with holes or separate pieces has one chain per loop, each joined from its
    // last point back to its first.
    std::vector<uint32_t> outlineChains;
    std::vector<uint32_t> vertexIndices; // the group's vertex indices, ascending, distinct
    Vec3 normal;
    PackPlane plane;
    Vec3 axisU, axisV, origin;
    float sizeU = 0.0f, sizeV = 0.0f;
    uint32_t surface = 0; // index of the pack's surface entry it came from
    AtlasPlacement atlas;
};

// The mesh frame at a polygon's lowest vertex index, as a 3 x 3 matrix stored row by
// row whose columns are the tangent, binormal and normal: a tangent-space direction b
// maps to b.x * T + b.y * B + b.z * N.
struct TangentFrame {
    float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    Vec3 tangent() const { return {m[0], m[3], m[6]}; }
    Vec3 binormal() const { return {m[1], m[4], m[7]}; }
    Vec3 normal() const { return {m[2], m[5], m[8]}; }
    Vec3 toWorld(const Vec3& b) const {
        return {m[0] * b.x + m[1] * b.y + m[2] * b.z, m[3] * b.x + m[4] * b.y + m[5] * b.z,
                m[6] * b.x + m[7] * b.y + m[8] * b.z};
    }
    static TangentFrame fromColumns(const Vec3& t, const Vec3& b, const Vec3& n);
};

// A splitting node of the tree. A child c >= 0 is a node number; c < 0 is leaf -c - 1.
struct BspNode {
    PackPlane plane;
    int32_t front = -1;
    int32_t back = -1;
};

// The polygons (by number) that end up in one cell of the tree.
struct BspLeaf {
    std::vector<uint32_t> polygons;
};

// One mesh added to the pack, with its polygons' range and the bake's per-surface
// switches: write the atlas coordinates into the mesh, and the further per-vertex values.
struct PackSurface {
    std::shared_ptr<Mesh> mesh;
    uint32_t firstPolygon = 0;
    uint32_t polygonCount = 0;
    bool writeAtlasCoordinates = true;
    bool writeVertexValues = true;
};

// Classification of a polygon against a plane, as stored in the build's matrix.
enum PlaneSide : uint8_t {
    SIDE_SPANNING = 0,
    SIDE_FRONT = 1, // in front of or on the plane
    SIDE_BACK = 255,
};

// The polygons of a model's surfaces, and a BSP tree over them for ray casting.
// Polygons are never cut: one straddling a splitting plane is listed on both sides.
// The splitting plane of each node is chosen with a precomputed polygon-against-plane
// matrix, scoring balance weight * |back - front| + split weight * spanning.
class PolyPack {
public:
    // The first argument is accepted for compatibility and not used.
    PolyPack(int32_t unused, int32_t balanceWeight, int32_t splitWeight);
    ~PolyPack();
    PolyPack(const PolyPack&) = delete;
    PolyPack& operator=(const PolyPack&) = delete;

    // Appends the mesh's polygons and a surface entry. Triangles sharing a vertex with
    // the group being gathered join it; others start a new polygon. False, with nothing
    // added, for a mesh without positions, with fewer than 3 indices or with indices
    // beyond its vertices.
    bool addSurface(const std::shared_ptr<Mesh>& mesh, bool writeAtlasCoordinates,
                    bool writeVertexValues);

    // Builds the classification matrix and the tree, then writes the tree to the log.
    // False, with no tree, for an empty pack or one whose matrix would not fit in memory.
    bool buildTree();

    // How polygon's outline lies against plane.
    static PlaneSide classify(const PackPolygon& polygon, const PackPlane& plane);

    const std::vector<PackPolygon>& polygons() const { return m_polygons; }
    const std::vector<PackSurface>& surfaces() const { return m_surfaces; }
    // One per polygon, in polygon order.
    const std::vector<TangentFrame>& tangentFrames() const { return m_tangentFrames; }
    // Node 0 is the root once the tree is built.
    const std::vector<BspNode>& nodes() const { return m_nodes; }
    const std::vector<BspLeaf>& leaves() const { return m_leaves; }
    // 1 while a polygon may still split, 0 once it was used.
    const std::vector<uint8_t>& splitterFlags() const { return m_splitterFlags; }

    int32_t balanceWeight() const { return m_balanceWeight; }
    int32_t splitWeight() const { return m_splitWeight; }
    // Seconds the last buildTree took (matrix and tree, not the log dump).
    float buildSeconds() const { return m_buildSeconds; }
    // Why the last addSurface or buildTree failed, in words.
    const std::string& lastError() const { return m_lastError; }

    // The most bytes the classification matrix may take; by default half the
    // machine's physical memory.
    uint64_t matrixByteLimit() const { return m_matrixByteLimit; }
    void setMatrixByteLimit(uint64_t bytes) { m_matrixByteLimit = bytes; }

private:
    void closeGroup(const Mesh& mesh, const std::vector<uint32_t>& groupIndices,
                    uint32_t surfaceIndex);
    int32_t buildFrom(std::vector<uint32_t> list);
    int32_t chooseSplitter(const std::vector<uint32_t>& list);
    void writeDump() const;

    std::vector<PackPolygon> m_polygons;
    std::vector<PackSurface> m_surfaces;
    std::vector<TangentFrame> m_tangentFrames;
    std::vector<BspNode> m_nodes;
    std::vector<BspLeaf> m_leaves;
    std::vector<uint8_t> m_splitterFlags;
    int32_t m_balanceWeight;
    int32_t m_splitWeight;

    // Held only while a tree is built and dumped.
    std::vector<uint8_t> m_matrix;
    size_t m_matrixSize = 0;

    float m_buildSeconds = 0.0f;
    uint64_t m_matrixByteLimit;
    std::string m_lastError;
};

} // namespace Vrenn
