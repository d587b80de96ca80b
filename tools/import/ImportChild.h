#pragma once

#include "import/SceneImport.h"

#include <cstdint>
#include <string>

namespace Vrenn::Import {

// What the importer's process may use: address space (left unlimited in sanitizer builds,
// whose shadow memory needs terabytes of it), processor time and time on the clock.
struct ChildLimits {
    uint64_t addressBytes = uint64_t(8) << 30;
    uint32_t cpuSeconds = 120;
    uint32_t wallSeconds = 180;
};

// An imported scene as plain bytes: the model as a vmsh file, each material's block and
// texture chains, the counts and the warnings. decodeScene checks every length against
// what is left, so bytes from a process that failed half-way are refused, never trusted.
std::string encodeScene(const ImportedScene& scene);
bool decodeScene(const std::string& bytes, ImportedScene& scene, std::string& why);

// importScene in a child process under limits, the result handed back through a pipe.
// The child keeps no descriptor but the pipe's end (its standard streams go nowhere). A crash,
// abort, hang or limit in the child is false with why naming it ("the model importer crashed
// (signal 11)"); a file it refuses gives its own reason. A stop request (SIGINT, SIGTERM)
// ends the child at once and gives false.
bool importSceneInChild(const std::string& fileName, const ImportOptions& options,
                        const ChildLimits& limits, ImportedScene& scene, std::string& why);

} // namespace Vrenn::Import
