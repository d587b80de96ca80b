#pragma once

#include "core/Vector3.h"
#include "prt/SHCoeffs.h"

#include <cstdint>
#include <string>

namespace Vrenn {

class Image;

// Light probes made from HDR panoramas in latitude-longitude layout.
//
// Direction convention (y up, the engine's world axes): row 0 is the top of the picture and
// looks at +y, the last row at -y, each row covering an equal band of polar angle from +y.
// Across a row the view turns to the right as seen by a viewer at the centre who looks at
// the middle column: the left edge looks at +z, a quarter across at -x, the middle at -z,
// three quarters across at +x, and the right edge at +z again. A texel's centre (column
// c + 0.5, row r + 0.5 of width w, height h) has
//     phi   = 2 pi ((c + 0.5) / w - 0.5),  theta = pi (r + 0.5) / h,
//     d     = (sin theta sin phi, cos theta, -sin theta cos phi).
// Shifting the columns to the right by a quarter of the width turns the sky by -90 degrees
// about y (-z goes to +x).

// The unit direction of the point (u, v) of a panorama, u and v running from 0 to 1 across
// its width and down its height.
Vec3 panoramaDirection(float u, float v);

// The panorama's radiance (FORMAT_RGB32F, or FORMAT_RGBA32F whose alpha plays no part; one
// face, one level, width and height at least 1)
// projected onto the SH basis of bands 0-4: per channel the sum over the texels of
// radiance * Y_i(texel centre) * the texel's solid angle, the solid angle of the band of
// rows between the texel's top and bottom edges, 2 pi / w * (cos theta_top - cos theta_bottom),
// so the texels cover the sphere exactly. Sums are kept in double precision. Non-finite and
// negative texels count as 0. False, with coeffs unchanged, for an image not so.
bool projectPanorama(const Image& panorama, SHCoeffs& coeffs);

// The panorama's sky as a cube map of size x size texels per face, one level, four half
// floats per texel (alpha 1), with the faces and their layout of makeSkyCube: each texel is
// the panorama sampled bilinearly (wrapping across the left and right edges, clamped at the
// top and bottom rows) in the direction of its centre. Values beyond the half-float range
// are clamped to its largest finite value. False, with the image unchanged, for a panorama
// that is not FORMAT_RGB32F or FORMAT_RGBA32F with one face, or a size below 1.
bool panoramaSkyCube(const Image& panorama, int32_t size, Image& image);

// The cube face size for a panorama of the given width: width / 4, at least 64 and at most
// 2048 (each face of a cube then has about the texel density of the panorama's equator).
int32_t panoramaSkyCubeSize(int32_t panoramaWidth);

// Probe coefficient files: three lines of 25 numbers separated by blanks, red, green, blue,
// in the basis index order, each with 9 significant digits (a float comes back exactly).
std::string formatProbeCoefficients(const SHCoeffs& coeffs);
// Parses such a file's text: exactly 75 finite numbers on three lines of 25. False, with
// coeffs unchanged and the problem in why, otherwise.
bool parseProbeCoefficients(const std::string& text, SHCoeffs& coeffs, std::string& why);

// The largest probe coefficient file read: 75 numbers take a few kilobytes at most, so
// anything bigger is not one (and is not read into memory).
constexpr uint32_t kMaxProbeFileBytes = 64 * 1024;

// Reads and parses a probe coefficient file through the data file system (openDataFile, so
// a name from a run folder stays inside it). False, with coeffs unchanged and the reason in
// why, when the file cannot be opened, is larger than kMaxProbeFileBytes or does not parse.
bool loadProbeCoefficients(const std::string& fileName, SHCoeffs& coeffs, std::string& why);

} // namespace Vrenn
