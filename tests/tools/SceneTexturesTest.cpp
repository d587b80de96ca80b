#include "assetgen/SceneTextures.h"

#include <cmath>
#include <gtest/gtest.h>

namespace Vrenn::AssetGen {
namespace {

struct Normal {
    float x, y, z;
};

Normal normalAt(const Image& map, int level, int x, int y) {
    const int width = std::max(1, map.width() >> level);
    const uint8_t* p = map.getLevelData(level) + (size_t(y) * size_t(width) + size_t(x)) * 4;
    return {p[0] / 127.5f - 1.0f, p[1] / 127.5f - 1.0f, p[2] / 127.5f - 1.0f};
}

// Both textures of every material have every level; every normal is a unit vector out of
// the surface, and the bumps are not flat.
TEST(SceneTextures, FullMipChainsOfUnitNormals) {
    ASSERT_EQ(sceneSurfaceLooks().size(), 6u);
    for (const SurfaceLook& look : sceneSurfaceLooks()) {
        SCOPED_TRACE(look.material);
        SurfaceTextures textures;
        ASSERT_TRUE(drawSurfaceTextures(look, kSceneTextureSize, textures));
        for (const Image* image : {&textures.albedo, &textures.normals}) {
            EXPECT_EQ(image->format(), FORMAT_RGBA8);
            EXPECT_EQ(image->width(), kSceneTextureSize);
            EXPECT_EQ(image->height(), kSceneTextureSize);
            EXPECT_EQ(image->mipLevels(), 9); // 256 ... 1
            EXPECT_NE(image->getLevelData(8), nullptr);
        }
        int tilted = 0;
        for (int level = 0; level < textures.normals.mipLevels(); ++level) {
            const int size = kSceneTextureSize >> level;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x) {
                    const Normal n = normalAt(textures.normals, level, x, y);
                    const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
                    ASSERT_NEAR(length, 1.0f, 0.015f)
                        << "level " << level << " at " << x << "," << y;
                    ASSERT_GT(n.z, 0.1f) << "level " << level << " at " << x << "," << y;
                    tilted += level == 0 && n.z < 0.985f; // more than 10 degrees
                }
        }
        EXPECT_GT(tilted, kSceneTextureSize * kSceneTextureSize / 20);
        // The albedo is neither black nor white.
        const uint8_t* top = textures.albedo.getLevelData(8);
        for (int c = 0; c < 3; ++c) {
            EXPECT_GT(top[c], 40);
            EXPECT_LT(top[c], 230);
        }
    }
}

// A floor tile rises from its joints: the normals lean away from its middle at each edge
// (x along u, y along v down the image).
TEST(SceneTextures, NormalsLeanAwayFromTheTileAtItsEdges) {
    const SurfaceLook& floor = sceneSurfaceLooks()[0];
    ASSERT_EQ(floor.pattern, SurfacePattern::Tiles);
    SurfaceTextures textures;
    ASSERT_TRUE(drawSurfaceTextures(floor, kSceneTextureSize, textures));
    const int cell = kSceneTextureSize / floor.cells, mid = cell + cell / 2;
    const Normal left = normalAt(textures.normals, 0, cell + 3, mid);
    const Normal right = normalAt(textures.normals, 0, 2 * cell - 4, mid);
    const Normal top = normalAt(textures.normals, 0, mid, cell + 3);
    const Normal bottom = normalAt(textures.normals, 0, mid, 2 * cell - 4);
    EXPECT_LT(left.x, -0.2f);
    EXPECT_GT(right.x, 0.2f);
    EXPECT_LT(top.y, -0.2f);
    EXPECT_GT(bottom.y, 0.2f);
    for (const Normal& n : {left, right})
        EXPECT_LT(std::fabs(n.y), 0.15f);
}

} // namespace
} // namespace Vrenn::AssetGen
