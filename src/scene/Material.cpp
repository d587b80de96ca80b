#include "scene/Material.h"

#include "render/Effect.h"
#include "render/RenderTarget.h"
#include "render/Renderer.h"

namespace Vrenn {

namespace {
constexpr std::array<const char*, 6> kStandardNames = {"worldMat", "viewMat",   "viewInverse",
                                                       "worldIT",  "worldView", "worldViewProj"};
} // namespace

Material::Material(std::string name) : NamedObject(std::move(name)) {}

Material::~Material() = default;

template <class F> void Material::forEachList(F&& f) {
    f(m_ints);
    f(m_bools);
    f(m_floats);
    f(m_vectors);
    f(m_matrices);
    f(m_textures);
    f(m_renderTextures);
    f(m_floatArrays);
}

template <class T>
void Material::assign(std::vector<Value<T>>& list, const std::string& name, T value) {
    // A value set again (every frame, say) is found in its own list and keeps its
    // parameter; only a new name, or one that changes type, is looked up.
    for (auto& entry : list) {
        if (entry.name == name) {
            entry.value = std::move(value);
            return;
        }
    }
    forEachList([&name](auto& other) {
        std::erase_if(other, [&name](const auto& entry) { return entry.name == name; });
    });
    list.push_back({name, std::move(value), param(name)});
}

void Material::setEffect(std::shared_ptr<Effect> effect) {
    m_effect = std::move(effect);
    m_bumpMap = m_effect && m_effect->getParameter("bumpmap") != nullptr;
    for (size_t i = 0; i < kStandardNames.size(); ++i)
        m_standard[i] = param(kStandardNames[i]);
    forEachList([this](auto& list) {
        for (auto& entry : list)
            entry.param = param(entry.name);
    });
}

std::shared_ptr<EffectParam> Material::param(const std::string& name) const {
    return m_effect ? m_effect->getParameter(name) : nullptr;
}

void Material::setInt(const std::string& name, int32_t value) {
    assign(m_ints, name, value);
}

void Material::setBool(const std::string& name, bool value) {
    assign(m_bools, name, value);
}

void Material::setFloat(const std::string& name, float value) {
    assign(m_floats, name, value);
}

void Material::setVector(const std::string& name, const Vector4& value) {
    assign(m_vectors, name, value);
}

void Material::setMatrix(const std::string& name, const Matrix4& value) {
    assign(m_matrices, name, value);
}

void Material::setTexture(const std::string& name, std::shared_ptr<Texture> texture) {
    assign(m_textures, name, std::move(texture));
}

void Material::setTexture(const std::string& name, std::shared_ptr<RenderTarget> target) {
    assign(m_renderTextures, name, std::move(target));
}

void Material::setFloatArray(const std::string& name, std::vector<float> values) {
    assign(m_floatArrays, name, std::move(values));
}

void Material::applyValues() const {
    if (!m_effect) return;
    if (!m_technique.empty()) m_effect->setTechnique(m_technique);
    for (const auto& v : m_ints)
        if (v.param) v.param->setInt(v.value);
    for (const auto& v : m_bools)
        if (v.param) v.param->setBool(v.value);
    for (const auto& v : m_floats)
        if (v.param) v.param->setFloat(v.value);
    for (const auto& v : m_vectors)
        if (v.param) v.param->setVector(v.value);
    for (const auto& v : m_matrices)
        if (v.param) v.param->setMatrix(v.value);
    for (const auto& v : m_textures)
        if (v.param) v.param->setTexture(v.value);
    for (const auto& v : m_renderTextures)
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
