#include "app/Application.h"

#include "config/CVar.h"
#include "core/Log.h"
#include "fs/CodecMgr.h"
#include "fs/FileSystem.h"
#include "platform/SDLInput.h"
#include "platform/SDLWindow.h"
#include "render/gl/GLRenderer.h"
#include "scene/Camera.h"
#include "scene/Font.h"
#include "scene/MaterialMgr.h"
#include "scene/OverlayMgr.h"
#include "scene/SceneMgr.h"

#include <cstdlib>

namespace Vrenn {

Application* g_app = nullptr;

namespace {
std::shared_ptr<Input>& inputHandle() {
    static std::shared_ptr<Input> handle;
    return handle;
}
} // namespace

std::shared_ptr<Input> currentInput() {
    return inputHandle();
}

void setCurrentInput(std::shared_ptr<Input> input) {
    inputHandle() = std::move(input);
}

Application::Application()
    : m_fileSystem(std::make_shared<FileSystem>()), m_cvars(std::make_shared<CVarManager>()),
      m_logs(std::make_shared<LogManager>()), m_codecs(std::make_shared<CodecMgr>()),
      m_window(std::make_shared<SDLWindow>("Application", "Vrenn")),
      m_input(std::make_shared<SDLInput>()), m_scene(std::make_shared<SceneMgr>()),
      m_renderer(std::make_shared<GLRenderer>()) {
    m_timer.Reset();
    // Cameras build their projections the way the renderer expects.
    projectionSwitch().leftHanded = m_renderer->projectionFlag();
    projectionSwitch().rightHanded = !m_renderer->projectionFlag();
    // Anything drawing from the C library's generator sees the same sequence each run.
    std::srand(0);
    setCurrentInput(m_input);
    setCurrentRenderer(m_renderer);
}

Application::~Application() {
    ShutDown();
}

bool Application::RunFrame() {
    if (!Update()) return false;
    if (!Render()) return false;
    return EndFrame();
}

bool Application::Initialize() {
    m_cvars->LoadConfig("default.cfg");
    m_logs->CreateLog(LOG_DEFAULT, m_fileSystem->rootDirectory() + "/app.log");
    registerStandardCodecs(*m_codecs, {m_cvars->GetFloat("max_env_lum")});

    const bool fullScreen = m_cvars->GetInt("r_fullscreen") != 0;
    if (!m_window->create(fullScreen, m_cvars->GetInt("r_mode"), m_cvars->GetInt("r_colorbits"),
                          m_cvars->GetInt("r_depthbits"), m_cvars->GetInt("r_stencilbits"),
                          m_cvars->GetInt("r_fsaalevel")))
        return false;
    // From here on each part is shut down once its start was tried: a part that failed
    // half-way releases what it made.
    m_rendererStarted = true;
    if (!m_renderer->Initialize(m_window)) {
        logMessage("Application::Initialize: the renderer could not be started\n");
        return false;
    }
    m_inputStarted = true;
    if (!m_input->Initialize()) {
        logMessage("Application::Initialize: the input could not be started\n");
        return false;
    }
    m_scene->Initialize(m_renderer);
    logMessage("Initilizing success\n");
    CreateScene();
    return true;
}

void Application::Run() {
    if (m_window) m_window->Run([this] { return RunFrame(); });
}

void Application::CreateScene() {
    m_renderer->coordinateConversion() = Matrix4::scaling(1.0f, 1.0f, -1.0f);
    auto& materials = *m_scene->materialMgr();
    materials.loadScript("materials/2d.mtr");
    m_fontMaterial = materials.getMaterial("font");
    m_addMaterial = materials.getMaterial("blendadd");
    m_fpsOverlay = m_scene->overlayMgr()->createFont(m_fontMaterial);
    m_logoOverlay = m_scene->overlayMgr()->createOverlay(m_addMaterial);
}

void Application::DrawFPS() {
    if (!m_fpsOverlay) return;
    m_fpsOverlay->setColour(1.0f, 1.0f, 1.0f);
    m_fpsOverlay->setRect(0.9f, 0.0f, 0.0f, 1.0f);
    *m_fpsOverlay << "FPS: " << m_fpsValue;
    ++m_fpsFrames;
    m_fpsSeconds += m_timer.frameTime();
    if (m_fpsSeconds >= 1.0f) {
        m_fpsValue = m_fpsFrames;
        m_fpsFrames = 0;
        while (m_fpsSeconds >= 1.0f)
            m_fpsSeconds -= 1.0f;
    }
    m_fpsOverlay->draw(*m_renderer);
}

void Application::DrawLogo() {
    if (!m_logoOverlay) return;
    m_logoOverlay->setColour({1.0f, 1.0f, 1.0f, 1.0f});
    m_logoOverlay->addQuad(0.75f, 0.88f, 0.21f, 0.1f, 0.0f, 0.0f, 1.0f, 1.0f);
    m_logoOverlay->draw(*m_renderer);
}

void Application::releaseSceneResources() {
    m_fpsOverlay.reset();
    m_logoOverlay.reset();
    m_fontMaterial.reset();
    m_addMaterial.reset();
}

void Application::ShutDown() {
    // The 2D resources hold device objects: they go while the device still exists.
    releaseSceneResources();
    m_scene.reset();
    // Input and renderer are shut down explicitly (others may still hold them), but
    // only when their start was tried.
    if (m_input && m_inputStarted) m_input->ShutDown();
    m_input.reset();
    if (m_renderer && m_rendererStarted) m_renderer->ShutDown();
    m_renderer.reset();
    m_inputStarted = m_rendererStarted = false;
    if (m_window) m_window->destroy();
    m_window.reset();
    setCurrentRenderer(nullptr);
    setCurrentInput(nullptr);
    m_codecs.reset();
    if (m_cvars) {
        m_cvars->SaveConfig("default.cfg");
        m_cvars.reset();
    }
    if (m_logs) {
        m_logs->Write("Application::ShutDown\n", LOG_DEFAULT);
        m_logs.reset();
    }
    m_fileSystem.reset();
}

} // namespace Vrenn
