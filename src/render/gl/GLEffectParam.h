#pragma once

#include "render/Effect.h"
#include "render/gl/GLEffectState.h"

#include <memory>

namespace Vrenn {

// One parameter of a GL effect. It writes the value the effect holds; programs take
// it up when a pass that reads it begins. Numbers convert between float, integer and
// boolean parameters as GLSL's constructors do; matrices go to matrix parameters only,
// vectors and scalars to the others, textures to samplers. A texture must suit the
// sampler: 2D textures (one-dimensional ones included) for sampler2D, cube maps for
// samplerCube, volumes for sampler3D.
class GLEffectParam : public EffectParam {
public:
    GLEffectParam(std::shared_ptr<GLEffectState> state, uint32_t index);

    bool getMatrix(Matrix4& out) const override;
    bool getVector(Vector4& out) const override;
    bool getFloat(float& out) const override;
    bool getInt(int32_t& out) const override;
    bool getBool(bool& out) const override;
    bool setTexture(const std::shared_ptr<RenderTarget>& target) override;
    bool setTexture(const std::shared_ptr<Texture>& texture) override;
    bool setMatrix(const Matrix4& matrix) override;
    bool setVector(const Vector4& vector) override;
    bool setFloat(float value) override;
    bool setInt(int32_t value) override;
    bool setBool(bool value) override;
    bool getMatrixArray(Matrix4* out, uint32_t count) const override;
    bool getVectorArray(Vector4* out, uint32_t count) const override;
    bool getFloatArray(float* out, uint32_t count) const override;
    bool getIntArray(int32_t* out, uint32_t count) const override;
    bool setMatrixArray(const Matrix4* matrices, uint32_t count) override;
    bool setVectorArray(const Vector4* vectors, uint32_t count) override;
    bool setFloatArray(const float* values, uint32_t count) override;
    bool setIntArray(const int32_t* values, uint32_t count) override;

    const GLEffectParameter& parameter() const { return m_state->parameters[m_index]; }

private:
    GLEffectParameter& parameter() { return m_state->parameters[m_index]; }
    bool bindTexture(std::shared_ptr<GLTexture> texture);

    std::shared_ptr<GLEffectState> m_state;
    uint32_t m_index;
};

} // namespace Vrenn
