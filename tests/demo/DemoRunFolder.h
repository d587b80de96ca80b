#pragma once

#include "support/TempDir.h"

#include <filesystem>
#include <map>
#include <string>

namespace Vrenn::Test {

// A run folder of the demo, current while it exists: the repository's data, the demo scene
// as "models/scene.vmsh", optionally its bake (few rays, made once per test program) and the
// repository's
// configuration with the given settings replaced or added.
class DemoRunFolder {
public:
    explicit DemoRunFolder(const std::map<std::string, std::string>& settings,
                           bool baked = true);

    TempDir dir{/*enter=*/true};
};

// The folder DemoRunFolder copies its baked scene from ("models/saved.vmsh",
// "shtex0.dds" to "shtex2.dds"), made on first use.
const std::filesystem::path& bakedDemoScene();

} // namespace Vrenn::Test
