#include "render/QueryMgr.h"

namespace Vrenn {

QueryMgr::~QueryMgr() = default;

void QueryMgr::remove(const std::shared_ptr<Query>& query) {
    m_registry.remove(query);
}

void QueryMgr::remove(const std::string& name) {
    m_registry.remove(name);
}

void QueryMgr::removeAll() {
    m_registry.clear();
}

} // namespace Vrenn
