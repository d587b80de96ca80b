#pragma once

#include "render/QueryMgr.h"
#include "render/gl/GLContext.h"

namespace Vrenn {

class GLQueryMgr : public QueryMgr {
public:
    explicit GLQueryMgr(GLContext& context) : m_context(context) {}
    ~GLQueryMgr() override;

    std::shared_ptr<Query> createOcclusionQuery() override;

private:
    GLContextHandle m_context;
};

} // namespace Vrenn
