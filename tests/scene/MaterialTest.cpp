// Material scripts read into materials whose values reach a real compiled effect.

#include "fs/CodecMgr.h"
#include "fs/FileSystem.h"
#include "fs/Image.h"
#include "render/Effect.h"
#include "render/ShaderMgr.h"
#include "render/TextureManager.h"
#include "scene/MaterialMgr.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"

#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using namespace Test;

using Rgba = std::array<uint8_t, 4>;
constexpr Rgba kBlue = {0, 0, 255, 255};
constexpr Rgba kYellow = {255, 255, 0, 255};

class MaterialScripts : public ::testing::Test {
protected:
    void SetUp() override {
        auto& context = GLTestContext::get();
        renderer = context.rendererPtr();
        dir.write("effects/all.fx", fixture("scene/all.fx"));
        dir.write("effects/fill.fx", fixture("scene/fill.fx"));
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
        renderer->setRenderTarget(renderer->primaryTarget());
        renderer->shaderMgr()->removeAll();
        renderer->textureManager()->removeAll();
    }

    // Applies the material, draws its full-screen triangle into the bound target and
    // gives back the back buffer's pixel at the window's centre.
    Rgba drawWith(const Material& material) {
        material.apply(*renderer);
        EXPECT_TRUE(drawPasses(*material.effect()));
        const auto& primary = *renderer->primaryTarget();
        return backBufferPixel(primary.width() / 2, primary.height() / 2);
    }

    TempDir dir{/*enter=*/true};
    CodecMgr codecs;
    std::shared_ptr<GLRenderer> renderer;
    std::unique_ptr<FileSystem> fileSystem;
    std::unique_ptr<MaterialMgr> materials;
};

TEST_F(MaterialScripts, EveryParameterTypeReachesTheEffect) {
    dir.write("materials/test.mtr", fixture("scene/shiny.mtr"));
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
    EXPECT_FALSE(materials->loadScriptText(fixture("scene/skipped.mtr")));
    // Each part that cannot be used is named in one line; a block never closed holds the rest of
    // the script, given up with one line.
    EXPECT_EQ(log.text(),
              "MaterialMgr: <text>: block notamaterial does not start with fx; skipped\n"
              "MaterialMgr: <text>: material first: parameter \"shine\" has the unknown type "
              "flaot\n"
              "GL FX Compile Error: effects/missing.fx: the file cannot be read\n"
              "MaterialMgr: <text>: block m does not start with fx; skipped\n"
              "MaterialMgr: <text>: block m is not closed with }; the rest of the script is "
              "skipped\n");
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

TEST_F(MaterialScripts, ValuesSetByNameReachTheirOwnMaterialsDraw) {
    ASSERT_TRUE(materials->loadScriptText(fixture("scene/drawn.mtr")));
    const auto material = materials->find("frame");
    ASSERT_TRUE(material);
    auto& effect = *material->effect();
    // A value set every frame stays one value, and apply pushes the latest.
    for (int frame = 0; frame < 1000; ++frame)
        material->setFloat("gloss", static_cast<float>(frame));
    EXPECT_EQ(material->floats().size(), 2u);
    // Set through another type, a name leaves its old list: the int set last wins,
    // although ints are pushed before floats.
    material->setInt("passes", 7);
    EXPECT_EQ(material->floats().size(), 1u);
    ASSERT_EQ(material->ints().size(), 1u);
    effect.getParameter("gloss")->setFloat(-1.0f);
    material->apply(*renderer);
    float gloss = 0;
    ASSERT_TRUE(effect.getParameter("gloss")->getFloat(gloss));
    EXPECT_EQ(gloss, 999.0f);
    int32_t passes = 0;
    ASSERT_TRUE(effect.getParameter("passes")->getInt(passes));
    EXPECT_EQ(passes, 7);
    // Given another effect, the material's values go to that effect's parameters.
    dir.write("effects/other.fx", fixture("scene/all.fx"));
    const auto other = renderer->shaderMgr()->loadEffect("effects/other.fx");
    ASSERT_TRUE(other);
    material->setEffect(other);
    material->apply(*renderer);
    ASSERT_TRUE(other->getParameter("gloss")->getFloat(gloss));
    EXPECT_EQ(gloss, 999.0f);

    // Materials sharing an effect each draw with their own values.
    const auto plain = materials->find("plain");
    const auto bright = materials->find("bright");
    ASSERT_TRUE(plain && bright);
    ASSERT_EQ(plain->effect(), bright->effect());
    // Bools come from code; the shader reads a GLSL bool.
    bright->setBool("diffuseOnly", true);
    plain->setBool("diffuseOnly", false);
    ASSERT_EQ(bright->bools().size(), 1u);
    auto& shared = *plain->effect();

    renderer->setRenderTarget(renderer->primaryTarget());
    EXPECT_EQ(drawWith(*bright), kYellow);
    // What the other material or a caller left in the shared effect does not show.
    shared.getParameter("tint")->setVector({0, 1, 0, 1});
    EXPECT_EQ(drawWith(*plain), kBlue);
    bool diffuseOnly = true;
    ASSERT_TRUE(shared.getParameter("diffuseOnly")->getBool(diffuseOnly));
    EXPECT_FALSE(diffuseOnly);
    EXPECT_EQ(drawWith(*bright), kYellow);
    ASSERT_TRUE(shared.getParameter("diffuseOnly")->getBool(diffuseOnly));
    EXPECT_TRUE(diffuseOnly);
    EXPECT_EQ(drawWith(*plain), kBlue);
}

} // namespace
} // namespace Vrenn
