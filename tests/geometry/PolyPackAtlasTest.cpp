#include "GeometryTestSupport.h"
#include "fs/Image.h"
#include "geometry/PolyPack.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <thread>

namespace Vrenn::Test {
namespace {

// Hands every texel to a callback and records the visits per worker, without locks.
class RecordingBaker : public TexelBaker {
public:
    struct Visit {
        Vec3 position;
        uint32_t polygon;
        uint8_t* texel;
        size_t planeBytes;
    };
    std::function<void(const Visit&)> write;
    std::vector<std::vector<Visit>> visits;

    bool beginWalk(unsigned count) override {
        visits.assign(count, {});
        return true;
    }
    void processTexel(const Vec3& position, const TangentFrame&, uint32_t polygon, uint8_t* texel,
                      size_t planeBytes, unsigned worker) override {
        visits.at(worker).push_back({position, polygon, texel, planeBytes});
        if (write) write(visits[worker].back());
    }
    std::vector<Visit> all() const {
        std::vector<Visit> out;
        for (const auto& v : visits)
            out.insert(out.end(), v.begin(), v.end());
        return out;
    }
};

struct Texel {
    int x, y;
    bool operator<(const Texel& o) const { return y != o.y ? y < o.y : x < o.x; }
};

// The texel a visit's address stands for.
Texel texelOf(const PolyPack& pack, const uint8_t* address) {
    const Image& image = *pack.bakeImage();
    const size_t offset = size_t(address - image.data()) / size_t(bytesPerPixel(image.format()));
    return {int(offset % size_t(image.width())), int(offset / size_t(image.width()))};
}

uint64_t coveredTexels(const PolyPack& pack) {
    const auto& bytes = pack.coverage().bytes();
    return uint64_t(std::count_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; }));
}

// A 40 x 20 quad facing +y (40 along x) and a right triangle with 12-unit legs above it,
// packed into an atlas of the given planes and format (and its tree built).
struct TwoCharts {
    explicit TwoCharts(int planes = 1, ImageFormat format = FORMAT_L8) : pack(4, 3, 4) {
        quad = quadsMesh({{Vec3{0, 0, 0}, Vec3{0, 0, 20}, Vec3{40, 0, 0}}});
        triangle = makeMesh({{0, 5, 0}, {0, 5, 12}, {12, 5, 0}}, {0, 1, 2});
        EXPECT_TRUE(triangle->computeNormals());
        EXPECT_TRUE(pack.addSurface(quad, true, true));
        EXPECT_TRUE(pack.addSurface(triangle, true, false));
        EXPECT_TRUE(pack.packAtlas(32, 32, planes, format, 1, 4.0f));
        EXPECT_TRUE(pack.buildTree());
    }
    std::shared_ptr<Mesh> quad, triangle;
    PolyPack pack;
};

// Each covered texel gets 8 values (2 planes of 4 channels) made from its place.
float placeValue(int t, size_t v) {
    return float(t % 32 + 100 * (t / 32) + 10 * int(v % 4)) * (v < 4 ? 1.0f : -0.5f);
}

void writePlaceValues(const PolyPack& pack, const RecordingBaker::Visit& visit) {
    const Texel t = texelOf(pack, visit.texel);
    for (size_t v = 0; v < 8; ++v) {
        const float value = placeValue(t.y * 32 + t.x, v);
        std::memcpy(visit.texel + v / 4 * visit.planeBytes + 4 * (v % 4), &value, 4);
    }
}

// The charts of a 32 x 32 bake of place values dilate ring by ring over their rectangles.
void expectDilated(const PolyPack& pack, const BakeStats& stats) {
    // The expected image, dilated ring by ring over the triangle's rectangle: each ring takes
    // the weighted mean (edge neighbours 2, corner ones 1) of what the chart and the earlier
    // rings hold there.
    const AtlasRect& rect = pack.polygons()[1].atlas;
    auto inRect = [&](int x, int y) {
        return x >= rect.x && x < rect.x + rect.placedWidth() && y >= rect.y &&
               y < rect.y + rect.placedHeight();
    };
    std::vector<double> expected(32 * 32 * 8, 0.0);
    std::vector<bool> known(32 * 32);
    for (int t = 0; t < 32 * 32; ++t) {
        known[size_t(t)] = pack.coverage().covered(t % 32, t / 32);
        for (size_t v = 0; v < 8 && known[size_t(t)]; ++v)
            expected[size_t(t) * 8 + v] = placeValue(t, v);
    }
    int filled = 0, rings = 0;
    for (bool grew = true; grew; ++rings) {
        std::vector<bool> next = known;
        std::vector<double> values = expected;
        grew = false;
        for (int t = 0; t < 32 * 32; ++t) {
            const int x = t % 32, y = t / 32;
            if (known[size_t(t)] || !inRect(x, y)) continue;
            double weight = 0;
            std::array<double, 8> sum{};
            for (int d = 0; d < 9; ++d) {
                const int nx = x + d % 3 - 1, ny = y + d / 3 - 1;
                if (d == 4 || !inRect(nx, ny) || !known[size_t(ny * 32 + nx)]) continue;
                const double w = d % 2 ? 2 : 1;
                for (size_t v = 0; v < 8; ++v)
                    sum[v] += w * expected[size_t(ny * 32 + nx) * 8 + v];
                weight += w;
            }
            if (weight == 0) continue;
            for (size_t v = 0; v < 8; ++v)
                values[size_t(t) * 8 + v] = sum[v] / weight;
            next[size_t(t)] = grew = true;
            ++filled;
        }
        known.swap(next);
        expected.swap(values);
    }
    EXPECT_GT(rings, 2); // the triangle leaves more than one ring of its rectangle to dilate
    const auto* image = reinterpret_cast<const float*>(pack.bakeImage()->data());
    for (int t = 0; t < 32 * 32; ++t) {
        // The whole rectangle holds values; nothing outside the charts' rectangles does.
        EXPECT_TRUE(!inRect(t % 32, t / 32) || known[size_t(t)]) << t;
        for (size_t v = 0; v < 8; ++v) {
            const double want = expected[size_t(t) * 8 + v];
            EXPECT_NEAR(image[v / 4 * 32 * 32 * 4 + size_t(t) * 4 + v % 4], want,
                        1e-3 * (1 + std::fabs(want)))
                << t % 32 << "," << t / 32 << " value " << v;
        }
    }
    EXPECT_GT(filled, 0);
    EXPECT_EQ(stats.gutter, uint64_t(filled));
}

TEST(PolyPackAtlas, PlacesChartsLogsThemMarksTheirCoverageAndWritesTheirCoordinates) {
    LogCapture log;
    TwoCharts scene;
    const PolyPack& pack = scene.pack;
    EXPECT_EQ(std::tuple(pack.atlasWidth(), pack.atlasHeight(), pack.bakeImage()->width(),
                         pack.bakeImage()->depth()),
              std::tuple(32, 32, 32, 1));
    // 40 x 20 units at 4 units per texel: 10 + 1 by 5 + 1 texels. The triangle's U runs along
    // its 16.97-unit hypotenuse, V across its 8.49-unit height: 6 x 4; it goes below the quad.
    const AtlasRect &q = pack.polygons()[0].atlas, &t = pack.polygons()[1].atlas;
    EXPECT_EQ(std::tuple(q.width, q.height, t.width, t.height), std::tuple(11, 6, 6, 4));
    EXPECT_NE(log.text().find("poly 0 0 0 11*6\npoly 1 0 6 6*4\n"), std::string::npos)
        << log.text();

    // The quad fills its rectangle; the triangle about half of its own.
    int quadTexels = 0, triangleTexels = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            if (!pack.coverage().covered(x, y)) continue;
            const bool inQuad = x < 11 && y < 6;
            const bool inTriangle = x >= t.x && x < t.x + 6 && y >= t.y && y < t.y + 4;
            EXPECT_TRUE(inQuad || inTriangle) << x << "," << y;
            quadTexels += inQuad;
            triangleTexels += inTriangle;
        }
    EXPECT_EQ(quadTexels, 66);
    EXPECT_TRUE(triangleTexels >= 10 && triangleTexels <= 18) << triangleTexels;

    // The quad's corners sit on the centres of its rectangle's corner texels, each with an
    // offset of half a texel along both atlas axes, away from the rectangle.
    const VertexAttribute coords = scene.quad->attribute(USAGE_TEXCOORD, 1);
    ASSERT_EQ(coords.components(), 4u);
    std::set<std::pair<float, float>> corners;
    for (uint32_t i = 0; i < 4; ++i) {
        const float u = coords.get(i, 0) * 32.0f - 0.5f, v = coords.get(i, 1) * 32.0f - 0.5f;
        EXPECT_TRUE((u == 0.0f || u == 10.0f) && (v == 0.0f || v == 5.0f)) << u << "," << v;
        corners.insert({u, v});
        EXPECT_FLOAT_EQ(coords.get(i, 2) * 32.0f, u == 0.0f ? -0.5f : 0.5f);
        EXPECT_FLOAT_EQ(coords.get(i, 3) * 32.0f, v == 0.0f ? -0.5f : 0.5f);
    }
    EXPECT_EQ(corners.size(), 4u);
    // The triangle's surface asked for no corner offsets.
    const VertexAttribute triangle = scene.triangle->attribute(USAGE_TEXCOORD, 1);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(std::pair(triangle.get(i, 2), triangle.get(i, 3)), std::pair(0.0f, 0.0f));
        const float u = triangle.get(i, 0) * 32.0f - 0.5f, v = triangle.get(i, 1) * 32.0f - 0.5f;
        EXPECT_TRUE(u >= 0.0f && u <= 5.0f && v >= 6.0f && v <= 9.0f) << u << "," << v;
    }
}

TEST(PolyPackAtlas, AnAtlasThatCannotHoldEveryChartFailsAndChangesNothing) {
    // Charts of 3000 units are 751 texels: only one fits the largest (1024 x 1024) atlas.
    LogCapture log;
    PolyPack pack(4, 3, 4);
    auto mesh = quadsMesh({{Vec3{0, 0, 0}, Vec3{0, 0, 3000}, Vec3{3000, 0, 0}},
                           {Vec3{0, 10, 0}, Vec3{0, 0, 3000}, Vec3{3000, 0, 0}}});
    ASSERT_TRUE(pack.addSurface(mesh, true, true));
    EXPECT_FALSE(pack.packAtlas(32, 32, 19, FORMAT_RGBA16F, 1, 4.0f));
    EXPECT_EQ(log.text(), "PolyPack::packAtlas: 1 of 2 rectangles did not fit an atlas of "
                          "1024x1024 texels\n");
    EXPECT_FALSE(pack.hasAtlas());
    EXPECT_EQ(mesh->findElementRecord(USAGE_TEXCOORD, 1), nullptr);
    RecordingBaker baker;
    EXPECT_FALSE(pack.bake(baker));
    // Settings that cannot make an atlas are refused the same way.
    EXPECT_FALSE(pack.packAtlas(32, 32, 0, FORMAT_RGBA16F, 1, 4.0f));
    EXPECT_FALSE(pack.packAtlas(32, 32, 1, FORMAT_DXT1, 1, 4.0f));
    EXPECT_FALSE(pack.packAtlas(32, 32, 1, FORMAT_L8, 1, 0.0f));
    EXPECT_FALSE(pack.packAtlas(32, 32, 1, FORMAT_L8, 1, std::nanf("")));
}

TEST(PolyPackAtlas, TheWalkVisitsEveryCoveredTexelOnceAtItsPlaceAndDilatesTheCharts) {
    for (unsigned threads : {1u, 3u}) {
        TwoCharts scene(2, FORMAT_RGBA32F);
        PolyPack& pack = scene.pack;
        RecordingBaker baker;
        baker.write = [&](const RecordingBaker::Visit& visit) { writePlaceValues(pack, visit); };
        BakeOptions options;
        options.threads = threads;
        uint64_t lastDone = 0, lastTotal = 0;
        options.progress = [&](uint64_t done, uint64_t total) {
            EXPECT_GE(done, lastDone);
            lastDone = done;
            lastTotal = total;
        };
        BakeStats stats;
        ASSERT_TRUE(pack.bake(baker, options, &stats));
        EXPECT_EQ(baker.visits.size(), threads);
        EXPECT_EQ(stats.workers, threads);

        std::map<Texel, RecordingBaker::Visit> seen;
        for (const auto& visit : baker.all()) {
            const Texel texel = texelOf(pack, visit.texel);
            EXPECT_TRUE(seen.emplace(texel, visit).second) << "texel visited twice";
            EXPECT_TRUE(pack.coverage().covered(texel.x, texel.y));
            EXPECT_EQ(visit.planeBytes, size_t(32 * 32 * 16));
        }
        const uint64_t covered = coveredTexels(pack);
        EXPECT_EQ(std::tuple(seen.size(), stats.texels, lastDone, lastTotal),
                  std::tuple(covered, covered, covered, covered));
        expectDilated(pack, stats);

        // The quad's rectangle spans it corner to corner, a texel every 4 units; every texel of
        // the triangle lies in its plane, within a texel of it.
        const auto at = [&](int x, int y) { return seen.at(Texel{x, y}).position; };
        std::set<std::tuple<float, float, float>> quadCorners;
        for (Texel corner : {Texel{0, 0}, Texel{10, 0}, Texel{0, 5}, Texel{10, 5}}) {
            const Vec3 p = at(corner.x, corner.y);
            quadCorners.insert({std::round(p.x), std::round(p.y), std::round(p.z)});
            EXPECT_NEAR(length(p - Vec3{std::round(p.x), p.y, std::round(p.z)}), 0.0f, 1e-4);
        }
        EXPECT_EQ(quadCorners, (std::set<std::tuple<float, float, float>>{
                                   {0, 0, 0}, {40, 0, 0}, {0, 0, 20}, {40, 0, 20}}));
        EXPECT_NEAR(length(at(1, 0) - at(0, 0)), 4.0f, 1e-4);
        EXPECT_NEAR(length(at(0, 1) - at(0, 0)), 4.0f, 1e-4);
        for (const auto& [texel, visit] : seen)
            if (visit.polygon == 1) {
                EXPECT_NEAR(visit.position.y, 5.0f, 1e-5);
                EXPECT_LE(visit.position.x + visit.position.z, 12.0f + 4.0f);
            }

        // A list naming a polygon twice (or one that does not exist) walks it once.
        const std::vector<uint32_t> some = {1, 7, 1};
        options.polygons = &some;
        options.progress = nullptr;
        RecordingBaker again;
        ASSERT_TRUE(pack.bake(again, options, &stats));
        std::set<Texel> once;
        for (const auto& visit : again.all()) {
            EXPECT_EQ(visit.polygon, 1u);
            EXPECT_TRUE(once.insert(texelOf(pack, visit.texel)).second);
        }
        EXPECT_EQ(stats.texels, once.size());
    }
}

// A stop asked for while the walk runs abandons it within a progress tick and a run of texels,
// long before the walk of a 160 x 80 quad's 800 texels would end.
TEST(PolyPackAtlas, AStopAbandonsTheWalk) {
    for (unsigned threads : {1u, 2u}) {
        PolyPack pack(4, 3, 4);
        ASSERT_TRUE(pack.addSurface(quadsMesh({{Vec3{0, 0, 0}, Vec3{0, 0, 80}, Vec3{160, 0, 0}}}),
                                    true, true));
        ASSERT_TRUE(pack.packAtlas(32, 32, 1, FORMAT_RGBA32F, 1, 4.0f));
        ASSERT_TRUE(pack.buildTree());
        RecordingBaker baker;
        std::atomic<bool> stop{false};
        baker.write = [&](const RecordingBaker::Visit&) {
            stop = true; // asked for as soon as the walk begins
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        };
        BakeOptions options;
        options.threads = threads;
        options.stop = [&] { return stop.load(); };
        LogCapture log;
        EXPECT_FALSE(pack.bake(baker, options));
        const size_t visited = baker.all().size();
        const uint64_t covered = coveredTexels(pack);
        EXPECT_LT(visited, covered / 2) << threads;
        EXPECT_NE(log.text().find("PolyPack::bake: stopped on request after " +
                                  std::to_string(visited) + " of " + std::to_string(covered) +
                                  " texels\n"),
                  std::string::npos)
            << log.text();
    }
}

TEST(PolyPackAtlas, DegeneratePolygonsStayInsideTheImageAndNeverBlock) {
    // A sliver (three points on a line), a point (one vertex three times) and a real quad.
    PolyPack pack(4, 3, 4);
    auto sliver = makeMesh({{0, 0, 0}, {8, 0, 0}, {16, 0, 0}, {0, 3, 0}, {0, 3, 0}, {0, 3, 0}},
                           {0, 1, 2, 3, 4, 5});
    ASSERT_TRUE(pack.addSurface(sliver, true, true));
    ASSERT_TRUE(pack.addSurface(quadsMesh({{Vec3{-20, -10, -20}, Vec3{0, 0, 40}, Vec3{40, 0, 0}}}),
                                true, true));
    ASSERT_TRUE(pack.packAtlas(32, 32, 3, FORMAT_RGBA16F, 1, 4.0f));
    ASSERT_TRUE(pack.buildTree());
    const VertexAttribute coords = sliver->attribute(USAGE_TEXCOORD, 1);
    for (uint32_t i = 0; i < coords.vertexCount(); ++i)
        for (uint32_t c = 0; c < 4; ++c) {
            const float value = coords.get(i, c);
            EXPECT_TRUE(std::isfinite(value) && (c >= 2 || (value >= 0.0f && value <= 1.0f)))
                << i << "," << c << ": " << value;
        }

    RecordingBaker baker;
    const Image& image = *pack.bakeImage();
    baker.write = [&](const RecordingBaker::Visit& visit) {
        EXPECT_TRUE(isFinite(visit.position));
        EXPECT_GE(visit.texel, image.data());
        EXPECT_LT(visit.texel + 2 * visit.planeBytes + 8, image.data() + image.byteCount() + 1);
        std::memset(visit.texel, 0x3c, 8);
    };
    ASSERT_TRUE(pack.bake(baker, {}));
    // A segment through the sliver's and the point's places hits nothing but the quad.
    Vec3 hit;
    int32_t polygon = 7;
    EXPECT_TRUE(pack.rayTest({4, 1, 0.0f}, {4, -1000, 0}, hit, polygon));
    EXPECT_EQ(polygon, 2);
    EXPECT_NEAR(hit.y, -10.0f, 1e-4);
    EXPECT_FALSE(pack.rayTest({4, 1, 0.0f}, {4, 1000, 0}, hit, polygon));
}

} // namespace
} // namespace Vrenn::Test
