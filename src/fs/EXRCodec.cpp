#include "fs/EXRCodec.h"

#include "core/Log.h"
#include "fs/Image.h"

#include <Iex.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace Vrenn {

namespace {

// Pixels decoded at a time, about: bands are whole chunks (or rows of tiles), so no chunk is
// decompressed twice, and otherwise small, so that memory grows with the rows the file really
// holds rather than with what its header claims.
constexpr uint64_t kBandPixels = uint64_t{1} << 20;
// The library unpacks a whole chunk, every channel of the file, before it picks ours out: a
// chunk larger than this (a wide picture of very many channels) is refused.
constexpr uint64_t kMaxChunkBytes = uint64_t{256} << 20;
// Tiles larger than this are refused.
constexpr int kMaxTileSide = 1024;
constexpr size_t kChannels = 4;

// The library's reader over the file's bytes in memory. A read past the end is recorded, so
// that a cut file is named as such whatever the library makes of it.
class MemoryStream : public Imf::IStream {
public:
    explicit MemoryStream(const std::vector<uint8_t>& bytes)
        : Imf::IStream("image"), m_bytes(bytes) {}

    bool read(char c[], int n) override {
        if (n < 0 || m_position > m_bytes.size() || size_t(n) > m_bytes.size() - m_position) {
            m_pastEnd = true;
            throw Iex::InputExc("the file ends early");
        }
        std::memcpy(c, m_bytes.data() + m_position, size_t(n));
        m_position += size_t(n);
        return m_position < m_bytes.size();
    }
    uint64_t tellg() override { return m_position; }
    void seekg(uint64_t position) override {
        m_position = size_t(std::min<uint64_t>(position, m_bytes.size() + 1));
    }
    void clear() override {}

    bool readPastEnd() const { return m_pastEnd; }

private:
    const std::vector<uint8_t>& m_bytes;
    size_t m_position = 0;
    bool m_pastEnd = false;
};

void limitSizes() {
    static std::once_flag once;
    std::call_once(once, [] {
        Imf::Header::setMaxImageSize(EXRCodec::kMaxSide, EXRCodec::kMaxSide);
        Imf::Header::setMaxTileSize(kMaxTileSide, kMaxTileSide);
    });
}

uint32_t readU32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

// The library reads a value of a fixed-size type as that many bytes, and a channel list up to
// its own end, whatever length the attribute gives: a length that disagrees would have it read
// the next attribute from elsewhere than where the walk below does. True when they agree.
bool valueFillsItsLength(const std::string& type, const uint8_t* value, uint32_t length) {
    static const std::pair<const char*, uint32_t> kFixed[] = {
        {"box2i", 16},
        {"box2f", 16},
        {"v2i", 8},
        {"v2f", 8},
        {"v2d", 16},
        {"v3i", 12},
        {"v3f", 12},
        {"v3d", 24},
        {"int", 4},
        {"float", 4},
        {"double", 8},
        {"compression", 1},
        {"lineOrder", 1},
        {"envmap", 1},
        {"deepImageState", 1},
        {"tiledesc", 9},
        {"chromaticities", 32},
        {"keycode", 28},
        {"timecode", 8},
        {"rational", 8},
        {"m33f", 36},
        {"m33d", 72},
        {"m44f", 64},
        {"m44d", 128},
    };
    for (const auto& [name, size] : kFixed)
        if (type == name) return length == size;
    if (type != "chlist") return true;
    // Channels: a NUL-terminated name and 16 bytes each, then an empty name.
    for (uint32_t pos = 0; pos < length;) {
        const auto* end = static_cast<const uint8_t*>(std::memchr(value + pos, 0, length - pos));
        if (!end) return false;
        if (end == value + pos) return pos + 1 == length;
        pos = uint32_t(end - value) + 1 + 16;
    }
    return false;
}

// Walks the headers before the library reads them: the library sizes an attribute's value,
// a preview picture and a tiled file's offset table by what the header claims before it
// reads them, so a file of bytes could make it reserve gigabytes. Each attribute's value must
// lie inside the file, a preview must fill its attribute, and the first level's tile offsets
// (8 bytes each) must fit the file. False, with the reason, otherwise.
bool checkHeaders(const std::vector<uint8_t>& bytes, std::string& why, bool& cut) {
    const size_t size = bytes.size();
    cut = false;
    if (size < 8 || readU32(bytes.data()) != 20000630u) {
        why = "the file does not start with the OpenEXR signature";
        return false;
    }
    const bool multipart = (bytes[5] & 0x10) != 0;
    // Names are at most 31 characters, 255 in files flagged for long names. The library cuts a
    // longer name where its limit ends and reads on from there, so it would take other bytes
    // for the attribute's size than this walk does: such a file is refused.
    const size_t longestName = (bytes[5] & 0x04) != 0 ? 255 : 31;
    // A NUL-terminated name of at most longestName characters at pos; false where the file
    // ends first or the name is longer.
    const auto name = [&](size_t& pos, std::string& out) {
        const size_t end = std::min(size, pos + longestName + 1);
        for (size_t i = pos; i < end; ++i)
            if (bytes[i] == 0) {
                out.assign(reinterpret_cast<const char*>(bytes.data() + pos), i - pos);
                pos = i + 1;
                return true;
            }
        return false;
    };
    size_t pos = 8;
    for (;;) {
        int64_t tileWidth = 0, tileHeight = 0, width = 0, height = 0;
        std::string attribute, type;
        for (;;) {
            if (!name(pos, attribute)) {
                cut = pos + longestName + 1 > size;
                why = cut ? "the file ends inside its header"
                          : "a header name is longer than " + std::to_string(longestName) +
                                " characters";
                return false;
            }
            if (attribute.empty()) break;
            if (!name(pos, type) || size - pos < 4) {
                why = "the file ends inside its header";
                cut = true;
                return false;
            }
            const uint32_t length = readU32(bytes.data() + pos);
            pos += 4;
            if (length > size - pos) {
                why = "the attribute " + attribute + " claims " + std::to_string(length) +
                      " bytes, more than the file holds";
                cut = true;
                return false;
            }
            const uint8_t* value = bytes.data() + pos;
            if (!valueFillsItsLength(type, value, length)) {
                why = "the attribute " + attribute + " (" + type + ") does not fill its " +
                      std::to_string(length) + " bytes";
                return false;
            }
            if (type == "preview" &&
                (length < 8 || uint64_t{readU32(value)} * readU32(value + 4) * 4 != length - 8)) {
                why = "the preview picture does not fill its attribute";
                return false;
            }
            if (attribute == "dataWindow" && type == "box2i" && length == 16) {
                width = int64_t(int32_t(readU32(value + 8))) - int32_t(readU32(value)) + 1;
                height = int64_t(int32_t(readU32(value + 12))) - int32_t(readU32(value + 4)) + 1;
            }
            if (attribute == "tiles" && type == "tiledesc" && length == 9) {
                tileWidth = readU32(value);
                tileHeight = readU32(value + 4);
            }
            pos += length;
        }
        if (tileWidth > 0 && tileHeight > 0 && width > 0 && height > 0) {
            const uint64_t tiles = uint64_t((width + tileWidth - 1) / tileWidth) *
                                   uint64_t((height + tileHeight - 1) / tileHeight);
            if (tiles > (size - pos) / 8) {
                why = "its " + std::to_string(tiles) + " tiles need more offsets than it holds";
                cut = true;
                return false;
            }
        }
        if (!multipart) return true;
        // A multi-part file's headers end with an empty one.
        if (pos >= size) {
            why = "the file ends inside its header";
            cut = true;
            return false;
        }
        if (bytes[pos] == 0) return true;
    }
}

// Which file channel fills each of the four output channels (empty: filled with the default).
struct ChannelChoice {
    const char* names[kChannels] = {nullptr, nullptr, nullptr, nullptr};
    bool luminance = false;
};

// Picks R, G, B, A, or Y for a luminance-only file; false, with the reason, when the file
// has none of them or a chosen channel is subsampled.
bool chooseChannels(const Imf::ChannelList& channels, ChannelChoice& choice, std::string& why) {
    static const char* const kColour[kChannels] = {"R", "G", "B", "A"};
    bool colour = false;
    for (size_t c = 0; c < kChannels; ++c)
        if (channels.findChannel(kColour[c])) {
            choice.names[c] = kColour[c];
            colour = colour || c < 3;
        }
    if (!colour) {
        if (!channels.findChannel("Y")) {
            why = "the picture has no R, G, B or Y channel (it has:";
            int listed = 0;
            for (auto it = channels.begin(); it != channels.end() && listed < 8; ++it, ++listed)
                why += std::string(" ") + it.name();
            if (listed == 0) why += " none";
            why += ")";
            return false;
        }
        choice.names[0] = "Y";
        choice.luminance = true;
    }
    for (const char* name : choice.names) {
        if (!name) continue;
        const Imf::Channel* channel = channels.findChannel(name);
        if (channel->xSampling != 1 || channel->ySampling != 1) {
            why = std::string("the channel ") + name + " is subsampled, which is not supported";
            return false;
        }
    }
    return true;
}

// Rows each chunk of the file holds: a tile's height, or the compression's scan lines.
int chunkRows(const Imf::Header& header) {
    if (header.hasTileDescription()) return int(header.tileDescription().ySize);
    switch (header.compression()) {
    case Imf::ZIP_COMPRESSION:
    case Imf::PXR24_COMPRESSION:
        return 16;
    case Imf::PIZ_COMPRESSION:
    case Imf::B44_COMPRESSION:
    case Imf::B44A_COMPRESSION:
    case Imf::DWAA_COMPRESSION:
        return 32;
    case Imf::DWAB_COMPRESSION:
        return 256;
    default:
        return 1;
    }
}

// Bytes the library holds unpacked at once: a chunk with every channel of the file, or for a
// tiled file a whole row of tiles (read as scan lines, it keeps one as four floats a pixel).
uint64_t chunkBytes(const Imf::Header& header, int64_t width) {
    uint64_t pixelBytes = 0;
    for (auto it = header.channels().begin(); it != header.channels().end(); ++it)
        pixelBytes += it.channel().type == Imf::HALF ? 2 : 4;
    if (header.hasTileDescription()) pixelBytes = std::max<uint64_t>(pixelBytes, 16);
    return pixelBytes * uint64_t(width) * uint64_t(chunkRows(header));
}

} // namespace

bool EXRCodec::decode(std::shared_ptr<File>& file, Image& image) {
    if (!file) return false;
    limitSizes();
    const std::vector<uint8_t> bytes = file->readRest();
    std::string why;
    bool cut = false;
    if (!checkHeaders(bytes, why, cut)) {
        if (cut)
            logFormat("OpenEXR: the file is cut short or damaged: %s (%zu bytes)\n", why.c_str(),
                      bytes.size());
        else
            logMessage("OpenEXR: " + why + "\n");
        return false;
    }
    MemoryStream stream(bytes);
    Image decoded;
    try {
        Imf::InputFile input(stream, 0);
        const Imf::Header& header = input.header();
        const Imath::Box2i window = header.dataWindow();
        const int64_t w = int64_t{window.max.x} - window.min.x + 1;
        const int64_t h = int64_t{window.max.y} - window.min.y + 1;
        if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) {
            logFormat("OpenEXR: a data window of %lldx%lld pixels is not supported (1 to %d on a "
                      "side)\n",
                      static_cast<long long>(w), static_cast<long long>(h), kMaxSide);
            return false;
        }
        if (uint64_t(w) * uint64_t(h) * kChannels * sizeof(float) >
            std::numeric_limits<uint32_t>::max()) {
            logFormat("OpenEXR: %lldx%lld pixels of four floats are more than an image holds "
                      "(4 GiB)\n",
                      static_cast<long long>(w), static_cast<long long>(h));
            return false;
        }
        if (!withinPixelLimit("OpenEXR", uint64_t(w), uint64_t(h))) return false;
        if (const uint64_t chunk = chunkBytes(header, w); chunk > kMaxChunkBytes) {
            logFormat("OpenEXR: one chunk of the file unpacks to %llu MiB, more than the %llu "
                      "supported (too many channels for its width)\n",
                      static_cast<unsigned long long>(chunk >> 20),
                      static_cast<unsigned long long>(kMaxChunkBytes >> 20));
            return false;
        }
        const int32_t width = int32_t(w);
        const int32_t height = int32_t(h);
        ChannelChoice choice;
        if (!chooseChannels(header.channels(), choice, why)) {
            logMessage("OpenEXR: " + why + "\n");
            return false;
        }
        const int64_t rowsPerChunk = std::max(1, chunkRows(header));
        const int64_t chunksPerBand =
            std::max<int64_t>(1, int64_t(kBandPixels / uint64_t(w)) / rowsPerChunk);
        const int32_t bandRows = int32_t(std::min<int64_t>(rowsPerChunk * chunksPerBand, h));
        const size_t rowFloats = size_t(width) * kChannels;
        // Bands are held apart until the last is decoded, so memory grows with the rows read.
        std::vector<std::unique_ptr<float[]>> bands;
        for (int32_t done = 0; done < height;) {
            const int32_t rows = std::min(bandRows, height - done);
            float* band = bands.emplace_back(new float[size_t(rows) * rowFloats]).get();
            const Imath::V2i origin(window.min.x, window.min.y + done);
            Imf::FrameBuffer frame;
            for (size_t c = 0; c < kChannels; ++c) {
                if (!choice.names[c]) {
                    // Missing colour is black; a picture without alpha is opaque.
                    const float fill = c == 3 ? 1.0f : 0.0f;
                    for (size_t i = c; i < size_t(rows) * rowFloats; i += kChannels)
                        band[i] = fill;
                    continue;
                }
                frame.insert(choice.names[c], Imf::Slice::Make(Imf::FLOAT, band + c, origin, width,
                                                               rows, kChannels * sizeof(float),
                                                               rowFloats * sizeof(float)));
            }
            input.setFrameBuffer(frame);
            input.readPixels(origin.y, origin.y + rows - 1);
            if (choice.luminance)
                for (size_t i = 0; i < size_t(rows) * rowFloats; i += kChannels)
                    band[i + 1] = band[i + 2] = band[i];
            done += rows;
        }
        // The picture's pages are backed as bands are copied in and freed.
        auto* pixels = reinterpret_cast<float*>(
            decoded.create(width, height, 1, FORMAT_RGBA32F, 1, 1, Image::Fill::Unset));
        if (!pixels) throw std::bad_alloc();
        for (size_t b = 0; b < bands.size(); ++b) {
            const size_t first = b * size_t(bandRows);
            const size_t rows = std::min(size_t(bandRows), size_t(height) - first);
            std::memcpy(pixels + first * rowFloats, bands[b].get(),
                        rows * rowFloats * sizeof(float));
            bands[b].reset();
        }
    } catch (const std::bad_alloc&) {
        logMessage("OpenEXR: out of memory for the pixel data\n");
        return false;
    } catch (const std::exception& error) {
        if (stream.readPastEnd())
            logFormat("OpenEXR: the file is cut short: its %zu bytes end before the picture "
                      "does (%s)\n",
                      bytes.size(), error.what());
        else
            logMessage(std::string("OpenEXR: the file is damaged or not supported: ") +
                       error.what() + "\n");
        return false;
    }

    image = std::move(decoded);
    return true;
}

bool EXRCodec::encode(std::shared_ptr<File>&, Image&) {
    logMessage("OpenEXR: writing OpenEXR pictures is not supported\n");
    return false;
}

} // namespace Vrenn
