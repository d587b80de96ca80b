#pragma once

#include "core/Vector3.h"

#include <functional>

namespace Vrenn {

class Mesh;

// Fills an empty mesh with a shape of the given size; false when it cannot (for
// example for a size that is not positive and finite).
using GeometryBuilder = std::function<bool(Mesh& mesh, const Vec3& size)>;

// Which side of a box its triangles face.
enum class BoxFacing {
    Outward, // a solid seen from outside
    Inward,  // a room (the sky) seen from inside
};

// An axis-aligned box centred on the origin whose edge lengths are size (so it spans
// -size/2 to +size/2 on each axis), as an indexed triangle list: four vertices per face
// (24 in all) with a position and the face's normal in one stream, two triangles per
// face (36 indices). A triangle's corners a, b, c turn so that (b - a) x (c - a)
// points to the side the face is seen from, like the faces of the demo scene. False,
// with the mesh unchanged, when a size component is not positive and finite or the
// mesh already has vertex streams.
bool buildBox(Mesh& mesh, const Vec3& size, BoxFacing facing = BoxFacing::Outward);

// buildBox as a geometry builder, for SceneMgr::createEntity.
GeometryBuilder boxBuilder(BoxFacing facing = BoxFacing::Outward);

} // namespace Vrenn
