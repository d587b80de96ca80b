// The application's lifecycle as app.log records it, and headless runs of prtdemo.

#include "config/CVar.h"
#include "demo/DemoApplication.h"
#include "fs/Image.h"
#include "fs/JPEGCodec.h"
#include "platform/Window.h"
#include "demo/DemoRunFolder.h"
#include "support/TempDir.h"

#include <algorithm>
#include <map>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::TempDir;
namespace stdfs = std::filesystem;

// A window that cannot be opened.
class BrokenWindow : public Window {
public:
    BrokenWindow() : Window("Application") {}
    bool create(bool, int32_t, int32_t, int32_t, int32_t, int32_t) override { return false; }
    void destroy() override {}
    bool createWindow() override { return false; }
    void resize(int32_t, int32_t) override {}
    void Run(const std::function<bool()>&) override {}
};

class WindowlessApplication : public Application {
public:
    WindowlessApplication() { m_window = std::make_shared<BrokenWindow>(); }
};

// A window that reports itself open but is no surface the renderer can draw on.
class HollowWindow : public BrokenWindow {
public:
    bool create(bool, int32_t, int32_t, int32_t, int32_t, int32_t) override { return true; }
};

class HollowWindowApplication : public Application {
public:
    HollowWindowApplication() { m_window = std::make_shared<HollowWindow>(); }
};

// A run folder, current while it exists: the repository's data (configuration,
// materials, effects, textures) with settings of the test's choosing.
class RunFolder {
public:
    explicit RunFolder(const std::string& settings) {
        stdfs::copy(VRENN_DATA_DIR, dir.path(), stdfs::copy_options::recursive);
        dir.write("default.cfg", settings);
    }
    TempDir dir{/*enter=*/true};
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(text.substr(start, end - start));
    return out;
}

TEST(Application, FailedWindowCreationStillSavesTheConfigurationAndLogsShutDown) {
    RunFolder run("r_mode \"3\"\nr_showfps \"1\"\n");
    {
        WindowlessApplication app;
        EXPECT_FALSE(app.Initialize());
        app.cvars()->SetInt("r_showfps", 0);
        app.ShutDown();
        app.ShutDown(); // the destructor's call after this one does nothing either
    }
    // The log starts after the configuration was read; nothing but the scene manager
    // was started, and the shut-down line comes last.
    EXPECT_EQ(run.dir.read("app.log"), "SceneMgr::ShutDown\nApplication::ShutDown\n");
    EXPECT_EQ(run.dir.read("default.cfg"), "r_mode \"3\"\nr_showfps \"0\"\n");
}

TEST(Application, RendererThatCannotStartEndsInitializeAndIsShutDown) {
    RunFolder run("r_mode \"3\"\n");
    {
        HollowWindowApplication app;
        EXPECT_FALSE(app.Initialize());
    }
    // Nothing after the renderer is started; the renderer's half-made parts go at
    // shut-down.
    const std::string log = run.dir.read("app.log");
    const auto at = [&](const std::string& text) {
        const size_t found = log.find(text);
        EXPECT_NE(found, std::string::npos) << "missing: " << text;
        return found;
    };
    EXPECT_LT(at("GLRenderer::Initialize\n"),
              at("Application::Initialize: the renderer could not be started\n"));
    EXPECT_EQ(log.find("SDLInput::Initialize"), std::string::npos);
    EXPECT_EQ(log.find("Initilizing success"), std::string::npos);
    EXPECT_LT(at("SceneMgr::ShutDown\n"), at("GLRenderer::ShutDown\n"));
    EXPECT_LT(at("GLRenderer::ShutDown\n"), at("Application::ShutDown\n"));
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
Image headlessShot(const Test::DemoRunFolder& run) {
    const std::string command = std::string("SDL_VIDEODRIVER=offscreen ") + VRENN_PRTDEMO + " '" +
                                run.dir.path().string() + "' > /dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0); // it ends by itself
    Image shot;
    const std::string bytes = run.dir.read("shot0000.jpg");
    EXPECT_TRUE(JPEGCodec().decodeMemory(reinterpret_cast<const uint8_t*>(bytes.data()),
                                         bytes.size(), shot));
    return shot;
}

const std::map<std::string, std::string> kHeadlessRun = {
    {"r_maxframes", "60"}, {"r_shotframe", "60"}, {"r_fixedstep", "0.05"},
    {"cam_start", "0 300 -390 180 -22"}};

TEST(PrtDemoRun, HeadlessRunIsRepeatableAndShowsTheLitCourtyardUnderItsSky) {
    Vrenn::Test::DemoRunFolder first(kHeadlessRun);
    const Image shot = headlessShot(first);
    ASSERT_EQ(shot.width(), 640);
    ASSERT_EQ(shot.height(), 480);
    ASSERT_EQ(shot.format(), FORMAT_RGB8);

    // The lifecycle in order: window, renderer, input, scene, the scene's data, shut-down last;
    // the configuration written back.
    const auto log = lines(first.dir.read("app.log"));
    const auto at = [&](const std::string& line) {
        const auto it = std::find(log.begin(), log.end(), line);
        EXPECT_NE(it, log.end()) << "missing: " << line;
        return it - log.begin();
    };
    EXPECT_LT(at("Window Successfully Created!"), at("GLRenderer::Initialize"));
    EXPECT_LT(at("GLRenderer::Initialize"), at("SDLInput::Initialize"));
    EXPECT_LT(at("SDLInput::Initialize"), at("SceneMgr::Initialize"));
    EXPECT_LT(at("Scene Manager Initialized"), at("Initilizing success"));
    EXPECT_LT(at("Initilizing success"), at("--- Loading materials/materials.mtr"));
    EXPECT_LT(at("--- Loading models/saved.vmsh"), at("SceneMgr::ShutDown"));
    EXPECT_LT(at("SceneMgr::ShutDown"), at("GLRenderer::ShutDown"));
    EXPECT_EQ(log.back(), "Application::ShutDown");
    EXPECT_NE(first.dir.read("default.cfg").find("cam_start \"0 300 -390 180 -22\"\n"),
              std::string::npos);

    // The sky above the back wall; the floor under the colonnades' roofs in their shadow,
    // darker than the open floor in the middle.
    EXPECT_GT(brightness(shot, 220, 0, 420, 40), 60.0);
    const double open = brightness(shot, 280, 330, 380, 370);
    EXPECT_LT(brightness(shot, 5, 230, 30, 300), 0.7 * open);
    EXPECT_LT(brightness(shot, 615, 240, 640, 300), 0.7 * open);
    // Exposed: hardly a pixel black or white.
    size_t clipped = 0;
    for (size_t i = 0; i < size_t(shot.width()) * size_t(shot.height()); ++i) {
        const uint8_t* p = shot.data() + i * 3;
        const int mean = (p[0] + p[1] + p[2]) / 3;
        clipped += mean < 8 || std::min({p[0], p[1], p[2]}) > 247;
    }
    EXPECT_LT(clipped, size_t(shot.width()) * size_t(shot.height()) / 20);

    // A second run with the same fixed steps draws the same picture.
    Vrenn::Test::DemoRunFolder second(kHeadlessRun);
    const Image again = headlessShot(second);
    ASSERT_EQ(again.width(), shot.width());
    EXPECT_TRUE(std::equal(shot.data(), shot.data() + size_t(shot.width()) * shot.height() * 3,
                           again.data()));
}

} // namespace
} // namespace Vrenn
