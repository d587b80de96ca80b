#pragma once

#include "core/Singleton.h"
#include "fs/File.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

// Where FileSystem::open looks for a name. 0 means the root directory alone.
enum FileSearchFlags : uint32_t {
    SEARCH_ROOT = 0,
    SEARCH_BASE_DIRECTORY = 1,
    SEARCH_BASE_ARCHIVE = 2,
    SEARCH_DIRECTORY_LIST = 4, // wins over SEARCH_BASE_DIRECTORY
    SEARCH_ARCHIVE_LIST = 8,   // wins over SEARCH_BASE_ARCHIVE
};

// The one entry point for reading data files. It searches the start-up ("root")
// directory, a directory list or base directory, and an archive list or base
// archive; disk places always come before archives. A name the root does not hold is
// then looked for in the data directories, in their order (the installed data, the
// build tree's data: see dataDirectories below), so a run folder needs only what it
// changes.
//
// A run folder may come from someone else, so a name found in its data (a script, a
// configuration) must stay inside the places searched: an absolute name, or one that
// climbs above its start with "..", is refused. Names the user gave on a command line
// are the user's own and are exempted one by one (addUserFile).
//
// The search works by changing the process's current directory, so it must not run
// concurrently with anything that depends on it. After a successful open from the
// root, the current directory is the root.
class FileSystem : public Singleton<FileSystem> {
public:
    // The root is the current directory at construction; the directory list starts
    // with it.
    FileSystem();
    ~FileSystem();

    // Returns the opened file, or an empty pointer. With verbose, logs
    // "--- Loading <name>" and, when the name is nowhere, "Warning: Loading <name>
    // failed.". A name that is refused (outside the search places) or found but not
    // readable as a file (a directory, say) logs "Warning: Loading <name> failed: <why>."
    // verbose or not. When failure is given, it receives that reason, or is emptied when
    // the name was simply not found (or the open succeeded).
    std::shared_ptr<File> open(const std::string& name, uint32_t flags, bool verbose,
                               std::string* failure = nullptr);

    // Places searched, in order, for a name the root does not hold (SEARCH_ROOT opens).
    void setDataDirectories(std::vector<std::string> directories) {
        m_dataDirectories = std::move(directories);
    }
    const std::vector<std::string>& dataDirectories() const { return m_dataDirectories; }
    // True when the root itself holds name (the data directories are not asked).
    bool rootHolds(const std::string& name) const;

    // Lets open take name exactly as given, even absolute or above the root: for paths
    // the user named on a command line.
    void addUserFile(std::string name) { m_userFiles.push_back(std::move(name)); }
    // Why name may not be opened from the data, or empty when it may.
    std::string refusalOf(const std::string& name) const;

    const std::string& rootDirectory() const { return m_root; }
    const std::string& baseDirectory() const { return m_baseDirectory; }
    const std::string& baseArchive() const { return m_baseArchive; }
    const std::vector<std::string>& directories() const { return m_directories; }
    const std::vector<std::string>& archives() const { return m_archives; }

    void setBaseDirectory(std::string directory) { m_baseDirectory = std::move(directory); }
    void setBaseArchive(std::string archive) { m_baseArchive = std::move(archive); }
    // Relative entries are taken relative to the root.
    void addDirectory(std::string directory) { m_directories.push_back(std::move(directory)); }
    void addArchive(std::string archive) { m_archives.push_back(std::move(archive)); }

private:
    void enterRoot() const;
    std::shared_ptr<File> openFromDisk(const std::string& name, uint32_t flags,
                                       std::string& failure);
    std::shared_ptr<File> openFromArchives(const std::string& name, uint32_t flags);

    std::string m_root;
    std::string m_baseDirectory;
    std::string m_baseArchive;
    std::vector<std::string> m_directories;
    std::vector<std::string> m_archives;
    std::vector<std::string> m_userFiles;
    std::vector<std::string> m_dataDirectories;
};

// The data directories of a program, in the order they are searched after the run folder:
// the installed data, share/vrenn beside the program's own bin folder (wherever the
// package was unpacked), when it exists; then, for a program run from the build tree
// it was built in, the source tree's data folder. programPath is the program's file
// (empty: the running program's own, from /proc/self/exe).
std::vector<std::string> dataDirectories(const std::string& programPath = {});

// Whether name is in the run folder itself: through the process's file system from its
// root, or in the working directory where the process made none.
bool runFolderHolds(const std::string& name);

// Opens a data file (script, effect, texture, model, configuration) by its name: through
// the process's file system from the root, or straight from the disk where the process
// made no file system (tests that need no search; there is no root to keep names in).
// Logs as FileSystem::open does. Every loader opens its files here; an empty pointer
// means the file cannot be read, and failure (when given) receives the reason, empty
// when the file is simply not there.
std::shared_ptr<File> openDataFile(const std::string& name, bool verbose = true,
                                   std::string* failure = nullptr);

} // namespace Vrenn
