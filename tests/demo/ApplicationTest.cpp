// The application's lifecycle as app.log records it, and headless runs of prtdemo.

#include "config/CVar.h"
#include "demo/DemoRunFolder.h"
#include "fs/Image.h"
#include "fs/JPEGCodec.h"
#include "platform/Window.h"
#include "support/TestData.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Vrenn::Test::DemoRunFolder;
using Vrenn::Test::firstMissing;

// A window that cannot be opened, or that opens but is no surface to draw on.
class StubWindow : public Window {
public:
    explicit StubWindow(bool opens) : Window("Application"), m_opens(opens) {}
    bool create(bool, int32_t, int32_t, int32_t, int32_t, int32_t) override { return m_opens; }
    void destroy() override {}
    bool createWindow() override { return false; }
    void resize(int32_t, int32_t) override {}
    void Run(const std::function<bool()>&) override {}

private:
    bool m_opens;
};

class StubWindowApplication : public Application {
public:
    explicit StubWindowApplication(bool opens) { m_window = std::make_shared<StubWindow>(opens); }
};

TEST(Application, AFailedStartEndsInitializeAndShutsDownWhatWasStarted) {
    {
        DemoRunFolder run({}, false);
        run.dir.write("default.cfg", "r_mode \"3\"\nr_showfps \"1\"\n");
        {
            StubWindowApplication app(false);
            EXPECT_FALSE(app.Initialize());
            app.cvars()->SetInt("r_showfps", 0);
            app.ShutDown();
            app.ShutDown(); // the destructor's call after this one does nothing either
        }
        // Only the scene manager was started; the configuration is saved.
        EXPECT_EQ(run.dir.read("app.log"), "SceneMgr::ShutDown\nApplication::ShutDown\n");
        EXPECT_EQ(run.dir.read("default.cfg"), "r_mode \"3\"\nr_showfps \"0\"\n");
    }
    DemoRunFolder run({{"r_mode", "3"}}, false);
    { EXPECT_FALSE(StubWindowApplication(true).Initialize()); }
    // Nothing after the renderer is started; its half-made parts go at shut-down.
    const std::string log = run.dir.read("app.log");
    EXPECT_EQ(
        firstMissing(log, {"GLRenderer::Initialize",
                           "Application::Initialize: the renderer could not be started",
                           "SceneMgr::ShutDown", "GLRenderer::ShutDown", "Application::ShutDown"}),
        "");
    EXPECT_EQ(log.find("SDLInput::Initialize"), std::string::npos);
    EXPECT_EQ(log.find("Initilizing success"), std::string::npos);
}

// Mean brightness (0-255) of a rectangle of an RGB image.
double brightness(const Image& image, int x0, int y0, int x1, int y1) {
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = image.data() + (static_cast<size_t>(y) * image.width() + x) * 3;
            sum += (p[0] + p[1] + p[2]) / 3.0;
        }
    return sum / ((x1 - x0) * (y1 - y0));
}

// The lit courtyard, seen from above its open side, after three seconds of fixed steps.
Image headlessShot(const DemoRunFolder& run) {
    const std::string command = std::string("SDL_VIDEODRIVER=offscreen ") + VRENN_PRTDEMO + " '" +
                                run.dir.path().string() + "' > /dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0); // it ends by itself
    Image shot;
    const std::string bytes = run.dir.read("shot0000.jpg");
    EXPECT_TRUE(JPEGCodec().decodeMemory(reinterpret_cast<const uint8_t*>(bytes.data()),
                                         bytes.size(), shot));
    return shot;
}

TEST(PrtDemoRun, HeadlessRunIsRepeatableAndShowsTheLitCourtyardUnderItsSky) {
    const Vrenn::Test::Settings settings = {{"r_maxframes", "60"},
                                            {"r_shotframe", "60"},
                                            {"r_fixedstep", "0.05"},
                                            {"cam_start", "0 300 -390 180 -22"}};
    DemoRunFolder first(settings);
    const Image shot = headlessShot(first);
    ASSERT_EQ(shot.width(), 640);
    ASSERT_EQ(shot.height(), 480);
    ASSERT_EQ(shot.format(), FORMAT_RGB8);

    // The lifecycle in order, shut-down last; the configuration written back.
    const std::string log = first.dir.read("app.log");
    EXPECT_EQ(firstMissing(log, {"Window Successfully Created!", "GLRenderer::Initialize",
                                 "SDLInput::Initialize", "Scene Manager Initialized",
                                 "Initilizing success", "--- Loading materials/materials.mtr",
                                 "--- Loading models/saved.vmsh", "SceneMgr::ShutDown",
                                 "GLRenderer::ShutDown"}),
              "");
    EXPECT_EQ(Vrenn::Test::lines(log).back(), "Application::ShutDown");
    EXPECT_NE(first.dir.read("default.cfg").find("cam_start \"0 300 -390 180 -22\"\n"),
              std::string::npos);

    // The sky above the back wall; the floor under the colonnades darker than the open floor.
    EXPECT_GT(brightness(shot, 220, 0, 420, 40), 60.0);
    const double open = brightness(shot, 280, 330, 380, 370);
    EXPECT_LT(brightness(shot, 5, 230, 30, 300), 0.7 * open);
    EXPECT_LT(brightness(shot, 615, 240, 640, 300), 0.7 * open);
    // Exposed: hardly a pixel black or white.
    size_t clipped = 0;
    const size_t pixels = size_t(shot.width()) * size_t(shot.height());
    for (const uint8_t* p = shot.data(); p < shot.data() + pixels * 3; p += 3)
        clipped += (p[0] + p[1] + p[2]) / 3 < 8 || std::min({p[0], p[1], p[2]}) > 247;
    EXPECT_LT(clipped, pixels / 20);

    // A second run with the same fixed steps draws the same picture.
    DemoRunFolder second(settings);
    const Image again = headlessShot(second);
    ASSERT_EQ(again.width(), shot.width());
    EXPECT_TRUE(std::equal(shot.data(), shot.data() + pixels * 3, again.data()));
}

} // namespace
} // namespace Vrenn
