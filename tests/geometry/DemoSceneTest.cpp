#include "GeometryTestSupport.h"
#include "geometry/DemoSceneBuilder.h"
#include "geometry/Model.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"

#include <cmath>
#include <gtest/gtest.h>
#include <set>

namespace Vrenn::Test {
namespace {

// The scene as the program sees it: written and loaded back.
std::shared_ptr<Model> loadedScene() {
    return readVmsh(vmshBytes(*DemoSceneBuilder().build()));
}

// `vrenn mkscene` checks that the scene file is the same every time, and its streams once loaded.
TEST(DemoScene, TilesOfPositionsAndTextureSetZeroOnlyWithTheCameraInTheOpen) {
    const DemoSceneBuilder builder;
    const auto scene = builder.build();
    std::set<std::string> materials;
    for (const auto& surface : scene->surfaces()) {
        const Mesh& mesh = *surface->mesh();
        materials.insert(surface->materialName());
        ASSERT_EQ(mesh.streamCount(), 1u);
        EXPECT_EQ(mesh.strides()[0], 20u);
        EXPECT_EQ(mesh.elements(),
                  (std::vector<VertexElement>{{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0},
                                              {0, USAGE_TEXCOORD, 0, COMPONENT_FLOAT, 2, 12}}));
    }
    EXPECT_EQ(materials.size(), scene->surfaces().size());
    // Tiles repeat the courtyard.
    EXPECT_EQ(DemoSceneBuilder(3).faceCount(), 9 * builder.faceCount());
    EXPECT_EQ(DemoSceneBuilder(0).faceCount(), builder.faceCount());
    const auto big = DemoSceneBuilder(2).build();
    EXPECT_FLOAT_EQ(big->bounds().max.x - big->bounds().min.x, 2000.0f);

    // Its extent is checked through `vrenn mesh info`; the default camera position (0, 200, 0)
    // is in the open.
    const auto loaded = loadedScene();
    EXPECT_LT(loaded->bounds().max.y, 400.0f);
    for (const auto& surface : loaded->surfaces()) {
        const BoundingBox& b = surface->bounds();
        EXPECT_FALSE(b.min.x < 0 && b.max.x > 0 && b.min.y < 200 && b.max.y > 200 && b.min.z < 0 &&
                     b.max.z > 0 && surface->materialName() == "blocks");
    }
}

TEST(DemoScene, EveryFaceIsItsOwnPlanarVertexGroupFacingOutOfTheSolids) {
    const auto scene = loadedScene();
    LogCapture log;
    PolyPack pack(4, 3, 4);
    for (const auto& surface : scene->surfaces())
        ASSERT_TRUE(pack.addSurface(surface->mesh(), true, true));
    EXPECT_EQ(log.text(), ""); // no polygon needed a fallback outline
    ASSERT_EQ(pack.polygons().size(), DemoSceneBuilder().faceCount());

    std::vector<std::set<uint32_t>> usedBySurface(scene->surfaces().size());
    for (size_t i = 0; i < pack.polygons().size(); ++i) {
        const PackPolygon& polygon = pack.polygons()[i];
        const Mesh& mesh = *pack.surfaces()[polygon.surface].mesh;
        const VertexAttribute position = mesh.attribute(USAGE_POSITION);
        const VertexAttribute normal = mesh.attribute(USAGE_NORMAL);
        EXPECT_EQ(polygon.outlineChains.size(), 1u) << "polygon " << i;
        // Convex faces: every vertex is on the outline.
        EXPECT_EQ(polygon.outline.size(), polygon.vertexIndices.size()) << "polygon " << i;
        for (uint32_t v : polygon.vertexIndices) {
            EXPECT_TRUE(usedBySurface[polygon.surface].insert(v).second)
                << "vertex " << v << " shared by two faces";
            EXPECT_NEAR(polygon.plane.distance(position.getVec3(v)), 0.0f, 1e-3f)
                << "polygon " << i;
            EXPECT_GT(dot(normal.getVec3(v), polygon.normal), 0.9999f) << "polygon " << i;
        }
        EXPECT_TRUE(polygon.sizeU > 1.0f && polygon.sizeV > 1.0f) << "polygon " << i;
    }

    int overhangs = 0, innerWallFaces = 0;
    for (const PackPolygon& polygon : pack.polygons()) {
        const Vec3 n = polygon.plane.normal;
        // Nothing faces down into the floor; faces looking down are undersides above it.
        if (n.y < -0.9f) {
            EXPECT_GT(polygon.origin.y, 0.0f);
            ++overhangs;
        }
        // Faces in the planes of the side walls' inner faces look into the courtyard.
        if (std::fabs(std::fabs(polygon.origin.x) - 470.0f) < 1e-3f && std::fabs(n.x) > 0.9f &&
            polygon.sizeU > 100.0f) {
            EXPECT_LT(n.x * polygon.origin.x, 0.0f);
            ++innerWallFaces;
        }
    }
    EXPECT_GE(overhangs, 10);
    EXPECT_EQ(innerWallFaces, 2);
    EXPECT_FLOAT_EQ(pack.polygons()[0].plane.normal.y, 1.0f); // the floor faces up
}

} // namespace
} // namespace Vrenn::Test
