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
// Parameter types: int, float, float4, float16, float4x4, texture; a parameter named
// again in a block keeps the later value. Effects and textures come from the managers
// given at construction (either may be absent).
class MaterialMgr : public RegistryOwner<Material> {
public:
    MaterialMgr(std::shared_ptr<ShaderMgr> shaders, std::shared_ptr<TextureManager> textures);
    ~MaterialMgr();

    // Adds the script's materials; a name already present keeps its first definition.
    // False, with one log line for each, when the script cannot be read (nothing is
    // added) or something in it cannot be used: an unknown parameter type, a block
    // without an fx line, an effect or a texture that cannot be loaded. What could be
    // read is added all the same. A block skipped for want of a usable fx line that is
    // never closed holds the rest of the script, which is skipped.
    bool loadScript(const std::string& fileName);
    // As loadScript, from text.
    bool loadScriptText(const std::string& text);

    // The material of that name; an unknown name gets a new empty material, stored
    // and returned again on the next call.
    std::shared_ptr<Material> getMaterial(const std::string& name);

private:
    // Each false when part of the text could not be used; source names the script in
    // the log lines.
    bool parse(Tokenizer& tokens, const std::string& source);
    bool parseBody(Tokenizer& tokens, Material& material, const std::string& source);
    bool parseParameter(Tokenizer& tokens, Material& material, const std::string& name,
                        const std::string& source);
    std::shared_ptr<Effect> effectFor(const std::string& fileName, const Material& material,
                                      const std::string& source);
    std::shared_ptr<Texture> textureFor(const std::string& fileName, const Material& material,
                                        const std::string& source);

    std::shared_ptr<ShaderMgr> m_shaders;
    std::shared_ptr<TextureManager> m_textures;
};

} // namespace Vrenn
