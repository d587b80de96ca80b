// Interreflected transfer against a solution of our own: a radiosity solve of an open-topped
// box written here (ray-box exits, no tree, no SH).

#include "BakeScenes.h"
#include "fs/CodecMgr.h"
#include "fs/HalfFloat.h"
#include "prt/SurfaceAlbedo.h"
#include "support/TempDir.h"

#include <cmath>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::TempDir;
using testing::Rect;

constexpr float kPi = 3.14159265f;
constexpr float kWidth = 64.0f, kHeight = 32.0f;

// The inside of a box kWidth x kWidth x kHeight standing on z = 0, every face facing in; the
// top is open, or (lid) covered but for a square hole a quarter of the width across.
std::vector<Rect> boxFaces(bool lid) {
    const float w = kWidth, h = kHeight;
    std::vector<Rect> faces = {{{0, 0, 0}, {w, 0, 0}, {0, w, 0}},
                               {{0, 0, 0}, {0, w, 0}, {0, 0, h}},
                               {{w, 0, 0}, {0, 0, h}, {0, w, 0}},
                               {{0, 0, 0}, {0, 0, h}, {w, 0, 0}},
                               {{0, w, 0}, {w, 0, 0}, {0, 0, h}}};
    if (lid) {
        const float a = w * 3 / 8, b = w * 5 / 8;
        faces.push_back({{0, 0, h}, {0, w, 0}, {a, 0, 0}});
        faces.push_back({{b, 0, h}, {0, w, 0}, {w - b, 0, 0}});
        faces.push_back({{a, 0, h}, {0, a, 0}, {b - a, 0, 0}});
        faces.push_back({{a, b, h}, {0, w - b, 0}, {b - a, 0, 0}});
    }
    return faces;
}

// Coefficient 0 of each basis at an atlas texel of a bake's shtex0.dds (slice 6, channel k).
std::array<float, 3> band0(const std::string& dir, int32_t texel) {
    const Image image = testing::readDDS(dir + "/shtex0.dds");
    const auto* slice = reinterpret_cast<const uint16_t*>(image.getLevelData(0)) +
                        6 * size_t(image.width()) * size_t(image.height()) * 4;
    return {halfToFloat(slice[size_t(texel) * 4]), halfToFloat(slice[size_t(texel) * 4 + 1]),
            halfToFloat(slice[size_t(texel) * 4 + 2])};
}

// Bakes the box into a fresh folder and gives its path.
std::string bake(const TempDir& out, bool lid, int rays, int bounces, float albedo,
                 unsigned threads = 2, uint64_t keptHitBytes = kDefaultKeptHitBytes) {
    testing::bakeModel(*testing::rectModel({boxFaces(lid)}), out.path().string(), rays,
                       [&](PrtBakeSettings& settings) {
                           settings.keptHitBytes = keptHitBytes;
                           settings.bounces = bounces;
                           settings.albedo = albedo;
                           settings.walk.threads = threads;
                       });
    return out.path().string() + "/";
}

// The radiosity of the open box under a uniform sky of radiance 1: every face cut into patches
// of 4 x 4 units; from each patch centre a grid of cosine-weighted directions is followed to
// where it leaves the box, giving the share of each patch (and of the sky) in its irradiance.
class BoxRadiosity {
public:
    explicit BoxRadiosity(float albedo) : m_albedo(albedo), m_faces(boxFaces(false)) {
        for (const Rect& f : m_faces) {
            m_first.push_back(m_patches.size());
            const int nu = int(std::lround(length(f.a) / 4)),
                      nv = int(std::lround(length(f.b) / 4));
            m_counts.push_back({nu, nv});
            for (int j = 0; j < nv; ++j)
                for (int i = 0; i < nu; ++i)
                    m_patches.push_back(f.corner + f.a * ((i + 0.5f) / nu) +
                                        f.b * ((j + 0.5f) / nv));
        }
        const size_t n = m_patches.size();
        m_share.assign(n * n, 0.0f);
        m_sky.assign(n, 0.0f);
        constexpr int kGrid = 40;
        size_t patch = 0;
        for (size_t f = 0; f < m_faces.size(); ++f) {
            const Vec3 t = normalized(m_faces[f].a), b = normalized(m_faces[f].b);
            const Vec3 normal = normalized(cross(m_faces[f].a, m_faces[f].b));
            for (size_t p = 0; p < size_t(m_counts[f][0] * m_counts[f][1]); ++p, ++patch) {
                for (int a = 0; a < kGrid; ++a)
                    for (int c = 0; c < kGrid; ++c) {
                        const float u = (a + 0.5f) / kGrid, phi = 2 * kPi * (c + 0.5f) / kGrid;
                        const float r = std::sqrt(u);
                        const Vec3 w = t * (r * std::cos(phi)) + b * (r * std::sin(phi)) +
                                       normal * std::sqrt(1 - u);
                        const long hit = exit(m_patches[patch], w);
                        const float share = kPi / (kGrid * kGrid); // of the cosine integral
                        if (hit < 0)
                            m_sky[patch] += share;
                        else
                            m_share[patch * n + size_t(hit)] += share / kPi;
                    }
            }
        }
    }

    // Irradiance of every patch after bounces bounces (0: the sky alone).
    std::vector<float> irradiance(int bounces) const {
        const size_t n = m_patches.size();
        std::vector<float> e = m_sky;
        for (int b = 0; b < bounces; ++b) {
            std::vector<float> next = m_sky;
            for (size_t i = 0; i < n; ++i)
                for (size_t j = 0; j < n; ++j)
                    next[i] += m_albedo * m_share[i * n + j] * e[j];
            e.swap(next);
        }
        return e;
    }

    // The light that bounces bounces add at point p of the floor through the lobe
    // max(0, d.w): the light the walls pass on after bounces - 1 bounces, gathered over the
    // upper hemisphere (a fine grid of equal solid angles).
    float bounced(const Vec3& p, const Vec3& d, int bounces) const {
        const std::vector<float> e = irradiance(bounces - 1);
        constexpr int kGrid = 200;
        double sum = 0;
        for (int a = 0; a < kGrid; ++a)
            for (int c = 0; c < kGrid; ++c) {
                const float z = (a + 0.5f) / kGrid, phi = 2 * kPi * (c + 0.5f) / kGrid;
                const float r = std::sqrt(1 - z * z);
                const Vec3 w{r * std::cos(phi), r * std::sin(phi), z};
                const float lobe = dot(d, w);
                const long hit = exit(p, w);
                if (lobe > 0 && hit >= 0) sum += m_albedo / kPi * e[size_t(hit)] * lobe;
            }
        return float(sum * 2 * kPi / (kGrid * kGrid));
    }

private:
    // The patch where the ray from p along w leaves the box, or -1 through the open top.
    long exit(const Vec3& p, const Vec3& w) const {
        float best = 1e30f;
        long found = -1;
        for (size_t f = 0; f < m_faces.size(); ++f) {
            const Rect& face = m_faces[f];
            const Vec3 n = normalized(cross(face.a, face.b));
            const float toward = dot(w, n);
            if (!(toward < 0)) continue;
            const float t = dot(face.corner - p, n) / toward;
            if (!(t > 1e-4f) || t >= best) continue;
            const Vec3 q = p + w * t - face.corner;
            const float u = dot(q, face.a) / dot(face.a, face.a);
            const float v = dot(q, face.b) / dot(face.b, face.b);
            if (u < -1e-4f || u > 1.0001f || v < -1e-4f || v > 1.0001f) continue;
            const int nu = m_counts[f][0], nv = m_counts[f][1];
            const int i = std::min(nu - 1, std::max(0, int(u * nu)));
            const int j = std::min(nv - 1, std::max(0, int(v * nv)));
            best = t;
            found = long(m_first[f] + size_t(j * nu + i));
        }
        const float up = w.z > 0 ? (kHeight - p.z) / w.z : 1e30f;
        return up < best ? -1 : found;
    }

    float m_albedo;
    std::vector<Rect> m_faces;
    std::vector<size_t> m_first;
    std::vector<std::array<int, 2>> m_counts;
    std::vector<Vec3> m_patches;
    std::vector<float> m_share, m_sky;
};

TEST(Interreflection, OpenBoxFloorMatchesARadiositySolve) {
    constexpr float kAlbedo = 0.8f;
    constexpr int kRays = 1024; // a square: no g * g / R scaling
    TempDir shadowed, one, three;
    // The floor centre's texel, where the bake packs it.
    PolyPack pack(4, 3, 4);
    testing::packModel(pack, *testing::rectModel({boxFaces(false)}), 19, FORMAT_RGBA16F, false);
    const Vec3 centre{kWidth / 2, kWidth / 2, 0};
    const int32_t texel = pack.atlasTexelAt(0, centre);
    ASSERT_GE(texel, 0);
    const auto t0 = band0(bake(shadowed, false, kRays, 0, kAlbedo), texel);
    const auto t1 = band0(bake(one, false, kRays, 1, kAlbedo), texel);
    const auto t3 = band0(bake(three, false, kRays, 3, kAlbedo), texel);

    // A uniform sky of radiance 1 has coefficient 0 = 4 pi Y00, so transfer coefficient 0
    // times that is the light through the lobe. The floor's frame: tangent +x, binormal +y.
    const BoxRadiosity solve(kAlbedo);
    const float sky0 = 4 * kPi * 0.2820948f;
    for (size_t k = 0; k < 3; ++k) {
        const float* b = SHTextureBuilder::kBasis[k];
        const Vec3 d{b[0], b[1], b[2]};
        const float expect1 = solve.bounced(centre, d, 1), expect3 = solve.bounced(centre, d, 3);
        // Sampling noise and the texels' spacing: within 4%.
        EXPECT_NEAR((t1[k] - t0[k]) * sky0, expect1, 0.04f * expect1) << k;
        EXPECT_NEAR((t3[k] - t0[k]) * sky0, expect3, 0.04f * expect3) << k;
        EXPECT_GT(expect3, expect1 * 1.2f) << "later bounces add light";
    }
}

// The bounces read the first walk's hits from memory, or cast the rays again where no memory
// is allowed them (0) or the budget runs out part way through the first walk (4 KiB): the
// bytes are the same every way and on any thread count.
TEST(Interreflection, NoAlbedoGivesTheShadowedBytesAndThreadsOrKeptHitsChangeNothing) {
    TempDir plain, dark, oneThread, rewalked, overBudget;
    bake(plain, true, 64, 0, -1.0f);
    bake(dark, true, 64, 2, 0.0f);
    for (const char* name : {"shtex0.dds", "shtex1.dds", "shtex2.dds", "models/saved.vmsh"})
        EXPECT_TRUE(plain.read(name) == dark.read(name)) << name;
    bake(oneThread, true, 64, 2, 0.6f, 1);
    bake(rewalked, true, 64, 2, 0.6f, 2, 0);
    bake(overBudget, true, 64, 2, 0.6f, 2, 4096);
    for (const char* name : {"shtex0.dds", "shtex1.dds", "shtex2.dds"}) {
        const std::string expected = oneThread.read(name);
        for (const TempDir* other : {&rewalked, &overBudget}) // both on two threads
            EXPECT_TRUE(other->read(name) == expected) << name << " of " << other->path();
        EXPECT_FALSE(expected == plain.read(name)) << name;
    }
}

// A surface's albedo is the luminance, 0.2126 R + 0.7152 G + 0.0722 B, of the mean colour of
// its material's diffuse texture; a material without one is named once as missing.
TEST(Interreflection, SurfaceAlbedoIsTheLuminanceOfTheDiffuseTexturesMeanColour) {
    CodecMgr codecs;
    registerStandardCodecs(codecs);
    TempDir dir;
    struct Case {
        const char* material;
        ImageFormat format;
        std::vector<uint8_t> texels;
        float albedo;
    };
    const std::vector<Case> cases = {
        {"red", FORMAT_RGB8, {255, 0, 0}, 0.2126f},
        {"green", FORMAT_RGB8, {0, 255, 0}, 0.7152f},
        {"blue", FORMAT_RGBA8, {0, 0, 255, 17}, 0.0722f},
        {"mixed", FORMAT_RGBA8, {255, 0, 0, 0, 0, 255, 0, 0}, 0.5f * (0.2126f + 0.7152f)},
        {"grey", FORMAT_L8, {51}, 0.2f},
    };
    std::string script;
    auto model = std::make_shared<Model>();
    for (const Case& c : cases) {
        Image image;
        const auto width = static_cast<int32_t>(c.texels.size()) / bytesPerPixel(c.format);
        std::copy(c.texels.begin(), c.texels.end(), image.create(width, 1, 1, c.format, 1, 1));
        ASSERT_TRUE(image.save(dir.file(std::string(c.material) + ".dds"))) << c.material;
        script +=
            std::string(c.material) + " {\n \"diffuseMap\" texture \"" + c.material + ".dds\"\n}\n";
        const auto surface = testing::rectSurface({testing::openFloor()});
        surface->setMaterial(c.material);
        model->addSurface(surface);
    }
    const auto bare = testing::rectSurface({testing::openFloor()});
    bare->setMaterial("bare");
    model->addSurface(bare);
    dir.write("materials.mtr", script + "bare {\n}\n");

    std::vector<std::string> missing;
    const std::vector<float> albedos =
        surfaceAlbedos(*model, dir.path().string(), "materials.mtr", missing);
    ASSERT_EQ(albedos.size(), cases.size() + 1);
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_NEAR(albedos[i], cases[i].albedo, 1e-6f) << cases[i].material;
    EXPECT_EQ(albedos.back(), -1.0f);
    EXPECT_EQ(missing, std::vector<std::string>{"bare"});
}

} // namespace
} // namespace Vrenn
