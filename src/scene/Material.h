#pragma once

#include "core/Matrix4.h"
#include "core/NamedObject.h"
#include "core/Vector4.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

class Effect;
class EffectParam;
class Renderer;
class Texture;

// An effect, a technique and typed parameter values pushed into the effect before
// drawing, plus the six standard transforms taken from the renderer.
class Material : public NamedObject {
public:
    template <class T> struct Value {
        T value;
        std::shared_ptr<EffectParam> param; // empty when the effect has no such parameter
    };

    explicit Material(std::string name);
    ~Material() override;

    // Stores the effect and looks up the standard transform parameters ("worldMat",
    // "viewMat", "viewInverse", "worldIT", "worldView", "worldViewProj") and whether
    // it has a "bumpmap" parameter.
    void setEffect(std::shared_ptr<Effect> effect);
    const std::shared_ptr<Effect>& effect() const { return m_effect; }
    bool hasBumpMap() const { return m_bumpMap; }

    void setTechnique(std::string name) { m_technique = std::move(name); }
    const std::string& technique() const { return m_technique; }

    // Each value is kept with the effect's parameter of that name (looked up now).
    void addInt(const std::string& param, int32_t value);
    void addFloat(const std::string& param, float value);
    void addVector(const std::string& param, const Vector4& value);
    void addMatrix(const std::string& param, const Matrix4& value);
    void addTexture(const std::string& param, std::shared_ptr<Texture> texture);
    void addFloatArray(const std::string& param, std::vector<float> values);

    // Selects the technique, pushes every value (ints, floats, vectors, matrices,
    // textures, float arrays; entries without a parameter are skipped), then the
    // standard transforms from the renderer's world, view and projection.
    void apply(const Renderer& renderer) const;

    const std::vector<Value<int32_t>>& ints() const { return m_ints; }
    const std::vector<Value<float>>& floats() const { return m_floats; }
    const std::vector<Value<Vector4>>& vectors() const { return m_vectors; }
    const std::vector<Value<Matrix4>>& matrices() const { return m_matrices; }
    const std::vector<Value<std::shared_ptr<Texture>>>& textures() const { return m_textures; }
    const std::vector<Value<std::vector<float>>>& floatArrays() const { return m_floatArrays; }

private:
    std::shared_ptr<EffectParam> param(const std::string& name) const;
    void applyValues() const;
    void applyTransforms(const Matrix4& world, const Matrix4& view,
                         const Matrix4& projection) const;

    std::shared_ptr<Effect> m_effect;
    std::string m_technique;
    std::vector<Value<int32_t>> m_ints;
    std::vector<Value<float>> m_floats;
    std::vector<Value<Vector4>> m_vectors;
    std::vector<Value<Matrix4>> m_matrices;
    std::vector<Value<std::shared_ptr<Texture>>> m_textures;
    std::vector<Value<std::vector<float>>> m_floatArrays;
    // worldMat, viewMat, viewInverse, worldIT, worldView, worldViewProj.
    std::array<std::shared_ptr<EffectParam>, 6> m_standard;
    bool m_bumpMap = false;
};

} // namespace Vrenn
