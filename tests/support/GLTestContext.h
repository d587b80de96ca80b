#pragma once

#include "core/Log.h"
#include "platform/SDLWindow.h"
#include "render/Effect.h"
#include "render/gl/GLContext.h"
#include "render/gl/GLRenderer.h"
#include "support/TempDir.h"

#include <array>
#include <epoxy/gl.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn::Test {

// One hidden window and GL renderer for the tests of a program, made on first use and
// reused; the log goes to a file whose new lines a test can read.
class GLTestContext {
public:
    static constexpr int32_t kMode = 3; // 640 x 480

    static GLTestContext& get(); // fails the test when no device exists
    static void shutDown();      // for a test that makes its own device

    GLRenderer& renderer() { return *m_renderer; }
    GLContext& context() { return *m_renderer->context(); }
    GLStateCache& cache() { return context().cache(); }
    const std::shared_ptr<GLRenderer>& rendererPtr() const { return m_renderer; }

    GLTestContext();
    ~GLTestContext();

private:
    std::shared_ptr<SDLWindow> m_window;
    std::shared_ptr<GLRenderer> m_renderer;
};

// Log lines written from construction on, read from the log's file.
class LogCapture {
public:
    LogCapture();
    std::string text() const;

private:
    size_t m_start;
};

// The file log the test programs share; made with the first capture or context.
const std::string& testLogFile();

// Texels of one level (and face or layer) of a texture as RGBA floats, top row first.
std::vector<float> readTextureRGBA(GLuint texture, int32_t level, int32_t width, int32_t height,
                                   int32_t layer = -1);
// A pixel of the shared back buffer as RGBA bytes (row 0 at the top; clip: x right, y up).
std::array<uint8_t, 4> backBufferPixel(int32_t x, int32_t y);
std::array<uint8_t, 4> backBufferPixelAtClip(float x, float y);

// Runs every pass of the effect's technique around `draw` (by default one triangle);
// false when a begin or an end fails or GL reports an error.
bool drawPasses(
    Effect& effect, const std::function<void()>& draw = [] { glDrawArrays(GL_TRIANGLES, 0, 3); });

// True when no GL error is pending (and clears them).
bool noGLError();

} // namespace Vrenn::Test
