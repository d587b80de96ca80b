#include "fs/AtomicFile.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace Vrenn {

namespace {
std::string temporaryNameFor(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return target + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}
// The file that target's symbolic links lead to (target itself when it is no link).
// Renaming over a link would replace the link with a plain file.
std::string followLinks(const std::string& target) {
    namespace stdfs = std::filesystem;
    stdfs::path path(target);
    // A loop of links is left to the rename, which then replaces the last link read.
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!stdfs::is_symlink(stdfs::symlink_status(path, error)) || error) break;
        const stdfs::path next = stdfs::read_symlink(path, error);
        if (error) break;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path.string();
}
} // namespace

AtomicFile::AtomicFile(std::string targetName)
    : m_target(std::move(targetName)), m_destination(followLinks(m_target)),
      m_temporary(temporaryNameFor(m_destination)),
      m_file(std::make_shared<DiskFile>(m_temporary, DISK_CREATE)) {}

AtomicFile::~AtomicFile() {
    if (m_committed) return;
    const bool created = m_file->isOpen();
    m_file->close();
    if (created) std::remove(m_temporary.c_str());
}

bool AtomicFile::commit() {
    if (m_committed || !m_file->isOpen()) return false;
    bool writesOk = !m_file->failed();
    m_file->close();
    writesOk = writesOk && !m_file->closeFailed();
    if (!writesOk || std::rename(m_temporary.c_str(), m_destination.c_str()) != 0) {
        std::remove(m_temporary.c_str());
        m_committed = true; // nothing left to clean up
        return false;
    }
    m_committed = true;
    return true;
}

} // namespace Vrenn
