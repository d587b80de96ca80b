#pragma once

#include <string>
#include <vector>

namespace Vrenn::Test {

// Absolute path of a file under tests/data.
std::string testDataPath(const std::string& relative);
// The whole file as bytes; fails the current test when it cannot be read.
std::string readBytes(const std::string& path);
// The lines of a text, without their line ends.
std::vector<std::string> lines(const std::string& text);

} // namespace Vrenn::Test
