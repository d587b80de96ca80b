#include "demo/DemoRunFolder.h"

#include "geometry/DemoSceneBuilder.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "prt/PrtScene.h"
#include "support/SdlEvents.h"
#include "support/TestData.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace Vrenn::Test {

namespace stdfs = std::filesystem;

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
        stdfs::remove(scene);
        if (!model) return folder.path();
        PrtBakeSettings settings;
        // Enough rays for smooth soft shadows (16 leave streaks a picture test would trip
        // on), few enough for a bake of about a second.
        settings.rays = 64;
        settings.outputDir = folder.path().string();
        PrtBakeResult result;
        EXPECT_TRUE(rebuildPrtScene(*model, settings, result));
    }
    return folder.path();
}

DemoRunFolder::DemoRunFolder(const Settings& settings, bool baked) {
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
    std::ostringstream out;
    for (const std::string& line : lines(dir.read("default.cfg")))
        if (!settings.count(line.substr(0, line.find(' ')))) out << line << "\n";
    for (const auto& [name, value] : settings)
        out << name << " \"" << value << "\"\n";
    dir.write("default.cfg", out.str());
}

StartedDemo::StartedDemo(const Settings& settings, bool baked, const Settings& files)
    : run(settings, baked) {
    for (const auto& [name, contents] : files)
        run.dir.write(name, contents);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    app = std::make_unique<DemoApplication>();
    g_app = app.get();
    started = app->Initialize();
}

StartedDemo::~StartedDemo() {
    app.reset();
    g_app = nullptr;
}

bool StartedDemo::frames(int count) {
    for (int i = 0; i < count; ++i)
        if (!app->RunFrame()) return false;
    return true;
}

void StartedDemo::focus() {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    pushEvent(event);
}

bool StartedDemo::tap(SDL_Scancode key) {
    pushKey(key, true);
    const bool ran = frames(1);
    pushKey(key, false);
    return frames(1) && ran;
}

std::string firstMissing(const std::string& text, const std::vector<std::string>& wanted) {
    size_t at = 0;
    for (const std::string& line : lines(text))
        if (at < wanted.size() && line == wanted[at]) ++at;
    return at < wanted.size() ? wanted[at] : "";
}

} // namespace Vrenn::Test
