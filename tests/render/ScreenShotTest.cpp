#include "render/ScreenShot.h"

#include "fs/FileSystem.h"
#include "support/GLTestContext.h"
#include "support/TestData.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using namespace Test;

TEST(ScreenShot, FirstFreeNameFillsTheFirstGapAndFailuresNameIt) {
    TempDir directory(true);
    FileSystem fileSystem;
    EXPECT_EQ(nextScreenShotName(), "shot0000.jpg");
    directory.write("shot0000.jpg", "x");
    directory.write("shot0002.jpg", "x");
    EXPECT_EQ(nextScreenShotName(), "shot0001.jpg");
    directory.write("shot0001.jpg", "x");
    EXPECT_EQ(nextScreenShotName(), "shot0003.jpg");
    // A link, even one leading nowhere, takes its name: nothing is written through it.
    std::filesystem::create_directory(directory.file("elsewhere"));
    std::filesystem::create_symlink("elsewhere/outside.jpg", directory.file("shot0003.jpg"));
    EXPECT_EQ(nextScreenShotName(), "shot0004.jpg");
    std::string why;
    const uint8_t pixel[4] = {1, 2, 3, 255};
    EXPECT_FALSE(writeJpeg("shot0003.jpg", pixel, 1, 1, 90, &why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    EXPECT_FALSE(std::filesystem::exists(directory.file("elsewhere/outside.jpg")));

    // A failed shot names the name it chose.
    GLRenderer renderer; // never initialised: there is no back buffer to read
    LogCapture log;
    renderer.takeScreenShot();
    EXPECT_EQ(log.text(), "Could not Write ScreenShot:shot0004.jpg\n");
    EXPECT_FALSE(std::filesystem::exists(directory.file("shot0004.jpg")));
}

// With the whole series taken a screenshot replaces none of it: it is refused in the log.
TEST(ScreenShot, AFullSeriesIsNeverOverwritten) {
    auto& renderer = GLTestContext::get().renderer();
    TempDir directory(true);
    FileSystem fileSystem;
    char name[16];
    for (int n = 0; n <= 9999; ++n) {
        std::snprintf(name, sizeof name, "shot%04d.jpg", n);
        std::ofstream(directory.file(name)) << "kept";
    }
    renderer.setRenderTarget(renderer.primaryTarget());
    LogCapture log;
    renderer.takeScreenShot();
    EXPECT_EQ(
        log.text(),
        "Could not Write ScreenShot: every name from shot0000.jpg to shot9999.jpg is taken\n");
    EXPECT_TRUE(readBytes(directory.file("shot9999.jpg")) == "kept");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory.path()), {}), 10000);
}

} // namespace
} // namespace Vrenn
