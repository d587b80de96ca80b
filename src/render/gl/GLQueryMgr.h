#pragma once

#include "render/QueryMgr.h"

namespace Vrenn {

class GLQueryMgr : public QueryMgr {
public:
    GLQueryMgr() = default;
    ~GLQueryMgr() override;

    std::shared_ptr<Query> createOcclusionQuery() override;
};

} // namespace Vrenn
