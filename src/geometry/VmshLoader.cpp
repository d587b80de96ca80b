#include "geometry/VmshLoader.h"

#include "core/Log.h"
#include "fs/AtomicFile.h"
#include "fs/FileSystem.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/ModelObjectFactory.h"
#include "geometry/Surface.h"

#include <bit>
#include <cstring>
#include <vector>

namespace Vrenn {

// Vertex blocks and indices are copied between files and memory as they are.
static_assert(std::endian::native == std::endian::little,
              "the vmsh reader and writer assume a little-endian host");

namespace {

constexpr char kMagic[4] = {'v', 'm', 's', 'h'};

uint32_t readU32(const uint8_t* p) {
    uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

void writeU32(uint8_t* p, uint32_t value) {
    std::memcpy(p, &value, 4);
}

// Texture-coordinate set 0 is always two floats, whatever the file says.
uint32_t loadedComponentCount(const VertexElement& element) {
    return element.usage == USAGE_TEXCOORD && element.usageIndex == 0 ? 2u : element.componentCount;
}

struct StreamLayout {
    uint32_t stride = 0;
    std::vector<VertexElement> elements;
};

// One surface of a checked file: everything needed to build it, with the positions of
// its vertex blocks and indices inside the file image.
struct SurfaceLayout {
    std::string materialName;
    uint32_t vertexCount = 0;
    uint32_t indexCount = 0;
    std::vector<StreamLayout> streams;
    size_t vertexDataOffset = 0;
    size_t indexDataOffset = 0;
};

// Walks a file image and checks every count against the bytes that are there before
// anything is built from it.
class VmshParser {
public:
    VmshParser(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}

    // Empty on success; otherwise why the file was refused.
    std::string parse(std::vector<SurfaceLayout>& surfaces) {
        if (!has(VmshLoader::kFileHeaderSize)) return "the file is shorter than its header";
        if (std::memcmp(m_bytes.data(), kMagic, 4) != 0) return "the file does not start with vmsh";
        const uint32_t surfaceCount = readU32(m_bytes.data() + 4);
        if (surfaceCount == 0) return "the file holds no surfaces";
        m_position = VmshLoader::kFileHeaderSize;
        for (uint32_t s = 0; s < surfaceCount; ++s) {
            SurfaceLayout layout;
            const std::string problem = parseSurface(layout);
            if (!problem.empty()) return "surface " + std::to_string(s) + ": " + problem;
            surfaces.push_back(std::move(layout));
        }
        return {};
    }

private:
    bool has(uint64_t n) const { return n <= m_bytes.size() - m_position; }

    std::string parseSurface(SurfaceLayout& layout) {
        if (!has(VmshLoader::kSurfaceHeaderSize)) return "header runs past the end of the file";
        const uint8_t* header = m_bytes.data() + m_position;
        const char* name = reinterpret_cast<const char*>(header + VmshLoader::kNameSize);
        // A name that fills its field without a terminating zero is all 64 bytes.
        layout.materialName.assign(name, strnlen(name, VmshLoader::kNameSize));
        layout.vertexCount = readU32(header + 128);
        layout.indexCount = readU32(header + 132);
        const uint32_t elementCount = readU32(header + 136);
        m_position += VmshLoader::kSurfaceHeaderSize;

        if (!has(uint64_t(elementCount) * VmshLoader::kElementRecordSize))
            return std::to_string(elementCount) + " element records run past the end of the file";
        std::string problem = parseElements(layout, elementCount);
        if (!problem.empty()) return problem;
        if (layout.vertexCount > 0 && elementCount == 0)
            return "vertices without any vertex element";

        uint64_t vertexBytes = 0;
        for (const auto& stream : layout.streams)
            vertexBytes += uint64_t(stream.stride) * layout.vertexCount;
        if (!has(vertexBytes))
            return "vertex data of " + std::to_string(layout.vertexCount) +
                   " vertices runs past the end of the file";
        layout.vertexDataOffset = m_position;
        m_position += vertexBytes;

        if (!has(uint64_t(layout.indexCount) * 4))
            return std::to_string(layout.indexCount) + " indices run past the end of the file";
        layout.indexDataOffset = m_position;
        for (uint32_t i = 0; i < layout.indexCount; ++i) {
            const uint32_t index = readU32(m_bytes.data() + m_position + 4 * size_t(i));
            if (index >= layout.vertexCount)
                return "index " + std::to_string(i) + " is " + std::to_string(index) +
                       ", at or beyond the vertex count " + std::to_string(layout.vertexCount);
        }
        m_position += size_t(layout.indexCount) * 4;
        return {};
    }

    // Groups the records into streams: a record whose stream field differs from the
    // previous record's starts a new stream.
    std::string parseElements(SurfaceLayout& layout, uint32_t elementCount) {
        bool haveKey = false;
        uint32_t key = 0;
        for (uint32_t e = 0; e < elementCount; ++e) {
            const uint8_t* record = m_bytes.data() + m_position;
            m_position += VmshLoader::kElementRecordSize;
            VertexElement element;
            element.stream = readU32(record);
            element.usage = readU32(record + 4);
            element.usageIndex = readU32(record + 8);
            element.componentType = readU32(record + 12);
            element.componentCount = readU32(record + 16);
            element.offset = readU32(record + 20);
            const std::string which = "element " + std::to_string(e) + ": ";
            if (element.usage >= kVertexUsageCount)
                return which + "unknown usage " + std::to_string(element.usage);
            if (element.componentCount < 1 || element.componentCount > 4)
                return which + "component count " + std::to_string(element.componentCount) +
                       " outside 1 to 4";
            element.componentCount = loadedComponentCount(element);
            if (!haveKey || element.stream != key) {
                layout.streams.emplace_back();
                key = element.stream;
                haveKey = true;
            }
            layout.streams.back().stride += element.byteSize();
            layout.streams.back().elements.push_back(element);
        }
        for (const auto& stream : layout.streams)
            for (const auto& element : stream.elements)
                if (uint64_t(element.offset) + element.byteSize() > stream.stride)
                    return "element at offset " + std::to_string(element.offset) +
                           " lies outside its stream's stride " + std::to_string(stream.stride);
        return {};
    }

    const std::vector<uint8_t>& m_bytes;
    size_t m_position = 0;
};

// The material name as files store it: the first whitespace-delimited word, at most
// the 64 bytes of the field.
std::string storedName(const std::string& name) {
    const char* spaces = " \t\n\v\f\r";
    const size_t begin = name.find_first_not_of(spaces);
    if (begin == std::string::npos) return {};
    const size_t end = name.find_first_of(spaces, begin);
    std::string word = name.substr(begin, end == std::string::npos ? end : end - begin);
    if (word.size() > VmshLoader::kNameSize) word.resize(VmshLoader::kNameSize);
    return word;
}

std::string meshProblem(const Mesh& mesh) {
    const auto& elements = mesh.elements();
    const uint32_t streams = mesh.streamCount();
    std::vector<uint64_t> strideFromElements(streams, 0);
    uint32_t expected = 0;
    for (size_t e = 0; e < elements.size(); ++e) {
        const VertexElement& element = elements[e];
        const std::string which = "element " + std::to_string(e) + ": ";
        if (element.usage >= kVertexUsageCount) return which + "unknown usage";
        if (element.componentCount < 1 || element.componentCount > 4)
            return which + "component count outside 1 to 4";
        if (loadedComponentCount(element) != element.componentCount)
            return which + "texture-coordinate set 0 must have 2 components";
        // Records must come stream by stream, every stream with at least one record,
        // for a reader to find the same streams again.
        if (e == 0 ? element.stream != 0
                   : element.stream != expected && element.stream != expected + 1)
            return which + "records are not grouped stream by stream";
        expected = element.stream;
        if (element.stream >= streams) return which + "names a stream the mesh lacks";
        strideFromElements[element.stream] += element.byteSize();
    }
    if (streams > 0 && (elements.empty() || expected + 1 != streams))
        return "a stream without element records";
    for (uint32_t s = 0; s < streams; ++s) {
        const uint32_t stride = mesh.strides()[s];
        if (strideFromElements[s] != stride)
            return "stream " + std::to_string(s) + ": stride " + std::to_string(stride) +
                   " is not the size of its elements";
        if (mesh.streams()[s]->size() != uint64_t(stride) * mesh.vertexCount())
            return "stream " + std::to_string(s) + ": holds a different number of vertices";
    }
    for (const auto& element : elements)
        if (uint64_t(element.offset) + element.byteSize() > mesh.strides()[element.stream])
            return "an element lies outside its stream's stride";
    for (uint32_t index : mesh.indices())
        if (index >= mesh.vertexCount()) return "an index is at or beyond the vertex count";
    return {};
}

bool failRead(const std::string& name, const std::string& reason) {
    logMessage("Failed to read mesh data: " + name + "\n");
    logMessage("  " + reason + "\n");
    return false;
}

bool failSave(const std::string& name, const std::string& reason) {
    logMessage("Failed to save mesh data: " + name + "\n");
    logMessage("  " + reason + "\n");
    return false;
}

} // namespace

VmshLoader::VmshLoader(std::shared_ptr<ModelObjectFactory> objects)
    : ModelLoader(kExtension), m_objects(std::move(objects)) {
    if (!m_objects) m_objects = std::make_shared<ModelObjectFactory>();
}

VmshLoader::~VmshLoader() = default;

bool VmshLoader::load(const std::string& name, std::shared_ptr<Model>& model, bool upload) {
    std::string why;
    std::shared_ptr<File> file = openDataFile(name, true, &why);
    if (!file) {
        logMessage("Failed to load " + name + "\n");
        if (!why.empty()) logMessage("  " + why + "\n");
        return false;
    }
    const bool loaded = read(*file, name, model, upload);
    file->close();
    return loaded;
}

bool VmshLoader::read(File& file, const std::string& name, std::shared_ptr<Model>& model,
                      bool upload) {
    // The whole file is read at once and checked before anything is built from it.
    file.rewind();
    const uint32_t size = file.size();
    std::vector<uint8_t> bytes(size);
    if (size > 0 && file.read(bytes.data(), size) != size)
        return failRead(name, "the file could not be read whole");

    std::vector<SurfaceLayout> layouts;
    const std::string problem = VmshParser(bytes).parse(layouts);
    if (!problem.empty()) return failRead(name, problem);

    std::shared_ptr<Model> built = m_objects->createModel();
    if (!built) return failRead(name, "no model could be created");
    for (const SurfaceLayout& layout : layouts) {
        std::shared_ptr<Mesh> mesh = m_objects->createMesh();
        if (!mesh) return failRead(name, "no mesh could be created");
        size_t offset = layout.vertexDataOffset;
        for (const StreamLayout& stream : layout.streams) {
            mesh->addStream(bytes.data() + offset, layout.vertexCount, stream.stride,
                            stream.elements);
            offset += size_t(stream.stride) * layout.vertexCount;
        }
        mesh->setIndices(nullptr, layout.indexCount);
        if (layout.indexCount > 0)
            std::memcpy(mesh->indices().data(), bytes.data() + layout.indexDataOffset,
                        size_t(layout.indexCount) * 4);
        mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
        mesh->computeTangentFrame();
        if (upload) m_objects->uploadMesh(mesh);

        std::shared_ptr<Surface> surface = m_objects->createSurface();
        if (!surface) return failRead(name, "no surface could be created");
        surface->setMaterial(layout.materialName, m_objects->findMaterial(layout.materialName));
        surface->setMesh(std::move(mesh));
        built->addSurface(std::move(surface));
    }
    model.swap(built);
    return true;
}

std::string VmshLoader::unsavableReason(const Model& model) {
    if (model.surfaces().empty()) return "a model without surfaces";
    for (size_t s = 0; s < model.surfaces().size(); ++s) {
        const auto& surface = model.surfaces()[s];
        if (!surface) return "surface " + std::to_string(s) + " is missing";
        if (!surface->mesh()) continue;
        const std::string problem = meshProblem(*surface->mesh());
        if (!problem.empty()) return "surface " + std::to_string(s) + ": " + problem;
    }
    return {};
}

bool VmshLoader::write(File& file, const std::string& name, const Model& model) {
    const std::string problem = unsavableReason(model);
    if (!problem.empty()) return failSave(name, problem);
    bool ok = true;
    auto put = [&](const void* data, size_t n) {
        while (ok && n > 0) {
            const uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(n, 1u << 30));
            ok = file.write(data, chunk) == chunk;
            data = static_cast<const uint8_t*>(data) + chunk;
            n -= chunk;
        }
    };

    uint8_t fileHeader[kFileHeaderSize];
    std::memcpy(fileHeader, kMagic, 4);
    writeU32(fileHeader + 4, static_cast<uint32_t>(model.surfaces().size()));
    put(fileHeader, sizeof fileHeader);

    for (const auto& surface : model.surfaces()) {
        const Mesh* mesh = surface->mesh().get();
        uint8_t header[kSurfaceHeaderSize] = {};
        const std::string material = storedName(surface->materialName());
        std::memcpy(header, material.data(), material.size());
        std::memcpy(header + kNameSize, material.data(), material.size());
        writeU32(header + 128, mesh ? mesh->vertexCount() : 0);
        writeU32(header + 132, mesh ? static_cast<uint32_t>(mesh->indices().size()) : 0);
        writeU32(header + 136, mesh ? static_cast<uint32_t>(mesh->elements().size()) : 0);
        put(header, sizeof header);
        if (!mesh) continue;
        for (const VertexElement& element : mesh->elements()) {
            uint8_t record[kElementRecordSize];
            writeU32(record, element.stream);
            writeU32(record + 4, element.usage);
            writeU32(record + 8, element.usageIndex);
            writeU32(record + 12, element.componentType);
            writeU32(record + 16, element.componentCount);
            writeU32(record + 20, element.offset);
            put(record, sizeof record);
        }
        for (const auto& block : mesh->streams())
            put(block->data(), block->size());
        put(mesh->indices().data(), mesh->indices().size() * 4);
    }
    if (!ok) return failSave(name, "a write fell short");
    return true;
}

bool VmshLoader::save(const std::string& name, const Model& model) {
    AtomicFile out(name);
    if (!out.isOpen()) return failSave(name, "cannot open it for writing: " + out.failure());
    if (!write(*out.file(), name, model)) return false;
    if (!out.commit()) return failSave(name, out.failure());
    return true;
}

} // namespace Vrenn
