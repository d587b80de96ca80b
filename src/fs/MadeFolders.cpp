#include "fs/MadeFolders.h"

#include <system_error>

namespace Vrenn {

namespace stdfs = std::filesystem;

MadeFolders::~MadeFolders() {
    std::error_code error;
    for (auto it = m_made.rbegin(); it != m_made.rend(); ++it)
        stdfs::remove(*it, error); // removes nothing but an empty folder
}

bool MadeFolders::make(const stdfs::path& folder, std::string& why) {
    std::vector<stdfs::path> missing;
    std::error_code error;
    for (stdfs::path at = folder; !at.empty() && !stdfs::exists(at, error); at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!stdfs::create_directory(*it, error) && error) {
            why = it->string() + ": " + error.message();
            return false;
        }
        m_made.push_back(*it);
    }
    if (!stdfs::is_directory(folder, error)) {
        why = folder.string() + ": " + (error ? error.message() : "is not a folder");
        return false;
    }
    return true;
}

} // namespace Vrenn
