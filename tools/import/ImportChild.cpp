#include "import/ImportChild.h"

#include "core/StopRequest.h"
#include "fs/CodecMgr.h"
#include "fs/RamFile.h"
#include "geometry/Model.h"
#include "geometry/VmshLoader.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VRENN_IMPORT_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VRENN_IMPORT_SANITIZED 1
#endif
#endif

namespace Vrenn::Import {

namespace {

constexpr uint32_t kMagic = 0x31494d56; // "VMI1"

void putU32(std::string& out, uint32_t value) {
    out.append(reinterpret_cast<const char*>(&value), 4);
}

void putBytes(std::string& out, const void* data, size_t size) {
    putU32(out, uint32_t(size));
    out.append(static_cast<const char*>(data), size);
}

void putImage(std::string& out, const Image& image) {
    putU32(out, uint32_t(image.width()));
    putU32(out, uint32_t(image.height()));
    putU32(out, uint32_t(image.mipLevels()));
    putBytes(out, image.data(), image.byteCount());
}

// Reads what encodeScene wrote, each length checked against what is left.
class Reader {
public:
    explicit Reader(const std::string& bytes) : m_bytes(bytes) {}
    bool u32(uint32_t& value) {
        if (m_bytes.size() - m_at < 4) return false;
        std::memcpy(&value, m_bytes.data() + m_at, 4);
        m_at += 4;
        return true;
    }
    bool bytes(std::string& value) {
        uint32_t size = 0;
        if (!u32(size) || m_bytes.size() - m_at < size) return false;
        value.assign(m_bytes, m_at, size);
        m_at += size;
        return true;
    }
    bool image(Image& out) {
        uint32_t width = 0, height = 0, mips = 0;
        std::string data;
        if (!u32(width) || !u32(height) || !u32(mips) || !bytes(data)) return false;
        if (width == 0 || height == 0 || width > 65536 || height > 65536 ||
            int64_t(mips) != int64_t(Image::fullChainLength(width, height, 1)))
            return false;
        if (!out.create(int32_t(width), int32_t(height), 1, FORMAT_RGBA8, int32_t(mips), 1) ||
            out.byteCount() != data.size())
            return false;
        std::memcpy(out.data(), data.data(), data.size());
        return true;
    }
    bool atEnd() const { return m_at == m_bytes.size(); }

private:
    const std::string& m_bytes;
    size_t m_at = 0;
};

// Writes all of text to fd, going on after interruptions.
bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// The child's side: no descriptor but the pipe (moved to 3), standard streams on /dev/null,
// limits set, then the import; the first byte of what it writes says how it went.
[[noreturn]] void runChild(int pipe, const std::string& fileName, const ImportOptions& options,
                           const ChildLimits& limits) {
    if (pipe != 3) {
        ::dup2(pipe, 3);
        pipe = 3;
    }
    // Whatever the library prints is not ours to show: warnings come back in the result.
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
    }
    if (::syscall(SYS_close_range, 4u, ~0u, 0u) != 0)
        for (int fd = 4; fd < 4096; ++fd)
            ::close(fd);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGPIPE, SIG_DFL);
    const rlimit core{0, 0};
    ::setrlimit(RLIMIT_CORE, &core);
    const rlimit cpu{limits.cpuSeconds, limits.cpuSeconds + 5};
    ::setrlimit(RLIMIT_CPU, &cpu);
#ifndef VRENN_IMPORT_SANITIZED
    const rlimit address{limits.addressBytes, limits.addressBytes};
    ::setrlimit(RLIMIT_AS, &address);
#endif
    std::string out;
    try {
        CodecMgr codecs;
        registerStandardCodecs(codecs);
        ImportedScene scene;
        std::string why;
        if (importScene(fileName, options, codecs, scene, why)) {
            out = "S" + encodeScene(scene);
        } else {
            out = "F" + why;
        }
    } catch (const std::bad_alloc&) {
        out = "M";
    } catch (const std::exception& error) {
        out = std::string("F") + error.what();
    }
    ::_exit(writeAll(pipe, out) ? 0 : 1);
}

double now() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

} // namespace

std::string encodeScene(const ImportedScene& scene) {
    std::string out;
    putU32(out, kMagic);
    uint32_t scale = 0;
    std::memcpy(&scale, &scene.scale, 4);
    for (uint32_t value : {scale, scene.triangles, scene.degenerate, scene.duplicate})
        putU32(out, value);
    putU32(out, uint32_t(scene.warnings.size()));
    for (const std::string& warning : scene.warnings)
        putBytes(out, warning.data(), warning.size());
    RamFile vmsh;
    VmshLoader().write(vmsh, "imported", *scene.model);
    putBytes(out, vmsh.data().data(), vmsh.data().size());
    putU32(out, uint32_t(scene.materials.size()));
    for (const ImportedMaterial& material : scene.materials) {
        for (const std::string* text :
             {&material.block.name, &material.block.albedo, &material.block.normal})
            putBytes(out, text->data(), text->size());
        putImage(out, material.albedo);
        putImage(out, material.normals);
    }
    return out;
}

bool decodeScene(const std::string& bytes, ImportedScene& scene, std::string& why) {
    why = "the model importer handed back a damaged description";
    Reader in(bytes);
    uint32_t magic = 0, scale = 0, count = 0;
    if (!in.u32(magic) || magic != kMagic || !in.u32(scale) || !in.u32(scene.triangles) ||
        !in.u32(scene.degenerate) || !in.u32(scene.duplicate) || !in.u32(count))
        return false;
    std::memcpy(&scene.scale, &scale, 4);
    scene.warnings.clear();
    for (uint32_t i = 0; i < count; ++i) {
        std::string warning;
        if (!in.bytes(warning)) return false;
        scene.warnings.push_back(std::move(warning));
    }
    std::string vmsh;
    if (!in.bytes(vmsh)) return false;
    RamFile file(vmsh.data(), uint32_t(vmsh.size()));
    scene.model.reset();
    if (!VmshLoader().read(file, "imported", scene.model, false) || !scene.model) return false;
    if (!in.u32(count) || count != scene.model->surfaces().size()) return false;
    scene.materials.clear();
    for (uint32_t i = 0; i < count; ++i) {
        ImportedMaterial material;
        if (!in.bytes(material.block.name) || !in.bytes(material.block.albedo) ||
            !in.bytes(material.block.normal) || !in.image(material.albedo) ||
            !in.image(material.normals))
            return false;
        scene.materials.push_back(std::move(material));
    }
    if (!in.atEnd() || !std::isfinite(scene.scale)) return false;
    why.clear();
    return true;
}

bool importSceneInChild(const std::string& fileName, const ImportOptions& options,
                        const ChildLimits& limits, ImportedScene& scene, std::string& why) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        why = std::string("cannot start the model importer: ") + std::strerror(errno);
        return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        why = std::string("cannot start the model importer: ") + std::strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (pid == 0) {
        ::close(fds[0]);
        runChild(fds[1], fileName, options, limits);
    }
    ::close(fds[1]);

    std::string bytes;
    bool timedOut = false;
    const double deadline = now() + limits.wallSeconds;
    char buffer[65536];
    bool stopped = false;
    for (;;) {
        const double left = deadline - now();
        if (stopRequested()) {
            stopped = true;
            break;
        }
        if (left <= 0.0) {
            timedOut = true;
            break;
        }
        pollfd wait{fds[0], POLLIN, 0};
        const int ready = ::poll(&wait, 1, int(std::min(left, 0.2) * 1000.0) + 1);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(buffer, size_t(n));
    }
    ::close(fds[0]);
    if (timedOut || stopped) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (stopped) {
        why = "stopped by signal " + std::to_string(stopSignal());
        return false;
    }
    if (timedOut) {
        why =
            "the model importer did not finish within " + std::to_string(limits.wallSeconds) + " s";
        return false;
    }
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        if (signal == SIGXCPU || signal == SIGKILL)
            why = "the model importer used more than " + std::to_string(limits.cpuSeconds) +
                  " s of processor time (signal " + std::to_string(signal) + ")";
        else if (signal == SIGABRT)
            why = "the model importer aborted (signal 6)";
        else
            why = "the model importer crashed (signal " + std::to_string(signal) + ")";
        return false;
    }
    if (bytes.empty() || bytes[0] == 'M') {
        why = bytes.empty() ? "the model importer stopped with status " +
                                  std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1)
                            : "the model importer needed more than " +
                                  std::to_string(limits.addressBytes >> 30) + " GiB of memory";
        return false;
    }
    if (bytes[0] == 'F') {
        why = bytes.substr(1);
        return false;
    }
    return decodeScene(bytes.substr(1), scene, why);
}

} // namespace Vrenn::Import
