// Reads arbitrary bytes as a vmsh model. A model that loads must save, load back and
// save again to the same bytes, and its polygons must pack into a tree.
#include "fs/RamFile.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"
#include "geometry/VmshLoader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string saved(Vrenn::VmshLoader& loader, const Vrenn::Model& model) {
    Vrenn::RamFile out;
    if (!loader.write(out, "fuzz.vmsh", model)) std::abort(); // a loaded model is always savable
    return std::string(out.data().begin(), out.data().end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Vrenn;
    VmshLoader loader;
    RamFile file(data, static_cast<uint32_t>(size));
    std::shared_ptr<Model> model;
    if (!loader.read(file, "fuzz.vmsh", model, false)) return 0;

    const std::string first = saved(loader, *model);
    RamFile again(first.data(), static_cast<uint32_t>(first.size()));
    std::shared_ptr<Model> reloaded;
    if (!loader.read(again, "fuzz.vmsh", reloaded, false)) std::abort();
    if (saved(loader, *reloaded) != first) std::abort();

    PolyPack pack(4, 3, 4);
    for (const auto& surface : model->surfaces())
        if (surface->mesh() && surface->mesh()->indices().size() <= 3 * 512)
            pack.addSurface(surface->mesh(), true, true);
    if (pack.polygons().size() <= 512) pack.buildTree();
    return 0;
}
