#include "prt/BakePart.h"

#include "fs/File.h"
#include "fs/Image.h"
#include "geometry/PolyPack.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace Vrenn {

namespace {

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putU64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t getU32(const uint8_t* at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | at[i];
    return v;
}

uint64_t getU64(const uint8_t* at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | at[i];
    return v;
}

// The bytes a rectangle holds over all planes, when they are at most limit.
bool rectangleBytes(std::initializer_list<uint64_t> factors, uint64_t limit, uint64_t& bytes) {
    bytes = 1;
    for (uint64_t f : factors) {
        if (f != 0 && bytes > limit / f) return false;
        bytes *= f;
    }
    return bytes <= limit;
}

bool writeAll(File& file, const void* data, size_t size, uint64_t& hash) {
    hash = fnv1a64(data, size, hash);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(size, 1u << 30));
        if (file.write(bytes, chunk) != chunk) return false;
        bytes += chunk;
        size -= chunk;
    }
    return true;
}

// Opens a file for reading only when it is a regular file: a FIFO or a device is never
// waited on (the open does not block) and a folder is refused by name. Returns the
// descriptor and its size, or -1 with the reason in why.
int openRegular(const std::string& path, uint64_t& size, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        why = std::generic_category().message(errno);
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = S_ISDIR(info.st_mode) ? "is a folder, not a file" : "is not a regular file";
        ::close(fd);
        return -1;
    }
    size = static_cast<uint64_t>(info.st_size);
    return fd;
}

// Reads a file from an offset on, in chunks, through one small buffer.
class ChunkReader {
public:
    ChunkReader(int fd, uint64_t at, uint64_t end)
        : m_fd(fd), m_at(at), m_end(std::max(at, end)),
          m_buffer(static_cast<size_t>(std::min<uint64_t>(1 << 16, m_end - m_at))) {}

    // The next size bytes into out; false when the file ends early or cannot be read (errno
    // says why, 0 for an early end).
    bool get(void* out, size_t size) {
        uint8_t* to = static_cast<uint8_t*>(out);
        while (size > 0) {
            if (m_pos == m_len && !fill()) return false;
            const size_t n = std::min(size, m_len - m_pos);
            std::memcpy(to, m_buffer.data() + m_pos, n);
            m_pos += n;
            to += n;
            size -= n;
        }
        return true;
    }

    // Hashes every byte up to the end.
    bool hashRest(uint64_t& hash) {
        while (true) {
            hash = fnv1a64(m_buffer.data() + m_pos, m_len - m_pos, hash);
            m_pos = m_len;
            if (m_at == m_end) return true;
            if (!fill()) return false;
        }
    }

private:
    bool fill() {
        if (m_at >= m_end) {
            errno = 0;
            return false;
        }
        const size_t want = static_cast<size_t>(std::min<uint64_t>(m_buffer.size(), m_end - m_at));
        ssize_t got;
        do {
            got = ::pread(m_fd, m_buffer.data(), want, static_cast<off_t>(m_at));
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            if (got == 0) errno = 0;
            return false;
        }
        m_at += static_cast<uint64_t>(got);
        m_pos = 0;
        m_len = static_cast<size_t>(got);
        return true;
    }

    int m_fd;
    uint64_t m_at, m_end;
    std::vector<uint8_t> m_buffer;
    size_t m_pos = 0, m_len = 0;
};

// "cannot be read: <reason>" for a read that failed or ended early.
std::string readFailure() {
    return errno ? "cannot be read: " + std::generic_category().message(errno)
                 : std::string("is truncated (it shrank while it was read)");
}

} // namespace

uint64_t fnv1a64(const void* data, size_t size, uint64_t hash) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001b3ull;
    }
    return hash;
}

bool fileChecksum(const std::string& path, uint64_t& checksum, std::string& why) {
    uint64_t size = 0;
    const int fd = openRegular(path, size, why);
    if (fd < 0) return false;
    ChunkReader reader(fd, 0, size);
    uint64_t hash = kFnv1a64Basis;
    const bool read = reader.hashRest(hash);
    if (!read) why = errno ? std::generic_category().message(errno) : "it shrank while read";
    ::close(fd);
    if (read) checksum = hash;
    return read;
}

std::vector<PolygonRange> shardSplit(const PolyPack& pack, uint32_t shards) {
    const auto& polygons = pack.polygons();
    std::vector<PolygonRange> ranges(shards);
    // Covered texels per polygon; where no polygon covers any, each counts one.
    std::vector<uint64_t> weights(polygons.size(), 0);
    uint64_t total = 0;
    for (size_t p = 0; p < polygons.size(); ++p) {
        const AtlasRect& rect = polygons[p].atlas;
        if (!rect.placed) continue;
        for (int y = rect.y; y < rect.y + rect.placedHeight(); ++y)
            for (int x = rect.x; x < rect.x + rect.placedWidth(); ++x)
                weights[p] += pack.coverage().covered(x, y) ? 1 : 0;
        total += weights[p];
    }
    if (total == 0) {
        std::fill(weights.begin(), weights.end(), 1);
        total = polygons.size();
    }
    // Polygon p goes to shard floor((texels before p + half its own) * shards / total) + 1,
    // which never decreases along the pack, so each shard is one contiguous range. A shard
    // that gets no polygon starts where the next polygon would.
    uint64_t before = 0;
    uint32_t next = 0; // the first shard (from 0) whose start is not set yet
    for (size_t p = 0; p < polygons.size(); ++p) {
        const uint64_t middle = 2 * before + weights[p];
        const uint64_t owner = std::min<uint64_t>(middle * shards / (2 * total), shards - 1);
        before += weights[p];
        for (; next <= owner; ++next)
            ranges[next].first = static_cast<uint32_t>(p);
        ++ranges[owner].count;
    }
    for (; next < shards; ++next)
        ranges[next].first = static_cast<uint32_t>(polygons.size());
    return ranges;
}

PolygonRange shardPolygons(const PolyPack& pack, uint32_t shard, uint32_t shards) {
    if (shards == 0 || shard == 0 || shard > shards) return {};
    return shardSplit(pack, shards)[shard - 1];
}

std::string bakePartName(uint32_t shard, uint32_t shards) {
    return "bake-" + std::to_string(shard) + "-of-" + std::to_string(shards) + ".part";
}

bool parseBakePartName(const std::string& name, uint32_t& shard, uint32_t& shards) {
    const std::string prefix = "bake-", middle = "-of-", suffix = ".part";
    if (name.size() < prefix.size() + middle.size() + suffix.size() + 2 ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const char* at = name.data() + prefix.size();
    const char* end = name.data() + name.size() - suffix.size();
    uint32_t k = 0, n = 0;
    auto [afterK, errorK] = std::from_chars(at, end, k);
    if (errorK != std::errc() || static_cast<size_t>(end - afterK) < middle.size() ||
        std::memcmp(afterK, middle.data(), middle.size()) != 0)
        return false;
    auto [afterN, errorN] = std::from_chars(afterK + middle.size(), end, n);
    if (errorN != std::errc() || afterN != end || k < 1 || k > n || n > kMaxBakeShards)
        return false;
    if (name != bakePartName(k, n)) return false; // signs, leading zeros
    shard = k;
    shards = n;
    return true;
}

bool BakePart::write(File& file, const BakePartHeader& header, const PolyPack& pack) {
    const Image* image = pack.bakeImage().get();
    if (!image || !image->data() || static_cast<uint32_t>(image->width()) != header.atlasWidth ||
        static_cast<uint32_t>(image->height()) != header.atlasHeight ||
        static_cast<uint32_t>(image->depth()) != header.planes ||
        static_cast<uint32_t>(bytesPerPixel(image->format())) != header.texelBytes ||
        uint64_t(header.firstPolygon) + header.polygonCount > pack.polygons().size())
        return false;

    std::vector<uint8_t> head(kMagic, kMagic + sizeof kMagic);
    putU32(head, kVersion);
    putU32(head, static_cast<uint32_t>(header.kind));
    putU64(head, header.modelChecksum);
    putU32(head, header.rays);
    putU32(head, header.samples);
    uint32_t lengthBits;
    std::memcpy(&lengthBits, &header.rayLength, 4);
    putU32(head, lengthBits);
    for (uint32_t v :
         {header.shard, header.shards, header.atlasWidth, header.atlasHeight, header.planes,
          header.texelBytes, header.polygons, header.firstPolygon, header.polygonCount})
        putU32(head, v);
    putU64(head, header.texels);
    for (uint32_t p = header.firstPolygon; p < header.firstPolygon + header.polygonCount; ++p) {
        const AtlasRect& rect = pack.polygons()[p].atlas;
        for (int v : {rect.x, rect.y, rect.placedWidth(), rect.placedHeight()})
            putU32(head, rect.placed ? static_cast<uint32_t>(v) : 0);
    }
    uint64_t hash = kFnv1a64Basis;
    if (!writeAll(file, head.data(), head.size(), hash)) return false;

    const size_t width = static_cast<size_t>(image->width());
    const size_t planeBytes = width * static_cast<size_t>(image->height()) * header.texelBytes;
    for (uint32_t p = header.firstPolygon; p < header.firstPolygon + header.polygonCount; ++p) {
        const AtlasRect& rect = pack.polygons()[p].atlas;
        if (!rect.placed) continue;
        const size_t rowBytes = static_cast<size_t>(rect.placedWidth()) * header.texelBytes;
        for (size_t plane = 0; plane < header.planes; ++plane)
            for (int y = rect.y; y < rect.y + rect.placedHeight(); ++y) {
                const uint8_t* row =
                    image->data() + plane * planeBytes +
                    (static_cast<size_t>(y) * width + size_t(rect.x)) * header.texelBytes;
                if (!writeAll(file, row, rowBytes, hash)) return false;
            }
    }
    std::vector<uint8_t> tail;
    putU64(tail, hash);
    uint64_t ignored = 0;
    return writeAll(file, tail.data(), tail.size(), ignored);
}

BakePart::~BakePart() {
    if (m_fd >= 0) ::close(m_fd);
}

bool BakePart::read(const std::string& path, std::string& why) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = openRegular(path, m_size, why);
    if (m_fd < 0) {
        if (why.rfind("is ", 0) != 0) why = "cannot be read: " + why;
        return false;
    }
    uint8_t b[kHeaderBytes];
    const size_t head = static_cast<size_t>(std::min<uint64_t>(m_size, kHeaderBytes));
    ChunkReader header(m_fd, 0, head);
    if (!header.get(b, head)) {
        why = readFailure();
        return false;
    }
    if (head >= sizeof kMagic && std::memcmp(b, kMagic, sizeof kMagic) != 0) {
        why = "is not a bake part";
        return false;
    }
    if (m_size < kHeaderBytes + 8) {
        why = "is truncated";
        return false;
    }
    if (getU32(b + 8) != kVersion) {
        why = "has format version " + std::to_string(getU32(b + 8)) + ", not " +
              std::to_string(kVersion);
        return false;
    }
    BakePartHeader& h = m_header;
    h.kind = static_cast<BakeKind>(getU32(b + 12));
    h.modelChecksum = getU64(b + 16);
    h.rays = getU32(b + 24);
    h.samples = getU32(b + 28);
    const uint32_t lengthBits = getU32(b + 32);
    std::memcpy(&h.rayLength, &lengthBits, 4);
    uint32_t* fields[] = {&h.shard,      &h.shards,   &h.atlasWidth,   &h.atlasHeight, &h.planes,
                          &h.texelBytes, &h.polygons, &h.firstPolygon, &h.polygonCount};
    for (size_t i = 0; i < std::size(fields); ++i)
        *fields[i] = getU32(b + 36 + 4 * i);
    h.texels = getU64(b + 72);

    // The size the header and the rectangles call for, known before any texel is read.
    const uint64_t available = m_size - 8;
    m_texelsAt = kHeaderBytes + 16ull * h.polygonCount;
    if (m_texelsAt > available) {
        why = "is truncated (" + std::to_string(m_size) + " bytes; its header calls for more)";
        return false;
    }
    uint64_t expected = m_texelsAt;
    bool fitsInFile = true;
    const bool rectanglesRead = forEachRectangle([&](uint32_t, const Rectangle& r) {
        uint64_t bytes = 0;
        fitsInFile = rectangleBytes({r.width, r.height, h.planes, h.texelBytes},
                                    available - expected, bytes);
        expected += bytes;
        return fitsInFile;
    });
    if (!fitsInFile) {
        why = "is truncated (" + std::to_string(m_size) + " bytes; its header calls for more)";
        return false;
    }
    if (!rectanglesRead) {
        why = readFailure();
        return false;
    }
    if (expected != available) {
        why = "is damaged (" + std::to_string(available - expected) + " bytes past its end)";
        return false;
    }
    uint64_t hash = kFnv1a64Basis;
    ChunkReader body(m_fd, 0, available);
    uint8_t tail[8];
    ChunkReader last(m_fd, available, m_size);
    if (!body.hashRest(hash) || !last.get(tail, 8)) {
        why = readFailure();
        return false;
    }
    if (hash != getU64(tail)) {
        why = "is damaged (its checksum does not match its bytes)";
        return false;
    }
    return true;
}

template <typename Visit> bool BakePart::forEachRectangle(Visit&& visit) const {
    ChunkReader reader(m_fd, kHeaderBytes, m_texelsAt);
    for (uint32_t i = 0; i < m_header.polygonCount; ++i) {
        uint8_t at[16];
        if (!reader.get(at, 16)) return false;
        if (!visit(i, Rectangle{getU32(at), getU32(at + 4), getU32(at + 8), getU32(at + 12)}))
            return false;
    }
    return true;
}

bool BakePart::fits(const PolyPack& pack, const PolygonRange& range, std::string& why) const {
    const Image* image = pack.bakeImage().get();
    const BakePartHeader& h = m_header;
    if (!image || h.atlasWidth != uint32_t(image->width()) ||
        h.atlasHeight != uint32_t(image->height()) || h.planes != uint32_t(image->depth()) ||
        h.texelBytes != uint32_t(bytesPerPixel(image->format())) ||
        h.polygons != pack.polygons().size()) {
        why = "was baked from another atlas (" + std::to_string(h.polygons) + " polygons, " +
              std::to_string(h.atlasWidth) + "x" + std::to_string(h.atlasHeight) + ")";
        return false;
    }
    if (range.first != h.firstPolygon || range.count != h.polygonCount) {
        why = "holds polygons " + std::to_string(h.firstPolygon) + " to " +
              std::to_string(uint64_t(h.firstPolygon) + h.polygonCount) +
              ", not this model's shard " + std::to_string(h.shard) + " of " +
              std::to_string(h.shards);
        return false;
    }
    bool same = true;
    const bool read = forEachRectangle([&](uint32_t i, const Rectangle& r) {
        const AtlasRect& rect = pack.polygons()[h.firstPolygon + i].atlas;
        const Rectangle own =
            rect.placed ? Rectangle{uint32_t(rect.x), uint32_t(rect.y),
                                    uint32_t(rect.placedWidth()), uint32_t(rect.placedHeight())}
                        : Rectangle{};
        same = r.x == own.x && r.y == own.y && r.width == own.width && r.height == own.height;
        if (!same)
            why = "places polygon " + std::to_string(h.firstPolygon + i) +
                  " elsewhere in the atlas than this model does";
        return same;
    });
    if (!same) return false;
    if (!read) why = readFailure();
    return read;
}

bool BakePart::copyInto(const PolyPack& pack, std::string& why) const {
    const Image& image = *pack.bakeImage();
    const size_t texelBytes = m_header.texelBytes;
    const size_t width = static_cast<size_t>(image.width());
    const size_t planeBytes = width * static_cast<size_t>(image.height()) * texelBytes;
    ChunkReader texels(m_fd, m_texelsAt, m_size - 8);
    const bool read = forEachRectangle([&](uint32_t, const Rectangle& r) {
        const size_t rowBytes = size_t(r.width) * texelBytes;
        for (size_t plane = 0; plane < m_header.planes; ++plane)
            for (uint32_t y = r.y; y < r.y + r.height; ++y)
                if (!texels.get(image.data() + plane * planeBytes +
                                    (size_t(y) * width + r.x) * texelBytes,
                                rowBytes))
                    return false;
        return true;
    });
    if (!read) why = readFailure();
    return read;
}

} // namespace Vrenn
