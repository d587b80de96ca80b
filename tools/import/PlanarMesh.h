#pragma once

#include "core/Vector3.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Vrenn {
class Mesh;
}

namespace Vrenn::Import {

// One material's triangles as a model file gives them: three corners each, with a
// texture coordinate per corner or none at all.
struct TriangleSoup {
    std::vector<Vec3> corners; // three per triangle
    std::vector<float> uvs;    // two per corner, or empty
};

// What building a mesh from a soup left out.
struct PlanarMeshStats {
    uint32_t triangles = 0;  // triangles in the mesh
    uint32_t groups = 0;     // planar groups (each with vertices of its own)
    uint32_t degenerate = 0; // dropped: two corners at one place, or no area
    uint32_t duplicate = 0;  // dropped: the same corners in the same turn as an earlier one
};

// World units per texture repeat of the texture coordinates made for soups without any.
constexpr float kPlanarTextureScale = 128.0f;

// Builds a triangle-list mesh with position and texture-coordinate set 0 in stream 0, in
// the layout the bake expects: triangles that share an edge and lie in one plane form a
// group; every group has vertices of its own, and its triangles follow one another, each
// sharing an edge with one before it. Corners equal in position and texture coordinate
// are one vertex within a group. Degenerate triangles and repeats are dropped. A soup
// without texture coordinates gets a planar set per group, kPlanarTextureScale units per
// repeat, u horizontal where the plane allows. Null when no triangle is left.
std::shared_ptr<Mesh> buildPlanarMesh(const TriangleSoup& soup, PlanarMeshStats& stats);

} // namespace Vrenn::Import
