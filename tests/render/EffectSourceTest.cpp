// The effect file format, parsed without a GL device.

#include "render/gl/GLEffectSource.h"
#include "support/RenderTestSupport.h"

#include <array>
#include <chrono>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

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
    struct Case {
        const char* text;
        int line;
        const char* message;
    };
    const Case cases[] = {
        {"vertex v {}\nfragment f {}\ntechnique t {\n pass {\n  vertex = v; fragment = f;\n  "
         "cull = sideways;\n }\n}\n",
         6, "'cull' is none, cw or ccw, not 'sideways'"},
        {"vertex v {}\nfragment f {}\ntechnique t { pass { vertex = v; fragment = f; shine = 1; } "
         "}",
         3, "unknown pass state 'shine'"},
        {"vertex v {}\nfragment f {}\n\ntechnique t { pass { vertex = w; fragment = f; } }", 4,
         "vertex shader 'w' is not defined"},
        {"vertex v {}\nfragment f {}\ntechnique t { pass { vertex = v; } }", 3,
         "the pass names no fragment shader"},
        {"vertex v {}\nfragment f {}\n", 3, "the effect has no technique"},
        {"\nvertex v { void main() {\n", 2, "GLSL block is not closed with '}'"},
        {"vertex v {} vertex v {}", 1, "shader 'v' is defined twice"},
        {"bogus", 1,
         "expected shared, vertex, fragment, sampler, semantic or technique, found "
         "'bogus'"},
        {"vertex v {}\nfragment f {}\ntechnique t { pass { vertex = v fragment = f; } }", 3,
         "'vertex' takes one value"},
        {"vertex v {} fragment f {} technique t {}", 1, "technique 't' has no pass"},
        {"vertex v {} fragment f {} /* open", 1, "unterminated comment"},
        {"vertex v {} fragment f {} technique t { pass { vertex = v; fragment = f; } }\n"
         "technique t { pass { vertex = v; fragment = f; } }",
         2, "technique 't' is defined twice"},
    };
    for (const Case& c : cases) {
        EffectSource source;
        EffectSourceError error;
        EXPECT_FALSE(parseEffectSource(c.text, source, error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_EQ(error.message, c.message) << c.text;
    }
}

// Many blocks, as a hostile file could hold: names are checked without comparing each pair.
TEST(EffectSource, ManyBlocksParseInLinearTime) {
    std::string text = "fragment f {}\nsampler s {}\n";
    for (int i = 0; i < 40000; ++i) {
        const std::string n = std::to_string(i);
        text += "vertex v" + n + " {}\nsampler s" + n + " {}\ntechnique t" + n +
                " { pass { vertex = v" + n + "; fragment = f; } }\n";
    }
    EffectSource source;
    EffectSourceError error;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(parseEffectSource(text, source, error)) << error.message;
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
    EXPECT_EQ(source.vertexShaders.size(), 40000u);
    EXPECT_EQ(source.techniques.size(), 40000u);
    // The last name repeating the first is still found.
    EXPECT_FALSE(parseEffectSource(text + "sampler s {}", source, error));
    EXPECT_EQ(error.message, "sampler 's' is described twice");
}

} // namespace
} // namespace Vrenn
