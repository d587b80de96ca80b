#pragma once

#include "fs/File.h"

#include <fstream>
#include <memory>
#include <string>

namespace Vrenn {

// Open modes of a disk file (all binary).
enum DiskFileMode : uint32_t {
    DISK_READ = 0,   // in
    DISK_WRITE = 1,  // out
    DISK_UPDATE = 2, // in + out
    DISK_CREATE = 3, // out + truncate
};

// A file on disk, reached through a standard binary stream. Names go to the
// operating system unchanged. Only regular files open: a directory, a device or a pipe
// has no size to read by (and a pipe could block the open), and a file longer than
// the interface's 32-bit sizes would be seen truncated.
class DiskFile : public File {
public:
    DiskFile() = default;
    // Opens at once; check isOpen().
    DiskFile(const std::string& name, uint32_t mode);
    ~DiskFile() override;

    bool open(const std::string& name, uint32_t mode);
    // Why the last open failed ("is a directory", "No such file or directory", ...);
    // empty after a successful open.
    const std::string& openFailure() const { return m_openFailure; }
    // True when the last open failed because nothing is there by that name.
    bool openFoundNothing() const { return m_foundNothing; }
    bool isOpen() const { return m_stream && m_stream->is_open(); }
    // True once any read, write or close on the stream failed.
    bool failed() const { return !m_stream || m_stream->fail(); }
    // True when the last close could not flush everything to disk.
    bool closeFailed() const { return m_closeFailed; }
    // The system's error number of the first open, write or close that failed (0 when
    // none did, or the system gave no reason): what a caller reports as the reason.
    int error() const { return m_error; }
    const std::string& name() const { return m_name; }
    uint32_t mode() const { return m_mode; }

    void close() override;
    // Sets the file's length on disk (truncating or extending with zeros).
    void resize(uint32_t n) override;
    uint32_t size() override;
    // Both return the count actually transferred.
    uint32_t write(const void* buf, uint32_t n) override;
    uint32_t read(void* buf, uint32_t n) override;
    uint32_t seek(int32_t offset, int32_t origin) override;
    uint32_t tell() override;

private:
    bool writesFirst() const { return (m_mode & 1u) != 0; }
    // Keeps errno as the reason of the first failure.
    void noteError();

    std::shared_ptr<std::fstream> m_stream;
    std::string m_name;
    std::string m_openFailure;
    bool m_foundNothing = false;
    uint32_t m_mode = 4;
    bool m_closeFailed = false;
    int m_error = 0;
};

} // namespace Vrenn
