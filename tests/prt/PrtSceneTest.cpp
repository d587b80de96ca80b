#include "prt/PrtScene.h"

#include "BakeScenes.h"
#include "config/CVar.h"
#include "fs/DDSCodec.h"
#include "fs/DiskFile.h"
#include "fs/Image.h"
#include "geometry/GeometryTestSupport.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/VmshLoader.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace Vrenn {
namespace {

using Test::LogCapture;
using Test::TempDir;
using testing::Rect;
using testing::rectModel;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

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

// `vrenn bake` checks that every thread count writes the same files.
TEST(PrtScene, TheFilesHoldTheBakePlanesAndTheModelItsAtlasCoordinates) {
    TempDir dir;
    const PrtBakeResult result = bakeInto(dir.path().string(), 16, 3);
    EXPECT_EQ(result.samples, 16u);
    EXPECT_EQ(result.polygons, 7u);
    EXPECT_EQ(result.workers, 3u);
    ASSERT_EQ(result.files.size(), 4u);

    // The same bake, step by step and with one thread, on a fresh copy of the model.
    const testing::SHBake step(testing::shadedScene(), 16);
    const Model* model = step.model.get();
    EXPECT_EQ(step.stats.texels, result.texels);
    const Image& bake = *step.pack.bakeImage();
    EXPECT_EQ(result.atlasWidth, bake.width());
    EXPECT_EQ(result.atlasHeight, bake.height());
    const size_t plane = size_t(bake.width()) * size_t(bake.height()) * 8;

    // shtex0: planes 0-6 and a slice of zeros; shtex1: planes 7-14; shtex2: planes 15-18.
    const int slices[3] = {8, 8, 4}, first[3] = {0, 7, 15}, data[3] = {7, 8, 4};
    const char* names[3] = {"shtex0.dds", "shtex1.dds", "shtex2.dds"};
    for (int f = 0; f < 3; ++f) {
        const Image file = readDDS(dir.file(names[f]));
        ASSERT_EQ(file.width(), bake.width());
        ASSERT_EQ(file.height(), bake.height());
        ASSERT_EQ(file.depth(), slices[f]);
        ASSERT_EQ(file.format(), FORMAT_RGBA16F);
        EXPECT_EQ(std::memcmp(file.data(), bake.data() + size_t(first[f]) * plane,
                              size_t(data[f]) * plane),
                  0)
            << names[f];
        if (f == 0) {
            const uint8_t* last = file.data() + 7 * plane;
            EXPECT_TRUE(std::all_of(last, last + plane, [](uint8_t b) { return b == 0; }));
        }
    }

    // The saved model carries texture-coordinate set 1, as the pack wrote it.
    std::shared_ptr<Model> saved;
    VmshLoader loader;
    ASSERT_TRUE(loader.load(dir.file("models/saved.vmsh"), saved, false));
    ASSERT_EQ(saved->surfaces().size(), model->surfaces().size());
    for (size_t s = 0; s < saved->surfaces().size(); ++s) {
        const VertexAttribute got = saved->surfaces()[s]->mesh()->attribute(USAGE_TEXCOORD, 1);
        const VertexAttribute want = model->surfaces()[s]->mesh()->attribute(USAGE_TEXCOORD, 1);
        ASSERT_TRUE(got && want);
        EXPECT_EQ(got.components(), 4u);
        for (uint32_t v = 0; v < want.vertexCount(); ++v)
            for (uint32_t c = 0; c < 4; ++c)
                EXPECT_EQ(got.get(v, c), want.get(v, c));
    }
}

TEST(PrtScene, AFailedBakeLeavesEarlierFilesAsTheyWere) {
    TempDir dir;
    dir.write("shtex0.dds", "earlier");
    dir.write("models/saved.vmsh", "earlier model");

    // A chart too large for any atlas.
    auto huge = rectModel({{Rect{{0, 0, 0}, {5000, 0, 0}, {0, 5000, 0}}}});
    PrtBakeSettings settings;
    settings.rays = 4;
    settings.outputDir = dir.path().string();
    PrtBakeResult result;
    LogCapture log;
    EXPECT_FALSE(rebuildPrtScene(*huge, settings, result));
    EXPECT_NE(log.text().find("PolyPack::packAtlas: 1 of 1 rectangles did not fit"),
              std::string::npos);

    // A ray count out of range, a model without triangles, and an output folder that
    // cannot be written: each logs one line saying why.
    settings.rays = 0;
    EXPECT_FALSE(rebuildPrtScene(*testing::shadedScene(), settings, result));
    settings.rays = 4;
    Model empty;
    EXPECT_FALSE(rebuildPrtScene(empty, settings, result));
    settings.outputDir = dir.file("shtex0.dds"); // a file, not a folder
    EXPECT_FALSE(rebuildPrtScene(*testing::shadedScene(), settings, result));
    const std::string text = log.text();
    EXPECT_NE(text.find("PRT bake failed: the ray count must be from 1 to "), std::string::npos);
    EXPECT_NE(text.find("PRT bake failed: the model has no polygons to bake\n"), std::string::npos);
    EXPECT_NE(text.find("PRT bake failed: cannot create " + dir.file("shtex0.dds/shtex0.dds")),
              std::string::npos)
        << text;

    EXPECT_EQ(dir.read("shtex0.dds"), "earlier");
    EXPECT_EQ(dir.read("models/saved.vmsh"), "earlier model");
    size_t entries = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 3u); // the two files and the models folder, no temporaries
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
        return image
            .data()[size_t(std::lround(t[1])) * size_t(image.width()) + size_t(std::lround(t[0]))];
    };
    EXPECT_NEAR(at(1.0f, 0.5f), 198, 3);
    EXPECT_LT(at(0.0f, 0.5f), 10);
    EXPECT_GE(at(0.0f, 0.5f), 1);
}

TEST(PrtScene, StartUpLoadsTheModelAndBakesOnlyWhenAsked) {
    TempDir dir(true);
    VmshLoader writer;
    ASSERT_TRUE(writer.save("scene.vmsh", *testing::shadedScene()));
    auto loaders = ModelLoaderFactory::createDefault();
    std::shared_ptr<Model> model;
    PrtBakeResult result;
    {
        CVarManager cvars;
        cvars.LoadConfigText("model \"scene.vmsh\"\nmakebsp \"0\"\nnum_rays \"50\"\n");
        ASSERT_TRUE(preparePrtScene(*loaders, model, {}, result));
        ASSERT_TRUE(model);
        EXPECT_EQ(model->surfaces().size(), 3u);
        EXPECT_FALSE(std::filesystem::exists("shtex0.dds"));
        EXPECT_EQ(model->surfaces()[0]->mesh()->findElementRecord(USAGE_TEXCOORD, 1), nullptr);

        cvars.SetInt("makebsp", 1);
        model.reset();
        ASSERT_TRUE(preparePrtScene(*loaders, model, {}, result));
        EXPECT_EQ(result.samples, 49u);
        for (const char* name : {"shtex0.dds", "shtex1.dds", "shtex2.dds", "models/saved.vmsh"})
            EXPECT_TRUE(std::filesystem::exists(name)) << name;
        EXPECT_NE(model->surfaces()[0]->mesh()->findElementRecord(USAGE_TEXCOORD, 1), nullptr);

        // texel_size: twice the world units per texel, about a quarter of the texels.
        const uint64_t texels = result.texels;
        cvars.LoadConfigText("texel_size \"8\"\n");
        model.reset();
        ASSERT_TRUE(preparePrtScene(*loaders, model, {}, result));
        EXPECT_LT(result.texels * 3, texels);
        cvars.LoadConfigText("texel_size \"4\"\n");
        model.reset();
        ASSERT_TRUE(preparePrtScene(*loaders, model, {}, result));

        // num_bounces adds interreflection; a material without an albedo passes on the
        // default, and says so.
        const std::string shadowed = readAll("shtex0.dds");
        cvars.LoadConfigText("num_bounces \"1\"\n");
        model.reset();
        {
            LogCapture log;
            ASSERT_TRUE(preparePrtScene(*loaders, model, {}, result));
            EXPECT_NE(log.text().find("no albedo for material \"test\""), std::string::npos);
        }
        EXPECT_NE(readAll("shtex0.dds"), shadowed);
    }
    // A model that cannot be loaded is never baked.
    std::filesystem::remove("shtex0.dds");
    CVarManager cvars;
    cvars.LoadConfigText("model \"missing.vmsh\"\nmakebsp \"1\"\nnum_rays \"50\"\n");
    const std::shared_ptr<Model> before = model;
    LogCapture log;
    EXPECT_FALSE(preparePrtScene(*loaders, model, {}, result));
    EXPECT_EQ(model, before);
    EXPECT_NE(log.text().find("Failed to load missing.vmsh\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("shtex0.dds"));

    // A ray count that is no whole number is refused, not read by its leading digit.
    for (const char* rays : {"1e40", "2.5"}) {
        CVarManager other;
        other.LoadConfigText(std::string("model \"scene.vmsh\"\nmakebsp \"1\"\nnum_rays \"") +
                             rays + "\"\n");
        LogCapture refused;
        EXPECT_FALSE(preparePrtScene(*loaders, model, {}, result)) << rays;
        EXPECT_NE(refused.text().find(std::string("PRT bake failed: num_rays \"") + rays +
                                      "\" is not a whole number from 1 to "),
                  std::string::npos)
            << refused.text();
        EXPECT_FALSE(std::filesystem::exists("shtex0.dds"));
    }
    // So is a texel size that is not a number above 0.
    for (const char* size : {"0", "-4", "nan", "4 units"}) {
        CVarManager other;
        other.LoadConfigText(std::string("model \"scene.vmsh\"\nmakebsp \"1\"\nnum_rays \"4\"\n"
                                         "texel_size \"") +
                             size + "\"\n");
        LogCapture refused;
        EXPECT_FALSE(preparePrtScene(*loaders, model, {}, result)) << size;
        EXPECT_NE(refused.text().find(std::string("PRT bake failed: texel_size \"") + size +
                                      "\" is not a number of world units above 0"),
                  std::string::npos)
            << refused.text();
        EXPECT_FALSE(std::filesystem::exists("shtex0.dds"));
    }
    {
    CVarManager other;
        other.LoadConfigText("model \"scene.vmsh\"\nmakebsp \"1\"\nnum_rays \"50\"\n"
                             "num_bounces \"one\"\n");
        LogCapture refused;
        EXPECT_FALSE(preparePrtScene(*loaders, model, {}, result));
        EXPECT_NE(refused.text().find("PRT bake failed: num_bounces \"one\""), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists("shtex0.dds"));
    }
}

} // namespace
} // namespace Vrenn
