// The renderer's binding rules, on targets that record what is done to them.

#include "render/Renderer.h"
#include "support/StubRenderer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace Vrenn {
namespace {

std::vector<std::string> g_calls;

class RecordingTarget : public RenderTarget {
public:
    using RenderTarget::RenderTarget;
    bool create(int32_t, int32_t, int32_t, int32_t, bool) override { return true; }
    void release() override {}
    bool bind() override {
        g_calls.push_back("bind " + name());
        return true;
    }
    bool unbind() override {
        g_calls.push_back("unbind " + name());
        return true;
    }
    void setFace(int32_t face) override {
        g_calls.push_back("face " + name() + " " + std::to_string(face));
    }
};

class RecordingRenderer : public Test::StubRenderer {
public:
    void setPrimary(std::shared_ptr<RenderTarget> target) { m_primaryTarget = std::move(target); }
    int viewportsApplied = 0;

protected:
    void applyViewport(const Viewport&) override { ++viewportsApplied; }
};

class RendererBinding : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        renderer.setPrimary(primary);
    }
    std::vector<std::string> takeCalls() { return std::exchange(g_calls, {}); }

    RecordingRenderer renderer;
    std::shared_ptr<RenderTarget> primary = std::make_shared<RecordingTarget>("primary");
    std::shared_ptr<RenderTarget> a = std::make_shared<RecordingTarget>("a");
    std::shared_ptr<RenderTarget> b = std::make_shared<RecordingTarget>("b");
    std::shared_ptr<RenderTarget> c = std::make_shared<RecordingTarget>("c");
};

TEST_F(RendererBinding, SingleTargetIsBoundOnceAndAnEmptyOneUnbindsThePrimary) {
    renderer.setRenderTarget(a);
    renderer.setRenderTarget(a);
    EXPECT_EQ(takeCalls(), (std::vector<std::string>{"bind a"}));
    // The previous single target is not unbound: the new bind replaces it.
    renderer.setRenderTarget(b);
    EXPECT_EQ(takeCalls(), (std::vector<std::string>{"bind b"}));
    renderer.setRenderTarget(nullptr);
    EXPECT_EQ(takeCalls(), (std::vector<std::string>{"unbind primary"}));
    EXPECT_EQ(renderer.currentTarget(), nullptr);
}

TEST_F(RendererBinding, ListsBindInOrderAndUnbindOnlyPositionsTheNewListLeaves) {
    renderer.setRenderTargets({a, b, c});
    EXPECT_EQ(takeCalls(), (std::vector<std::string>{"bind a", "bind b", "bind c"}));
    renderer.setRenderTargets({a, b, c});
    EXPECT_TRUE(takeCalls().empty());
    renderer.setRenderTargets({b});
    EXPECT_EQ(takeCalls(), (std::vector<std::string>{"bind b", "unbind b", "unbind c"}));
    // A single target first empties the list, unbinding what it held.
    renderer.setRenderTarget(a);
    EXPECT_EQ(takeCalls(), (std::vector<std::string>{"unbind b", "bind a"}));
    EXPECT_TRUE(renderer.currentTargets().empty());
    // Binding a list empties the single target, so binding it again binds.
    renderer.setRenderTargets({c});
    takeCalls();
    renderer.setRenderTarget(a);
    EXPECT_EQ(takeCalls(), (std::vector<std::string>{"unbind c", "bind a"}));
}

TEST_F(RendererBinding, NoTargetAfterAGroupUnbindsTheGroupAndFallsBackToTheBackBuffer) {
    EXPECT_EQ(renderer.boundTarget(), primary);
    renderer.setRenderTargets({a, b});
    EXPECT_EQ(renderer.boundTarget(), a); // the group's size is that of its first
    takeCalls();
    // No single target is bound while the group is, yet an empty one is not filtered.
    renderer.setRenderTarget(nullptr);
    EXPECT_EQ(takeCalls(), (std::vector<std::string>{"unbind a", "unbind b", "unbind primary"}));
    EXPECT_TRUE(renderer.currentTargets().empty());
    EXPECT_EQ(renderer.boundTarget(), primary);

    renderer.setRenderTargets({b, c});
    takeCalls();
    renderer.setRenderTargets({});
    EXPECT_EQ(takeCalls(), (std::vector<std::string>{"unbind b", "unbind c", "unbind primary"}));
    renderer.setRenderTargetFace(a, 2);
    renderer.setRenderTargets({b});
    takeCalls();
    renderer.setRenderTargetFace(nullptr, 2);
    EXPECT_EQ(takeCalls(), (std::vector<std::string>{"unbind b", "unbind primary"}));

    renderer.setRenderTarget(c);
    EXPECT_EQ(renderer.boundTarget(), c);
    takeCalls();
    renderer.bindBackBuffer();
    EXPECT_EQ(takeCalls(), (std::vector<std::string>{"bind primary"}));
    EXPECT_EQ(renderer.currentTarget(), primary);
    renderer.bindBackBuffer();
    EXPECT_TRUE(takeCalls().empty());
}

} // namespace
} // namespace Vrenn
