#include "render/gl/GLQueryMgr.h"

#include "core/Log.h"
#include "render/gl/GLQuery.h"

namespace Vrenn {

GLQueryMgr::~GLQueryMgr() = default;

std::shared_ptr<Query> GLQueryMgr::createOcclusionQuery() {
    const auto context = m_context.live();
    GLuint id = 0;
    if (context) glCreateQueries(GL_SAMPLES_PASSED, 1, &id);
    if (id == 0) {
        logMessage("Could not create GL Occlusion Query Object!\n");
        return nullptr;
    }
    auto query = std::make_shared<GLQuery>(*context, id);
    m_registry.add(m_registry.generateName(), query);
    return query;
}

} // namespace Vrenn
