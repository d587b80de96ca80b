#pragma once

#include "fs/ImageFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Vrenn {

class Image;

// The layout of the SH transfer bake: per texel and per tangent-space basis direction k
// (0, 1, 2), 25 transfer coefficients stored as half floats in 19 planes of RGBA:
//
//   planes 2k, 2k + 1       coefficients 1-4 and 5-8 of basis k
//   plane 6                 coefficient 0 of basis k in channel k (channel a holds 0)
//   planes 7 + 4k ... 10 + 4k  coefficients 9-12, 13-16, 17-20, 21-24 of basis k
//
// so planes 0-6 hold bands 0-2 of all three bases and planes 7-18 bands 3 and 4.
constexpr int kTransferPlaneCount = 19;
constexpr ImageFormat kTransferFormat = FORMAT_RGBA16F;
constexpr int kTransferBasisCount = 3;

// Stores the 25 coefficients of basis k as half floats into the texel whose plane-0 bytes
// start at texel, planes planeBytes apart.
void writeTransferCoefficients(uint8_t* texel, size_t planeBytes, int basis,
                               const float* coefficients);
// Reads them back (the inverse of writeTransferCoefficients, up to the half-float rounding).
void readTransferCoefficients(const uint8_t* texel, size_t planeBytes, int basis,
                              float* coefficients);

// The files a bake writes.
constexpr const char* kTransferFileNames[3] = {"shtex0.dds", "shtex1.dds", "shtex2.dds"};
constexpr const char* kAmbientFileName = "ambient.dds";
constexpr const char* kSavedModelName = "models/saved.vmsh";

// Slices of the three transfer files: "shtex0.dds" planes 0-6 and a slice of zeros (the
// band 0-2 textures, eight slices like the second file), "shtex1.dds" planes 7-14,
// "shtex2.dds" planes 15-18.
constexpr int kTransferFileSlices[3] = {8, 8, 4};
constexpr int kTransferFileFirstPlane[3] = {0, 7, 15};
constexpr int kTransferFileDataSlices[3] = {7, 8, 4};

// Copies the planes of one transfer file out of a 19-plane bake image into out (a volume of
// the file's slice count). False, out untouched, for another image shape or file index.
bool transferFileImage(const Image& bake, int file, Image& out);

} // namespace Vrenn
