// vrenn import: brings a model from a modelling tool into a run folder as a vmsh model, its
// textures and its materials.

#include "core/StopRequest.h"
#include "fs/AtomicFile.h"
#include "fs/DDSCodec.h"
#include "fs/MadeFolders.h"
#include "geometry/Model.h"
#include "geometry/VmshLoader.h"
#include "import/ImportChild.h"
#include "import/MaterialScript.h"
#include "import/NamedFiles.h"
#include "import/SceneImport.h"
#include "vrenn/Commands.h"
#include "vrenn/ToolContext.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace Vrenn::Tool {

namespace {

constexpr const char* kHelp =
    "Usage: vrenn import MODEL [--out RUNDIR] [--name NAME] [--scale S] [--allow-outside]\n"
    "                    [--any-format]\n"
    "\n"
    "Imports a model (glTF 2.0 .gltf and .glb, OBJ .obj, PLY .ply, STL .stl) into\n"
    "RUNDIR (default: the working directory):\n"
    "  models/NAME.vmsh              positions and texture set 0, one surface per material,\n"
    "                                every planar group of triangles with vertices of its\n"
    "                                own (what the bake packs); degenerate and repeated\n"
    "                                triangles are dropped, and a material without texture\n"
    "                                coordinates gets a planar set per group\n"
    "  textures/NAME/<mat>_albedo.dds, <mat>_normal.dds\n"
    "                                the base colour (times the material's colour) and\n"
    "                                normal map, RGBA with full mip chains; plain white and\n"
    "                                flat when a material has none or one cannot be read\n"
    "  materials/materials.mtr       one block NAME_<mat> per material, with the PRT\n"
    "                                lighting effect; the blocks of an earlier import of\n"
    "                                NAME are replaced, the rest of the file is kept\n"
    "The model keeps its file's handedness and axes (never mirrored) and is scaled:\n"
    "the bake works at 4 world units per texel, so without --scale the largest extent\n"
    "becomes 1000 units. NAME defaults to MODEL's stem, reduced to [A-Za-z0-9_-]; a\n"
    "NAME over 32 bytes is cut to 23 and '_' and a hash of the whole, as are material\n"
    "names that would not fit 64 bytes with NAME_ in front.\n"
    "The model importer runs in a process of its own (8 GiB of address space, 120 s of\n"
    "processor time, 180 s in all); if it crashes, hangs or runs out, the import stops\n"
    "with one line saying so. Files the model names (buffers, material libraries,\n"
    "textures) are read only when they are regular files of at most 512 MiB in MODEL's\n"
    "folder or below it; any other is a warning and the import goes on without it (a\n"
    "missing material library gives default materials). Textures larger than 8192 on a\n"
    "side are halved until they fit, with a warning.\n"
    "Everything is written whole or not at all. Warnings go to standard error; the last\n"
    "line is surfaces=<n> triangles=<t> scale=<s>.\n"
    "\n"
    "  --out RUNDIR  the run folder to write into\n"
    "  --name NAME   the model's name (letters, digits, '_' and '-')\n"
    "  --scale S     world units per model unit, instead of fitting to 1000\n"
    "  --allow-outside  let the model name files outside its folder\n"
    "  --any-format  try a format other than those above with the model importer\n"
    "                (untested here: at your own risk)\n";

// The formats tried with fixtures of ours; the importer reads more, at the user's risk.
bool acceptedFormat(const std::string& fileName) {
    std::string extension = std::filesystem::path(fileName).extension().string();
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".gltf" || extension == ".glb" || extension == ".obj" ||
           extension == ".ply" || extension == ".stl";
}

// The run folder's material script, or empty for a new one; a script that is not a
// regular file (a FIFO would block the read) is refused.
bool readWholeFile(const std::string& fileName, std::string& text, std::string& why) {
    std::error_code error;
    if (!std::filesystem::exists(fileName, error)) return true; // a new script
    Import::FileRules rules;
    rules.allowOutside = true;
    std::vector<uint8_t> bytes;
    if (!Import::readNamedFile(fileName, rules, bytes, why)) return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

int writeAll(const std::filesystem::path& root, const std::string& name,
             Import::ImportedScene& scene, const std::string& script, std::string& why) {
    // The folders made here go again on failure, after the temporaries (declared later, so
    // removed first) have left them empty.
    MadeFolders folders;
    std::vector<std::unique_ptr<AtomicFile>> files;
    const auto fail = [&](const std::string& reason) {
        why = reason;
        return 1;
    };
    for (const auto& folder : {root / "models", root / "textures" / name, root / "materials"})
        if (!folders.make(folder, why)) return fail("cannot create " + why);

    auto open = [&](const std::filesystem::path& path) -> AtomicFile* {
        files.push_back(std::make_unique<AtomicFile>(path.string()));
        return files.back()->isOpen() ? files.back().get() : nullptr;
    };
    const std::filesystem::path modelName = root / "models" / (name + ".vmsh");
    AtomicFile* model = open(modelName);
    if (!model) return fail("cannot create " + modelName.string() + ": " + files.back()->failure());
    if (!VmshLoader().write(*model->file(), modelName.string(), *scene.model))
        return fail("cannot write " + model->writeFailure());
    for (Import::ImportedMaterial& material : scene.materials) {
        for (auto [file, image] : {std::pair{&material.block.albedo, &material.albedo},
                                   std::pair{&material.block.normal, &material.normals}}) {
            AtomicFile* out = open(root / *file);
            if (!out)
                return fail("cannot create " + (root / *file).string() + ": " +
                            files.back()->failure());
            std::shared_ptr<File> handle = out->file();
            if (!DDSCodec().encode(handle, *image))
                return fail("cannot write " + out->writeFailure());
        }
    }
    const std::filesystem::path scriptName = root / "materials" / "materials.mtr";
    AtomicFile* mtr = open(scriptName);
    if (!mtr) return fail("cannot create " + scriptName.string() + ": " + files.back()->failure());
    if (mtr->file()->write(script.data(), uint32_t(script.size())) != script.size())
        return fail("cannot write " + mtr->writeFailure());

    std::vector<AtomicFile*> all;
    for (const auto& file : files)
        all.push_back(file.get());
    // A stop asked for before the commit leaves every old file; once the commit has begun
    // it runs to its end (the handler only records the signal), leaving every new one.
    if (stopRequested()) return fail("stopped by signal " + std::to_string(stopSignal()));
    std::string reason;
    if (!AtomicFile::commitAll(all, reason)) return fail("cannot write " + reason);
    folders.keep();
    return 0;
}

int runImport(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kHelp;
        return 0;
    }
    std::string input, runDir = ".", name;
    Import::ImportOptions options;
    bool anyFormat = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--out" || args[i] == "--name" || args[i] == "--scale") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return usageError("import", args[i] + " needs a value");
            const std::string& value = args[++i];
            if (args[i - 1] == "--out") {
                runDir = value;
            } else if (args[i - 1] == "--name") {
                name = value;
                if (Import::sanitizedName(name) != name)
                    return usageError("import", "--name takes letters, digits, '_' and '-'");
                name = Import::modelName(name);
            } else {
                char* end = nullptr;
                const float scale = std::strtof(value.c_str(), &end);
                if (end != value.c_str() + value.size() || !std::isfinite(scale) || !(scale > 0.0f))
                    return usageError("import", "--scale needs a number above 0");
                options.scale = scale;
            }
        } else if (args[i] == "--allow-outside") {
            options.allowOutside = true;
        } else if (args[i] == "--any-format") {
            anyFormat = true;
        } else if (input.empty() && !args[i].empty() && args[i][0] != '-') {
            input = args[i];
        } else {
            return usageError("import", "unexpected argument '" + args[i] + "'");
        }
    }
    if (input.empty()) return usageError("import", "missing MODEL");
    if (!anyFormat && !acceptedFormat(input))
        return fail("import: " + input +
                    " is not glTF (.gltf, .glb), OBJ, PLY or STL; --any-format tries it with the "
                    "model importer at your own risk");
    if (name.empty()) {
        name = Import::modelName(std::filesystem::path(input).stem().string());
        if (name.empty()) return fail("import: " + input + " gives no name (use --name)");
    }
    options.name = name;

    // SIGINT and SIGTERM stop the import; the temporaries go with their writers and the
    // folders made for them are taken away again.
    installStopSignalHandlers();
    Import::ImportedScene scene;
    std::string why;
    if (!Import::importSceneInChild(input, options, {}, scene, why)) {
        const int status = fail(why.rfind("the model importer", 0) == 0 || stopRequested()
                                    ? "import: " + why + " reading " + input
                                    : "import: cannot import " + input + ": " + why);
        endByStopSignal();
        return status;
    }
    for (const std::string& warning : scene.warnings)
        std::cerr << "vrenn: import: warning: " << warning << "\n";

    const std::filesystem::path root(runDir);
    const std::string scriptName = (root / "materials" / "materials.mtr").string();
    std::string script, merged;
    std::vector<Import::MaterialBlock> blocks;
    for (const auto& material : scene.materials)
        blocks.push_back(material.block);
    if (!readWholeFile(scriptName, script, why) ||
        !Import::mergeImportedBlocks(script, name, blocks, merged, why))
        return fail("import: " + scriptName + ": " + why);

    if (writeAll(root, name, scene, merged, why)) {
        const int status = fail("import: " + why);
        endByStopSignal();
        return status;
    }
    std::cout << "wrote " << (root / "models" / (name + ".vmsh")).string() << "\n";
    for (const auto& material : scene.materials)
        std::cout << "material " << material.block.name << " " << material.block.albedo << " "
                  << material.block.normal << "\n";
    if (scene.degenerate || scene.duplicate)
        std::cout << "dropped degenerate=" << scene.degenerate << " duplicate=" << scene.duplicate
                  << "\n";
    std::printf("surfaces=%zu triangles=%u scale=%g\n", scene.materials.size(), scene.triangles,
                double(scene.scale));
    endByStopSignal(); // a stop during the commit: every new file is in place
    return 0;
}

} // namespace

REGISTER_VRENN_COMMAND(import, "import", "bring a model (glTF, OBJ, ...) into a run folder",
                       runImport, 35);

} // namespace Vrenn::Tool
