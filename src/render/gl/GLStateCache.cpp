#include "render/gl/GLStateCache.h"

namespace Vrenn {

namespace {
void setEnabled(GLenum capability, bool on) {
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

GLenum polygonMode(FillMode fill) {
    switch (fill) {
    case FillMode::Wireframe:
        return GL_LINE;
    case FillMode::Point:
        return GL_POINT;
    default:
        return GL_FILL;
    }
}
} // namespace

GLStateCache::GLStateCache() = default;

GLStateCache::~GLStateCache() = default;

void GLStateCache::reset() {
    m_states = RenderStates{};
    applyCull(m_states.cull);
    glPolygonMode(GL_FRONT_AND_BACK, polygonMode(m_states.fill));
    setEnabled(GL_DEPTH_TEST, m_states.depthTest);
    glDepthMask(m_states.depthWrite ? GL_TRUE : GL_FALSE);
    glDepthFunc(m_states.depthFunc);
    setEnabled(GL_BLEND, m_states.blend);
    glBlendFunc(m_states.blendSource, m_states.blendDestination);
    glBlendEquation(m_states.blendOperation);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    m_scissor = false;
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_STENCIL_TEST);
    m_framebuffer = 0;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    m_program = 0;
    glUseProgram(0);
    m_vertexArray = 0;
    glBindVertexArray(0);
    m_textures.fill(0);
    m_samplers.fill(0);
    for (uint32_t unit = 0; unit < kTextureUnits; ++unit) {
        glBindTextureUnit(unit, 0);
        glBindSampler(unit, 0);
    }
}

void GLStateCache::applyCull(CullMode cull) {
    // With the upper-left origin, a triangle that turns clockwise on the y-down screen
    // is a back face to GL when front faces are counter-clockwise.
    if (cull == CullMode::None) {
        glDisable(GL_CULL_FACE);
        return;
    }
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glCullFace(cull == CullMode::Clockwise ? GL_BACK : GL_FRONT);
}

void GLStateCache::apply(const RenderStates& s) {
    if (s == m_states) return;
    if (s.cull != m_states.cull) applyCull(s.cull);
    if (s.fill != m_states.fill) glPolygonMode(GL_FRONT_AND_BACK, polygonMode(s.fill));
    if (s.depthTest != m_states.depthTest) setEnabled(GL_DEPTH_TEST, s.depthTest);
    if (s.depthWrite != m_states.depthWrite) glDepthMask(s.depthWrite ? GL_TRUE : GL_FALSE);
    if (s.depthFunc != m_states.depthFunc) glDepthFunc(s.depthFunc);
    if (s.blend != m_states.blend) setEnabled(GL_BLEND, s.blend);
    if (s.blendSource != m_states.blendSource || s.blendDestination != m_states.blendDestination)
        glBlendFunc(s.blendSource, s.blendDestination);
    if (s.blendOperation != m_states.blendOperation) glBlendEquation(s.blendOperation);
    if (s.colourMask != m_states.colourMask)
        glColorMask((s.colourMask & 1) != 0, (s.colourMask & 2) != 0, (s.colourMask & 4) != 0,
                    (s.colourMask & 8) != 0);
    m_states = s;
}

void GLStateCache::setScissorTest(bool on) {
    if (on == m_scissor) return;
    m_scissor = on;
    setEnabled(GL_SCISSOR_TEST, on);
}

void GLStateCache::bindFramebuffer(GLuint framebuffer) {
    if (framebuffer == m_framebuffer) return;
    m_framebuffer = framebuffer;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}

void GLStateCache::restoreReadFramebuffer() {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
}

void GLStateCache::useProgram(GLuint program) {
    if (program == m_program) return;
    m_program = program;
    glUseProgram(program);
}

void GLStateCache::bindVertexArray(GLuint vertexArray) {
    if (vertexArray == m_vertexArray) return;
    m_vertexArray = vertexArray;
    glBindVertexArray(vertexArray);
}

void GLStateCache::bindTexture(uint32_t unit, GLuint texture) {
    if (unit >= kTextureUnits || m_textures[unit] == texture) return;
    m_textures[unit] = texture;
    glBindTextureUnit(unit, texture);
}

void GLStateCache::bindSampler(uint32_t unit, GLuint sampler) {
    if (unit >= kTextureUnits || m_samplers[unit] == sampler) return;
    m_samplers[unit] = sampler;
    glBindSampler(unit, sampler);
}

void GLStateCache::forgetFramebuffer(GLuint framebuffer) {
    if (m_framebuffer == framebuffer) m_framebuffer = 0;
}

void GLStateCache::forgetTexture(GLuint texture) {
    for (auto& bound : m_textures)
        if (bound == texture) bound = 0;
}

void GLStateCache::forgetSampler(GLuint sampler) {
    for (auto& bound : m_samplers)
        if (bound == sampler) bound = 0;
}

void GLStateCache::forgetProgram(GLuint program) {
    if (m_program == program) m_program = 0;
}

void GLStateCache::forgetVertexArray(GLuint vertexArray) {
    if (m_vertexArray == vertexArray) m_vertexArray = 0;
    if (m_defaultVertexArray == vertexArray) m_defaultVertexArray = 0;
}

} // namespace Vrenn
