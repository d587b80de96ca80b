#include "assetgen/SceneTextures.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace Vrenn::AssetGen {

namespace {

// Integer hash of a lattice point and a seed, well mixed in all 32 bits.
uint32_t hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

// A value in [0, 1) for a lattice point.
float unit(uint32_t x, uint32_t y, uint32_t seed) {
    return float(hash(x, y, seed) >> 8) * (1.0f / 16777216.0f);
}

float smooth(float t) {
    return t * t * (3.0f - 2.0f * t);
}

float smoothstep(float e0, float e1, float x) {
    return smooth(std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f));
}

// Value noise on a lattice of period x period cells, x and y in cells: tiles seamlessly
// over one period.
float valueNoise(float x, float y, int period, uint32_t seed) {
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = int(fx), iy = int(fy);
    const float tx = smooth(x - fx), ty = smooth(y - fy);
    auto at = [&](int i, int j) {
        const auto wrap = [period](int v) { return uint32_t(((v % period) + period) % period); };
        return unit(wrap(i), wrap(j), seed);
    };
    const float a = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * tx;
    const float b = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * tx;
    return a + (b - a) * ty;
}

// Octaves of value noise at u, v (0 ... 1 over the texture), the first with cells cells per
// side, each next one twice as fine and half as strong; 0 ... 1.
float fractalNoise(float u, float v, int cells, int octaves, uint32_t seed) {
    float sum = 0.0f, amplitude = 1.0f, total = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        const int period = cells << o;
        sum +=
            amplitude * valueNoise(u * float(period), v * float(period), period, seed + 977u * o);
        total += amplitude;
        amplitude *= 0.5f;
    }
    return sum / total;
}

// A colour strayed from base by a random amount per cell: mostly brightness, a little hue.
void strayColour(const float base[3], float spread, uint32_t cellHash, float out[3]) {
    const float brightness = 1.0f + spread * (float(cellHash & 0xffu) / 255.0f * 2.0f - 1.0f);
    for (int c = 0; c < 3; ++c) {
        const float hue =
            1.0f +
            0.3f * spread * (float((cellHash >> (8 + 8 * c)) & 0xffu) / 255.0f * 2.0f - 1.0f);
        out[c] = base[c] * brightness * hue;
    }
}

struct Fields {
    std::vector<float> height; // 0 (deepest) ... 1
    std::vector<float> colour; // rgb per texel
    std::vector<float> gloss;  // per texel
};

// Rectangular cells (tiles or bricks) of cellW x cellH texels, every other row shifted by
// shift texels, with joints of half-width joint and bevelled edges.
void drawCells(const SurfaceLook& look, int size, int cellW, int cellH, int shift, float joint,
               float bevel, const float jointColour[3], Fields& f) {
    for (int y = 0; y < size; ++y) {
        const int row = y / cellH;
        const float ly = float(y % cellH) + 0.5f;
        for (int x = 0; x < size; ++x) {
            const int xs = (x + (row % 2) * shift) % size;
            const int column = xs / cellW;
            const float lx = float(xs % cellW) + 0.5f;
            const float edge = std::min({lx, float(cellW) - lx, ly, float(cellH) - ly});
            const float u = (float(x) + 0.5f) / float(size), v = (float(y) + 0.5f) / float(size);
            const float grain = fractalNoise(u, v, 16, 4, look.seed + 11u);
            const float mottle = fractalNoise(u, v, 4, 3, look.seed + 23u);
            const size_t i = size_t(y) * size_t(size) + size_t(x);
            const uint32_t cellHash = hash(uint32_t(column), uint32_t(row), look.seed);
            // Each cell sits a little tilted and at its own height; its faces are slightly rough.
            const float tilt = (unit(uint32_t(column), uint32_t(row), look.seed + 5u) - 0.5f) *
                               0.15f * (lx / float(cellW) - 0.5f);
            const float top = 0.85f + 0.1f * unit(uint32_t(column), uint32_t(row), look.seed + 7u) +
                              tilt + 0.06f * (grain - 0.5f);
            const float rise = smoothstep(joint, joint + bevel, edge);
            f.height[i] = 0.1f * grain + rise * (top - 0.1f * grain);
            float cell[3];
            strayColour(look.colour, look.colourSpread, cellHash, cell);
            for (int c = 0; c < 3; ++c) {
                const float face = cell[c] * (0.85f + 0.3f * mottle) * (0.9f + 0.2f * grain);
                const float gap = jointColour[c] * (0.8f + 0.4f * grain);
                f.colour[i * 3 + size_t(c)] =
                    gap + (face - gap) * smoothstep(joint - 0.5f, joint + 0.5f, edge);
            }
            f.gloss[i] = look.gloss * rise * (0.7f + 0.3f * mottle);
        }
    }
}

// Rough stone: layered noise with a few crack-like ridges, tinted by a second noise.
void drawStone(const SurfaceLook& look, int size, Fields& f) {
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float u = (float(x) + 0.5f) / float(size), v = (float(y) + 0.5f) / float(size);
            const float body = fractalNoise(u, v, look.cells, 5, look.seed);
            const float vein = fractalNoise(u, v, look.cells / 2 + 1, 4, look.seed + 31u);
            // Narrow valleys where the vein noise crosses its middle.
            const float crack = smoothstep(0.0f, 0.04f, std::fabs(vein - 0.5f));
            const float tint = fractalNoise(u, v, 3, 3, look.seed + 57u);
            const size_t i = size_t(y) * size_t(size) + size_t(x);
            f.height[i] = body * (0.4f + 0.6f * crack);
            for (int c = 0; c < 3; ++c) {
                const float shade = 0.7f + 0.5f * body +
                                    look.colourSpread * (tint - 0.5f) *
                                        (c == 0   ? 1.2f
                                         : c == 1 ? 1.0f
                                                  : 0.7f);
                f.colour[i * 3 + size_t(c)] = look.colour[c] * shade * (0.6f + 0.4f * crack);
            }
            f.gloss[i] = look.gloss * body * crack;
        }
}

uint8_t toByte(float value) {
    return uint8_t(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

} // namespace

const std::vector<SurfaceLook>& sceneSurfaceLooks() {
    static const std::vector<SurfaceLook> looks = {
        {"floor", SurfacePattern::Tiles, {0.62f, 0.45f, 0.34f}, 0.18f, 4, 3.0f, 0.6f, 101u},
        {"walls", SurfacePattern::Bricks, {0.58f, 0.30f, 0.22f}, 0.22f, 4, 3.0f, 0.1f, 202u},
        {"columns", SurfacePattern::Stone, {0.78f, 0.74f, 0.64f}, 0.25f, 6, 10.0f, 0.3f, 303u},
        {"stone", SurfacePattern::Stone, {0.55f, 0.55f, 0.53f}, 0.35f, 8, 16.0f, 0.15f, 404u},
        {"arch", SurfacePattern::Stone, {0.74f, 0.60f, 0.42f}, 0.30f, 5, 12.0f, 0.2f, 505u},
        {"blocks", SurfacePattern::Stone, {0.42f, 0.40f, 0.42f}, 0.40f, 10, 20.0f, 0.1f, 606u},
    };
    return looks;
}

void normalsFromHeight(const std::vector<float>& height, int size, float strength,
                       uint8_t* normals) {
    auto h = [&](int x, int y) {
        return height[size_t((y + size) % size) * size_t(size) + size_t((x + size) % size)];
    };
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float dx = (h(x + 1, y) - h(x - 1, y)) * 0.5f;
            const float dy = (h(x, y + 1) - h(x, y - 1)) * 0.5f;
            float n[3] = {-strength * dx, -strength * dy, 1.0f};
            const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            uint8_t* out = normals + (size_t(y) * size_t(size) + size_t(x)) * 4;
            for (int c = 0; c < 3; ++c)
                out[c] = toByte(n[c] / length * 0.5f + 0.5f);
            out[3] = 255;
        }
}

void buildMipChain(Image& image, bool unitNormals) {
    for (int32_t level = 1; level < image.mipLevels(); ++level) {
        const uint8_t* src = image.getLevelData(level - 1);
        uint8_t* dst = image.getLevelData(level);
        const int sw = std::max(1, image.width() >> (level - 1));
        const int sh = std::max(1, image.height() >> (level - 1));
        const int dw = std::max(1, sw / 2), dh = std::max(1, sh / 2);
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x) {
                float sum[4] = {};
                for (int j = 0; j < 2; ++j)
                    for (int i = 0; i < 2; ++i) {
                        const int sx = std::min(2 * x + i, sw - 1),
                                  sy = std::min(2 * y + j, sh - 1);
                        const uint8_t* p = src + (size_t(sy) * size_t(sw) + size_t(sx)) * 4;
                        for (int c = 0; c < 4; ++c)
                            sum[c] += unitNormals && c < 3 ? float(p[c]) / 127.5f - 1.0f
                                                           : float(p[c]) / 255.0f;
                    }
                uint8_t* out = dst + (size_t(y) * size_t(dw) + size_t(x)) * 4;
                if (unitNormals) {
                    // Bumps that cancel out in the average leave a short vector: a flat normal.
                    float length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
                    if (!(length > 1e-6f)) {
                        sum[0] = sum[1] = 0.0f;
                        sum[2] = length = 1.0f;
                    }
                    for (int c = 0; c < 3; ++c)
                        out[c] = toByte(sum[c] / length * 0.5f + 0.5f);
                    out[3] = toByte(sum[3] * 0.25f);
                } else {
                    for (int c = 0; c < 4; ++c)
                        out[c] = toByte(sum[c] * 0.25f);
                }
            }
    }
}

bool drawSurfaceTextures(const SurfaceLook& look, int size, SurfaceTextures& out) {
    if (size < 8 || (size & (size - 1)) != 0) return false;
    const size_t texels = size_t(size) * size_t(size);
    Fields f{std::vector<float>(texels), std::vector<float>(texels * 3),
             std::vector<float>(texels)};
    switch (look.pattern) {
    case SurfacePattern::Tiles: {
        const float grout[3] = {0.32f, 0.31f, 0.29f};
        const int cell = size / look.cells;
        drawCells(look, size, cell, cell, 0, 1.5f, 0.05f * float(cell), grout, f);
        break;
    }
    case SurfacePattern::Bricks: {
        const float mortar[3] = {0.55f, 0.53f, 0.48f};
        const int width = size / look.cells;
        drawCells(look, size, width, width / 2, width / 2, 1.5f, 0.08f * float(width), mortar, f);
        break;
    }
    case SurfacePattern::Stone:
        drawStone(look, size, f);
        break;
    }

    const int32_t levels = Image::fullChainLength(uint32_t(size), uint32_t(size), 1);
    uint8_t* albedo = out.albedo.create(size, size, 1, FORMAT_RGBA8, levels, 1);
    uint8_t* normals = out.normals.create(size, size, 1, FORMAT_RGBA8, levels, 1);
    if (!albedo || !normals) return false;
    for (size_t i = 0; i < texels; ++i) {
        for (size_t c = 0; c < 3; ++c)
            albedo[i * 4 + c] = toByte(f.colour[i * 3 + c]);
        albedo[i * 4 + 3] = toByte(f.gloss[i]);
    }
    normalsFromHeight(f.height, size, look.bumpStrength, normals);
    buildMipChain(out.albedo, false);
    buildMipChain(out.normals, true);
    return true;
}

std::string albedoPath(const SurfaceLook& look) {
    return std::string("textures/scene/") + look.material + "_albedo.dds";
}

std::string normalPath(const SurfaceLook& look) {
    return std::string("textures/scene/") + look.material + "_normal.dds";
}

bool drawSceneTextures(const std::string& runDir, std::vector<std::string>& written,
                       std::string& error) {
    std::error_code ignored;
    std::filesystem::create_directories(runDir + "/textures/scene", ignored);
    for (const SurfaceLook& look : sceneSurfaceLooks()) {
        SurfaceTextures textures;
        if (!drawSurfaceTextures(look, kSceneTextureSize, textures)) {
            error = std::string("cannot draw the textures of ") + look.material;
            return false;
        }
        for (auto [image, file] : {std::pair{&textures.albedo, albedoPath(look)},
                                   std::pair{&textures.normals, normalPath(look)}}) {
            const std::string path = runDir + "/" + file;
            if (!image->save(path)) {
                error = "cannot write " + path;
                return false;
            }
            written.push_back(path);
        }
    }
    return true;
}

} // namespace Vrenn::AssetGen
