#pragma once

#include "fs/DiskFile.h"

#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

// Writes a file so that a failed or interrupted write leaves the previous file whole:
// the data goes to a temporary name in the same folder, and commit() renames it over
// the target. Destroying the writer without a successful commit removes the
// temporary file. A target that is a symbolic link is written through: the file the
// link leads to is replaced, and the link stays.
class AtomicFile {
public:
    explicit AtomicFile(std::string targetName);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The temporary file, opened for writing (DISK_CREATE). Check isOpen().
    const std::shared_ptr<DiskFile>& file() const { return m_file; }
    bool isOpen() const { return m_file && m_file->isOpen(); }
    // Closes the temporary file and, when every write succeeded, renames it over the
    // target. False (and the target untouched) otherwise.
    bool commit();

    // Renames every file of the set over its target, or none: each must have been
    // written whole, and no target may be a folder, before the first rename; a rename
    // that still fails puts back the files already replaced. On failure, why holds
    // the target that failed and the system's reason ("out/a.dds: Is a directory").
    // SIGINT and SIGTERM are held back during the renames, so a stop signal finds either
    // every previous file or every new one, and no backup left beside them.
    static bool commitAll(const std::vector<AtomicFile*>& files, std::string& why);

    const std::string& targetName() const { return m_target; }
    // The name renamed over: the target, or the file its links lead to.
    const std::string& destinationName() const { return m_destination; }
    const std::string& temporaryName() const { return m_temporary; }
    // The system's reason for the last failure to create, write or rename ("No space
    // left on device"); empty while nothing failed.
    const std::string& failure() const { return m_failure; }
    // "<target>: <the system's reason>" for a temporary whose write failed (the target alone
    // when the system gave no reason), for messages such as "cannot write " + writeFailure().
    std::string writeFailure() const;

private:
    // Closes the temporary file; false (the temporary file removed, the reason kept)
    // when it was not opened or a write or the close failed.
    bool finishWriting();
    bool renameOverTarget();

    std::string m_target;
    std::string m_destination;
    std::string m_temporary;
    std::shared_ptr<DiskFile> m_file;
    std::string m_failure;
    bool m_committed = false;
};

} // namespace Vrenn
