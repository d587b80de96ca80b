#include "core/Log.h"
#include "platform/KeyCodes.h"
#include "platform/SDLInput.h"
#include "platform/SDLKeyTable.h"
#include "support/SdlEvents.h"
#include "support/TempDir.h"

#include <SDL.h>
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>
#include <tuple>

namespace Vrenn {
namespace {

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
        {SDL_SCANCODE_DELETE, 0xD3},   {SDL_SCANCODE_UNKNOWN, 0},
    };
    for (const auto& [scancode, code] : expected)
        EXPECT_EQ(keyCodeFromScancode(scancode), code) << SDL_GetScancodeName(scancode);
    EXPECT_EQ(keyCodeFromScancode(-1), 0);
    EXPECT_EQ(keyCodeFromScancode(SDL_NUM_SCANCODES), 0);
    // Every key code is used by one scan code at most.
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
    Vrenn::Test::TempDir directory;
    LogManager logs;
    logs.CreateLog(LOG_DEFAULT, directory.file("input.log"));
    SDLInput input;
    ASSERT_TRUE(input.Initialize());
    EXPECT_EQ(input.devices().size(), 2u);
    const std::pair<const char*, const char*> steps[] = {
        {"W+", "W! 0,0,0"}, // pressed only in the first update it is down
        {"", "W 0,0,0"},
        {"", "W 0,0,0"},
        {"W-", "0,0,0"},
        {"W+", "W! 0,0,0"},
        {"W- F1+ F1-", "F1! 0,0,0"}, // a tap between two updates is seen for one
        {"", "0,0,0"},
        {"m3,-2 m4,10 w2 L+ M+", "L! M! 7,8,240"},
        {"w-1 w1f", "L M 0,0,-240"}, // the wheel moves only z
        {"L- R+ M-", "R! 0,0,0"},
        {"A+", "A! R 0,0,0"},
        {"m5,5 focus-", "0,0,0"}, // losing focus releases everything
        {"D+ m9,9", "0,0,0"},     // and nothing registers until it returns
        {"focus+ D+ m1,2", "D! 1,2,0"},
    };
    for (const auto& [events, expected] : steps) {
        queue(events);
        // The devices saw the events as they were queued; the queue itself is not needed.
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        input.update();
        EXPECT_EQ(state(input), expected) << events;
    }
    // Codes outside 0 to 255 read as up.
    EXPECT_FALSE(input.isKeyDown(256 + KEY_D));
    EXPECT_FALSE(input.isKeyPressed(0xFFFFFFFFu));

    input.ShutDown();
    EXPECT_TRUE(input.devices().empty());
    EXPECT_EQ(state(input), "0,0,0");
    EXPECT_NE(directory.read("input.log")
                  .find("SDLInput::Initialize\nSDL input successfully Initialized\n"
                        "SDLInput::ShutDown\n"),
              std::string::npos);
}

} // namespace
} // namespace Vrenn
