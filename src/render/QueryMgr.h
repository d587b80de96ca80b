#pragma once

#include "core/Singleton.h"
#include "render/Query.h"
#include "core/Registry.h"

#include <memory>
#include <string>

namespace Vrenn {

// Creates the queries and keeps them under generated names.
class QueryMgr : public Singleton<QueryMgr>, public RegistryOwner<Query> {
public:
    QueryMgr() = default;
    virtual ~QueryMgr();

    // A new query registered as "gen_<n>", or empty when the device refuses one.
    virtual std::shared_ptr<Query> createOcclusionQuery() = 0;
};

} // namespace Vrenn
