#pragma once

#include "core/Registry.h"
#include "scene/Material.h"

#include <memory>
#include <string>

namespace Vrenn {

class ShaderMgr;
class TextureManager;
class Tokenizer;

// Materials by name, read from material scripts (extension mtr). A script is a list
// of blocks:
//
//   name {
//       fx effects/file.fx
//       technique "main"
//       "diffuse" float4 "1 0 0 1"
//       "diffuseMap" texture "textures/wall.dds"
//   }
//
// Parameter types: int, float, float4, float16, float4x4, texture. Effects and
// textures come from the managers given at construction (either may be absent).
class MaterialMgr : public RegistryOwner<Material> {
public:
    MaterialMgr(std::shared_ptr<ShaderMgr> shaders, std::shared_ptr<TextureManager> textures);
    ~MaterialMgr();

    // Adds the script's materials; a name already present keeps its first definition.
    // A missing script adds nothing (the file system logs it).
    void loadScript(const std::string& fileName);
    // As loadScript, from text.
    void loadScriptText(const std::string& text);

    // The material of that name; an unknown name gets a new empty material, stored
    // and returned again on the next call.
    std::shared_ptr<Material> getMaterial(const std::string& name);

private:
    void parse(Tokenizer& tokens);
    void parseBody(Tokenizer& tokens, Material& material);
    void parseParameter(Tokenizer& tokens, Material& material, const std::string& name);
    std::shared_ptr<Effect> effectFor(const std::string& fileName);
    std::shared_ptr<Texture> textureFor(const std::string& fileName);

    std::shared_ptr<ShaderMgr> m_shaders;
    std::shared_ptr<TextureManager> m_textures;
};

} // namespace Vrenn
