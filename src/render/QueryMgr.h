#pragma once

#include "core/Singleton.h"
#include "render/Query.h"
#include "core/Registry.h"

#include <memory>
#include <string>

namespace Vrenn {

// Creates the queries and keeps them under generated names.
class QueryMgr : public Singleton<QueryMgr> {
public:
    QueryMgr() = default;
    virtual ~QueryMgr();

    virtual void remove(const std::shared_ptr<Query>& query);
    virtual void remove(const std::string& name);
    virtual void removeAll();
    // A new query registered as "gen_<n>", or empty when the device refuses one.
    virtual std::shared_ptr<Query> createOcclusionQuery() = 0;

    std::shared_ptr<Query> find(const std::string& name) const { return m_registry.find(name); }
    const Registry<Query>::Map& queries() const { return m_registry.entries(); }

protected:
    Registry<Query> m_registry;
};

} // namespace Vrenn
