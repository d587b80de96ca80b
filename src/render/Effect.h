#pragma once

#include "core/Matrix4.h"
#include "core/Vector4.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Vrenn {

class RenderTarget;
class Texture;

// One parameter of an effect, reached by name. Values are held by the effect and stay
// set until changed, across begin/end and passes. Every operation returns false when
// the parameter cannot hold or give that kind of value. Matrices go in and come out
// in the engine's order (row by row, column vectors); shaders read them as M * v.
class EffectParam {
public:
    virtual ~EffectParam() = default;
    EffectParam(const EffectParam&) = delete;
    EffectParam& operator=(const EffectParam&) = delete;

    virtual bool getMatrix(Matrix4& out) const = 0;
    virtual bool getVector(Vector4& out) const = 0;
    virtual bool getFloat(float& out) const = 0;
    virtual bool getInt(int32_t& out) const = 0;
    // True in out for any non-zero value.
    virtual bool getBool(bool& out) const = 0;
    // Samples the render texture's colour (an empty pointer unbinds).
    virtual bool setTexture(const std::shared_ptr<RenderTarget>& target) = 0;
    virtual bool setTexture(const std::shared_ptr<Texture>& texture) = 0;
    virtual bool setMatrix(const Matrix4& matrix) = 0;
    // Sets as many components as the parameter has (up to four).
    virtual bool setVector(const Vector4& vector) = 0;
    virtual bool setFloat(float value) = 0;
    virtual bool setInt(int32_t value) = 0;
    virtual bool setBool(bool value) = 0;
    // Array forms: element by element from the first; a count beyond the parameter's
    // size is cut to it. Float and int arrays run over every component in order.
    virtual bool getMatrixArray(Matrix4* out, uint32_t count) const = 0;
    virtual bool getVectorArray(Vector4* out, uint32_t count) const = 0;
    virtual bool getFloatArray(float* out, uint32_t count) const = 0;
    virtual bool getIntArray(int32_t* out, uint32_t count) const = 0;
    virtual bool setMatrixArray(const Matrix4* matrices, uint32_t count) = 0;
    virtual bool setVectorArray(const Vector4* vectors, uint32_t count) = 0;
    virtual bool setFloatArray(const float* values, uint32_t count) = 0;
    virtual bool setIntArray(const int32_t* values, uint32_t count) = 0;

protected:
    EffectParam() = default;
};

// A compiled effect: techniques made of passes, and parameters. Drawing with it:
// setTechnique, begin (gives the pass count), then beginPass(i) / draw / endPass for
// each pass, and end.
class Effect {
public:
    explicit Effect(std::string name) : m_name(std::move(name)) {}
    virtual ~Effect() = default;
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    virtual bool begin(uint32_t* passCount) = 0;
    virtual bool end() = 0;
    // A copy with its own parameter values.
    virtual std::shared_ptr<Effect> clone() const = 0;
    virtual bool getDesc(uint32_t* parameters, uint32_t* techniques, uint32_t* functions) const = 0;
    // Empty when the effect has no such parameter.
    virtual std::shared_ptr<EffectParam> getParameter(const std::string& name) = 0;
    virtual std::shared_ptr<EffectParam> getParameterBySemantic(const std::string& semantic) = 0;
    // Makes a technique current when it is valid; otherwise the previous one stays.
    virtual bool setTechnique(uint32_t index) = 0;
    virtual bool setTechnique(const std::string& name) = 0;
    virtual bool beginPass(uint32_t index) = 0;
    virtual bool endPass() = 0;

    const std::string& name() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }
    // Passes of the current technique, as the last begin() reported them.
    uint32_t passCount() const { return m_passCount; }

protected:
    std::string m_name;
    uint32_t m_passCount = 0;
};

} // namespace Vrenn
