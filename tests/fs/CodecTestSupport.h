#pragma once

#include "core/Log.h"
#include "fs/CodecMgr.h"
#include "fs/FileSystem.h"
#include "fs/Image.h"
#include "fs/RGBECodec.h"
#include "fs/RamFile.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

namespace Vrenn::Test {

// The services image loading uses: file system, log manager, the standard codecs.
struct CodecEnvironment {
    FileSystem fileSystem;
    LogManager logs;
    CodecMgr codecs;

    CodecEnvironment() { registerStandardCodecs(codecs); }

    // The luminance range of the registered "hdr" codec.
    void setMaxLuminance(float range) {
        std::static_pointer_cast<RGBECodec>(codecs.getCodec("hdr"))->setMaxLuminance(range);
    }
};

inline std::shared_ptr<File> memoryFile(const std::string& bytes) {
    return std::make_shared<RamFile>(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

inline bool decode(Codec& codec, const std::string& bytes, Image& image) {
    auto file = memoryFile(bytes);
    return codec.decode(file, image);
}

// The bytes of a file under tests/data/fs.
inline std::string fixture(const std::string& name) {
    return readBytes(testDataPath("fs/" + name));
}

// The rows of a table under tests/data/fs, split at white space; blank lines and lines starting
// with '#' are skipped.
inline std::vector<std::vector<std::string>> table(const std::string& name) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(fixture(name));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::vector<std::string> row{std::istream_iterator<std::string>(words), {}};
        if (!row.empty() && row[0][0] != '#') rows.push_back(row);
    }
    return rows;
}

// Everything a file holds, read from its start.
inline std::string contents(const std::shared_ptr<File>& file) {
    if (!file) return "<not found>";
    std::string text(file->size(), '\0');
    file->rewind();
    text.resize(file->read(text.data(), static_cast<uint32_t>(text.size())));
    return text;
}

// An image whose bytes count up from 0, so that any reordering shows.
inline Image numbered(int width, int height, int depth, ImageFormat format, int mips, int faces) {
    Image image;
    image.create(width, height, depth, format, mips, faces);
    std::iota(image.data(), image.data() + image.byteCount(), uint8_t{0});
    return image;
}

inline std::vector<uint8_t> pixels(const Image& image) {
    return std::vector<uint8_t>(image.data(), image.data() + image.byteCount());
}

// The codec services with a log file in a temporary folder, whose lines a test reads.
struct LoggedCodecEnvironment : CodecEnvironment {
    TempDir dir;

    LoggedCodecEnvironment() { logs.CreateLog(LOG_DEFAULT, dir.file("app.log")); }
    std::vector<std::string> log() const { return lines(dir.read("app.log")); }
};

// The Radiance packing written out from its description: colour over its largest component;
// intensity relative to the range (0 means 32) in alpha, its square root shared with the colour
// below half the range; each value clamped to 0..1, times 255, truncated.
inline std::array<uint8_t, 4> referencePack(float r, float g, float b, float range) {
    if (range == 0.0f) range = 32.0f;
    const float m = std::max(r, std::max(g, b));
    float a = m;
    if (m > 0.0f) {
        const float reciprocal = 1.0f / m;
        const bool finite = std::isfinite(reciprocal); // not so for values near 2^-128
        r = finite ? r * reciprocal : r / m;
        g = finite ? g * reciprocal : g / m;
        b = finite ? b * reciprocal : b / m;
        a = m / range;
        if (a < 0.5f) {
            a = std::sqrt(a);
            r *= a;
            g *= a;
            b *= a;
        }
    }
    auto byte = [](float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f); };
    return {byte(r), byte(g), byte(b), byte(a)};
}

// The float colour of an RGBE pixel: mantissas times 2^(exponent - 136).
inline std::array<float, 3> rgbeToFloat(const uint8_t* rgbe) {
    const double scale = std::ldexp(1.0, rgbe[3] - 136);
    return {float(rgbe[0] * scale), float(rgbe[1] * scale), float(rgbe[2] * scale)};
}

} // namespace Vrenn::Test
