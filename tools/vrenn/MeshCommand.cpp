// vrenn mesh: describes vmsh models (info) and the BSP tree built over them (bsp).

#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"
#include "vrenn/Commands.h"
#include "vrenn/ToolContext.h"

#include <iostream>
#include <sstream>

namespace Vrenn::Tool {

namespace {

constexpr const char* kHelp =
    "Usage: vrenn mesh info FILE\n"
    "       vrenn mesh bsp FILE [--log LOGFILE]\n"
    "\n"
    "info  Loads a vmsh model as the program does (adding normals and tangent frames)\n"
    "      and prints its totals, each surface with its element records, and the\n"
    "      model's bounds.\n"
    "bsp   Builds the polygon pack over every surface and its BSP tree, and prints\n"
    "      polygons=<p> nodes=<n> leaves=<l>, then the tree's depth, the polygon\n"
    "      references held by its leaves and the build time.\n"
    "      --log LOGFILE  also writes the pack's log dump (classification matrix,\n"
    "                     polygons, nodes and leaves) to LOGFILE.\n";

bool loadModel(ToolContext& context, const std::string& command, const std::string& file,
               std::shared_ptr<Model>& model, int& status) {
    // The user's own path: it may lie anywhere, unlike names read from a run folder.
    context.fileSystem().addUserFile(file);
    if (ModelLoaderFactory::createDefault()->load(file, model, false)) return true;
    status = context.fail("mesh " + command, "cannot load " + file);
    return false;
}

int runInfo(const std::string& file) {
    ToolContext context;
    std::shared_ptr<Model> model;
    int status = 0;
    if (!loadModel(context, "info", file, model, status)) return status;

    uint64_t vertices = 0, indices = 0;
    for (const auto& surface : model->surfaces()) {
        if (!surface->mesh()) continue;
        vertices += surface->mesh()->vertexCount();
        indices += surface->mesh()->indices().size();
    }
    std::ostringstream out;
    out << "surfaces=" << model->surfaces().size() << " vertices=" << vertices
        << " indices=" << indices << "\n";
    for (size_t i = 0; i < model->surfaces().size(); ++i) {
        const Surface& surface = *model->surfaces()[i];
        const Mesh* mesh = surface.mesh().get();
        out << "surface " << i << " material=" << surface.materialName()
            << " vertices=" << (mesh ? mesh->vertexCount() : 0)
            << " indices=" << (mesh ? mesh->indices().size() : 0)
            << " streams=" << (mesh ? mesh->streamCount() : 0) << " strides=";
        if (mesh) {
            for (size_t s = 0; s < mesh->strides().size(); ++s)
                out << (s ? "," : "") << mesh->strides()[s];
        }
        out << "\n";
        if (!mesh) continue;
        for (const VertexElement& e : mesh->elements())
            out << "element stream=" << e.stream << " usage=" << e.usage
                << " index=" << e.usageIndex << " type=" << e.componentType
                << " count=" << e.componentCount << " offset=" << e.offset << "\n";
    }
    const BoundingBox& b = model->bounds();
    out << "bounds=" << b.min.x << " " << b.min.y << " " << b.min.z << " " << b.max.x << " "
        << b.max.y << " " << b.max.z << "\n";
    std::cout << out.str();
    return 0;
}

// Deepest node level (the root is depth 1).
size_t treeDepth(const PolyPack& pack) {
    size_t deepest = 0;
    std::vector<std::pair<int32_t, size_t>> pending{{0, 1}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        deepest = std::max(deepest, depth);
        for (int32_t child : {pack.nodes()[size_t(node)].front, pack.nodes()[size_t(node)].back})
            if (child >= 0) pending.push_back({child, depth + 1});
    }
    return deepest;
}

int runBsp(const std::string& file, const std::string& logFile) {
    ToolContext context;
    std::shared_ptr<Model> model;
    int status = 0;
    if (!loadModel(context, "bsp", file, model, status)) return status;
    if (!logFile.empty() && !context.logTo(logFile))
        return fail("mesh bsp: " + context.logFailure());

    PolyPack pack(4, 3, 4);
    for (size_t i = 0; i < model->surfaces().size(); ++i) {
        const auto& mesh = model->surfaces()[i]->mesh();
        if (!mesh || !pack.addSurface(mesh, true, true))
            std::cerr << "vrenn: mesh bsp: surface " << i << " adds no polygons ("
                      << (mesh ? context.lastFailure() : std::string("no mesh")) << ")\n";
    }
    if (!pack.buildTree()) return context.fail("mesh bsp", "cannot build the tree");

    size_t references = 0;
    for (const auto& leaf : pack.leaves())
        references += leaf.polygons.size();
    std::cout << "polygons=" << pack.polygons().size() << " nodes=" << pack.nodes().size()
              << " leaves=" << pack.leaves().size() << "\n"
              << "depth=" << treeDepth(pack) << " references=" << references
              << " seconds=" << pack.buildSeconds() << "\n";
    return context.finish("mesh bsp", 0);
}

int runMesh(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kHelp;
        return 0;
    }
    if (args.empty()) return usageError("mesh", "missing subcommand (info or bsp)");
    const std::string& sub = args[0];
    if (sub == "info") {
        if (args.size() != 2) return usageError("mesh", "info takes exactly one FILE");
        return runInfo(args[1]);
    }
    if (sub == "bsp") {
        std::string file, logFile;
        for (size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--log") {
                if (i + 1 >= args.size()) return usageError("mesh", "--log needs a LOGFILE");
                logFile = args[++i];
            } else if (file.empty() && (args[i].empty() || args[i][0] != '-')) {
                file = args[i];
            } else {
                return usageError("mesh", "unexpected argument '" + args[i] + "'");
            }
        }
        if (file.empty()) return usageError("mesh", "bsp needs a FILE");
        return runBsp(file, logFile);
    }
    return usageError("mesh", "unknown subcommand '" + sub + "'");
}

} // namespace

REGISTER_VRENN_COMMAND(mesh, "mesh", "describe vmsh models and their BSP trees", runMesh, 20);

} // namespace Vrenn::Tool
