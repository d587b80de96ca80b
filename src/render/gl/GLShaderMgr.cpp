#include "render/gl/GLShaderMgr.h"

#include "core/Log.h"
#include "fs/FileSystem.h"
#include "render/gl/GLEffect.h"
#include "render/gl/GLEffectCompiler.h"
#include "render/gl/GLEffectSource.h"

namespace Vrenn {

namespace {
constexpr const char* kMemoryName = "<memory>";

void logCompileError(const std::string& text) {
    logFormat("GL FX Compile Error: %s\n", text.c_str());
}

bool readWhole(const std::string& fileName, std::string& text) {
    const auto file = openDataFile(fileName, false);
    if (!file) return false;
    const uint32_t size = file->size();
    text.resize(size);
    file->rewind();
    return file->read(text.data(), size) == size;
}
} // namespace

GLShaderMgr::~GLShaderMgr() = default;

std::shared_ptr<GLEffect> GLShaderMgr::build(const std::string& text, const std::string& fileName) {
    const auto context = m_context.live();
    if (!context) {
        logCompileError(fileName + ": no GL device to compile for");
        return nullptr;
    }
    EffectSource source;
    EffectSourceError parseError;
    if (!parseEffectSource(text, source, parseError)) {
        logCompileError(fileName + ":" + std::to_string(parseError.line) + ": " +
                        parseError.message);
        return nullptr;
    }
    auto state = std::make_shared<GLEffectState>();
    std::string error;
    if (!compileEffect(*context, source, fileName, *state, error)) {
        logCompileError(error);
        return nullptr;
    }
    return std::make_shared<GLEffect>(fileName, std::move(state));
}

std::shared_ptr<Effect> GLShaderMgr::loadEffect(const std::string& fileName) {
    std::string text;
    if (!readWhole(fileName, text)) {
        logCompileError(fileName + ": the file cannot be read");
        return nullptr;
    }
    auto effect = build(text, fileName);
    if (!effect) return nullptr;
    // No look-up before compiling: loading a file twice compiles it twice, and the
    // registry keeps the first effect under the name.
    m_registry.add(fileName, effect);
    return effect;
}

std::shared_ptr<Effect> GLShaderMgr::createEffect(const std::string& sourceText) {
    auto effect = build(sourceText, kMemoryName);
    if (!effect) return nullptr;
    const std::string name = m_registry.generateName();
    effect->setName(name);
    m_registry.add(name, effect);
    return effect;
}

} // namespace Vrenn
