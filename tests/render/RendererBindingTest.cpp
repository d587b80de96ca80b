// The renderer's binding rules, on targets that record what is done to them.

#include "render/Renderer.h"
#include "support/StubRenderer.h"

#include <functional>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::StubTarget;

// Each step: what the renderer is asked, the calls that reach the targets, and the target
// drawing then goes to.
TEST(RendererBinding, BindsOnlyChangesAndUnbindsWhatTheNewBindingLeaves) {
    std::vector<std::string> calls;
    const auto primary = std::make_shared<StubTarget>("primary", &calls);
    const auto a = std::make_shared<StubTarget>("a", &calls);
    const auto b = std::make_shared<StubTarget>("b", &calls);
    const auto c = std::make_shared<StubTarget>("c", &calls);
    Vrenn::Test::StubRenderer renderer(primary);
    EXPECT_EQ(renderer.boundTarget(), primary);
    using Calls = std::vector<std::string>;
    const std::tuple<std::function<void()>, Calls, std::shared_ptr<RenderTarget>> steps[] = {
        {[&] { renderer.setRenderTarget(a); }, {"bind a"}, a},
        {[&] { renderer.setRenderTarget(a); }, {}, a},
        // The previous single target is not unbound: the new bind replaces it.
        {[&] { renderer.setRenderTarget(b); }, {"bind b"}, b},
        {[&] { renderer.setRenderTarget(nullptr); }, {"unbind primary"}, primary},
        {[&] {
             renderer.setRenderTargets({a, b, c});
         },
         {"bind a", "bind b", "bind c"},
         a},
        {[&] {
             renderer.setRenderTargets({a, b, c});
         },
         {},
         a},
        {[&] { renderer.setRenderTargets({b}); }, {"bind b", "unbind b", "unbind c"}, b},
        // A single target first empties the list, unbinding what it held.
        {[&] { renderer.setRenderTarget(a); }, {"unbind b", "bind a"}, a},
        // Binding a list empties the single target, so binding it again binds.
        {[&] { renderer.setRenderTargets({c}); }, {"bind c"}, c},
        {[&] { renderer.setRenderTarget(a); }, {"unbind c", "bind a"}, a},
        // No single target is bound while a group is, yet an empty one is not filtered.
        {[&] {
             renderer.setRenderTargets({a, b});
         },
         {"bind a", "bind b"},
         a},
        {[&] { renderer.setRenderTarget(nullptr); },
         {"unbind a", "unbind b", "unbind primary"},
         primary},
        {[&] {
             renderer.setRenderTargets({b, c});
         },
         {"bind b", "bind c"},
         b},
        {[&] { renderer.setRenderTargets({}); },
         {"unbind b", "unbind c", "unbind primary"},
         primary},
        {[&] { renderer.setRenderTargetFace(a, 2); }, {"face a 2", "bind a"}, a},
        {[&] { renderer.setRenderTargetFace(a, 2); }, {}, a},
        {[&] { renderer.setRenderTargets({b}); }, {"bind b"}, b},
        {[&] { renderer.setRenderTargetFace(nullptr, 2); },
         {"unbind b", "unbind primary"},
         primary},
        {[&] { renderer.setRenderTarget(c); }, {"bind c"}, c},
        {[&] { renderer.bindBackBuffer(); }, {"bind primary"}, primary},
        {[&] { renderer.bindBackBuffer(); }, {}, primary}};
    int step = 0;
    for (const auto& [action, expected, bound] : steps) {
        action();
        EXPECT_EQ(std::exchange(calls, {}), expected) << "step " << step;
        EXPECT_EQ(renderer.boundTarget(), bound) << "step " << step++;
    }
    EXPECT_EQ(renderer.currentTarget(), primary);
    EXPECT_TRUE(renderer.currentTargets().empty());
}

} // namespace
} // namespace Vrenn
