#include "fs/DiskFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

namespace Vrenn {

namespace {
std::ios::openmode streamFlags(uint32_t mode) {
    switch (mode) {
    case DISK_READ:
        return std::ios::binary | std::ios::in;
    case DISK_WRITE:
        return std::ios::binary | std::ios::out;
    case DISK_UPDATE:
        return std::ios::binary | std::ios::in | std::ios::out;
    case DISK_CREATE:
        return std::ios::binary | std::ios::out | std::ios::trunc;
    default:
        return std::ios::binary;
    }
}

// Why name cannot be opened in mode (empty when it may be), with the system's error number
// for it in errorNumber. A directory never opens: its end position is no size. Reading takes
// regular files only, whose size is known and fits the interface (a pipe would also block
// the open). Writing may also go to a device (/dev/null, /dev/full), but not to a pipe or
// socket, whose open waits for a reader.
std::string unopenableReason(const std::string& name, uint32_t mode, int& errorNumber) {
    namespace stdfs = std::filesystem;
    std::error_code error;
    const stdfs::file_status status = stdfs::status(name, error);
    if (error || status.type() == stdfs::file_type::not_found) return {};
    const stdfs::file_type type = status.type();
    if (type == stdfs::file_type::directory) {
        errorNumber = EISDIR;
        return "is a directory";
    }
    const bool reads = mode == DISK_READ || mode == DISK_UPDATE;
    const bool device =
        type == stdfs::file_type::character || type == stdfs::file_type::block;
    if (type != stdfs::file_type::regular && (reads || !device)) {
        errorNumber = EINVAL;
        return "is not a regular file";
    }
    const uintmax_t size = type == stdfs::file_type::regular ? stdfs::file_size(name, error) : 0;
    if (!error && size > std::numeric_limits<uint32_t>::max()) {
        errorNumber = EFBIG;
        return "is larger than 4 GiB";
    }
    return {};
}

std::ios::seekdir seekDirection(int32_t origin) {
    switch (origin) {
    case SEEK_FROM_END:
        return std::ios::end;
    case SEEK_FROM_CURRENT:
        return std::ios::cur;
    default:
        return std::ios::beg;
    }
}
} // namespace

DiskFile::DiskFile(const std::string& name, uint32_t mode) {
    open(name, mode);
}

DiskFile::~DiskFile() {
    close();
}

bool DiskFile::open(const std::string& name, uint32_t mode) {
    close();
    m_name = name;
    m_mode = mode;
    m_foundNothing = false;
    m_error = 0;
    m_openFailure = unopenableReason(name, mode, m_error);
    if (!m_openFailure.empty()) return false;
    errno = 0;
    m_stream = std::make_shared<std::fstream>(name, streamFlags(mode));
    if (m_stream->is_open()) return true;
    const int error = errno;
    noteError();
    m_foundNothing = error == ENOENT || error == ENOTDIR;
    m_openFailure = error != 0 ? std::strerror(error) : "cannot be opened";
    m_stream.reset();
    return false;
}

void DiskFile::noteError() {
    if (m_error == 0) m_error = errno;
}

void DiskFile::close() {
    if (m_stream && m_stream->is_open()) {
        errno = 0;
        m_stream->close();
        m_closeFailed = m_stream->fail();
        if (m_closeFailed) noteError();
    }
    m_stream.reset();
}

void DiskFile::resize(uint32_t n) {
    if (!isOpen()) return;
    m_stream->flush();
    std::error_code error;
    std::filesystem::resize_file(m_name, n, error);
    if (error) {
        m_stream->setstate(std::ios::failbit);
        if (m_error == 0) m_error = error.value();
    }
}

uint32_t DiskFile::size() {
    if (!isOpen()) return 0;
    const uint32_t position = tell();
    const uint32_t length = seek(0, SEEK_FROM_END);
    seek(static_cast<int32_t>(position), SEEK_FROM_START);
    return length;
}

uint32_t DiskFile::write(const void* buf, uint32_t n) {
    if (!isOpen() || n == 0) return 0;
    const auto before = m_stream->tellp();
    errno = 0;
    m_stream->write(static_cast<const char*>(buf), n);
    if (!m_stream->fail()) return n;
    noteError();
    const auto after = m_stream->tellp();
    return (before >= 0 && after > before) ? static_cast<uint32_t>(after - before) : 0;
}

uint32_t DiskFile::read(void* buf, uint32_t n) {
    if (!isOpen() || n == 0) return 0;
    m_stream->read(static_cast<char*>(buf), n);
    const auto got = static_cast<uint32_t>(m_stream->gcount());
    // A short read at the end of the file is not an error for later seeks.
    if (m_stream->eof()) m_stream->clear();
    return got;
}

uint32_t DiskFile::seek(int32_t offset, int32_t origin) {
    if (!isOpen()) return 0;
    if (writesFirst())
        m_stream->seekp(offset, seekDirection(origin));
    else
        m_stream->seekg(offset, seekDirection(origin));
    return tell();
}

uint32_t DiskFile::tell() {
    if (!isOpen()) return 0;
    const auto position = writesFirst() ? m_stream->tellp() : m_stream->tellg();
    return position < 0 ? 0 : static_cast<uint32_t>(position);
}

} // namespace Vrenn
