#include "support/TempDir.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace Vrenn::Test {

TempDir::TempDir(bool enter) {
    static std::atomic<unsigned> counter{0};
    const auto base = std::filesystem::temp_directory_path();
    m_path = base / ("vrenn_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
    m_path = std::filesystem::canonical(m_path);
    if (enter) {
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_path);
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!m_previous.empty()) std::filesystem::current_path(m_previous, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
    const auto target = m_path / name;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + target.string());
}

std::string TempDir::read(const std::string& name) const {
    std::ifstream in(m_path / name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

} // namespace Vrenn::Test
