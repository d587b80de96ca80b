#include "fs/FileSystem.h"

#include "core/Log.h"
#include "fs/DiskFile.h"
#include "fs/ZipFile.h"

#include <filesystem>
#include <system_error>

namespace Vrenn {

namespace {
// Failures to change directory are deliberately not fatal: the open then happens in
// whatever directory is current and simply fails if the name is not there.
void enterDirectory(const std::string& directory) {
    std::error_code ignored;
    std::filesystem::current_path(directory, ignored);
}
} // namespace

FileSystem::FileSystem() {
    std::error_code error;
    const auto current = std::filesystem::current_path(error);
    m_root = error ? std::string(".") : current.string();
    m_directories.push_back(m_root);
}

FileSystem::~FileSystem() {
    m_directories.clear();
    m_archives.clear();
    m_root.clear();
    m_baseDirectory.clear();
    m_baseArchive.clear();
}

void FileSystem::enterRoot() const {
    enterDirectory(m_root);
}

std::shared_ptr<File> FileSystem::open(const std::string& name, uint32_t flags, bool verbose) {
    if (verbose) logMessage("--- Loading " + name + "\n");

    if (auto file = openFromDisk(name, flags)) return file;
    if (auto file = openFromArchives(name, flags)) return file;

    if (verbose) logMessage("Warning: Loading " + name + " failed.\n");
    return {};
}

std::shared_ptr<File> FileSystem::openFromDisk(const std::string& name, uint32_t flags) {
    auto file = std::make_shared<DiskFile>();
    if (flags == SEARCH_ROOT) {
        enterRoot();
        if (file->open(name, DISK_READ)) return file;
    }
    if (flags & SEARCH_DIRECTORY_LIST) {
        for (const auto& directory : m_directories) {
            enterRoot();
            enterDirectory(directory);
            if (file->open(name, DISK_READ)) return file;
        }
    } else if (flags & SEARCH_BASE_DIRECTORY) {
        enterRoot();
        enterDirectory(m_baseDirectory);
        if (file->open(name, DISK_READ)) return file;
    }
    return {};
}

std::shared_ptr<File> FileSystem::openFromArchives(const std::string& name, uint32_t flags) {
    if (flags & SEARCH_ARCHIVE_LIST) {
        auto file = std::make_shared<ZipFile>();
        for (const auto& archive : m_archives) {
            enterRoot();
            file->setArchive(archive);
            if (file->open(name)) return file;
        }
    } else if (flags & SEARCH_BASE_ARCHIVE) {
        enterRoot();
        auto file = std::make_shared<ZipFile>(m_baseArchive);
        if (file->open(name)) return file;
    }
    return {};
}

std::shared_ptr<File> openDataFile(const std::string& name, bool verbose) {
    if (auto* fileSystem = FileSystem::instance()) return fileSystem->open(name, SEARCH_ROOT, verbose);
    if (verbose) logMessage("--- Loading " + name + "\n");
    auto file = std::make_shared<DiskFile>();
    if (file->open(name, DISK_READ)) return file;
    if (verbose) logMessage("Warning: Loading " + name + " failed.\n");
    return {};
}

} // namespace Vrenn
