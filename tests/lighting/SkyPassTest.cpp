// The sky and the lighting turn together: the drawn sky shows, in every direction, the radiance
// the turned probes send from there.

#include "lighting/SkyPass.h"

#include "fs/CodecMgr.h"
#include "fs/Image.h"
#include "prt/LightProbes.h"
#include "prt/PrtLighting.h"
#include "prt/SkyCube.h"
#include "render/RenderTargetMgr.h"
#include "render/TextureManager.h"
#include "render/gl/GLRenderTexture.h"
#include "render/gl/GLTexture.h"
#include "scene/Camera.h"
#include "scene/Material.h"
#include "scene/MaterialMgr.h"
#include "scene/SceneMgr.h"
#include "scene/SkyBox.h"
#include "support/GLTestContext.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::GLTestContext;

constexpr int kViewSize = 96;
constexpr double kDegrees = 57.29577951308232;

double luminance(double r, double g, double b) {
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
}

double angleBetween(const Vec3& a, const Vec3& b) {
    return std::acos(std::clamp(double(dot(normalized(a), normalized(b))), -1.0, 1.0)) * kDegrees;
}

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
        const auto cwd = std::filesystem::current_path();
        std::filesystem::current_path(VRENN_DATA_DIR);
        EXPECT_TRUE(scene.materialMgr()->loadScript("materials/materials.mtr"));
        std::filesystem::current_path(cwd);
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
        const auto texture = std::dynamic_pointer_cast<GLRenderTexture>(target);
        return Test::readTextureRGBA(texture->texture()->id(), 0, kViewSize, kViewSize);
    }

    // The world direction through the centre of pixel (column, row) as the camera sees it,
    // from its own view and projection: the line from the near to the far plane.
    Vec3 pixelDirection(const Matrix4& unproject, int column, int row) const {
        const float x = 2.0f * (float(column) + 0.5f) / kViewSize - 1.0f;
        const float y = 1.0f - 2.0f * (float(row) + 0.5f) / kViewSize;
        auto at = [&](float depth) {
            const float p[4] = {x, y, depth, 1.0f};
            float q[4] = {};
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c)
                    q[r] += unproject(r, c) * p[c];
            return Vec3{q[0] / q[3], q[1] / q[3], q[2] / q[3]};
        };
        return normalized(at(1.0f) - at(0.0f));
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

// The luminance of an SH series with its band l scaled by bandScale[l].
double seriesLuminance(const SHCoeffs& c, const std::array<float, kSHCoeffCount>& basis,
                       const std::array<double, kSHBands>& bandScale) {
    double rgb[3] = {};
    for (int l = 0; l < kSHBands; ++l)
        for (size_t k = size_t(l * l); k < size_t((l + 1) * (l + 1)); ++k)
            for (int ch = 0; ch < 3; ++ch)
                rgb[ch] += bandScale[size_t(l)] * double(c.channel(ch)[k]) * double(basis[k]);
    return luminance(rgb[0], rgb[1], rgb[2]);
}

// Directions spread evenly over the sphere (a spiral of equal areas), about 1.4 degrees apart,
// with the basis values in each.
struct SphereGrid {
    static constexpr int kCount = 20000;
    SphereGrid() {
        const double golden = 3.14159265358979323846 * (3.0 - std::sqrt(5.0));
        for (int i = 0; i < kCount; ++i) {
            const double y = 1.0 - 2.0 * (i + 0.5) / kCount;
            const double r = std::sqrt(1.0 - y * y);
            const Vec3 d{float(r * std::cos(golden * i)), float(y),
                         float(r * std::sin(golden * i))};
            directions.push_back(d);
            basis.push_back(basisIn(d));
        }
    }
    // The direction in which the luminance of the series, bands scaled, is largest.
    Vec3 brightest(const SHCoeffs& c, const std::array<double, kSHBands>& bandScale) const {
        double best = -1e30;
        Vec3 where;
        for (size_t i = 0; i < directions.size(); ++i) {
            const double value = seriesLuminance(c, basis[i], bandScale);
            if (value > best) best = value, where = directions[i];
        }
        return where;
    }
    std::vector<Vec3> directions;
    std::vector<std::array<float, kSHCoeffCount>> basis;
};

// One pixel of the six views: its world direction, the solid angle it covers and the basis
// values in its direction.
struct ViewPixel {
    Vec3 direction;
    double solidAngle;
    std::array<float, kSHCoeffCount> basis;
};

TEST(SkyPass, TheSkyShowsTheLightThatLightsTheSceneAtEverySkyAngle) {
    SkyScene sky;
    const SphereGrid grid;
    const double pi = 3.14159265358979323846;
    // Radiance as it is; the irradiance of a surface facing a direction: each band convolved
    // with the clamped cosine.
    const std::array<double, kSHBands> radiance = {1, 1, 1, 1, 1};
    const std::array<double, kSHBands> irradiance = {pi, 2 * pi / 3, pi / 4, 0, -pi / 24};
    // Looking along the camera's own axes: four turns about up, then up and down.
    const Vec3 up{0, 1, 0}, side{1, 0, 0};
    const Quaternion views[6] = {
        Quaternion::fromAxisAngle(up, 0),    Quaternion::fromAxisAngle(up, 90),
        Quaternion::fromAxisAngle(up, 180),  Quaternion::fromAxisAngle(up, 270),
        Quaternion::fromAxisAngle(side, 90), Quaternion::fromAxisAngle(side, -90)};

    // Where each pixel of each view looks, from the camera's own (unturned) matrices.
    std::vector<ViewPixel> pixels;
    double sphere = 0.0;
    for (const Quaternion& view : views) {
        sky.camera->setOrientation(view);
        sky.camera->update();
        const Matrix4 unproject =
            (sky.camera->projectionMatrix() * sky.camera->viewMatrix()).inverse();
        for (int row = 0; row < kViewSize; ++row)
            for (int column = 0; column < kViewSize; ++column) {
                // A square 90-degree view spans -1 ... 1 on a plane at distance 1.
                const double x = 2.0 * (column + 0.5) / kViewSize - 1.0;
                const double y = 1.0 - 2.0 * (row + 0.5) / kViewSize;
                const double area = 4.0 / (kViewSize * kViewSize);
                const Vec3 d = sky.pixelDirection(unproject, column, row);
                pixels.push_back({d, area / std::pow(x * x + y * y + 1.0, 1.5), basisIn(d)});
                sphere += pixels.back().solidAngle;
            }
    }
    ASSERT_NEAR(sphere, 4.0 * pi, 1e-3); // the six views cover the sphere once

    for (const float blend : {0.0f, 1.0f}) {
        for (const float angle : {0.0f, 0.7f, 2.0f, 4.5f}) {
            SCOPED_TRACE("blend " + std::to_string(blend) + " angle " + std::to_string(angle));
            PrtLighting lighting;
            lighting.update(angle, blend, {});
            const SHCoeffs& light = lighting.lighting();
            sky.material->setFloat("blendFactor", blend);

            double brightest = -1.0, worst = 0.0;
            Vec3 brightestDirection;
            int undrawn = 0;
            SHCoeffs drawn; // the drawn sky projected onto the basis
            for (size_t v = 0; v < 6; ++v) {
                const auto texels = sky.draw(views[v], angle);
                for (size_t i = 0; i < size_t(kViewSize * kViewSize); ++i) {
                    const float* t = &texels[i * 4];
                    const ViewPixel& pixel = pixels[v * size_t(kViewSize * kViewSize) + i];
                    undrawn += t[3] != 1.0f;
                    const double lum = luminance(t[0], t[1], t[2]);
                    if (lum > brightest) brightest = lum, brightestDirection = pixel.direction;
                    for (int c = 0; c < 3; ++c) {
                        // The pixel shows the lighting's radiance from its direction, clamped.
                        double series = 0.0;
                        for (size_t k = 0; k < size_t(kSHCoeffCount); ++k) {
                            series += double(light.channel(c)[k]) * double(pixel.basis[k]);
                            drawn.channel(c)[k] +=
                                float(double(t[c]) * pixel.basis[k] * pixel.solidAngle);
                        }
                        const double expected = std::max(series, 0.0);
                        worst =
                            std::max(worst, std::fabs(t[c] - expected) / (0.04 + 0.02 * expected));
                    }
                }
            }
            EXPECT_EQ(undrawn, 0);
            EXPECT_LE(worst, 1.0) << "largest error in units of 0.04 + 2%";
            // The sky is brightest where the light is brightest; and a surface lit by the sky
            // as drawn is lit most strongly facing where the lighting lights it most strongly.
            const double toBrightestLight =
                angleBetween(brightestDirection, grid.brightest(light, radiance));
            const double toMostStrongly =
                angleBetween(grid.brightest(drawn, irradiance), grid.brightest(light, irradiance));
            EXPECT_LE(toBrightestLight, 3.0);
            EXPECT_LE(toMostStrongly, 10.0);
        }
    }
}

TEST(SkyPass, TheSkyLiesBehindEverythingNearerThanTheFarPlane) {
    SkyScene sky;
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
