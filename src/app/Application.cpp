#include "app/Application.h"

#include "config/CVar.h"
#include "core/Log.h"
#include "fs/CodecMgr.h"
#include "fs/FileSystem.h"
#include "platform/RenderSurface.h"
#include "platform/SDLInput.h"
#include "platform/SDLWindow.h"
#include "render/gl/GLRenderer.h"
#include "scene/Camera.h"
#include "scene/Font.h"
#include "scene/MaterialMgr.h"
#include "scene/OverlayMgr.h"
#include "scene/SceneMgr.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

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
    // Effects, materials and drawn textures a run folder lacks come from the installed
    // data, or the build tree's when run from there.
    m_fileSystem->setDataDirectories(dataDirectories());
    // Cameras build their projections the way the renderer expects.
    projectionSwitch().leftHanded = m_renderer->projectionFlag();
    projectionSwitch().rightHanded = !m_renderer->projectionFlag();
    // Anything drawing from the C library's generator sees the same sequence each run.
    std::srand(0);
    setCurrentInput(m_input);
    setCurrentRenderer(m_renderer);
    m_logs->setListener([this](const char* message) { heard(message); });
}

Application::~Application() {
    ShutDown();
}

bool Application::RunFrame() {
    followDrawableSize();
    if (!Update()) return false;
    if (!Render()) return false;
    return EndFrame();
}

bool Application::followDrawableSize() {
    if (!m_window || !m_renderer) return false;
    RenderSurface* surface = m_window->surface();
    const auto& primary = m_renderer->primaryTarget();
    if (!surface || !primary) return false;
    const SurfaceSize drawable = surface->drawableSize();
    // A minimised window has no pixels: the frame keeps the last size.
    if (drawable.width <= 0 || drawable.height <= 0) return false;
    if (drawable.width == primary->width() && drawable.height == primary->height()) return false;
    logFormat("Application: the drawable is now %dx%d\n", drawable.width, drawable.height);
    m_window->resize(drawable.width, drawable.height);
    m_renderer->resize(drawable.width, drawable.height);
    if (m_fpsOverlay) m_fpsOverlay->setWidthScale(overlayWidthScale());
    Resized(primary->width(), primary->height());
    return true;
}

bool Application::Initialize() {
    m_cvars->LoadConfig("default.cfg");
    m_logs->CreateLog(LOG_DEFAULT, m_fileSystem->rootDirectory() + "/app.log");
    // Without its log the run goes on (the log keeps its lines in memory) but ends as a
    // failure.
    checkLogs();
    registerStandardCodecs(*m_codecs, {m_cvars->GetFloat("max_env_lum")});

    const bool fullScreen = m_cvars->GetInt("r_fullscreen") != 0;
    if (!m_window->create(fullScreen, m_cvars->GetInt("r_mode"), m_cvars->GetInt("r_colorbits"),
                          m_cvars->GetInt("r_depthbits"), m_cvars->GetInt("r_stencilbits"),
                          m_cvars->GetInt("r_fsaalevel"))) {
        const std::string why = lastLogged();
        noteFailure("the window could not be created" + (why.empty() ? "" : ": " + why));
        return false;
    }
    // From here on each part is shut down once its start was tried: a part that failed
    // half-way releases what it made.
    m_rendererStarted = true;
    if (!m_renderer->Initialize(m_window)) {
        const std::string why = lastLogged();
        logMessage("Application::Initialize: the renderer could not be started\n");
        noteFailure("the renderer could not be started" + (why.empty() ? "" : ": " + why));
        return false;
    }
    m_inputStarted = true;
    if (!m_input->Initialize()) {
        const std::string why = lastLogged();
        logMessage("Application::Initialize: the input could not be started\n");
        noteFailure("the input could not be started" + (why.empty() ? "" : ": " + why));
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

void Application::noteFailure(const std::string& why) {
    const std::string reason = why.empty() ? "the run failed" : why;
    if (m_failure.find(reason) != std::string::npos) return;
    m_failure += (m_failure.empty() ? "" : "; ") + reason;
}

void Application::heard(const char* message) {
    std::string_view text(message);
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos) continue;
        if (start == 0) {
            m_lastHeadline = line;
            m_lastReasons.clear();
        } else if (line[0] == ' ' && start >= 2 && !m_lastHeadline.empty()) {
            m_lastReasons += (m_lastReasons.empty() ? "" : "; ") + std::string(line.substr(start));
        }
    }
}

std::string Application::lastLogged() const {
    return m_lastReasons.empty() ? m_lastHeadline : m_lastHeadline + " (" + m_lastReasons + ")";
}

void Application::checkLogs() {
    if (!m_logs) return;
    for (const auto& log : m_logs->logs())
        if (!log->fileError().empty())
            noteFailure("cannot write " + log->fileName() + ": " + log->fileError());
}

void Application::CreateScene() {
    m_renderer->coordinateConversion() = Matrix4::scaling(1.0f, 1.0f, -1.0f);
    auto& materials = *m_scene->materialMgr();
    materials.loadScript("materials/2d.mtr");
    m_fontMaterial = materials.getMaterial("font");
    m_addMaterial = materials.getMaterial("blendadd");
    m_fpsOverlay = m_scene->overlayMgr()->createFont(m_fontMaterial);
    if (m_fpsOverlay) m_fpsOverlay->setWidthScale(overlayWidthScale());
    m_logoOverlay = m_scene->overlayMgr()->createOverlay(m_addMaterial);
}

float Application::overlayWidthScale() const {
    const auto& frame = m_renderer ? m_renderer->primaryTarget() : nullptr;
    if (!frame || frame->width() <= 0 || frame->height() <= 0 ||
        int64_t(frame->width()) * 3 == int64_t(frame->height()) * 4)
        return 1.0f;
    return 4.0f / 3.0f * float(frame->height()) / float(frame->width());
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
    // The logo keeps its shape at any frame size: 0.21 of the width of a 4:3 frame, as wide
    // in pixels per pixel of height elsewhere, its right edge where a 4:3 frame has it.
    float x = 0.75f;
    float width = 0.21f;
    const float scale = overlayWidthScale();
    if (scale != 1.0f) {
        width = std::min(0.21f * scale, 0.96f);
        x = 0.96f - width;
    }
    m_logoOverlay->addQuad(x, 0.88f, width, 0.1f, 0.0f, 0.0f, 1.0f, 1.0f);
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
        if (!m_cvars->SaveConfig("default.cfg")) noteFailure(lastLogged());
        m_cvars.reset();
    }
    if (m_logs) {
        m_logs->Write("Application::ShutDown\n", LOG_DEFAULT);
        checkLogs();
        m_logs->setListener({});
        m_logs.reset();
    }
    m_fileSystem.reset();
}

} // namespace Vrenn
