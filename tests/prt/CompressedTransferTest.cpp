// Clustered-PCA compression of transfer: exact where the data allows it, the same bytes on any
// thread count, and a file format that refuses damage.

#include "prt/CompressedTransfer.h"

#include "fs/HalfFloat.h"
#include "prt/BakePart.h"
#include "prt/LcgRandom.h"
#include "prt/TransferTextures.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <set>

namespace Vrenn {
namespace {

constexpr int kDim = kTransferVectorSize;

float uniform(LcgRandom& random) {
    return random.nextUnit() * 2.0f - 1.0f;
}

// width x height vectors drawn from `clusters` groups, each a mean plus `rank` directions of
// its own; every fifth texel is left empty. group[t] says which group texel t came from.
std::vector<float> lowRankVectors(int width, int height, int clusters, int rank,
                                  std::vector<int>& group) {
    LcgRandom random(7);
    std::vector<float> means(size_t(clusters) * kDim), dirs(size_t(clusters * rank) * kDim);
    for (float& v : means)
        v = 4.0f * uniform(random);
    for (float& v : dirs)
        v = uniform(random);
    const size_t texels = size_t(width) * size_t(height);
    std::vector<float> out(texels * kDim, 0.0f);
    group.assign(texels, -1);
    for (size_t t = 0; t < texels; ++t) {
        if (t % 5 == 4) continue;
        const int g = int(((uint64_t(t) * 2654435761u) >> 12) % uint64_t(clusters)); // scattered
        group[t] = g;
        float* x = out.data() + t * kDim;
        for (int i = 0; i < kDim; ++i)
            x[i] = means[size_t(g) * kDim + size_t(i)];
        for (int r = 0; r < rank; ++r) {
            const float w = uniform(random);
            for (int i = 0; i < kDim; ++i)
                x[i] += w * dirs[(size_t(g) * rank + size_t(r)) * kDim + size_t(i)];
        }
    }
    return out;
}

struct Compressed {
    Compressed(const std::vector<float>& vectors, int w, int h, uint32_t clusters,
               uint32_t components, unsigned threads = 1) {
        CompressOptions options;
        options.clusters = clusters;
        options.components = components;
        options.threads = threads;
        std::string why;
        EXPECT_TRUE(compressTransfer(vectors, w, h, options, out, stats, why)) << why;
    }
    CompressedTransfer out;
    CompressStats stats;
};

TEST(CompressedTransfer, VectorsInAKDimensionalSpacePerClusterComeBackExactly) {
    std::vector<int> group;
    const int w = 24, h = 20;
    const auto vectors = lowRankVectors(w, h, 5, 3, group);
    const Compressed c(vectors, w, h, 5, 3);
    EXPECT_EQ(c.out.clusters, 5u);
    EXPECT_EQ(c.stats.coveredTexels, size_t(w * h - w * h / 5));
    // The shaders' texel planes start with the cluster, -1 where the texel is empty.
    const std::vector<uint16_t> planes = texelGroupPlanes(c.out);
    float r[kDim];
    float worst = 0.0f;
    std::vector<int> clusterOfGroup(5, -1);
    for (size_t t = 0; t < c.out.texelCount(); ++t) {
        EXPECT_EQ(halfToFloat(planes[t * 4]), group[t] < 0 ? -1.0f : c.out.texelCluster[t]);
        if (group[t] < 0) {
            EXPECT_EQ(c.out.texelCluster[t], kNoCluster);
            continue;
        }
        // The texels of one group share one cluster, and no two groups share one.
        int& cluster = clusterOfGroup[size_t(group[t])];
        if (cluster < 0) cluster = c.out.texelCluster[t];
        ASSERT_EQ(cluster, c.out.texelCluster[t]);
        c.out.reconstruct(t, r);
        for (int i = 0; i < kDim; ++i)
            worst = std::max(worst, std::abs(r[i] - vectors[t * kDim + size_t(i)]));
    }
    EXPECT_EQ(std::set<int>(clusterOfGroup.begin(), clusterOfGroup.end()).size(), 5u);
    // Weights are half floats (11 bits): errors of a few thousandths on values of about 5.
    EXPECT_LT(worst, 0.01f);
    EXPECT_NEAR(c.stats.worst, worst, 1e-6);

    // With fewer components than the data's rank the error shows, and is what stats says.
    const Compressed fewer(vectors, w, h, 5, 1);
    EXPECT_GT(fewer.stats.rms, 0.05);
    EXPECT_EQ(measureCompression(vectors, fewer.out).rms, fewer.stats.rms);
}

TEST(CompressedTransfer, SameBytesOnOneAndTwoThreadsAndRefusesBadOptions) {
    std::vector<int> group;
    const int w = 40, h = 30;
    auto vectors = lowRankVectors(w, h, 9, 6, group);
    // Fewer clusters than groups: the clustering has choices to make.
    EXPECT_EQ(encodeCompressedTransfer(Compressed(vectors, w, h, 6, 4, 1).out),
              encodeCompressedTransfer(Compressed(vectors, w, h, 6, 4, 2).out));

    CompressOptions options;
    CompressedTransfer out;
    CompressStats stats;
    std::string why;
    for (auto [c, k] :
         {std::pair{0u, 4u}, {kMaxClusters + 1, 4u}, {4u, 0u}, {4u, kMaxComponents + 1}}) {
        options.clusters = c;
        options.components = k;
        EXPECT_FALSE(compressTransfer(vectors, w, h, options, out, stats, why)) << c << " " << k;
    }
    options.clusters = options.components = 4;
    EXPECT_FALSE(compressTransfer(vectors, w + 1, h, options, out, stats, why));
    vectors[17] = std::nanf("");
    EXPECT_FALSE(compressTransfer(vectors, w, h, options, out, stats, why));
    EXPECT_NE(why.find("not finite"), std::string::npos);
}

TEST(CompressedTransfer, FileRoundTripsAndRefusesDamage) {
    std::vector<int> group;
    Compressed c(lowRankVectors(8, 6, 3, 2, group), 8, 6, 3, 2);
    c.out.sourceChecksum = 0x0123456789abcdefull;
    const std::vector<uint8_t> bytes = encodeCompressedTransfer(c.out);
    // Header, table, clusters, weights, checksum.
    const size_t firstCluster = 40 + 3 * 3 * 75 * 4;
    ASSERT_EQ(bytes.size(), firstCluster + 48 * 2 + 48 * 2 * 2 + 8);
    EXPECT_EQ(std::memcmp(bytes.data(), "VRNCPCA\0", 8), 0);
    CompressedTransfer back;
    std::string why;
    ASSERT_TRUE(decodeCompressedTransfer(bytes.data(), bytes.size(), back, why)) << why;
    EXPECT_EQ(encodeCompressedTransfer(back), bytes);
    EXPECT_EQ(back.sourceChecksum, c.out.sourceChecksum);

    // Each case changes the bytes (and, when resealed, renews the checksum so that the change
    // itself is what is refused).
    const float nan = std::nanf("");
    const struct {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> spoil;
        bool reseal;
        const char* reason;
    } cases[] = {
        {"flipped bit", [](auto& b) { b[200] ^= 1; }, false, "damaged"},
        {"truncated", [](auto& b) { b.resize(b.size() - 9); }, false, "truncated"},
        {"empty", [](auto& b) { b.clear(); }, false, "not a compressed"},
        {"version", [](auto& b) { b[8] = 2; }, true, "version 2"},
        {"cluster number", [&](auto& b) { b[firstCluster] = 3, b[firstCluster + 1] = 0; }, true,
         "cluster 3 of 3"},
        {"clusters", [](auto& b) { b[20] = b[21] = 0xff; }, true, "out of range"},
        {"nan", [&](auto& b) { std::memcpy(b.data() + 44, &nan, 4); }, true, "not finite"},
    };
    for (const auto& k : cases) {
        std::vector<uint8_t> b = bytes;
        k.spoil(b);
        if (k.reseal) {
            const uint64_t sum = fnv1a64(b.data(), b.size() - 8);
            std::memcpy(b.data() + b.size() - 8, &sum, 8);
        }
        CompressedTransfer t;
        EXPECT_FALSE(decodeCompressedTransfer(b.data(), b.size(), t, why)) << k.name;
        EXPECT_NE(why.find(k.reason), std::string::npos) << k.name << ": " << why;
    }
}

} // namespace
} // namespace Vrenn
