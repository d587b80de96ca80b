#include "demo/DemoApplication.h"

#include "config/CVar.h"
#include "platform/Input.h"
#include "platform/KeyCodes.h"
#include "render/Renderer.h"

namespace Vrenn {

bool DemoApplication::Update() {
    // Everything in the frame sees the same frame time.
    m_timer.Tick();
    if (m_input) {
        m_input->update();
        if (m_input->isKeyDown(KEY_ESCAPE)) return false;
    }
    const int32_t maxFrames = m_cvars->GetInt("r_maxframes");
    return maxFrames <= 0 || m_framesDrawn < static_cast<uint32_t>(maxFrames);
}

bool DemoApplication::Render() {
    m_renderer->beginFrame();
    m_renderer->begin2D();
    if (m_cvars->GetInt("r_showfps")) DrawFPS();
    if (m_cvars->GetInt("r_drawlogo")) DrawLogo();
    ++m_framesDrawn;
    const int32_t shotFrame = m_cvars->GetInt("r_shotframe");
    if (shotFrame > 0 && m_framesDrawn == static_cast<uint32_t>(shotFrame))
        m_renderer->takeScreenShot();
    m_renderer->endFrame();
    return true;
}

} // namespace Vrenn
