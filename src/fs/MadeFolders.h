#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace Vrenn {

// Makes the folders a command writes into and takes them away again when the command fails:
// the folders it made (missing parents too) are removed on destruction, innermost first and
// only while empty, unless keep() was called after a successful write.
class MadeFolders {
public:
    MadeFolders() = default;
    MadeFolders(const MadeFolders&) = delete;
    MadeFolders& operator=(const MadeFolders&) = delete;
    ~MadeFolders();

    // Makes folder and its missing parents. False, with the system's reason in why, when one
    // cannot be made.
    bool make(const std::filesystem::path& folder, std::string& why);
    // The folders now hold what was written: they stay.
    void keep() { m_made.clear(); }

private:
    std::vector<std::filesystem::path> m_made; // outermost first
};

} // namespace Vrenn
