#include "support/GLTestContext.h"

#include "support/TestData.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace Vrenn::Test {

namespace {
struct SharedLog {
    TempDir directory;
    LogManager manager;
    std::string file;
    SharedLog() : file(directory.file("test.log")) { manager.CreateLog(LOG_DEFAULT, file); }
};

SharedLog& sharedLog() {
    static SharedLog log;
    return log;
}

std::unique_ptr<GLTestContext>& sharedContext() {
    static std::unique_ptr<GLTestContext> context;
    return context;
}

// Ends the shared context before the program exits, while SDL and GL still work.
class ContextCleanup : public ::testing::Environment {
public:
    void TearDown() override { GLTestContext::shutDown(); }
};
const auto* const g_cleanup = ::testing::AddGlobalTestEnvironment(new ContextCleanup);

// Drivers differ in whether they give a deleted object's name out again. The tests ask
// for reuse (Mesa's software drivers honour the request) before any context exists,
// so that a name remembered past its deletion shows as a wrong binding.
const bool g_reuseNames = setenv("force_gl_names_reuse", "true", 0) == 0;
} // namespace

const std::string& testLogFile() {
    return sharedLog().file;
}

GLTestContext::GLTestContext() {
    sharedLog();
    m_window = std::make_shared<SDLWindow>("Application", "Vrenn tests");
    m_window->setHidden(true);
    if (!m_window->create(false, kMode, 32, 24, 8, 0)) return;
    m_renderer = std::make_shared<GLRenderer>();
    if (!m_renderer->Initialize(m_window)) m_renderer.reset();
}

GLTestContext::~GLTestContext() {
    if (m_renderer) m_renderer->ShutDown();
    m_renderer.reset();
    if (m_window) m_window->destroy();
}

GLTestContext& GLTestContext::get() {
    auto& context = sharedContext();
    if (!context) context = std::make_unique<GLTestContext>();
    if (!context->m_renderer) ADD_FAILURE() << "no GL device";
    return *context;
}

void GLTestContext::shutDown() {
    sharedContext().reset();
}

LogCapture::LogCapture() : m_start(readBytes(testLogFile()).size()) {}

std::string LogCapture::text() const {
    const std::string all = readBytes(testLogFile());
    return all.size() > m_start ? all.substr(m_start) : std::string();
}

std::vector<float> readTextureRGBA(GLuint texture, int32_t level, int32_t width, int32_t height,
                                   int32_t layer) {
    std::vector<float> texels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    const auto bytes = static_cast<GLsizei>(texels.size() * sizeof(float));
    if (layer < 0)
        glGetTextureImage(texture, level, GL_RGBA, GL_FLOAT, bytes, texels.data());
    else
        glGetTextureSubImage(texture, level, 0, 0, layer, width, height, 1, GL_RGBA, GL_FLOAT,
                             bytes, texels.data());
    return texels;
}

std::array<uint8_t, 4> backBufferPixel(int32_t x, int32_t y) {
    const GLRenderer& renderer = GLTestContext::get().renderer();
    std::vector<uint8_t> rgba;
    EXPECT_TRUE(renderer.readBackBuffer(rgba));
    const auto width = static_cast<size_t>(renderer.primaryTarget()->width());
    const size_t at = (static_cast<size_t>(y) * width + static_cast<size_t>(x)) * 4;
    if (at + 4 > rgba.size()) return {};
    return {rgba[at], rgba[at + 1], rgba[at + 2], rgba[at + 3]};
}

std::array<uint8_t, 4> backBufferPixelAtClip(float x, float y) {
    const auto& primary = *GLTestContext::get().renderer().primaryTarget();
    return backBufferPixel(
        static_cast<int32_t>((x + 1.0f) * 0.5f * static_cast<float>(primary.width())),
        static_cast<int32_t>((1.0f - y) * 0.5f * static_cast<float>(primary.height())));
}

bool drawPasses(Effect& effect, const std::function<void()>& draw) {
    uint32_t passes = 0;
    if (!effect.begin(&passes)) return false;
    bool drawn = true;
    for (uint32_t i = 0; drawn && i < passes; ++i) {
        drawn = effect.beginPass(i);
        if (drawn) {
            draw();
            drawn = effect.endPass();
        }
    }
    return effect.end() && drawn && noGLError();
}

bool noGLError() {
    bool clean = true;
    while (glGetError() != GL_NO_ERROR)
        clean = false;
    return clean;
}

} // namespace Vrenn::Test
