#include "scene/DrawMesh.h"

#include "render/Effect.h"
#include "render/VertexBuffer.h"
#include "scene/Material.h"

namespace Vrenn {

bool drawMesh(VertexBuffer& buffer, const Material& material, const Renderer& renderer,
              int vertexCount, int indexCount) {
    const auto& effect = material.effect();
    if (!effect) return false;
    material.apply(renderer);
    uint32_t passes = 0;
    if (!effect->begin(&passes)) return false;
    for (uint32_t pass = 0; pass < passes; ++pass) {
        effect->beginPass(pass);
        if (buffer.bind()) {
            buffer.draw(0, vertexCount, indexCount);
            buffer.unbind();
        }
        effect->endPass();
    }
    effect->end();
    return true;
}

} // namespace Vrenn
