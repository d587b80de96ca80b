#include "prt/PrtScene.h"

#include "BakeScenes.h"
#include "ReferenceSH.h"
#include "config/CVar.h"
#include "core/StopRequest.h"
#include "fs/HalfFloat.h"
#include "geometry/GeometryTestSupport.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/VmshLoader.h"
#include "prt/BakePart.h"
#include "prt/SHTextureBuilder.h"
#include "support/TempDir.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::LogCapture;
using Test::TempDir;
using testing::openFloor;
using testing::readDDS;
using testing::Rect;
using testing::rectModel;
using testing::referenceSH;
using testing::SHBake;

using Coefficients = std::array<std::array<double, 25>, 3>; // per basis direction

// The tangent-space basis directions, written out.
const double kBasis[3][3] = {{std::sqrt(2.0 / 3.0), 0.0, std::sqrt(1.0 / 3.0)},
                             {-std::sqrt(1.0 / 6.0), std::sqrt(0.5), std::sqrt(1.0 / 3.0)},
                             {-std::sqrt(1.0 / 6.0), -std::sqrt(0.5), std::sqrt(1.0 / 3.0)}};

// Per basis k and coefficient i: the integral over the upper hemisphere (z > 0) of
// max(0, b_k . w) Y_i(w), by a dense midpoint rule in (cos theta, phi).
Coefficients openHemisphereTransfer() {
    const double pi = 3.14159265358979323846;
    const int zSteps = 800, phiSteps = 1600;
    Coefficients sum{};
    for (int i = 0; i < zSteps; ++i) {
        const double z = (i + 0.5) / zSteps;
        const double r = std::sqrt(1.0 - z * z);
        for (int j = 0; j < phiSteps; ++j) {
            const double phi = (j + 0.5) * 2.0 * pi / phiSteps;
            const double x = r * std::cos(phi), y = r * std::sin(phi);
            const auto y25 = referenceSH(x, y, z);
            for (int k = 0; k < 3; ++k) {
                const double lobe = kBasis[k][0] * x + kBasis[k][1] * y + kBasis[k][2] * z;
                if (lobe <= 0) continue;
                for (int c = 0; c < 25; ++c)
                    sum[size_t(k)][size_t(c)] += lobe * y25[size_t(c)];
            }
        }
    }
    const double cell = (1.0 / zSteps) * (2.0 * pi / phiSteps);
    for (auto& basis : sum)
        for (double& c : basis)
            c *= cell;
    return sum;
}

const Coefficients& openTransfer() {
    static const Coefficients reference = openHemisphereTransfer();
    return reference;
}

// Reads the coefficients of a texel back from the 19 half-float planes: coefficient 0 of basis
// k in plane 6 channel k, 1-8 in planes 2k and 2k + 1, 9-24 in planes 7 + 4k to 10 + 4k.
Coefficients readTexel(const Image& image, int x, int y) {
    const size_t plane = size_t(image.width()) * size_t(image.height()) * 8;
    auto half = [&](int p, int channel) {
        uint16_t h;
        std::memcpy(&h,
                    image.data() + size_t(p) * plane +
                        (size_t(y) * size_t(image.width()) + size_t(x)) * 8 + 2 * size_t(channel),
                    2);
        return double(halfToFloat(h));
    };
    Coefficients c{};
    for (int k = 0; k < 3; ++k) {
        c[size_t(k)][0] = half(6, k);
        for (int i = 1; i <= 8; ++i)
            c[size_t(k)][size_t(i)] = half(2 * k + (i - 1) / 4, (i - 1) % 4);
        for (int i = 9; i <= 24; ++i)
            c[size_t(k)][size_t(i)] = half(7 + 4 * k + (i - 9) / 4, (i - 9) % 4);
    }
    return c;
}

// Coefficients of polygon p's chart at texel i along its axis U and j along V (the rectangle
// may have been placed turned).
Coefficients texel(const SHBake& bake, uint32_t p, int i, int j) {
    const AtlasRect& r = bake.pack.polygons()[p].atlas;
    const auto t = r.texelPoint(float(i) / float(r.width - 1), float(j) / float(r.height - 1));
    return readTexel(*bake.pack.bakeImage(), int(std::lround(t[0])), int(std::lround(t[1])));
}

TEST(TransferBake, AnOpenSurfaceGetsTheProjectionOfItsHemisphereCutLobes) {
    // 4096 rays: 64 x 64 samples, weight 4 pi / 4096.
    SHBake bake(rectModel({{openFloor()}}), 4096);
    ASSERT_EQ(bake.samples, 4096u);
    const AtlasRect& rect = bake.pack.polygons()[0].atlas;
    ASSERT_EQ(rect.width * rect.height, 9);
    EXPECT_EQ(bake.stats.texels, 9u);
    // About half the samples lie above the surface and are traced.
    EXPECT_NEAR(double(bake.traced) / 9.0, 2048.0, 64.0);

    const Coefficients& expected = openTransfer();
    const Coefficients first = texel(bake, 0, 0, 0);
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 25; ++i)
            EXPECT_NEAR(first[size_t(k)][size_t(i)], expected[size_t(k)][size_t(i)], 0.01)
                << "basis " << k << " coefficient " << i;
    // Nothing blocks anywhere, so every texel holds the same numbers.
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(texel(bake, 0, i, j), first) << i << "," << j;
}

TEST(TransferBake, TheSHBuilderRefusesAnImageItCannotFill) {
    PolyPack pack(4, 3, 4);
    testing::packModel(pack, *rectModel({{openFloor()}}), 1, FORMAT_RGBA16F);
    SHTextureBuilder builder(16, 8192.0f, pack);
    EXPECT_EQ(AmbientTextureBuilder::current(), &builder);
    LogCapture log;
    EXPECT_FALSE(pack.bake(builder)); // no samples yet
    ASSERT_TRUE(builder.generateSamples());
    EXPECT_FALSE(pack.bake(builder)); // one plane where 19 are written
    EXPECT_NE(log.text().find("the bake image is not one this builder fills"), std::string::npos);
    for (size_t i = 0; i < pack.bakeImage()->byteCount(); ++i)
        ASSERT_EQ(pack.bakeImage()->data()[i], 0);
}

TEST(PrtScene, AFailedBakeLeavesEarlierFilesAsTheyWere) {
    TempDir dir;
    dir.write("shtex0.dds", "earlier");
    dir.write("models/saved.vmsh", "earlier model");
    PrtBakeSettings settings;
    settings.rays = 4;
    settings.outputDir = dir.path().string();
    PrtBakeResult result;
    LogCapture log;
    // A chart too large for any atlas, a ray count out of range, a model without triangles, an
    // output folder that cannot be written and a stop: each logs one line saying why.
    EXPECT_FALSE(rebuildPrtScene(*rectModel({{Rect{{0, 0, 0}, {5000, 0, 0}, {0, 5000, 0}}}}),
                                 settings, result));
    settings.rays = 0;
    EXPECT_FALSE(rebuildPrtScene(*testing::shadedScene(), settings, result));
    settings.rays = 4;
    Model empty;
    EXPECT_FALSE(rebuildPrtScene(empty, settings, result));
    settings.outputDir = dir.file("shtex0.dds"); // a file, not a folder
    EXPECT_FALSE(rebuildPrtScene(*testing::shadedScene(), settings, result));
    // A stop asked for (a signal) that the walk does not see: the writer abandons the files
    // before any is put in place, and the folders made for them go with them.
    settings.outputDir = dir.file("new/out");
    requestStop(15);
    EXPECT_FALSE(rebuildPrtScene(*testing::shadedScene(), settings, result));
    clearStopRequest();
    const std::string text = log.text();
    for (const std::string& line : std::vector<std::string>{
             "PolyPack::packAtlas: 1 of 1 rectangles did not fit",
             "PRT bake failed: the ray count must be from 1 to ",
             "PRT bake failed: the model has no polygons to bake\n",
             "PRT bake failed: cannot create " + dir.file("shtex0.dds/shtex0.dds"),
             "PRT bake failed: stopped on request"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;

    EXPECT_EQ(dir.read("shtex0.dds"), "earlier");
    EXPECT_EQ(dir.read("models/saved.vmsh"), "earlier model");
    // The two files and the models folder, no temporaries.
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(dir.path()), {}), 3);
}

TEST(PrtScene, TheAmbientBakeWritesOneByteOfOcclusionPerTexel) {
    TempDir dir;
    auto roofed = [] { return rectModel({{testing::roofedFloor()}, {testing::roof()}}); };
    const PrtBakeResult result =
        testing::bakeModel(*roofed(), dir.path().string(), 256, [](PrtBakeSettings& settings) {
            settings.walk.threads = 2;
            settings.ambient = true;
        });
    EXPECT_FALSE(std::filesystem::exists(dir.file("shtex0.dds")));
    const Image image = readDDS(dir.file("ambient.dds"));
    ASSERT_EQ(image.format(), FORMAT_L8);
    ASSERT_EQ(image.depth(), 1);
    ASSERT_EQ(image.width(), result.atlasWidth);

    // The same atlas again, to find the floor's chart: 40 units beyond the roof's edge a
    // texel sees nearly all the sky, cosine-weighted pi, times 1/4: 1 + int(252 pi / 4) = 198;
    // 40 units under the roof almost nothing.
    PolyPack pack(4, 3, 4);
    testing::packModel(pack, *roofed(), 1, FORMAT_L8, false);
    const AtlasRect& floor = pack.polygons()[0].atlas;
    auto at = [&](float a, float b) {
        const auto t = floor.texelPoint(a, b);
        return image.data()[std::lround(t[1]) * image.width() + std::lround(t[0])];
    };
    EXPECT_NEAR(at(1.0f, 0.5f), 198, 3);
    EXPECT_LT(at(0.0f, 0.5f), 10);
    EXPECT_GE(at(0.0f, 0.5f), 1);
}

TEST(PrtScene, StartUpLoadsTheModelAndBakesOnlyWhenAsked) {
    TempDir dir(true);
    ASSERT_TRUE(VmshLoader().save("scene.vmsh", *testing::shadedScene()));
    auto loaders = ModelLoaderFactory::createDefault();
    std::shared_ptr<Model> model;
    PrtBakeResult result;
    const auto texcoord1 = [&] {
        return model->surfaces()[0]->mesh()->findElementRecord(USAGE_TEXCOORD, 1) != nullptr;
    };
    {
        CVarManager cvars;
        cvars.LoadConfigText("model \"scene.vmsh\"\nmakebsp \"0\"\nnum_rays \"50\"\n");
        ASSERT_TRUE(preparePrtScene(*loaders, model, {}, result));
        ASSERT_TRUE(model);
        EXPECT_EQ(model->surfaces().size(), 3u);
        EXPECT_FALSE(std::filesystem::exists("shtex0.dds"));
        EXPECT_FALSE(texcoord1());

        cvars.SetInt("makebsp", 1);
        model.reset();
        ASSERT_TRUE(preparePrtScene(*loaders, model, {}, result));
        EXPECT_EQ(result.samples, 49u);
        EXPECT_TRUE(std::filesystem::exists("shtex0.dds"));
        EXPECT_TRUE(texcoord1());

        // texel_size: twice the world units per texel, about a quarter of the texels.
        const uint64_t texels = result.texels;
        cvars.LoadConfigText("texel_size \"8\"\n");
        ASSERT_TRUE(preparePrtScene(*loaders, model, {}, result));
        EXPECT_LT(result.texels * 3, texels);

        // num_bounces adds interreflection; a material without an albedo passes on the
        // default, and says so.
        const std::string shadowed = dir.read("shtex0.dds");
        cvars.LoadConfigText("num_bounces \"1\"\n");
        LogCapture log;
        ASSERT_TRUE(preparePrtScene(*loaders, model, {}, result));
        EXPECT_NE(log.text().find("no albedo for material \"test\""), std::string::npos);
        EXPECT_NE(dir.read("shtex0.dds"), shadowed);
    }
    // A model that cannot be loaded is never baked, nor are settings that are no numbers; the
    // first setting of a name counts.
    std::filesystem::remove("shtex0.dds");
    const std::shared_ptr<Model> before = model;
    const std::string count = " is not a whole number from ", units = " is not a number of world";
    for (const auto& [setting, why] :
         {std::pair{"model \"missing.vmsh\"", std::string("Failed to load missing.vmsh\n")},
          {"num_rays \"1e40\"", count + "1 to "},
          {"num_rays \"2.5\"", count + "1 to "},
          {"texel_size \"0\"", units},
          {"texel_size \"-4\"", units},
          {"texel_size \"nan\"", units},
          {"texel_size \"4 units\"", units},
          {"num_bounces \"one\"", count + "0 to "}}) {
        CVarManager cvars;
        cvars.LoadConfigText(setting + std::string("\nmodel \"scene.vmsh\"\nmakebsp \"1\"\n"
                                                   "num_rays \"4\"\n"));
        LogCapture log;
        EXPECT_FALSE(preparePrtScene(*loaders, model, {}, result)) << setting;
        const std::string line =
            why.starts_with("Failed") ? why : "PRT bake failed: " + (setting + why);
        EXPECT_NE(log.text().find(line), std::string::npos) << line << "\n" << log.text();
        EXPECT_TRUE(model == before || !why.starts_with("Failed")); // the old model kept
        EXPECT_FALSE(std::filesystem::exists("shtex0.dds"));
    }
}

// FNV-1a 64 over the files' bytes, one after another, in hexadecimal.
std::string filesChecksum(const TempDir& dir, std::initializer_list<const char*> names) {
    uint64_t hash = kFnv1a64Basis;
    for (const char* name : names) {
        const std::string bytes = dir.read(name);
        hash = fnv1a64(bytes.data(), bytes.size(), hash);
    }
    char text[19];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// The bake's output pinned to stored checksums: any change of a single byte of what a bake
// writes fails here, and the change has to be meant (and the constants renewed with it). The
// transfer files hold the planes of the bake image: shtex0 planes 0-6 and a slice of zeros, shtex1
// planes 7-14, shtex2 planes 15-18.
TEST(BakeOutput, SmallBakesWriteTheBakePlanesAsTheStoredBytes) {
    for (const bool ambient : {false, true}) {
        TempDir dir;
        // 16 samples, weighted for 20 rays.
        const PrtBakeResult result = testing::bakeModel(
            *testing::shadedScene(), dir.path().string(), 20, [&](PrtBakeSettings& settings) {
                settings.ambient = ambient;
                settings.walk.threads = 2;
            });
        EXPECT_EQ(ambient ? filesChecksum(dir, {"ambient.dds", "models/saved.vmsh"})
                          : filesChecksum(dir, {"shtex0.dds", "shtex1.dds", "shtex2.dds",
                                                "models/saved.vmsh"}),
                  ambient ? "0x268d02ad74e349f8" : "0x16ab8dd01f70a72d");
        if (ambient) continue;
        EXPECT_EQ(std::tuple(result.samples, result.polygons, result.workers, result.files.size()),
                  std::tuple(16u, 7u, 2u, 4u));

        // The same bake, step by step and with one thread, on a fresh copy of the model.
        const testing::SHBake step(testing::shadedScene(), 20);
        EXPECT_EQ(step.stats.texels, result.texels);
        const Image& bake = *step.pack.bakeImage();
        const size_t plane = size_t(bake.width()) * size_t(bake.height()) * 8;
        const int slices[3] = {8, 8, 4}, first[3] = {0, 7, 15}, data[3] = {7, 8, 4};
        for (int f = 0; f < 3; ++f) {
            const Image file = readDDS(dir.file("shtex" + std::to_string(f) + ".dds"));
            ASSERT_EQ(std::tuple(file.width(), file.height(), file.depth(), file.format()),
                      std::tuple(bake.width(), bake.height(), slices[f], FORMAT_RGBA16F));
            EXPECT_EQ(std::memcmp(file.data(), bake.data() + size_t(first[f]) * plane,
                                  size_t(data[f]) * plane),
                      0)
                << f;
            const uint8_t* rest = file.data() + size_t(data[f]) * plane;
            EXPECT_TRUE(std::all_of(rest, rest + size_t(slices[f] - data[f]) * plane,
                                    [](uint8_t b) { return b == 0; }));
        }
    }
}

} // namespace
} // namespace Vrenn
