// The demo's keys and mouse, driven through injected SDL events frame by frame with a fixed
// time step, and its help panel.

#include "config/CVar.h"
#include "demo/DemoApplication.h"
#include "demo/DemoRunFolder.h"
#include "demo/HelpPanel.h"
#include "platform/Window.h"
#include "scene/Camera.h"
#include "scene/Font.h"
#include "support/SdlEvents.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace Vrenn {
namespace {

using Test::pushEvent;

void key(SDL_Scancode scancode, bool down) {
    Test::pushKey(scancode, down);
}

// A demo started in a run folder without a bake (the controls need no lighting), stepped by
// hand: each frame is 1/20 s.
class DemoControls : public ::testing::Test {
protected:
    static constexpr float kStep = 0.05f;

    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        app = std::make_unique<DemoApplication>();
        g_app = app.get();
        ASSERT_TRUE(app->Initialize());
        SDL_Event focus{};
        focus.type = SDL_WINDOWEVENT;
        focus.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
        pushEvent(focus);
        ASSERT_TRUE(app->RunFrame()); // the first step starts from the timer's start
    }
    void TearDown() override {
        app.reset();
        g_app = nullptr;
    }

    // Runs frames; false when a frame ended the program.
    bool frames(int count) {
        for (int i = 0; i < count; ++i)
            if (!app->RunFrame()) return false;
        return true;
    }
    void tap(SDL_Scancode scancode) {
        key(scancode, true);
        ASSERT_TRUE(frames(1));
        key(scancode, false);
        ASSERT_TRUE(frames(1));
    }
    Vec3 position() const { return app->camera()->position(); }

    // A level start, so that forward movement keeps its height.
    Vrenn::Test::DemoRunFolder run{
        {{"r_fixedstep", "0.05"}, {"r_showfps", "2"}, {"cam_start", "0 200 0 0 0"}},
        /*baked=*/false};
    std::unique_ptr<DemoApplication> app;
};

TEST_F(DemoControls, MovementFollowsHeldKeysAtTwoHundredUnitsPerSecond) {
    const Vec3 start = position();
    // Forward and back together cancel.
    key(SDL_SCANCODE_W, true);
    key(SDL_SCANCODE_S, true);
    ASSERT_TRUE(frames(20));
    EXPECT_EQ(position().x, start.x);
    EXPECT_EQ(position().z, start.z);
    key(SDL_SCANCODE_S, false);
    // W alone for one second of fixed steps: 200 units along the view direction.
    ASSERT_TRUE(frames(20));
    key(SDL_SCANCODE_W, false);
    const Vec3 moved = position() - start;
    EXPECT_NEAR(std::sqrt(dot(moved, moved)), 200.0f, 0.01f);
    EXPECT_NEAR(moved.y, 0.0f, 1e-3f);
}

TEST_F(DemoControls, ToggleKeysAndTheLuminanceScale) {
    // Eleven steps of -0.1 from 1.0 stop at 0, never below.
    for (int i = 0; i < 11; ++i)
        tap(SDL_SCANCODE_KP_MINUS);
    EXPECT_EQ(app->luminanceScale(), 0.0f);
    tap(SDL_SCANCODE_KP_PLUS);
    EXPECT_NEAR(app->luminanceScale(), 0.1f, 1e-6f);

    // F2 turns "r_showfps" 2 into -1, which still counts as on.
    tap(SDL_SCANCODE_F2);
    EXPECT_EQ(app->cvars()->GetInt("r_showfps"), -1);

    // The sky turns by itself (pi/128 per 1/60 s) until R stops it; Q then turns it pi/8.
    const float turning = app->skyAngle();
    ASSERT_TRUE(frames(1));
    EXPECT_NEAR(app->skyAngle() - turning, kStep * 60.0f * 0.0245437f, 1e-5f);
    tap(SDL_SCANCODE_R);
    EXPECT_FALSE(app->autoSkyRotate());
    const float stopped = app->skyAngle();
    ASSERT_TRUE(frames(3));
    EXPECT_EQ(app->skyAngle(), stopped);
    tap(SDL_SCANCODE_Q);
    EXPECT_NEAR(app->skyAngle() - stopped, 0.392699f, 1e-6f);

    tap(SDL_SCANCODE_SPACE);
    tap(SDL_SCANCODE_L);
    tap(SDL_SCANCODE_M);
    EXPECT_FALSE(app->generalInfo());
    EXPECT_TRUE(app->wireFrame());
    EXPECT_TRUE(app->diffuseOnly());
}

// Alt+Enter switches to full screen and back; Enter alone does nothing.
TEST_F(DemoControls, AltEnterSwitchesFullScreen) {
    ASSERT_FALSE(app->window()->fullScreen());
    tap(SDL_SCANCODE_RETURN);
    EXPECT_FALSE(app->window()->fullScreen());
    for (const bool expected : {true, false}) {
        key(SDL_SCANCODE_LALT, true);
        tap(SDL_SCANCODE_RETURN);
        key(SDL_SCANCODE_LALT, false);
        ASSERT_TRUE(frames(1));
        EXPECT_EQ(app->window()->fullScreen(), expected);
    }
}

TEST_F(DemoControls, ProbeSwitchIgnoresPressesDuringATransitionAndReversesAfterIt) {
    tap(SDL_SCANCODE_C);
    EXPECT_EQ(app->crossFade().targetProbe(), 1);
    EXPECT_EQ(app->crossFade().direction(), 1);
    tap(SDL_SCANCODE_C); // during the fade: nothing
    EXPECT_EQ(app->crossFade().targetProbe(), 1);
    EXPECT_EQ(app->crossFade().direction(), 1);
    ASSERT_TRUE(frames(40)); // two seconds take the blend to 1
    EXPECT_EQ(app->crossFade().blend(), 1.0f);
    EXPECT_EQ(app->crossFade().direction(), 0);
    tap(SDL_SCANCODE_C);
    EXPECT_EQ(app->crossFade().targetProbe(), 0);
    EXPECT_EQ(app->crossFade().direction(), -1);
    EXPECT_LT(app->crossFade().blend(), 1.0f);
}

TEST_F(DemoControls, EscapeEndsTheFrameItIsPressedIn) {
    const uint32_t drawn = app->framesDrawn();
    key(SDL_SCANCODE_ESCAPE, true);
    key(SDL_SCANCODE_SPACE, true);
    EXPECT_FALSE(app->RunFrame());
    EXPECT_EQ(app->framesDrawn(), drawn); // nothing drawn
    EXPECT_TRUE(app->generalInfo());      // nothing after Escape ran
    key(SDL_SCANCODE_ESCAPE, false);
    key(SDL_SCANCODE_SPACE, false);
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
    EXPECT_EQ(panel.text.str(),
              "[0,1,0]General Info(Show/Hide with Space): \n"
              "[1,0.7,0.2] Screen Shot(F1)\n Auto Sky Rotate(R): On\n"
              "[0.5,0.35,0.1] Manual Rotate(Q)\n"
              "[1,0.7,0.2] Toggle FPS(F2): On\n Toggle Wire Frame(L): On\n"
              " Toggle HDR(H): On\n Only Diffuse(M): Off\n Switch Light Probe(C): stpeters\n"
              " Luminance Scale(+/-): 1.1\n"
              "[1,0.3,0.3] probe1 probes/mine.sh unusable: built-in probe used\n");
}

// However many lines the panel has, and however long a reason (wrapped by the font), its
// last row ends on the screen; a panel of the usual rows stays where it always was.
TEST(HelpPanel, MovesUpSoThatItsLastRowEndsOnTheScreen) {
    HelpPanelState state;
    state.probeName = "rnl";
    const std::string longReason(200, 'x');
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
    state.missing = longReason;
    EXPECT_LE(bottom(top), 1.0f + 1e-6f);
    EXPECT_GT(bottom(top), 1.0f - 1.0f / 30.0f); // moved no further up than needed
}

} // namespace
} // namespace Vrenn
