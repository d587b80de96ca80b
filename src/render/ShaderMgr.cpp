#include "render/ShaderMgr.h"

namespace Vrenn {

ShaderMgr::~ShaderMgr() = default;

void ShaderMgr::remove(const std::shared_ptr<Effect>& effect) {
    m_registry.remove(effect);
}

void ShaderMgr::remove(const std::string& name) {
    m_registry.remove(name);
}

void ShaderMgr::removeAll() {
    m_registry.clear();
}

} // namespace Vrenn
