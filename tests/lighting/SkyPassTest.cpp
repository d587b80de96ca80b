// The sky and the lighting turn together: the drawn sky shows, in every direction, the radiance
// the turned probes send from there.

#include "lighting/SkyPass.h"

#include "LightingTestSupport.h"
#include "fs/CodecMgr.h"
#include "fs/Image.h"
#include "prt/LightProbes.h"
#include "prt/PrtLighting.h"
#include "prt/SkyCube.h"
#include "render/RenderTargetMgr.h"
#include "render/TextureManager.h"
#include "scene/Camera.h"
#include "scene/Material.h"
#include "scene/MaterialMgr.h"
#include "scene/SceneMgr.h"
#include "scene/SkyBox.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::GLTestContext;

constexpr int kViewSize = 96;
// The demo's sky: the scene's sky box of 512 with the material "sky" from data/, its cube maps
// made from the probes, written as DDS files and loaded back as the program loads them; the
// camera at (0, 200, 0) with near 4 and far 4096, here with a square 90-degree view so that six
// views cover the sphere; and a floating-point target the sky is drawn into.
struct SkyScene {
    SkyScene() {
        renderer = GLTestContext::get().rendererPtr();
        // The program's conversion: z mirrored into the renderer's left-handed view space.
        renderer->coordinateConversion() = Matrix4::scaling(1.0f, 1.0f, -1.0f);
        registerStandardCodecs(codecs);
        scene.Initialize(renderer);
        EXPECT_TRUE(
            Vrenn::Test::loadDataMaterials(*scene.materialMgr(), {"materials/materials.mtr"}));
        material = scene.materialMgr()->getMaterial("sky");
        EXPECT_TRUE(material->effect());
        for (int slot = 0; slot < kLightProbeCount; ++slot) {
            Image cube;
            EXPECT_TRUE(makeSkyCube(lightProbes()[size_t(slot)], kSkyCubeSize, cube));
            const std::string file = dir.file("probe" + std::to_string(slot) + ".dds");
            EXPECT_TRUE(cube.save(file));
            auto texture = renderer->textureManager()->loadTexture(file, 0);
            EXPECT_TRUE(texture && texture->type() == TEXTURE_CUBE);
            material->setTexture("skyCube" + std::to_string(slot), texture);
        }
        sky = scene.createSkyBox(512.0f);
        sky->setMaterial("sky", material);
        camera = scene.createCamera("sky-test", {0.0f, 200.0f, 0.0f}, Quaternion{});
        camera->setFov(90.0f);
        camera->setAspect(1.0f);
        camera->setNear(4.0f);
        camera->setFar(4096.0f);
        target = renderer->renderTargetMgr()->createRenderTexture(
            "rt_skytest", RENDER_TEXTURE_2D, kViewSize, kViewSize, FORMAT_RGBA32F, 24, 0, 0, false);
        EXPECT_TRUE(target);
    }
    ~SkyScene() {
        renderer->bindBackBuffer();
        renderer->renderTargetMgr()->remove("rt_skytest");
        renderer->coordinateConversion() = Matrix4::identity();
        scene.ShutDown();
    }

    // Draws the sky at the angle with the camera in the given orientation and returns the
    // target's texels, top row first.
    // depth: the value the depth buffer is cleared to.
    std::vector<float> draw(const Quaternion& view, float angle, double depth = 1.0) {
        camera->setOrientation(view);
        camera->update();
        renderer->setRenderTarget(target);
        renderer->clear(true, true, false);
        if (depth != 1.0) {
            GLboolean writes = GL_FALSE;
            glGetBooleanv(GL_DEPTH_WRITEMASK, &writes);
            EXPECT_TRUE(writes);
            glClearDepth(depth);
            glClear(GL_DEPTH_BUFFER_BIT);
            glClearDepth(1.0);
        }
        EXPECT_TRUE(drawTurnedSky(*renderer, *camera, *sky, angle));
        // The camera keeps its orientation and the renderer its view.
        const Quaternion& own = camera->orientation();
        EXPECT_TRUE(own.w == view.w && own.x == view.x && own.y == view.y && own.z == view.z);
        EXPECT_EQ(renderer->view(), camera->viewMatrix());
        EXPECT_EQ(renderer->projection(), camera->projectionMatrix());
        return Vrenn::Test::readTarget(target);
    }

    // The world direction through the centre of pixel (column, row) as the camera sees it,
    // from its own view and projection: the line from the near to the far plane.
    static Vec3 pixelDirection(const Matrix4& unproject, int column, int row) {
        const float x = 2.0f * (float(column) + 0.5f) / kViewSize - 1.0f;
        const float y = 1.0f - 2.0f * (float(row) + 0.5f) / kViewSize;
        return normalized(unproject.transformPoint({x, y, 1.0f}) -
                          unproject.transformPoint({x, y, 0.0f}));
    }

    Test::TempDir dir;
    CodecMgr codecs;
    std::shared_ptr<GLRenderer> renderer;
    SceneMgr scene;
    std::shared_ptr<Material> material;
    std::shared_ptr<SkyBox> sky;
    std::shared_ptr<Camera> camera;
    std::shared_ptr<RenderTarget> target;
};

// The basis values in a direction.
std::array<float, kSHCoeffCount> basisIn(const Vec3& d) {
    std::array<float, kSHCoeffCount> values{};
    SHVector unit{};
    for (size_t k = 0; k < size_t(kSHCoeffCount); ++k) {
        unit[k] = 1.0f;
        values[k] = shSeries(unit, d);
        unit[k] = 0.0f;
    }
    return values;
}

TEST(SkyPass, ShowsTheLightingAtEverySkyAngleBehindAllThatIsNearerThanTheFarPlane) {
    SkyScene sky;
    // Looking along the camera's own axes: four turns about up, then up and down.
    const Vec3 up{0, 1, 0}, side{1, 0, 0};
    const Quaternion views[6] = {
        Quaternion::fromAxisAngle(up, 0),    Quaternion::fromAxisAngle(up, 90),
        Quaternion::fromAxisAngle(up, 180),  Quaternion::fromAxisAngle(up, 270),
        Quaternion::fromAxisAngle(side, 90), Quaternion::fromAxisAngle(side, -90)};

    // Where each pixel of each view looks, from the camera's own (unturned) matrices.
    std::vector<std::array<float, kSHCoeffCount>> pixels;
    for (const Quaternion& view : views) {
        sky.camera->setOrientation(view);
        sky.camera->update();
        const Matrix4 unproject =
            (sky.camera->projectionMatrix() * sky.camera->viewMatrix()).inverse();
        for (int row = 0; row < kViewSize; ++row)
            for (int column = 0; column < kViewSize; ++column)
                pixels.push_back(basisIn(SkyScene::pixelDirection(unproject, column, row)));
    }

    for (const auto& [blend, angle] :
         {std::pair{0.0f, 0.0f}, {0.0f, 2.0f}, {1.0f, 0.7f}, {1.0f, 4.5f}}) {
        SCOPED_TRACE("blend " + std::to_string(blend) + " angle " + std::to_string(angle));
        PrtLighting lighting;
        lighting.update(angle, blend, {});
        const SHCoeffs& light = lighting.lighting();
        sky.material->setFloat("blendFactor", blend);

        double worst = 0.0;
        int undrawn = 0;
        for (size_t v = 0; v < 6; ++v) {
            const auto texels = sky.draw(views[v], angle);
            for (size_t i = 0; i < size_t(kViewSize * kViewSize); ++i) {
                const float* t = &texels[i * 4];
                const auto& basis = pixels[v * size_t(kViewSize * kViewSize) + i];
                undrawn += t[3] != 1.0f;
                for (int c = 0; c < 3; ++c) {
                    // The pixel shows the lighting's radiance from its direction, clamped.
                    double series = 0.0;
                    for (size_t k = 0; k < size_t(kSHCoeffCount); ++k)
                        series += double(light.channel(c)[k]) * double(basis[k]);
                    const double expected = std::max(series, 0.0);
                    worst = std::max(worst, std::fabs(t[c] - expected) / (0.04 + 0.02 * expected));
                }
            }
        }
        EXPECT_EQ(undrawn, 0);
        EXPECT_LE(worst, 1.0) << "largest error in units of 0.04 + 2%";
    }

    // Depth just short of the far plane everywhere, as if something stood there: the sky,
    // although its box lies within 450 units, draws nowhere.
    const auto texels = sky.draw(Quaternion{}, 0.7f, 0.9999);
    float drawn = 0.0f;
    for (size_t i = 3; i < texels.size(); i += 4)
        drawn += texels[i];
    EXPECT_EQ(drawn, 0.0f);
    // With the depth cleared to the far plane it draws everywhere.
    const auto whole = sky.draw(Quaternion{}, 0.7f);
    for (size_t i = 3; i < whole.size(); i += 4)
        drawn += whole[i];
    EXPECT_EQ(drawn, float(kViewSize * kViewSize));
}

} // namespace
} // namespace Vrenn
