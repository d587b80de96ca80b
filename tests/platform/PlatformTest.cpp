#include "core/Log.h"
#include "platform/KeyCodes.h"
#include "platform/SDLInput.h"
#include "platform/SDLKeyTable.h"
#include "platform/SDLWindow.h"
#include "support/SdlEvents.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <SDL.h>
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>
#include <tuple>

namespace Vrenn {
namespace {

// Every key the program reads keeps its scan-code number; no code is used twice.
TEST(KeyTable, KeepsTheScanCodeNumbering) {
    std::istringstream table(
        Vrenn::Test::readBytes(Vrenn::Test::testDataPath("platform/keycodes.txt")));
    int checked = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') continue;
        const SDL_Scancode scancode = SDL_GetScancodeFromName(line.substr(5).c_str());
        ASSERT_NE(scancode, SDL_SCANCODE_UNKNOWN) << line;
        EXPECT_EQ(keyCodeFromScancode(scancode), std::stoi(line, nullptr, 16)) << line;
        ++checked;
    }
    EXPECT_EQ(checked, 28);
    for (int outside : {int(SDL_SCANCODE_UNKNOWN), -1, int(SDL_NUM_SCANCODES)})
        EXPECT_EQ(keyCodeFromScancode(outside), 0);
    int users[256] = {};
    for (int s = 0; s < SDL_NUM_SCANCODES; ++s)
        ++users[keyCodeFromScancode(s)];
    for (int code = 1; code < 256; ++code)
        EXPECT_LE(users[code], 1) << code;
}

struct Key {
    const char* name;
    SDL_Scancode scancode;
    uint32_t code;
};
constexpr Key kKeys[] = {{"W", SDL_SCANCODE_W, KEY_W},
                         {"A", SDL_SCANCODE_A, KEY_A},
                         {"D", SDL_SCANCODE_D, KEY_D},
                         {"F1", SDL_SCANCODE_F1, KEY_F1}};

// Queues the events a step names: "W+" / "W-" a key, "L+" / "R-" / "M+" a button,
// "m3,-2" a motion, "w2" / "w1f" a wheel turn (f: flipped), "focus-" / "focus+".
void queue(const std::string& events) {
    std::istringstream in(events);
    for (std::string e; in >> e;) {
        SDL_Event event{};
        const bool down = e.back() == '+';
        if (e == "focus+" || e == "focus-") {
            event.type = SDL_WINDOWEVENT;
            event.window.event = down ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
        } else if (e[0] == 'm') {
            event.type = SDL_MOUSEMOTION;
            std::sscanf(e.c_str(), "m%d,%d", &event.motion.xrel, &event.motion.yrel);
        } else if (e[0] == 'w') {
            event.type = SDL_MOUSEWHEEL;
            event.wheel.y = std::stoi(e.substr(1));
            event.wheel.direction =
                e.back() == 'f' ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
        } else if (e.size() == 2 && std::string("LRM").find(e[0]) != std::string::npos) {
            event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
            event.button.button = e[0] == 'L'   ? SDL_BUTTON_LEFT
                                  : e[0] == 'R' ? SDL_BUTTON_RIGHT
                                                : SDL_BUTTON_MIDDLE;
            event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        } else {
            for (const Key& key : kKeys)
                if (e.substr(0, e.size() - 1) == key.name) Test::pushKey(key.scancode, down);
            continue;
        }
        Test::pushEvent(event);
    }
}

// What the program sees after an update: keys and buttons down ("!" when pressed in this
// update), then the mouse's x, y and z movement.
std::string state(const SDLInput& input) {
    std::string text;
    for (const Key& key : kKeys)
        if (input.isKeyDown(key.code))
            text += std::string(key.name) + (input.isKeyPressed(key.code) ? "! " : " ");
    const std::tuple<const char*, bool, bool> buttons[] = {
        {"L", input.isLeftButtonDown(), input.isLeftButtonPressed()},
        {"R", input.isRightButtonDown(), input.isRightButtonPressed()},
        {"M", input.isMiddleButtonDown(), input.isMiddleButtonPressed()}};
    for (const auto& [name, down, pressed] : buttons)
        if (down) text += std::string(name) + (pressed ? "! " : " ");
    return text + std::to_string(input.mouseDeltaX()) + "," + std::to_string(input.mouseDeltaY()) +
           "," + std::to_string(input.mouseDeltaZ());
}

TEST(InputTest, DevicesLatchEventsPerUpdateAndForgetThemOutOfFocus) {
    SDLInput input;
    ASSERT_TRUE(input.Initialize());
    EXPECT_EQ(input.devices().size(), 2u);
    std::istringstream steps(
        Vrenn::Test::readBytes(Vrenn::Test::testDataPath("platform/input-steps.txt")));
    int checked = 0;
    for (std::string line; std::getline(steps, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t bar = line.find(" | ");
        queue(line.substr(0, bar));
        // The devices saw the events as they were queued; the queue itself is not needed.
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        input.update();
        EXPECT_EQ(state(input), line.substr(bar + 3)) << line;
        ++checked;
    }
    EXPECT_EQ(checked, 14);
    // Codes outside 0 to 255 read as up.
    EXPECT_FALSE(input.isKeyDown(256 + KEY_D));
    EXPECT_FALSE(input.isKeyPressed(0xFFFFFFFFu));

    input.ShutDown();
    EXPECT_TRUE(input.devices().empty());
    EXPECT_EQ(state(input), "0,0,0");
}

class WindowTest : public ::testing::Test {
protected:
    WindowTest() { logs.CreateLog(LOG_DEFAULT, directory.file("window.log")); }
    std::string logText() const { return directory.read("window.log"); }

    Vrenn::Test::TempDir directory;
    LogManager logs;
};

// A window takes its mode's size and the desktop's colour depth; a resize records the given size,
// or with none the drawable one. Its GL context needs the window, goes before it and gets an id
// of its own each time, so a renderer holding an old one sees it gone even when another was made
// since. Run stops when the callback says so, or when a close or quit arrives before a frame.
TEST_F(WindowTest, SizeContextsAndTheLoop) {
    const std::tuple<int, int, int> modes[] = {
        {-5, 320, 200}, {0, 320, 200},  {1, 320, 200},   {2, 400, 300},   {3, 640, 480},
        {4, 800, 600},  {5, 1024, 768}, {6, 1280, 1024}, {7, 1600, 1200}, {9, 1600, 1200},
    };
    for (const auto& [mode, width, height] : modes)
        EXPECT_EQ(std::pair(displayModeSize(mode).width, displayModeSize(mode).height),
                  std::pair(width, height))
            << mode;

    SDLWindow window("Application", "window test");
    window.setHidden(true);
    RenderSurface* surface = window.surface();
    std::string why;
    EXPECT_FALSE(surface->createGLContext(4, 5, why));
    EXPECT_EQ(why, "the window was not created");
    EXPECT_FALSE(surface->makeCurrent());

    ASSERT_TRUE(window.create(false, 2, 16, 24, 8, 4));
    int w = 0, h = 0;
    SDL_GetWindowSize(window.handle(), &w, &h);
    EXPECT_EQ(std::tuple(w, h, window.width(), window.height()), std::tuple(400, 300, 400, 300));
    SDL_DisplayMode desktop{};
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    EXPECT_EQ(window.colourBits(), static_cast<int32_t>(SDL_BITSPERPIXEL(desktop.format)));
    window.resize(100, 50);
    EXPECT_EQ(std::pair(window.width(), window.height()), std::pair(100, 50));
    window.resize(0, 0);
    EXPECT_EQ(std::pair(window.width(), window.height()), std::pair(400, 300));

    ASSERT_TRUE(surface->createGLContext(4, 5, why)) << why;
    const uint64_t first = surface->glContextId();
    EXPECT_NE(first, 0u);
    EXPECT_TRUE(surface->makeCurrent());
    EXPECT_NE(SDL_GL_GetCurrentContext(), nullptr);
    window.destroy();
    EXPECT_EQ(surface->glContextId(), 0u);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
    ASSERT_TRUE(window.create(false, 3, 32, 24, 0, 0));
    ASSERT_TRUE(surface->createGLContext(4, 5, why)) << why;
    EXPECT_NE(surface->glContextId(), 0u);
    EXPECT_NE(surface->glContextId(), first);
    surface->destroyGLContext();
    EXPECT_EQ(surface->glContextId(), 0u);

    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    int frames = 0;
    window.Run([&] { return ++frames < 3; });
    EXPECT_EQ(frames, 3);
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    close.window.windowID = window.windowId();
    frames = 0;
    // The callback ends the loop itself after a few frames, should the close be ignored.
    window.Run([&] { return ++frames < 5 && SDL_PushEvent(&close) == 1; });
    EXPECT_EQ(frames, 1);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    frames = 0;
    window.Run([&] { return ++frames < 100; });
    EXPECT_EQ(frames, 0);
}

TEST_F(WindowTest, FullScreenNeedsTheExactDisplayMode) {
    // Whether SDL offers a size (a 0 x 0 mode, as the offscreen driver lists, takes any).
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
        EXPECT_EQ(logText().find("Does not support the video mode!\n") != std::string::npos,
                  !created);
    }
}

} // namespace
} // namespace Vrenn
