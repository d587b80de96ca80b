#include "fs/AtomicFile.h"

#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace Vrenn {

namespace {
std::string temporaryNameFor(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return target + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}
} // namespace

AtomicFile::AtomicFile(std::string targetName)
    : m_target(std::move(targetName)), m_temporary(temporaryNameFor(m_target)),
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
    if (!writesOk || std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        std::remove(m_temporary.c_str());
        m_committed = true; // nothing left to clean up
        return false;
    }
    m_committed = true;
    return true;
}

} // namespace Vrenn
