#pragma once

#include "import/NamedFiles.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Vrenn::Import {

// Deepest node hierarchy a glTF model may have (the importer library walks it by recursion).
constexpr size_t kMaxGltfNodeDepth = 256;

// Checks a glTF (JSON text) or binary glTF file before the importer library reads it: the
// binary header and chunk lengths against the file's size, and every buffer, buffer view,
// accessor (sparse ones too) and image against the real size of the bytes it points into
// (the binary chunk, a data URI, or a file the rules allow), node children in range, without
// cycles and at most kMaxGltfNodeDepth deep. True for files that are not glTF. False, with
// why set, at the first thing that does not fit.
bool checkGltf(const std::vector<uint8_t>& file, bool binary, const FileRules& rules,
               std::string& why);

} // namespace Vrenn::Import
