// vrenn mkscene: writes the demo's default scene as a vmsh model.

#include "geometry/DemoSceneBuilder.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/Surface.h"
#include "geometry/VmshLoader.h"
#include "vrenn/Commands.h"
#include "vrenn/ToolContext.h"

#include <charconv>
#include <iostream>

namespace Vrenn::Tool {

namespace {

constexpr const char* kHelp =
    "Usage: vrenn mkscene OUT.vmsh [--tiles N]\n"
    "\n"
    "Writes the demo's default scene to OUT.vmsh: a walled courtyard about 1000 world\n"
    "units across (y up) with colonnades, a dais with steps and an arch, and a few\n"
    "blocks, every planar face its own vertex group, positions and texture\n"
    "coordinates only. The output is the same on every run. Prints\n"
    "surfaces=<n> faces=<f> vertices=<v> indices=<i>.\n"
    "\n"
    "  --tiles N  repeat the courtyard on an N x N grid (default 1), for measurements.\n";

int runMkScene(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kHelp;
        return 0;
    }
    std::string out;
    uint32_t tiles = 1;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--tiles") {
            if (i + 1 >= args.size()) return usageError("mkscene", "--tiles needs a number");
            const std::string& text = args[++i];
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), tiles);
            if (error != std::errc() || end != text.data() + text.size() || tiles < 1 || tiles > 64)
                return usageError("mkscene", "--tiles needs a number from 1 to 64");
        } else if (out.empty() && !args[i].empty() && args[i][0] != '-') {
            out = args[i];
        } else {
            return usageError("mkscene", "unexpected argument '" + args[i] + "'");
        }
    }
    if (out.empty()) return usageError("mkscene", "missing OUT.vmsh");

    ToolContext context;
    const DemoSceneBuilder builder(tiles);
    const std::shared_ptr<Model> model = builder.build();
    VmshLoader writer;
    if (!writer.save(out, *model)) return context.fail("mkscene", "cannot write " + out);

    uint64_t vertices = 0, indices = 0;
    for (const auto& surface : model->surfaces()) {
        vertices += surface->mesh()->vertexCount();
        indices += surface->mesh()->indices().size();
    }
    std::cout << "surfaces=" << model->surfaces().size() << " faces=" << builder.faceCount()
              << " vertices=" << vertices << " indices=" << indices << "\n";
    return 0;
}

} // namespace

REGISTER_VRENN_COMMAND(mkscene, "mkscene", "write the demo's default scene as a vmsh model",
                       runMkScene, 30);

} // namespace Vrenn::Tool
