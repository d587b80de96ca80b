// The texel walk of the bake: every covered texel of every chart goes to a TexelBaker, on as
// many threads as asked, then the charts' gutters are filled from their covered neighbours.

#include "core/Log.h"
#include "fs/HalfFloat.h"
#include "fs/Image.h"
#include "geometry/PolyPack.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace Vrenn {

namespace {

// How the channels of a bake image are stored.
enum class ChannelType { Byte, Short, Half, Float };

ChannelType channelType(ImageFormat format) {
    switch (format) {
    case FORMAT_L16:
    case FORMAT_RG16:
    case FORMAT_RGB16:
    case FORMAT_RGBA16:
        return ChannelType::Short;
    case FORMAT_R16F:
    case FORMAT_RG16F:
    case FORMAT_RGB16F:
    case FORMAT_RGBA16F:
        return ChannelType::Half;
    case FORMAT_R32F:
    case FORMAT_RG32F:
    case FORMAT_RGB32F:
    case FORMAT_RGBA32F:
        return ChannelType::Float;
    default:
        return ChannelType::Byte;
    }
}

size_t channelBytes(ChannelType type) {
    switch (type) {
    case ChannelType::Byte:
        return 1;
    case ChannelType::Short:
    case ChannelType::Half:
        return 2;
    case ChannelType::Float:
        return 4;
    }
    return 1;
}

float readChannel(ChannelType type, const uint8_t* at) {
    switch (type) {
    case ChannelType::Byte:
        return static_cast<float>(*at);
    case ChannelType::Short: {
        uint16_t v;
        std::memcpy(&v, at, 2);
        return static_cast<float>(v);
    }
    case ChannelType::Half: {
        uint16_t v;
        std::memcpy(&v, at, 2);
        return halfToFloat(v);
    }
    case ChannelType::Float: {
        float v;
        std::memcpy(&v, at, 4);
        return v;
    }
    }
    return 0.0f;
}

void writeChannel(ChannelType type, uint8_t* at, float value) {
    switch (type) {
    case ChannelType::Byte:
        // A mean of bytes stays within 0 ... 255; round it to the nearest.
        *at = static_cast<uint8_t>(value + 0.5f);
        return;
    case ChannelType::Short: {
        const uint16_t v = static_cast<uint16_t>(value + 0.5f);
        std::memcpy(at, &v, 2);
        return;
    }
    case ChannelType::Half: {
        const uint16_t v = floatToHalf(value);
        std::memcpy(at, &v, 2);
        return;
    }
    case ChannelType::Float:
        std::memcpy(at, &value, 4);
        return;
    }
}

// Texels go to the baker in runs of up to kTexelRun neighbours of one chart: long enough for
// bakers to share work between them, short enough that an abandoned walk ends soon.
constexpr size_t kTexelRun = 32;

// Neighbouring rows y0 ... y1 of one chart: the unit of work handed to the threads. A narrow
// chart's rows go together, up to a run of texels in all, so that its texels go to the baker
// in runs as long as a wide chart's.
struct WalkBand {
    uint32_t polygon;
    int32_t y0, y1;
};

} // namespace

unsigned PolyPack::workerCount(unsigned requested) {
    constexpr unsigned kMostWorkers = 1024;
    if (requested > 0) return std::min(requested, kMostWorkers);
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? std::min(cores, kMostWorkers) : 1;
}

bool PolyPack::bake(TexelBaker& baker, const BakeOptions& options, BakeStats* stats) {
    if (!m_atlasImage || !m_atlasImage->data() || m_rayPolygons.size() != m_polygons.size()) {
        logMessage("PolyPack::bake: the pack has no atlas to bake\n");
        return false;
    }
    const auto started = std::chrono::steady_clock::now();

    std::vector<uint32_t> walked;
    if (options.polygons) {
        // Each polygon once: two workers must never write the same texel.
        std::vector<uint8_t> listed(m_polygons.size(), 0);
        for (uint32_t p : *options.polygons) {
            if (p >= m_polygons.size() || listed[p]) continue;
            listed[p] = 1;
            walked.push_back(p);
        }
    } else {
        walked.resize(m_polygons.size());
        for (uint32_t p = 0; p < walked.size(); ++p)
            walked[p] = p;
    }

    // The bands of rows to walk, and the covered texels in them.
    std::vector<WalkBand> bands;
    uint64_t total = 0;
    for (uint32_t p : walked) {
        const AtlasRect& rect = m_polygons[p].atlas;
        if (!rect.placed) continue;
        const int bandRows = std::max(1, static_cast<int>(kTexelRun) / rect.placedWidth());
        for (int y = rect.y; y < rect.y + rect.placedHeight(); ++y) {
            if ((y - rect.y) % bandRows == 0)
                bands.push_back({p, y, y});
            else
                bands.back().y1 = y;
            for (int x = rect.x; x < rect.x + rect.placedWidth(); ++x)
                total += m_coverage.covered(x, y) ? 1 : 0;
        }
    }

    const Image& image = *m_atlasImage;
    const size_t width = static_cast<size_t>(image.width());
    const size_t texelBytes = static_cast<size_t>(bytesPerPixel(image.format()));
    const size_t planeBytes =
        image.depth() >= 2 ? width * static_cast<size_t>(image.height()) * texelBytes : 0;
    uint8_t* const data = image.data();

    unsigned workers = workerCount(options.threads);
    if (bands.size() < workers)
        workers = std::max<unsigned>(1, static_cast<unsigned>(bands.size()));
    if (!baker.beginWalk(workers)) {
        logMessage("PolyPack::bake: the baker refused the walk\n");
        return false;
    }

    std::atomic<size_t> nextBand{0};
    std::atomic<uint64_t> done{0};
    std::atomic<bool> abandoned{false};
    auto stopAsked = [&] { return options.stop && options.stop(); };
    // askStop: the walk runs on the calling thread alone, which asks options.stop itself.
    auto walkBands = [&](unsigned worker, bool askStop) {
        Vec3 positions[kTexelRun];
        uint8_t* texels[kTexelRun];
        for (;;) {
            if (askStop && stopAsked()) abandoned.store(true, std::memory_order_relaxed);
            if (abandoned.load(std::memory_order_relaxed)) return;
            const size_t b = nextBand.fetch_add(1, std::memory_order_relaxed);
            if (b >= bands.size()) return;
            const uint32_t p = bands[b].polygon;
            const AtlasRect& rect = m_polygons[p].atlas;
            const int x0 = rect.x, x1 = rect.x + rect.placedWidth() - 1;
            const int y0 = rect.y, y1 = rect.y + rect.placedHeight() - 1;
            const TangentFrame& frame = m_tangentFrames[p];
            uint64_t count = 0;
            size_t run = 0;
            auto handOver = [&] {
                if (run == 0) return;
                baker.processTexels(positions, texels, run, frame, p, planeBytes, worker);
                count += run;
                run = 0;
            };
            for (int y = bands[b].y0; y <= bands[b].y1; ++y) {
                // Positions across the rectangle, corner texels on the chart's corners. A
                // rectangle one texel wide or high puts its texels at the chart's start.
                const float v =
                    y1 > y0 ? static_cast<float>(y - y0) / static_cast<float>(y1 - y0) : 0.0f;
                for (int x = x0; x <= x1; ++x) {
                    if (!m_coverage.covered(x, y)) continue;
                    const float u =
                        x1 > x0 ? static_cast<float>(x - x0) / static_cast<float>(x1 - x0) : 0.0f;
                    positions[run] = rectanglePoint(p, u, v);
                    texels[run] = data + (static_cast<size_t>(y) * width + static_cast<size_t>(x)) *
                                             texelBytes;
                    if (++run == kTexelRun) {
                        handOver();
                        // Texels can take long (many rays): an abandoned walk ends between runs.
                        if (abandoned.load(std::memory_order_relaxed)) break;
                    }
                }
                if (abandoned.load(std::memory_order_relaxed)) break;
            }
            if (!abandoned.load(std::memory_order_relaxed)) handOver();
            done.fetch_add(count, std::memory_order_relaxed);
        }
    };

    // The calling thread reports progress while the workers run.
    std::mutex mutex;
    std::condition_variable finished;
    unsigned running = 0;
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (unsigned w = 0; w < workers; ++w) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++running;
        }
        try {
            threads.emplace_back([&, w] {
                walkBands(w, false);
                std::lock_guard<std::mutex> lock(mutex);
                --running;
                finished.notify_all();
            });
        } catch (const std::system_error&) {
            std::lock_guard<std::mutex> lock(mutex);
            --running;
            break; // fewer threads than asked: the ones running share the bands
        }
    }
    if (threads.empty()) {
        walkBands(0, true);
    } else {
        std::unique_lock<std::mutex> lock(mutex);
        while (running > 0) {
            finished.wait_for(lock, std::chrono::milliseconds(100));
            if (running > 0 && (options.progress || options.stop)) {
                lock.unlock();
                if (options.progress) options.progress(done.load(std::memory_order_relaxed), total);
                if (stopAsked()) abandoned.store(true, std::memory_order_relaxed);
                lock.lock();
            }
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    if (abandoned.load()) {
        logFormat("PolyPack::bake: stopped on request after %llu of %llu texels\n",
                  static_cast<unsigned long long>(done.load()),
                  static_cast<unsigned long long>(total));
        return false;
    }
    if (options.progress) options.progress(total, total);

    uint64_t gutter = 0;
    for (uint32_t p : walked)
        gutter += fillGutter(p);

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    logFormat("build time: %g seconds\n", seconds);
    if (stats) {
        stats->texels = total;
        stats->gutter = gutter;
        stats->seconds = seconds;
        stats->workers = threads.empty() ? 1 : static_cast<unsigned>(threads.size());
    }
    return true;
}

uint64_t PolyPack::fillGutter(uint32_t polygon) {
    const AtlasRect& rect = m_polygons[polygon].atlas;
    if (!rect.placed) return 0;
    const Image& image = *m_atlasImage;
    const ChannelType type = channelType(image.format());
    const size_t channelSize = channelBytes(type);
    const size_t texelBytes = static_cast<size_t>(bytesPerPixel(image.format()));
    const size_t channels = texelBytes / channelSize;
    const size_t width = static_cast<size_t>(image.width());
    const size_t planeBytes = width * static_cast<size_t>(image.height()) * texelBytes;
    const size_t planes = static_cast<size_t>(image.depth());
    const size_t values = planes * channels;
    uint8_t* const data = image.data();

    const int x0 = rect.x, x1 = rect.x + rect.placedWidth() - 1;
    const int y0 = rect.y, y1 = rect.y + rect.placedHeight() - 1;
    auto texelAt = [&](int x, int y) {
        return data + (static_cast<size_t>(y) * width + static_cast<size_t>(x)) * texelBytes;
    };

    // The gutter is filled ring by ring outwards from the chart until the whole rectangle
    // holds values: each ring's texels take the weighted mean of their neighbours that are
    // covered or were filled by an earlier ring. A ring's values are found first and written
    // after, so no texel of a ring feeds another of the same ring. Every texel a lightmap pass
    // may draw around a chart's outline then carries transfer from the chart itself.
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    auto local = [&](int x, int y) {
        return static_cast<size_t>(y - y0) * size_t(w) + size_t(x - x0);
    };
    std::vector<uint8_t> known(static_cast<size_t>(w) * static_cast<size_t>(h));
    // The ring a texel was last queued for, so that it is queued once per ring.
    std::vector<uint32_t> queued(known.size(), 0);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            known[local(x, y)] = m_coverage.covered(x, y) ? 1 : 0;

    struct Fill {
        int x, y;
    };
    std::vector<Fill> candidates, fills;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (!known[local(x, y)]) candidates.push_back({x, y});
    std::vector<float> results;
    std::vector<float> sums(values);
    uint64_t filled = 0;
    for (uint32_t ring = 1; !candidates.empty(); ++ring) {
        fills.clear();
        results.clear();
        for (const Fill& at : candidates) {
            float weight = 0.0f;
            std::fill(sums.begin(), sums.end(), 0.0f);
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = at.x + dx, ny = at.y + dy;
                    if ((dx == 0 && dy == 0) || nx < x0 || nx > x1 || ny < y0 || ny > y1 ||
                        !known[local(nx, ny)])
                        continue;
                    const float wt = (dx == 0 || dy == 0) ? 2.0f : 1.0f;
                    weight += wt;
                    const uint8_t* texel = texelAt(nx, ny);
                    for (size_t plane = 0; plane < planes; ++plane)
                        for (size_t c = 0; c < channels; ++c)
                            sums[plane * channels + c] +=
                                wt *
                                readChannel(type, texel + plane * planeBytes + c * channelSize);
                }
            }
            if (weight == 0.0f) continue;
            fills.push_back(at);
            for (float sum : sums)
                results.push_back(sum / weight);
        }
        if (fills.empty()) break; // nothing left that touches the chart (no covered texel)
        for (size_t i = 0; i < fills.size(); ++i) {
            uint8_t* texel = texelAt(fills[i].x, fills[i].y);
            for (size_t plane = 0; plane < planes; ++plane)
                for (size_t c = 0; c < channels; ++c)
                    writeChannel(type, texel + plane * planeBytes + c * channelSize,
                                 results[i * values + plane * channels + c]);
            known[local(fills[i].x, fills[i].y)] = 1;
        }
        filled += fills.size();
        // The next ring: the texels still without values next to this one.
        candidates.clear();
        for (const Fill& at : fills)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = at.x + dx, ny = at.y + dy;
                    if (nx < x0 || nx > x1 || ny < y0 || ny > y1) continue;
                    const size_t i = local(nx, ny);
                    if (known[i] || queued[i] == ring) continue;
                    queued[i] = ring;
                    candidates.push_back({nx, ny});
                }
    }
    return filled;
}

} // namespace Vrenn
