// Clustered-PCA compression of transfer: exact where the data allows it, the same bytes on any
// thread count, a file format that refuses damage, and run folders whose transfer changed.

#include "prt/CompressedTransfer.h"

#include "fs/DDSCodec.h"
#include "fs/DiskFile.h"
#include "fs/HalfFloat.h"
#include "fs/Image.h"
#include "prt/BakePart.h"
#include "prt/LcgRandom.h"
#include "prt/SHCoeffs.h"
#include "prt/TransferTextures.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

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
        // Groups scattered through the atlas.
        const int g = int(((uint64_t(t) * 2654435761u) >> 12) % uint64_t(clusters));
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

TEST(CompressedTransfer, VectorsInAKDimensionalSpacePerClusterComeBackExactly) {
    std::vector<int> group;
    const int w = 24, h = 20;
    const auto vectors = lowRankVectors(w, h, 5, 3, group);
    CompressOptions options;
    options.clusters = 5;
    options.components = 3;
    CompressedTransfer out;
    CompressStats stats;
    std::string why;
    ASSERT_TRUE(compressTransfer(vectors, w, h, options, out, stats, why)) << why;
    EXPECT_EQ(out.clusters, 5u);
    EXPECT_EQ(stats.coveredTexels, size_t(w * h - w * h / 5));
    float r[kDim];
    float worst = 0.0f;
    for (size_t t = 0; t < out.texelCount(); ++t) {
        if (group[t] < 0) {
            EXPECT_EQ(out.texelCluster[t], kNoCluster);
            continue;
        }
        out.reconstruct(t, r);
        for (int i = 0; i < kDim; ++i)
            worst = std::max(worst, std::abs(r[i] - vectors[t * kDim + size_t(i)]));
    }
    // Weights are half floats (11 bits): errors of a few thousandths on values of about 5.
    EXPECT_LT(worst, 0.01f);
    EXPECT_NEAR(stats.worst, worst, 1e-6);
    // The texels of one group share one cluster.
    for (size_t t = 0; t < out.texelCount(); ++t)
        for (size_t u = t + 1; u < out.texelCount() && group[t] >= 0; ++u) {
            if (group[u] >= 0) {
                ASSERT_EQ(group[t] == group[u], out.texelCluster[t] == out.texelCluster[u]);
            }
        }

    // With fewer components than the data's rank the error shows, and is what stats says.
    options.components = 1;
    ASSERT_TRUE(compressTransfer(vectors, w, h, options, out, stats, why));
    EXPECT_GT(stats.rms, 0.05);
    EXPECT_EQ(measureCompression(vectors, out).rms, stats.rms);
}

TEST(CompressedTransfer, SameBytesOnOneAndTwoThreadsAndRefusesBadOptions) {
    std::vector<int> group;
    const int w = 40, h = 30;
    auto vectors = lowRankVectors(w, h, 9, 6, group);
    CompressOptions options;
    options.clusters = 6; // fewer than the groups: the clustering has choices to make
    options.components = 4;
    std::vector<uint8_t> bytes[2];
    for (unsigned threads : {1u, 2u}) {
        options.threads = threads;
        CompressedTransfer out;
        CompressStats stats;
        std::string why;
        ASSERT_TRUE(compressTransfer(vectors, w, h, options, out, stats, why)) << why;
        bytes[threads - 1] = encodeCompressedTransfer(out);
    }
    EXPECT_EQ(bytes[0], bytes[1]);

    CompressedTransfer out;
    CompressStats stats;
    std::string why;
    for (auto [c, k] :
         {std::pair{0u, 4u}, {kMaxClusters + 1, 4u}, {4u, 0u}, {4u, kMaxComponents + 1}}) {
        options.clusters = c;
        options.components = k;
        EXPECT_FALSE(compressTransfer(vectors, w, h, options, out, stats, why)) << c << " " << k;
    }
    options.clusters = 4;
    options.components = 4;
    EXPECT_FALSE(compressTransfer(vectors, w + 1, h, options, out, stats, why));
    vectors[17] = std::nanf("");
    EXPECT_FALSE(compressTransfer(vectors, w, h, options, out, stats, why));
    EXPECT_NE(why.find("not finite"), std::string::npos);
}

TEST(CompressedTransfer, LitTableDottedWithTexelGroupsIsTheLitReconstruction) {
    std::vector<int> group;
    const int w = 16, h = 16;
    const auto vectors = lowRankVectors(w, h, 4, 5, group);
    CompressOptions options;
    options.clusters = 4;
    options.components = 5; // two groups: (cluster, w1, w2, w3), (w4, w5, 0, 0)
    CompressedTransfer out;
    CompressStats stats;
    std::string why;
    ASSERT_TRUE(compressTransfer(vectors, w, h, options, out, stats, why)) << why;
    SHCoeffs light;
    LcgRandom random(3);
    for (int c = 0; c < 3; ++c)
        for (float& v : light.channel(c))
            v = uniform(random);
    std::vector<float> lit;
    lightClusters(out, light, lit);
    const uint32_t groups = texelGroups(out.components);
    ASSERT_EQ(groups, 2u);
    const std::vector<uint16_t> planes = texelGroupPlanes(out);
    ASSERT_EQ(planes.size(), size_t(groups) * out.texelCount() * 4);
    float r[kDim];
    for (size_t t = 0; t < out.texelCount(); ++t) {
        const float cluster = halfToFloat(planes[t * 4]);
        if (out.texelCluster[t] == kNoCluster) {
            EXPECT_EQ(cluster, -1.0f);
            continue;
        }
        ASSERT_EQ(cluster, float(out.texelCluster[t]));
        EXPECT_EQ(planes[(out.texelCount() + t) * 4 + 2], floatToHalf(0.0f)); // past K
        out.reconstruct(t, r);
        for (int k = 0; k < 3; ++k)
            for (int ch = 0; ch < 3; ++ch) {
                float expected = 0.0f, got = 0.0f;
                for (int i = 0; i < 25; ++i)
                    expected += r[k * 25 + i] * light.channel(ch)[size_t(i)];
                for (uint32_t g = 0; g < groups; ++g)
                    for (int s = 0; s < 4; ++s) {
                        const float weight =
                            g == 0 && s == 0
                                ? 1.0f
                                : halfToFloat(planes[(g * out.texelCount() + t) * 4 + size_t(s)]);
                        got +=
                            weight *
                            lit[((size_t(out.texelCluster[t]) * 9 + size_t(3 * k + ch)) * groups +
                                 g) *
                                    4 +
                                size_t(s)];
                    }
                EXPECT_NEAR(got, expected, 1e-3f * (1.0f + std::abs(expected)));
            }
    }
}

TEST(CompressedTransfer, FileRoundTripsAndRefusesDamage) {
    std::vector<int> group;
    const auto vectors = lowRankVectors(8, 6, 3, 2, group);
    CompressOptions options;
    options.clusters = 3;
    options.components = 2;
    CompressedTransfer out;
    CompressStats stats;
    std::string why;
    ASSERT_TRUE(compressTransfer(vectors, 8, 6, options, out, stats, why));
    out.sourceChecksum = 0x0123456789abcdefull;
    const std::vector<uint8_t> bytes = encodeCompressedTransfer(out);
    // Header, table, clusters, weights, checksum.
    ASSERT_EQ(bytes.size(), 40u + 3 * 3 * 75 * 4 + 48 * 2 + 48 * 2 * 2 + 8);
    EXPECT_EQ(std::memcmp(bytes.data(), "VRNCPCA\0", 8), 0);
    CompressedTransfer back;
    ASSERT_TRUE(decodeCompressedTransfer(bytes.data(), bytes.size(), back, why)) << why;
    EXPECT_EQ(encodeCompressedTransfer(back), bytes);
    EXPECT_EQ(back.sourceChecksum, out.sourceChecksum);

    auto resealed = [](std::vector<uint8_t> b) {
        const uint64_t sum = fnv1a64(b.data(), b.size() - 8);
        std::memcpy(b.data() + b.size() - 8, &sum, 8);
        return b;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    std::vector<Case> cases;
    auto flipped = bytes;
    flipped[200] ^= 1;
    cases.push_back({"flipped bit", flipped, "damaged"});
    cases.push_back(
        {"truncated", std::vector<uint8_t>(bytes.begin(), bytes.end() - 9), "truncated"});
    cases.push_back({"empty", {}, "not a compressed"});
    auto version = bytes;
    version[8] = 2;
    cases.push_back({"version", resealed(version), "version 2"});
    auto cluster = bytes;
    const size_t firstCluster = 40 + 3 * 3 * 75 * 4;
    cluster[firstCluster] = 3; // cluster 3 of 3
    cluster[firstCluster + 1] = 0;
    cases.push_back({"cluster number", resealed(cluster), "cluster 3 of 3"});
    auto huge = bytes;
    huge[20] = 0xff; // clusters
    huge[21] = 0xff;
    cases.push_back({"clusters", resealed(huge), "out of range"});
    auto nan = bytes;
    const float bad = std::nanf("");
    std::memcpy(nan.data() + 44, &bad, 4);
    cases.push_back({"nan", resealed(nan), "not finite"});
    for (const Case& c : cases) {
        CompressedTransfer t;
        EXPECT_FALSE(decodeCompressedTransfer(c.bytes.data(), c.bytes.size(), t, why)) << c.name;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.name << ": " << why;
    }
}

// A run folder of transfer textures made here, compressed, then changed under the file.
TEST(CompressedTransfer, RunFolderIsCompressedAndStaleFilesRefused) {
    namespace stdfs = std::filesystem;
    const stdfs::path dir =
        stdfs::temp_directory_path() /
        ("vrenn-cpca-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
         std::to_string(getpid()));
    stdfs::create_directories(dir);
    const int w = 12, h = 10;
    std::vector<int> group;
    const auto vectors = lowRankVectors(w, h, 2, 2, group);
    Image bake;
    uint8_t* data = bake.create(w, h, kTransferPlaneCount, kTransferFormat, 1, 1);
    ASSERT_TRUE(data);
    const size_t planeBytes = size_t(w) * size_t(h) * 8;
    for (size_t t = 0; t < size_t(w * h); ++t)
        for (int k = 0; k < 3; ++k)
            writeTransferCoefficients(data + t * 8, planeBytes, k,
                                      vectors.data() + t * kDim + size_t(k) * 25);
    auto writeFiles = [&] {
        for (int f = 0; f < 3; ++f) {
            Image file;
            ASSERT_TRUE(transferFileImage(bake, f, file));
            std::shared_ptr<File> out =
                std::make_shared<DiskFile>((dir / kTransferFileNames[f]).string(), DISK_CREATE);
            ASSERT_TRUE(DDSCodec().encode(out, file));
            out->close();
        }
    };
    writeFiles();
    CompressOptions options;
    options.clusters = 2;
    options.components = 2;
    CompressStats stats;
    uint64_t before = 0, after = 0;
    std::string why;
    ASSERT_TRUE(compressRunFolder(dir.string(), options, stats, before, after, why)) << why;
    EXPECT_EQ(after, stdfs::file_size(dir / kCompressedTransferFileName));
    EXPECT_GT(before, after);
    EXPECT_LT(stats.worst, 0.01);

    CompressedTransfer loaded;
    ASSERT_TRUE(loadCompressedTransfer(dir.string(), loaded, why)) << why;
    EXPECT_EQ(loaded.width, w);

    // A new bake of the folder: the compressed file no longer belongs to it.
    writeTransferCoefficients(data, planeBytes, 0, vectors.data() + kDim);
    writeFiles();
    EXPECT_FALSE(loadCompressedTransfer(dir.string(), loaded, why));
    EXPECT_NE(why.find("other transfer files"), std::string::npos) << why;
    // Without the transfer textures there is nothing to check it against.
    for (const char* name : kTransferFileNames)
        stdfs::remove(dir / name);
    EXPECT_TRUE(loadCompressedTransfer(dir.string(), loaded, why)) << why;
    // Without either, nothing is said.
    stdfs::remove(dir / kCompressedTransferFileName);
    EXPECT_FALSE(loadCompressedTransfer(dir.string(), loaded, why));
    EXPECT_EQ(why, "");
    EXPECT_FALSE(compressRunFolder(dir.string(), options, stats, before, after, why));
    EXPECT_FALSE(stdfs::exists(dir / kCompressedTransferFileName));
    stdfs::remove_all(dir);
}

} // namespace
} // namespace Vrenn
