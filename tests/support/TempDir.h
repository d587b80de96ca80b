#pragma once

#include <filesystem>
#include <string>

namespace Vrenn::Test {

// A fresh directory under the system's temporary folder, removed with everything in
// it on destruction. With enter set, it is also the current directory for its
// lifetime (the previous one is restored).
class TempDir {
public:
    explicit TempDir(bool enter = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

    // Writes bytes to a file inside the directory (folders created as needed).
    void write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;

private:
    std::filesystem::path m_path;
    std::filesystem::path m_previous;
};

} // namespace Vrenn::Test
