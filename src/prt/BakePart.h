#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Vrenn {

class File;
class Image;
class PolyPack;

// FNV-1a, 64 bits, continued from hash.
constexpr uint64_t kFnv1a64Basis = 0xcbf29ce484222325ull;
uint64_t fnv1a64(const void* data, size_t size, uint64_t hash = kFnv1a64Basis);

// The FNV-1a 64 checksum of a file's bytes; false, with the system's reason in why, when it
// cannot be read.
bool fileChecksum(const std::string& path, uint64_t& checksum, std::string& why);

// Shards split a bake by polygons: polygons in pack order are cut into `shards` contiguous
// ranges of about equal covered texels, each polygon going to the shard where the middle of
// its texels falls. The split depends on the pack alone, never on threads or machines.
// Shards are numbered from 1; a shard past the last polygons is empty.
struct PolygonRange {
    uint32_t first = 0;
    uint32_t count = 0;
};
PolygonRange shardPolygons(const PolyPack& pack, uint32_t shard, uint32_t shards);
// Every shard's range at once (element k - 1 for shard k), in one pass over the pack: a merge
// of many parts asks for each shard's range without walking the atlas once per part.
std::vector<PolygonRange> shardSplit(const PolyPack& pack, uint32_t shards);

// The most shards a bake may be split into.
constexpr uint32_t kMaxBakeShards = 100000;

// "bake-<shard>-of-<shards>.part".
std::string bakePartName(uint32_t shard, uint32_t shards);
// Reads a name of that form with the numbers as bakePartName writes them (no sign, no leading
// zero, shard from 1 to shards, shards at most kMaxBakeShards). False for anything else.
bool parseBakePartName(const std::string& name, uint32_t& shard, uint32_t& shards);

enum class BakeKind : uint32_t { Transfer = 0, Ambient = 1 };

// What a part says about the bake it came from.
struct BakePartHeader {
    uint64_t modelChecksum = 0; // FNV-1a 64 of the model file's bytes
    BakeKind kind = BakeKind::Transfer;
    uint32_t rays = 0;      // requested rays per texel
    uint32_t samples = 0;   // g * g
    float rayLength = 0.0f; // world units
    uint32_t shard = 0;     // 1 ... shards
    uint32_t shards = 0;
    uint32_t atlasWidth = 0;
    uint32_t atlasHeight = 0;
    uint32_t planes = 0;     // slices of the bake image
    uint32_t texelBytes = 0; // bytes of one texel in one plane
    uint32_t polygons = 0;   // polygons of the whole pack
    uint32_t firstPolygon = 0;
    uint32_t polygonCount = 0;
    uint64_t texels = 0; // covered texels the shard baked
};

// A baked shard, as a file of its own (all numbers little-endian):
//
//   offset  size
//   0       8     magic "VRNBPART"
//   8       4     format version (1)
//   12      4     kind: 0 SH transfer, 1 ambient occlusion
//   16      8     model checksum
//   24      4     requested rays, 4 samples (g * g), 4 ray length (IEEE float)
//   36      4     shard, 4 shards
//   44      4     atlas width, 4 atlas height, 4 planes, 4 bytes per texel and plane
//   60      4     polygons of the pack, 4 first polygon of the shard, 4 its polygon count
//   72      8     covered texels baked
//   80            per polygon of the shard: its atlas rectangle x, y, width, height (4 each;
//                 all 0 for a polygon without one)
//   then          per polygon, per plane, per row of its rectangle top to bottom: the row's
//                 texels as the bake image holds them, after the gutter fill
//   last    8     FNV-1a 64 of every byte before it
class BakePart {
public:
    static constexpr char kMagic[8] = {'V', 'R', 'N', 'B', 'P', 'A', 'R', 'T'};
    static constexpr uint32_t kVersion = 1;
    static constexpr size_t kHeaderBytes = 80;

    // Writes the header and the texels of the header's polygon range from the pack's bake
    // image. False when a write fails or the header does not describe the pack's image.
    static bool write(File& file, const BakePartHeader& header, const PolyPack& pack);

    BakePart() = default;
    ~BakePart();
    BakePart(const BakePart&) = delete;
    BakePart& operator=(const BakePart&) = delete;

    // Opens a part and checks it without holding its texels: it must be a regular file (a
    // folder or a FIFO is refused, and opening never waits for a writer); its header is read
    // first and the file's size must be exactly what the header and the rectangles call for;
    // then the magic, version and checksum. False, with why saying what is wrong ("is
    // truncated", "is damaged", "is not a regular file", ...), otherwise. Memory stays small
    // whatever the file claims; the file stays open for copyInto.
    bool read(const std::string& path, std::string& why);

    const BakePartHeader& header() const { return m_header; }

    // Whether the part's atlas, polygon range and rectangles are the pack's own, range being
    // the pack's own range for the part's shard (shardSplit); why says what differs.
    bool fits(const PolyPack& pack, const PolygonRange& range, std::string& why) const;
    // Copies the part's texels into the pack's bake image (fits must have held). False, with
    // why, when the file can no longer be read whole.
    bool copyInto(const PolyPack& pack, std::string& why) const;

private:
    struct Rectangle {
        uint32_t x = 0, y = 0, width = 0, height = 0;
    };
    // Calls visit(index, rectangle) for every rectangle in file order, read in chunks.
    template <typename Visit> bool forEachRectangle(Visit&& visit) const;

    BakePartHeader m_header;
    int m_fd = -1;
    uint64_t m_size = 0;     // bytes of the file
    uint64_t m_texelsAt = 0; // where the texels start in the file
};

} // namespace Vrenn
