#include "fs/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <pthread.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace Vrenn {

namespace {
std::string uniqueNameBeside(const std::string& target, const char* kind) {
    static std::atomic<unsigned> counter{0};
    return target + kind + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// The system's words for an error number; a failure the system gave no number for
// still gets a reason.
std::string reasonOf(int error, const char* otherwise) {
    return error != 0 ? std::generic_category().message(error) : std::string(otherwise);
}

bool exists(const std::string& name, bool* isFolder = nullptr) {
    struct stat info {};
    if (::lstat(name.c_str(), &info) != 0) return false;
    if (isFolder) *isFolder = S_ISDIR(info.st_mode);
    return true;
}
// Holds SIGINT and SIGTERM back while alive: a set of renames and its backups is finished (or
// put back) before a stop signal is seen, so a stop never leaves half a set or a backup.
class StopSignalsHeld {
public:
    StopSignalsHeld() {
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        m_held = pthread_sigmask(SIG_BLOCK, &stops, &m_previous) == 0;
    }
    ~StopSignalsHeld() {
        if (m_held) pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

private:
    sigset_t m_previous;
    bool m_held = false;
};

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
      m_temporary(uniqueNameBeside(m_destination, ".tmp")),
      m_file(std::make_shared<DiskFile>(m_temporary, DISK_CREATE)) {
    if (!m_file->isOpen()) {
        m_failure = reasonOf(m_file->error(), "the file cannot be created");
        m_committed = true; // nothing was made, nothing to clean up
    }
}

AtomicFile::~AtomicFile() {
    if (m_committed) return;
    m_file->close();
    std::remove(m_temporary.c_str());
}

bool AtomicFile::finishWriting() {
    if (m_committed) return false;
    bool writesOk = !m_file->failed();
    m_file->close();
    writesOk = writesOk && !m_file->closeFailed();
    if (writesOk) return true;
    m_failure = reasonOf(m_file->error(), "a write failed");
    std::remove(m_temporary.c_str());
    m_committed = true; // nothing left to clean up
    return false;
}

bool AtomicFile::renameOverTarget() {
    const bool renamed = std::rename(m_temporary.c_str(), m_destination.c_str()) == 0;
    if (!renamed) {
        m_failure = reasonOf(errno, "the file cannot be renamed");
        std::remove(m_temporary.c_str());
    }
    m_committed = true;
    return renamed;
}

std::string AtomicFile::writeFailure() const {
    const int error = m_file ? m_file->error() : 0;
    return error != 0 ? m_target + ": " + std::generic_category().message(error) : m_target;
}

bool AtomicFile::commit() {
    return finishWriting() && renameOverTarget();
}

bool AtomicFile::commitAll(const std::vector<AtomicFile*>& files, std::string& why) {
    const auto refuse = [&why](const AtomicFile& file) {
        why = file.m_target + ": " + file.m_failure;
        return false;
    };
    for (AtomicFile* file : files)
        if (!file->finishWriting()) return refuse(*file);
    const StopSignalsHeld held;
    // A folder in a file's place would refuse its rename; find it before anything is
    // replaced.
    for (AtomicFile* file : files) {
        bool isFolder = false;
        if (exists(file->m_destination, &isFolder) && isFolder) {
            file->m_failure = reasonOf(EISDIR, "");
            return refuse(*file);
        }
    }

    // Each target replaced keeps its previous file under a backup name until all are
    // replaced: a hard link where the file system has them (the target stays in place
    // meanwhile), otherwise the previous file renamed aside. An empty backup marks a
    // target that did not exist before.
    struct Replaced {
        AtomicFile* file;
        std::string backup;
    };
    std::vector<Replaced> replaced;
    const auto putBack = [&replaced] {
        for (auto it = replaced.rbegin(); it != replaced.rend(); ++it) {
            const std::string& target = it->file->m_destination;
            if (it->backup.empty())
                std::remove(target.c_str());
            else
                std::rename(it->backup.c_str(), target.c_str());
        }
    };
    for (AtomicFile* file : files) {
        const std::string& target = file->m_destination;
        std::string backup;
        bool movedAside = false;
        if (exists(target)) {
            backup = uniqueNameBeside(target, ".old");
            if (::link(target.c_str(), backup.c_str()) != 0) {
                if (std::rename(target.c_str(), backup.c_str()) != 0) {
                    file->m_failure = reasonOf(errno, "the previous file cannot be kept");
                    std::remove(file->m_temporary.c_str());
                    file->m_committed = true;
                    putBack();
                    return refuse(*file);
                }
                movedAside = true;
            }
        }
        if (!file->renameOverTarget()) {
            if (movedAside)
                std::rename(backup.c_str(), target.c_str());
            else if (!backup.empty())
                std::remove(backup.c_str());
            putBack();
            return refuse(*file);
        }
        replaced.push_back({file, backup});
    }
    for (const Replaced& done : replaced)
        if (!done.backup.empty()) std::remove(done.backup.c_str());
    return true;
}

} // namespace Vrenn
