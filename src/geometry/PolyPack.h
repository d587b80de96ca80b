#pragma once

#include "core/Vector3.h"
#include "fs/ImageFormat.h"
#include "geometry/AtlasPacker.h"
#include "geometry/CoverageMask.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

class Image;
class Mesh;
class PlaneClassifier;

// A plane n.p + d = 0, with one extra word carried from polygons into tree nodes.
struct PackPlane {
    Vec3 normal;
    float d = 0.0f;
    uint32_t extra = 4;

    float distance(const Vec3& p) const { return dot(normal, p) + d; }
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
    // Where packAtlas placed the polygon's chart (placed is false before).
    AtlasRect atlas;
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

// Classification of a polygon against a plane, as the tree build and its log dump use it.
enum PlaneSide : uint8_t {
    SIDE_SPANNING = 0,
    SIDE_FRONT = 1, // in front of or on the plane
    SIDE_BACK = 255,
};

// Receives the covered texels of PolyPack::bake. The walk hands them over (processTexels, in
// runs of neighbours) from several threads at once; every call names the worker making it
// (0 ... workers - 1), so per-worker scratch needs no locks. Texels of one polygon may go to
// different workers.
class TexelBaker {
public:
    virtual ~TexelBaker() = default;

    // Called once before the first texel with the number of workers the walk uses. False
    // (with the reason logged) stops the bake before any texel is visited.
    virtual bool beginWalk(unsigned workers) = 0;

    // One covered texel: its world position on the polygon, the polygon's tangent frame and
    // number, the address of the texel in plane 0 of the bake image and the bytes from one
    // plane to the next (0 when the image has a single plane).
    virtual void processTexel(const Vec3& position, const TangentFrame& frame, uint32_t polygon,
                              uint8_t* texel, size_t planeBytes, unsigned worker) = 0;

    // Neighbouring covered texels of one polygon's chart, row by row and left to right in each
    // (count of them, at least one), as processTexel takes them one at a time. The walk hands
    // texels over this way; bakers that gain from treating neighbours together override it, and by
    // default each goes to processTexel.
    virtual void processTexels(const Vec3* positions, uint8_t* const* texels, size_t count,
                               const TangentFrame& frame, uint32_t polygon, size_t planeBytes,
                               unsigned worker) {
        for (size_t i = 0; i < count; ++i)
            processTexel(positions[i], frame, polygon, texels[i], planeBytes, worker);
    }
};

struct BakeOptions {
    // Worker threads; 0 takes one per core. Every count gives the same image.
    unsigned threads = 0;
    // The polygons to walk, in this order (repeats are walked once); every polygon when null.
    const std::vector<uint32_t>* polygons = nullptr;
    // Called on the thread that runs bake, about ten times a second while the walk runs and
    // once at its end, with the texels visited so far and the texels to visit in all.
    std::function<void(uint64_t done, uint64_t total)> progress;
    // Asked on the thread that runs bake, as often as progress and before each band of rows when
    // the walk runs on that thread alone; true abandons the walk: the workers finish the texel in
    // hand and bake returns false, the image half baked.
    std::function<bool()> stop;
};

struct BakeStats {
    uint64_t texels = 0;  // covered texels handed to the baker
    uint64_t gutter = 0;  // uncovered texels filled from the charts around them
    double seconds = 0.0; // wall time of the walk and the gutter fill
    unsigned workers = 0; // threads that ran the walk
};

// The polygons of a model's surfaces, and a BSP tree over them for ray casting.
// Polygons are never cut: one straddling a splitting plane is listed on both sides.
// The splitting plane of each node is the polygon plane scoring lowest on
// balance weight * |back - front| + split weight * spanning over the node's polygons.
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
    // beyond its vertices. A surface added after packAtlas discards the atlas.
    //
    // Every failure of the pack (addSurface, buildTree, packAtlas, bake) returns false and
    // logs one line "PolyPack::<operation>: <reason>".
    bool addSurface(const std::shared_ptr<Mesh>& mesh, bool writeAtlasCoordinates,
                    bool writeVertexValues);

    // Builds the tree, then writes every polygon's side of every polygon's plane and the
    // tree to the log. Polygons are classified as the build needs them, so its memory grows
    // linearly with the polygons. False, with no tree, for an empty pack.
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
    // Seconds the last buildTree took (not counting the log dump).
    float buildSeconds() const { return m_buildSeconds; }
    // ---- Texture atlas -------------------------------------------------------------------

    // Lays every polygon's chart into one texture atlas and prepares the bake:
    //  - each polygon gets a rectangle of ceil(size / texelSize) + 1 texels (at least 2) per
    //    axis, packed (largest first, turned by 90 degrees where that fits better) into an
    //    atlas that starts at initialWidth x initialHeight and doubles its smaller side until
    //    everything fits, then halves a side again while every chart lies in its first half
    //    (never below the start size); one log line "poly <n> <x> <y> <w>*<h>[flip]" per
    //    rectangle;
    //  - the coverage mask marks each chart's outline and everything between it on each row;
    //  - the bake image (atlas size, planeCount planes one after another, format) is cleared;
    //  - surfaces that asked for it get texture-coordinate set texCoordSet with 4 components:
    //    0 and 1 the vertex's atlas position (0 to 1 over the atlas, at texel centres), and,
    //    where asked, 2 and 3 the corner offset of outline vertices: added to 0 and 1 it moves
    //    both outline edges meeting there half a texel outwards (the mitre of the two edge
    //    normals, at most a texel long), so a rasteriser drawing the chart in atlas space
    //    reaches every texel the mask covers; vertices inside the outline get 0.
    // Fails, leaving the pack and its meshes as they were, when a rectangle does not fit an
    // atlas wider than kAtlasMaxWidth (the message counts them), when texelSize or the plane
    // count is not positive, for formats other than 8- and 16-bit integer and 16- and 32-bit
    // float channels, and when the image cannot be allocated.
    bool packAtlas(int initialWidth, int initialHeight, int planeCount, ImageFormat format,
                   uint32_t texCoordSet, float texelSize);

    bool hasAtlas() const { return m_atlasImage != nullptr; }
    int atlasWidth() const { return m_coverage.width(); }
    int atlasHeight() const { return m_coverage.height(); }
    const CoverageMask& coverage() const { return m_coverage; }
    // The bake image: atlas size, one slice per plane; empty before packAtlas.
    const std::shared_ptr<Image>& bakeImage() const { return m_atlasImage; }

    // The chart coordinates of point p of a polygon: a along its axis U and b along V, 0 to 1
    // over its extents (0 along an axis on which the polygon has no extent).
    void chartCoordinates(uint32_t polygon, const Vec3& p, float& a, float& b) const;
    // The point of a polygon at (u, v) of its placed rectangle, u along the atlas columns and
    // v along the rows, both 0 to 1: origin + u sizeU U + v sizeV V, u and v exchanged when
    // the rectangle was turned.
    Vec3 rectanglePoint(uint32_t polygon, float u, float v) const;

    // ---- Rays --------------------------------------------------------------------------

    // Whether the segment from start to end hits a polygon, walking the tree near side
    // first and stopping at the first leaf with a hit. Only polygons facing the segment
    // block, only where the coverage mask covers them, and not at the segment's very start.
    // polygon is set to the hit polygon's number or -1, hitPoint to the hit. Safe to call
    // from several threads at once; false without a tree or atlas.
    bool rayTest(const Vec3& start, const Vec3& end, Vec3& hitPoint, int32_t& polygon) const;
    // The atlas texel (row * atlas width + column) a point on polygon's chart maps to, as the
    // ray test maps its hits; -1 when the point lies outside the chart or the polygon has no
    // placement.
    int32_t atlasTexelAt(uint32_t polygon, const Vec3& point) const;

    // ---- Texel walk --------------------------------------------------------------------

    // Hands every covered texel of the polygons' rectangles to baker, then dilates each chart
    // over its whole rectangle, ring by ring: an uncovered texel with a covered (or, in later
    // rings, an earlier ring's) texel among its eight neighbours inside the rectangle takes, in
    // every plane and channel, the mean of those neighbours, edge neighbours weighted 2 and
    // diagonal ones 1. Logs "build time: <s> seconds".
    // Rectangles never overlap and every texel's value comes from its own position only, so
    // the image is the same for every thread count. False without an atlas, when the
    // baker refuses the walk, or when options.stop abandons it (logged).
    bool bake(TexelBaker& baker, const BakeOptions& options = {}, BakeStats* stats = nullptr);

    // The threads a walk uses for a requested count (0: one per core; at most 1024).
    static unsigned workerCount(unsigned requested);

private:
    friend class CasterTree; // copies the tree, ray polygons and boxes the casters walk

    void closeGroup(const Mesh& mesh, const std::vector<uint32_t>& groupIndices,
                    uint32_t surfaceIndex);
    int32_t buildFrom(const PlaneClassifier& classifier, std::vector<uint32_t> list);
    void writeDump(const PlaneClassifier& classifier) const;

    // What the ray test needs of a polygon, packed together.
    struct RayPolygon {
        Vec3 normal;
        float d = 0.0f;
        Vec3 origin;
        Vec3 uScale, vScale;              // axis / size: dot(p - origin, uScale) is the chart's a
        float x = 0.0f, y = 0.0f;         // first texel of the rectangle
        float spanX = 0.0f, spanY = 0.0f; // placed width and height minus 1
        bool flipped = false;
        bool blocks = false; // has an area and a placement
    };

    // A box around everything a subtree or leaf can block: the polygons' chart rectangles,
    // widened so that rounding cannot put a hit outside it.
    struct RayBox {
        Vec3 lo, hi;
    };

    void computeRayBounds();
    void clearAtlas();
    void writeAtlasCoordinates(uint32_t texCoordSet);
    bool walk(int32_t child, const Vec3& p0, const Vec3& p1, float slack, Vec3& hitPoint,
              int32_t& polygon) const;
    bool testLeaf(uint32_t leaf, const Vec3& p0, const Vec3& p1, Vec3& hitPoint,
                  int32_t& polygon) const;
    uint64_t fillGutter(uint32_t polygon);

    std::vector<PackPolygon> m_polygons;
    std::vector<PackSurface> m_surfaces;
    std::vector<TangentFrame> m_tangentFrames;
    std::vector<BspNode> m_nodes;
    std::vector<BspLeaf> m_leaves;
    std::vector<uint8_t> m_splitterFlags;
    int32_t m_balanceWeight;
    int32_t m_splitWeight;

    // The atlas (packAtlas).
    CoverageMask m_coverage;
    std::shared_ptr<Image> m_atlasImage;
    std::vector<RayPolygon> m_rayPolygons;
    // One per node and one per leaf (buildTree).
    std::vector<RayBox> m_nodeBoxes;
    std::vector<RayBox> m_leafBoxes;

    float m_buildSeconds = 0.0f;
};

} // namespace Vrenn
