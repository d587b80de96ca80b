#include "render/gl/GLQuery.h"

namespace Vrenn {

GLQuery::GLQuery(GLContext& context, GLuint id) : m_id(id), m_context(context) {}

GLQuery::~GLQuery() {
    if (m_active && m_context.live()) glEndQuery(GL_SAMPLES_PASSED);
    m_context.deleteObject(GLObjectType::Query, m_id);
}

void GLQuery::begin() {
    if (m_active || !m_context.live()) return;
    glBeginQuery(GL_SAMPLES_PASSED, m_id);
    m_active = true;
}

void GLQuery::end() {
    if (!m_active || !m_context.live()) return;
    glEndQuery(GL_SAMPLES_PASSED);
    m_active = false;
    m_hasResult = true;
}

bool GLQuery::getResult(uint32_t& out, bool flush) {
    if (!m_hasResult || m_active || !m_context.live()) return false;
    if (flush) glFlush();
    // Asking for the result itself waits until the GPU has it (and submits the
    // query's commands), so there is no polling loop.
    GLuint count = 0;
    glGetQueryObjectuiv(m_id, GL_QUERY_RESULT, &count);
    out = count;
    return true;
}

} // namespace Vrenn
