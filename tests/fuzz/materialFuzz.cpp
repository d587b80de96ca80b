// Reads arbitrary text as a material script. Effects and textures come from stand-ins
// that make no device objects: a name of odd length fails to load, so both outcomes
// are reached. Loading the same text again adds nothing, since a name keeps its first
// material.
#include "render/Effect.h"
#include "render/ShaderMgr.h"
#include "render/TextureManager.h"
#include "scene/MaterialMgr.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {
using namespace Vrenn;

class StubEffect : public Effect {
public:
    using Effect::Effect;
    bool begin(uint32_t*) override { return false; }
    bool end() override { return false; }
    std::shared_ptr<Effect> clone() const override { return nullptr; }
    bool getDesc(uint32_t*, uint32_t*, uint32_t*) const override { return false; }
    std::shared_ptr<EffectParam> getParameter(const std::string&) override { return nullptr; }
    std::shared_ptr<EffectParam> getParameterBySemantic(const std::string&) override {
        return nullptr;
    }
    bool setTechnique(uint32_t) override { return false; }
    bool setTechnique(const std::string&) override { return false; }
    bool beginPass(uint32_t) override { return false; }
    bool endPass() override { return false; }
};

class StubShaders : public ShaderMgr {
public:
    std::shared_ptr<Effect> loadEffect(const std::string& fileName) override {
        if (fileName.size() % 2 == 1) return nullptr;
        auto effect = std::make_shared<StubEffect>(fileName);
        m_registry.add(fileName, effect);
        return effect;
    }
    std::shared_ptr<Effect> createEffect(const std::string&) override { return nullptr; }
};

class StubTexture : public Texture {
public:
    explicit StubTexture(const std::string& name) : Texture(name, TEXTURE_2D, 1, 1, 1, 0) {}
    void release() override {}
};

class StubTextures : public TextureManager {
public:
    std::shared_ptr<Texture> createTexture(const std::string&,
                                           const std::shared_ptr<Image>&) override {
        return nullptr;
    }
    std::shared_ptr<Texture> loadTexture(const std::string& fileName, int32_t) override {
        if (fileName.size() % 2 == 1) return nullptr;
        auto texture = std::make_shared<StubTexture>(fileName);
        m_registry.add(fileName, texture);
        return texture;
    }
    bool upload(const std::shared_ptr<Texture>&) override { return false; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    MaterialMgr materials(std::make_shared<StubShaders>(), std::make_shared<StubTextures>());
    materials.loadScriptText(text);
    const size_t count = materials.entries().size();
    for (const auto& [name, material] : materials.entries())
        if (!material || material->getName() != name) __builtin_trap();
    materials.loadScriptText(text);
    if (materials.entries().size() != count) __builtin_trap();
    return 0;
}
