#pragma once

#include "assetgen/TextRaster.h"

#include <array>

namespace Vrenn::AssetGen {

constexpr int kLogoWidth = 256;
constexpr int kLogoHeight = 64;

// The program's logo: its name in bold letters, centred, as RGBA bytes (red first)
// on black. It is drawn with additive blending, so black is see-through and the
// letters glow from warm orange at the bottom to pale yellow at the top.
bool buildLogo(const std::string& fontFile, std::vector<uint8_t>& rgba, std::string& error);

} // namespace Vrenn::AssetGen
