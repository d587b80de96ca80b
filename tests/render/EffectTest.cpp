// Effects compiled and drawn on the test device, checked by reading pixels back.

#include "GLCallCounter.h"
#include "render/ShaderMgr.h"
#include "render/gl/GLEffect.h"
#include "render/gl/GLEffectSource.h"
#include "render/gl/GLTexture.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"
#include "support/TestData.h"

#include <gtest/gtest.h>
#include <sstream>
#include <tuple>

namespace Vrenn {
namespace {

using namespace Test;

class EffectTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& renderer = GLTestContext::get().renderer();
        renderer.setRenderTarget(renderer.primaryTarget());
        renderer.clear(true, true, false);
    }

    std::shared_ptr<GLEffect> compile(const std::string& text) {
        return std::dynamic_pointer_cast<GLEffect>(ShaderMgr::instance()->createEffect(text));
    }

    // A 2x2 RGBA8 texture: red, green / blue, white (top row first).
    std::shared_ptr<GLTexture> checkerTexture() {
        const uint8_t texels[] = {255, 0, 0,   255, 0,   255, 0,   255,
                                  0,   0, 255, 255, 255, 255, 255, 255};
        GLuint id = 0;
        glCreateTextures(GL_TEXTURE_2D, 1, &id);
        glTextureStorage2D(id, 1, GL_RGBA8, 2, 2);
        glTextureSubImage2D(id, 0, 0, 0, 2, 2, GL_RGBA, GL_UNSIGNED_BYTE, texels);
        auto texture = std::make_shared<GLTexture>("checker", TEXTURE_2D, 2, 2, 1, 4);
        texture->adopt(GLTestContext::get().context(), id, GL_TEXTURE_2D, 1);
        return texture;
    }

    void setCorners(GLEffect& effect, Vector4 a, Vector4 b, Vector4 c) {
        const Vector4 corners[3] = {a, b, c};
        ASSERT_TRUE(effect.getParameter("corners")->setVectorArray(corners, 3));
    }

    // The triangle effect covering the whole screen with the checker texture tinted
    // red: the bottom-left pixel samples texel (0, 0), red.
    std::shared_ptr<GLEffect> fullScreenEffect() {
        auto effect = compile(fixture("render/triangle.fx"));
        EXPECT_NE(effect, nullptr);
        if (effect) setUpFullScreen(*effect);
        return effect;
    }
    void setUpFullScreen(GLEffect& effect) {
        setCorners(effect, {-1, -1, 0, 1}, {3, -1, 0, 1}, {-1, 3, 0, 1});
        effect.getParameter("transform")->setMatrix(Matrix4::identity());
        effect.getParameter("baseMap")->setTexture(checkerTexture());
        effect.getParameter("tint")->setVector({1, 0, 0, 1});
    }

    static std::array<uint8_t, 4> bottomLeft() {
        return backBufferPixel(0, GLTestContext::get().renderer().primaryTarget()->height() - 1);
    }
};

TEST_F(EffectTest, TriangleLandsWhereTheMatrixPutsItWithTextureAndTint) {
    auto effect = compile(fixture("render/triangle.fx"));
    ASSERT_NE(effect, nullptr);
    ASSERT_TRUE(effect->setTechnique("Textured"));
    // Corners (0,0), (1,0), (0,1) in texture space double as positions; the matrix
    // scales by 0.8 and moves them left by 0.9 and down by 0.5.
    // Arrays are cut at the parameter's size: the fourth corner is not written anywhere.
    const Vector4 corners[4] = {{0, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}, {9, 9, 9, 9}};
    ASSERT_TRUE(effect->getParameter("corners")->setVectorArray(corners, 4));
    Matrix4 transform = Matrix4::identity();
    transform(0, 0) = 0.8f;
    transform(1, 1) = 0.8f;
    transform(0, 3) = -0.9f;
    transform(1, 3) = -0.5f;
    ASSERT_TRUE(effect->getParameter("transform")->setMatrix(transform));
    ASSERT_TRUE(effect->getParameter("baseMap")->setTexture(checkerTexture()));
    ASSERT_TRUE(effect->getParameter("tint")->setVector({1.0f, 1.0f, 0.5f, 1.0f}));
    ASSERT_TRUE(drawPasses(*effect));

    // Points given in the triangle's texture space (u, v). Texture row 0 is the top row
    // of the image and is sampled where v is near 0. Outside the triangle: beyond the
    // hypotenuse, the untransformed place, and the place it would cover were y mirrored.
    struct Sample {
        float u, v;
        std::array<uint8_t, 4> rgba;
    };
    const Sample samples[] = {
        {0.1f, 0.1f, {255, 0, 0, 255}},   // texel (0, 0), red
        {0.85f, 0.05f, {0, 255, 0, 255}}, // texel (1, 0), green
        {0.05f, 0.85f, {0, 0, 128, 255}}, // texel (0, 1), blue, halved by the tint
        {0.7f, 0.7f, {}},
        {1.375f, 0.875f, {}},
        {0.1f, 1.15f, {}},
    };
    for (const Sample& at : samples)
        EXPECT_EQ(backBufferPixelAtClip(-0.9f + 0.8f * at.u, -0.5f + 0.8f * at.v), at.rgba)
            << at.u << ", " << at.v;
}

// A second pass blends over the first; techniques switch by name or index; a clone draws with
// values of its own; culling follows the winding on the screen, where clip-space y points up, so
// corners going right then down wind clockwise.
TEST_F(EffectTest, TechniquesSwitchAndTheirPassesBlendAndCull) {
    auto effect = fullScreenEffect();
    ASSERT_NE(effect, nullptr);
    ASSERT_TRUE(effect->setTechnique("AddGreen"));
    EXPECT_FALSE(effect->setTechnique("NoSuchTechnique"));
    EXPECT_FALSE(effect->setTechnique(99u));
    EXPECT_EQ(effect->currentTechnique(), 1u);
    ASSERT_TRUE(drawPasses(*effect));
    EXPECT_EQ(effect->passCount(), 2u);
    // Red from the first pass, green added on top by the second.
    EXPECT_EQ(bottomLeft(), (std::array<uint8_t, 4>{255, 255, 0, 255}));

    ASSERT_TRUE(effect->setTechnique(0u));
    GLTestContext::get().renderer().clear(true, true, false);
    ASSERT_TRUE(drawPasses(*effect));
    EXPECT_EQ(effect->passCount(), 1u);
    EXPECT_EQ(bottomLeft(), (std::array<uint8_t, 4>{255, 0, 0, 255}));
    // A clone's values are its own, though it shares the original's programs.
    auto copy = effect->clone();
    copy->getParameter("tint")->setVector({0, 0, 0, 1});
    for (auto [drawn, red] : {std::pair<Effect*, int>{copy.get(), 0}, {effect.get(), 255}}) {
        ASSERT_TRUE(drawPasses(*drawn));
        EXPECT_EQ(bottomLeft()[0], red);
    }

    setCorners(*effect, {-0.5f, 0.5f, 0, 1}, {0.5f, 0.5f, 0, 1}, {-0.5f, -0.5f, 0, 1});
    GLTestContext::get().renderer().clear(true, true, false);
    for (auto [technique, green] : {std::pair{"CullClockwise", 0}, {"CullCounterClockwise", 255}}) {
        ASSERT_TRUE(effect->setTechnique(technique));
        ASSERT_TRUE(drawPasses(*effect));
        EXPECT_EQ(backBufferPixelAtClip(-0.3f, 0.3f)[1], green) << technique;
    }
}

// Drawn again, a pass sets only the state it differs in from the defaults, which end() resets:
// no render state is left behind.
TEST_F(EffectTest, APassSetsOnlyTheStateItChangesAndLeavesNoneBehind) {
    auto effect = compile(fixture("render/triangle.fx"));
    ASSERT_NE(effect, nullptr);
    ASSERT_TRUE(effect->setTechnique("Textured")); // depth_test = false, the rest default
    effect->getParameter("baseMap")->setTexture(checkerTexture());
    ASSERT_TRUE(drawPasses(*effect));
    {
        GLCallCounter calls;
        ASSERT_TRUE(drawPasses(*effect));
        EXPECT_EQ(calls.binds(), 0);
        EXPECT_EQ(calls.uniforms(), 0);
        EXPECT_EQ(calls.states(), 2); // depth test off for the pass, on at its end
        EXPECT_EQ(calls.total(), 2);
    }
    {
        GLCallCounter calls;
        ASSERT_TRUE(effect->getParameter("tint")->setVector({0, 1, 0, 1}));
        ASSERT_TRUE(drawPasses(*effect));
        EXPECT_EQ(calls.uniforms(), 1);
        EXPECT_EQ(calls.binds(), 0);
    }

    auto everything = compile(fixture("render/everything.fx"));
    ASSERT_NE(everything, nullptr);
    bool blending = false; // the pass's states are set while it runs
    ASSERT_TRUE(drawPasses(*everything, [&] { blending = glIsEnabled(GL_BLEND); }));
    EXPECT_TRUE(blending);
    for (auto [capability, enabled] :
         {std::pair{GL_CULL_FACE, false}, {GL_DEPTH_TEST, true}, {GL_BLEND, false}})
        EXPECT_EQ(glIsEnabled(capability), enabled) << capability;
    for (auto [name, value] : {std::pair{GL_POLYGON_MODE, GL_FILL},
                               {GL_DEPTH_FUNC, GL_LEQUAL},
                               {GL_BLEND_SRC_RGB, GL_ONE},
                               {GL_BLEND_DST_RGB, GL_ZERO},
                               {GL_BLEND_EQUATION_RGB, GL_FUNC_ADD}}) {
        GLint values[2] = {};
        glGetIntegerv(name, values);
        EXPECT_EQ(values[0], static_cast<GLint>(value)) << name;
    }
    GLboolean masks[5] = {};
    glGetBooleanv(GL_COLOR_WRITEMASK, masks);
    glGetBooleanv(GL_DEPTH_WRITEMASK, masks + 4);
    EXPECT_TRUE(masks[0] && masks[1] && masks[2] && masks[3] && masks[4]);
    EXPECT_TRUE(noGLError());
}

// The complete example of docs/effects.md compiles as written; a broken shader is logged with
// its file, line and the driver's text, once per failure, and registers nothing.
TEST_F(EffectTest, DocumentedExampleCompilesAndBrokenShadersAreLogged) {
    const std::string doc = Vrenn::Test::readBytes(VRENN_DOCS_DIR "/effects.md");
    const std::string open = "```effect\n";
    const size_t start = doc.find(open);
    ASSERT_NE(start, std::string::npos);
    const size_t end = doc.find("```", start + open.size());
    ASSERT_NE(end, std::string::npos);
    {
        LogCapture log;
        auto effect = compile(doc.substr(start + open.size(), end - start - open.size()));
        ASSERT_NE(effect, nullptr) << log.text();
        EXPECT_TRUE(effect->setTechnique("TexturedGlow"));
        uint32_t passes = 0;
        ASSERT_TRUE(effect->begin(&passes));
        EXPECT_EQ(passes, 2u);
        EXPECT_TRUE(effect->end());
        EXPECT_NE(effect->getParameterBySemantic("WorldViewProjection"), nullptr);
    }

    const std::string& broken = fixture("render/broken.fx");
    TempDir directory;
    directory.write("broken.fx", broken);
    const size_t registered = ShaderMgr::instance()->entries().size();
    LogCapture log;
    EXPECT_EQ(ShaderMgr::instance()->loadEffect(directory.file("broken.fx")), nullptr);
    EXPECT_EQ(ShaderMgr::instance()->createEffect(broken), nullptr);
    EXPECT_EQ(ShaderMgr::instance()->entries().size(), registered);
    const std::string text = log.text();
    EXPECT_NE(text.find("GL FX Compile Error: " + directory.file("broken.fx") +
                        ":4: fragment shader 'f': "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("GL FX Compile Error: <memory>:4: fragment shader 'f': "),
              std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2); // one line per failure
}

// The effect file format, parsed without a GL device.
TEST(EffectSource, ParsesBlocksSamplersSemanticsAndPassStates) {
    EffectSource source;
    EffectSourceError error;
    ASSERT_TRUE(parseEffectSource(Vrenn::Test::fixture("render/full.fx"), source, error))
        << error.line << ": " << error.message;

    ASSERT_EQ(source.shared.size(), 1u);
    EXPECT_EQ(source.shared[0].line, 2);
    EXPECT_NE(source.shared[0].code.find("uniform mat4 transform;"), std::string::npos);
    ASSERT_EQ(source.vertexShaders.size(), 1u);
    EXPECT_EQ(source.vertexShaders[0].name, "vs");
    EXPECT_EQ(source.vertexShaders[0].line, 5);
    // The block ends at its own closing brace, not at one inside a comment or a body.
    EXPECT_NE(source.vertexShaders[0].code.find("// }"), std::string::npos);
    ASSERT_EQ(source.fragmentShaders.size(), 1u);
    EXPECT_EQ(source.fragmentShaders[0].line, 8);

    ASSERT_EQ(source.samplers.size(), 1u);
    const auto& sampler = source.samplers[0];
    EXPECT_EQ(sampler.name, "baseMap");
    EXPECT_EQ((std::array{sampler.minFilter, sampler.magFilter, sampler.wrapS, sampler.wrapT,
                          sampler.wrapR}),
              (std::array<GLint, 5>{GL_NEAREST, GL_NEAREST, GL_CLAMP_TO_EDGE, GL_MIRRORED_REPEAT,
                                    GL_CLAMP_TO_EDGE}));
    ASSERT_EQ(source.semantics.size(), 1u);
    EXPECT_EQ(source.semantics[0].semantic, "WORLDVIEWPROJECTION");
    EXPECT_EQ(source.semantics[0].parameter, "transform");

    ASSERT_EQ(source.techniques.size(), 2u);
    const auto& lit = source.techniques[0];
    EXPECT_EQ(lit.name, "Lit");
    ASSERT_EQ(lit.passes.size(), 2u);
    EXPECT_EQ(lit.passes[0].name, "first");
    const RenderStates expected{
        CullMode::Clockwise, FillMode::Wireframe,    false,  false, GL_GEQUAL, true,
        GL_SRC_ALPHA,        GL_ONE_MINUS_SRC_ALPHA, GL_MAX, 0x5};
    EXPECT_EQ(lit.passes[0].states, expected);
    // A pass that says nothing about a state has the renderer's default.
    EXPECT_EQ(lit.passes[1].states, RenderStates{});
    EXPECT_TRUE(lit.passes[1].name.empty());
    EXPECT_EQ(source.techniques[1].passes[0].states.colourMask, 0);
}

TEST(EffectSource, SamplerFiltersCombineWithTheMipFilter) {
    struct Case {
        const char* states;
        GLint min;
    };
    for (const Case& c :
         {Case{"", GL_LINEAR_MIPMAP_LINEAR}, Case{"mip = point;", GL_LINEAR_MIPMAP_NEAREST},
          Case{"min = point; mip = linear;", GL_NEAREST_MIPMAP_LINEAR},
          Case{"min = linear; mip = none;", GL_LINEAR}}) {
        const std::string text = std::string("vertex v {} fragment f {} sampler s { ") + c.states +
                                 " } technique t { pass { vertex = v; fragment = f; } }";
        EffectSource source;
        EffectSourceError error;
        ASSERT_TRUE(parseEffectSource(text, source, error)) << error.message;
        EXPECT_EQ(source.samplers[0].minFilter, c.min) << c.states;
    }
}

TEST(EffectSource, ErrorsNameTheLineAndTheProblem) {
    std::istringstream file(Vrenn::Test::fixture("render/effect-errors.txt"));
    std::vector<std::tuple<int, std::string, std::string>> cases; // line, message, effect
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("@ ", 0) == 0) {
            const size_t blank = line.find(' ', 2);
            cases.emplace_back(std::stoi(line.substr(2, blank - 2)), line.substr(blank + 1), "");
        } else if (!cases.empty()) {
            std::get<2>(cases.back()) += line + "\n";
        }
    }
    ASSERT_EQ(cases.size(), 13u);
    for (const auto& [line, message, text] : cases) {
        EffectSource source;
        EffectSourceError error;
        EXPECT_FALSE(parseEffectSource(text, source, error)) << text;
        EXPECT_EQ(error.line, line) << text;
        EXPECT_EQ(error.message, message) << text;
    }
}

} // namespace
} // namespace Vrenn
