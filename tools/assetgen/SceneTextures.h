#pragma once

#include "fs/Image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Vrenn::AssetGen {

// Texels along each side of every scene texture. Texture-coordinate set 0 of the demo
// scene repeats every 128 world units, so this is two texels per world unit.
constexpr int kSceneTextureSize = 256;

enum class SurfacePattern { Tiles, Bricks, Stone };

// How one surface material of the demo scene looks.
struct SurfaceLook {
    const char* material; // the material name the scene's surfaces carry
    SurfacePattern pattern;
    float colour[3];    // base albedo, linear 0 ... 1
    float colourSpread; // how far single tiles, bricks or stone patches stray from it
    int cells;          // tiles or bricks per texture side; noise cells for stone
    float bumpStrength; // slope of the normal map per unit of height per texel
    float gloss;        // glossiness kept in the albedo's alpha (0 matt ... 1)
    uint32_t seed;
};

// The looks of the six scene materials: "floor" (tiles), "walls" (bricks), then rough
// stone in four tints and grains for "columns", "stone", "arch" and "blocks".
const std::vector<SurfaceLook>& sceneSurfaceLooks();

// One material's textures, each RGBA8 with a full mip chain down to 1 x 1:
//   albedo: colour in rgb, glossiness in alpha;
//   normals: the unit tangent-space normal n as rgb = n * 0.5 + 0.5 (alpha 255), x along
//   texture u, y along texture v (down the image: row 0 is v = 0), z out of the surface.
// Both tile seamlessly. size must be a power of two of at least 8.
struct SurfaceTextures {
    Image albedo;
    Image normals;
};
bool drawSurfaceTextures(const SurfaceLook& look, int size, SurfaceTextures& out);

// Tangent-space normals of a height field that wraps around at its edges (size x size
// values, row 0 first): n = normalise(-strength * dh/dx, -strength * dh/dy, 1), central
// differences, written as rgb = n * 0.5 + 0.5, alpha 255, into level 0 of normals.
void normalsFromHeight(const std::vector<float>& height, int size, float strength,
                       uint8_t* normals);

// Fills levels 1 ... of an RGBA8 image from level 0 by averaging 2 x 2 texels. With
// unitNormals the averaged rgb is decoded as a vector, normalised and encoded again, so
// that every level holds unit normals.
void buildMipChain(Image& image, bool unitNormals);

// The files drawSceneTextures writes under a run folder, relative to it:
// textures/scene/<material>_albedo.dds and textures/scene/<material>_normal.dds.
std::string albedoPath(const SurfaceLook& look);
std::string normalPath(const SurfaceLook& look);

// Draws every scene material's textures into runDir (creating the folders). False with
// error set when a file cannot be written; written lists the files made.
bool drawSceneTextures(const std::string& runDir, std::vector<std::string>& written,
                       std::string& error);

} // namespace Vrenn::AssetGen
