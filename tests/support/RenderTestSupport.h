#pragma once

#include "render/gl/GLRenderTexture.h"
#include "render/gl/GLTexture.h"
#include "support/GLTestContext.h"
#include "support/TestData.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn::Test {

// The text of a fixture under tests/data (an effect, a script), read once per program.
inline const std::string& fixture(const std::string& relative) {
    static std::map<std::string, std::string> texts;
    auto found = texts.find(relative);
    if (found == texts.end())
        found = texts.emplace(relative, readBytes(testDataPath(relative))).first;
    return found->second;
}

// The texels of a render texture's level (or cube face) as RGBA floats, top row first; empty
// when the target is not a texture.
inline std::vector<float> readTarget(const std::shared_ptr<RenderTarget>& target, int32_t level = 0,
                                     int32_t face = -1) {
    const auto texture = std::dynamic_pointer_cast<GLRenderTexture>(target);
    if (!texture) return {};
    return readTextureRGBA(texture->texture()->id(), level, std::max(1, target->width() >> level),
                           std::max(1, target->height() >> level), face);
}

} // namespace Vrenn::Test
