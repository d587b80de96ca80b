#include "render/gl/GLQueryMgr.h"

#include "core/Log.h"
#include "render/gl/GLContextLife.h"
#include "render/gl/GLQuery.h"

namespace Vrenn {

GLQueryMgr::~GLQueryMgr() = default;

std::shared_ptr<Query> GLQueryMgr::createOcclusionQuery() {
    GLuint id = 0;
    if (glContextGeneration() != 0) glCreateQueries(GL_SAMPLES_PASSED, 1, &id);
    if (id == 0) {
        logMessage("Could not create GL Occlusion Query Object!\n");
        return nullptr;
    }
    auto query = std::make_shared<GLQuery>(id);
    m_registry.add(m_registry.generateName(), query);
    return query;
}

} // namespace Vrenn
