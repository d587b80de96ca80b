// The lightmap passes on a real GL device: every texel of the three lightmaps of a small baked
// scene against the bake's transfer dotted with the lighting, computed here.

#include "lighting/LightmapPasses.h"

#include "LightingTestSupport.h"
#include "fs/Image.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"
#include "prt/CompressedTransfer.h"
#include "prt/PrtLighting.h"
#include "prt/SHTextureBuilder.h"
#include "prt/TransferTextures.h"
#include "render/TextureManager.h"
#include "render/VertexBufferMgr.h"
#include "scene/MaterialMgr.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using namespace Test;

// A floor facing +y and a wall facing +x standing on its edge, laid out as loaded models are:
// positions and texture-coordinate set 0 in stream 0, then the normal and the tangent frame in
// streams of their own, so that the bake puts the atlas coordinates into stream 3.
std::shared_ptr<Model> floorAndWall(VertexBufferMgr& buffers) {
    struct Quad {
        Vec3 corner, a, b;
    };
    const Quad quads[] = {{{0, 0, 0}, {0, 0, 40}, {40, 0, 0}},  // floor
                          {{0, 0, 0}, {0, 24, 0}, {0, 0, 40}}}; // wall at x = 0
    auto model = std::make_shared<Model>();
    for (const Quad& q : quads) {
        std::vector<float> vertices;
        for (const Vec3& p : {q.corner, q.corner + q.a, q.corner + q.a + q.b, q.corner + q.b}) {
            const Vec3 d = p - q.corner;
            vertices.insert(vertices.end(), {p.x, p.y, p.z, dot(d, normalized(q.a)) / 16.0f,
                                             dot(d, normalized(q.b)) / 16.0f});
        }
        const uint32_t indices[] = {0, 1, 2, 0, 2, 3};
        auto mesh = buffers.createVertexBuffer();
        mesh->addStream(vertices.data(), 4, 20,
                        {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0},
                         VertexElement{0, USAGE_TEXCOORD, 0, COMPONENT_FLOAT, 2, 12}});
        mesh->setIndices(indices, 6);
        mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
        EXPECT_TRUE(mesh->computeTangentFrame());
        auto surface = std::make_shared<Surface>();
        surface->setMaterial("test");
        surface->setMesh(mesh);
        model->addSurface(surface);
    }
    return model;
}

// The scene, baked once for the program, with the transfer textures uploaded and the lightmap
// materials loaded from data/.
struct BakedScene {
    BakedScene() : pack(4, 3, 4) {
        GLRenderer& renderer = GLTestContext::get().renderer();
        model = floorAndWall(*renderer.vertexBufferMgr());
        SHTextureBuilder builder(64, 8192.0f, pack);
        EXPECT_TRUE(builder.generateSamples());
        transfer = Vrenn::Test::bakeTransfer(pack, *model, builder, renderer, "lightmap-test-");

        materials = std::make_unique<MaterialMgr>(renderer.shaderMgr(), renderer.textureManager());
        EXPECT_TRUE(Vrenn::Test::loadDataMaterials(
            *materials, {"materials/materials.mtr", "materials/render_lm30.mtr"}));
    }

    static BakedScene& get() {
        static BakedScene scene;
        return scene;
    }

    int width() const { return pack.atlasWidth(); }
    int height() const { return pack.atlasHeight(); }

    // Sum over i of T(k, i) * light(c, i) at texel (x, y), from the bake image.
    float litSum(int x, int y, int basis, int channel, const SHCoeffs& light) const {
        const Image& image = *pack.bakeImage();
        const size_t planeBytes = size_t(width()) * size_t(height()) * 8;
        float t[25];
        readTransferCoefficients(image.data() + (size_t(y) * size_t(width()) + size_t(x)) * 8,
                                 planeBytes, basis, t);
        float sum = 0.0f;
        for (int i = 0; i < 25; ++i)
            sum += t[i] * light.channel(channel)[size_t(i)];
        return sum;
    }

    std::shared_ptr<Model> model;
    PolyPack pack;
    std::array<std::shared_ptr<Texture>, 3> transfer;
    std::unique_ptr<MaterialMgr> materials;
};

using LitSum = std::function<float(int x, int y, int basis, int channel)>;

// The largest sum of any texel, basis and channel: M is set below it so that some texels clamp.
float brightestSum(const BakedScene& scene, const LitSum& litSum) {
    float brightest = 0.0f;
    for (int y = 0; y < scene.height(); ++y)
        for (int x = 0; x < scene.width(); ++x)
            for (int k = 0; k < 3; ++k)
                for (int c = 0; c < 3; ++c)
                    brightest = std::max(brightest, litSum(x, y, k, c));
    EXPECT_GT(brightest, 0.0f);
    return brightest;
}

// Drawn twice (first with other lighting, which must leave nothing behind), every drawn texel
// of target k holds clamp(litSum / M, 0, 1) in 8 bits; some clamp. Returns the texels drawn.
int expectLightmaps(LightmapPasses& passes, const Model& model, const PrtLighting& lighting,
                    const LitSum& litSum, float m, const BakedScene& scene) {
    GLRenderer& renderer = GLTestContext::get().renderer();
    PrtLighting other;
    other.update(2.0f, 1.0f, {});
    EXPECT_TRUE(passes.render(renderer, other, model));
    EXPECT_TRUE(passes.render(renderer, lighting, model));
    EXPECT_TRUE(Vrenn::Test::noGLError());
    const int w = scene.width(), h = scene.height();
    int drawn = 0, clamped = 0;
    for (int k = 0; k < 3; ++k) {
        const auto texels = Vrenn::Test::readTarget(passes.lightmaps()[size_t(k)]);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const float* t = &texels[(size_t(y) * size_t(w) + size_t(x)) * 4];
                if (t[3] == 0.0f) { // only texels that no polygon covers
                    EXPECT_EQ(t[0] + t[1] + t[2], 0.0f);
                    EXPECT_FALSE(scene.pack.coverage().covered(x, y)) << x << "," << y;
                    continue;
                }
                ++drawn;
                for (int c = 0; c < 3; ++c) {
                    const float lit = litSum(x, y, k, c) / m;
                    clamped += lit > 1.0f;
                    const int expected = int(std::lround(std::clamp(lit, 0.0f, 1.0f) * 255));
                    EXPECT_LE(std::abs(int(std::lround(t[c] * 255)) - expected), 1)
                        << "texel " << x << "," << y << " basis " << k << " channel " << c;
                }
            }
    }
    EXPECT_GT(drawn, 100);
    EXPECT_GT(clamped, 0);
    return drawn;
}

TEST(LightmapPasses, BothPathsMatchTheTransferDottedWithTheLighting) {
    BakedScene& scene = BakedScene::get();
    GLRenderer& renderer = GLTestContext::get().renderer();
    ASSERT_EQ(LightmapPasses::unsuitableReason(*scene.model), "");
    const int w = scene.width(), h = scene.height();

    PrtLighting lighting;
    lighting.update(0.7f, 0.3f, {1.0f, 2.0f, 3.0f});
    const LitSum litSum = [&](int x, int y, int k, int c) {
        return scene.litSum(x, y, k, c, lighting.lighting());
    };
    const float m = 0.8f * brightestSum(scene, litSum);

    // The three-pass path is what a renderer below shader model 3.0 gets.
    const uint32_t reported = renderer.capabilities().pixelShaderVersion;
    for (uint32_t version : {reported, shaderVersion(2, 0)}) {
        renderer.capabilities().pixelShaderVersion = version;
        const LightmapPath path = LightmapPasses::pathFor(renderer);
        renderer.capabilities().pixelShaderVersion = reported;
        EXPECT_EQ(path, version >= 0x300 ? LightmapPath::OnePass : LightmapPath::ThreePass);
        SCOPED_TRACE(path == LightmapPath::OnePass ? "one pass" : "three passes");
        LightmapPasses passes;
        LogCapture log;
        ASSERT_TRUE(passes.create(renderer, *scene.materials, scene.transfer, m, path))
            << log.text();
        EXPECT_EQ(passes.width(), w);
        EXPECT_EQ(passes.height(), h);
        EXPECT_EQ(passes.bands012().size(), path == LightmapPath::ThreePass ? 3u : 0u);
        const int drawn = expectLightmaps(passes, *scene.model, lighting, litSum, m, scene);
        for (const auto& surface : scene.model->surfaces())
            EXPECT_EQ(surface->mesh()->streamMask(), Mesh::kAllStreams);

        // Each frame starts from cleared targets: with the wall left out, its texels go dark.
        Model floorOnly;
        floorOnly.addSurface(scene.model->surfaces()[0]);
        ASSERT_TRUE(passes.render(renderer, lighting, floorOnly));
        for (size_t k = 0; k < 3; ++k) {
            const auto after = Vrenn::Test::readTarget(passes.lightmaps()[k]);
            int lit = 0;
            for (size_t i = 3; i < after.size(); i += 4)
                lit += after[i] > 0.0f;
            EXPECT_GT(lit, 0);
            EXPECT_LT(lit, drawn / 3);
        }
    }
}

// The compressed path: each lightmap texel is the texel's reconstructed transfer dotted with the
// lighting; a frame with other lighting relights every cluster.
TEST(LightmapPasses, CompressedPathLightsTheReconstructedTransfer) {
    BakedScene& scene = BakedScene::get();
    GLRenderer& renderer = GLTestContext::get().renderer();
    std::array<std::shared_ptr<Image>, 3> files;
    for (int f = 0; f < 3; ++f) {
        files[size_t(f)] = std::make_shared<Image>();
        ASSERT_TRUE(transferFileImage(*scene.pack.bakeImage(), f, *files[size_t(f)]));
    }
    int32_t cw = 0, ch = 0;
    std::vector<float> vectors;
    std::string why;
    ASSERT_TRUE(transferVectors(files, cw, ch, vectors, why)) << why;
    CompressOptions options;
    options.clusters = 6;
    options.components = 5; // two groups of weights
    CompressedTransfer compressed;
    CompressStats stats;
    ASSERT_TRUE(compressTransfer(vectors, cw, ch, options, compressed, stats, why)) << why;

    PrtLighting lighting;
    lighting.update(0.7f, 0.3f, {});
    const LitSum litSum = [&](int x, int y, int basis, int channel) {
        float r[kTransferVectorSize];
        compressed.reconstruct(size_t(y) * size_t(scene.width()) + size_t(x), r);
        float sum = 0.0f;
        for (int i = 0; i < 25; ++i)
            sum += r[basis * 25 + i] * lighting.lighting().channel(channel)[size_t(i)];
        return sum;
    };
    const float m = 0.8f * brightestSum(scene, litSum);

    LightmapPasses passes;
    LogCapture log;
    EXPECT_FALSE(passes.createCompressed(renderer, *scene.materials, compressed, 0.0f));
    CompressedTransfer empty;
    EXPECT_FALSE(passes.createCompressed(renderer, *scene.materials, empty, m));
    ASSERT_TRUE(passes.createCompressed(renderer, *scene.materials, compressed, m)) << log.text();
    EXPECT_EQ(passes.path(), LightmapPath::Compressed);
    EXPECT_EQ(passes.width(), scene.width());
    expectLightmaps(passes, *scene.model, lighting, litSum, m, scene);
}

TEST(LightmapPasses, RefusesWhatWouldBreakTheShadersAndNamesModelsTheyCannotDraw) {
    BakedScene& scene = BakedScene::get();
    GLRenderer& renderer = GLTestContext::get().renderer();
    PrtLighting lighting;
    lighting.update(0.0f, 0.0f, {});

    for (float m : {0.0f, -2.0f, std::nanf("")}) {
        LogCapture log;
        LightmapPasses passes;
        EXPECT_FALSE(
            passes.create(renderer, *scene.materials, scene.transfer, m, LightmapPath::OnePass));
        EXPECT_NE(log.text().find("LightmapPasses: max_scene_lum must be above 0"),
                  std::string::npos)
            << log.text();
        EXPECT_FALSE(passes.render(renderer, lighting, *scene.model));
    }

    // A band 3-4 texture of another size, and one with too few slices.
    auto narrow = std::make_shared<Image>();
    narrow->create(scene.width() / 2, scene.height(), 8, FORMAT_RGBA16F, 1, 1);
    auto thin = std::make_shared<Image>();
    thin->create(scene.width(), scene.height(), 2, FORMAT_RGBA16F, 1, 1);
    const std::pair<std::shared_ptr<Image>, const char*> wrong[] = {
        {narrow, "the transfer textures differ in size"},
        {thin, "shtex1.dds is not 8 slices of four half floats"}};
    for (const auto& [image, message] : wrong) {
        LogCapture log;
        auto transfer = scene.transfer;
        transfer[1] = renderer.textureManager()->createTexture("lightmap-test-wrong", image);
        ASSERT_TRUE(transfer[1]);
        LightmapPasses passes;
        EXPECT_FALSE(
            passes.create(renderer, *scene.materials, transfer, 4.0f, LightmapPath::ThreePass));
        EXPECT_NE(log.text().find(message), std::string::npos) << log.text();
        EXPECT_FALSE(passes.ready());
    }

    // Models the passes cannot draw are named with the reason.
    Model empty;
    EXPECT_EQ(LightmapPasses::unsuitableReason(empty), "the model has no surfaces");
    // Set 1 added to a one-stream mesh lands in stream 1, which mask 9 does not bind.
    auto mesh = std::make_shared<Mesh>();
    const float vertex[3] = {};
    mesh->addStream(vertex, 1, 12, {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0}});
    auto surface = std::make_shared<Surface>();
    surface->setMesh(mesh);
    Model model;
    model.addSurface(surface);
    EXPECT_NE(LightmapPasses::unsuitableReason(model).find("no texture-coordinate set 1"),
              std::string::npos);
    uint32_t stride = 0;
    mesh->addElement(USAGE_TEXCOORD, &stride, 1, 2);
    EXPECT_NE(LightmapPasses::unsuitableReason(model).find("with 2 components"), std::string::npos);
    mesh = std::make_shared<Mesh>();
    mesh->addStream(vertex, 1, 12, {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0}});
    mesh->addElement(USAGE_TEXCOORD, &stride, 1, 4);
    surface->setMesh(mesh);
    EXPECT_NE(LightmapPasses::unsuitableReason(model).find("in stream 1 of 2"), std::string::npos);
}

} // namespace
} // namespace Vrenn
