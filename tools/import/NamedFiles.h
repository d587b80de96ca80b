#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace Vrenn::Import {

// The largest file a model may name (buffers, images, material libraries), and the
// largest model file itself.
constexpr uint64_t kMaxNamedFileBytes = uint64_t(512) << 20;

// Which files a model may name: regular files in its folder or below it (anywhere when
// outside is allowed), no larger than maxBytes.
struct FileRules {
    std::filesystem::path folder; // the model's folder, as given
    bool allowOutside = false;
    uint64_t maxBytes = kMaxNamedFileBytes;
};

// Reads the whole of a file the model names when the rules allow it: opened without
// blocking (a FIFO or device never stalls the import) and checked on the open handle.
// False, with why set to the reason in a few words ("cannot be found", "is not a regular
// file", "lies outside the model's folder (--allow-outside permits it)", ...).
bool readNamedFile(const std::filesystem::path& path, const FileRules& rules,
                   std::vector<uint8_t>& bytes, std::string& why);

} // namespace Vrenn::Import
