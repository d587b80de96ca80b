#pragma once

#include <string>

namespace Vrenn::Test {

// Absolute path of a file under tests/data.
std::string testDataPath(const std::string& relative);
// The whole file as bytes; fails the current test when it cannot be read.
std::string readBytes(const std::string& path);

} // namespace Vrenn::Test
