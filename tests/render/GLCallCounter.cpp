#include "GLCallCounter.h"

namespace Vrenn::Test {

namespace {
int g_bindFramebuffer = 0;
int g_viewport = 0;
int g_attachments = 0;
int g_other = 0;

PFNGLBINDFRAMEBUFFERPROC g_realBindFramebuffer = nullptr;
PFNGLVIEWPORTPROC g_realViewport = nullptr;
PFNGLNAMEDFRAMEBUFFERTEXTUREPROC g_realTexture = nullptr;
PFNGLNAMEDFRAMEBUFFERTEXTURELAYERPROC g_realTextureLayer = nullptr;
PFNGLNAMEDFRAMEBUFFERRENDERBUFFERPROC g_realRenderbuffer = nullptr;
PFNGLNAMEDFRAMEBUFFERDRAWBUFFERSPROC g_realDrawBuffers = nullptr;
PFNGLBINDTEXTUREUNITPROC g_realBindTextureUnit = nullptr;
PFNGLUSEPROGRAMPROC g_realUseProgram = nullptr;

void GLAPIENTRY countBindFramebuffer(GLenum target, GLuint framebuffer) {
    ++g_bindFramebuffer;
    g_realBindFramebuffer(target, framebuffer);
}
void GLAPIENTRY countViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    ++g_viewport;
    g_realViewport(x, y, width, height);
}
void GLAPIENTRY texture(GLuint framebuffer, GLenum attachment, GLuint tex, GLint level) {
    ++g_attachments;
    g_realTexture(framebuffer, attachment, tex, level);
}
void GLAPIENTRY textureLayer(GLuint framebuffer, GLenum attachment, GLuint tex, GLint level,
                             GLint layer) {
    ++g_attachments;
    g_realTextureLayer(framebuffer, attachment, tex, level, layer);
}
void GLAPIENTRY renderbuffer(GLuint framebuffer, GLenum attachment, GLenum target, GLuint buffer) {
    ++g_attachments;
    g_realRenderbuffer(framebuffer, attachment, target, buffer);
}
void GLAPIENTRY drawBuffers(GLuint framebuffer, GLsizei n, const GLenum* buffers) {
    ++g_other;
    g_realDrawBuffers(framebuffer, n, buffers);
}
void GLAPIENTRY bindTextureUnit(GLuint unit, GLuint tex) {
    ++g_other;
    g_realBindTextureUnit(unit, tex);
}
void GLAPIENTRY useProgram(GLuint program) {
    ++g_other;
    g_realUseProgram(program);
}

template <class Proc> void swapIn(Proc& slot, Proc& saved, Proc counting) {
    saved = slot;
    slot = counting;
}
} // namespace

GLCallCounter::GLCallCounter() {
    g_bindFramebuffer = g_viewport = g_attachments = g_other = 0;
    // The loader resolves an entry point on its first call and then replaces the
    // slot; the renderer has called all of these already, so the slots hold the
    // driver's functions.
    swapIn(epoxy_glBindFramebuffer, g_realBindFramebuffer, &countBindFramebuffer);
    swapIn(epoxy_glViewport, g_realViewport, &countViewport);
    swapIn(epoxy_glNamedFramebufferTexture, g_realTexture, &texture);
    swapIn(epoxy_glNamedFramebufferTextureLayer, g_realTextureLayer, &textureLayer);
    swapIn(epoxy_glNamedFramebufferRenderbuffer, g_realRenderbuffer, &renderbuffer);
    swapIn(epoxy_glNamedFramebufferDrawBuffers, g_realDrawBuffers, &drawBuffers);
    swapIn(epoxy_glBindTextureUnit, g_realBindTextureUnit, &bindTextureUnit);
    swapIn(epoxy_glUseProgram, g_realUseProgram, &useProgram);
}

GLCallCounter::~GLCallCounter() {
    epoxy_glBindFramebuffer = g_realBindFramebuffer;
    epoxy_glViewport = g_realViewport;
    epoxy_glNamedFramebufferTexture = g_realTexture;
    epoxy_glNamedFramebufferTextureLayer = g_realTextureLayer;
    epoxy_glNamedFramebufferRenderbuffer = g_realRenderbuffer;
    epoxy_glNamedFramebufferDrawBuffers = g_realDrawBuffers;
    epoxy_glBindTextureUnit = g_realBindTextureUnit;
    epoxy_glUseProgram = g_realUseProgram;
}

int GLCallCounter::total() const {
    return g_bindFramebuffer + g_viewport + g_attachments + g_other;
}
int GLCallCounter::bindFramebuffer() const {
    return g_bindFramebuffer;
}
int GLCallCounter::viewport() const {
    return g_viewport;
}
int GLCallCounter::attachments() const {
    return g_attachments;
}

} // namespace Vrenn::Test
