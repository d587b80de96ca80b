#include "render/gl/GLEffectState.h"

#include "render/gl/GLContextLife.h"

namespace Vrenn {

GLEffectObject::GLEffectObject(Type type, GLuint id)
    : m_type(type), m_id(id), m_generation(glContextGeneration()) {}

GLEffectObject::~GLEffectObject() {
    if (m_id == 0 || !glContextAlive(m_generation)) return;
    auto* cache = GLStateCache::instance();
    if (m_type == Program) {
        if (cache) cache->forgetProgram(m_id);
        glDeleteProgram(m_id);
    } else {
        if (cache) cache->forgetSampler(m_id);
        glDeleteSamplers(1, &m_id);
    }
}

GLEffectParameter* GLEffectState::find(const std::string& name) {
    const auto it = parameterIndex.find(name);
    return it == parameterIndex.end() ? nullptr : &parameters[it->second];
}

uint64_t nextParameterVersion() {
    static uint64_t version = 0;
    return ++version;
}

} // namespace Vrenn
