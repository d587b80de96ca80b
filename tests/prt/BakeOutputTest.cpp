// The bake's output pinned to stored checksums: any change of a single byte of what a bake
// writes fails here, and the change has to be meant (and the constants renewed with it).

#include "BakeScenes.h"
#include "prt/PrtScene.h"
#include "support/TempDir.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace Vrenn {
namespace {

// FNV-1a 64 over the files' bytes, one after another.
uint64_t filesChecksum(const Vrenn::Test::TempDir& dir, std::initializer_list<const char*> names) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char* name : names) {
        std::ifstream in(dir.file(name), std::ios::binary);
        EXPECT_TRUE(in) << name;
        for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) {
            hash ^= static_cast<uint8_t>(*it);
            hash *= 0x100000001b3ull;
        }
    }
    return hash;
}

std::string hex(uint64_t value) {
    char text[19];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(value));
    return text;
}

using Test::TempDir;

TEST(BakeOutput, SmallBakesWriteTheStoredBytes) {
    for (const bool ambient : {false, true}) {
        TempDir dir;
        PrtBakeSettings settings;
        settings.rays = 20; // 16 samples, weighted for 20 rays
        settings.ambient = ambient;
        settings.outputDir = dir.path().string();
        settings.walk.threads = 2;
        PrtBakeResult result;
        ASSERT_TRUE(rebuildPrtScene(*testing::shadedScene(), settings, result));
        if (ambient)
            EXPECT_EQ(hex(filesChecksum(dir, {"ambient.dds", "models/saved.vmsh"})),
                      "0x268d02ad74e349f8");
        else
            EXPECT_EQ(hex(filesChecksum(
                          dir, {"shtex0.dds", "shtex1.dds", "shtex2.dds", "models/saved.vmsh"})),
                      "0x16ab8dd01f70a72d");
    }
}

} // namespace
} // namespace Vrenn
