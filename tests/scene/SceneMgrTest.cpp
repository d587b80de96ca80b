#include "scene/SceneMgr.h"

#include "core/Log.h"
#include "fs/FileSystem.h"
#include "geometry/DemoSceneBuilder.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/Surface.h"
#include "scene/MaterialMgr.h"
#include "scene/SkyBox.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::TempDir;

TEST(SceneMgr, StartAndStopLinesFrameTheManagersLifetime) {
    TempDir dir;
    LogManager logs;
    logs.CreateLog(LOG_DEFAULT, dir.file("app.log"));
    {
        SceneMgr scene;
        scene.Initialize(nullptr);
        scene.ShutDown();
        EXPECT_FALSE(scene.materialMgr());
        scene.ShutDown(); // does nothing the second time
    }
    EXPECT_EQ(dir.read("app.log"),
              "SceneMgr::Initialize\nScene Manager Initialized\nSceneMgr::ShutDown\n");
}

TEST(SceneMgr, RegistriesAndGeneratedNames) {
    SceneMgr scene;
    scene.Initialize(nullptr);
    const auto player = scene.createCamera("player", {0, 200, 0}, Quaternion{});
    EXPECT_EQ(scene.createCamera("player", {1, 2, 3}, Quaternion{}), player);
    EXPECT_EQ(player->position(), (Vec3{0, 200, 0}));

    // Sky boxes are surfaces and take the next surface name.
    const auto a = scene.createSurface();
    const auto sky = scene.createSkyBox(500.0f);
    EXPECT_EQ(scene.surfaces().find("gen_0"), a);
    EXPECT_EQ(scene.surfaces().find("gen_1"), sky);
    EXPECT_EQ(sky->size(), 500.0f);
    // Entities count on their own.
    const auto entity = scene.createEntity(nullptr, nullptr);
    EXPECT_EQ(scene.entities().find("gen_0"), entity);

    // Handed-out objects outlive the registries.
    scene.ShutDown();
    EXPECT_EQ(a.use_count(), 1);
    EXPECT_EQ(player->name(), "player");
}

TEST(SceneMgr, LoadedModelsBuildThroughTheScene) {
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
}

TEST(SceneMgr, CullKeepsThePartsTheCameraMaySee) {
    SceneMgr scene;
    scene.Initialize(nullptr);
    auto model = DemoSceneBuilder().build();
    auto placed = scene.createSurface();
    placed->setModel(model);
    scene.addToScene(placed);
    scene.cull(); // no camera: nothing happens
    EXPECT_TRUE(scene.visible().empty());

    // From above the middle, looking down (the engine's view looks along -z of the
    // camera after the z mirror; turn it to face the floor).
    auto camera = scene.createCamera("player", {0, 300, 0}, Quaternion{});
    camera->turnAboutSide(-90.0f);
    camera->update(Matrix4::scaling(1, 1, -1));
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
    away->update(Matrix4::scaling(1, 1, -1));
    scene.setCurrentCamera(away);
    scene.cull();
    EXPECT_TRUE(scene.visible().empty());
}

} // namespace
} // namespace Vrenn
