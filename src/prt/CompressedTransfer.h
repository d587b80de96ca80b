#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

class Image;

struct SHCoeffs;

// Transfer compressed by clustered principal component analysis. Every texel's transfer is one
// vector of 75 values (the 25 coefficients of basis 0, then of basis 1, then of basis 2). The
// texels are grouped into clusters; a cluster keeps its mean vector and K orthonormal
// component vectors, and a texel keeps its cluster and K weights:
//     transfer(texel) ~ mean(c) + sum over j of weight(texel, j) * component(c, j)
// Texels whose transfer is all zero (outside every chart) belong to no cluster and come back
// as zero.
constexpr int kTransferVectorSize = 75;
constexpr uint16_t kNoCluster = 0xffff;
// Cluster numbers travel to the GPU as half floats, exact up to 2048.
constexpr uint32_t kMaxClusters = 2048;
constexpr uint32_t kMaxComponents = 15;
constexpr const char* kCompressedTransferFileName = "shtex.cpca";

struct CompressedTransfer {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t clusters = 0;
    uint32_t components = 0;
    // The transfer files' checksum (transferFilesChecksum) as compressed: a later bake of
    // the folder makes it disagree.
    uint64_t sourceChecksum = 0;
    // Per cluster the mean, then its components, 75 floats each.
    std::vector<float> table;
    // Per texel (row 0 first) the cluster, or kNoCluster.
    std::vector<uint16_t> texelCluster;
    // Per texel its K weights as half floats.
    std::vector<uint16_t> texelWeights;

    size_t texelCount() const { return size_t(width) * size_t(height); }
    // Vector j of cluster c: 0 the mean, 1 ... K the components.
    const float* clusterVector(uint32_t c, uint32_t j) const {
        return table.data() + (size_t(c) * (components + 1) + j) * kTransferVectorSize;
    }
    // The reconstructed 75 values of a texel.
    void reconstruct(size_t texel, float* out) const;
};

// What the lightmap pass reads. Per texel, groups of four values: (cluster, w1, w2, w3),
// (w4, ..., w7), ... with the cluster as a number (-1 for none) and zeros past the K weights.
// Per cluster, the lit table: for basis k, colour channel ch and group g, the lighting dotted
// with the vectors 4g ... 4g + 3 (vector 0 the mean, j the component j) in four floats; the
// pass puts a 1 in place of the cluster and dots each group of a texel with the table's.
inline uint32_t texelGroups(uint32_t components) {
    return (components + 4) / 4;
}
// The texel values as half floats, group by group: every texel's group 0, then group 1, ...
// (rows top first, four halves a texel).
std::vector<uint16_t> texelGroupPlanes(const CompressedTransfer& transfer);
// The lit table, row c for cluster c, texel (3k + ch) * groups + g of the row holding four
// floats. out is resized to clusters * 9 * groups * 4 floats.
void lightClusters(const CompressedTransfer& transfer, const SHCoeffs& lighting,
                   std::vector<float>& out);

// The 75-value transfer vectors of a bake, texel by texel, from the three transfer files as
// loaded (8, 8 and 4 slices of four half floats of one size). False, with the reason, for
// anything else.
bool transferVectors(const std::array<std::shared_ptr<Image>, 3>& files, int32_t& width,
                     int32_t& height, std::vector<float>& vectors, std::string& why);

struct CompressOptions {
    uint32_t clusters = 256;
    uint32_t components = 7;
    // Worker threads; 0 takes one per core. Every count gives the same bytes.
    unsigned threads = 0;
    // Told what each step does as it starts (one short line, no newline).
    std::function<void(const std::string&)> progress;
};

struct CompressStats {
    size_t coveredTexels = 0;
    double rms = 0.0;       // root mean square of the error over covered texels' 75 values
    double worst = 0.0;     // largest absolute error of one value
    double signalRms = 0.0; // root mean square of the transfer itself, for scale
};

// Compresses width x height transfer vectors (75 floats per texel). Fewer covered texels than
// clusters give as many clusters as texels. False, with the reason, for bad options.
bool compressTransfer(const std::vector<float>& vectors, int32_t width, int32_t height,
                      const CompressOptions& options, CompressedTransfer& out, CompressStats& stats,
                      std::string& why);

// The error of out against the vectors it was made from.
CompressStats measureCompression(const std::vector<float>& vectors, const CompressedTransfer& out);

// The file: a 40-byte header (magic "VRNCPCA\0", u32 version 1, u32 width, u32 height,
// u32 clusters, u32 components, u32 0, u64 source checksum), the cluster table as
// little-endian floats, the texel clusters as u16, the texel weights as u16 half floats, then
// the FNV-1a 64 of every byte before it.
std::vector<uint8_t> encodeCompressedTransfer(const CompressedTransfer& transfer);
// False, with the reason in one short phrase, for a file that is not whole and sound: wrong
// magic or version, sizes out of range or not matching its length, a bad checksum, a cluster
// number past the clusters, or a value that is not finite.
bool decodeCompressedTransfer(const uint8_t* data, size_t size, CompressedTransfer& out,
                              std::string& why);

// The FNV-1a 64 of the three transfer files' own FNV-1a 64 checksums, in file order, or false
// with the reason. folder may be empty (the working directory).
bool transferFilesChecksum(const std::string& folder, uint64_t& checksum, std::string& why);

// Reads the transfer files of folder, compresses them and writes kCompressedTransferFileName
// beside them (whole or not at all). bytesBefore is the three files' size, bytesAfter the
// compressed file's.
bool compressRunFolder(const std::string& folder, const CompressOptions& options,
                       CompressStats& stats, uint64_t& bytesBefore, uint64_t& bytesAfter,
                       std::string& why);

// Reads folder's compressed transfer. False, with the reason, when it is missing (why empty
// then), damaged, or was made from other transfer files than the folder holds (when it holds
// any).
bool loadCompressedTransfer(const std::string& folder, CompressedTransfer& out, std::string& why);

} // namespace Vrenn
