#include "scene/MaterialMgr.h"

#include "core/TextNumbers.h"
#include "config/Tokenizer.h"
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

void MaterialMgr::loadScript(const std::string& fileName) {
    auto* fileSystem = FileSystem::instance();
    if (!fileSystem) return;
    auto file = fileSystem->open(fileName, SEARCH_ROOT, true);
    if (!file) return;
    Tokenizer tokens;
    tokens.Load(std::move(file));
    parse(tokens);
}

void MaterialMgr::loadScriptText(const std::string& text) {
    Tokenizer tokens;
    tokens.LoadText(text);
    parse(tokens);
}

std::shared_ptr<Material> MaterialMgr::getMaterial(const std::string& name) {
    if (auto material = m_registry.find(name)) return material;
    auto material = std::make_shared<Material>(name);
    m_registry.add(name, material);
    return material;
}

void MaterialMgr::parse(Tokenizer& tokens) {
    while (tokens.NextWord()) {
        const std::string name = tokens.Token();
        if (!tokens.SkipTo("{")) return;
        if (!tokens.NextWord()) return;
        if (tokens.Token() != "fx") {
            tokens.SkipTo("}");
            continue;
        }
        auto material = std::make_shared<Material>(name);
        parseBody(tokens, *material);
        m_registry.add(name, std::move(material)); // a repeated name keeps the first
    }
}

void MaterialMgr::parseBody(Tokenizer& tokens, Material& material) {
    auto effect = effectFor(restOfLine(tokens));
    if (!effect) {
        tokens.SkipTo("}");
        return;
    }
    material.setEffect(std::move(effect));
    while (tokens.NextWord()) {
        const std::string word = tokens.Token();
        if (word == "}") return;
        if (isQuotedWord(word))
            parseParameter(tokens, material, unquote(word));
        else if (word == "technique")
            material.setTechnique(unquote(restOfLine(tokens)));
        else
            tokens.SkipLine();
    }
}

void MaterialMgr::parseParameter(Tokenizer& tokens, Material& material, const std::string& name) {
    if (!tokens.NextToken()) return;
    const std::string type = tokens.Token();
    const std::string value = unquote(restOfLine(tokens));
    if (type == "int") {
        material.addInt(name, textToInt(value));
    } else if (type == "float") {
        material.addFloat(name, textToFloat(value));
    } else if (type == "float4") {
        const auto v = readNumbers(value, 4);
        material.addVector(name, {v[0], v[1], v[2], v[3]});
    } else if (type == "float16") {
        material.addFloatArray(name, readNumbers(value, 16));
    } else if (type == "float4x4") {
        const auto v = readNumbers(value, 16);
        Matrix4 matrix;
        std::copy(v.begin(), v.end(), matrix.m.begin());
        material.addMatrix(name, matrix);
    } else if (type == "texture") {
        material.addTexture(name, textureFor(value));
    }
}

std::shared_ptr<Effect> MaterialMgr::effectFor(const std::string& fileName) {
    if (!m_shaders || fileName.empty()) return nullptr;
    if (auto effect = m_shaders->find(fileName)) return effect;
    return m_shaders->loadEffect(fileName);
}

std::shared_ptr<Texture> MaterialMgr::textureFor(const std::string& fileName) {
    if (!m_textures || fileName.empty()) return nullptr;
    if (auto texture = m_textures->find(fileName)) return texture;
    return m_textures->loadTexture(fileName, 0);
}

} // namespace Vrenn
