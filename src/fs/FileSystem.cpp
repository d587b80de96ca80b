#include "fs/FileSystem.h"

#include "core/Log.h"
#include "fs/DiskFile.h"
#include "fs/ZipFile.h"

#include <filesystem>
#include <string_view>
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

std::string FileSystem::refusalOf(const std::string& name) const {
    for (const auto& userFile : m_userFiles)
        if (name == userFile) return {};
    if (!name.empty() && name.front() == '/') return "the name is absolute, outside the run folder";
    // Every place is searched with the name relative to it, so a name that never climbs
    // above its start stays inside whichever place finds it.
    int depth = 0;
    for (size_t start = 0; start <= name.size();) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        const std::string_view part(name.data() + start, end - start);
        if (part == "..") {
            if (--depth < 0) return "the name climbs out of the run folder";
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
        start = end + 1;
    }
    return {};
}

std::shared_ptr<File> FileSystem::open(const std::string& name, uint32_t flags, bool verbose,
                                       std::string* failure) {
    if (verbose) logMessage("--- Loading " + name + "\n");
    if (failure) failure->clear();

    std::string why = refusalOf(name);
    if (why.empty()) {
        if (auto file = openFromDisk(name, flags, why)) return file;
        if (auto file = openFromArchives(name, flags)) return file;
    }

    if (!why.empty())
        logMessage("Warning: Loading " + name + " failed: " + why + ".\n");
    else if (verbose)
        logMessage("Warning: Loading " + name + " failed.\n");
    if (failure) *failure = why;
    return {};
}

namespace {
// Whether name is part of the data the program ships (settings, effects, materials, drawn
// textures, the demo scene), which a run folder may leave to the installed data.
bool isSharedData(const std::string& name) {
    if (name == "default.cfg" || name == "models/scene.vmsh") return true;
    for (const char* folder : {"effects/", "materials/", "textures/"})
        if (name.rfind(folder, 0) == 0) return true;
    return false;
}
} // namespace

std::shared_ptr<File> FileSystem::openFromDisk(const std::string& name, uint32_t flags,
                                               std::string& failure) {
    auto file = std::make_shared<DiskFile>();
    // The first place that holds the name but cannot give it as a file says why.
    auto tryOpen = [&] {
        if (file->open(name, DISK_READ)) return true;
        if (failure.empty() && !file->openFoundNothing()) failure = file->openFailure();
        return false;
    };
    if (flags == SEARCH_ROOT) {
        enterRoot();
        if (tryOpen()) return file;
        // The data directories by full path, so that the current directory stays the root.
        // Only the data every run folder shares is taken from them: what a run makes for
        // itself (its baked model and transfer, its probes) must come from the run folder.
        for (const auto& directory : isSharedData(name) ? m_dataDirectories
                                                        : std::vector<std::string>{}) {
            const std::string path = directory + "/" + name;
            if (file->open(path, DISK_READ)) return file;
            if (failure.empty() && !file->openFoundNothing()) failure = file->openFailure();
        }
    }
    if (flags & SEARCH_DIRECTORY_LIST) {
        for (const auto& directory : m_directories) {
            enterRoot();
            enterDirectory(directory);
            if (tryOpen()) return file;
        }
    } else if (flags & SEARCH_BASE_DIRECTORY) {
        enterRoot();
        enterDirectory(m_baseDirectory);
        if (tryOpen()) return file;
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

bool FileSystem::rootHolds(const std::string& name) const {
    if (!refusalOf(name).empty()) return false;
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(m_root) / name, error);
}

bool runFolderHolds(const std::string& name) {
    if (auto* fileSystem = FileSystem::instance()) return fileSystem->rootHolds(name);
    std::error_code error;
    return std::filesystem::exists(name, error);
}

std::shared_ptr<File> openDataFile(const std::string& name, bool verbose, std::string* failure) {
    if (auto* fileSystem = FileSystem::instance())
        return fileSystem->open(name, SEARCH_ROOT, verbose, failure);
    if (verbose) logMessage("--- Loading " + name + "\n");
    auto file = std::make_shared<DiskFile>();
    if (file->open(name, DISK_READ)) {
        if (failure) failure->clear();
        return file;
    }
    const std::string why = file->openFoundNothing() ? std::string() : file->openFailure();
    if (!why.empty())
        logMessage("Warning: Loading " + name + " failed: " + why + ".\n");
    else if (verbose)
        logMessage("Warning: Loading " + name + " failed.\n");
    if (failure) *failure = why;
    return {};
}

} // namespace Vrenn
