// The scene's surface effect on a real GL device, its pixels compared with what the lightmaps,
// the normal map, the albedo and the scale should give.

#include "LightingTestSupport.h"
#include "fs/HalfFloat.h"
#include "fs/Image.h"
#include "geometry/Model.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"
#include "lighting/LightmapPasses.h"
#include "prt/PrtLighting.h"
#include "prt/SHTextureBuilder.h"
#include "prt/TransferTextures.h"
#include "render/TextureManager.h"
#include "render/VertexBufferMgr.h"
#include "scene/DrawMesh.h"
#include "scene/MaterialMgr.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::GLTestContext;

// Outgoing light is the arriving light times the albedo over pi.
constexpr float kPi = 3.14159265f;
constexpr int kShot = 32; // the target the surface is drawn into, kShot x kShot pixels

// A square over the whole target (clip space, z 0.5) laid out as a loaded, baked model: position
// and texture set 0 in stream 0, the normal in stream 1, tangent and binormal in stream 2 and
// the atlas position (set 1, 4 components, no outline push) in stream 3. The normal faces the
// viewer (-z), the tangent runs right; texture v and the atlas y run down the screen, or, with
// mirrored, texture v runs up while the frame stays as it is.
std::shared_ptr<VertexBuffer> square(VertexBufferMgr& buffers, bool mirrored) {
    std::vector<float> base, normals, frames, atlas;
    for (auto [x, y] : {std::pair{-1.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, -1.0f}, {-1.0f, -1.0f}}) {
        const float u = (x + 1.0f) * 0.5f, v = (1.0f - y) * 0.5f;
        base.insert(base.end(), {x, y, 0.5f, u, mirrored ? 1.0f - v : v});
        normals.insert(normals.end(), {0.0f, 0.0f, -1.0f});
        // binormal = normal x tangent = (0, 0, -1) x (1, 0, 0) = (0, -1, 0): down the screen.
        frames.insert(frames.end(), {1.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f});
        atlas.insert(atlas.end(), {u, v, 0.0f, 0.0f});
    }
    auto mesh = buffers.createVertexBuffer();
    mesh->addStream(base.data(), 4, 20,
                    {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0},
                     VertexElement{0, USAGE_TEXCOORD, 0, COMPONENT_FLOAT, 2, 12}});
    mesh->addStream(normals.data(), 4, 12,
                    {VertexElement{1, USAGE_NORMAL, 0, COMPONENT_FLOAT, 3, 0}});
    mesh->addStream(frames.data(), 4, 24,
                    {VertexElement{2, USAGE_TANGENT, 0, COMPONENT_FLOAT, 3, 0},
                     VertexElement{2, USAGE_BINORMAL, 0, COMPONENT_FLOAT, 3, 12}});
    mesh->addStream(atlas.data(), 4, 16,
                    {VertexElement{3, USAGE_TEXCOORD, 1, COMPONENT_FLOAT, 4, 0}});
    // Wound as the scene's outward faces reach the screen (counter-clockwise), which the effect
    // keeps while it drops back faces.
    const uint32_t indices[] = {0, 2, 1, 0, 3, 2};
    mesh->setIndices(indices, 6);
    mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
    EXPECT_TRUE(buffers.upload(mesh));
    return mesh;
}

std::shared_ptr<Texture> solidTexture(const std::string& name, std::array<uint8_t, 4> rgba) {
    const auto& textures = GLTestContext::get().renderer().textureManager();
    if (auto made = textures->find(name)) return made;
    auto image = std::make_shared<Image>();
    uint8_t* data = image->create(2, 2, 1, FORMAT_RGBA8, 1, 1);
    for (int i = 0; i < 4; ++i)
        std::copy(rgba.begin(), rgba.end(), data + i * 4);
    auto texture = textures->createTexture(name, image);
    EXPECT_TRUE(texture) << name;
    return texture;
}

// A normal map of one tangent-space direction.
std::shared_ptr<Texture> normalTexture(const std::string& name, Vec3 n) {
    n = normalized(n);
    auto byte = [](float c) { return uint8_t(std::lround((c * 0.5f + 0.5f) * 255.0f)); };
    return solidTexture(name, {byte(n.x), byte(n.y), byte(n.z), 255});
}

// The lit-scene materials from data/, a surface material of our own on the same effect, and a
// half-float target to draw into.
struct Fixture {
    Fixture() {
        GLRenderer& renderer = GLTestContext::get().renderer();
        materials = std::make_unique<MaterialMgr>(renderer.shaderMgr(), renderer.textureManager());
        EXPECT_TRUE(Vrenn::Test::loadDataMaterials(
            *materials, {"materials/materials.mtr", "materials/render_lm30.mtr"},
            "prt_test_surface {\n fx effects/prt_lighting.fx\n technique \"PrtLighting\"\n}\n"));
        lighting = materials->getMaterial("prt_lighting");
        surface = materials->getMaterial("prt_test_surface");
        EXPECT_TRUE(lighting->effect());
        EXPECT_EQ(lighting->effect(), surface->effect());
        target = renderer.renderTargetMgr()->createRenderTexture(
            "prt_test_hdr", RENDER_TEXTURE_2D, kShot, kShot, FORMAT_RGBA16F, 0, 0, 0, false);
        EXPECT_TRUE(target);
        for (bool mirrored : {false, true})
            squares[mirrored] = square(*renderer.vertexBufferMgr(), mirrored);
    }

    static Fixture& get() {
        static Fixture fixture;
        return fixture;
    }

    // "prt_lighting" is applied once with the shared values, then the square is drawn with the
    // surface material, which pushes only its own textures and the transforms; the result is
    // read back as RGBA floats, top row first.
    std::vector<float> draw(bool mirrored = false) {
        GLRenderer& renderer = GLTestContext::get().renderer();
        renderer.setRenderTarget(target);
        renderer.clear(true, false, false);
        renderer.world() = renderer.view() = renderer.projection() = Matrix4::identity();
        lighting->apply(renderer);
        EXPECT_TRUE(drawMesh(*squares[mirrored], *surface, renderer));
        renderer.bindBackBuffer();
        EXPECT_TRUE(Test::noGLError());
        return Vrenn::Test::readTarget(target);
    }

    // The lightmaps of passes light a white, matt, flat surface, diffuse only, at maxRange m.
    void lightWhiteSurface(const LightmapPasses& passes, float m) {
        for (int k = 0; k < 3; ++k)
            lighting->setTexture("lightmap" + std::to_string(k), passes.lightmaps()[size_t(k)]);
        lighting->setFloat("maxRange", m);
        lighting->setFloat("lum_control", 1.0f);
        lighting->setBool("diffuseOnly", true);
        surface->setTexture("diffuseMap", solidTexture("prt-test-white", {255, 255, 255, 0}));
        surface->setTexture("bumpmap", normalTexture("prt-test-flat", {0, 0, 1}));
    }

    static std::array<float, 3> pixel(const std::vector<float>& shot, int x, int y) {
        const float* p = &shot[(size_t(y) * kShot + size_t(x)) * 4];
        return {p[0], p[1], p[2]};
    }

    std::unique_ptr<MaterialMgr> materials;
    std::shared_ptr<Material> lighting, surface;
    std::shared_ptr<RenderTarget> target;
    std::shared_ptr<VertexBuffer> squares[2];
};

// Red, green and blue lightmaps: a normal leaning towards basis direction b_k takes its colour
// from lightmap k (in a mirrored texture mapping too), a flat one from all three equally; the
// result scales with maxRange * lum_control, and the glossy term that diffuseOnly switches off
// changes the image.
TEST(PrtLightingEffect, NormalMapWeightsTheLightmapsAndScalesIntoHdr) {
    Fixture& f = Fixture::get();
    // Every material of the demo scene shares the effect, so the values set on "prt_lighting"
    // reach it, and brings its own textures.
    for (const char* name : {"floor", "walls", "columns", "stone", "arch", "blocks"}) {
        const auto material = f.materials->getMaterial(name);
        EXPECT_EQ(material->effect(), f.lighting->effect()) << name;
        EXPECT_TRUE(material->hasBumpMap()) << name;
        EXPECT_EQ(material->textures().size(), 2u) << name;
    }
    const uint8_t level = 153; // 0.6
    f.lighting->setTexture("lightmap0", solidTexture("prt-test-red", {level, 0, 0, 255}));
    f.lighting->setTexture("lightmap1", solidTexture("prt-test-green", {0, level, 0, 255}));
    f.lighting->setTexture("lightmap2", solidTexture("prt-test-blue", {0, 0, level, 255}));
    f.lighting->setBool("diffuseOnly", true);
    f.surface->setTexture("diffuseMap", solidTexture("prt-test-grey", {128, 128, 128, 255}));
    const float albedo = 128.0f / 255.0f, light = float(level) / 255.0f;
    const int cx = kShot / 2, cy = kShot / 2;

    // Flat: a third of each, times albedo, maxRange and lum_control over pi; HDR values above 1
    // stay.
    f.surface->setTexture("bumpmap", normalTexture("prt-test-flat", {0, 0, 1}));
    for (auto [range, lum] : {std::pair{4.0f, 1.0f}, {4.0f, 2.5f}, {40.0f, 1.0f}}) {
        f.lighting->setFloat("maxRange", range);
        f.lighting->setFloat("lum_control", lum);
        const auto p = Fixture::pixel(f.draw(), cx, cy);
        const float expected = albedo * light / 3.0f * range * lum / kPi;
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(p[size_t(c)], expected, 0.02f * expected)
                << "maxRange " << range << " lum_control " << lum << " channel " << c;
    }

    f.lighting->setFloat("maxRange", kPi); // the colour is then albedo times the lightmaps
    f.lighting->setFloat("lum_control", 1.0f);
    for (int k = 0; k < 3; ++k) {
        const float* b = SHTextureBuilder::kBasis[k];
        // Two thirds of the way from the normal to b_k: weight 0.91 on b_k.
        const Vec3 lean = Vec3{b[0], b[1], b[2]} * 2.0f + Vec3{0.0f, 0.0f, 1.0f};
        f.surface->setTexture("bumpmap", normalTexture("prt-test-lean" + std::to_string(k), lean));
        for (bool mirrored : {false, true}) {
            // Mirrored, texture v runs against the binormal: what leans towards +v in the
            // normal map leans away from it in the bake's frame, towards the other side.
            const int expected = mirrored && k > 0 ? 3 - k : k;
            const auto p = Fixture::pixel(f.draw(mirrored), cx, cy);
            const float total = p[0] + p[1] + p[2];
            EXPECT_GT(p[size_t(expected)], 0.85f * total)
                << "leaning towards b" << k << (mirrored ? ", mirrored" : "");
            EXPECT_NEAR(total, albedo * light, 0.01f) << "the weights sum to 1";
        }
    }

    // The glossy term adds light where the albedo's alpha says the surface is glossy.
    f.surface->setTexture("bumpmap", normalTexture("prt-test-flat", {0, 0, 1}));
    f.lighting->setVector("objSpaceCamera", {0.3f, 0.2f, -2.0f, 1.0f});
    const auto diffuse = Fixture::pixel(f.draw(), cx, cy);
    f.lighting->setBool("diffuseOnly", false);
    const auto glossy = Fixture::pixel(f.draw(), cx, cy);
    // Seen from along +tangent and -binormal, the mirrored view leans towards b1: it adds
    // mostly the green lightmap's light.
    const float added = glossy[0] + glossy[1] + glossy[2] - diffuse[0] - diffuse[1] - diffuse[2];
    EXPECT_GT(added, 0.02f);
    EXPECT_GT(glossy[1] - diffuse[1], 0.9f * added);
    f.surface->setTexture("diffuseMap", solidTexture("prt-test-matt", {128, 128, 128, 0}));
    const auto matt = Fixture::pixel(f.draw(), cx, cy);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(matt[size_t(c)], diffuse[size_t(c)], 1e-3f) << "channel " << c;
    f.lighting->setBool("diffuseOnly", true);
}

// A flat-faceted sphere (an icosahedron split three times: 1,280 triangles, each with vertices
// of its own, so each is a polygon and a chart of its own) of the given radius about the
// origin, laid out as loaded models are. Facets are wound as the scene's outward faces.
std::shared_ptr<VertexBuffer> facetedSphere(VertexBufferMgr& buffers, float radius) {
    const float t = (1.0f + std::sqrt(5.0f)) / 2.0f;
    std::vector<Vec3> points = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0},
                                {0, -1, t}, {0, 1, t}, {0, -1, -t}, {0, 1, -t},
                                {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    std::vector<std::array<Vec3, 3>> faces;
    const int ico[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                            {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                            {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                            {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    for (const auto& f : ico)
        faces.push_back({normalized(points[size_t(f[0])]), normalized(points[size_t(f[1])]),
                         normalized(points[size_t(f[2])])});
    for (int level = 0; level < 3; ++level) {
        std::vector<std::array<Vec3, 3>> finer;
        for (const auto& [a, b, c] : faces) {
            const Vec3 ab = normalized(a + b), bc = normalized(b + c), ca = normalized(c + a);
            finer.insert(finer.end(), {{a, ab, ca}, {b, bc, ab}, {c, ca, bc}, {ab, bc, ca}});
        }
        faces.swap(finer);
    }
    std::vector<float> base, normals;
    std::vector<uint32_t> indices;
    for (auto [a, b, c] : faces) {
        Vec3 n = normalized(cross(b - a, c - a));
        if (dot(n, a) < 0.0f) {
            std::swap(b, c);
            n = n * -1.0f;
        }
        // Wound clockwise about the outward normal, as the scene's faces are.
        for (const Vec3& p : {a, c, b}) {
            const Vec3 q = p * radius;
            base.insert(base.end(), {q.x, q.y, q.z, q.x / 64.0f, q.y / 64.0f + q.z / 64.0f});
            normals.insert(normals.end(), {n.x, n.y, n.z});
            indices.push_back(uint32_t(indices.size()));
        }
    }
    const auto count = uint32_t(indices.size());
    auto mesh = buffers.createVertexBuffer();
    mesh->addStream(base.data(), count, 20,
                    {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0},
                     VertexElement{0, USAGE_TEXCOORD, 0, COMPONENT_FLOAT, 2, 12}});
    mesh->addStream(normals.data(), count, 12,
                    {VertexElement{1, USAGE_NORMAL, 0, COMPONENT_FLOAT, 3, 0}});
    mesh->setIndices(indices.data(), count);
    mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
    EXPECT_TRUE(mesh->computeTangentFrame());
    return mesh;
}

// The transfer of a point that sees the whole sky above it, for a sky of one radiance: only
// coefficient 0 of each basis, the same on every texel. Written in place of cast rays, whose
// sampling would add a little noise from facet to facet.
class UnshadowedTransfer : public TexelBaker {
public:
    static constexpr float kCoefficient0 = 0.7f;

    bool beginWalk(unsigned) override { return true; }
    void processTexel(const Vec3&, const TangentFrame&, uint32_t, uint8_t* texel, size_t planeBytes,
                      unsigned) override {
        const uint16_t value = floatToHalf(kCoefficient0);
        for (size_t k = 0; k < 3; ++k)
            std::memcpy(texel + 6 * planeBytes + 2 * k, &value, 2);
    }
};

// A convex object under a sky of one radiance everywhere sees the whole sky from every point:
// baked, drawn into its lightmaps and lit on screen it must show one flat colour, without
// lines along its polygons' edges.
TEST(PrtLightingEffect, ConvexSphereUnderUniformSkyShadesEvenly) {
    Fixture& f = Fixture::get();
    GLRenderer& renderer = GLTestContext::get().renderer();
    constexpr float kRadius = 160.0f;
    auto sphere = facetedSphere(*renderer.vertexBufferMgr(), kRadius);
    auto surface = std::make_shared<Surface>();
    surface->setMesh(sphere);
    Model model;
    model.addSurface(surface);
    PolyPack pack(4, 3, 4);
    UnshadowedTransfer baker;
    const auto transfer = Vrenn::Test::bakeTransfer(pack, model, baker, renderer, "sphere-test-");
    ASSERT_EQ(pack.polygons().size(), 1280u);

    // Both probes: radiance 1 from every direction, in every channel.
    SHCoeffs uniform{};
    for (int c = 0; c < 3; ++c)
        uniform.channel(c)[0] = 2.0f * std::sqrt(kPi);
    PrtLighting light({uniform, uniform});
    light.update(0.4f, 0.3f, {});
    // Lightmaps of 0.7 * 2 sqrt(pi) / M = 0.62 with M = 4, and maxRange = M: a lit white surface
    // shows 0.62 * M / pi = 0.79 everywhere.
    const float m = 4.0f;
    const float lightmap = UnshadowedTransfer::kCoefficient0 * 2.0f * std::sqrt(kPi) / m;
    const int flat = int(std::lround(std::round(lightmap * 255.0f) / 255.0f * m / kPi * 255.0f));
    LightmapPasses passes;
    ASSERT_TRUE(passes.create(renderer, *f.materials, transfer, m, LightmapPath::OnePass));
    ASSERT_TRUE(passes.render(renderer, light, model));
    f.lightWhiteSurface(passes, m);

    constexpr int kSide = 320;
    auto target = renderer.renderTargetMgr()->createRenderTexture(
        "prt_test_sphere", RENDER_TEXTURE_2D, kSide, kSide, FORMAT_RGBA8, 0, 0, 0, false);
    ASSERT_TRUE(target);
    renderer.setRenderTarget(target);
    renderer.clear(true, false, false);
    renderer.world() = renderer.view() = Matrix4::identity();
    // Seen along +z (a turned view would do as well: every side is alike).
    renderer.projection() = orthoOffCenterLH(-kRadius * 1.02f, kRadius * 1.02f, -kRadius * 1.02f,
                                             kRadius * 1.02f, -2 * kRadius, 2 * kRadius);
    f.lighting->apply(renderer);
    ASSERT_TRUE(drawMesh(*sphere, *f.surface, renderer));
    renderer.bindBackBuffer();
    ASSERT_TRUE(Vrenn::Test::noGLError());
    const auto shot = Vrenn::Test::readTarget(target);

    std::vector<int> level(size_t(kSide) * kSide), drawn;
    std::vector<bool> covered(level.size());
    for (size_t i = 0; i < level.size(); ++i) {
        level[i] = int(std::lround(shot[i * 4 + 1] * 255.0f));
        covered[i] = shot[i * 4 + 3] > 0.5f;
        if (covered[i]) drawn.push_back(level[i]);
    }
    ASSERT_GT(drawn.size(), level.size() / 2);
    std::nth_element(drawn.begin(), drawn.begin() + drawn.size() / 2, drawn.end());
    const int median = drawn[drawn.size() / 2];
    EXPECT_NEAR(median, flat, 2);
    // Lines along the edges show as pixels darker than the rest, away from the outline.
    size_t inside = 0, dark = 0;
    for (int y = 2; y < kSide - 2; ++y)
        for (int x = 2; x < kSide - 2; ++x) {
            bool whole = true;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    whole = whole && covered[size_t((y + dy) * kSide + x + dx)];
            inside += whole;
            dark += whole && level[size_t(y * kSide + x)] < median - 3;
        }
    EXPECT_GT(inside, drawn.size() / 2);
    EXPECT_LT(double(dark) / double(inside), 0.003);
}

} // namespace
} // namespace Vrenn
