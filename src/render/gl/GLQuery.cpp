#include "render/gl/GLQuery.h"

#include "render/gl/GLContextLife.h"

namespace Vrenn {

GLQuery::GLQuery(GLuint id) : m_id(id), m_generation(glContextGeneration()) {}

GLQuery::~GLQuery() {
    if (!glContextAlive(m_generation)) return;
    if (m_active) glEndQuery(GL_SAMPLES_PASSED);
    glDeleteQueries(1, &m_id);
}

void GLQuery::begin() {
    if (m_active || !glContextAlive(m_generation)) return;
    glBeginQuery(GL_SAMPLES_PASSED, m_id);
    m_active = true;
}

void GLQuery::end() {
    if (!m_active || !glContextAlive(m_generation)) return;
    glEndQuery(GL_SAMPLES_PASSED);
    m_active = false;
    m_hasResult = true;
}

bool GLQuery::getResult(uint32_t& out, bool flush) {
    if (!m_hasResult || m_active || !glContextAlive(m_generation)) return false;
    if (flush) glFlush();
    // Asking for the result itself waits until the GPU has it (and submits the
    // query's commands), so there is no polling loop.
    GLuint count = 0;
    glGetQueryObjectuiv(m_id, GL_QUERY_RESULT, &count);
    out = count;
    return true;
}

} // namespace Vrenn
