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
#include "support/StubRenderer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <limits>

namespace Vrenn {
namespace {

using Test::TempDir;

// Whether every triangle of a mesh around the origin turns towards it: its normal by
// the demo scene's winding rule, (b - a) x (c - a), points at the box's centre.
bool facesInward(const Mesh& mesh) {
    const VertexAttribute position = mesh.attribute(USAGE_POSITION);
    const auto& idx = mesh.indices();
    if (!position.valid() || idx.empty()) return false;
    for (size_t t = 0; t + 2 < idx.size(); t += 3) {
        const Vec3 a = position.getVec3(idx[t]), b = position.getVec3(idx[t + 1]),
                   c = position.getVec3(idx[t + 2]);
        if (dot(cross(b - a, c - a), a + b + c) >= 0.0f) return false;
    }
    return true;
}

TEST(SceneMgr, RegistriesGeneratedNamesAndSkyBoxes) {
    Vrenn::Test::LogCapture log;
    SceneMgr scene;
    scene.Initialize(nullptr);
    const auto player = scene.createCamera("player", {0, 200, 0}, Quaternion{});
    EXPECT_EQ(scene.createCamera("player", {1, 2, 3}, Quaternion{}), player);
    EXPECT_EQ(player->position(), (Vec3{0, 200, 0}));

    // Sky boxes are surfaces and take the next surface name; entities count on their own.
    const auto a = scene.createSurface();
    const auto sky = scene.createSkyBox(512.0f);
    EXPECT_EQ(scene.surfaces().find("gen_0"), a);
    EXPECT_EQ(scene.surfaces().find("gen_1"), sky);
    EXPECT_EQ(scene.entities().find("gen_0"), scene.createEntity(nullptr, nullptr));
    ASSERT_TRUE(sky->mesh());
    const Mesh& cube = *sky->mesh();
    EXPECT_EQ(cube.vertexCount(), 24u);
    EXPECT_EQ(cube.indices().size(), 36u);
    EXPECT_EQ(sky->bounds(), BoundingBox::of({-256, -256, -256}, {256, 256, 256}));
    EXPECT_TRUE(facesInward(cube));

    // A size without a cube leaves the sky box empty, still registered, and says so.
    const auto flat = scene.createSkyBox(0.0f);
    const auto undefined = scene.createSkyBox(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(scene.surfaces().find("gen_3"), undefined);
    EXPECT_FALSE(flat->mesh());
    EXPECT_FALSE(undefined->mesh());
    EXPECT_TRUE(flat->bounds().isEmpty());

    // Handed-out objects outlive the registries.
    scene.ShutDown();
    EXPECT_FALSE(scene.materialMgr());
    scene.ShutDown(); // does nothing the second time
    EXPECT_EQ(a.use_count(), 1);
    EXPECT_EQ(player->name(), "player");
    EXPECT_NE(log.text().find("SceneMgr::createSkyBox: size nan gives no cube; the sky box stays "
                              "empty\n"),
              std::string::npos);
}

TEST(SceneMgr, EntitiesAreBuiltByTheirGeometryBuilderIntoVertexBuffers) {
    SceneMgr scene;
    scene.Initialize(Vrenn::Test::GLTestContext::get().rendererPtr());
    const auto box = scene.createEntity(boxBuilder(), {100, 100, 100}, nullptr);
    EXPECT_EQ(scene.entities().find("gen_0"), box);
    ASSERT_TRUE(box->mesh());
    EXPECT_EQ(box->mesh()->vertexCount(), 24u);
    // The box is centred on the entity's origin, in the entity's own frame.
    EXPECT_EQ(box->bounds(), BoundingBox::of({-50, -50, -50}, {50, 50, 50}));
    EXPECT_FALSE(facesInward(*box->mesh()));
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
