// The application's lifecycle as app.log records it, and headless runs of prtdemo.

#include "config/CVar.h"
#include "demo/DemoApplication.h"
#include "fs/Image.h"
#include "fs/JPEGCodec.h"
#include "platform/Window.h"
#include "support/TempDir.h"

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

TEST(PrtDemoRun, HeadlessRunLogsTheLifecycleInOrderAndItsScreenshotShowsTheOverlays) {
    RunFolder run("r_mode \"3\"\nr_maxframes \"4\"\nr_shotframe \"2\"\n"
                  "r_showfps \"1\"\nr_drawlogo \"1\"\n");
    const std::string command = std::string("SDL_VIDEODRIVER=offscreen ") + VRENN_PRTDEMO + " '" +
                                run.dir.path().string() + "' > /dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0); // it ends by itself
    const auto log = lines(run.dir.read("app.log"));
    const auto at = [&](const std::string& line) {
        const auto it = std::find(log.begin(), log.end(), line);
        EXPECT_NE(it, log.end()) << "missing: " << line;
        return it - log.begin();
    };
    // The window, renderer, input and scene in that order; the 2D data after the scene
    // manager; shut-down lines last.
    EXPECT_LT(at("Window Successfully Created!"), at("GLRenderer::Initialize"));
    EXPECT_LT(at("GLRenderer::Initialize"), at("SDLInput::Initialize"));
    EXPECT_LT(at("SDLInput::Initialize"), at("SceneMgr::Initialize"));
    EXPECT_LT(at("Scene Manager Initialized"), at("Initilizing success"));
    EXPECT_LT(at("Initilizing success"), at("--- Loading materials/2d.mtr"));
    EXPECT_LT(at("--- Loading textures/fonts/bigchars.dds"), at("SceneMgr::ShutDown"));
    EXPECT_LT(at("SceneMgr::ShutDown"), at("GLRenderer::ShutDown"));
    EXPECT_EQ(log.back(), "Application::ShutDown");
    // The configuration is written back, sorted by name.
    EXPECT_EQ(run.dir.read("default.cfg"), "r_drawlogo \"1\"\nr_maxframes \"4\"\nr_mode \"3\"\n"
                                           "r_shotframe \"2\"\nr_showfps \"1\"\n");

    // One screenshot, of frame 2.
    ASSERT_TRUE(stdfs::exists(run.dir.path() / "shot0000.jpg"));
    EXPECT_FALSE(stdfs::exists(run.dir.path() / "shot0001.jpg"));
    const std::string bytes = run.dir.read("shot0000.jpg");
    Image shot;
    ASSERT_TRUE(JPEGCodec().decodeMemory(reinterpret_cast<const uint8_t*>(bytes.data()),
                                         bytes.size(), shot));
    ASSERT_EQ(shot.width(), 640);
    ASSERT_EQ(shot.height(), 480);
    ASSERT_EQ(shot.format(), FORMAT_RGB8);
    // "FPS: 0" starts at x = 0.9 of the width on the top line (1/30 of the height).
    EXPECT_GT(brightness(shot, 576, 0, 640, 16), 20.0);
    EXPECT_LT(brightness(shot, 500, 0, 570, 16), 2.0);
    // The logo fills (0.75, 0.88)-(0.96, 0.98); the rest of the screen is black.
    EXPECT_GT(brightness(shot, 490, 425, 610, 465), 20.0);
    EXPECT_LT(brightness(shot, 0, 40, 640, 400), 1.0);
    // The top row is the top of the picture: text up there, nothing at the bottom.
    EXPECT_LT(brightness(shot, 576, 464, 640, 480), 2.0);
}

} // namespace
} // namespace Vrenn
