// The demo's keys (injected SDL events, fixed time steps) and its help panel.

#include "config/CVar.h"
#include "demo/DemoRunFolder.h"
#include "demo/HelpPanel.h"
#include "platform/Window.h"
#include "scene/Camera.h"
#include "scene/Font.h"
#include "support/SdlEvents.h"
#include "support/TestData.h"

#include <gtest/gtest.h>
#include <sstream>

namespace Vrenn {
namespace {

using Vrenn::Test::pushKey;

// One demo without a bake at a level start (forward keeps the height), frames of 1/20 s: held
// keys move it at 200 units per second, keys toggle, turn the sky, scale the luminance and
// switch probes, and Escape ends the frame it is pressed in.
TEST(DemoControls, KeysMoveToggleTurnSwitchProbesAndEscapeEndsTheFrame) {
    constexpr float kStep = 0.05f;
    Vrenn::Test::StartedDemo demo(
        {{"r_fixedstep", "0.05"}, {"r_showfps", "2"}, {"cam_start", "0 200 0 0 0"}}, false);
    ASSERT_TRUE(demo.started);
    DemoApplication& app = *demo.app;
    demo.focus();
    ASSERT_TRUE(demo.frames(1)); // the first step starts from the timer's start
    const auto tap = [&](SDL_Scancode scancode) { ASSERT_TRUE(demo.tap(scancode)); };

    const Vec3 start = app.camera()->position();
    // Forward and back together cancel.
    pushKey(SDL_SCANCODE_W, true);
    pushKey(SDL_SCANCODE_S, true);
    ASSERT_TRUE(demo.frames(20));
    EXPECT_EQ(app.camera()->position().x, start.x);
    EXPECT_EQ(app.camera()->position().z, start.z);
    pushKey(SDL_SCANCODE_S, false);
    // W alone for one second of fixed steps: 200 units along the view direction.
    ASSERT_TRUE(demo.frames(20));
    pushKey(SDL_SCANCODE_W, false);
    const Vec3 moved = app.camera()->position() - start;
    EXPECT_NEAR(std::sqrt(dot(moved, moved)), 200.0f, 0.01f);
    EXPECT_NEAR(moved.y, 0.0f, 1e-3f);

    // Eleven steps of -0.1 from 1.0 stop at 0, never below.
    for (int i = 0; i < 11; ++i)
        tap(SDL_SCANCODE_KP_MINUS);
    EXPECT_EQ(app.luminanceScale(), 0.0f);
    tap(SDL_SCANCODE_KP_PLUS);
    EXPECT_NEAR(app.luminanceScale(), 0.1f, 1e-6f);

    // F2 turns "r_showfps" 2 into -1, which still counts as on.
    tap(SDL_SCANCODE_F2);
    EXPECT_EQ(app.cvars()->GetInt("r_showfps"), -1);

    // The sky turns by itself (pi/128 per 1/60 s) until R stops it; Q then turns it pi/8.
    const float turning = app.skyAngle();
    ASSERT_TRUE(demo.frames(1));
    EXPECT_NEAR(app.skyAngle() - turning, kStep * 60.0f * 0.0245437f, 1e-5f);
    tap(SDL_SCANCODE_R);
    EXPECT_FALSE(app.autoSkyRotate());
    const float stopped = app.skyAngle();
    ASSERT_TRUE(demo.frames(3));
    EXPECT_EQ(app.skyAngle(), stopped);
    tap(SDL_SCANCODE_Q);
    EXPECT_NEAR(app.skyAngle() - stopped, 0.392699f, 1e-6f);

    for (const SDL_Scancode key : {SDL_SCANCODE_SPACE, SDL_SCANCODE_L, SDL_SCANCODE_M})
        tap(key);
    EXPECT_FALSE(app.generalInfo());
    EXPECT_TRUE(app.wireFrame());
    EXPECT_TRUE(app.diffuseOnly());

    // Alt+Enter switches to full screen and back; Enter alone does nothing.
    tap(SDL_SCANCODE_RETURN);
    EXPECT_FALSE(app.window()->fullScreen());
    for (const bool expected : {true, false}) {
        pushKey(SDL_SCANCODE_LALT, true);
        tap(SDL_SCANCODE_RETURN);
        pushKey(SDL_SCANCODE_LALT, false);
        ASSERT_TRUE(demo.frames(1));
        EXPECT_EQ(app.window()->fullScreen(), expected);
    }

    // C starts a fade to the other probe; presses during it do nothing; after it, C reverses.
    const auto fade = [&] {
        const auto& f = app.crossFade();
        return std::tuple(f.targetProbe(), f.direction(), f.blend());
    };
    tap(SDL_SCANCODE_C);
    EXPECT_EQ(std::get<0>(fade()), 1);
    EXPECT_EQ(std::get<1>(fade()), 1);
    tap(SDL_SCANCODE_C); // during the fade: nothing
    EXPECT_EQ(std::get<0>(fade()), 1);
    EXPECT_EQ(std::get<1>(fade()), 1);
    ASSERT_TRUE(demo.frames(40)); // two seconds take the blend to 1
    EXPECT_EQ(fade(), std::tuple(1, 0, 1.0f));
    tap(SDL_SCANCODE_C);
    EXPECT_EQ(std::get<0>(fade()), 0);
    EXPECT_EQ(std::get<1>(fade()), -1);
    EXPECT_LT(std::get<2>(fade()), 1.0f);

    // Escape ends the frame: nothing drawn, nothing after it ran (Space would show the info).
    const uint32_t drawn = app.framesDrawn();
    pushKey(SDL_SCANCODE_ESCAPE, true);
    pushKey(SDL_SCANCODE_SPACE, true);
    EXPECT_FALSE(app.RunFrame());
    EXPECT_EQ(app.framesDrawn(), drawn);
    EXPECT_FALSE(app.generalInfo());
    pushKey(SDL_SCANCODE_ESCAPE, false);
    pushKey(SDL_SCANCODE_SPACE, false);
}

// Records the help panel as Font receives it: colour changes and text.
struct PanelRecorder {
    std::ostringstream text;
    void setColour(float r, float g, float b) { text << "[" << r << "," << g << "," << b << "]"; }
    template <class T> PanelRecorder& operator<<(const T& value) {
        text << value;
        return *this;
    }
};

TEST(HelpPanel, ReportsEveryToggleAndUnusableProbesAndDimsManualRotationWhileTheSkyTurns) {
    HelpPanelState state;
    state.probeName = "stpeters";
    state.luminanceScale = 1.1f;
    state.wireFrame = true;
    state.probeFallbacks[1] = "probes/mine.sh";
    PanelRecorder panel;
    writeHelpPanel(panel, state);
    // Colour changes in brackets, then the text.
    EXPECT_EQ(panel.text.str(),
              Vrenn::Test::readBytes(Vrenn::Test::testDataPath("demo/help-panel.txt")));

    // Whatever its lines and reasons, the panel's last row ends on the screen; the usual
    // panel stays where it always was.
    state.probeFallbacks = {};
    const auto bottom = [&](float& top) {
        Font font(1.0f / 30.0f);
        top = helpPanelTop(state, 0.65f, 0.02f, 1.0f, Font::kAdvance, font.lineHeight());
        font.setRect(0.02f, top, 0.02f, 1.0f);
        writeHelpPanel(font, state);
        font.flush();
        return font.cursorY();
    };
    float top = 0.0f;
    EXPECT_LE(bottom(top), 1.0f);
    EXPECT_EQ(top, 0.65f);
    state.probeFallbacks = {"probes/first.sh", "probes/second.sh"};
    state.missing = "max_scene_lum \"0\" is not a number above 0";
    EXPECT_LE(bottom(top), 1.0f + 1e-6f);
    EXPECT_LT(top, 0.65f);
    const std::string longReason(200, 'x');
    state.missing = longReason;
    EXPECT_LE(bottom(top), 1.0f + 1e-6f);
    EXPECT_GT(bottom(top), 1.0f - 1.0f / 30.0f); // moved no further up than needed
}

} // namespace
} // namespace Vrenn
