// Overlays drawn on the device with materials from a script: the quads written into
// the overlay reach the screen, and each material draws with its own technique.

#include "fs/FileSystem.h"
#include "render/RenderTargetMgr.h"
#include "render/ShaderMgr.h"
#include "render/TextureManager.h"
#include "render/VertexBuffer.h"
#include "scene/MaterialMgr.h"
#include "scene/OverlayMgr.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"

#include <array>
#include <gtest/gtest.h>
#include <string>

namespace Vrenn {
namespace {

using namespace Test;

class OverlayDraw : public ::testing::Test {
protected:
    void SetUp() override {
        renderer = GLTestContext::get().rendererPtr();
        dir.write("effects/quads.fx", fixture("scene/quads.fx"));
        fileSystem = std::make_unique<FileSystem>();
        materials = std::make_unique<MaterialMgr>(
            std::shared_ptr<ShaderMgr>(renderer, renderer->shaderMgr().get()),
            std::shared_ptr<TextureManager>(renderer, renderer->textureManager().get()));
        ASSERT_TRUE(materials->loadScriptText(fixture("scene/quads.mtr")));
        renderer->setRenderTarget(renderer->primaryTarget());
        renderer->clear(true, true, false);
        renderer->begin2D();
        width = renderer->primaryTarget()->width();
        height = renderer->primaryTarget()->height();
    }
    void TearDown() override {
        renderer->setRenderTarget(renderer->primaryTarget());
        for (const char* name : {"rt_wide", "rt_quads0", "rt_quads1"})
            renderer->renderTargetMgr()->remove(name);
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

// Three materials share one effect; each names another technique of it. Quads land where they
// were added, and each draw takes only its own quads.
TEST_F(OverlayDraw, EachMaterialDrawsItsOwnQuadsWithItsOwnTechnique) {
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

    renderer->clear(true, true, false);
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

    // Without a material nothing is drawn, and the list still empties. Quads beyond the
    // buffer's 1,024 are dropped.
    const auto bare = overlays->createOverlay();
    for (int i = 0; i < 2000; ++i)
        bare->addQuad(0.0f, 0.5f, 0.5f, 0.5f, 0, 0, 1, 1);
    EXPECT_EQ(bare->vertexCount(), Overlay::kMaxVertices);
    bare->draw(*renderer);
    EXPECT_EQ(bare->vertexCount(), 0u);
    EXPECT_EQ(bare->indexCount(), 0u);
    EXPECT_EQ(at(0.25f, 0.75f), (Rgb{0, 0, 0}));
}

// Which texels of a render texture's red or green channel are lit, as rows of '#' and
// '.' from the top row down.
std::string litTexels(const std::shared_ptr<RenderTarget>& target, int channel) {
    const auto texels = Vrenn::Test::readTarget(target);
    std::string rows;
    for (int32_t y = 0; y < target->height(); ++y) {
        for (int32_t x = 0; x < target->width(); ++x)
            rows += texels[static_cast<size_t>((y * target->width() + x) * 4 + channel)] > 0.5f
                        ? '#'
                        : '.';
        rows += '/';
    }
    return rows;
}

TEST_F(OverlayDraw, PixelQuadsAreSizedByTheBoundTargetAndNegativeSizesFillIt) {
    constexpr int32_t kRGBA8 = 4;
    auto& targets = *renderer->renderTargetMgr();
    const auto red = overlays->createOverlay(materials->find("red"));
    // A target of another size and shape than the back buffer (16 x 8).
    const auto wide =
        targets.createRenderTexture("rt_wide", RENDER_TEXTURE_2D, 8, 2, kRGBA8, 0, 0, 0, false);
    ASSERT_NE(wide, nullptr);
    renderer->setRenderTarget(wide);
    auto drawInto = [&](Overlay& overlay, float w, float h) {
        renderer->clear(true, false, false);
        renderer->begin2D();
        overlay.addPixelQuad(*renderer, w, h, 0, 0, 1, 1);
        overlay.draw(*renderer);
    };
    drawInto(*red, -1.0f, -1.0f);
    EXPECT_EQ(litTexels(wide, 0), "########/########/");
    drawInto(*red, 2.0f, -1.0f);
    EXPECT_EQ(litTexels(wide, 0), "##....../##....../");
    drawInto(*red, -1.0f, 1.0f);
    EXPECT_EQ(litTexels(wide, 0), "########/......../");

    // A bound group: each of its targets is filled, and pixels are the group's.
    const auto group = targets.createMRT("rt_quads", 4, 4, {kRGBA8, kRGBA8}, 0, 0, 0);
    ASSERT_EQ(group.size(), 2u);
    renderer->setRenderTargets(group);
    const auto pair = overlays->createOverlay(materials->find("pair"));
    drawInto(*pair, -1.0f, -1.0f);
    EXPECT_EQ(litTexels(group[0], 0), "####/####/####/####/");
    EXPECT_EQ(litTexels(group[1], 1), "####/####/####/####/");
    drawInto(*pair, 2.0f, 3.0f);
    EXPECT_EQ(litTexels(group[0], 0), "##../##../##../..../");
    EXPECT_EQ(litTexels(group[1], 1), "##../##../##../..../");

    // The back buffer, bound as an empty target, sizes them too.
    renderer->setRenderTarget(nullptr);
    drawInto(*red, static_cast<float>(width / 2), -1.0f);
    EXPECT_EQ(at(0.25f, 0.5f), (Rgb{255, 0, 0}));
    EXPECT_EQ(at(0.75f, 0.5f), (Rgb{0, 0, 0}));
}

} // namespace
} // namespace Vrenn
