// Material scripts read into materials whose values reach a real compiled effect.

#include "support/GLTestContext.h"
#include "fs/CodecMgr.h"
#include "fs/FileSystem.h"
#include "fs/Image.h"
#include "render/Effect.h"
#include "render/ShaderMgr.h"
#include "render/TextureManager.h"
#include "scene/MaterialMgr.h"

#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::GLTestContext;
using Test::LogCapture;
using Test::TempDir;

// Every parameter type a script can set, and the standard transforms.
const char* const kEffect = R"(
shared {
    uniform int passes;
    uniform float gloss;
    uniform vec4 diffuse;
    uniform mat4 offset;
    uniform float weights[16];
    uniform sampler2D diffuseMap;
    uniform mat4 worldMat;
    uniform mat4 viewMat;
    uniform mat4 viewInverse;
    uniform mat4 worldIT;
    uniform mat4 worldView;
    uniform mat4 worldViewProj;
}
vertex vs {
    void main() {
        gl_Position = worldViewProj * worldView * worldIT * viewInverse * viewMat * worldMat
                      * offset * vec4(gloss * float(passes) * weights[15]);
    }
}
fragment fs {
    out vec4 colour;
    void main() { colour = texture(diffuseMap, vec2(0.5)) * diffuse; }
}
technique First { pass { vertex = vs; fragment = fs; } }
technique Second { pass { vertex = vs; fragment = fs; } }
)";

class MaterialScripts : public ::testing::Test {
protected:
    void SetUp() override {
        auto& context = GLTestContext::get();
        renderer = context.rendererPtr();
        dir.write("effects/all.fx", kEffect);
        dir.write("textures/.keep", "");
        registerStandardCodecs(codecs);
        // A 1x1 red texture under a name with a blank in it.
        Image image;
        uint8_t* texel = image.create(1, 1, 1, FORMAT_RGBA8, 1, 1);
        texel[0] = 255;
        texel[1] = texel[2] = 0;
        texel[3] = 255;
        ASSERT_TRUE(image.save(dir.file("textures/red map.dds")));
        fileSystem = std::make_unique<FileSystem>();
        materials = std::make_unique<MaterialMgr>(
            std::shared_ptr<ShaderMgr>(renderer, renderer->shaderMgr().get()),
            std::shared_ptr<TextureManager>(renderer, renderer->textureManager().get()));
    }
    void TearDown() override {
        materials.reset();
        renderer->shaderMgr()->removeAll();
        renderer->textureManager()->removeAll();
    }

    TempDir dir{/*enter=*/true};
    CodecMgr codecs;
    std::shared_ptr<GLRenderer> renderer;
    std::unique_ptr<FileSystem> fileSystem;
    std::unique_ptr<MaterialMgr> materials;
};

TEST_F(MaterialScripts, EveryParameterTypeReachesTheEffect) {
    dir.write("materials/test.mtr", R"(// a comment before the first block
shiny junk before the brace {
    fx effects/all.fx
    technique "Second"
    "passes" int "3"
    "gloss" float "0.75"
    "diffuse" float4 "1 0 0 1"
    "offset" float4x4 "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"
    "weights" float16 "1 2 3"
    "diffuseMap" texture "textures/red map.dds"
    "missing" float "5"
    somethingElse is ignored "entirely"
}
)");
    EXPECT_TRUE(materials->loadScript("materials/test.mtr"));
    const auto material = materials->find("shiny");
    ASSERT_TRUE(material);
    ASSERT_TRUE(material->effect());
    EXPECT_EQ(material->technique(), "Second");
    // A value with fewer numbers than its type holds is completed with zeros.
    ASSERT_EQ(material->floatArrays().size(), 1u);
    EXPECT_EQ(material->floatArrays()[0].value[2], 3.0f);
    EXPECT_EQ(material->floatArrays()[0].value[15], 0.0f);
    // The texture's quotes are removed once: the file name with its blank is found.
    ASSERT_EQ(material->textures().size(), 1u);
    EXPECT_TRUE(material->textures()[0].value);
    EXPECT_TRUE(renderer->textureManager()->find("textures/red map.dds"));
    // A parameter the effect lacks is kept, without a parameter behind it.
    ASSERT_EQ(material->floats().size(), 2u);
    EXPECT_FALSE(material->floats()[1].param);

    renderer->world() = Matrix4::translation({1, 2, 3});
    renderer->view() = Matrix4::scaling(2, 2, 2);
    renderer->projection() = Matrix4::translation({0, 0, 5});
    material->apply(*renderer);

    auto& effect = *material->effect();
    int32_t passes = 0;
    ASSERT_TRUE(effect.getParameter("passes")->getInt(passes));
    EXPECT_EQ(passes, 3);
    float gloss = 0;
    ASSERT_TRUE(effect.getParameter("gloss")->getFloat(gloss));
    EXPECT_EQ(gloss, 0.75f);
    Vector4 diffuse;
    ASSERT_TRUE(effect.getParameter("diffuse")->getVector(diffuse));
    EXPECT_EQ(diffuse, (Vector4{1, 0, 0, 1}));
    auto matrix = [&](const char* name) {
        Matrix4 value;
        EXPECT_TRUE(effect.getParameter(name)->getMatrix(value)) << name;
        return value;
    };
    EXPECT_EQ(matrix("offset")(0, 1), 2.0f); // read row by row
    EXPECT_EQ(matrix("offset")(3, 0), 13.0f);
    float weights[16] = {};
    ASSERT_TRUE(effect.getParameter("weights")->getFloatArray(weights, 16));
    EXPECT_EQ(weights[0], 1.0f);
    EXPECT_EQ(weights[1], 2.0f);

    EXPECT_EQ(matrix("worldMat"), renderer->world());
    EXPECT_EQ(matrix("viewMat"), renderer->view());
    EXPECT_EQ(matrix("viewInverse")(0, 0), 0.5f);
    EXPECT_EQ(matrix("worldIT")(3, 0), -1.0f); // the inverse translation, transposed into row 3
    // W then V then P: the point (0, 0, 0) lands at P(V(W p)) = (2, 4, 6 + 5).
    EXPECT_EQ(matrix("worldViewProj").transformPoint({0, 0, 0}), (Vec3{2.0f, 4.0f, 11.0f}));
    EXPECT_EQ(matrix("worldView").transformPoint({0, 0, 0}), (Vec3{2.0f, 4.0f, 6.0f}));
}

TEST_F(MaterialScripts, SkippedBlocksDuplicatesAndUnknownNames) {
    LogCapture log;
    EXPECT_FALSE(materials->loadScriptText(R"(
notamaterial { something else entirely "x" float "1" }
first { fx effects/all.fx
    "gloss" float "1"
    "shine" flaot "2"
}
first { fx effects/all.fx
    "gloss" float "2"
}
noeffect { fx effects/missing.fx
    "gloss" float "3"
}
last { fx effects/all.fx
    "diffuse" float4 1 0 0 1
}
)"));
    // Each part that cannot be used is named in one line.
    EXPECT_EQ(log.text(),
              "MaterialMgr: <text>: block notamaterial does not start with fx; skipped\n"
              "MaterialMgr: <text>: material first: parameter \"shine\" has the unknown type "
              "flaot\n"
              "GL FX Compile Error: effects/missing.fx: the file cannot be read\n");
    EXPECT_FALSE(materials->find("notamaterial"));
    ASSERT_TRUE(materials->find("first"));
    EXPECT_EQ(materials->find("first")->floats().at(0).value, 1.0f); // the first one stays
    // A material whose effect cannot be made exists, without effect and values.
    ASSERT_TRUE(materials->find("noeffect"));
    EXPECT_FALSE(materials->find("noeffect")->effect());
    EXPECT_TRUE(materials->find("noeffect")->floats().empty());
    // Without quotes the value loses its first and last characters: " 0 0 " is left.
    ASSERT_TRUE(materials->find("last"));
    EXPECT_EQ(materials->find("last")->vectors().at(0).value, (Vector4{0, 0, 0, 0}));
    // Both materials of the same file share one compiled effect.
    EXPECT_EQ(materials->find("first")->effect(), materials->find("last")->effect());

    const auto made = materials->getMaterial("unknown");
    ASSERT_TRUE(made);
    EXPECT_FALSE(made->effect());
    EXPECT_EQ(materials->getMaterial("unknown"), made);
    made->apply(*renderer); // harmless without an effect

    LogCapture missing;
    EXPECT_FALSE(materials->loadScript("materials/none.mtr"));
    EXPECT_EQ(missing.text(), "--- Loading materials/none.mtr\n"
                              "Warning: Loading materials/none.mtr failed.\n");
    EXPECT_EQ(materials->entries().size(), 4u); // first, noeffect, last, unknown
}

} // namespace
} // namespace Vrenn
