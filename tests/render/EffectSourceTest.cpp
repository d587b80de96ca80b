// The effect file format, parsed without a GL device.

#include "render/gl/GLEffectSource.h"
#include "support/RenderTestSupport.h"

#include <array>
#include <gtest/gtest.h>
#include <sstream>
#include <tuple>

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
    ASSERT_EQ(cases.size(), 12u);
    for (const auto& [line, message, text] : cases) {
        EffectSource source;
        EffectSourceError error;
        EXPECT_FALSE(parseEffectSource(text, source, error)) << text;
        EXPECT_EQ(error.line, line) << text;
        EXPECT_EQ(error.message, message) << text;
    }
}

// Many blocks, as a hostile file could hold: names are checked without comparing each pair.
TEST(EffectSource, ManyBlocksParseWithEveryNameKept) {
    std::string text = "fragment f {}\nsampler s {}\n";
    for (int i = 0; i < 40000; ++i) {
        const std::string n = std::to_string(i);
        text += "vertex v" + n + " {}\nsampler s" + n + " {}\ntechnique t" + n +
                " { pass { vertex = v" + n + "; fragment = f; } }\n";
    }
    EffectSource source;
    EffectSourceError error;
    ASSERT_TRUE(parseEffectSource(text, source, error)) << error.message;
    EXPECT_EQ(source.vertexShaders.size(), 40000u);
    EXPECT_EQ(source.techniques.size(), 40000u);
    // The last name repeating the first is still found.
    EXPECT_FALSE(parseEffectSource(text + "sampler s {}", source, error));
    EXPECT_EQ(error.message, "sampler 's' is described twice");
}

} // namespace
} // namespace Vrenn
