// Parses arbitrary text as an effect file (the text only; nothing is compiled). A
// failure names a line of the text; a success holds techniques of passes whose
// shaders the file defines.
#include "render/gl/GLEffectSource.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace Vrenn;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int lines = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    const auto isLine = [&](int line) { return line >= 1 && line <= lines; };
    EffectSource source;
    EffectSourceError error;
    if (!parseEffectSource(text, source, error)) {
        if (!isLine(error.line) || error.message.empty()) __builtin_trap();
        return 0;
    }
    if (source.techniques.empty()) __builtin_trap();
    for (const auto& technique : source.techniques) {
        if (technique.passes.empty() || !isLine(technique.line)) __builtin_trap();
        for (const auto& pass : technique.passes)
            if (!source.vertexShader(pass.vertex) || !source.fragmentShader(pass.fragment))
                __builtin_trap();
    }
    for (const auto* blocks : {&source.shared, &source.vertexShaders, &source.fragmentShaders})
        for (const auto& block : *blocks)
            if (!isLine(block.line) || text.find(block.code) == std::string::npos) __builtin_trap();
    return 0;
}
