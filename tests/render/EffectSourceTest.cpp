// The effect file format, parsed without a GL device.

#include "render/gl/GLEffectSource.h"

#include <chrono>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

const char* const kFull = R"(// A comment before anything.
shared {
    uniform mat4 transform; /* braces in comments: { */
}
vertex vs {
    void main() { gl_Position = transform * vec4(0.0); } // }
}
fragment fs { out vec4 colour; void main() { colour = vec4(1.0); } }
sampler baseMap { min = point; mag = point; mip = none; address = clamp; address_v = mirror; }
semantic WORLDVIEWPROJECTION = transform;
technique Lit {
    pass first {
        vertex = vs; fragment = fs;
        cull = cw; fill = wireframe;
        depth_test = false; depth_write = off; depth_func = greater_equal;
        blend = src_alpha inv_src_alpha; blend_op = max; colour_mask = rb;
    }
    pass { vertex = vs; fragment = fs; }
}
technique Plain { pass { vertex = vs; fragment = fs; blend = off; color_mask = none; } }
)";

TEST(EffectSource, ParsesBlocksSamplersSemanticsAndPassStates) {
    EffectSource source;
    EffectSourceError error;
    ASSERT_TRUE(parseEffectSource(kFull, source, error)) << error.line << ": " << error.message;

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
    EXPECT_EQ(sampler.minFilter, GL_NEAREST);
    EXPECT_EQ(sampler.magFilter, GL_NEAREST);
    EXPECT_EQ(sampler.wrapS, GL_CLAMP_TO_EDGE);
    EXPECT_EQ(sampler.wrapT, GL_MIRRORED_REPEAT);
    EXPECT_EQ(sampler.wrapR, GL_CLAMP_TO_EDGE);

    ASSERT_EQ(source.semantics.size(), 1u);
    EXPECT_EQ(source.semantics[0].semantic, "WORLDVIEWPROJECTION");
    EXPECT_EQ(source.semantics[0].parameter, "transform");

    ASSERT_EQ(source.techniques.size(), 2u);
    const auto& lit = source.techniques[0];
    EXPECT_EQ(lit.name, "Lit");
    ASSERT_EQ(lit.passes.size(), 2u);
    const RenderStates& s = lit.passes[0].states;
    EXPECT_EQ(lit.passes[0].name, "first");
    EXPECT_EQ(s.cull, CullMode::Clockwise);
    EXPECT_EQ(s.fill, FillMode::Wireframe);
    EXPECT_FALSE(s.depthTest);
    EXPECT_FALSE(s.depthWrite);
    EXPECT_EQ(s.depthFunc, static_cast<GLenum>(GL_GEQUAL));
    EXPECT_TRUE(s.blend);
    EXPECT_EQ(s.blendSource, static_cast<GLenum>(GL_SRC_ALPHA));
    EXPECT_EQ(s.blendDestination, static_cast<GLenum>(GL_ONE_MINUS_SRC_ALPHA));
    EXPECT_EQ(s.blendOperation, static_cast<GLenum>(GL_MAX));
    EXPECT_EQ(s.colourMask, 0x5);
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

// A file of many blocks, as a hostile one could be: each name is checked against the
// earlier ones of its kind without comparing it with every one of them.
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
