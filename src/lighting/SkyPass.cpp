#include "lighting/SkyPass.h"

#include "render/Renderer.h"
#include "render/VertexBuffer.h"
#include "scene/Camera.h"
#include "scene/DrawMesh.h"
#include "scene/Material.h"
#include "scene/SkyBox.h"

#include <memory>

namespace Vrenn {

namespace {

void handToRenderer(Renderer& renderer, const Camera& camera) {
    renderer.view() = camera.viewMatrix();
    renderer.projection() = camera.projectionMatrix();
    renderer.applyTransform(TRANSFORM_VIEW);
    renderer.applyTransform(TRANSFORM_PROJECTION);
}

} // namespace

bool drawTurnedSky(Renderer& renderer, Camera& camera, const SkyBox& sky, float skyAngle) {
    renderer.world() = Matrix4::identity();
    renderer.applyTransform(TRANSFORM_WORLD);

    // The orientation is put back as it was rather than turned back: a turn there and back
    // leaves rounding in the quaternion that would add up over the frames.
    const Quaternion own = camera.orientation();
    camera.turnAboutUp(-(skyAngle * 57.2958f));
    camera.update();
    handToRenderer(renderer, camera);

    bool drawn = false;
    const auto buffer = std::dynamic_pointer_cast<VertexBuffer>(sky.mesh());
    if (buffer && sky.material()) drawn = drawMesh(*buffer, *sky.material(), renderer);

    camera.setOrientation(own);
    camera.update();
    handToRenderer(renderer, camera);
    return drawn;
}

} // namespace Vrenn
