#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

class Model;

// Builds the demo's default scene: a walled courtyard about 1000 world units across,
// y up, with two roofed colonnades, a dais with steps and an arch, a back wall with two
// windows and a few blocks, some stacked into overhangs. Everything is made of planar
// faces, each its own group of vertices (its triangles share vertices with each other
// only and follow each other in the index list). Vertices carry a position and
// texture-coordinate set 0 in one stream and nothing else, so that loading adds the
// normals and tangent frames and the bake adds its atlas coordinates.
//
// The result is fully deterministic. Larger scenes (for measurements) repeat the
// courtyard on a tiles x tiles grid.
class DemoSceneBuilder {
public:
    // tiles copies of the courtyard along each horizontal axis (at least 1).
    explicit DemoSceneBuilder(uint32_t tiles = 1) : m_tiles(tiles) {}

    std::shared_ptr<Model> build() const;

    // The number of planar faces build() makes.
    uint32_t faceCount() const;

    // World units per texture repeat of texture-coordinate set 0.
    static constexpr float kTextureScale = 128.0f;

private:
    uint32_t m_tiles;
};

} // namespace Vrenn
