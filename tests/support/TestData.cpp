#include "support/TestData.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace Vrenn::Test {

std::string testDataPath(const std::string& relative) {
    const char* root = std::getenv("VRENN_TEST_DATA");
    return std::string(root ? root : VRENN_TEST_DATA_DIR) + "/" + relative;
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot open " << path;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

} // namespace Vrenn::Test
