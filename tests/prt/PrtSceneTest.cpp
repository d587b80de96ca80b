#include "prt/PrtScene.h"

#include "BakeScenes.h"
#include "config/CVar.h"
#include "fs/DDSCodec.h"
#include "fs/DiskFile.h"
#include "fs/Image.h"
#include "geometry/GeometryTestSupport.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/VmshLoader.h"
#include "prt/BakePart.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::LogCapture;
using Test::TempDir;
using testing::Rect;
using testing::rectModel;

Image readDDS(const std::string& path) {
    Image image;
    std::shared_ptr<File> file = std::make_shared<DiskFile>(path, DISK_READ);
    EXPECT_TRUE(DDSCodec().decode(file, image)) << path;
    return image;
}

PrtBakeResult bakeInto(const std::string& dir, int rays, unsigned threads, bool ambient = false,
                       std::shared_ptr<Model> model = testing::shadedScene()) {
    PrtBakeSettings settings;
    settings.rays = rays;
    settings.outputDir = dir;
    settings.walk.threads = threads;
    settings.ambient = ambient;
    PrtBakeResult result;
    EXPECT_TRUE(rebuildPrtScene(*model, settings, result));
    return result;
}

TEST(PrtScene, TheFilesHoldTheBakePlanesAndTheModelItsAtlasCoordinates) {
    TempDir dir;
    const PrtBakeResult result = bakeInto(dir.path().string(), 16, 3);
    EXPECT_EQ(result.samples, 16u);
    EXPECT_EQ(result.polygons, 7u);
    EXPECT_EQ(result.workers, 3u);
    ASSERT_EQ(result.files.size(), 4u);

    // The same bake, step by step and with one thread, on a fresh copy of the model.
    const testing::SHBake step(testing::shadedScene(), 16);
    EXPECT_EQ(step.stats.texels, result.texels);
    const Image& bake = *step.pack.bakeImage();
    const size_t plane = size_t(bake.width()) * size_t(bake.height()) * 8;

    // shtex0: planes 0-6 and a slice of zeros; shtex1: planes 7-14; shtex2: planes 15-18.
    const int slices[3] = {8, 8, 4}, first[3] = {0, 7, 15}, data[3] = {7, 8, 4};
    for (int f = 0; f < 3; ++f) {
        const Image file = readDDS(dir.file("shtex" + std::to_string(f) + ".dds"));
        ASSERT_EQ(file.width(), bake.width());
        ASSERT_EQ(file.height(), bake.height());
        ASSERT_EQ(file.depth(), slices[f]);
        ASSERT_EQ(file.format(), FORMAT_RGBA16F);
        EXPECT_EQ(std::memcmp(file.data(), bake.data() + size_t(first[f]) * plane,
                              size_t(data[f]) * plane),
                  0)
            << f;
        const uint8_t* rest = file.data() + size_t(data[f]) * plane;
        EXPECT_TRUE(std::all_of(rest, rest + size_t(slices[f] - data[f]) * plane,
                                [](uint8_t b) { return b == 0; }));
    }

    // The saved model carries texture-coordinate set 1, as the pack wrote it.
    std::shared_ptr<Model> saved;
    ASSERT_TRUE(VmshLoader().load(dir.file("models/saved.vmsh"), saved, false));
    ASSERT_EQ(saved->surfaces().size(), step.model->surfaces().size());
    for (size_t s = 0; s < saved->surfaces().size(); ++s) {
        const VertexAttribute got = saved->surfaces()[s]->mesh()->attribute(USAGE_TEXCOORD, 1);
        const VertexAttribute want =
            step.model->surfaces()[s]->mesh()->attribute(USAGE_TEXCOORD, 1);
        ASSERT_TRUE(got && want && got.components() == 4u);
        for (uint32_t v = 0; v < want.vertexCount(); ++v)
            for (uint32_t c = 0; c < 4; ++c)
                EXPECT_EQ(got.get(v, c), want.get(v, c));
    }
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
    // A chart too large for any atlas, a ray count out of range, a model without triangles,
    // and an output folder that cannot be written: each logs one line saying why.
    EXPECT_FALSE(rebuildPrtScene(*rectModel({{Rect{{0, 0, 0}, {5000, 0, 0}, {0, 5000, 0}}}}),
                                 settings, result));
    settings.rays = 0;
    EXPECT_FALSE(rebuildPrtScene(*testing::shadedScene(), settings, result));
    settings.rays = 4;
    Model empty;
    EXPECT_FALSE(rebuildPrtScene(empty, settings, result));
    settings.outputDir = dir.file("shtex0.dds"); // a file, not a folder
    EXPECT_FALSE(rebuildPrtScene(*testing::shadedScene(), settings, result));
    const std::string text = log.text();
    for (const std::string& line : std::vector<std::string>{
             "PolyPack::packAtlas: 1 of 1 rectangles did not fit",
             "PRT bake failed: the ray count must be from 1 to ",
             "PRT bake failed: the model has no polygons to bake\n",
             "PRT bake failed: cannot create " + dir.file("shtex0.dds/shtex0.dds")})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;

    EXPECT_EQ(dir.read("shtex0.dds"), "earlier");
    EXPECT_EQ(dir.read("models/saved.vmsh"), "earlier model");
    // The two files and the models folder, no temporaries.
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(dir.path()), {}), 3);
}

TEST(PrtScene, TheAmbientBakeWritesOneByteOfOcclusionPerTexel) {
    TempDir dir;
    auto roofed = [] { return rectModel({{testing::roofedFloor()}, {testing::roof(true)}}); };
    const PrtBakeResult result = bakeInto(dir.path().string(), 256, 2, true, roofed());
    EXPECT_FALSE(std::filesystem::exists(dir.file("shtex0.dds")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("models/saved.vmsh")));
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
        for (const char* name : {"shtex0.dds", "shtex1.dds", "shtex2.dds", "models/saved.vmsh"})
            EXPECT_TRUE(std::filesystem::exists(name)) << name;
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
    // A model that cannot be loaded is never baked, nor are settings that are no numbers.
    std::filesystem::remove("shtex0.dds");
    const std::shared_ptr<Model> before = model;
    const std::pair<const char*, std::string> refusals[] = {
        {"model \"missing.vmsh\"\n", "Failed to load missing.vmsh\n"},
        {"num_rays \"1e40\"\n",
         "PRT bake failed: num_rays \"1e40\" is not a whole number from 1 to "},
        {"num_rays \"2.5\"\n",
         "PRT bake failed: num_rays \"2.5\" is not a whole number from 1 to "},
        {"texel_size \"0\"\n",
         "PRT bake failed: texel_size \"0\" is not a number of world units above 0"},
        {"texel_size \"-4\"\n", "texel_size \"-4\" is not a number"},
        {"texel_size \"nan\"\n", "texel_size \"nan\" is not a number"},
        {"texel_size \"4 units\"\n", "texel_size \"4 units\" is not a number"},
        {"num_bounces \"one\"\n", "PRT bake failed: num_bounces \"one\""},
    };
    for (const auto& [config, message] : refusals) {
        CVarManager cvars;
        // The first setting of a name counts.
        cvars.LoadConfigText(config +
                             std::string("model \"scene.vmsh\"\nmakebsp \"1\"\nnum_rays \"4\"\n"));
        LogCapture log;
        EXPECT_FALSE(preparePrtScene(*loaders, model, {}, result)) << config;
        EXPECT_NE(log.text().find(message), std::string::npos) << log.text();
        EXPECT_TRUE(model == before || !message.starts_with("Failed to load"));
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
// writes fails here, and the change has to be meant (and the constants renewed with it).
TEST(BakeOutput, SmallBakesWriteTheStoredBytes) {
    for (const bool ambient : {false, true}) {
        TempDir dir;
        PrtBakeSettings settings;
        settings.rays = 20; // 16 samples, weighted for 20 rays
        settings.ambient = ambient;
        settings.outputDir = dir.path().string();
        settings.walk.threads = 2;
        PrtBakeResult result;
        ASSERT_TRUE(rebuildPrtScene(*testing::shadedScene(), settings, result));
        if (ambient)
            EXPECT_EQ(filesChecksum(dir, {"ambient.dds", "models/saved.vmsh"}),
                      "0x268d02ad74e349f8");
        else
            EXPECT_EQ(
                filesChecksum(dir, {"shtex0.dds", "shtex1.dds", "shtex2.dds", "models/saved.vmsh"}),
                "0x16ab8dd01f70a72d");
    }
}

} // namespace
} // namespace Vrenn
