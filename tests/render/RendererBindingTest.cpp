// The renderer's binding rules, on targets that record what is done to them.

#include "render/Renderer.h"
#include "support/RenderTestSupport.h"
#include "support/StubRenderer.h"

#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace Vrenn {
namespace {

// Each step of the file: what the renderer is asked, the calls that reach the targets, and the
// target drawing then goes to.
TEST(RendererBinding, BindsOnlyChangesAndUnbindsWhatTheNewBindingLeaves) {
    std::vector<std::string> calls;
    std::map<std::string, std::shared_ptr<RenderTarget>> named = {{"-", nullptr}};
    for (const char* name : {"primary", "a", "b", "c"})
        named[name] = std::make_shared<Vrenn::Test::StubTarget>(name, &calls);
    Vrenn::Test::StubRenderer renderer(named["primary"]);
    std::istringstream steps(Vrenn::Test::fixture("render/binding-steps.txt"));
    for (std::string line; std::getline(steps, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream asked(line.substr(0, line.find('|')));
        std::string verb, word;
        RenderTargetList targets;
        int32_t face = 0;
        for (asked >> verb; asked >> word;)
            std::isdigit(word[0]) ? void(face = std::stoi(word)) : targets.push_back(named[word]);
        if (verb == "target") renderer.setRenderTarget(targets[0]);
        if (verb == "targets") renderer.setRenderTargets(targets);
        if (verb == "face") renderer.setRenderTargetFace(targets[0], face);
        if (verb == "back") renderer.bindBackBuffer();

        const size_t bar = line.find('|'), last = line.rfind('|');
        std::vector<std::string> expected;
        std::istringstream listed(line.substr(bar + 1, last - bar - 1));
        for (std::string call; std::getline(listed >> std::ws, call, ',');)
            expected.push_back(call.substr(0, call.find_last_not_of(' ') + 1));
        EXPECT_EQ(std::exchange(calls, {}), expected) << line;
        std::istringstream bound(line.substr(last + 1));
        EXPECT_EQ(renderer.boundTarget(), named[(bound >> word, word)]) << line;
    }
    EXPECT_EQ(renderer.currentTarget(), named["primary"]);
    EXPECT_TRUE(renderer.currentTargets().empty());
}

} // namespace
} // namespace Vrenn
