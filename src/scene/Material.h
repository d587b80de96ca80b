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
class RenderTarget;
class Renderer;
class Texture;

// An effect, a technique and typed parameter values pushed into the effect before
// drawing, plus the six standard transforms taken from the renderer.
//
// Materials that name the same effect file share one effect object, so a value set
// straight on the effect reaches every one of them; a value that differs between
// materials is set on the material, which pushes it into the effect at each apply.
class Material : public NamedObject {
public:
    template <class T> struct Value {
        std::string name;
        T value;
        std::shared_ptr<EffectParam> param; // empty when the effect has no such parameter
    };

    explicit Material(std::string name);
    ~Material() override;

    // Stores the effect and looks up the standard transform parameters ("worldMat",
    // "viewMat", "viewInverse", "worldIT", "worldView", "worldViewProj") and whether
    // it has a "bumpmap" parameter. Values already held go to the new effect's
    // parameters of their names.
    void setEffect(std::shared_ptr<Effect> effect);
    const std::shared_ptr<Effect>& effect() const { return m_effect; }
    bool hasBumpMap() const { return m_bumpMap; }

    void setTechnique(std::string name) { m_technique = std::move(name); }
    const std::string& technique() const { return m_technique; }

    // Each value is kept with the effect's parameter of that name (looked up when the
    // name is first set). A name holds one value: setting it again replaces the value,
    // whatever type it had, so values set every frame do not pile up.
    void setInt(const std::string& param, int32_t value);
    void setBool(const std::string& param, bool value);
    void setFloat(const std::string& param, float value);
    void setVector(const std::string& param, const Vector4& value);
    void setMatrix(const std::string& param, const Matrix4& value);
    void setTexture(const std::string& param, std::shared_ptr<Texture> texture);
    // A render texture, sampled at its colour as it is when the material is applied.
    void setTexture(const std::string& param, std::shared_ptr<RenderTarget> target);
    void setFloatArray(const std::string& param, std::vector<float> values);

    // Selects the technique, pushes every value (ints, bools, floats, vectors,
    // matrices, textures, render textures, float arrays; entries without a parameter
    // are skipped), then the standard transforms from the renderer's world, view and
    // projection.
    void apply(const Renderer& renderer) const;

    const std::vector<Value<int32_t>>& ints() const { return m_ints; }
    const std::vector<Value<bool>>& bools() const { return m_bools; }
    const std::vector<Value<float>>& floats() const { return m_floats; }
    const std::vector<Value<Vector4>>& vectors() const { return m_vectors; }
    const std::vector<Value<Matrix4>>& matrices() const { return m_matrices; }
    const std::vector<Value<std::shared_ptr<Texture>>>& textures() const { return m_textures; }
    const std::vector<Value<std::shared_ptr<RenderTarget>>>& renderTextures() const {
        return m_renderTextures;
    }
    const std::vector<Value<std::vector<float>>>& floatArrays() const { return m_floatArrays; }

private:
    std::shared_ptr<EffectParam> param(const std::string& name) const;
    // Replaces the value of name in list, or drops name from every list and appends it
    // to this one.
    template <class T> void assign(std::vector<Value<T>>& list, const std::string& name, T value);
    // Calls f with each value list.
    template <class F> void forEachList(F&& f);
    void applyValues() const;
    void applyTransforms(const Matrix4& world, const Matrix4& view,
                         const Matrix4& projection) const;

    std::shared_ptr<Effect> m_effect;
    std::string m_technique;
    std::vector<Value<int32_t>> m_ints;
    std::vector<Value<bool>> m_bools;
    std::vector<Value<float>> m_floats;
    std::vector<Value<Vector4>> m_vectors;
    std::vector<Value<Matrix4>> m_matrices;
    std::vector<Value<std::shared_ptr<Texture>>> m_textures;
    std::vector<Value<std::shared_ptr<RenderTarget>>> m_renderTextures;
    std::vector<Value<std::vector<float>>> m_floatArrays;
    // worldMat, viewMat, viewInverse, worldIT, worldView, worldViewProj.
    std::array<std::shared_ptr<EffectParam>, 6> m_standard;
    bool m_bumpMap = false;
};

} // namespace Vrenn
