// vrenn init: makes a run folder of one's own, ready for vrenn import, bake and probe.

#include "fs/AtomicFile.h"
#include "fs/FileSystem.h"
#include "vrenn/Commands.h"
#include "vrenn/ToolContext.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <system_error>

namespace Vrenn::Tool {

namespace {

namespace stdfs = std::filesystem;

constexpr const char* kHelp =
    "Usage: vrenn init DIR\n"
    "\n"
    "Makes DIR a run folder of its own for prtdemo and vrenn: default.cfg (the\n"
    "settings, showing models/saved.vmsh, the model vrenn bake writes), the scene\n"
    "materials materials/materials.mtr (which vrenn import extends with the model's\n"
    "own) and the folders the tools write into: models/, probes/, textures/sky/.\n"
    "Everything else (effects, materials, fonts, drawn textures) is read from the\n"
    "installed data, share/vrenn beside the bin folder of vrenn, or, for programs run\n"
    "from their build tree, from the source tree's data/; a file of the same name in\n"
    "the run folder takes its place. Files DIR already has are kept. Prints the\n"
    "folder made.\n";

// The files a run folder starts with, copied from the data directories.
constexpr const char* kStarterFiles[] = {"default.cfg", "materials/materials.mtr"};
constexpr const char* kFolders[] = {"models", "probes", "materials", "textures/sky"};

// The first data directory holding name, or empty.
std::string findInData(const std::vector<std::string>& directories, const std::string& name) {
    std::error_code error;
    for (const auto& directory : directories) {
        const stdfs::path path = stdfs::path(directory) / name;
        if (stdfs::is_regular_file(path, error)) return path.string();
    }
    return {};
}

// Copies source to target through a temporary file; empty on success, else why not.
std::string copyWhole(const std::string& source, const std::string& target) {
    std::ifstream in(source, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) return "cannot read " + source;
    AtomicFile out(target);
    if (!out.isOpen()) return "cannot write " + target + ": " + out.failure();
    const auto size = static_cast<uint32_t>(text.size());
    if (out.file()->write(text.data(), size) != size || !out.commit())
        return "cannot write " + target + ": " + out.failure();
    return {};
}

int runInit(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kHelp;
        return 0;
    }
    if (args.empty()) return usageError("init", "missing DIR");
    if (args.size() > 1) return usageError("init", "unexpected argument '" + args[1] + "'");
    if (args[0].empty() || args[0][0] == '-')
        return usageError("init", "unexpected argument '" + args[0] + "'");
    const stdfs::path dir = args[0];

    ToolContext context;
    const std::vector<std::string> data = dataDirectories();
    // Every source is found before anything is made: a failed init leaves no half folder.
    std::vector<std::string> sources;
    for (const char* name : kStarterFiles) {
        sources.push_back(findInData(data, name));
        if (sources.back().empty())
            return fail("init: no installed data holds " + std::string(name) +
                        " (looked in share/vrenn beside the program)");
    }
    std::error_code error;
    if (stdfs::exists(dir, error) && !stdfs::is_directory(dir, error))
        return fail("init: " + dir.string() + " exists and is not a folder");
    for (const char* folder : kFolders) {
        stdfs::create_directories(dir / folder, error);
        if (error)
            return fail("init: cannot make " + (dir / folder).string() + ": " + error.message());
    }
    for (size_t i = 0; i < sources.size(); ++i) {
        const stdfs::path target = dir / kStarterFiles[i];
        if (stdfs::exists(target, error)) continue;
        const std::string why = copyWhole(sources[i], target.string());
        if (!why.empty()) return fail("init: " + why);
    }
    std::cout << dir.string() << "\n";
    return context.finish("init", 0);
}

} // namespace

REGISTER_VRENN_COMMAND(init, "init", "make a run folder of one's own (settings and folders)",
                       runInit, 5);

} // namespace Vrenn::Tool
