#include "core/Log.h"
#include "platform/SDLWindow.h"
#include "support/TempDir.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

class WindowTest : public ::testing::Test {
protected:
    WindowTest() { logs.CreateLog(LOG_DEFAULT, directory.file("window.log")); }
    std::string logText() const { return directory.read("window.log"); }

    Vrenn::Test::TempDir directory;
    LogManager logs;
};

TEST_F(WindowTest, WindowedCreationTakesTheModeSizeAndTheDesktopColourDepth) {
    const std::pair<int, DisplayModeSize> modes[] = {
        {-5, {320, 200}}, {0, {320, 200}},  {1, {320, 200}},   {2, {400, 300}},   {3, {640, 480}},
        {4, {800, 600}},  {5, {1024, 768}}, {6, {1280, 1024}}, {7, {1600, 1200}}, {9, {1600, 1200}},
    };
    for (const auto& [mode, size] : modes) {
        EXPECT_EQ(displayModeSize(mode).width, size.width) << mode;
        EXPECT_EQ(displayModeSize(mode).height, size.height) << mode;
    }

    SDLWindow window("Application", "window test");
    window.setHidden(true);
    ASSERT_TRUE(window.create(false, 2, 16, 24, 8, 4));
    int w = 0, h = 0;
    SDL_GetWindowSize(window.handle(), &w, &h);
    EXPECT_EQ(std::pair(w, h), std::pair(400, 300));
    EXPECT_EQ(std::pair(window.width(), window.height()), std::pair(400, 300));
    SDL_DisplayMode desktop{};
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    EXPECT_EQ(window.colourBits(), static_cast<int32_t>(SDL_BITSPERPIXEL(desktop.format)));
    EXPECT_NE(
        logText().find("Creating windowed window: Application\nWindow Successfully Created!\n"),
        std::string::npos)
        << logText();
    // A resize records the given size, or with none the drawable one.
    window.resize(100, 50);
    EXPECT_EQ(std::pair(window.width(), window.height()), std::pair(100, 50));
    window.resize(0, 0);
    EXPECT_EQ(std::pair(window.width(), window.height()), std::pair(400, 300));
}

TEST_F(WindowTest, FullScreenNeedsTheExactDisplayMode) {
    // Which of the table's sizes the display offers, asked of SDL directly (a mode of size
    // 0 x 0, as the offscreen driver lists, takes any size).
    auto offered = [](DisplayModeSize size) {
        for (int i = 0, n = SDL_GetNumDisplayModes(0); i < n; ++i) {
            SDL_DisplayMode mode{};
            if (SDL_GetDisplayMode(0, i, &mode) == 0 &&
                ((mode.w == size.width && mode.h == size.height) || (mode.w == 0 && mode.h == 0)))
                return true;
        }
        return false;
    };
    for (int mode = 1; mode <= 7; ++mode) {
        SDLWindow window("Application", "full screen");
        window.setHidden(true);
        const bool created = window.create(true, mode, 32, 24, 0, 0);
        EXPECT_EQ(created, offered(displayModeSize(mode))) << mode;
        if (!created) {
            EXPECT_NE(logText().find("Does not support the video mode!\n"), std::string::npos);
        }
        EXPECT_NE(logText().find("Creating fullscreen window: Application\n"), std::string::npos);
    }
}

TEST_F(WindowTest, RunStopsWhenTheCallbackSaysSoOrAQuitArrivesBeforeTheNextFrame) {
    SDLWindow window("Application", "loop");
    window.setHidden(true);
    ASSERT_TRUE(window.create(false, 1, 32, 24, 0, 0));
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    int frames = 0;
    window.Run([&] { return ++frames < 3; });
    EXPECT_EQ(frames, 3);

    // Closing the window (or a quit request) ends the loop before the callback runs.
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    close.window.windowID = window.windowId();
    frames = 0;
    window.Run([&] { return ++frames, SDL_PushEvent(&close) == 1; });
    EXPECT_EQ(frames, 1);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    frames = 0;
    window.Run([&] { return ++frames < 100; });
    EXPECT_EQ(frames, 0);
}

// The window owns the GL context made on it: closing the window destroys the context first,
// and every context gets an id of its own, so a renderer holding an old one sees it gone
// even when another was made since.
TEST_F(WindowTest, SurfaceContextGoesBeforeTheWindowAndIsNeverMistakenForALaterOne) {
    SDLWindow window("Application", "surface");
    window.setHidden(true);
    RenderSurface* surface = window.surface();
    std::string why;
    EXPECT_FALSE(surface->createGLContext(4, 5, why));
    EXPECT_EQ(why, "the window was not created");
    EXPECT_FALSE(surface->makeCurrent());

    ASSERT_TRUE(window.create(false, 3, 32, 24, 0, 0));
    ASSERT_TRUE(surface->createGLContext(4, 5, why)) << why;
    const uint64_t first = surface->glContextId();
    EXPECT_NE(first, 0u);
    EXPECT_TRUE(surface->makeCurrent());
    EXPECT_NE(SDL_GL_GetCurrentContext(), nullptr);
    window.destroy();
    EXPECT_EQ(surface->glContextId(), 0u);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
    EXPECT_EQ(window.handle(), nullptr);

    ASSERT_TRUE(window.create(false, 3, 32, 24, 0, 0));
    ASSERT_TRUE(surface->createGLContext(4, 5, why)) << why;
    EXPECT_NE(surface->glContextId(), 0u);
    EXPECT_NE(surface->glContextId(), first);
    surface->destroyGLContext();
    EXPECT_EQ(surface->glContextId(), 0u);
}

} // namespace
} // namespace Vrenn
