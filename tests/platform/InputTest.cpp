#include "core/Log.h"
#include "platform/KeyCodes.h"
#include "platform/SDLInput.h"
#include "platform/SDLKeyTable.h"
#include "support/SdlEvents.h"
#include "support/TempDir.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

void push(SDL_Event event) {
    Test::pushEvent(event);
}

void key(SDL_Scancode scancode, bool down) {
    Test::pushKey(scancode, down);
}

void motion(int32_t dx, int32_t dy) {
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.xrel = dx;
    event.motion.yrel = dy;
    push(event);
}

void wheel(int32_t notches, bool flipped = false) {
    SDL_Event event{};
    event.type = SDL_MOUSEWHEEL;
    event.wheel.y = notches;
    event.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
    push(event);
}

void button(uint8_t which, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.button = which;
    event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    push(event);
}

void focus(bool gained) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
    push(event);
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        logs.CreateLog(LOG_DEFAULT, directory.file("input.log"));
        ASSERT_TRUE(input.Initialize());
    }
    void TearDown() override { input.ShutDown(); }
    // The devices saw the events as they were queued; the queue itself is not needed.
    void update() {
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        input.update();
    }
    std::string logText() const { return directory.read("input.log"); }

    Vrenn::Test::TempDir directory;
    LogManager logs;
    SDLInput input;
};

TEST(KeyTable, KeepsTheScanCodeNumbering) {
    const std::pair<SDL_Scancode, int> expected[] = {
        {SDL_SCANCODE_ESCAPE, 0x01},   {SDL_SCANCODE_1, 0x02},     {SDL_SCANCODE_0, 0x0B},
        {SDL_SCANCODE_Q, 0x10},        {SDL_SCANCODE_W, 0x11},     {SDL_SCANCODE_R, 0x13},
        {SDL_SCANCODE_A, 0x1E},        {SDL_SCANCODE_S, 0x1F},     {SDL_SCANCODE_D, 0x20},
        {SDL_SCANCODE_H, 0x23},        {SDL_SCANCODE_L, 0x26},     {SDL_SCANCODE_C, 0x2E},
        {SDL_SCANCODE_M, 0x32},        {SDL_SCANCODE_SPACE, 0x39}, {SDL_SCANCODE_F1, 0x3B},
        {SDL_SCANCODE_F2, 0x3C},       {SDL_SCANCODE_F10, 0x44},   {SDL_SCANCODE_KP_MINUS, 0x4A},
        {SDL_SCANCODE_KP_PLUS, 0x4E},  {SDL_SCANCODE_F11, 0x57},   {SDL_SCANCODE_F12, 0x58},
        {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_RCTRL, 0x9D}, {SDL_SCANCODE_UP, 0xC8},
        {SDL_SCANCODE_LEFT, 0xCB},     {SDL_SCANCODE_RIGHT, 0xCD}, {SDL_SCANCODE_DOWN, 0xD0},
        {SDL_SCANCODE_DELETE, 0xD3},
    };
    for (const auto& [scancode, code] : expected)
        EXPECT_EQ(keyCodeFromScancode(scancode), code) << SDL_GetScancodeName(scancode);
    EXPECT_EQ(keyCodeFromScancode(SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(keyCodeFromScancode(-1), 0);
    EXPECT_EQ(keyCodeFromScancode(SDL_NUM_SCANCODES), 0);
    // Every key code is used by one scan code at most.
    int users[256] = {};
    for (int s = 0; s < SDL_NUM_SCANCODES; ++s)
        ++users[keyCodeFromScancode(s)];
    for (int code = 1; code < 256; ++code)
        EXPECT_LE(users[code], 1) << code;
}

TEST_F(InputTest, LogsItsStartAndStop) {
    EXPECT_NE(logText().find("SDLInput::Initialize\nSDL input successfully Initialized\n"),
              std::string::npos);
    EXPECT_EQ(input.devices().size(), 2u);
    input.ShutDown();
    EXPECT_NE(logText().find("SDLInput::ShutDown\n"), std::string::npos);
    EXPECT_TRUE(input.devices().empty());
    EXPECT_FALSE(input.isKeyDown(KEY_W));
    EXPECT_EQ(input.mouseDeltaX(), 0);
    ASSERT_TRUE(input.Initialize());
}

TEST_F(InputTest, HeldKeyIsPressedOnlyInItsFirstUpdate) {
    key(SDL_SCANCODE_W, true);
    update();
    EXPECT_TRUE(input.isKeyDown(KEY_W));
    EXPECT_TRUE(input.isKeyPressed(KEY_W));
    EXPECT_FALSE(input.isKeyDown(KEY_S));
    for (int frame = 0; frame < 3; ++frame) {
        update();
        EXPECT_TRUE(input.isKeyDown(KEY_W)) << frame;
        EXPECT_FALSE(input.isKeyPressed(KEY_W)) << frame;
    }
    key(SDL_SCANCODE_W, false);
    update();
    EXPECT_FALSE(input.isKeyDown(KEY_W));
    EXPECT_FALSE(input.isKeyPressed(KEY_W));
    key(SDL_SCANCODE_W, true);
    update();
    EXPECT_TRUE(input.isKeyPressed(KEY_W));
    // Codes outside 0 to 255 read as up.
    EXPECT_FALSE(input.isKeyDown(256 + KEY_W));
    EXPECT_FALSE(input.isKeyPressed(0xFFFFFFFFu));
}

TEST_F(InputTest, TapBetweenTwoUpdatesIsSeenForOneUpdate) {
    key(SDL_SCANCODE_F1, true);
    key(SDL_SCANCODE_F1, false);
    update();
    EXPECT_TRUE(input.isKeyPressed(KEY_F1));
    EXPECT_TRUE(input.isKeyDown(KEY_F1));
    update();
    EXPECT_FALSE(input.isKeyDown(KEY_F1));
    EXPECT_FALSE(input.isKeyPressed(KEY_F1));
}

TEST_F(InputTest, MouseReportsMotionWheelAndButtonsPerUpdate) {
    motion(3, -2);
    motion(4, 10);
    wheel(2);
    button(SDL_BUTTON_LEFT, true);
    button(SDL_BUTTON_MIDDLE, true);
    update();
    EXPECT_EQ(input.mouseDeltaX(), 7);
    EXPECT_EQ(input.mouseDeltaY(), 8);
    EXPECT_EQ(input.mouseDeltaZ(), 240);
    EXPECT_TRUE(input.isLeftButtonDown());
    EXPECT_TRUE(input.isLeftButtonPressed());
    EXPECT_TRUE(input.isMiddleButtonPressed());
    EXPECT_FALSE(input.isRightButtonDown());

    // The wheel moves only z; nothing new means no movement.
    wheel(-1);
    wheel(1, true);
    update();
    EXPECT_EQ(input.mouseDeltaX(), 0);
    EXPECT_EQ(input.mouseDeltaY(), 0);
    EXPECT_EQ(input.mouseDeltaZ(), -240);
    EXPECT_TRUE(input.isLeftButtonDown());
    EXPECT_FALSE(input.isLeftButtonPressed());

    button(SDL_BUTTON_LEFT, false);
    button(SDL_BUTTON_RIGHT, true);
    update();
    EXPECT_FALSE(input.isLeftButtonDown());
    EXPECT_TRUE(input.isRightButtonPressed());
    EXPECT_EQ(input.mouseDeltaZ(), 0);
}

TEST_F(InputTest, LosingFocusReleasesEverythingUntilFocusReturns) {
    key(SDL_SCANCODE_A, true);
    button(SDL_BUTTON_RIGHT, true);
    update();
    ASSERT_TRUE(input.isKeyDown(KEY_A));
    motion(5, 5);
    focus(false);
    update();
    EXPECT_FALSE(input.isKeyDown(KEY_A));
    EXPECT_FALSE(input.isRightButtonDown());
    EXPECT_EQ(input.mouseDeltaX(), 0);
    // While out of focus nothing registers.
    key(SDL_SCANCODE_D, true);
    motion(9, 9);
    update();
    EXPECT_FALSE(input.isKeyDown(KEY_D));
    EXPECT_EQ(input.mouseDeltaY(), 0);

    focus(true);
    key(SDL_SCANCODE_D, true);
    motion(1, 2);
    update();
    EXPECT_TRUE(input.isKeyPressed(KEY_D));
    EXPECT_FALSE(input.isKeyDown(KEY_A));
    EXPECT_EQ(input.mouseDeltaY(), 2);
}

} // namespace
} // namespace Vrenn
