#include "support/GLTestContext.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

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

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
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

LogCapture::LogCapture() : m_start(readFile(testLogFile()).size()) {}

std::string LogCapture::text() const {
    const std::string all = readFile(testLogFile());
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

std::vector<uint8_t> readFramebufferRGBA(int32_t width, int32_t height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    GLint framebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

bool noGLError() {
    bool clean = true;
    while (glGetError() != GL_NO_ERROR)
        clean = false;
    return clean;
}

} // namespace Vrenn::Test
