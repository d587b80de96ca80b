// The demo's frame update: timer, mouse look, movement, toggles and the probe switch.

#include "config/CVar.h"
#include "core/Log.h"
#include "demo/DemoApplication.h"
#include "platform/Input.h"
#include "platform/KeyCodes.h"
#include "platform/Window.h"
#include "render/Renderer.h"
#include "scene/Camera.h"
#include "scene/Material.h"

namespace Vrenn {

namespace {
// Degrees per mouse count.
constexpr float kMouseDegrees = 0.3f;
// World units per second of movement.
constexpr float kMoveSpeed = 200.0f;
// The sky's own turn: pi/128 per sixtieth of a second.
constexpr float kSkyTurnPerTick = 0.0245437f;
constexpr float kTicksPerSecond = 60.0f;
// One press of the manual turn: pi/8.
constexpr float kSkyTurnPerPress = 0.392699f;
constexpr float kLuminanceStep = 0.1f;
} // namespace

void DemoApplication::handToRenderer(Camera& camera) {
    camera.update();
    m_renderer->view() = camera.viewMatrix();
    m_renderer->applyTransform(TRANSFORM_VIEW);
    m_renderer->projection() = camera.projectionMatrix();
    m_renderer->applyTransform(TRANSFORM_PROJECTION);
}

bool DemoApplication::Update() {
    m_timer.setFixedStep(m_cvars->GetFloat("r_fixedstep"));
    m_timer.Tick();
    const float dt = m_timer.frameTime();
    const Input* input = m_input.get();
    if (input) m_input->update();
    const auto held = [&](uint32_t key) { return input && input->isKeyDown(key); };
    const auto pressed = [&](uint32_t key) { return input && input->isKeyPressed(key); };

    if (m_camera) {
        const float sign = m_cvars->GetInt("invert_mouse") != 0 ? 1.0f : -1.0f;
        const float mx = input ? float(input->mouseDeltaX()) * sign * kMouseDegrees : 0.0f;
        const float my = input ? float(input->mouseDeltaY()) * sign * kMouseDegrees : 0.0f;
        if (mx != 0.0f) m_camera->turnAboutUp(mx);
        if (my != 0.0f) m_camera->turnAboutSide(my);

        const float step = dt * kMoveSpeed;
        float forward = 0.0f;
        if (held(KEY_W) || held(KEY_UP)) forward = -step;
        if (held(KEY_S) || held(KEY_DOWN)) forward += step;
        m_camera->moveForward(forward);
        float side = 0.0f;
        if (held(KEY_A) || held(KEY_LEFT)) side = -step;
        if (held(KEY_D) || held(KEY_RIGHT)) side += step;
        m_camera->moveSide(side);
        handToRenderer(*m_camera);
    }

    // Alt+Enter switches between a window and full screen; the frame follows the new
    // drawable size from the next frame on.
    if (pressed(KEY_RETURN) && (held(KEY_LEFTALT) || held(KEY_RIGHTALT)) && m_window)
        m_window->setFullScreen(!m_window->fullScreen());
    if (pressed(KEY_F1)) m_renderer->takeScreenShot();
    if (held(KEY_ESCAPE)) return false;
    if (pressed(KEY_F2)) m_cvars->SetInt("r_showfps", 1 - m_cvars->GetInt("r_showfps"));
    if (pressed(KEY_R)) m_autoSkyRotate = !m_autoSkyRotate;
    if (m_autoSkyRotate)
        m_skyAngle += dt * kTicksPerSecond * kSkyTurnPerTick;
    else if (pressed(KEY_Q))
        m_skyAngle += kSkyTurnPerPress;
    // Each toggle says what it did in the log, so scripted runs can follow the keys.
    const auto toggle = [](bool& value, const char* what) {
        value = !value;
        logMessage(std::string("Demo: ") + what + (value ? " on\n" : " off\n"));
    };
    if (pressed(KEY_SPACE)) toggle(m_generalInfo, "help panel");
    if (pressed(KEY_L)) toggle(m_wireFrame, "wire frame");
    // Without a chain (refused at set-up, or the tree view) there is no HDR to turn on.
    if (pressed(KEY_H) && m_hdrChain && m_hdrChain->ready()) toggle(m_hdr, "HDR");
    if (pressed(KEY_NUMPADPLUS)) m_luminanceScale += kLuminanceStep;
    if (pressed(KEY_NUMPADMINUS)) m_luminanceScale -= kLuminanceStep;
    if (m_luminanceScale < 0.0f) m_luminanceScale = 0.0f;
    if (pressed(KEY_M)) {
        toggle(m_diffuseOnly, "diffuse only");
        if (m_prtLighting) m_prtLighting->setBool("diffuseOnly", m_diffuseOnly);
    }
    if (pressed(KEY_C)) {
        m_crossFade.press();
        logMessage("Demo: cross-fade towards probe " + std::to_string(m_crossFade.targetProbe()) +
                   "\n");
    }
    m_crossFade.advance(dt);

    const int32_t maxFrames = m_cvars->GetInt("r_maxframes");
    return maxFrames <= 0 || m_framesDrawn < static_cast<uint32_t>(maxFrames);
}

} // namespace Vrenn
