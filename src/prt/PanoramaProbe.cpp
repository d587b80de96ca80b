#include "prt/PanoramaProbe.h"

#include "fs/FileSystem.h"
#include "fs/HalfFloat.h"
#include "fs/Image.h"
#include "prt/SkyCube.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <vector>

namespace Vrenn {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kLargestHalf = 65504.0f;

bool isPanorama(const Image& image) {
    return image.data() && (image.format() == FORMAT_RGB32F || image.format() == FORMAT_RGBA32F) &&
           image.faces() == 1 && image.depth() == 1 && image.width() >= 1 && image.height() >= 1;
}

// The texels of a panorama: red, green and blue of RGB or RGBA floats (alpha is not light).
struct PanoramaTexels {
    explicit PanoramaTexels(const Image& image)
        : pixels(reinterpret_cast<const float*>(image.data())), width(size_t(image.width())),
          stride(size_t(channelCount(image.format()))) {}

    // Texel (column, row), each channel made 0 where it is negative or not finite.
    void at(int32_t column, int32_t row, float out[3]) const {
        const float* texel = pixels + (size_t(row) * width + size_t(column)) * stride;
        for (int c = 0; c < 3; ++c)
            out[c] = std::isfinite(texel[c]) && texel[c] > 0.0f ? texel[c] : 0.0f;
    }

    const float* pixels;
    size_t width;
    size_t stride;
};

} // namespace

Vec3 panoramaDirection(float u, float v) {
    const double phi = 2.0 * kPi * (double(u) - 0.5);
    const double theta = kPi * double(v);
    const double s = std::sin(theta);
    return {float(s * std::sin(phi)), float(std::cos(theta)), float(-s * std::cos(phi))};
}

bool projectPanorama(const Image& panorama, SHCoeffs& coeffs) {
    if (!isPanorama(panorama)) return false;
    const int32_t width = panorama.width();
    const int32_t height = panorama.height();
    const PanoramaTexels texels(panorama);
    std::array<std::array<double, kSHCoeffCount>, 3> sums{};
    float basis[kSHCoeffCount];
    for (int32_t row = 0; row < height; ++row) {
        const double top = kPi * double(row) / double(height);
        const double bottom = kPi * double(row + 1) / double(height);
        const double solidAngle = 2.0 * kPi / double(width) * (std::cos(top) - std::cos(bottom));
        const float v = (float(row) + 0.5f) / float(height);
        for (int32_t column = 0; column < width; ++column) {
            float radiance[3];
            texels.at(column, row, radiance);
            if (radiance[0] == 0.0f && radiance[1] == 0.0f && radiance[2] == 0.0f) continue;
            // The SH basis measures theta from +z and phi from +x towards +y.
            const Vec3 d = panoramaDirection((float(column) + 0.5f) / float(width), v);
            const double z = std::clamp(double(d.z), -1.0, 1.0);
            shEvaluateAll(float(std::acos(z)), float(std::atan2(double(d.y), double(d.x))), basis);
            for (int c = 0; c < 3; ++c) {
                const double weight = double(radiance[c]) * solidAngle;
                if (weight == 0.0) continue;
                for (size_t i = 0; i < size_t(kSHCoeffCount); ++i)
                    sums[size_t(c)][i] += weight * double(basis[i]);
            }
        }
    }
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < size_t(kSHCoeffCount); ++i)
            coeffs.channel(c)[i] = float(sums[size_t(c)][i]);
    return true;
}

bool panoramaSkyCube(const Image& panorama, int32_t size, Image& image) {
    if (!isPanorama(panorama) || size < 1) return false;
    Image cube;
    if (!cube.create(size, size, 1, FORMAT_RGBA16F, 1, 6)) return false;
    const int32_t width = panorama.width();
    const int32_t height = panorama.height();
    const PanoramaTexels texels(panorama);
    const uint16_t one = floatToHalf(1.0f);
    for (int face = 0; face < 6; ++face) {
        auto* texel = reinterpret_cast<uint16_t*>(cube.getFaceData(face, 0));
        for (int32_t row = 0; row < size; ++row) {
            const float t = (float(row) + 0.5f) / float(size);
            for (int32_t column = 0; column < size; ++column, texel += 4) {
                const float s = (float(column) + 0.5f) / float(size);
                const Vec3 d = cubeFaceDirection(face, s, t);
                // The inverse of panoramaDirection, in texel units (texel centres at + 0.5).
                const double u = std::atan2(double(d.x), -double(d.z)) / (2.0 * kPi) + 0.5;
                const double v = std::acos(std::clamp(double(d.y), -1.0, 1.0)) / kPi;
                const double x = u * width - 0.5;
                const double y = std::clamp(v * height - 0.5, 0.0, double(height - 1));
                const double x0 = std::floor(x);
                const double y0 = std::floor(y);
                const auto fx = float(x - x0);
                const auto fy = float(y - y0);
                const auto wrap = [width](double at) {
                    const auto c = static_cast<int32_t>(std::fmod(at, double(width)));
                    return c < 0 ? c + width : c;
                };
                const int32_t c0 = wrap(x0);
                const int32_t c1 = wrap(x0 + 1.0);
                const auto r0 = static_cast<int32_t>(y0);
                const int32_t r1 = std::min(r0 + 1, height - 1);
                float a[3], b[3], c[3], e[3];
                texels.at(c0, r0, a);
                texels.at(c1, r0, b);
                texels.at(c0, r1, c);
                texels.at(c1, r1, e);
                for (int k = 0; k < 3; ++k) {
                    const float upper = a[k] + (b[k] - a[k]) * fx;
                    const float lower = c[k] + (e[k] - c[k]) * fx;
                    const float value = upper + (lower - upper) * fy;
                    texel[k] = floatToHalf(std::min(value, kLargestHalf));
                }
                texel[3] = one;
            }
        }
    }
    image = std::move(cube);
    return true;
}

int32_t panoramaSkyCubeSize(int32_t panoramaWidth) {
    return std::clamp(panoramaWidth / 4, 64, 2048);
}

std::string formatProbeCoefficients(const SHCoeffs& coeffs) {
    std::string text;
    char number[32];
    for (int c = 0; c < 3; ++c) {
        for (size_t i = 0; i < size_t(kSHCoeffCount); ++i) {
            std::snprintf(number, sizeof number, "%s%.9g", i == 0 ? "" : " ",
                          double(coeffs.channel(c)[i]));
            text += number;
        }
        text += '\n';
    }
    return text;
}

bool parseProbeCoefficients(const std::string& text, SHCoeffs& coeffs, std::string& why) {
    SHCoeffs parsed;
    std::istringstream lines(text);
    std::string line;
    int channel = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        if (channel == 3) {
            why = "more than three lines of numbers";
            return false;
        }
        const char* p = line.c_str();
        size_t count = 0;
        for (;;) {
            while (*p == ' ' || *p == '\t')
                ++p;
            if (*p == '\0') break;
            char* end = nullptr;
            const float value = std::strtof(p, &end);
            if (end == p || !std::isfinite(value) ||
                (*end != '\0' && *end != ' ' && *end != '\t')) {
                why = "line " + std::to_string(channel + 1) + " holds something not a number";
                return false;
            }
            if (count == size_t(kSHCoeffCount)) {
                why = "line " + std::to_string(channel + 1) + " has more than 25 numbers";
                return false;
            }
            parsed.channel(channel)[count++] = value;
            p = end;
        }
        if (count != size_t(kSHCoeffCount)) {
            why = "line " + std::to_string(channel + 1) + " has " + std::to_string(count) +
                  " numbers, not 25";
            return false;
        }
        ++channel;
    }
    if (channel != 3) {
        why = "fewer than three lines of numbers";
        return false;
    }
    coeffs = parsed;
    return true;
}

bool loadProbeCoefficients(const std::string& fileName, SHCoeffs& coeffs, std::string& why) {
    std::string failure;
    const std::shared_ptr<File> file = openDataFile(fileName, false, &failure);
    if (!file) {
        why = failure.empty() ? "the file is not there" : failure;
        return false;
    }
    if (file->size() > kMaxProbeFileBytes) {
        why = "the file is larger than a probe file (" + std::to_string(file->size()) + " bytes)";
        return false;
    }
    const std::vector<uint8_t> bytes = file->readRest();
    return parseProbeCoefficients(std::string(bytes.begin(), bytes.end()), coeffs, why);
}

} // namespace Vrenn
