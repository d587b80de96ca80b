#include "config/CVar.h"
#include "core/TextNumbers.h"
#include "config/Tokenizer.h"
#include "core/Log.h"
#include "fs/AtomicFile.h"
#include "fs/FileSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace Vrenn {

CVar CVar::fromText(std::string name, std::string text, uint32_t flags) {
    CVar var;
    var.name = std::move(name);
    var.floatValue = textToFloat(text);
    var.intValue = textToInt(text);
    var.stringValue = std::move(text);
    var.flags = flags;
    return var;
}

CVar CVar::fromInt(std::string name, int32_t value, uint32_t flags) {
    CVar var;
    var.name = std::move(name);
    var.floatValue = static_cast<float>(value);
    var.intValue = value;
    var.stringValue = std::to_string(value);
    var.flags = flags;
    return var;
}

CVarManager::~CVarManager() {
    m_vars.clear();
}

float CVarManager::GetFloat(const std::string& name) const {
    const auto it = m_vars.find(name);
    return it == m_vars.end() ? 0.0f : it->second.floatValue;
}

int32_t CVarManager::GetInt(const std::string& name) const {
    const auto it = m_vars.find(name);
    return it == m_vars.end() ? 0 : it->second.intValue;
}

std::string CVarManager::GetString(const std::string& name) const {
    const auto it = m_vars.find(name);
    return it == m_vars.end() ? std::string() : it->second.stringValue;
}

std::optional<int32_t> CVarManager::GetWholeInt(const std::string& name) const {
    const auto it = m_vars.find(name);
    int32_t value = 0;
    if (it == m_vars.end() || !textToWholeInt(it->second.stringValue, value)) return {};
    return value;
}

void CVarManager::SetInt(const std::string& name, int32_t value, uint32_t flags) {
    m_vars.insert_or_assign(name, CVar::fromInt(name, value, flags));
}

bool CVarManager::Add(CVar var) {
    std::string key = var.name;
    return m_vars.emplace(std::move(key), std::move(var)).second;
}

namespace {
void readPairs(Tokenizer& tokens, CVarManager& vars) {
    while (tokens.NextWord()) {
        std::string name = tokens.Token();
        if (!tokens.SkipTo("\"")) return; // no value anywhere after this name
        std::string value;
        if (tokens.ReadUntil("\"")) {
            value = tokens.Token();
            tokens.SkipTo("\"");
        }
        vars.Add(CVar::fromText(std::move(name), std::move(value)));
    }
}
} // namespace

bool CVarManager::LoadConfig(const std::string& fileName) {
    auto file = openDataFile(fileName); // logs the failure
    if (!file) return false;
    Tokenizer tokens;
    tokens.Load(std::move(file));
    readPairs(tokens, *this);
    return true;
}

void CVarManager::LoadConfigText(const std::string& text) {
    Tokenizer tokens;
    tokens.LoadText(text);
    readPairs(tokens, *this);
}

bool CVarManager::SaveConfig(const std::string& fileName) const {
    // A relative name is saved where LoadConfig reads it: in the file system's root,
    // whatever directory the last search left current.
    std::string path = fileName;
    if (auto* fileSystem = FileSystem::instance();
        fileSystem && std::filesystem::path(fileName).is_relative())
        path = (std::filesystem::path(fileSystem->rootDirectory()) / fileName).string();
    AtomicFile out(path);
    if (!out.isOpen()) {
        logMessage("Warning: Saving " + fileName +
                   " failed: cannot create the file: " + out.failure() + ".\n");
        return false;
    }
    std::string text;
    for (const auto& [name, var] : m_vars)
        text += name + " \"" + var.stringValue + "\"\n";
    const auto size = static_cast<uint32_t>(text.size());
    out.file()->write(text.data(), size);
    if (!out.commit()) {
        logMessage("Warning: Saving " + fileName + " failed: " + out.failure() + ".\n");
        return false;
    }
    return true;
}

} // namespace Vrenn
