#pragma once

#include "core/Timer.h"

#include <memory>
#include <string>

namespace Vrenn {

class CodecMgr;
class CVarManager;
class FileSystem;
class Font;
class Input;
class LogManager;
class Material;
class Overlay;
class Renderer;
class SceneMgr;
class Window;

// The root of the program: owns every engine subsystem, brings them up in a fixed
// order, runs the frame callback from the window's main loop and tears everything
// down in a fixed order. A demonstration derives from it and fills in the frame and
// the scene.
//
// Lifecycle: construct (subsystems made, process-wide handles published) ->
// Initialize (configuration, log, codecs, window, renderer, input, scene manager,
// CreateScene) -> Run -> ShutDown (also from the destructor; a second call does
// nothing). The configuration is written back to "default.cfg" during ShutDown.
class Application {
public:
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Follows the window's drawable size (followDrawableSize), then Update, then Render,
    // then EndFrame; false when Update or Render says stop.
    virtual bool RunFrame();
    // When the window's drawable size differs from the back buffer's (the window was
    // resized, switched to or from full screen, or its drawable has more pixels than the
    // window has points), records it on the window, makes the back buffer anew at it and
    // calls Resized. True when the size changed.
    bool followDrawableSize();
    // Called once the back buffer has the new size: whatever is sized by the screen
    // follows it here.
    virtual void Resized(int32_t /*width*/, int32_t /*height*/) {}
    virtual bool Update() { return true; }
    virtual bool Render() { return true; }
    virtual bool EndFrame() { return true; }
    // False when the window cannot be created (nothing further is started) or the
    // renderer or the input cannot be started (logged; ShutDown releases what was
    // started).
    virtual bool Initialize();
    virtual void ShutDown();
    // Loads the 2D resources: the "font" and "blendadd" materials of
    // "materials/2d.mtr" (which bring the font sheet and the logo with them) and the
    // frame-rate and logo overlays.
    virtual void CreateScene();
    virtual void DrawLogo();
    // Draws "FPS: " and the number of frames drawn with it during the last full second.
    virtual void DrawFPS();

    // Runs the window's main loop with RunFrame as the callback.
    void Run();

    // Why the run did not do all it was asked, in one line (no window or renderer,
    // app.log or default.cfg not written, a screenshot not taken; several reasons are
    // separated by "; "); empty while all went well. The program reports it and ends
    // with a failure status.
    const std::string& failure() const { return m_failure; }

    const std::shared_ptr<FileSystem>& fileSystem() const { return m_fileSystem; }
    const std::shared_ptr<CVarManager>& cvars() const { return m_cvars; }
    const std::shared_ptr<LogManager>& logs() const { return m_logs; }
    const std::shared_ptr<CodecMgr>& codecs() const { return m_codecs; }
    const std::shared_ptr<Window>& window() const { return m_window; }
    const std::shared_ptr<Renderer>& renderer() const { return m_renderer; }
    const std::shared_ptr<Input>& input() const { return m_input; }
    const std::shared_ptr<SceneMgr>& scene() const { return m_scene; }
    Timer& timer() { return m_timer; }
    // The frame count DrawFPS shows.
    int fpsValue() const { return m_fpsValue; }

protected:
    // How much narrower (below 1) or wider overlays are drawn than in a 4:3 frame, so that
    // text and the logo keep their shape in pixels: 1 for 4:3 frames.
    float overlayWidthScale() const;
    // Adds a reason why the run failed (once).
    void noteFailure(const std::string& why);
    // The last line logged that is not indented, with the indented reason lines after it
    // in parentheses: the account of the last failure an engine part logged.
    std::string lastLogged() const;

    std::shared_ptr<FileSystem> m_fileSystem;
    std::shared_ptr<CVarManager> m_cvars;
    std::shared_ptr<LogManager> m_logs;
    std::shared_ptr<CodecMgr> m_codecs;
    // Made in this order: the renderer last, once everything it may reach exists.
    std::shared_ptr<Window> m_window;
    std::shared_ptr<Input> m_input;
    std::shared_ptr<SceneMgr> m_scene;
    std::shared_ptr<Renderer> m_renderer;
    Timer m_timer;
    std::shared_ptr<Font> m_fpsOverlay;
    std::shared_ptr<Overlay> m_logoOverlay;
    std::shared_ptr<Material> m_fontMaterial;
    std::shared_ptr<Material> m_addMaterial;

private:
    void releaseSceneResources();
    void heard(const char* message);
    // Notes a log whose file could not be opened or written.
    void checkLogs();

    std::string m_failure;
    std::string m_lastHeadline;
    std::string m_lastReasons;

    // Frames counted towards the next FPS value, and the time they took.
    int m_fpsFrames = 0;
    float m_fpsSeconds = 0.0f;
    int m_fpsValue = 0;
    bool m_rendererStarted = false; // Initialize was called on the renderer
    bool m_inputStarted = false;    // Initialize was called on the input
};

// The one application of the process (set by the program entry).
extern Application* g_app;

// The process-wide input handle the application publishes.
std::shared_ptr<Input> currentInput();
void setCurrentInput(std::shared_ptr<Input> input);

} // namespace Vrenn
