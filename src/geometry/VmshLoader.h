#pragma once

#include "geometry/ModelLoader.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Vrenn {

class File;
class ModelObjectFactory;

// The engine's own binary mesh format, extension and magic "vmsh". All fields are
// 32-bit little-endian:
//   "vmsh", surface count (not 0), then per surface: a 140-byte header (material name
//   twice in two 64-byte fields, of which readers use the second; vertex count; index
//   count; element count), the element records (six 32-bit fields each: stream, usage,
//   usage index, component type, component count, byte offset), one vertex block per
//   stream (vertex count * stride bytes, streams in order of first appearance in the
//   records) and the indices (a triangle list).
// A stream's stride is 4 bytes per component of its records, and texture-coordinate
// set 0 always has two components, whatever its record says.
//
// Loading checks the whole file before building anything, so damaged or implausible
// files are refused without allocating from the counts they hold.
class VmshLoader : public ModelLoader {
public:
    static constexpr const char* kExtension = "vmsh";
    static constexpr uint32_t kFileHeaderSize = 8;
    static constexpr uint32_t kSurfaceHeaderSize = 140;
    static constexpr uint32_t kNameSize = 64;
    static constexpr uint32_t kElementRecordSize = 24;

    // objects makes the models, surfaces and meshes and resolves materials; empty means
    // plain CPU-side objects.
    explicit VmshLoader(std::shared_ptr<ModelObjectFactory> objects = {});
    ~VmshLoader() override;

    // Opens name through openDataFile. A file that cannot be opened logs "Failed to load "
    // and the name, then any reason the opener gave on an indented line; one that cannot be read logs "Failed to read mesh data: " and the
    // name, then the reason on an indented line.
    bool load(const std::string& name, std::shared_ptr<Model>& model, bool upload) override;
    // Writes to a temporary file next to name and renames it over name when all went
    // well, so a failed save leaves an earlier file whole. Models the format cannot
    // hold exactly are refused. Failures log "Failed to save mesh data: " and the name,
    // then the reason on an indented line.
    bool save(const std::string& name, const Model& model) override;

    // Reads a model from an open file; name is used in messages only.
    bool read(File& file, const std::string& name, std::shared_ptr<Model>& model, bool upload);
    // Writes a model to an open file, logging as save does; name is used in messages
    // only. False when the model cannot be stored exactly or a write falls short.
    bool write(File& file, const std::string& name, const Model& model);

    // Why the format cannot store model exactly, or empty when it can.
    static std::string unsavableReason(const Model& model);

private:
    std::shared_ptr<ModelObjectFactory> m_objects;
};

} // namespace Vrenn
