#include "demo/DemoRunFolder.h"

#include "geometry/DemoSceneBuilder.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "prt/PrtScene.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace Vrenn::Test {

namespace stdfs = std::filesystem;

namespace {
// Enough rays for smooth soft shadows (16 leave streaks a picture test would trip on), few
// enough for a bake of about a second.
constexpr int kTestRays = 64;
} // namespace

const stdfs::path& bakedDemoScene() {
    static TempDir folder;
    static bool made = false;
    if (!made) {
        made = true;
        // Baked as the tool bakes it: loaded from its file, which gives it normals and
        // tangent frames in streams 1 and 2, so the atlas lands in stream 3.
        const auto loaders = ModelLoaderFactory::createDefault();
        const std::string scene = (folder.path() / "scene.vmsh").string();
        std::shared_ptr<Model> model;
        EXPECT_TRUE(loaders->save(scene, *DemoSceneBuilder().build()));
        EXPECT_TRUE(loaders->load(scene, model, false));
        std::filesystem::remove(scene);
        if (!model) return folder.path();
        PrtBakeSettings settings;
        settings.rays = kTestRays;
        settings.outputDir = folder.path().string();
        PrtBakeResult result;
        EXPECT_TRUE(rebuildPrtScene(*model, settings, result));
    }
    return folder.path();
}

DemoRunFolder::DemoRunFolder(const std::map<std::string, std::string>& settings, bool baked) {
    stdfs::copy(VRENN_DATA_DIR, dir.path(),
                stdfs::copy_options::recursive | stdfs::copy_options::overwrite_existing);
    // Whatever a local bake left in the repository's data is not part of the test.
    for (const char* name : {"shtex0.dds", "shtex1.dds", "shtex2.dds", "app.log"})
        stdfs::remove(dir.path() / name);
    stdfs::remove_all(dir.path() / "models");
    stdfs::create_directories(dir.path() / "models");
    EXPECT_TRUE(ModelLoaderFactory::createDefault()->save(dir.file("models/scene.vmsh"),
                                                          *DemoSceneBuilder().build()));
    if (baked)
        stdfs::copy(bakedDemoScene(), dir.path(),
                    stdfs::copy_options::recursive | stdfs::copy_options::overwrite_existing);

    std::map<std::string, std::string> values = settings;
    std::ifstream in(dir.file("default.cfg"));
    std::ostringstream out;
    for (std::string line; std::getline(in, line);) {
        const std::string name = line.substr(0, line.find(' '));
        if (values.count(name)) continue;
        out << line << "\n";
    }
    for (const auto& [name, value] : values)
        out << name << " \"" << value << "\"\n";
    dir.write("default.cfg", out.str());
}

} // namespace Vrenn::Test
