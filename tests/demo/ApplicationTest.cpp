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

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

// prtdemo running in the background on a run folder, output discarded; killed if the test
// leaves it running.
class DemoProcess {
public:
    explicit DemoProcess(const stdfs::path& runDir) {
        const std::string program = VRENN_PRTDEMO;
        const std::string dir = runDir.string();
        std::vector<std::string> environment = {"SDL_VIDEODRIVER=offscreen"};
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "SDL_VIDEODRIVER=", 16) != 0) environment.emplace_back(*e);
        std::vector<char*> envp;
        for (auto& e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(dir.c_str()),
                        nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv, envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~DemoProcess() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    bool started() const { return m_pid > 0; }
    bool running() {
        if (m_pid <= 0) return false;
        if (::waitpid(m_pid, &m_status, WNOHANG) != m_pid) return true;
        m_pid = -1;
        return false;
    }
    void signal(int number) const { ::kill(m_pid, number); }
    // Waits up to seconds for the end; true when it ended, with its wait status in status().
    bool waitFor(double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (running()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    int status() const { return m_status; }

private:
    pid_t m_pid = -1;
    int m_status = 0;
};

// SIGTERM or SIGINT ends the demo promptly, at start-up in a long bake as in the main loop,
// the way a normal quit does (the bake abandoned and nothing of it written, the settings
// written back, the log closed), and the program then ends by that signal.
TEST(PrtDemoRun, AStopSignalEndsItPromptlyAndSavesWhatAQuitSaves) {
    struct Stage {
        const char* name;
        std::map<std::string, std::string> settings;
        bool baked;
        const char* logLine; // the signal is sent once the log holds it
        int signal;
    };
    const Stage stages[] = {
        // About ten minutes of texel walk on this machine if nothing stopped it.
        {"bake",
         {{"makebsp", "1"}, {"num_rays", "4096"}, {"model", "models/scene.vmsh"}},
         false,
         "PRT bake: baking models/scene.vmsh with 4096 rays per texel",
         SIGTERM},
        {"main loop", {{"r_maxframes", "0"}}, true, "Initilizing success", SIGINT},
    };
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.name);
        Vrenn::Test::DemoRunFolder run(stage.settings, stage.baked);
        const std::string settingsBefore = run.dir.read("default.cfg");
        DemoProcess demo(run.dir.path());
        ASSERT_TRUE(demo.started());
        const auto logged = [&] {
            std::error_code error;
            return stdfs::exists(run.dir.path() / "app.log", error) &&
                   run.dir.read("app.log").find(stage.logLine) != std::string::npos;
        };
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!logged() && demo.running() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(logged()) << "never logged: " << stage.logLine;
        // Well inside the stage: the walk under way, frames being drawn.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ASSERT_TRUE(demo.running());

        demo.signal(stage.signal);
        ASSERT_TRUE(demo.waitFor(10.0)) << "still running 10 s after the signal";
        EXPECT_TRUE(WIFSIGNALED(demo.status()) && WTERMSIG(demo.status()) == stage.signal)
            << "wait status " << demo.status();

        // Written back (in name order, where the run folder had the test's settings last).
        const std::string settingsAfter = run.dir.read("default.cfg");
        EXPECT_NE(settingsAfter, settingsBefore);
        auto saved = lines(settingsAfter);
        EXPECT_TRUE(std::is_sorted(saved.begin(), saved.end()));
        for (const auto& [name, value] : stage.settings)
            EXPECT_NE(std::find(saved.begin(), saved.end(), name + " \"" + value + "\""),
                      saved.end())
                << name;
        const auto log = lines(run.dir.read("app.log"));
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "Application::ShutDown");
        if (stage.baked) continue;
        EXPECT_NE(std::find_if(log.begin(), log.end(),
                               [](const std::string& line) {
                                   return line.rfind("PolyPack::bake: stopped on request", 0) == 0;
                               }),
                  log.end());
        EXPECT_FALSE(stdfs::exists(run.dir.path() / "shtex0.dds"));
    }
}

} // namespace
} // namespace Vrenn
