// Interreflected transfer against a solution of our own: a radiosity solve of an open-topped
// box written here (ray-box exits, no tree, no SH).

#include "BakeScenes.h"
#include "core/Vector3.h"
#include "fs/DDSCodec.h"
#include "fs/DiskFile.h"
#include "fs/HalfFloat.h"
#include "fs/Image.h"
#include "prt/PrtScene.h"
#include "support/TempDir.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

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

// Coefficient 0 of each basis of every covered texel of a bake's shtex0.dds (slice 6, channel
// k), by atlas texel.
std::vector<std::array<float, 3>> readBand0(const std::string& dir) {
    Image image;
    std::shared_ptr<File> file = std::make_shared<DiskFile>(dir + "/shtex0.dds", DISK_READ);
    EXPECT_TRUE(DDSCodec().decode(file, image));
    const size_t texels = size_t(image.width()) * size_t(image.height());
    const uint8_t* slice = image.getLevelData(0) + 6 * texels * 8;
    std::vector<std::array<float, 3>> out(texels);
    for (size_t t = 0; t < texels; ++t)
        for (int k = 0; k < 3; ++k) {
            uint16_t half;
            std::memcpy(&half, slice + t * 8 + size_t(k) * 2, 2);
            out[t][size_t(k)] = halfToFloat(half);
        }
    return out;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Baked {
    TempDir dir;
    std::string path() const { return dir.path().string(); }
};

void bake(const Baked& out, bool lid, int rays, int bounces, float albedo, unsigned threads = 2,
          uint64_t keptHitBytes = kDefaultKeptHitBytes) {
    PrtBakeSettings settings;
    settings.keptHitBytes = keptHitBytes;
    settings.rays = rays;
    settings.bounces = bounces;
    settings.albedo = albedo;
    settings.outputDir = out.path();
    settings.walk.threads = threads;
    PrtBakeResult result;
    ASSERT_TRUE(rebuildPrtScene(*testing::rectModel({boxFaces(lid)}), settings, result));
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
    Baked shadowed, one, three;
    bake(shadowed, false, kRays, 0, kAlbedo);
    bake(one, false, kRays, 1, kAlbedo);
    bake(three, false, kRays, 3, kAlbedo);

    // The floor centre's texel, where the bake packs it.
    PolyPack pack(4, 3, 4);
    testing::packModel(pack, *testing::rectModel({boxFaces(false)}), 19, FORMAT_RGBA16F, false);
    const Vec3 centre{kWidth / 2, kWidth / 2, 0};
    const int32_t texel = pack.atlasTexelAt(0, centre);
    ASSERT_GE(texel, 0);
    const auto t0 = readBand0(shadowed.path())[size_t(texel)];
    const auto t1 = readBand0(one.path())[size_t(texel)];
    const auto t3 = readBand0(three.path())[size_t(texel)];

    // A uniform sky of radiance 1 has coefficient 0 = 4 pi Y00, so transfer coefficient 0
    // times that is the light through the lobe. The floor's frame: tangent +x, binormal +y.
    const BoxRadiosity solve(kAlbedo);
    const float sky0 = 4 * kPi * 0.2820948f;
    for (int k = 0; k < 3; ++k) {
        const float* b = SHTextureBuilder::kBasis[k];
        const Vec3 d{b[0], b[1], b[2]};
        const float expect1 = solve.bounced(centre, d, 1), expect3 = solve.bounced(centre, d, 3);
        // Sampling noise of 512 rays and the texels' spacing: within 4%.
        EXPECT_NEAR((t1[size_t(k)] - t0[size_t(k)]) * sky0, expect1, 0.04f * expect1) << k;
        EXPECT_NEAR((t3[size_t(k)] - t0[size_t(k)]) * sky0, expect3, 0.04f * expect3) << k;
        EXPECT_GT(expect3, expect1 * 1.2f) << "later bounces add light";
    }
}

// The bounces read the first walk's hits from memory, or cast the rays again where no memory
// is allowed them (0) or the budget runs out part way through the first walk (4 KiB): the
// bytes are the same every way and on any thread count.
TEST(Interreflection, NoAlbedoGivesTheShadowedBytesAndThreadsOrKeptHitsChangeNothing) {
    Baked plain, dark, oneThread, twoThreads, rewalked, overBudget;
    bake(plain, true, 64, 0, -1.0f);
    bake(dark, true, 64, 2, 0.0f);
    for (const char* name : {"shtex0.dds", "shtex1.dds", "shtex2.dds", "models/saved.vmsh"})
        EXPECT_TRUE(readAll(plain.path() + "/" + name) == readAll(dark.path() + "/" + name))
            << name;
    bake(oneThread, true, 64, 2, 0.6f, 1);
    bake(twoThreads, true, 64, 2, 0.6f, 2);
    bake(rewalked, true, 64, 2, 0.6f, 2, 0);
    bake(overBudget, true, 64, 2, 0.6f, 2, 4096);
    for (const char* name : {"shtex0.dds", "shtex1.dds", "shtex2.dds"}) {
        const std::string expected = readAll(oneThread.path() + "/" + name);
        for (const Baked* other : {&twoThreads, &rewalked, &overBudget})
            EXPECT_TRUE(readAll(other->path() + "/" + name) == expected)
                << name << " of " << other->path();
        EXPECT_FALSE(expected == readAll(plain.path() + "/" + name)) << name;
    }
}

} // namespace
} // namespace Vrenn
