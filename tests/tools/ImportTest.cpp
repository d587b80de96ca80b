#include "assetgen/SceneTextures.h"
#include "config/Tokenizer.h"
#include "fs/CodecMgr.h"
#include "fs/DDSCodec.h"
#include "fs/RamFile.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/Surface.h"
#include "import/GltfCheck.h"
#include "import/ImportChild.h"
#include "import/MaterialScript.h"
#include "import/PlanarMesh.h"
#include "import/SceneImport.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace Vrenn::Import {
namespace {

std::string fixture(const std::string& name) {
    return Test::testDataPath("tools/import/" + name);
}

// The file imported with the standard codecs; why holds the reason of a refusal.
bool import(const std::string& file, const ImportOptions& options, ImportedScene& scene,
            std::string& why) {
    static CodecMgr* const codecs = [] {
        auto* made = new CodecMgr;
        registerStandardCodecs(*made);
        return made;
    }();
    return importScene(file, options, *codecs, scene, why);
}

// A triangle as text: "x y z u v " per corner in thousandths ("-" for coordinates a corner
// lacks), starting at its smallest corner, so that two triangles read alike exactly when they
// have the same corners in the same winding.
std::string triangleText(const std::array<std::string, 3>& corners) {
    const size_t first = size_t(std::min_element(corners.begin(), corners.end()) - corners.begin());
    return corners[first] + corners[(first + 1) % 3] + corners[(first + 2) % 3];
}

std::string thousandths(float value) {
    return std::to_string(std::lround(value * 1000.0f)) + " ";
}

// expected.txt: the triangles the importer keeps, per material, in the file's frame.
std::map<std::string, std::multiset<std::string>> expectedTriangles() {
    std::istringstream in(Test::readBytes(fixture("expected.txt")));
    std::map<std::string, std::multiset<std::string>> out;
    std::string line, material, word;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        words >> word;
        if (word == "material") {
            words >> material;
            continue;
        }
        std::array<std::string, 3> corners;
        for (std::string& corner : corners)
            for (int i = 0; i < 5 && words >> word; ++i)
                corner += word == "-" ? "- " : thousandths(std::stof(word));
        out["fixture_" + material].insert(triangleText(corners));
    }
    return out;
}

// The fixture in every format: materials, triangles (in the file's frame, never mirrored,
// scaled so the largest extent is 1000), coordinates as in the file or planar, textures.
class ImportFixtureTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ImportFixtureTest, GeometryMaterialsAndTexturesComeThrough) {
    ImportedScene scene;
    std::string why;
    ASSERT_TRUE(import(fixture(GetParam()), {"fixture", {}}, scene, why)) << why;
    EXPECT_FLOAT_EQ(scene.scale, 250.0f); // largest extent 4 (the floor along x)
    EXPECT_EQ(scene.triangles, 14u);
    EXPECT_EQ(scene.duplicate, 1u);
    EXPECT_EQ(scene.degenerate, 1u);
    EXPECT_TRUE(scene.warnings.empty());

    const auto expected = expectedTriangles();
    ASSERT_EQ(scene.model->surfaces().size(), 2u);
    for (const auto& surface : scene.model->surfaces()) {
        SCOPED_TRACE(surface->materialName());
        ASSERT_TRUE(expected.count(surface->materialName()));
        const auto& want = expected.at(surface->materialName());
        const bool planar = want.begin()->find("- - ") != std::string::npos;
        const Mesh& mesh = *surface->mesh();
        const float* data = reinterpret_cast<const float*>(mesh.streamData(0));
        std::multiset<std::string> got;
        for (size_t i = 0; i + 2 < mesh.indices().size(); i += 3) {
            std::array<std::string, 3> corners;
            const float* a = data + mesh.indices()[i] * 5;
            for (size_t c = 0; c < 3; ++c) {
                const float* v = data + mesh.indices()[i + c] * 5;
                for (int k = 0; k < 3; ++k)
                    corners[c] += thousandths(v[k] / 250.0f);
                corners[c] += planar ? "- - " : thousandths(v[3]) + thousandths(v[4]);
                // Planar coordinates: one repeat per 128 world units along the plane.
                EXPECT_TRUE(!planar ||
                            std::fabs(std::hypot(v[3] - a[3], v[4] - a[4]) * kPlanarTextureScale -
                                      std::hypot(v[0] - a[0], v[1] - a[1], v[2] - a[2])) < 1e-2f);
            }
            got.insert(triangleText(corners));
        }
        EXPECT_EQ(got, want);
    }

    ASSERT_EQ(scene.materials.size(), 2u);
    const ImportedMaterial& box = scene.materials[0].block.name == "fixture_StoneBox"
                                      ? scene.materials[0]
                                      : scene.materials[1];
    const ImportedMaterial& red =
        &box == &scene.materials[0] ? scene.materials[1] : scene.materials[0];
    EXPECT_EQ(box.block.albedo, "textures/fixture/StoneBox_albedo.dds");
    EXPECT_EQ(red.block.normal, "textures/fixture/Red_normal.dds");
    ASSERT_EQ(box.albedo.width(), 2);
    EXPECT_EQ(box.albedo.mipLevels(), 2);
    const uint8_t* texel = box.albedo.getLevelData(0);
    const uint8_t checker[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(texel[i * 4 + c], checker[i][c]) << "texel " << i;
    const uint8_t* plain = red.albedo.getLevelData(0);
    EXPECT_EQ(std::vector<int>(plain, plain + 3), (std::vector<int>{255, 0, 0}));
    // normal.png's slope (y up the picture) comes out as the demo's own normal maps draw it.
    std::vector<float> slope(16);
    for (size_t i = 0; i < slope.size(); ++i)
        slope[i] = float(3 - int(i / 4)); // rows 0 to 3, rising towards row 0
    uint8_t own[16 * 4];
    AssetGen::normalsFromHeight(slope, 4, 0.75f, own);
    ASSERT_EQ(box.normals.width(), 1);
    const uint8_t* bump = box.normals.getLevelData(0);
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(bump[c], own[4 * 5 + c], 1) << "channel " << c; // row 1, column 1
    const uint8_t* flat = red.normals.getLevelData(red.normals.mipLevels() - 1);
    EXPECT_EQ(std::vector<int>(flat, flat + 3), (std::vector<int>{128, 128, 255}));
}

INSTANTIATE_TEST_SUITE_P(Formats, ImportFixtureTest,
                         ::testing::Values("fixture.gltf", "fixture.glb", "fixture.obj"));

// A picture wider than 8192 used twice: decoded once (one warning), halved, copied for each.
TEST(ImportScene, LargePicturesAreHalvedOnceForEveryMaterialThatUsesThem) {
    Vrenn::Test::TempDir dir;
    Image wide;
    ASSERT_NE(wide.create(16384 + 2, 2, 1, FORMAT_RGBA8, 1, 1), nullptr);
    std::memset(wide.data(), 200, wide.byteCount());
    std::shared_ptr<File> dds = std::make_shared<RamFile>();
    ASSERT_TRUE(DDSCodec().encode(dds, wide));
    const auto& bytes = std::static_pointer_cast<RamFile>(dds)->data();
    dir.write("wide.dds", std::string(bytes.begin(), bytes.end()));
    dir.write("two.obj", "mtllib two.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nvt 0 0\n"
                         "usemtl A\nf 1/1 2/1 3/1\nusemtl B\nf 1/1 2/1 4/1\n");
    dir.write("two.mtl",
              "newmtl A\nKd 1 1 1\nmap_Kd wide.dds\nnewmtl B\nKd 1 1 1\nmap_Kd wide.dds\n");
    ImportedScene scene;
    std::string why;
    ASSERT_TRUE(import(dir.file("two.obj"), {"two", {}}, scene, why)) << why;
    ASSERT_EQ(scene.warnings.size(), 1u);
    EXPECT_EQ(scene.warnings[0], "wide.dds is 16386x2; scaled down to 4096x1");
    ASSERT_EQ(scene.materials.size(), 2u);
    for (const ImportedMaterial& m : scene.materials) {
        EXPECT_EQ(m.albedo.width(), 4096);
        EXPECT_EQ(m.albedo.getLevelData(0)[0], 200);
    }
    EXPECT_NE(scene.materials[0].albedo.data(), scene.materials[1].albedo.data());
}

// What crosses the pipe from the importer's process: whole it is the scene, cut it is refused.
TEST(ImportChild, TheDescriptionComesBackWholeOrIsRefused) {
    ImportedScene scene, back;
    std::string why;
    ASSERT_TRUE(import(fixture("fixture.gltf"), {"fixture", {}}, scene, why)) << why;
    const std::string bytes = encodeScene(scene);
    ASSERT_TRUE(decodeScene(bytes, back, why)) << why;
    EXPECT_EQ(back.triangles, scene.triangles);
    EXPECT_EQ(back.scale, scene.scale);
    ASSERT_EQ(back.materials.size(), scene.materials.size());
    for (size_t i = 0; i < scene.materials.size(); ++i) {
        EXPECT_EQ(back.materials[i].block.albedo, scene.materials[i].block.albedo);
        ASSERT_EQ(back.materials[i].albedo.byteCount(), scene.materials[i].albedo.byteCount());
        EXPECT_EQ(std::memcmp(back.materials[i].albedo.data(), scene.materials[i].albedo.data(),
                              scene.materials[i].albedo.byteCount()),
                  0);
    }
    EXPECT_EQ(back.model->surfaces().size(), scene.model->surfaces().size());
    for (size_t cut = 0; cut < bytes.size(); cut += 7)
        EXPECT_FALSE(decodeScene(bytes.substr(0, cut), back, why)) << cut;
    EXPECT_FALSE(decodeScene(bytes + "x", back, why));
}

// Long names: the model's cut to kMaxModelName with a hash, block names within 64 bytes, and
// materials sharing a long beginning keep files of their own.
TEST(ImportScene, LongNamesAreShortenedApartAndNeverShareAFile) {
    const std::string longModel(70, 'm');
    const std::string model = modelName(longModel);
    EXPECT_EQ(model.size(), kMaxModelName);
    EXPECT_NE(model, modelName(longModel + "x"));
    EXPECT_EQ(modelName("chair"), "chair");

    Vrenn::Test::TempDir dir;
    const std::string shared(60, 'a');
    dir.write("long.obj", "mtllib long.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nusemtl " + shared +
                              "1\nf 1 2 3\nusemtl " + shared + "2\nf 1 2 4\n");
    dir.write("long.mtl", "newmtl " + shared + "1\nKd 1 0 0\nnewmtl " + shared + "2\nKd 0 1 0\n");
    ImportedScene scene;
    std::string why;
    ASSERT_TRUE(import(dir.file("long.obj"), {model, {}}, scene, why)) << why;
    ASSERT_EQ(scene.materials.size(), 2u);
    std::set<std::string> files;
    for (const ImportedMaterial& m : scene.materials) {
        EXPECT_LE(m.block.name.size(), 64u);
        EXPECT_EQ(m.block.name.rfind(model + "_", 0), 0u) << m.block.name;
        files.insert(m.block.albedo);
        files.insert(m.block.normal);
    }
    EXPECT_EQ(files.size(), 4u);
}

// glTF checked before the importer library reads it: each damaged variant of a small valid
// file is refused with its reason, and the valid one passes.
TEST(GltfCheck, LengthsIndicesAndNodesAreCheckedAgainstTheRealBytes) {
    const auto check = [](const std::string& text, std::string& why) {
        return checkGltf(std::vector<uint8_t>(text.begin(), text.end()), false, {}, why);
    };
    const std::string valid = Vrenn::Test::readBytes(fixture("check.gltf"));
    std::string why;
    EXPECT_TRUE(check(valid, why)) << why;
    std::istringstream cases(Vrenn::Test::readBytes(fixture("check-damaged.txt")));
    int damaged = 0;
    for (std::string line; std::getline(cases, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t tab = line.find('\t'), tab2 = line.find('\t', tab + 1);
        const std::string from = line.substr(0, tab), reason = line.substr(tab2 + 1);
        std::string text = valid;
        text.replace(text.find(from), from.size(), line.substr(tab + 1, tab2 - tab - 1));
        EXPECT_FALSE(check(text, why)) << line;
        EXPECT_NE(why.find(reason), std::string::npos) << why;
        ++damaged;
    }
    EXPECT_EQ(damaged, 9);

    // A chain of nodes deeper than the limit, and the same chain one shorter.
    for (size_t depth : {kMaxGltfNodeDepth, kMaxGltfNodeDepth + 1}) {
        std::string nodes = R"({"nodes":[)";
        for (size_t i = 0; i + 1 < depth; ++i)
            nodes += R"({"children":[)" + std::to_string(i + 1) + "]},";
        nodes += "{}]}";
        EXPECT_EQ(check(nodes, why), depth == kMaxGltfNodeDepth) << depth << ": " << why;
    }

    // Binary glTF: the header's length is the file's.
    std::vector<uint8_t> glb(20 + 4, ' ');
    const uint32_t header[5] = {0x46546C67u, 2, uint32_t(glb.size()), 4, 0x4E4F534Au};
    std::memcpy(glb.data(), header, sizeof header);
    std::memcpy(glb.data() + 20, "{}  ", 4);
    EXPECT_TRUE(checkGltf(glb, true, {}, why)) << why;
    glb.pop_back();
    EXPECT_FALSE(checkGltf(glb, true, {}, why));
    EXPECT_NE(why.find("but the file holds 23"), std::string::npos) << why;
}

// A re-import replaces exactly the blocks its earlier import wrote and keeps every other
// byte; a block of the same name written by someone else stops it.
TEST(MaterialScript, ReimportReplacesItsOwnBlocksOnly) {
    const std::vector<MaterialBlock> first = {{"chair_wood", "wood_albedo.dds", "b.dds"},
                                              {"chair_metal", "a.dds", "b.dds"}};
    const std::vector<MaterialBlock> second = {{"chair_oak", "e.dds", "f.dds"}};
    const std::string ours = formatImportedBlocks("chair", second);
    for (const std::string user : {"// one\n// two\nmine {\n    fx effects/prt_lighting.fx\n"
                                   "    \"diffuseMap\" texture \"textures/mine.dds\"\n}\n",
                                   "/* a */ /* b */\n// c\nmine {\n    fx effects/x.fx // note }\n "
                                   "   \"v\" float \"}\"\n}\n",
                                   "mine {\n    not_fx { nested\n}\n"}) {
        SCOPED_TRACE(user);
        std::string once, twice, why;
        ASSERT_TRUE(mergeImportedBlocks(user, "chair", first, once, why)) << why;
        ASSERT_TRUE(mergeImportedBlocks(once + "\n" + user, "chair", second, twice, why)) << why;
        EXPECT_EQ(twice, user + "\n" + user + "\n" + ours.substr(0, ours.size() - 1));
    }

    // Block names in order, as the material manager reads them.
    const auto names = [](const std::string& text) {
        Tokenizer tokens;
        tokens.LoadText(text);
        std::vector<std::string> out;
        while (tokens.NextWord()) {
            out.push_back(tokens.Token());
            EXPECT_TRUE(tokens.SkipTo("{") && tokens.SkipTo("}"));
        }
        return out;
    };
    const std::string original = "/* scene */\n\nfloor {\n    fx effects/prt_lighting.fx\n}\n";
    std::string once, twice, third, why;
    ASSERT_TRUE(mergeImportedBlocks(original, "chair", first, once, why)) << why;
    ASSERT_TRUE(mergeImportedBlocks(once + "\nsky {\n    fx effects/sky.fx\n}\n", "table",
                                    {{"table_top", "c.dds", "d.dds"}}, twice, why));
    ASSERT_TRUE(mergeImportedBlocks(twice, "chair", second, third, why)) << why;
    EXPECT_EQ(names(third), (std::vector<std::string>{"floor", "sky", "table_top", "chair_oak"}));
    EXPECT_EQ(third.rfind(original, 0), 0u) << third;
    EXPECT_NE(third.find("\"diffuseMap\" texture \"e.dds\""), std::string::npos);
    EXPECT_EQ(third.find("wood_albedo"), std::string::npos);

    EXPECT_FALSE(mergeImportedBlocks(third, "sky", {{"floor", "g.dds", "h.dds"}}, once, why));
    EXPECT_NE(why.find("floor"), std::string::npos);
    EXPECT_FALSE(mergeImportedBlocks("broken {\n fx x\n", "chair", second, once, why));
}

} // namespace
} // namespace Vrenn::Import
