#include "geometry/VmshLoader.h"

#include "GeometryTestSupport.h"
#include "fs/FileSystem.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/ModelObjectFactory.h"
#include "geometry/Surface.h"

#include <bit>
#include <cstring>
#include <gtest/gtest.h>
#include <sstream>

namespace Vrenn::Test {
namespace {

// Builds vmsh file images byte by byte, straight from the format's layout, so tests do
// not depend on the saver to make their input.
struct VmshBytes {
    std::string bytes;
    VmshBytes& u32(std::initializer_list<uint32_t> values) {
        for (uint32_t v : values)
            for (int i = 0; i < 4; ++i)
                bytes.push_back(char((v >> (8 * i)) & 0xFF));
        return *this;
    }
    VmshBytes& floats(std::initializer_list<float> values) {
        for (float f : values)
            u32({std::bit_cast<uint32_t>(f)});
        return *this;
    }
    // "vmsh" and the surface count.
    VmshBytes& fileHeader(uint32_t surfaces) {
        bytes += "vmsh";
        return u32({surfaces});
    }
    // The 140-byte surface header; each name cut or zero-padded to its 64-byte field.
    VmshBytes& surfaceHeader(const std::string& firstName, const std::string& name,
                             uint32_t vertices, uint32_t indexCount, uint32_t elements) {
        for (const std::string& field : {firstName, name})
            bytes += (field.substr(0, 64) + std::string(64, '\0')).substr(0, 64);
        return u32({vertices, indexCount, elements});
    }
};

void patchU32(std::string& bytes, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char((v >> (8 * i)) & 0xFF);
}

// One surface of three vertices with a position and texture-coordinate set 0 in one
// stream, and one of four vertices with positions only.
std::string twoSurfaceFile() {
    VmshBytes f;
    f.fileHeader(2);
    f.surfaceHeader("stone", "stone", 3, 3, 2)
        .u32({0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0})
        .u32({0, USAGE_TEXCOORD, 0, COMPONENT_FLOAT, 2, 12})
        .floats({0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1})
        .u32({0, 1, 2});
    f.surfaceHeader("wood", "wood", 4, 6, 1)
        .u32({0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0})
        .floats({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0})
        .u32({0, 1, 2, 0, 2, 3});
    return f.bytes;
}

// Offsets inside twoSurfaceFile.
constexpr size_t kFirstHeader = 8;
constexpr size_t kFirstElements = kFirstHeader + 140;
constexpr size_t kFirstIndices = kFirstElements + 48 + 60;
constexpr size_t kSecondHeader = kFirstIndices + 12;

bool readBytesAsModel(VmshLoader& loader, const std::string& bytes, const std::string& name,
                      std::shared_ptr<Model>& model, bool upload = false) {
    RamFile file(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return loader.read(file, name, model, upload);
}

// Every refusal in log is the fixed line followed by one indented line with the reason;
// returns how many there are.
size_t countRefusals(const std::string& log, const std::string& line) {
    std::istringstream in(log);
    std::string first, reason;
    size_t count = 0;
    for (; std::getline(in, first) && std::getline(in, reason); ++count) {
        EXPECT_EQ(first + "\n", line);
        EXPECT_TRUE(reason.size() > 2 && reason.starts_with("  ")) << reason;
    }
    return count;
}

// Records every object the loader asks for, and every upload (which sees the finished mesh,
// tangent frame included).
struct RecordingObjects : ModelObjectFactory {
    std::vector<std::string> calls;
    std::shared_ptr<Model> createModel() override {
        return calls.push_back("model"), ModelObjectFactory::createModel();
    }
    std::shared_ptr<Surface> createSurface() override {
        return calls.push_back("surface"), ModelObjectFactory::createSurface();
    }
    std::shared_ptr<Mesh> createMesh() override {
        return calls.push_back("mesh"), ModelObjectFactory::createMesh();
    }
    std::shared_ptr<Material> findMaterial(const std::string& name) override {
        return calls.push_back("material " + name), nullptr;
    }
    bool uploadMesh(const std::shared_ptr<Mesh>& mesh) override {
        return calls.push_back("upload " + std::to_string(mesh->streamCount())), true;
    }
};

TEST(VmshLoader, RecordsGroupIntoStreamsAndTextureSetZeroIsTwoComponents) {
    VmshBytes f;
    f.fileHeader(1).surfaceHeader("m", "m", 3, 3, 4);
    f.u32({5, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0})
        .u32({5, USAGE_TEXCOORD, 0, COMPONENT_FLOAT, 3, 12}) // read as 2 components
        .u32({9, USAGE_COLOR, 0, COMPONENT_COLOR, 1, 0})
        .u32({5, USAGE_TEXCOORD, 1, COMPONENT_FLOAT, 1, 0}); // other sets keep theirs
    f.floats({0, 0, 0, 0.1f, 0.2f, 1, 0, 0, 0.3f, 0.4f, 0, 1, 0, 0.5f, 0.6f}); // stream 5
    f.u32({0xff0000ff, 0xff00ff00, 0xffff0000});                               // stream 9: colours
    f.floats({0.25f, 0.5f, 0.75f}); // stream 5 again: one float
    f.u32({0, 1, 2});
    const auto model = readVmsh(f.bytes);
    ASSERT_TRUE(model);
    const Mesh& mesh = *model->surfaces()[0]->mesh();

    // Fields 5, 5, 9, 5 make three streams (the first of 12 + 8 bytes); loading adds the
    // normal and tangent streams.
    ASSERT_EQ(mesh.streamCount(), 5u);
    EXPECT_EQ(mesh.strides(), (std::vector<uint32_t>{20, 4, 4, 12, 24}));
    std::vector<uint32_t> streamOfRecord;
    for (const auto& e : mesh.elements())
        streamOfRecord.push_back(e.stream);
    EXPECT_EQ(streamOfRecord, (std::vector<uint32_t>{0, 0, 1, 2, 3, 4, 4}));
    EXPECT_EQ(mesh.elements()[1].componentCount, 2u);
    uint32_t colour;
    std::memcpy(&colour, mesh.streamData(1) + 4, 4);
    EXPECT_EQ(colour, 0xff00ff00u);
    EXPECT_EQ(mesh.attribute(USAGE_TEXCOORD, 0).get(1, 0), 0.3f);
    EXPECT_EQ(mesh.attribute(USAGE_TEXCOORD, 0).get(2, 1), 0.6f);
    EXPECT_EQ(mesh.attribute(USAGE_TEXCOORD, 1).get(2, 0), 0.75f);
    EXPECT_EQ(mesh.attribute(USAGE_POSITION).getVec3(2), (Vec3{0, 1, 0}));
    EXPECT_EQ(mesh.primitiveType(), PRIMITIVE_TRIANGLE_LIST);
}

TEST(VmshLoader, TangentStreamIsAddedOnceUploadedOnRequestAndSavedWithTheModel) {
    // Objects come from the factory; meshes are uploaded, tangent frame included, when asked.
    auto objects = std::make_shared<RecordingObjects>();
    VmshLoader loader(objects);
    std::shared_ptr<Model> unuploaded, loaded;
    ASSERT_TRUE(readBytesAsModel(loader, twoSurfaceFile(), "t.vmsh", unuploaded, false));
    EXPECT_EQ(objects->calls.size(), 7u); // the calls below without the uploads
    objects->calls.clear();
    ASSERT_TRUE(readBytesAsModel(loader, twoSurfaceFile(), "t.vmsh", loaded, true));
    EXPECT_EQ(objects->calls,
              (std::vector<std::string>{"model", "mesh", "upload 3", "surface", "material stone",
                                        "mesh", "upload 1", "surface", "material wood"}));
    // The first surface has texture coordinates: normals and one tangent stream of 24. The
    // second has none, so no tangent frame can be computed and nothing is added.
    EXPECT_EQ(loaded->surfaces()[0]->mesh()->strides(), (std::vector<uint32_t>{20, 12, 24}));
    EXPECT_EQ(loaded->surfaces()[1]->mesh()->streamCount(), 1u);

    const std::string saved = vmshBytes(*loaded);
    // The first surface's header now counts five records: position, texture
    // coordinates, normal, tangent and binormal, and its vertices take 3 * (20+12+24).
    uint32_t elementCount;
    std::memcpy(&elementCount, saved.data() + kFirstHeader + 136, 4);
    EXPECT_EQ(elementCount, 5u);
    EXPECT_EQ(saved.size(), twoSurfaceFile().size() + 3 * 24 + 3 * (12 + 24));

    // Loading the saved file adds nothing more: it saves to the same bytes.
    const auto reloaded = readVmsh(saved);
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(reloaded->surfaces()[0]->mesh()->streamCount(), 3u);
    EXPECT_EQ(vmshBytes(*reloaded), saved);
}

TEST(VmshLoader, WriterLaysOutTheFormatAndNamesRoundTrip) {
    auto surface = std::make_shared<Surface>();
    // Only the first whitespace-delimited word of the name is stored, in both fields.
    surface->setMaterial("  brick wall");
    surface->setMesh(makeMesh({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {2, 1, 0}));
    Model model;
    model.addSurface(surface);
    VmshBytes expected;
    expected.fileHeader(1).surfaceHeader("brick", "brick", 3, 3, 1);
    expected.u32({0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0});
    expected.floats({1, 2, 3, 4, 5, 6, 7, 8, 9}).u32({2, 1, 0});
    EXPECT_EQ(vmshBytes(model), expected.bytes);

    // The material name comes from the second field and may fill all 64 bytes of it.
    const std::string full(64, 'q');
    VmshBytes f;
    f.fileHeader(2).surfaceHeader("ignored", full, 0, 0, 0).surfaceHeader(full, "used", 0, 0, 0);
    const auto again = readVmsh(vmshBytes(*readVmsh(f.bytes)));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->surfaces()[0]->materialName(), full);
    EXPECT_EQ(again->surfaces()[1]->materialName(), "used");
}

// Every truncation of a good file, and contents no file could hold, are refused with a reason
// before anything is built, and the model is left alone.
TEST(VmshLoader, TruncatedAndImplausibleContentsAreRefusedBeforeAnythingIsBuilt) {
    struct Case {
        const char* what;
        size_t offset;
        uint32_t value;
    } cases[] = {
        {"wrong magic", 0, 0x6873766d},
        {"no surfaces", 4, 0},
        {"more surfaces than the file holds", 4, 0x7fffffff},
        {"huge vertex count", kFirstHeader + 128, 0xffffffff},
        {"huge index count", kFirstHeader + 132, 0xffffffff},
        {"huge element count", kFirstHeader + 136, 0x0fffffff},
        {"component count 0", kFirstElements + 16, 0},
        {"component count 5", kFirstElements + 16, 5},
        {"unknown usage", kFirstElements + 24 + 4, 8},
        {"offset outside the stride", kFirstElements + 20, 12},
        {"index at the vertex count", kFirstIndices + 8, 3},
        {"index far beyond", kSecondHeader + 140 + 24 + 48 + 20, 0xffffffff},
        {"vertices without elements", kSecondHeader + 136, 0},
    };
    const std::string whole = twoSurfaceFile();
    std::vector<std::pair<std::string, std::string>> files; // what, bytes
    for (size_t size = 0; size < whole.size(); ++size)
        files.push_back({"cut at " + std::to_string(size), whole.substr(0, size)});
    for (const Case& c : cases) {
        files.push_back({c.what, whole});
        patchU32(files.back().second, c.offset, c.value);
    }
    // A record of 5 components is refused where no vertex data would show it too.
    VmshBytes five;
    five.fileHeader(1)
        .surfaceHeader("m", "m", 0, 0, 1)
        .u32({0, USAGE_POSITION, 0, COMPONENT_FLOAT, 5, 0});
    files.push_back({"five components, no vertices", five.bytes});

    auto objects = std::make_shared<RecordingObjects>();
    VmshLoader loader(objects);
    const auto sentinel = std::make_shared<Model>();
    LogCapture log;
    for (const auto& [what, bytes] : files) {
        std::shared_ptr<Model> model = sentinel;
        EXPECT_FALSE(readBytesAsModel(loader, bytes, "bad.vmsh", model)) << what;
        EXPECT_EQ(model, sentinel) << what;
        EXPECT_TRUE(objects->calls.empty()) << what;
    }
    EXPECT_EQ(countRefusals(log.text(), "Failed to read mesh data: bad.vmsh\n"), files.size());
    std::shared_ptr<Model> model;
    EXPECT_TRUE(readBytesAsModel(loader, whole, "whole.vmsh", model));
}

TEST(VmshLoader, MissingFilesAndUnknownExtensionsLeaveTheModelAlone) {
    TempDir dir(true);
    FileSystem fileSystem;
    LogCapture log;
    auto factory = ModelLoaderFactory::createDefault();
    const auto sentinel = std::make_shared<Model>();
    std::shared_ptr<Model> model = sentinel;

    dir.write("scene.obj", twoSurfaceFile());
    dir.write("scene", twoSurfaceFile());
    EXPECT_FALSE(factory->load("absent.vmsh", model, false));
    EXPECT_FALSE(factory->load("scene.obj", model, false));
    EXPECT_FALSE(factory->load("scene", model, false));
    EXPECT_FALSE(factory->save("copy.obj", *sentinel));
    EXPECT_EQ(model, sentinel);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "copy.obj"));
    EXPECT_EQ(log.text(), "--- Loading absent.vmsh\n"
                          "Warning: Loading absent.vmsh failed.\n"
                          "Failed to load absent.vmsh\n"
                          "Failed to load scene.obj: no model loader for the extension \"obj\"\n"
                          "Failed to load scene: no model loader for the extension \"\"\n"
                          "Failed to save copy.obj: no model loader for the extension \"obj\"\n");
}

TEST(VmshLoader, ModelsTheFormatCannotHoldAreNotSaved) {
    TempDir dir;
    VmshLoader loader;
    const auto good = readVmsh(twoSurfaceFile());
    ASSERT_TRUE(good);
    const std::string target = dir.file("model.vmsh");
    ASSERT_TRUE(loader.save(target, *good));
    const std::string before = dir.read("model.vmsh");

    auto modelWith = [](std::shared_ptr<Mesh> mesh) {
        auto model = std::make_shared<Model>();
        model->addSurface(std::make_shared<Surface>());
        model->surfaces()[0]->setMesh(std::move(mesh));
        return model;
    };
    // A stride with padding, a texture set 0 of 3 components, an index beyond the
    // vertices, a stream without records: each would read back as something else.
    auto padded = std::make_shared<Mesh>();
    padded->addStream(nullptr, 3, 16, {VertexElement{0, USAGE_POSITION, 0, 0, 3, 0}});
    auto wideUv = std::make_shared<Mesh>();
    wideUv->addStream(nullptr, 3, 12, {VertexElement{0, USAGE_TEXCOORD, 0, 0, 3, 0}});
    auto badIndex = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 3});
    auto bare = makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2});
    bare->addStream(nullptr, 3, 4, {});
    for (const auto& model : {modelWith(padded), modelWith(wideUv), modelWith(badIndex),
                              modelWith(bare), std::make_shared<Model>()}) {
        LogCapture log;
        EXPECT_FALSE(loader.save(target, *model));
        EXPECT_EQ(countRefusals(log.text(), "Failed to save mesh data: " + target + "\n"), 1u);
        EXPECT_EQ(dir.read("model.vmsh"), before);
    }
    LogCapture log;
    EXPECT_FALSE(loader.save(dir.file("no/such/folder/model.vmsh"), *good));
    EXPECT_EQ(log.text(), "Failed to save mesh data: " + dir.file("no/such/folder/model.vmsh") +
                              "\n  cannot open it for writing: No such file or directory\n");
    // Nothing but the saved model is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

} // namespace
} // namespace Vrenn::Test
