#include "scene/SceneMgr.h"

#include "fs/FileSystem.h"
#include "geometry/DemoSceneBuilder.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/Surface.h"
#include "render/VertexBuffer.h"
#include "scene/MaterialMgr.h"
#include "scene/SkyBox.h"
#include "support/GLTestContext.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::TempDir;

TEST(SceneMgr, EntitiesAreBuiltByTheirGeometryBuilderIntoVertexBuffers) {
    SceneMgr scene;
    scene.Initialize(Vrenn::Test::GLTestContext::get().rendererPtr());
    const auto box = scene.createEntity(boxBuilder(), {100, 100, 100}, nullptr);
    EXPECT_EQ(scene.entities().find("gen_0"), box);
    ASSERT_TRUE(box->mesh());
    EXPECT_EQ(box->mesh()->vertexCount(), 24u);
    // The box is centred on the entity's origin, in the entity's own frame.
    EXPECT_EQ(box->bounds(), BoundingBox::of({-50, -50, -50}, {50, 50, 50}));
    // Sky and entity meshes are uploaded: only an uploaded buffer has a vertex layout.
    for (const auto& mesh : {scene.createSkyBox(512.0f)->mesh(), box->mesh()}) {
        const auto buffer = std::dynamic_pointer_cast<VertexBuffer>(mesh);
        ASSERT_TRUE(buffer);
        EXPECT_TRUE(buffer->bind());
        buffer->unbind();
    }

    // The builder gets the size as given; one that fails leaves the entity without a
    // mesh (and an empty box), registered all the same.
    Vec3 seen;
    const auto refused = scene.createEntity(
        [&](Mesh&, const Vec3& size) {
            seen = size;
            return false;
        },
        {1, 2, 3}, nullptr);
    EXPECT_EQ(seen, (Vec3{1, 2, 3}));
    EXPECT_EQ(scene.entities().find("gen_1"), refused);
    EXPECT_FALSE(refused->mesh());
    EXPECT_TRUE(refused->bounds().isEmpty());
    EXPECT_FALSE(scene.createEntity(GeometryBuilder{}, {1, 1, 1}, nullptr)->mesh());
    scene.ShutDown();
}

TEST(SceneMgr, LoadedModelsBuildThroughTheSceneAndCullToWhatTheCameraMaySee) {
    TempDir dir(/*enter=*/true);
    FileSystem fileSystem;
    SceneMgr scene;
    scene.Initialize(nullptr);
    {
        // Any model does: the demo scene, saved with plain objects.
        auto plain = ModelLoaderFactory::createDefault();
        const auto model = DemoSceneBuilder().build();
        ASSERT_TRUE(plain->save("scene.vmsh", *model));
    }
    const auto placed = scene.createSurface(
        [&](const std::string& name) {
            std::shared_ptr<Model> model;
            return scene.meshLoader()->load(name, model, false) ? model : nullptr;
        },
        "scene.vmsh");
    ASSERT_TRUE(placed->model());
    const auto& parts = placed->model()->surfaces();
    ASSERT_FALSE(parts.empty());
    // The placed surface and each loaded part were registered under generated names,
    // and every part's material came from the material manager.
    EXPECT_EQ(scene.surfaces().size(), parts.size() + 1);
    for (const auto& part : parts) {
        ASSERT_TRUE(part->material());
        EXPECT_EQ(scene.materialMgr()->find(part->materialName()), part->material());
    }
    EXPECT_EQ(placed->bounds(), placed->model()->bounds());

    // Culled, only the parts the camera may see are kept.
    const auto& model = placed->model();
    scene.addToScene(placed);
    scene.cull(); // no camera: nothing happens
    EXPECT_TRUE(scene.visible().empty());

    // From above the middle, looking down (the engine's view looks along -z of the
    // camera after the z mirror; turn it to face the floor).
    auto camera = scene.createCamera("player", {0, 300, 0}, Quaternion{});
    camera->turnAboutSide(-90.0f);
    camera->update();
    scene.setCurrentCamera(camera);
    scene.cull();
    const size_t seenFromAbove = scene.visible().size();
    EXPECT_GT(seenFromAbove, 0u);
    EXPECT_LT(seenFromAbove, model->surfaces().size()); // the far walls are out of view
    for (const auto& item : scene.visible())
        EXPECT_EQ(item.owner, placed);

    // Far away and looking away, nothing is seen.
    auto away = scene.createCamera("away", {0, 100000, 0}, Quaternion{});
    away->turnAboutSide(90.0f);
    away->update();
    scene.setCurrentCamera(away);
    scene.cull();
    EXPECT_TRUE(scene.visible().empty());
}

} // namespace
} // namespace Vrenn
