#pragma once

#include "support/TestData.h"

#include <map>
#include <string>

namespace Vrenn::Test {

// The text of a fixture under tests/data (an effect, a script), read once per program.
inline const std::string& fixture(const std::string& relative) {
    static std::map<std::string, std::string> texts;
    auto found = texts.find(relative);
    if (found == texts.end())
        found = texts.emplace(relative, readBytes(testDataPath(relative))).first;
    return found->second;
}

} // namespace Vrenn::Test
