#include "scene/Material.h"

#include "render/Effect.h"
#include "render/Renderer.h"

namespace Vrenn {

namespace {
constexpr std::array<const char*, 6> kStandardNames = {"worldMat", "viewMat",   "viewInverse",
                                                       "worldIT",  "worldView", "worldViewProj"};
} // namespace

Material::Material(std::string name) : NamedObject(std::move(name)) {}

Material::~Material() = default;

void Material::setEffect(std::shared_ptr<Effect> effect) {
    m_effect = std::move(effect);
    m_bumpMap = m_effect && m_effect->getParameter("bumpmap") != nullptr;
    for (size_t i = 0; i < kStandardNames.size(); ++i)
        m_standard[i] = param(kStandardNames[i]);
}

std::shared_ptr<EffectParam> Material::param(const std::string& name) const {
    return m_effect ? m_effect->getParameter(name) : nullptr;
}

void Material::addInt(const std::string& name, int32_t value) {
    m_ints.push_back({value, param(name)});
}

void Material::addFloat(const std::string& name, float value) {
    m_floats.push_back({value, param(name)});
}

void Material::addVector(const std::string& name, const Vector4& value) {
    m_vectors.push_back({value, param(name)});
}

void Material::addMatrix(const std::string& name, const Matrix4& value) {
    m_matrices.push_back({value, param(name)});
}

void Material::addTexture(const std::string& name, std::shared_ptr<Texture> texture) {
    m_textures.push_back({std::move(texture), param(name)});
}

void Material::addFloatArray(const std::string& name, std::vector<float> values) {
    m_floatArrays.push_back({std::move(values), param(name)});
}

void Material::applyValues() const {
    if (!m_effect) return;
    if (!m_technique.empty()) m_effect->setTechnique(m_technique);
    for (const auto& v : m_ints)
        if (v.param) v.param->setInt(v.value);
    for (const auto& v : m_floats)
        if (v.param) v.param->setFloat(v.value);
    for (const auto& v : m_vectors)
        if (v.param) v.param->setVector(v.value);
    for (const auto& v : m_matrices)
        if (v.param) v.param->setMatrix(v.value);
    for (const auto& v : m_textures)
        if (v.param) v.param->setTexture(v.value);
    for (const auto& v : m_floatArrays)
        if (v.param) v.param->setFloatArray(v.value.data(), static_cast<uint32_t>(v.value.size()));
}

void Material::applyTransforms(const Matrix4& world, const Matrix4& view,
                               const Matrix4& projection) const {
    const auto set = [this](size_t i, const auto& compute) {
        if (m_standard[i]) m_standard[i]->setMatrix(compute());
    };
    // "W then V" is V * W with column vectors.
    set(0, [&] { return world; });
    set(1, [&] { return view; });
    set(2, [&] { return view.inverse(); });
    set(3, [&] { return world.inverse().transposed(); });
    set(4, [&] { return view * world; });
    set(5, [&] { return projection * view * world; });
}

void Material::apply(const Renderer& renderer) const {
    applyValues();
    applyTransforms(renderer.world(), renderer.view(), renderer.projection());
}

} // namespace Vrenn
