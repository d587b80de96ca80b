// Sharded bakes: parts of a split joined into the files of one bake, and parts that do not
// belong together refused without a file written.

#include "BakeScenes.h"
#include "core/StopRequest.h"
#include "geometry/GeometryTestSupport.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/VmshLoader.h"
#include "prt/BakePart.h"
#include "prt/PrtScene.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>

namespace Vrenn {
namespace {

namespace fs = std::filesystem;
using Test::LogCapture;
using Test::TempDir;
using testing::Rect;

const std::vector<const char*> kTransferFiles = {"shtex0.dds", "shtex1.dds", "shtex2.dds",
                                                 "models/saved.vmsh"},
                               kAmbientFiles = {"ambient.dds", "models/saved.vmsh"};

// The shaded scene and a row of posts of different sizes beside it: polygons of many sizes,
// so that splits cut between small and large ones.
std::shared_ptr<Model> postsScene() {
    auto model = testing::shadedScene();
    std::vector<Rect> posts;
    for (int i = 0; i < 6; ++i) {
        const float x = 100.0f + 14.0f * float(i), h = 4.0f + 3.0f * float(i);
        posts.push_back({{x, 0, 0}, {6, 0, 0}, {0, 0, h}});
        posts.push_back({{x + 6, 6, 0}, {-6, 0, 0}, {0, 0, h}});
    }
    model->addSurface(testing::rectSurface(posts));
    return model;
}

// A model file on disk and what bakes of it write; every bake loads the file afresh, as
// separate runs of the command do.
struct ModelFile {
    explicit ModelFile(const TempDir& dir) : path(dir.file("scene.vmsh")) {
        EXPECT_TRUE(VmshLoader().save(path, *postsScene()));
        std::string why;
        EXPECT_TRUE(fileChecksum(path, checksum, why)) << why;
    }
    std::shared_ptr<Model> load() const {
        std::shared_ptr<Model> model;
        EXPECT_TRUE(ModelLoaderFactory::createDefault()->load(path, model, false));
        return model;
    }
    bool shard(const std::string& out, uint32_t k, uint32_t n, int rays = 5, bool ambient = false,
               uint64_t sum = 0) const {
        PrtBakeSettings settings;
        settings.rays = rays;
        settings.ambient = ambient;
        settings.outputDir = out;
        settings.walk.threads = 1 + k % 3; // the split never depends on the threads
        PrtBakeResult result;
        return bakePrtShard(*load(), settings, {k, n, sum ? sum : checksum}, result);
    }
    std::string path;
    uint64_t checksum = 0;
};

TEST(BakeShards, PartsMergeIntoTheBytesOfOneBakeAndMismatchedOnesAreRefused) {
    TempDir dir;
    const ModelFile file(dir);
    for (const bool ambient : {false, true}) {
        const std::string wholeName = ambient ? "whole-ambient" : "whole";
        const std::string whole = dir.file(wholeName);
        // 4 samples weighted for 5 rays: the parts must carry both.
        const PrtBakeResult one = testing::bakeModel(
            *file.load(), whole, 5, [&](PrtBakeSettings& settings) { settings.ambient = ambient; });

        for (const uint32_t n :
             ambient ? std::vector<uint32_t>{3} : std::vector<uint32_t>{1, 2, 3, 7}) {
            const std::string tag = std::to_string(ambient) + "-" + std::to_string(n);
            SCOPED_TRACE("ambient-shards " + tag);
            const std::string parts = dir.file("parts-" + tag), outName = "merged-" + tag;
            for (uint32_t k = n; k >= 1; --k) // any order
                ASSERT_TRUE(file.shard(parts, k, n, 5, ambient));
            const std::string out = dir.file(outName);
            PrtBakeResult merged;
            ASSERT_TRUE(mergePrtShards(*file.load(), file.checksum, parts, out, merged));
            EXPECT_EQ(merged.texels, one.texels);
            EXPECT_EQ(merged.samples, 4u);
            for (const char* name : ambient ? kAmbientFiles : kTransferFiles) {
                const std::string a = dir.read(wholeName + "/" + name);
                EXPECT_TRUE(!a.empty() && a == dir.read(outName + "/" + name))
                    << name << " differs";
            }
        }
    }

    // The split: contiguous ranges covering every polygon once, in shard order, each polygon
    // with the shard where the middle of its covered texels falls (so parts baked earlier still
    // merge); with more shards than polygons the empty ones sit where their polygons would.
    PolyPack pack(4, 3, 4);
    testing::packModel(pack, *file.load(), 1, FORMAT_L8, false);
    const uint32_t polygons = uint32_t(pack.polygons().size());
    std::vector<uint64_t> texels(polygons, 0);
    uint64_t total = 0;
    for (uint32_t p = 0; p < polygons; total += texels[p++]) {
        const AtlasRect& r = pack.polygons()[p].atlas;
        for (int y = r.y; r.placed && y < r.y + r.placedHeight(); ++y)
            for (int x = r.x; x < r.x + r.placedWidth(); ++x)
                texels[p] += pack.coverage().covered(x, y);
    }
    for (const uint32_t n : {1u, 3u, 7u, polygons, 5 * polygons + 3}) {
        SCOPED_TRACE(std::to_string(n) + " shards");
        const std::vector<PolygonRange> split = shardSplit(pack, n);
        ASSERT_EQ(split.size(), n);
        uint32_t next = 0;
        for (uint32_t k = 1; k <= n; next += split[k - 1].count, ++k) {
            EXPECT_EQ(split[k - 1].first, next) << "shard " << k;
            const PolygonRange range = shardPolygons(pack, k, n);
            EXPECT_EQ(std::pair(range.first, range.count),
                      std::pair(split[k - 1].first, split[k - 1].count));
        }
        ASSERT_EQ(next, polygons);
        uint64_t before = 0;
        for (uint32_t p = 0, k = 0; p < polygons; before += texels[p++]) {
            while (p >= split[k].first + split[k].count)
                ++k;
            EXPECT_EQ(k, std::min<uint64_t>((2 * before + texels[p]) * n / (2 * total), n - 1))
                << "polygon " << p;
        }
    }

    // Parts that do not belong together are refused and nothing is written. Each case: a copy
    // of the three transfer parts merged above, spoilt as named (in folder p, part 2 at q).
    const std::string good = dir.file("parts-0-3");
    const std::string partBytes = dir.read("parts-0-3/bake-2-of-3.part");
    struct Case {
        const char* what;
        std::function<void(const std::string& p, const std::string& q)> spoil;
        const char* message;
    };
    auto put = [](const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    };
    auto flipped = partBytes, tooMany = partBytes;
    flipped[flipped.size() / 2] ^= 0x10;
    tooMany[68] = tooMany[69] = tooMany[70] = '\x7f'; // the shard's polygon count
    const std::vector<Case> cases = {
        {"missing part", [](auto&, auto& q) { fs::remove(q); }, "1 of 3 parts missing in"},
        {"duplicate part",
         [](auto& p, auto& q) {
             fs::copy_file(p + "/bake-1-of-3.part", q, fs::copy_options::overwrite_existing);
         },
         "bake-2-of-3.part holds shard 1 of 3"},
        {"part of another split", [&](auto& p, auto&) { ASSERT_TRUE(file.shard(p, 1, 2)); },
         "different splits"},
        {"part of another model",
         [&](auto& p, auto&) { ASSERT_TRUE(file.shard(p, 3, 3, 5, false, 12345)); },
         "bake-3-of-3.part was baked from another model file"},
        {"other ray count", [&](auto& p, auto&) { ASSERT_TRUE(file.shard(p, 2, 3, 4)); },
         "bake-2-of-3.part is another bake (SH transfer, 4 rays (4 samples)"},
        {"other kind", [&](auto& p, auto&) { ASSERT_TRUE(file.shard(p, 3, 3, 5, true)); },
         "bake-3-of-3.part is another bake (ambient"},
        {"truncated part",
         [&](auto&, auto& q) { put(q, partBytes.substr(0, partBytes.size() - 9)); },
         "bake-2-of-3.part is truncated"},
        {"damaged part", [&](auto&, auto& q) { put(q, flipped); },
         "bake-2-of-3.part is damaged (its checksum"},
        // Parts that are no regular file, or whose size is not what their header calls for,
        // are refused before their texels are read: a FIFO never blocks, a folder or a huge
        // sparse file is never read into memory.
        {"folder for a part", [](auto&, auto& q) { fs::remove(q), fs::create_directory(q); },
         "bake-2-of-3.part is a folder"},
        {"FIFO for a part",
         [](auto&, auto& q) { ASSERT_TRUE(fs::remove(q) && ::mkfifo(q.c_str(), 0600) == 0); },
         "bake-2-of-3.part is not a regular file"},
        {"part grown to 3 GiB", [](auto&, auto& q) { fs::resize_file(q, 3ull << 30); },
         "bake-2-of-3.part is damaged ("},
        {"header claiming more polygons than the file holds",
         [&](auto&, auto& q) { put(q, tooMany); }, "bake-2-of-3.part is truncated ("},
        {"not a part", [&](auto&, auto& q) { put(q, "hello, no part of a bake"); },
         "bake-2-of-3.part is not a bake part"},
        {"badly named part", [](auto& p, auto& q) { fs::rename(q, p + "/bake-02-of-3.part"); },
         "bake-02-of-3.part is not named as a part is"},
        {"no parts", [](auto& p, auto&) { fs::remove_all(p), fs::create_directory(p); },
         "no parts (bake-K-of-N.part) in"},
        {"stop requested (a signal)", [](auto&, auto&) { requestStop(15); }, "stopped on request"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string parts = dir.file("spoilt");
        fs::remove_all(parts);
        fs::copy(good, parts);
        c.spoil(parts, parts + "/bake-2-of-3.part");
        const std::string out = dir.file("out");
        fs::remove_all(out);
        fs::create_directories(out);
        put(out + "/shtex0.dds", "earlier");

        LogCapture log;
        PrtBakeResult result;
        EXPECT_FALSE(mergePrtShards(*file.load(), file.checksum, parts, out, result));
        clearStopRequest();
        const std::string text = log.text();
        // One line says why.
        const size_t at = text.find("PRT merge refused: ");
        ASSERT_NE(at, std::string::npos) << text;
        EXPECT_EQ(text.find("PRT merge refused: ", at + 1), std::string::npos) << text;
        const std::string line = text.substr(at, text.find('\n', at) - at);
        EXPECT_NE(line.find(c.message), std::string::npos) << line;
        std::vector<std::string> left;
        for (const auto& entry : fs::recursive_directory_iterator(out))
            left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"shtex0.dds"});
        EXPECT_EQ(dir.read("out/shtex0.dds"), "earlier");
    }
}

} // namespace
} // namespace Vrenn
