#include "scene/Camera.h"

#include "support/StubRenderer.h"

#include <gtest/gtest.h>
#include <random>

namespace Vrenn {
namespace {

// The coordinate conversion the application installs: a mirror of z.
const Matrix4 kMirrorZ = Matrix4::scaling(1.0f, 1.0f, -1.0f);

void expectNear(const Vec3& a, const Vec3& b) {
    EXPECT_NEAR(a.x, b.x, 1e-4f);
    EXPECT_NEAR(a.y, b.y, 1e-4f);
    EXPECT_NEAR(a.z, b.z, 1e-4f);
}

TEST(Matrix4, InverseUndoesAnAffineTransformAndRefusesSingularOnes) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> angle(-180.0f, 180.0f), offset(-50.0f, 50.0f);
    for (int i = 0; i < 20; ++i) {
        const Vec3 axis = normalized({offset(rng), offset(rng), offset(rng)});
        const Matrix4 m = Matrix4::translation({offset(rng), offset(rng), offset(rng)}) *
                          Quaternion::fromAxisAngle(axis, angle(rng)).toMatrix() *
                          Matrix4::scaling(2.0f, 0.5f, 3.0f);
        bool ok = false;
        const Matrix4 product = m * m.inverse(&ok);
        ASSERT_TRUE(ok);
        for (int k = 0; k < 16; ++k)
            EXPECT_NEAR(product.m[k], Matrix4::identity().m[k], 1e-5f) << "element " << k;
    }
    bool ok = true;
    EXPECT_EQ(Matrix4::scaling(1.0f, 0.0f, 1.0f).inverse(&ok), Matrix4::identity());
    EXPECT_FALSE(ok);
}

TEST(Matrix4, PerspectiveBuildersPutTheNearAndFarPlanesWhereTheyBelong) {
    const Matrix4 lh = perspectiveLH(90.0f, 2.0f, 4.0f, 1000.0f);
    EXPECT_NEAR(lh(1, 1), 1.0f, 1e-6f); // 1 / tan(45 degrees)
    EXPECT_NEAR(lh(0, 0), 0.5f, 1e-6f);
    EXPECT_NEAR(lh.transformPoint({0, 0, 4.0f}).z, 0.0f, 1e-6f);
    EXPECT_NEAR(lh.transformPoint({0, 0, 1000.0f}).z, 1.0f, 1e-6f);
    const Matrix4 rh = perspectiveRH(90.0f, 2.0f, 4.0f, 1000.0f);
    EXPECT_NEAR(rh.transformPoint({0, 0, -4.0f}).z, -1.0f, 1e-5f);
    EXPECT_NEAR(rh.transformPoint({0, 0, -1000.0f}).z, 1.0f, 1e-5f);
    EXPECT_EQ(rh(3, 2), -1.0f);
}

TEST(Camera, UpdateAppliesTheRenderersConversionReadAtEachUpdate) {
    auto renderer = std::make_shared<Vrenn::Test::StubRenderer>();
    renderer->coordinateConversion() = kMirrorZ;
    Camera level("player", {0.0f, 200.0f, 0.0f}, Quaternion{}, renderer);
    level.update();
    expectNear(level.viewMatrix().transformPoint({0.0f, 200.0f, 10.0f}), {0.0f, 0.0f, -10.0f});

    const Quaternion turned = Quaternion::fromAxisAngle(normalized({1.0f, 2.0f, 3.0f}), 40.0f);
    const Vec3 eye{10.0f, 200.0f, -30.0f};
    Camera implicit("a", eye, turned, renderer);
    Camera forgotten("b", eye, turned);
    implicit.update();
    forgotten.update(Matrix4::identity());
    EXPECT_EQ(implicit.viewMatrix(), kMirrorZ * implicit.worldMatrix().inverse());
    EXPECT_NE(implicit.viewMatrix(), forgotten.viewMatrix());

    // A conversion installed later applies at once, even to a camera that did not move, and
    // so does its view volume (without the mirror the camera looks along its own +z).
    const Vec3 along = turned.rotate({0.0f, 0.0f, 100.0f});
    EXPECT_TRUE(implicit.viewVolume().contains(eye - along));
    renderer->coordinateConversion() = Matrix4::identity();
    implicit.update();
    EXPECT_EQ(implicit.viewMatrix(), forgotten.viewMatrix());
    EXPECT_TRUE(implicit.viewVolume().contains(eye + along));
    EXPECT_FALSE(implicit.viewVolume().contains(eye - along));

    // Without a renderer, or once it is gone, a camera uses the engine's z mirror.
    Camera alone("d", eye, turned);
    alone.update();
    EXPECT_EQ(alone.viewMatrix(), kMirrorZ * alone.worldMatrix().inverse());
    renderer.reset();
    implicit.update();
    EXPECT_EQ(implicit.viewMatrix(), alone.viewMatrix());
}

TEST(Camera, ProjectionIsRebuiltOnUpdateTheViewVolumeKeepsWhatIsSeenAndMovesFollowTurns) {
    Camera camera("player", {}, Quaternion{});
    camera.update(kMirrorZ);
    EXPECT_EQ(camera.projectionMatrix(), perspectiveLH(45.0f, 1.33f, 4.0f, 1000.0f));
    camera.setFov(60.0f);
    EXPECT_EQ(camera.projectionMatrix(), perspectiveLH(45.0f, 1.33f, 4.0f, 1000.0f));
    camera.update(kMirrorZ);
    EXPECT_EQ(camera.projectionMatrix(), perspectiveLH(60.0f, 1.33f, 4.0f, 1000.0f));

    // The mirror makes world -z the viewing direction.
    const ViewVolume& volume = camera.viewVolume();
    EXPECT_TRUE(volume.contains({0.0f, 0.0f, -100.0f}));
    EXPECT_FALSE(volume.contains({0.0f, 0.0f, 100.0f}));
    EXPECT_FALSE(volume.contains({0.0f, 0.0f, -2000.0f}));
    const std::pair<BoundingBox, bool> boxes[] = {
        {BoundingBox::of({-10, -10, -110}, {10, 10, -90}), true},
        {BoundingBox::of({-5000, -1, -50}, {5000, 1, -40}), true},
        {BoundingBox::of({-10, -10, 90}, {10, 10, 110}), false},
        {BoundingBox::of({500, -1, -60}, {510, 1, -50}), false}};
    for (const auto& [box, seen] : boxes)
        EXPECT_EQ(volume.intersects(box), seen) << box.min.x << " " << box.min.z;

    // Turned, it moves along its new forward axis; the side axis then points along world -z.
    camera.turnAboutUp(90.0f);
    camera.moveForward(1.0f);
    expectNear(camera.position(), {1.0f, 0.0f, 0.0f});
    camera.moveSide(2.0f);
    expectNear(camera.position(), {1.0f, 0.0f, -2.0f});
}

} // namespace
} // namespace Vrenn
