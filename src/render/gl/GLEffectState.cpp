#include "render/gl/GLEffectState.h"

namespace Vrenn {

GLEffectObject::GLEffectObject(GLContext& context, GLObjectType type, GLuint id)
    : m_type(type), m_id(id), m_context(context) {}

GLEffectObject::~GLEffectObject() {
    m_context.deleteObject(m_type, m_id);
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
