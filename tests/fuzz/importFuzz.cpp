// The child side of vrenn import on arbitrary bytes: the first byte picks the format (glTF,
// binary glTF, OBJ, PLY), the rest is the model file, written into a folder of its own. The
// file is read as the importer's process reads it (our checks, the importer library, our
// conversion and texture decoding), and the result crosses the same encoding the pipe
// carries: what the child encodes, the parent must decode to the same counts.
#include "fs/CodecMgr.h"
#include "import/ImportChild.h"
#include "import/SceneImport.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Vrenn;
    if (size < 1) return 0;
    static const char* const kExtensions[] = {".gltf", ".glb", ".obj", ".ply"};
    static const std::string folder = [] {
        char name[] = "/tmp/vrenn-import-fuzz-XXXXXX";
        const char* made = mkdtemp(name);
        return std::string(made ? made : "/tmp");
    }();
    static CodecMgr* codecs = [] {
        auto* manager = new CodecMgr;
        registerStandardCodecs(*manager);
        return manager;
    }();
    const std::string fileName = folder + "/model" + kExtensions[data[0] % 4];
    FILE* file = std::fopen(fileName.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);

    Import::ImportedScene scene, back;
    std::string why;
    if (!Import::importScene(fileName, {"fuzz", {}}, *codecs, scene, why)) return 0;
    if (!Import::decodeScene(Import::encodeScene(scene), back, why) ||
        back.materials.size() != scene.materials.size() || back.triangles != scene.triangles ||
        back.warnings != scene.warnings)
        __builtin_trap();
    return 0;
}
