#include "prt/BakePart.h"

#include "fs/File.h"
#include "fs/Image.h"
#include "geometry/PolyPack.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <system_error>

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
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = std::generic_category().message(errno);
        return false;
    }
    uint64_t hash = kFnv1a64Basis;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hash = fnv1a64(buffer.data(), static_cast<size_t>(in.gcount()), hash);
    }
    if (!in.eof()) {
        why = "read error";
        return false;
    }
    checksum = hash;
    return true;
}

PolygonRange shardPolygons(const PolyPack& pack, uint32_t shard, uint32_t shards) {
    const auto& polygons = pack.polygons();
    if (shards == 0 || shard == 0 || shard > shards) return {};
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
    // which never decreases along the pack, so each shard is one contiguous range.
    PolygonRange range;
    bool started = false;
    uint64_t before = 0;
    for (size_t p = 0; p < polygons.size(); ++p) {
        const uint64_t middle = 2 * before + weights[p];
        const uint64_t owner = std::min<uint64_t>(middle * shards / (2 * total), shards - 1) + 1;
        before += weights[p];
        if (owner < shard) continue;
        if (owner > shard) break;
        if (!started) range.first = static_cast<uint32_t>(p);
        started = true;
        ++range.count;
    }
    if (!started) range.first = static_cast<uint32_t>(polygons.size());
    return range;
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

bool BakePart::read(const std::string& path, std::string& why) {
    m_rectangles.clear();
    m_bytes.clear();
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        why = "cannot be read: " + std::generic_category().message(errno);
        return false;
    }
    const std::streamoff size = in.tellg();
    in.seekg(0);
    m_bytes.resize(static_cast<size_t>(std::max<std::streamoff>(size, 0)));
    if (!in.read(reinterpret_cast<char*>(m_bytes.data()), size)) {
        why = "cannot be read";
        return false;
    }
    const uint8_t* b = m_bytes.data();
    if (m_bytes.size() >= sizeof kMagic && std::memcmp(b, kMagic, sizeof kMagic) != 0) {
        why = "is not a bake part";
        return false;
    }
    if (m_bytes.size() < kHeaderBytes + 8) {
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

    // The size the header and the rectangles call for, checked before anything is trusted.
    const uint64_t available = m_bytes.size() - 8;
    uint64_t expected = kHeaderBytes + 16ull * h.polygonCount;
    if (expected > available) {
        why = "is truncated";
        return false;
    }
    for (uint32_t i = 0; i < h.polygonCount; ++i) {
        const uint8_t* at = b + kHeaderBytes + 16 * size_t(i);
        const Rectangle r{getU32(at), getU32(at + 4), getU32(at + 8), getU32(at + 12)};
        m_rectangles.push_back(r);
        uint64_t bytes = 0;
        if (!rectangleBytes({r.width, r.height, h.planes, h.texelBytes}, available - expected,
                            bytes)) {
            why = "is truncated";
            return false;
        }
        expected += bytes;
    }
    if (expected != available) {
        why = "is damaged (" + std::to_string(available - expected) + " bytes past its end)";
        return false;
    }
    if (fnv1a64(b, available) != getU64(b + available)) {
        why = "is damaged (its checksum does not match its bytes)";
        return false;
    }
    m_texelsAt = kHeaderBytes + 16 * size_t(h.polygonCount);
    return true;
}

bool BakePart::fits(const PolyPack& pack, std::string& why) const {
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
    const PolygonRange range = shardPolygons(pack, h.shard, h.shards);
    if (range.first != h.firstPolygon || range.count != h.polygonCount) {
        why = "holds polygons " + std::to_string(h.firstPolygon) + " to " +
              std::to_string(uint64_t(h.firstPolygon) + h.polygonCount) +
              ", not this model's shard " + std::to_string(h.shard) + " of " +
              std::to_string(h.shards);
        return false;
    }
    for (uint32_t i = 0; i < h.polygonCount; ++i) {
        const AtlasRect& rect = pack.polygons()[h.firstPolygon + i].atlas;
        const Rectangle& r = m_rectangles[i];
        const Rectangle own =
            rect.placed ? Rectangle{uint32_t(rect.x), uint32_t(rect.y),
                                    uint32_t(rect.placedWidth()), uint32_t(rect.placedHeight())}
                        : Rectangle{};
        if (r.x != own.x || r.y != own.y || r.width != own.width || r.height != own.height) {
            why = "places polygon " + std::to_string(h.firstPolygon + i) +
                  " elsewhere in the atlas than this model does";
            return false;
        }
    }
    return true;
}

void BakePart::copyInto(const PolyPack& pack) const {
    const Image& image = *pack.bakeImage();
    const size_t texelBytes = m_header.texelBytes;
    const size_t width = static_cast<size_t>(image.width());
    const size_t planeBytes = width * static_cast<size_t>(image.height()) * texelBytes;
    const uint8_t* from = m_bytes.data() + m_texelsAt;
    for (const Rectangle& r : m_rectangles) {
        const size_t rowBytes = size_t(r.width) * texelBytes;
        for (size_t plane = 0; plane < m_header.planes; ++plane)
            for (uint32_t y = r.y; y < r.y + r.height; ++y) {
                std::memcpy(image.data() + plane * planeBytes +
                                (size_t(y) * width + r.x) * texelBytes,
                            from, rowBytes);
                from += rowBytes;
            }
    }
}

} // namespace Vrenn
