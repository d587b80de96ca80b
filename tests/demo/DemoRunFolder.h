#pragma once

#include "demo/DemoApplication.h"
#include "support/TempDir.h"

#include <SDL.h>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn::Test {

using Settings = std::map<std::string, std::string>;

// A run folder of the demo, current while it exists: the repository's data, the demo scene
// as "models/scene.vmsh", optionally its bake (few rays, made once per test program) and the
// repository's configuration with the given settings replaced or added.
class DemoRunFolder {
public:
    explicit DemoRunFolder(const Settings& settings, bool baked = true);

    TempDir dir{/*enter=*/true};
};

// The folder DemoRunFolder copies its baked scene from ("models/saved.vmsh",
// "shtex0.dds" to "shtex2.dds"), made on first use.
const std::filesystem::path& bakedDemoScene();

// A demo started offscreen in a run folder, with files (name in the folder, contents)
// written before the start; shut down at the end of the test.
struct StartedDemo {
    explicit StartedDemo(const Settings& settings, bool baked = true, const Settings& files = {});
    ~StartedDemo();
    std::string log() const { return run.dir.read("app.log"); }
    // Runs frames; false when one ended the program.
    bool frames(int count);
    // Sends the focus the window system gives a new window; presses and releases a key, a
    // frame each.
    void focus();
    bool tap(SDL_Scancode key);

    DemoRunFolder run;
    std::unique_ptr<DemoApplication> app;
    bool started = false;
};

// The first of the wanted lines that is missing from text's lines in this order (other
// lines may come between them); empty when all are there.
std::string firstMissing(const std::string& text, const std::vector<std::string>& wanted);

} // namespace Vrenn::Test
