#include "render/gl/GLEffectParam.h"

#include "render/gl/GLRenderTexture.h"
#include "render/gl/GLTexture.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace Vrenn {

namespace {
bool isScalarOrVector(const GLEffectParameter& p) {
    return p.kind == ParamKind::Float || p.kind == ParamKind::Int || p.kind == ParamKind::UInt ||
           p.kind == ParamKind::Bool;
}

bool isNumeric(const GLEffectParameter& p) {
    return isScalarOrVector(p) || p.kind == ParamKind::Matrix;
}

void writeFloat(GLEffectParameter& p, size_t word, float value) {
    switch (p.kind) {
    case ParamKind::Float:
    case ParamKind::Matrix:
        p.words[word] = std::bit_cast<uint32_t>(value);
        break;
    case ParamKind::Bool:
        p.words[word] = value != 0.0f ? 1u : 0u;
        break;
    case ParamKind::Int: {
        const float clamped =
            std::isnan(value) ? 0.0f : std::clamp(value, -2147483648.0f, 2147483520.0f);
        p.words[word] = std::bit_cast<uint32_t>(static_cast<int32_t>(clamped));
        break;
    }
    case ParamKind::UInt: {
        const float clamped = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 4294967040.0f);
        p.words[word] = static_cast<uint32_t>(clamped);
        break;
    }
    default:
        break;
    }
}

void writeInt(GLEffectParameter& p, size_t word, int32_t value) {
    switch (p.kind) {
    case ParamKind::Float:
    case ParamKind::Matrix:
        p.words[word] = std::bit_cast<uint32_t>(static_cast<float>(value));
        break;
    case ParamKind::Bool:
        p.words[word] = value != 0 ? 1u : 0u;
        break;
    case ParamKind::Int:
        p.words[word] = std::bit_cast<uint32_t>(value);
        break;
    case ParamKind::UInt:
        p.words[word] = value < 0 ? 0u : static_cast<uint32_t>(value);
        break;
    default:
        break;
    }
}

float readFloat(const GLEffectParameter& p, size_t word) {
    switch (p.kind) {
    case ParamKind::Float:
    case ParamKind::Matrix:
        return std::bit_cast<float>(p.words[word]);
    case ParamKind::Int:
        return static_cast<float>(std::bit_cast<int32_t>(p.words[word]));
    case ParamKind::UInt:
        return static_cast<float>(p.words[word]);
    case ParamKind::Bool:
        return p.words[word] != 0 ? 1.0f : 0.0f;
    default:
        return 0.0f;
    }
}

int32_t readInt(const GLEffectParameter& p, size_t word) {
    switch (p.kind) {
    case ParamKind::Float:
    case ParamKind::Matrix: {
        const float value = std::bit_cast<float>(p.words[word]);
        if (std::isnan(value)) return 0;
        return static_cast<int32_t>(std::clamp(value, -2147483648.0f, 2147483520.0f));
    }
    case ParamKind::Int:
        return std::bit_cast<int32_t>(p.words[word]);
    case ParamKind::UInt:
        return static_cast<int32_t>(std::min<uint32_t>(p.words[word], 0x7FFFFFFFu));
    case ParamKind::Bool:
        return p.words[word] != 0 ? 1 : 0;
    default:
        return 0;
    }
}

bool hasValue(const GLEffectParameter& p) {
    return !p.words.empty() && p.words.size() >= p.wordCount();
}
} // namespace

GLEffectParam::GLEffectParam(std::shared_ptr<GLEffectState> state, uint32_t index)
    : m_state(std::move(state)), m_index(index) {}

bool GLEffectParam::getMatrix(Matrix4& out) const {
    return getMatrixArray(&out, 1);
}

bool GLEffectParam::getVector(Vector4& out) const {
    return getVectorArray(&out, 1);
}

bool GLEffectParam::getFloat(float& out) const {
    const auto& p = parameter();
    if (!isScalarOrVector(p) || !hasValue(p)) return false;
    out = readFloat(p, 0);
    return true;
}

bool GLEffectParam::getInt(int32_t& out) const {
    const auto& p = parameter();
    if (!isScalarOrVector(p) || !hasValue(p)) return false;
    out = readInt(p, 0);
    return true;
}

bool GLEffectParam::getBool(bool& out) const {
    const auto& p = parameter();
    if (!isScalarOrVector(p) || !hasValue(p)) return false;
    out = p.words[0] != 0 && !(p.kind == ParamKind::Float && readFloat(p, 0) == 0.0f);
    return true;
}

bool GLEffectParam::bindTexture(std::shared_ptr<GLTexture> texture) {
    auto& p = parameter();
    if (p.kind != ParamKind::Sampler) return false;
    if (texture) {
        const GLenum target =
            texture->target() != GL_NONE ? texture->target() : glTextureTarget(texture->type());
        if (target != p.samplerTarget) return false;
    }
    p.texture = std::move(texture);
    return true;
}

bool GLEffectParam::setTexture(const std::shared_ptr<RenderTarget>& target) {
    if (!target) return bindTexture(nullptr);
    const auto renderTexture = std::dynamic_pointer_cast<GLRenderTexture>(target);
    if (!renderTexture) return false;
    return bindTexture(renderTexture->texture());
}

bool GLEffectParam::setTexture(const std::shared_ptr<Texture>& texture) {
    if (!texture) return bindTexture(nullptr);
    auto glTexture = std::dynamic_pointer_cast<GLTexture>(texture);
    if (!glTexture) return false;
    return bindTexture(std::move(glTexture));
}

bool GLEffectParam::setMatrix(const Matrix4& matrix) {
    return setMatrixArray(&matrix, 1);
}

bool GLEffectParam::setVector(const Vector4& vector) {
    return setVectorArray(&vector, 1);
}

bool GLEffectParam::setFloat(float value) {
    auto& p = parameter();
    if (!isScalarOrVector(p) || !hasValue(p)) return false;
    writeFloat(p, 0, value);
    p.version = nextParameterVersion();
    return true;
}

bool GLEffectParam::setInt(int32_t value) {
    auto& p = parameter();
    if (!isScalarOrVector(p) || !hasValue(p)) return false;
    writeInt(p, 0, value);
    p.version = nextParameterVersion();
    return true;
}

bool GLEffectParam::setBool(bool value) {
    return setInt(value ? 1 : 0);
}

bool GLEffectParam::getMatrixArray(Matrix4* out, uint32_t count) const {
    const auto& p = parameter();
    if (p.kind != ParamKind::Matrix || !hasValue(p) || (!out && count > 0)) return false;
    const uint32_t n = std::min(count, p.arraySize);
    for (uint32_t e = 0; e < n; ++e) {
        Matrix4 m = Matrix4::identity();
        const size_t base = static_cast<size_t>(e) * p.components();
        for (uint32_t r = 0; r < p.rows; ++r)
            for (uint32_t c = 0; c < p.columns; ++c)
                m(static_cast<int>(r), static_cast<int>(c)) =
                    readFloat(p, base + r * p.columns + c);
        out[e] = m;
    }
    return true;
}

bool GLEffectParam::getVectorArray(Vector4* out, uint32_t count) const {
    const auto& p = parameter();
    if (!isScalarOrVector(p) || !hasValue(p) || (!out && count > 0)) return false;
    const uint32_t n = std::min(count, p.arraySize);
    for (uint32_t e = 0; e < n; ++e) {
        float v[4] = {};
        const size_t base = static_cast<size_t>(e) * p.components();
        for (uint32_t c = 0; c < std::min(p.columns, 4u); ++c)
            v[c] = readFloat(p, base + c);
        out[e] = {v[0], v[1], v[2], v[3]};
    }
    return true;
}

bool GLEffectParam::getFloatArray(float* out, uint32_t count) const {
    const auto& p = parameter();
    if (!isNumeric(p) || !hasValue(p) || (!out && count > 0)) return false;
    const uint32_t n = std::min(count, p.wordCount());
    for (uint32_t i = 0; i < n; ++i)
        out[i] = readFloat(p, i);
    return true;
}

bool GLEffectParam::getIntArray(int32_t* out, uint32_t count) const {
    const auto& p = parameter();
    if (!isNumeric(p) || !hasValue(p) || (!out && count > 0)) return false;
    const uint32_t n = std::min(count, p.wordCount());
    for (uint32_t i = 0; i < n; ++i)
        out[i] = readInt(p, i);
    return true;
}

bool GLEffectParam::setMatrixArray(const Matrix4* matrices, uint32_t count) {
    auto& p = parameter();
    if (p.kind != ParamKind::Matrix || !hasValue(p) || (!matrices && count > 0)) return false;
    const uint32_t n = std::min(count, p.arraySize);
    for (uint32_t e = 0; e < n; ++e) {
        const size_t base = static_cast<size_t>(e) * p.components();
        for (uint32_t r = 0; r < p.rows; ++r)
            for (uint32_t c = 0; c < p.columns; ++c)
                writeFloat(p, base + r * p.columns + c,
                           matrices[e](static_cast<int>(r), static_cast<int>(c)));
    }
    p.version = nextParameterVersion();
    return true;
}

bool GLEffectParam::setVectorArray(const Vector4* vectors, uint32_t count) {
    auto& p = parameter();
    if (!isScalarOrVector(p) || !hasValue(p) || (!vectors && count > 0)) return false;
    const uint32_t n = std::min(count, p.arraySize);
    for (uint32_t e = 0; e < n; ++e) {
        const float v[4] = {vectors[e].x, vectors[e].y, vectors[e].z, vectors[e].w};
        const size_t base = static_cast<size_t>(e) * p.components();
        for (uint32_t c = 0; c < std::min(p.columns, 4u); ++c)
            writeFloat(p, base + c, v[c]);
    }
    p.version = nextParameterVersion();
    return true;
}

bool GLEffectParam::setFloatArray(const float* values, uint32_t count) {
    auto& p = parameter();
    if (!isNumeric(p) || !hasValue(p) || (!values && count > 0)) return false;
    const uint32_t n = std::min(count, p.wordCount());
    for (uint32_t i = 0; i < n; ++i)
        writeFloat(p, i, values[i]);
    p.version = nextParameterVersion();
    return true;
}

bool GLEffectParam::setIntArray(const int32_t* values, uint32_t count) {
    auto& p = parameter();
    if (!isNumeric(p) || !hasValue(p) || (!values && count > 0)) return false;
    const uint32_t n = std::min(count, p.wordCount());
    for (uint32_t i = 0; i < n; ++i)
        writeInt(p, i, values[i]);
    p.version = nextParameterVersion();
    return true;
}

} // namespace Vrenn
