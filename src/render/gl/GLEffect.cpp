#include "render/gl/GLEffect.h"

#include "render/gl/GLEffectParam.h"
#include "render/gl/GLTexture.h"

#include <algorithm>
#include <cctype>

namespace Vrenn {

namespace {
bool equalIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

void upload(GLuint program, const GLEffectParameter& p, const GLProgramBinding& binding) {
    const auto count = static_cast<GLsizei>(std::min(p.arraySize, binding.arraySize));
    const GLint at = binding.location;
    const auto* f = reinterpret_cast<const GLfloat*>(p.words.data());
    const auto* i = reinterpret_cast<const GLint*>(p.words.data());
    const auto* u = p.words.data();
    switch (p.kind) {
    case ParamKind::Float:
        if (p.columns == 1) glProgramUniform1fv(program, at, count, f);
        if (p.columns == 2) glProgramUniform2fv(program, at, count, f);
        if (p.columns == 3) glProgramUniform3fv(program, at, count, f);
        if (p.columns == 4) glProgramUniform4fv(program, at, count, f);
        break;
    case ParamKind::Int:
    case ParamKind::Bool:
        if (p.columns == 1) glProgramUniform1iv(program, at, count, i);
        if (p.columns == 2) glProgramUniform2iv(program, at, count, i);
        if (p.columns == 3) glProgramUniform3iv(program, at, count, i);
        if (p.columns == 4) glProgramUniform4iv(program, at, count, i);
        break;
    case ParamKind::UInt:
        if (p.columns == 1) glProgramUniform1uiv(program, at, count, u);
        if (p.columns == 2) glProgramUniform2uiv(program, at, count, u);
        if (p.columns == 3) glProgramUniform3uiv(program, at, count, u);
        if (p.columns == 4) glProgramUniform4uiv(program, at, count, u);
        break;
    case ParamKind::Matrix:
        // The effect holds matrices row by row; GL transposes them on the way in, so
        // shaders compute M * v.
        switch (p.type) {
        case GL_FLOAT_MAT2:
            glProgramUniformMatrix2fv(program, at, count, GL_TRUE, f);
            break;
        case GL_FLOAT_MAT3:
            glProgramUniformMatrix3fv(program, at, count, GL_TRUE, f);
            break;
        case GL_FLOAT_MAT4:
            glProgramUniformMatrix4fv(program, at, count, GL_TRUE, f);
            break;
        case GL_FLOAT_MAT2x3:
            glProgramUniformMatrix2x3fv(program, at, count, GL_TRUE, f);
            break;
        case GL_FLOAT_MAT2x4:
            glProgramUniformMatrix2x4fv(program, at, count, GL_TRUE, f);
            break;
        case GL_FLOAT_MAT3x2:
            glProgramUniformMatrix3x2fv(program, at, count, GL_TRUE, f);
            break;
        case GL_FLOAT_MAT3x4:
            glProgramUniformMatrix3x4fv(program, at, count, GL_TRUE, f);
            break;
        case GL_FLOAT_MAT4x2:
            glProgramUniformMatrix4x2fv(program, at, count, GL_TRUE, f);
            break;
        case GL_FLOAT_MAT4x3:
            glProgramUniformMatrix4x3fv(program, at, count, GL_TRUE, f);
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
}
} // namespace

GLEffect::GLEffect(std::string name, std::shared_ptr<GLEffectState> state)
    : Effect(std::move(name)), m_state(std::move(state)) {}

GLEffect::~GLEffect() = default;

bool GLEffect::valid(uint32_t index) const {
    if (index >= m_state->techniques.size()) return false;
    for (const auto& pass : m_state->techniques[index].passes)
        if (!pass.program || !pass.program->object || pass.program->object->id() == 0) return false;
    return true;
}

bool GLEffect::setTechnique(uint32_t index) {
    if (!valid(index)) return false;
    m_technique = index;
    return true;
}

bool GLEffect::setTechnique(const std::string& name) {
    for (uint32_t i = 0; i < m_state->techniques.size(); ++i)
        if (m_state->techniques[i].name == name) return setTechnique(i);
    return false;
}

bool GLEffect::begin(uint32_t* passCount) {
    if (!valid(m_technique) || !m_state->context.live()) return false;
    m_passCount = static_cast<uint32_t>(m_state->techniques[m_technique].passes.size());
    if (passCount) *passCount = m_passCount;
    m_begun = true;
    m_inPass = false;
    return true;
}

bool GLEffect::end() {
    if (!m_begun) return false;
    m_begun = false;
    m_inPass = false;
    // A pass leaves nothing behind: what draws next starts from the defaults.
    if (const auto context = m_state->context.live()) context->cache().apply(RenderStates{});
    return true;
}

bool GLEffect::beginPass(uint32_t index) {
    const auto context = m_state->context.live();
    if (!m_begun || !context || index >= m_state->techniques[m_technique].passes.size())
        return false;
    GLStateCache& cache = context->cache();
    GLEffectPass& pass = m_state->techniques[m_technique].passes[index];
    cache.apply(pass.states);
    cache.useProgram(pass.program->object->id());
    applyParameters(cache, *pass.program);
    m_inPass = true;
    return true;
}

void GLEffect::applyParameters(GLStateCache& cache, GLEffectProgram& program) {
    const GLuint id = program.object->id();
    for (auto& binding : program.bindings) {
        const GLEffectParameter& p = m_state->parameters[binding.parameter];
        if (p.kind == ParamKind::Sampler) {
            const auto unit = static_cast<uint32_t>(p.unit);
            if (p.texture) p.texture->refreshMips();
            cache.bindTexture(unit, p.texture ? p.texture->id() : 0);
            cache.bindSampler(unit, p.samplerObject ? p.samplerObject->id() : 0);
            continue;
        }
        if (binding.uploaded == p.version) continue;
        upload(id, p, binding);
        binding.uploaded = p.version;
    }
}

bool GLEffect::endPass() {
    if (!m_inPass) return false;
    m_inPass = false;
    return true;
}

std::shared_ptr<Effect> GLEffect::clone() const {
    auto copy = std::make_shared<GLEffectState>(*m_state);
    // The copy's values are its own: programs shared with the original must take them
    // up when the copy draws.
    for (auto& parameter : copy->parameters)
        parameter.version = nextParameterVersion();
    auto effect = std::make_shared<GLEffect>(m_name, std::move(copy));
    effect->m_technique = m_technique;
    return effect;
}

bool GLEffect::getDesc(uint32_t* parameters, uint32_t* techniques, uint32_t* functions) const {
    if (parameters) *parameters = static_cast<uint32_t>(m_state->parameters.size());
    if (techniques) *techniques = static_cast<uint32_t>(m_state->techniques.size());
    if (functions) *functions = m_state->functionCount;
    return true;
}

std::shared_ptr<EffectParam> GLEffect::getParameter(const std::string& name) {
    const auto it = m_state->parameterIndex.find(name);
    if (it == m_state->parameterIndex.end()) return nullptr;
    return std::make_shared<GLEffectParam>(m_state, it->second);
}

std::shared_ptr<EffectParam> GLEffect::getParameterBySemantic(const std::string& semantic) {
    for (uint32_t i = 0; i < m_state->parameters.size(); ++i)
        if (!m_state->parameters[i].semantic.empty() &&
            equalIgnoringCase(m_state->parameters[i].semantic, semantic))
            return std::make_shared<GLEffectParam>(m_state, i);
    return nullptr;
}

} // namespace Vrenn
