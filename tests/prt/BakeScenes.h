#pragma once

// Small models for the bake tests (rectangles with a full, known vertex frame) and the pack and
// SH bake over them.

#include "core/Vector3.h"
#include "fs/DDSCodec.h"
#include "fs/DiskFile.h"
#include "fs/Image.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"
#include "prt/PrtScene.h"
#include "prt/SHTextureBuilder.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn::testing {

struct Rect {
    Vec3 corner, a, b; // corners corner, corner + a, corner + a + b, corner + b; normal along a x b
};

// One surface holding the rectangles, each its own vertex group, with per-vertex normal
// (normalised a x b), tangent (normalised a) and binormal (normal x tangent).
inline std::shared_ptr<Surface> rectSurface(const std::vector<Rect>& rects) {
    std::vector<float> vertices; // position, normal, tangent, binormal
    std::vector<uint32_t> indices;
    for (const Rect& r : rects) {
        const Vec3 n = normalized(cross(r.a, r.b));
        const Vec3 t = normalized(r.a);
        const Vec3 b = cross(n, t);
        const uint32_t base = uint32_t(vertices.size() / 12);
        for (const Vec3& p : {r.corner, r.corner + r.a, r.corner + r.a + r.b, r.corner + r.b})
            vertices.insert(vertices.end(),
                            {p.x, p.y, p.z, n.x, n.y, n.z, t.x, t.y, t.z, b.x, b.y, b.z});
        indices.insert(indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
    }
    auto mesh = std::make_shared<Mesh>();
    mesh->addStream(vertices.data(), uint32_t(vertices.size() / 12), 48,
                    {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0},
                     VertexElement{0, USAGE_NORMAL, 0, COMPONENT_FLOAT, 3, 12},
                     VertexElement{0, USAGE_TANGENT, 0, COMPONENT_FLOAT, 3, 24},
                     VertexElement{0, USAGE_BINORMAL, 0, COMPONENT_FLOAT, 3, 36}});
    mesh->setIndices(indices.data(), uint32_t(indices.size()));
    mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
    auto surface = std::make_shared<Surface>();
    surface->setMaterial("test");
    surface->setMesh(mesh);
    return surface;
}

inline std::shared_ptr<Model> rectModel(const std::vector<std::vector<Rect>>& surfaces) {
    auto model = std::make_shared<Model>();
    for (const auto& rects : surfaces)
        model->addSurface(rectSurface(rects));
    return model;
}

// An 8 x 8 floor in the xy-plane facing +z, tangent +x and binormal +y, at the origin.
inline Rect openFloor() {
    return {{0, 0, 0}, {8, 0, 0}, {0, 8, 0}};
}

// An 80 x 20 floor facing +z (x from 0 to 80), and a roof 4 above it facing down that covers
// it from x = 40 back to x = -200 and far to both sides.
inline Rect roofedFloor() {
    return {{0, 0, 0}, {80, 0, 0}, {0, 20, 0}};
}
inline Rect roof() {
    return {{-200, -200, 4}, {0, 420, 0}, {240, 0, 0}};
}

// A floor under a partial roof, and a box standing on the floor's far side: some of
// everything.
inline std::shared_ptr<Model> shadedScene() {
    const float s = 12.0f;
    const Vec3 b{55, 4, 0};
    return rectModel({{roofedFloor()},
                      {roof()},
                      {Rect{b + Vec3{0, 0, s}, {s, 0, 0}, {0, s, 0}}, Rect{b, {s, 0, 0}, {0, 0, s}},
                       Rect{b + Vec3{0, s, 0}, {0, 0, s}, {s, 0, 0}}, Rect{b, {0, 0, s}, {0, s, 0}},
                       Rect{b + Vec3{s, 0, 0}, {0, s, 0}, {0, 0, s}}}});
}

// Adds every surface of the model to the pack and packs its atlas as the bake does; builds the
// tree when asked.
inline void packModel(PolyPack& pack, const Model& model, int planes, ImageFormat format,
                      bool tree = true) {
    for (const auto& surface : model.surfaces())
        EXPECT_TRUE(pack.addSurface(surface->mesh(), true, true));
    EXPECT_TRUE(pack.packAtlas(32, 32, planes, format, 1, 4.0f));
    EXPECT_TRUE(!tree || pack.buildTree());
}

// The SH transfer bake of a model into its pack, walked by one thread.
struct SHBake {
    SHBake(std::shared_ptr<Model> bakedModel, int rayCount)
        : model(std::move(bakedModel)), pack(4, 3, 4) {
        packModel(pack, *model, 19, FORMAT_RGBA16F);
        SHTextureBuilder builder(rayCount, 8192.0f, pack);
        EXPECT_TRUE(builder.generateSamples());
        samples = builder.sampleCount();
        BakeOptions options;
        options.threads = 1;
        EXPECT_TRUE(pack.bake(builder, options, &stats));
        traced = builder.raysTraced();
    }
    std::shared_ptr<Model> model;
    PolyPack pack;
    BakeStats stats;
    size_t samples = 0;
    uint64_t traced = 0;
};

// Bakes the model into dir with the given ray count through the command's entry point (adjust
// changes further settings); the bake must succeed.
inline PrtBakeResult bakeModel(Model& model, const std::string& dir, int rays,
                               const std::function<void(PrtBakeSettings&)>& adjust = {}) {
    PrtBakeSettings settings;
    settings.rays = rays;
    settings.outputDir = dir;
    if (adjust) adjust(settings);
    PrtBakeResult result;
    EXPECT_TRUE(rebuildPrtScene(model, settings, result));
    return result;
}

inline Image readDDS(const std::string& path) {
    Image image;
    std::shared_ptr<File> file = std::make_shared<DiskFile>(path, DISK_READ);
    EXPECT_TRUE(DDSCodec().decode(file, image)) << path;
    return image;
}

} // namespace Vrenn::testing
