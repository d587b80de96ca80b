#include "scene/MaterialMgr.h"

#include "config/Tokenizer.h"
#include "core/Log.h"
#include "core/TextNumbers.h"
#include "fs/FileSystem.h"
#include "render/ShaderMgr.h"
#include "render/TextureManager.h"

#include <cstdlib>

namespace Vrenn {

namespace {
// The rest of the current line, from its first non-blank byte, without trailing
// blanks (so a value's closing quote is its last character).
std::string restOfLine(Tokenizer& tokens) {
    tokens.SkipLine();
    std::string text = tokens.Token();
    while (!text.empty() && static_cast<signed char>(text.back()) <= 32)
        text.pop_back();
    return text;
}

// text without its first and last character (a quoted value's quotes).
std::string unquote(const std::string& text) {
    return text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string();
}

// Skips the rest of a block up to its closing brace. A block that is never closed holds
// the rest of the script, which is given up with a log line: searching on from inside it
// would read the rest once more for every block it holds.
void skipBlock(Tokenizer& tokens, const std::string& source, const std::string& material) {
    if (tokens.SkipTo("}")) return;
    logFormat("MaterialMgr: %s: block %s is not closed with }; the rest of the script is "
              "skipped\n",
              source.c_str(), material.c_str());
    tokens.SkipToEnd();
}

bool isQuotedWord(const std::string& word) {
    return word.size() >= 2 && word.front() == '"' && word.back() == '"';
}

// Up to count numbers from text, as strtof reads them one after another; numbers
// that are missing read as 0.
std::vector<float> readNumbers(const std::string& text, size_t count) {
    std::vector<float> values(count, 0.0f);
    const char* cursor = text.c_str();
    for (size_t i = 0; i < count; ++i) {
        char* end = nullptr;
        const float value = std::strtof(cursor, &end);
        if (end == cursor) break;
        values[i] = value;
        cursor = end;
    }
    return values;
}
} // namespace

MaterialMgr::MaterialMgr(std::shared_ptr<ShaderMgr> shaders,
                         std::shared_ptr<TextureManager> textures)
    : m_shaders(std::move(shaders)), m_textures(std::move(textures)) {}

MaterialMgr::~MaterialMgr() = default;

bool MaterialMgr::loadScript(const std::string& fileName) {
    auto file = openDataFile(fileName); // logs the failure
    if (!file) return false;
    Tokenizer tokens;
    tokens.Load(std::move(file));
    return parse(tokens, fileName);
}

bool MaterialMgr::loadScriptText(const std::string& text) {
    Tokenizer tokens;
    tokens.LoadText(text);
    return parse(tokens, "<text>");
}

std::shared_ptr<Material> MaterialMgr::getMaterial(const std::string& name) {
    if (auto material = m_registry.find(name)) return material;
    auto material = std::make_shared<Material>(name);
    m_registry.add(name, material);
    return material;
}

bool MaterialMgr::parse(Tokenizer& tokens, const std::string& source) {
    bool whole = true;
    while (tokens.NextWord()) {
        const std::string name = tokens.Token();
        if (!tokens.SkipTo("{") || !tokens.NextWord()) {
            logFormat("MaterialMgr: %s: material %s has no body\n", source.c_str(), name.c_str());
            return false;
        }
        if (tokens.Token() != "fx") {
            logFormat("MaterialMgr: %s: block %s does not start with fx; skipped\n", source.c_str(),
                      name.c_str());
            skipBlock(tokens, source, name);
            whole = false;
            continue;
        }
        auto material = std::make_shared<Material>(name);
        if (!parseBody(tokens, *material, source)) whole = false;
        m_registry.add(name, std::move(material)); // a repeated name keeps the first
    }
    return whole;
}

bool MaterialMgr::parseBody(Tokenizer& tokens, Material& material, const std::string& source) {
    auto effect = effectFor(restOfLine(tokens), material, source);
    if (!effect) {
        skipBlock(tokens, source, material.getName());
        return false;
    }
    material.setEffect(std::move(effect));
    bool whole = true;
    while (tokens.NextWord()) {
        const std::string word = tokens.Token();
        if (word == "}") break;
        if (isQuotedWord(word)) {
            if (!parseParameter(tokens, material, unquote(word), source)) whole = false;
        } else if (word == "technique") {
            material.setTechnique(unquote(restOfLine(tokens)));
        } else {
            tokens.SkipLine();
        }
    }
    return whole;
}

bool MaterialMgr::parseParameter(Tokenizer& tokens, Material& material, const std::string& name,
                                 const std::string& source) {
    if (!tokens.NextToken()) return false;
    const std::string type = tokens.Token();
    const std::string value = unquote(restOfLine(tokens));
    if (type == "int") {
        material.setInt(name, textToInt(value));
    } else if (type == "float") {
        material.setFloat(name, textToFloat(value));
    } else if (type == "float4") {
        const auto v = readNumbers(value, 4);
        material.setVector(name, {v[0], v[1], v[2], v[3]});
    } else if (type == "float16") {
        material.setFloatArray(name, readNumbers(value, 16));
    } else if (type == "float4x4") {
        const auto v = readNumbers(value, 16);
        Matrix4 matrix;
        std::copy(v.begin(), v.end(), matrix.m.begin());
        material.setMatrix(name, matrix);
    } else if (type == "texture") {
        auto texture = textureFor(value, material, source);
        const bool loaded = texture != nullptr;
        material.setTexture(name, std::move(texture));
        return loaded;
    } else {
        logFormat("MaterialMgr: %s: material %s: parameter \"%s\" has the unknown type %s\n",
                  source.c_str(), material.getName().c_str(), name.c_str(), type.c_str());
        return false;
    }
    return true;
}

std::shared_ptr<Effect> MaterialMgr::effectFor(const std::string& fileName,
                                               const Material& material,
                                               const std::string& source) {
    if (!m_shaders || fileName.empty()) {
        logFormat("MaterialMgr: %s: material %s: %s\n", source.c_str(), material.getName().c_str(),
                  fileName.empty() ? "no effect file named" : "no shader manager to load effects");
        return nullptr;
    }
    if (auto effect = m_shaders->find(fileName)) return effect;
    return m_shaders->loadEffect(fileName); // logs its failure
}

std::shared_ptr<Texture> MaterialMgr::textureFor(const std::string& fileName,
                                                 const Material& material,
                                                 const std::string& source) {
    if (!m_textures || fileName.empty()) {
        logFormat("MaterialMgr: %s: material %s: %s\n", source.c_str(), material.getName().c_str(),
                  fileName.empty() ? "no texture file named"
                                   : "no texture manager to load textures");
        return nullptr;
    }
    if (auto texture = m_textures->find(fileName)) return texture;
    return m_textures->loadTexture(fileName, 0); // logs its failure
}

} // namespace Vrenn
