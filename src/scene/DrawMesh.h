#pragma once

#include <memory>

namespace Vrenn {

class Material;
class Mesh;
class Renderer;

// Draws a mesh with a material: the material's values and transforms go into its
// effect, then every pass of the effect's technique draws the mesh's buffers under
// its stream mask. Nothing is drawn when the mesh has no device buffers or the
// material no effect. vertexCount and indexCount limit the draw (negative: all).
bool drawMesh(Mesh& mesh, const Material& material, const Renderer* renderer, int vertexCount = -1,
              int indexCount = -1);

} // namespace Vrenn
