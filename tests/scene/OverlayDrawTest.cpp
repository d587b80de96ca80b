// Overlays drawn on the device with materials from a script: the quads written into
// the overlay reach the screen, and each material draws with its own technique.

#include "fs/FileSystem.h"
#include "render/ShaderMgr.h"
#include "render/TextureManager.h"
#include "render/VertexBuffer.h"
#include "scene/MaterialMgr.h"
#include "scene/OverlayMgr.h"
#include "support/GLTestContext.h"

#include <array>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::GLTestContext;
using Test::TempDir;

// One effect, three techniques: plain red, plain green, and the vertex colour.
const char* const kEffect = R"(
shared { uniform mat4 worldViewProj; }
vertex quadVS {
    layout(location = ATTR_POSITION) in vec2 position;
    layout(location = ATTR_COLOR) in vec4 colour;
    out vec4 tint;
    void main() {
        tint = colour;
        gl_Position = worldViewProj * vec4(position, 0.0, 1.0);
    }
}
fragment redFS { in vec4 tint; out vec4 result; void main() { result = vec4(1, 0, 0, 1); } }
fragment greenFS { in vec4 tint; out vec4 result; void main() { result = vec4(0, 1, 0, 1); } }
fragment tintFS { in vec4 tint; out vec4 result; void main() { result = tint; } }
technique Red { pass { vertex = quadVS; fragment = redFS; depth_test = false; } }
technique Green { pass { vertex = quadVS; fragment = greenFS; depth_test = false; } }
technique Tint { pass { vertex = quadVS; fragment = tintFS; depth_test = false; } }
)";

class OverlayDraw : public ::testing::Test {
protected:
    void SetUp() override {
        renderer = GLTestContext::get().rendererPtr();
        dir.write("effects/quads.fx", kEffect);
        fileSystem = std::make_unique<FileSystem>();
        materials = std::make_unique<MaterialMgr>(
            std::shared_ptr<ShaderMgr>(renderer, renderer->shaderMgr().get()),
            std::shared_ptr<TextureManager>(renderer, renderer->textureManager().get()));
        // The red material comes first: the effect's first technique is Red.
        ASSERT_TRUE(materials->loadScriptText(R"(
red { fx effects/quads.fx
    technique "Red"
}
green { fx effects/quads.fx
    technique "Green"
}
tint { fx effects/quads.fx
    technique "Tint"
}
)"));
        renderer->setRenderTarget(renderer->primaryTarget());
        renderer->clear(true, true, false);
        renderer->begin2D();
        width = renderer->primaryTarget()->width();
        height = renderer->primaryTarget()->height();
    }
    void TearDown() override {
        overlays.reset();
        materials.reset();
        renderer->shaderMgr()->removeAll();
    }

    // The back buffer's RGB at a point in screen units (0 to 1 across and down).
    std::array<uint8_t, 3> at(float x, float y) {
        std::vector<uint8_t> rgba;
        EXPECT_TRUE(renderer->readBackBuffer(rgba));
        const auto px = static_cast<size_t>(x * static_cast<float>(width));
        const auto py = static_cast<size_t>(y * static_cast<float>(height));
        const size_t i = (py * static_cast<size_t>(width) + px) * 4;
        return {rgba[i], rgba[i + 1], rgba[i + 2]};
    }

    TempDir dir{/*enter=*/true};
    std::shared_ptr<GLRenderer> renderer;
    std::unique_ptr<FileSystem> fileSystem;
    std::unique_ptr<MaterialMgr> materials;
    std::unique_ptr<OverlayMgr> overlays = std::make_unique<OverlayMgr>();
    int32_t width = 0, height = 0;
};

using Rgb = std::array<uint8_t, 3>;

TEST_F(OverlayDraw, EachMaterialDrawsWithItsOwnTechnique) {
    // Three materials share one effect; each names another technique of it.
    ASSERT_EQ(materials->find("green")->effect(), materials->find("red")->effect());
    const auto left = overlays->createOverlay(materials->find("green"));
    const auto middle = overlays->createOverlay(materials->find("red"));
    const auto right = overlays->createOverlay(materials->find("green"));
    left->addQuad(0.0f, 0.0f, 0.3f, 1.0f, 0, 0, 1, 1);
    middle->addQuad(0.35f, 0.0f, 0.3f, 1.0f, 0, 0, 1, 1);
    right->addQuad(0.7f, 0.0f, 0.3f, 1.0f, 0, 0, 1, 1);
    left->draw(*renderer);
    middle->draw(*renderer);
    right->draw(*renderer);
    EXPECT_EQ(at(0.15f, 0.5f), (Rgb{0, 255, 0}));
    EXPECT_EQ(at(0.5f, 0.5f), (Rgb{255, 0, 0}));
    EXPECT_EQ(at(0.85f, 0.5f), (Rgb{0, 255, 0}));
    EXPECT_EQ(at(0.325f, 0.5f), (Rgb{0, 0, 0})); // the gap between them
}

TEST_F(OverlayDraw, QuadsLandWhereAddedAndEachDrawTakesOnlyItsOwnQuads) {
    const auto overlay = overlays->createOverlay(materials->find("tint"));
    ASSERT_TRUE(overlay->buffer()); // the quads go straight into a device buffer
    EXPECT_EQ(overlay->vertexData(), overlay->buffer()->streamData(0));
    overlay->setColour({1.0f, 0.0f, 1.0f, 1.0f});
    overlay->addQuad(0.0f, 0.0f, 0.5f, 0.5f, 0, 0, 1, 1); // top left
    overlay->setColour({0.0f, 0.0f, 1.0f, 1.0f});
    overlay->addQuad(0.5f, 0.5f, 0.5f, 0.5f, 0, 0, 1, 1); // bottom right
    overlay->draw(*renderer);
    EXPECT_EQ(overlay->vertexCount(), 0u);
    EXPECT_EQ(at(0.25f, 0.25f), (Rgb{255, 0, 255}));
    EXPECT_EQ(at(0.75f, 0.75f), (Rgb{0, 0, 255}));
    EXPECT_EQ(at(0.75f, 0.25f), (Rgb{0, 0, 0}));

    // The next frame writes one quad over the first one's place: nothing of the
    // earlier frame's second quad is drawn again.
    renderer->clear(true, true, false);
    overlay->setColour({1.0f, 1.0f, 0.0f, 1.0f});
    overlay->addQuad(0.5f, 0.0f, 0.5f, 0.5f, 0, 0, 1, 1); // top right
    overlay->draw(*renderer);
    EXPECT_EQ(at(0.75f, 0.25f), (Rgb{255, 255, 0}));
    EXPECT_EQ(at(0.75f, 0.75f), (Rgb{0, 0, 0}));
    EXPECT_EQ(at(0.25f, 0.25f), (Rgb{0, 0, 0}));

    // Without a material nothing is drawn, and the list still empties.
    const auto bare = overlays->createOverlay();
    bare->addQuad(0.0f, 0.5f, 0.5f, 0.5f, 0, 0, 1, 1);
    bare->draw(*renderer);
    EXPECT_EQ(bare->vertexCount(), 0u);
    EXPECT_EQ(bare->indexCount(), 0u);
    EXPECT_EQ(at(0.25f, 0.75f), (Rgb{0, 0, 0}));
}

} // namespace
} // namespace Vrenn
