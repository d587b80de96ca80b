#include "fs/RGBECodec.h"

#include "core/Log.h"
#include "fs/Image.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace Vrenn {

namespace {
// The header, with its blank line and the resolution line, must fit in this many bytes.
constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr uint32_t kMinRunLengthWidth = 8;
constexpr uint32_t kMaxRunLengthWidth = 32767;
constexpr uint32_t kLongestRun = 127; // a repeat count byte holds 128 + up to 127

// 0 to 1 onto 0 to 255, truncating; out-of-range values clamp and NaN gives 0.
uint8_t toByte(float value) {
    if (!(value > 0.0f)) return 0;
    if (!(value < 1.0f)) return 255;
    return static_cast<uint8_t>(value * 255.0f);
}

// How the file's scan lines lie in the picture, from the resolution line. The usual
// "-Y <height> +X <width>" has rows from top to bottom, texels from left to right;
// X named first makes each scan line a column, "+Y" runs bottom to top, "-X" right to
// left.
struct ScanOrder {
    uint32_t width = 0;
    uint32_t height = 0;
    bool columns = false;
    bool rightToLeft = false;
    bool bottomToTop = false;

    uint32_t lineLength() const { return columns ? height : width; }
    uint32_t lineCount() const { return columns ? width : height; }
    bool isTopRowFirst() const { return !columns && !rightToLeft && !bottomToTop; }
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The next line of text from pos (without its '\n' and a '\r' before it); false when
// no '\n' ends it.
bool nextLine(std::string_view text, size_t& pos, std::string_view& line) {
    const size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) return false;
    line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = end + 1;
    return true;
}

// "<sign><axis> <size> <sign><axis> <size>", the axes Y and X in either order, the
// sizes decimal from 1 to the largest 32-bit signed integer; blanks between the words.
bool parseResolution(std::string_view line, ScanOrder& order) {
    std::string_view words[4];
    size_t count = 0;
    for (size_t pos = 0; pos < line.size();) {
        if (isBlank(line[pos])) {
            ++pos;
            continue;
        }
        size_t end = pos;
        while (end < line.size() && !isBlank(line[end]))
            ++end;
        if (count == 4) return false;
        words[count++] = line.substr(pos, end - pos);
        pos = end;
    }
    if (count != 4) return false;
    bool seen[2] = {false, false}; // Y, X
    for (size_t i = 0; i < 4; i += 2) {
        const std::string_view axis = words[i];
        const std::string_view digits = words[i + 1];
        if (axis.size() != 2 || (axis[0] != '-' && axis[0] != '+') ||
            (axis[1] != 'Y' && axis[1] != 'X'))
            return false;
        const bool isX = axis[1] == 'X';
        if (seen[isX]) return false;
        seen[isX] = true;
        if (digits.empty() || digits.size() > 10) return false;
        uint64_t size = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            size = size * 10 + uint64_t(c - '0');
        }
        if (size == 0 || size > uint64_t{std::numeric_limits<int32_t>::max()}) return false;
        if (isX) {
            order.width = static_cast<uint32_t>(size);
            order.rightToLeft = axis[0] == '-';
        } else {
            order.height = static_cast<uint32_t>(size);
            order.bottomToTop = axis[0] == '+';
        }
        if (i == 0) order.columns = isX;
    }
    return true;
}

// Reads the header from the file's position: a signature line starting "#?", lines up
// to a blank one (among them "FORMAT=32-bit_rle_rgbe"; the others are not used), then
// the resolution line. dataStart receives the position of the first pixel byte. False,
// with one log line, for anything else.
bool readHeader(File& file, ScanOrder& order, uint64_t& dataStart) {
    const uint32_t start = file.tell();
    const uint32_t size = file.size();
    std::string text(std::min<size_t>(size > start ? size - start : 0, kMaxHeaderBytes), '\0');
    text.resize(file.read(text.data(), static_cast<uint32_t>(text.size())));

    const auto unfinished = [&](const char* what) {
        if (text.size() == kMaxHeaderBytes)
            logFormat("RGBE: no %s in the first %zu KiB\n", what, kMaxHeaderBytes / 1024);
        else
            logFormat("RGBE: the file ends before its %s\n", what);
        return false;
    };
    size_t pos = 0;
    std::string_view line;
    if (!nextLine(text, pos, line) || line.substr(0, 2) != "#?") {
        logMessage("RGBE: the file does not start with a \"#?\" signature line\n");
        return false;
    }
    bool hasFormat = false;
    for (;;) {
        if (!nextLine(text, pos, line)) return unfinished("blank line ending the header");
        if (line.empty()) break;
        if (line.substr(0, 7) != "FORMAT=") continue;
        const std::string_view format = line.substr(7);
        if (format != "32-bit_rle_rgbe") {
            logFormat("RGBE: the pixel format %.*s is not supported, only 32-bit_rle_rgbe\n",
                      static_cast<int>(std::min<size_t>(format.size(), 64)), format.data());
            return false;
        }
        hasFormat = true;
    }
    if (!hasFormat) {
        logMessage("RGBE: no \"FORMAT=32-bit_rle_rgbe\" line in the header\n");
        return false;
    }
    if (!nextLine(text, pos, line)) return unfinished("resolution line");
    if (!parseResolution(line, order)) {
        logFormat("RGBE: \"%.*s\" is not a resolution line such as \"-Y <height> +X <width>\" "
                  "with positive sizes\n",
                  static_cast<int>(std::min<size_t>(line.size(), 64)), line.data());
        return false;
    }
    dataStart = uint64_t{start} + pos;
    return true;
}

// Moves the texels of scan lines in file order into image rows, top row first.
void reorder(const ScanOrder& order, const uint8_t* lines, uint8_t* out, size_t texelBytes) {
    const uint32_t length = order.lineLength();
    for (uint32_t line = 0; line < order.lineCount(); ++line)
        for (uint32_t i = 0; i < length; ++i) {
            uint32_t x = order.columns ? line : i;
            uint32_t y = order.columns ? i : line;
            if (order.rightToLeft) x = order.width - 1 - x;
            if (order.bottomToTop) y = order.height - 1 - y;
            std::memcpy(out + (size_t{y} * order.width + x) * texelBytes,
                        lines + (size_t{line} * length + i) * texelBytes, texelBytes);
        }
}

// Fewest bytes a run-length scan line of this width can take: its 4-byte header and,
// for each of the 4 channels, one longest repeat run (2 bytes) per 127 texels.
uint64_t shortestEncodedLine(uint32_t width) {
    return 4 + 4 * 2 * ((uint64_t{width} + kLongestRun - 1) / kLongestRun);
}

bool isScanLineHeader(const uint8_t* bytes, uint32_t width) {
    return bytes[0] == 2 && bytes[1] == 2 && (uint32_t{bytes[2]} << 8 | bytes[3]) == width;
}

bool usesRunLength(const uint8_t* data, size_t size, uint32_t width) {
    return width >= kMinRunLengthWidth && width <= kMaxRunLengthWidth && size >= 4 &&
           isScanLineHeader(data, width);
}

// Fills one channel of a scan line (every 4th byte of `line`) from run-length data at
// data[pos]; false when the data ends early or a run is empty or overruns the line.
bool decodeChannel(const uint8_t* data, size_t size, size_t& pos, uint8_t* line, uint32_t width) {
    uint32_t x = 0;
    while (x < width) {
        if (pos >= size) return false;
        uint32_t count = data[pos++];
        if (count > 128) {
            count -= 128;
            if (count > width - x || pos >= size) return false;
            const uint8_t value = data[pos++];
            for (uint32_t i = 0; i < count; ++i)
                line[4 * (x + i)] = value;
        } else {
            if (count == 0 || count > width - x || count > size - pos) return false;
            for (uint32_t i = 0; i < count; ++i)
                line[4 * (x + i)] = data[pos + i];
            pos += count;
        }
        x += count;
    }
    return true;
}
// Calls emit(rgbe, index) for each of the width * height pixels of data in file order,
// flat or run-length encoded. False when the data is shorter than the lines need or the
// run-length data is corrupt.
template <typename Emit>
bool forEachPixel(const uint8_t* data, size_t size, uint32_t width, uint32_t height, Emit emit) {
    const uint64_t texels = uint64_t{width} * height;
    if (!usesRunLength(data, size, width)) {
        if (texels > size / 4) return false;
        for (uint64_t i = 0; i < texels; ++i)
            emit(data + 4 * i, i);
        return true;
    }

    if (height != 0 && shortestEncodedLine(width) > size / height) return false;
    std::vector<uint8_t> line(size_t{width} * 4);
    size_t pos = 0;
    for (uint32_t y = 0; y < height; ++y) {
        if (size - pos < 4 || !isScanLineHeader(data + pos, width)) return false;
        pos += 4;
        for (uint32_t channel = 0; channel < 4; ++channel)
            if (!decodeChannel(data, size, pos, line.data() + channel, width)) return false;
        for (uint32_t x = 0; x < width; ++x)
            emit(&line[4 * x], uint64_t{width} * y + x);
    }
    return true;
}

} // namespace

void RGBECodec::setMaxLuminance(float maxLuminance) {
    if (!(maxLuminance >= 0.0f) || !std::isfinite(maxLuminance)) {
        logFormat("RGBECodec: the luminance range (max_env_lum) %g is not a finite number of 0 "
                  "or more; 32 is used\n",
                  static_cast<double>(maxLuminance));
        maxLuminance = 0.0f;
    }
    m_maxLuminance = maxLuminance;
}

void RGBECodec::packPixel(const uint8_t rgbe[4], float maxLuminance, uint8_t out[4]) {
    const float range = maxLuminance == 0.0f ? 32.0f : maxLuminance;
    const double scale = std::ldexp(1.0, static_cast<int>(rgbe[3]) - 136); // 2^(e-128) / 256
    float r = static_cast<float>(rgbe[0] * scale);
    float g = static_cast<float>(rgbe[1] * scale);
    float b = static_cast<float>(rgbe[2] * scale);
    const float largest = std::max({r, g, b});
    float alpha = largest;
    if (largest > 0.0f) {
        // Multiplying by the reciprocal, except for the tiniest values (exponents near
        // 0), whose reciprocal overflows and would turn a black pixel's colour white.
        const float normalise = 1.0f / largest;
        if (std::isfinite(normalise)) {
            r *= normalise;
            g *= normalise;
            b *= normalise;
        } else {
            r /= largest;
            g /= largest;
            b /= largest;
        }
        alpha = largest / range;
        // Below half the range the intensity is shared between colour and alpha as its
        // square root, which keeps precision in dark regions.
        if (alpha < 0.5f) {
            alpha = std::sqrt(alpha);
            r *= alpha;
            g *= alpha;
            b *= alpha;
        }
    }
    out[0] = toByte(r);
    out[1] = toByte(g);
    out[2] = toByte(b);
    out[3] = toByte(alpha);
}

bool RGBECodec::decodePixels(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                             float maxLuminance, uint8_t* out) {
    return forEachPixel(data, size, width, height, [&](const uint8_t* rgbe, uint64_t i) {
        packPixel(rgbe, maxLuminance, out + 4 * i);
    });
}

void RGBECodec::unpackPixel(const uint8_t rgbe[4], float out[3]) {
    if (rgbe[3] == 0) {
        out[0] = out[1] = out[2] = 0.0f;
        return;
    }
    const double scale = std::ldexp(1.0, static_cast<int>(rgbe[3]) - 136); // 2^(e-128) / 256
    for (int c = 0; c < 3; ++c)
        out[c] = static_cast<float>(rgbe[c] * scale);
}

bool RGBECodec::decodeRadiance(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                               float* out) {
    return forEachPixel(data, size, width, height,
                        [&](const uint8_t* rgbe, uint64_t i) { unpackPixel(rgbe, out + 3 * i); });
}

bool RGBECodec::decode(std::shared_ptr<File>& file, Image& image) {
    if (!file) return false;
    ScanOrder order;
    uint64_t dataStart = 0;
    if (!readHeader(*file, order, dataStart)) return false;
    if (!withinPixelLimit("RGBE", order.width, order.height)) return false;
    const uint64_t fileEnd = file->seek(0, SEEK_FROM_END);
    if (fileEnd < dataStart) {
        logMessage("RGBE: no pixel data after the header\n");
        return false;
    }
    std::vector<uint8_t> data(static_cast<size_t>(fileEnd - dataStart));
    file->seek(static_cast<int32_t>(dataStart), SEEK_FROM_START);
    data.resize(file->read(data.data(), static_cast<uint32_t>(data.size())));

    const uint32_t w = order.width;
    const uint32_t h = order.height;
    const uint32_t length = order.lineLength();
    // Even the most compact encoding cannot hold more texels than this, so larger
    // sizes are refused before allocating.
    const uint64_t bytesPerLine = usesRunLength(data.data(), data.size(), length)
                                      ? shortestEncodedLine(length)
                                      : uint64_t{length} * 4;
    if (bytesPerLine > data.size() / order.lineCount()) {
        logFormat("RGBE: %ux%u pixels need more data than the file's %zu bytes\n", w, h,
                  data.size());
        return false;
    }

    const bool radiance = m_output == Output::Radiance;
    const size_t texelBytes = radiance ? 3 * sizeof(float) : 4;
    Image decoded;
    uint8_t* pixels = decoded.create(static_cast<int32_t>(w), static_cast<int32_t>(h), 1,
                                     radiance ? FORMAT_RGB32F : FORMAT_RGBA8, 1, 1);
    if (!pixels) {
        logMessage("RGBE: out of memory for the pixel data\n");
        return false;
    }
    std::vector<uint8_t> lines;
    if (!order.isTopRowFirst()) lines.resize(size_t{w} * h * texelBytes);
    uint8_t* target = order.isTopRowFirst() ? pixels : lines.data();
    const bool whole = radiance
                           ? decodeRadiance(data.data(), data.size(), length, order.lineCount(),
                                            reinterpret_cast<float*>(target))
                           : decodePixels(data.data(), data.size(), length, order.lineCount(),
                                          m_maxLuminance, target);
    if (!whole) {
        logMessage("RGBE: corrupt or truncated run-length data\n");
        return false;
    }
    if (!order.isTopRowFirst()) reorder(order, lines.data(), pixels, texelBytes);
    // A vertical cross (three faces wide, four high) becomes a cube map.
    if (h / 4 == w / 3) decoded.crossToCube();
    image = std::move(decoded);
    return true;
}

bool RGBECodec::encode(std::shared_ptr<File>&, Image&) {
    logMessage("RGBE: writing Radiance pictures is not supported\n");
    return false;
}

} // namespace Vrenn
