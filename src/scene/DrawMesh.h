#pragma once

namespace Vrenn {

class Material;
class Renderer;
class VertexBuffer;

// Draws a vertex buffer with a material: the material's values and the renderer's
// transforms go into its effect, then every pass of the material's technique draws
// the buffer under its stream mask. False, with nothing drawn, when the material has
// no effect or the effect cannot begin. vertexCount and indexCount limit the draw
// (negative: all).
bool drawMesh(VertexBuffer& buffer, const Material& material, const Renderer& renderer,
              int vertexCount = -1, int indexCount = -1);

} // namespace Vrenn
