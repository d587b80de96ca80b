#include "assetgen/Logo.h"

#include <algorithm>

namespace Vrenn::AssetGen {

namespace {
constexpr char kName[] = "VRENN";
constexpr int kPixelHeight = 52;
constexpr std::array<float, 3> kTop{1.0f, 0.95f, 0.6f};
constexpr std::array<float, 3> kBottom{1.0f, 0.45f, 0.1f};
} // namespace

bool buildLogo(const std::string& fontFile, std::vector<uint8_t>& rgba, std::string& error) {
    TextRaster raster(fontFile, kPixelHeight);
    if (!raster.ok()) {
        error = raster.error();
        return false;
    }
    int width = 0;
    for (const char* c = kName; *c; ++c)
        width += raster.advance(static_cast<char32_t>(*c));
    Coverage text;
    text.width = kLogoWidth;
    text.height = kLogoHeight;
    text.values.assign(static_cast<size_t>(kLogoWidth) * kLogoHeight, 0);
    // Capitals only: centre the cap height (about the ascender less its accent room).
    const int baseline = (kLogoHeight + raster.ascender() * 3 / 4) / 2;
    int pen = std::max(0, (kLogoWidth - width) / 2);
    for (const char* c = kName; *c; ++c)
        pen += std::max(0, raster.draw(static_cast<char32_t>(*c), pen, baseline, text, 0, 0,
                                       kLogoWidth, kLogoHeight));

    rgba.assign(static_cast<size_t>(kLogoWidth) * kLogoHeight * 4, 0);
    for (int y = 0; y < kLogoHeight; ++y) {
        const float t = static_cast<float>(y) / (kLogoHeight - 1);
        for (int x = 0; x < kLogoWidth; ++x) {
            const float a = text.at(x, y) / 255.0f;
            uint8_t* out = &rgba[(static_cast<size_t>(y) * kLogoWidth + x) * 4];
            for (int k = 0; k < 3; ++k)
                out[k] = static_cast<uint8_t>(255.0f * a * (kTop[k] + (kBottom[k] - kTop[k]) * t));
            out[3] = text.at(x, y);
        }
    }
    return true;
}

} // namespace Vrenn::AssetGen
