#include "prt/CompressedTransfer.h"

#include "fs/AtomicFile.h"
#include "fs/DDSCodec.h"
#include "fs/DiskFile.h"
#include "fs/HalfFloat.h"
#include "fs/Image.h"
#include "prt/BakePart.h"
#include "prt/SHCoeffs.h"
#include "prt/TransferTextures.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <thread>

namespace Vrenn {

namespace {

constexpr int kDim = kTransferVectorSize;
constexpr char kMagic[8] = {'V', 'R', 'N', 'C', 'P', 'C', 'A', '\0'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderBytes = 40;
constexpr int32_t kMaxSide = 16384;
// The clusters are fitted on at most this many texels, taken evenly through the atlas; every
// texel is then assigned and the clusters refitted on all their texels.
constexpr size_t kTrainingTexels = 65536;
constexpr int kKMeansRounds = 4;
constexpr int kRefineRounds = 3;
// A texel chooses among the clusters with the nearest means by the reconstruction error.
constexpr uint32_t kShortlist = 8;
constexpr int kSubspaceRounds = 30;

unsigned workerCount(unsigned requested) {
    if (requested) return requested;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores ? cores : 1;
}

// Runs body(i) for i in 0 ... n - 1 on the workers, items handed out in blocks. Each item's
// result depends on the item alone, so the thread count never changes the output.
template <class Body> void parallelFor(size_t n, unsigned threads, Body body) {
    const unsigned workers =
        static_cast<unsigned>(std::min<size_t>(threads, std::max<size_t>(n, 1)));
    constexpr size_t kBlock = 64;
    std::atomic<size_t> next{0};
    auto run = [&] {
        for (;;) {
            const size_t first = next.fetch_add(kBlock);
            if (first >= n) return;
            const size_t last = std::min(n, first + kBlock);
            for (size_t i = first; i < last; ++i)
                body(i);
        }
    };
    std::vector<std::thread> pool;
    for (unsigned w = 1; w < workers; ++w)
        pool.emplace_back(run);
    run();
    for (auto& t : pool)
        t.join();
}

// While clustering, vectors are padded with zeros to 80 floats and their sums run in 8 lanes,
// each summed in order and the lanes added in order: the same result on every machine, and
// loops the compiler turns into vector instructions.
constexpr int kStride = 80;
constexpr int kLanes = 8;

float laneDot(const float* a, const float* b) {
    float acc[kLanes] = {};
    for (int i = 0; i < kStride; i += kLanes)
        for (int l = 0; l < kLanes; ++l)
            acc[l] += a[i + l] * b[i + l];
    float sum = 0.0f;
    for (float v : acc)
        sum += v;
    return sum;
}

float squaredDistance(const float* a, const float* b) {
    float acc[kLanes] = {};
    for (int i = 0; i < kStride; i += kLanes)
        for (int l = 0; l < kLanes; ++l) {
            const float d = a[i + l] - b[i + l];
            acc[l] += d * d;
        }
    float sum = 0.0f;
    for (float v : acc)
        sum += v;
    return sum;
}

// One cluster's model while fitting: mean and K orthonormal components, padded.
struct Model {
    std::vector<float> mean;       // kStride
    std::vector<float> components; // K * kStride
};

// The squared error of x reconstructed by the model.
float reconstructionError(const float* x, const Model& m, uint32_t k) {
    float d[kStride];
    for (int i = 0; i < kStride; ++i)
        d[i] = x[i] - m.mean[size_t(i)];
    float error = laneDot(d, d);
    for (uint32_t j = 0; j < k; ++j) {
        const float w = laneDot(m.components.data() + size_t(j) * kStride, d);
        error -= w * w;
    }
    return std::max(error, 0.0f);
}

// Mean and the K leading principal directions of the members' (padded) vectors (in member order, so
// the sums do not depend on threads): covariance in double precision, then subspace iteration.
void fitModel(const std::vector<float>& vectors, const std::vector<uint32_t>& members, uint32_t k,
              Model& model) {
    model.mean.assign(kStride, 0.0f);
    model.components.assign(size_t(k) * kStride, 0.0f);
    if (members.empty()) return;
    double mean[kDim] = {};
    for (uint32_t t : members) {
        const float* x = vectors.data() + size_t(t) * kStride;
        for (int i = 0; i < kDim; ++i)
            mean[i] += x[i];
    }
    for (double& m : mean)
        m /= double(members.size());
    if (k == 0 || members.size() == 1) {
        for (int i = 0; i < kDim; ++i)
            model.mean[size_t(i)] = float(mean[i]);
        return;
    }
    std::vector<double> cov(size_t(kDim) * kDim, 0.0);
    double d[kDim];
    for (uint32_t t : members) {
        const float* x = vectors.data() + size_t(t) * kStride;
        for (int i = 0; i < kDim; ++i)
            d[i] = double(x[i]) - mean[i];
        for (int i = 0; i < kDim; ++i) {
            double* row = cov.data() + size_t(i) * kDim;
            for (int j = i; j < kDim; ++j)
                row[j] += d[i] * d[j];
        }
    }
    double trace = 0.0;
    for (int i = 0; i < kDim; ++i) {
        for (int j = 0; j < i; ++j)
            cov[size_t(i) * kDim + size_t(j)] = cov[size_t(j) * kDim + size_t(i)];
        trace += cov[size_t(i) * kDim + size_t(i)];
    }
    for (int i = 0; i < kDim; ++i)
        model.mean[size_t(i)] = float(mean[i]);
    if (!(trace > 0.0)) return;

    // Start from the axes of largest variance (ties: the lower axis).
    std::vector<int> axes(kDim);
    for (int i = 0; i < kDim; ++i)
        axes[size_t(i)] = i;
    std::stable_sort(axes.begin(), axes.end(), [&](int a, int b) {
        return cov[size_t(a) * kDim + size_t(a)] > cov[size_t(b) * kDim + size_t(b)];
    });
    std::vector<double> q(size_t(k) * kDim, 0.0), z(size_t(k) * kDim);
    for (uint32_t j = 0; j < k; ++j)
        q[size_t(j) * kDim + size_t(axes[j])] = 1.0;
    const double tiny = trace * 1e-14;
    for (int round = 0; round < kSubspaceRounds; ++round) {
        for (uint32_t j = 0; j < k; ++j)
            for (int i = 0; i < kDim; ++i) {
                const double* row = cov.data() + size_t(i) * kDim;
                const double* col = q.data() + size_t(j) * kDim;
                double s = 0.0;
                for (int l = 0; l < kDim; ++l)
                    s += row[l] * col[l];
                z[size_t(j) * kDim + size_t(i)] = s;
            }
        // Gram-Schmidt, twice for accuracy; a direction with no variance left becomes zero.
        for (uint32_t j = 0; j < k; ++j) {
            double* v = z.data() + size_t(j) * kDim;
            for (int pass = 0; pass < 2; ++pass)
                for (uint32_t p = 0; p < j; ++p) {
                    const double* u = z.data() + size_t(p) * kDim;
                    double dot = 0.0;
                    for (int i = 0; i < kDim; ++i)
                        dot += u[i] * v[i];
                    for (int i = 0; i < kDim; ++i)
                        v[i] -= dot * u[i];
                }
            double norm = 0.0;
            for (int i = 0; i < kDim; ++i)
                norm += v[i] * v[i];
            norm = std::sqrt(norm);
            for (int i = 0; i < kDim; ++i)
                v[i] = norm > tiny ? v[i] / norm : 0.0;
        }
        q.swap(z);
    }
    for (uint32_t j = 0; j < k; ++j)
        for (int i = 0; i < kDim; ++i)
            model.components[size_t(j) * kStride + size_t(i)] =
                float(q[size_t(j) * kDim + size_t(i)]);
}

// The clusters whose means lie nearest x, nearest first (ties: the lower cluster).
void nearestMeans(const float* x, const std::vector<Model>& models, uint32_t count, uint32_t* out) {
    std::pair<float, uint32_t> best[kShortlist];
    uint32_t n = 0;
    for (uint32_t c = 0; c < models.size(); ++c) {
        const std::pair<float, uint32_t> item{squaredDistance(x, models[c].mean.data()), c};
        if (n < count) {
            best[n++] = item;
        } else if (item < best[n - 1]) {
            best[n - 1] = item;
        } else {
            continue;
        }
        for (uint32_t i = n - 1; i > 0 && best[i] < best[i - 1]; --i)
            std::swap(best[i], best[i - 1]);
    }
    for (uint32_t i = 0; i < n; ++i)
        out[i] = best[i].second;
}

// The cluster of x: among the nearest means, the one that reconstructs it best.
uint32_t bestCluster(const float* x, const std::vector<Model>& models, uint32_t k) {
    uint32_t shortlist[kShortlist];
    const uint32_t count = std::min<uint32_t>(kShortlist, uint32_t(models.size()));
    nearestMeans(x, models, count, shortlist);
    uint32_t best = shortlist[0];
    float bestError = std::numeric_limits<float>::infinity();
    for (uint32_t i = 0; i < count; ++i) {
        const float e = reconstructionError(x, models[shortlist[i]], k);
        if (e < bestError || (e == bestError && shortlist[i] < best)) {
            bestError = e;
            best = shortlist[i];
        }
    }
    return best;
}

void membersOf(const std::vector<uint32_t>& texels, const std::vector<uint32_t>& assignment,
               uint32_t clusters, std::vector<std::vector<uint32_t>>& members) {
    members.assign(clusters, {});
    for (size_t i = 0; i < texels.size(); ++i)
        members[assignment[i]].push_back(texels[i]);
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    const size_t at = out.size();
    out.resize(at + 4);
    std::memcpy(out.data() + at, &v, 4);
}

uint32_t get32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

} // namespace

void CompressedTransfer::reconstruct(size_t texel, float* out) const {
    const uint16_t c = texelCluster[texel];
    if (c == kNoCluster) {
        std::fill(out, out + kDim, 0.0f);
        return;
    }
    std::memcpy(out, clusterVector(c, 0), sizeof(float) * kDim);
    for (uint32_t j = 0; j < components; ++j) {
        const float w = halfToFloat(texelWeights[texel * components + j]);
        const float* u = clusterVector(c, j + 1);
        for (int i = 0; i < kDim; ++i)
            out[i] += w * u[i];
    }
}

std::vector<uint16_t> texelGroupPlanes(const CompressedTransfer& transfer) {
    const uint32_t groups = texelGroups(transfer.components);
    const size_t texels = transfer.texelCount();
    std::vector<uint16_t> out(size_t(groups) * texels * 4, floatToHalf(0.0f));
    for (size_t t = 0; t < texels; ++t) {
        const uint16_t c = transfer.texelCluster[t];
        out[t * 4] = floatToHalf(c == kNoCluster ? -1.0f : float(c));
        for (uint32_t j = 0; j < transfer.components; ++j) {
            const uint32_t slot = j + 1;
            out[(size_t(slot / 4) * texels + t) * 4 + slot % 4] =
                transfer.texelWeights[t * transfer.components + j];
        }
    }
    return out;
}

void lightClusters(const CompressedTransfer& transfer, const SHCoeffs& lighting,
                   std::vector<float>& out) {
    const uint32_t groups = texelGroups(transfer.components);
    const size_t rowFloats = size_t(9) * groups * 4;
    out.assign(size_t(transfer.clusters) * rowFloats, 0.0f);
    for (uint32_t c = 0; c < transfer.clusters; ++c)
        for (uint32_t j = 0; j <= transfer.components; ++j) {
            const float* v = transfer.clusterVector(c, j);
            for (int k = 0; k < kTransferBasisCount; ++k)
                for (int ch = 0; ch < 3; ++ch) {
                    const SHVector& light = lighting.channel(ch);
                    float sum = 0.0f;
                    for (int i = 0; i < 25; ++i)
                        sum += v[k * 25 + i] * light[size_t(i)];
                    out[size_t(c) * rowFloats + (size_t(3 * k + ch) * groups + j / 4) * 4 + j % 4] =
                        sum;
                }
        }
}

bool transferVectors(const std::array<std::shared_ptr<Image>, 3>& files, int32_t& width,
                     int32_t& height, std::vector<float>& vectors, std::string& why) {
    for (int f = 0; f < 3; ++f) {
        const auto& image = files[size_t(f)];
        const std::string name = kTransferFileNames[f];
        if (!image || !image->data()) {
            why = name + " is missing";
            return false;
        }
        if (image->format() != kTransferFormat || image->depth() != kTransferFileSlices[f] ||
            image->faces() != 1 || image->width() <= 0 || image->height() <= 0) {
            why = name + " is not " + std::to_string(kTransferFileSlices[f]) +
                  " slices of four half floats";
            return false;
        }
        if (image->width() != files[0]->width() || image->height() != files[0]->height()) {
            why = "the transfer files differ in size";
            return false;
        }
    }
    width = files[0]->width();
    height = files[0]->height();
    const size_t texels = size_t(width) * size_t(height);
    const size_t planeBytes = texels * 8;
    // The 19 planes side by side, as the bake lays them out.
    std::vector<uint8_t> planes(planeBytes * kTransferPlaneCount);
    for (int f = 0; f < 3; ++f)
        std::memcpy(planes.data() + size_t(kTransferFileFirstPlane[f]) * planeBytes,
                    files[size_t(f)]->data(), size_t(kTransferFileDataSlices[f]) * planeBytes);
    vectors.assign(texels * kDim, 0.0f);
    for (size_t t = 0; t < texels; ++t)
        for (int k = 0; k < kTransferBasisCount; ++k)
            readTransferCoefficients(planes.data() + t * 8, planeBytes, k,
                                     vectors.data() + t * kDim + size_t(k) * 25);
    return true;
}

bool compressTransfer(const std::vector<float>& vectors, int32_t width, int32_t height,
                      const CompressOptions& options, CompressedTransfer& out, CompressStats& stats,
                      std::string& why) {
    if (options.clusters < 1 || options.clusters > kMaxClusters) {
        why = "clusters must be from 1 to " + std::to_string(kMaxClusters);
        return false;
    }
    if (options.components < 1 || options.components > kMaxComponents) {
        why = "components must be from 1 to " + std::to_string(kMaxComponents);
        return false;
    }
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        vectors.size() != size_t(width) * size_t(height) * kDim) {
        why = "the transfer has no texels or another size";
        return false;
    }
    for (float v : vectors)
        if (!std::isfinite(v)) {
            why = "the transfer holds a value that is not finite";
            return false;
        }
    auto tell = [&](const std::string& line) {
        if (options.progress) options.progress(line);
    };
    const unsigned threads = workerCount(options.threads);
    const uint32_t k = options.components;
    const size_t texels = size_t(width) * size_t(height);

    std::vector<uint32_t> covered;
    for (size_t t = 0; t < texels; ++t) {
        const float* x = vectors.data() + t * kDim;
        if (std::any_of(x, x + kDim, [](float v) { return v != 0.0f; }))
            covered.push_back(uint32_t(t));
    }
    const uint32_t clusters =
        static_cast<uint32_t>(std::min<size_t>(options.clusters, covered.size()));

    // The covered texels' vectors, padded; from here on texels are named by their place here.
    std::vector<float> work(covered.size() * kStride, 0.0f);
    std::vector<uint32_t> all(covered.size());
    for (size_t i = 0; i < covered.size(); ++i) {
        std::copy_n(vectors.data() + size_t(covered[i]) * kDim, kDim, work.data() + i * kStride);
        all[i] = uint32_t(i);
    }
    std::vector<uint32_t> sample;
    if (covered.size() <= kTrainingTexels) {
        sample = all;
    } else {
        for (size_t i = 0; i < kTrainingTexels; ++i)
            sample.push_back(uint32_t(i * covered.size() / kTrainingTexels));
    }

    std::vector<Model> models(clusters);
    std::vector<std::vector<uint32_t>> members;
    std::vector<uint32_t> assignment(sample.size(), 0);
    if (clusters > 0) {
        // Seeds: each next one the training texel farthest from the seeds so far.
        tell("seeding " + std::to_string(clusters) + " clusters from " +
             std::to_string(sample.size()) + " of " + std::to_string(covered.size()) +
             " covered texels");
        std::vector<float> nearest(sample.size(), std::numeric_limits<float>::infinity());
        uint32_t seed = 0;
        for (uint32_t c = 0; c < clusters; ++c) {
            const float* s = work.data() + size_t(sample[seed]) * kStride;
            models[c].mean.assign(s, s + kStride);
            models[c].components.assign(size_t(k) * kStride, 0.0f);
            parallelFor(sample.size(), threads, [&](size_t i) {
                nearest[i] = std::min(
                    nearest[i], squaredDistance(work.data() + size_t(sample[i]) * kStride, s));
            });
            seed = uint32_t(std::max_element(nearest.begin(), nearest.end()) - nearest.begin());
        }
        // k-means on the means alone, then rounds that fit each cluster's components and
        // move each texel to the cluster that reconstructs it best.
        for (int round = 0; round < kKMeansRounds + kRefineRounds; ++round) {
            const bool refine = round >= kKMeansRounds;
            tell(std::string(refine ? "refining" : "k-means") + " round " +
                 std::to_string(refine ? round - kKMeansRounds + 1 : round + 1) + " of " +
                 std::to_string(refine ? kRefineRounds : kKMeansRounds));
            parallelFor(sample.size(), threads, [&](size_t i) {
                const float* x = work.data() + size_t(sample[i]) * kStride;
                assignment[i] = refine ? bestCluster(x, models, k) : [&] {
                    uint32_t best = 0;
                    nearestMeans(x, models, 1, &best);
                    return best;
                }();
            });
            membersOf(sample, assignment, clusters, members);
            parallelFor(clusters, threads, [&](size_t c) {
                // An empty cluster keeps its place.
                if (members[c].empty()) return;
                fitModel(work, members[c], refine || round + 1 == kKMeansRounds ? k : 0, models[c]);
                if (models[c].components.size() != size_t(k) * kStride)
                    models[c].components.assign(size_t(k) * kStride, 0.0f);
            });
        }
    }

    tell("assigning " + std::to_string(covered.size()) + " texels");
    std::vector<uint32_t> cluster(covered.size(), 0);
    if (clusters > 0)
        parallelFor(covered.size(), threads, [&](size_t i) {
            cluster[i] = bestCluster(work.data() + i * kStride, models, k);
        });
    membersOf(all, cluster, clusters, members);
    tell("fitting the clusters to all their texels");
    parallelFor(clusters, threads, [&](size_t c) {
        if (!members[c].empty()) fitModel(work, members[c], k, models[c]);
    });
    work = {};

    CompressedTransfer result;
    result.width = width;
    result.height = height;
    result.clusters = clusters;
    result.components = k;
    result.table.assign(size_t(clusters) * (k + 1) * kDim, 0.0f);
    for (uint32_t c = 0; c < clusters; ++c) {
        float* at = result.table.data() + size_t(c) * (k + 1) * kDim;
        std::copy_n(models[c].mean.data(), kDim, at);
        for (uint32_t j = 0; j < k; ++j)
            std::copy_n(models[c].components.data() + size_t(j) * kStride, kDim,
                        at + size_t(j + 1) * kDim);
    }
    result.texelCluster.assign(texels, kNoCluster);
    result.texelWeights.assign(texels * k, floatToHalf(0.0f));
    parallelFor(covered.size(), threads, [&](size_t i) {
        const size_t t = covered[i];
        const uint32_t c = cluster[i];
        result.texelCluster[t] = uint16_t(c);
        const float* x = vectors.data() + t * kDim;
        const float* mean = result.clusterVector(c, 0);
        for (uint32_t j = 0; j < k; ++j) {
            const float* u = result.clusterVector(c, j + 1);
            float w = 0.0f;
            for (int d = 0; d < kDim; ++d)
                w += u[d] * (x[d] - mean[d]);
            result.texelWeights[t * k + j] = floatToHalf(w);
        }
    });
    stats = measureCompression(vectors, result);
    out = std::move(result);
    return true;
}

CompressStats measureCompression(const std::vector<float>& vectors, const CompressedTransfer& out) {
    CompressStats stats;
    double error = 0.0, signal = 0.0;
    float r[kDim];
    for (size_t t = 0; t < out.texelCount() && (t + 1) * kDim <= vectors.size(); ++t) {
        const float* x = vectors.data() + t * kDim;
        if (out.texelCluster[t] == kNoCluster &&
            std::all_of(x, x + kDim, [](float v) { return v == 0.0f; }))
            continue;
        ++stats.coveredTexels;
        out.reconstruct(t, r);
        for (int i = 0; i < kDim; ++i) {
            const double d = double(r[i]) - double(x[i]);
            error += d * d;
            signal += double(x[i]) * double(x[i]);
            stats.worst = std::max(stats.worst, std::abs(d));
        }
    }
    if (stats.coveredTexels) {
        const double n = double(stats.coveredTexels) * kDim;
        stats.rms = std::sqrt(error / n);
        stats.signalRms = std::sqrt(signal / n);
    }
    return stats;
}

std::vector<uint8_t> encodeCompressedTransfer(const CompressedTransfer& transfer) {
    std::vector<uint8_t> out(kMagic, kMagic + 8);
    put32(out, kVersion);
    put32(out, uint32_t(transfer.width));
    put32(out, uint32_t(transfer.height));
    put32(out, transfer.clusters);
    put32(out, transfer.components);
    put32(out, 0);
    put32(out, uint32_t(transfer.sourceChecksum));
    put32(out, uint32_t(transfer.sourceChecksum >> 32));
    auto append = [&](const void* data, size_t bytes) {
        const size_t at = out.size();
        out.resize(at + bytes);
        if (bytes) std::memcpy(out.data() + at, data, bytes);
    };
    append(transfer.table.data(), transfer.table.size() * sizeof(float));
    append(transfer.texelCluster.data(), transfer.texelCluster.size() * 2);
    append(transfer.texelWeights.data(), transfer.texelWeights.size() * 2);
    const uint64_t sum = fnv1a64(out.data(), out.size());
    append(&sum, 8);
    return out;
}

bool decodeCompressedTransfer(const uint8_t* data, size_t size, CompressedTransfer& out,
                              std::string& why) {
    if (size < kHeaderBytes + 8 || std::memcmp(data, kMagic, 8) != 0) {
        why = "not a compressed transfer file";
        return false;
    }
    if (get32(data + 8) != kVersion) {
        why = "format version " + std::to_string(get32(data + 8)) + ", not " +
              std::to_string(kVersion);
        return false;
    }
    CompressedTransfer t;
    const uint32_t width = get32(data + 12), height = get32(data + 16);
    t.clusters = get32(data + 20);
    t.components = get32(data + 24);
    t.sourceChecksum = uint64_t(get32(data + 32)) | uint64_t(get32(data + 36)) << 32;
    if (width < 1 || height < 1 || width > uint32_t(kMaxSide) || height > uint32_t(kMaxSide) ||
        t.clusters > kMaxClusters || t.components > kMaxComponents || get32(data + 28) != 0) {
        why = "sizes out of range";
        return false;
    }
    t.width = int32_t(width);
    t.height = int32_t(height);
    const size_t texels = t.texelCount();
    const size_t tableBytes = size_t(t.clusters) * (t.components + 1) * kDim * sizeof(float);
    const size_t expected = kHeaderBytes + tableBytes + texels * 2 * (1 + t.components) + 8;
    if (size != expected) {
        why = "truncated or padded (" + std::to_string(size) + " bytes, not " +
              std::to_string(expected) + ")";
        return false;
    }
    uint64_t sum;
    std::memcpy(&sum, data + size - 8, 8);
    if (fnv1a64(data, size - 8) != sum) {
        why = "damaged (checksum mismatch)";
        return false;
    }
    const uint8_t* p = data + kHeaderBytes;
    // An empty array has no storage to copy into (a file of no texels or no clusters).
    const auto take = [&p](void* to, size_t bytes) {
        if (bytes != 0) std::memcpy(to, p, bytes);
        p += bytes;
    };
    t.table.resize(tableBytes / sizeof(float));
    take(t.table.data(), tableBytes);
    t.texelCluster.resize(texels);
    take(t.texelCluster.data(), texels * 2);
    t.texelWeights.resize(texels * t.components);
    take(t.texelWeights.data(), t.texelWeights.size() * 2);
    for (float v : t.table)
        if (!std::isfinite(v)) {
            why = "a cluster value is not finite";
            return false;
        }
    for (uint16_t c : t.texelCluster)
        if (c != kNoCluster && c >= t.clusters) {
            why =
                "a texel names cluster " + std::to_string(c) + " of " + std::to_string(t.clusters);
            return false;
        }
    for (uint16_t w : t.texelWeights)
        if ((w & 0x7c00) == 0x7c00) {
            why = "a texel weight is not finite";
            return false;
        }
    out = std::move(t);
    return true;
}

bool transferFilesChecksum(const std::string& folder, uint64_t& checksum, std::string& why) {
    // Each file's own checksum folded into one, in file order.
    uint64_t sum = kFnv1a64Basis;
    for (const char* name : kTransferFileNames) {
        uint64_t file = 0;
        const std::string path = folder.empty() ? name : folder + "/" + name;
        if (!fileChecksum(path, file, why)) return false;
        sum = fnv1a64(&file, sizeof file, sum);
    }
    checksum = sum;
    return true;
}

namespace {

std::string inFolder(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

bool readWhole(const std::string& path, std::vector<uint8_t>& bytes, std::string& why) {
    DiskFile file(path, DISK_READ);
    if (!file.isOpen()) {
        why = file.openFailure();
        return false;
    }
    bytes = file.readRest();
    if (file.failed() && bytes.size() != file.size()) {
        why = "read error";
        return false;
    }
    return true;
}

} // namespace

bool compressRunFolder(const std::string& folder, const CompressOptions& options,
                       CompressStats& stats, uint64_t& bytesBefore, uint64_t& bytesAfter,
                       std::string& why) {
    std::array<std::shared_ptr<Image>, 3> files;
    bytesBefore = 0;
    for (size_t f = 0; f < 3; ++f) {
        const std::string path = inFolder(folder, kTransferFileNames[f]);
        std::shared_ptr<File> file = std::make_shared<DiskFile>(path, DISK_READ);
        auto* disk = static_cast<DiskFile*>(file.get());
        if (!disk->isOpen()) {
            why = "cannot read " + path + ": " + disk->openFailure();
            return false;
        }
        bytesBefore += file->size();
        files[f] = std::make_shared<Image>();
        if (!DDSCodec().decode(file, *files[f])) {
            why = path + " is not a DDS image";
            return false;
        }
    }
    uint64_t checksum = 0;
    if (!transferFilesChecksum(folder, checksum, why)) return false;
    int32_t width = 0, height = 0;
    std::vector<float> vectors;
    if (!transferVectors(files, width, height, vectors, why)) return false;
    files = {};
    CompressedTransfer transfer;
    if (!compressTransfer(vectors, width, height, options, transfer, stats, why)) return false;
    transfer.sourceChecksum = checksum;
    const std::vector<uint8_t> bytes = encodeCompressedTransfer(transfer);
    const std::string target = inFolder(folder, kCompressedTransferFileName);
    AtomicFile out(target);
    if (!out.isOpen() || out.file()->write(bytes.data(), uint32_t(bytes.size())) != bytes.size() ||
        !out.commit()) {
        why = "cannot write " + target + ": " +
              (out.failure().empty() ? std::string("write error") : out.failure());
        return false;
    }
    bytesAfter = bytes.size();
    return true;
}

bool loadCompressedTransfer(const std::string& folder, CompressedTransfer& out, std::string& why) {
    const std::string path = inFolder(folder, kCompressedTransferFileName);
    why.clear();
    if (!std::filesystem::exists(path)) return false;
    std::vector<uint8_t> bytes;
    if (!readWhole(path, bytes, why)) {
        why = "cannot read " + path + ": " + why;
        return false;
    }
    CompressedTransfer transfer;
    if (!decodeCompressedTransfer(bytes.data(), bytes.size(), transfer, why)) {
        why = path + " is " + why;
        return false;
    }
    bool anySource = false;
    for (const char* name : kTransferFileNames)
        anySource = anySource || std::filesystem::exists(inFolder(folder, name));
    if (anySource) {
        uint64_t checksum = 0;
        if (!transferFilesChecksum(folder, checksum, why)) {
            why = "the transfer files beside " + path + " cannot be read (" + why + ")";
            return false;
        }
        if (checksum != transfer.sourceChecksum) {
            why = path + " was made from other transfer files than " +
                  inFolder(folder, kTransferFileNames[0]) + " ... (compress the folder again)";
            return false;
        }
    }
    out = std::move(transfer);
    return true;
}

} // namespace Vrenn
