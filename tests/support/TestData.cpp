#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
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

} // namespace Vrenn::Test
