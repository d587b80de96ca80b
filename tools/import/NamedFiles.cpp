#include "import/NamedFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vrenn::Import {

namespace {

// True when path, with every link resolved, lies in folder or below it.
bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    std::error_code error;
    const auto file = std::filesystem::canonical(path, error);
    if (error) return false;
    const auto root = std::filesystem::canonical(folder.empty() ? "." : folder, error);
    if (error) return false;
    auto f = file.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++f)
        if (f == file.end() || *f != *r) return false;
    return true;
}

} // namespace

bool readNamedFile(const std::filesystem::path& path, const FileRules& rules,
                   std::vector<uint8_t>& bytes, std::string& why) {
    bytes.clear();
    // O_NONBLOCK: opening a FIFO with no writer would otherwise wait for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        why = errno == ENOENT ? "cannot be found"
                              : std::string("cannot be opened: ") + std::strerror(errno);
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = "is not a regular file";
        return false;
    }
    if (!rules.allowOutside && !isInside(path, rules.folder)) {
        why = "lies outside the model's folder (--allow-outside permits it)";
        return false;
    }
    if (uint64_t(info.st_size) > rules.maxBytes) {
        why = "is larger than " + std::to_string(rules.maxBytes >> 20) + " MiB";
        return false;
    }
    bytes.resize(size_t(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            why = got < 0 ? std::string("cannot be read: ") + std::strerror(errno)
                          : "became shorter while it was read";
            bytes.clear();
            return false;
        }
        done += size_t(got);
    }
    return true;
}

} // namespace Vrenn::Import
