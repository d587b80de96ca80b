#include "core/Registry.h"

#include <gtest/gtest.h>

namespace Vrenn {
namespace {

struct Thing {};

// A manager as the resource managers are: its registry comes from RegistryOwner.
class ThingMgr : public RegistryOwner<Thing> {
public:
    std::shared_ptr<Thing> make(const std::string& name = {}) {
        auto thing = std::make_shared<Thing>();
        m_registry.add(name.empty() ? m_registry.generateName() : name, thing);
        return thing;
    }
};

TEST(Registry, FirstEntryWinsNamesAreGeneratedAndRemovalTakesOneEntry) {
    ThingMgr things;
    const auto a = things.make("a");
    things.make("a"); // the name is taken: a stays
    const auto g0 = things.make();
    const auto g1 = things.make();
    EXPECT_EQ(things.find("a"), a);
    EXPECT_EQ(things.find("gen_0"), g0);
    EXPECT_EQ(things.find("gen_1"), g1);
    EXPECT_EQ(things.entries().size(), 3u);

    things.remove(g0);
    things.remove(std::make_shared<Thing>()); // not registered: nothing happens
    things.remove("nothing");
    EXPECT_FALSE(things.find("gen_0"));
    EXPECT_EQ(things.entries().size(), 2u);
    things.remove("a");
    EXPECT_FALSE(things.find("a"));
    things.removeAll();
    EXPECT_TRUE(things.entries().empty());
    const auto g2 = things.make();
    EXPECT_EQ(things.find("gen_2"), g2); // the counter does not restart
}

} // namespace
} // namespace Vrenn
