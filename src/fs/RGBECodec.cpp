#include "fs/RGBECodec.h"

#include "core/Log.h"
#include "fs/Image.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace Vrenn {

namespace {
constexpr uint32_t kHeaderWindow = 256;
constexpr uint32_t kMinRunLengthWidth = 8;
constexpr uint32_t kMaxRunLengthWidth = 32767;
constexpr uint32_t kLongestRun = 127; // a repeat count byte holds 128 + up to 127

// 0 to 1 onto 0 to 255, truncating; out-of-range values clamp and NaN gives 0.
uint8_t toByte(float value) {
    if (!(value > 0.0f)) return 0;
    if (!(value < 1.0f)) return 255;
    return static_cast<uint8_t>(value * 255.0f);
}

// The positive decimal number after `label` in the header, or 0 when the label is
// missing or no positive number that fits follows it. `end` receives the position
// after the number's digits.
long headerNumber(const char* header, const char* label, const char** end) {
    const char* found = std::strstr(header, label);
    if (!found) return 0;
    const char* digits = found + std::strlen(label);
    char* after = nullptr;
    const long value = std::strtol(digits, &after, 10);
    if (after == digits || value <= 0 || value > std::numeric_limits<int32_t>::max()) return 0;
    if (end) *end = after;
    return value;
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
    const uint64_t texels = uint64_t{width} * height;
    if (!usesRunLength(data, size, width)) {
        if (texels > size / 4) return false;
        for (uint64_t i = 0; i < texels; ++i)
            packPixel(data + 4 * i, maxLuminance, out + 4 * i);
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
        uint8_t* row = out + size_t{width} * 4 * y;
        for (uint32_t x = 0; x < width; ++x)
            packPixel(&line[4 * x], maxLuminance, row + 4 * x);
    }
    return true;
}

bool RGBECodec::decode(std::shared_ptr<File>& file, Image& image) {
    if (!file) return false;
    const uint32_t start = file->tell();
    char header[kHeaderWindow] = {};
    file->read(header, kHeaderWindow);
    header[kHeaderWindow - 1] = '\0';

    if (!std::strstr(header, "FORMAT=32-bit_rle_rgbe")) {
        logMessage("RGBE: no \"FORMAT=32-bit_rle_rgbe\" line in the header\n");
        return false;
    }
    const char* afterWidth = nullptr;
    const long height = headerNumber(header, "-Y ", nullptr);
    const long width = headerNumber(header, "+X ", &afterWidth);
    if (height == 0 || width == 0) {
        logMessage("RGBE: no \"-Y <height> +X <width>\" resolution line with positive sizes\n");
        return false;
    }
    // The pixels start after the character that ends the resolution line.
    const uint64_t dataStart = start + uint64_t(afterWidth - header) + 1;
    const uint64_t fileEnd = file->seek(0, SEEK_FROM_END);
    if (fileEnd < dataStart) {
        logMessage("RGBE: no pixel data after the header\n");
        return false;
    }
    std::vector<uint8_t> data(static_cast<size_t>(fileEnd - dataStart));
    file->seek(static_cast<int32_t>(dataStart), SEEK_FROM_START);
    data.resize(file->read(data.data(), static_cast<uint32_t>(data.size())));

    const auto w = static_cast<uint32_t>(width);
    const auto h = static_cast<uint32_t>(height);
    // Even the most compact encoding cannot hold more texels than this, so larger
    // sizes are refused before allocating.
    const uint64_t bytesPerLine =
        usesRunLength(data.data(), data.size(), w) ? shortestEncodedLine(w) : uint64_t{w} * 4;
    if (bytesPerLine > data.size() / h) {
        logFormat("RGBE: %ldx%ld pixels need more data than the file's %zu bytes\n", width, height,
                  data.size());
        return false;
    }

    Image decoded;
    uint8_t* pixels =
        decoded.create(static_cast<int32_t>(w), static_cast<int32_t>(h), 1, FORMAT_RGBA8, 1, 1);
    if (!pixels) {
        logMessage("RGBE: out of memory for the pixel data\n");
        return false;
    }
    if (!decodePixels(data.data(), data.size(), w, h, m_maxLuminance, pixels)) {
        logMessage("RGBE: corrupt or truncated run-length data\n");
        return false;
    }
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
