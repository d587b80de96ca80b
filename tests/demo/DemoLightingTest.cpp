// The program and `vrenn lightmaps` light a run folder alike for a user probe and a fixed
// sky angle.

#include "demo/DemoRunFolder.h"
#include "fs/DDSCodec.h"
#include "fs/DiskFile.h"
#include "fs/Image.h"
#include "prt/LightProbes.h"
#include "prt/PanoramaProbe.h"
#include "render/RenderTargetMgr.h"
#include "render/Renderer.h"
#include "render/gl/GLRenderTexture.h"
#include "render/gl/GLTexture.h"

#include <cstdlib>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Bytes = std::vector<uint8_t>;

// The largest difference between two equally long byte runs; 256 when their lengths differ.
int maxDifference(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size() || a.empty()) return 256;
    int largest = 0;
    for (size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, std::abs(int(a[i]) - int(b[i])));
    return largest;
}

Bytes lightmapFile(const std::string& path) {
    std::shared_ptr<File> file = std::make_shared<DiskFile>(path, DISK_READ);
    Image image;
    if (!DDSCodec().decode(file, image) || image.format() != FORMAT_RGBA8) return {};
    return Bytes(image.data(), image.data() + image.byteCount());
}

// Runs vrenn lightmaps at sky angle 1.25 on the current run folder; the lightmaps go to out.
bool toolLightmaps(const std::string& out) {
    const std::string command = std::string("SDL_VIDEODRIVER=offscreen '") + VRENN_TOOL +
                                "' lightmaps . --angle 1.25 --out " + out + " >/dev/null";
    return std::system(command.c_str()) == 0;
}

TEST(DemoLighting, ToolLightmapsMatchTheProgramsForAUserProbeAtAFixedSkyAngle) {
    // A probe unlike either built-in one: probe 1 with its colours turned round.
    SHCoeffs mine;
    mine.red = lightProbes()[1].blue;
    mine.green = lightProbes()[1].red;
    mine.blue = lightProbes()[1].green;
    Vrenn::Test::StartedDemo demo(
        {{"probe0", "probes/mine.sh"},
         {"sky_angle", "1.25"},
         {"sky_rotate", "0"},
         {"r_fixedstep", "0.5"}},
        true,
        {{"probes/mine.sh", formatProbeCoefficients(mine)},
         {"textures/sky/mine.dds", Vrenn::Test::dataFile("textures/sky/builtin1.dds")}});
    ASSERT_TRUE(demo.started);
    EXPECT_FALSE(demo.app->autoSkyRotate());
    EXPECT_TRUE(demo.frames(2));
    EXPECT_FLOAT_EQ(demo.app->skyAngle(), 1.25f); // standing, not turning
    std::array<Bytes, 3> program;
    for (int k = 0; k < 3; ++k) {
        const auto target = std::dynamic_pointer_cast<GLRenderTexture>(
            demo.app->renderer()->renderTargetMgr()->find("rt_lightmap" + std::to_string(k)));
        ASSERT_TRUE(target && target->texture());
        Bytes& bytes = program[size_t(k)];
        bytes.resize(size_t(target->width()) * size_t(target->height()) * 4);
        glGetTextureImage(target->texture()->id(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                          GLsizei(bytes.size()), bytes.data());
    }

    ASSERT_TRUE(toolLightmaps("tool"));
    for (int k = 0; k < 3; ++k)
        EXPECT_LE(maxDifference(program[size_t(k)],
                                lightmapFile("tool/lightmap" + std::to_string(k) + ".dds")),
                  1)
            << k;

    // The built-in probe lights differently: the user's probe is what made them match.
    std::string config = demo.run.dir.read("default.cfg");
    config.replace(config.find("probe0 \"probes/mine.sh\""), 23, "probe0 \"\"");
    demo.run.dir.write("default.cfg", config);
    ASSERT_TRUE(toolLightmaps("builtin"));
    EXPECT_GT(
        maxDifference(lightmapFile("tool/lightmap0.dds"), lightmapFile("builtin/lightmap0.dds")),
        8);
}

} // namespace
} // namespace Vrenn
