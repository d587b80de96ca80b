#include "fs/FileSystem.h"

#include <filesystem>
#include <system_error>

namespace Vrenn {

namespace stdfs = std::filesystem;

#if defined(VRENN_BUILD_TREE) && defined(VRENN_SOURCE_DATA)
namespace {
// True when path lies inside folder (both made absolute and normal).
bool inside(const stdfs::path& path, const stdfs::path& folder) {
    const stdfs::path a = path.lexically_normal();
    const stdfs::path b = folder.lexically_normal();
    auto it = a.begin();
    for (const auto& part : b) {
        if (part.empty()) continue;
        if (it == a.end() || *it != part) return false;
        ++it;
    }
    return true;
}
} // namespace
#endif

std::vector<std::string> dataDirectories(const std::string& programPath) {
    std::error_code error;
    stdfs::path program = programPath.empty() ? stdfs::read_symlink("/proc/self/exe", error)
                                              : stdfs::absolute(programPath, error);
    std::vector<std::string> directories;
    if (error || program.empty()) return directories;
    // <prefix>/bin/<program> finds <prefix>/share/vrenn.
    const stdfs::path installed = program.parent_path().parent_path() / "share" / "vrenn";
    if (stdfs::is_directory(installed, error)) directories.push_back(installed.string());
#if defined(VRENN_BUILD_TREE) && defined(VRENN_SOURCE_DATA)
    if (inside(program, VRENN_BUILD_TREE) && stdfs::is_directory(VRENN_SOURCE_DATA, error))
        directories.push_back(VRENN_SOURCE_DATA);
#endif
    return directories;
}

} // namespace Vrenn
