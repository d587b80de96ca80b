// vrenn bake: rebuilds a model's PRT data (atlas, tree, transfer textures, saved model)
// without a window.

#include "core/StopRequest.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "prt/BakePart.h"
#include "prt/PrtScene.h"
#include "prt/SampleDirections.h"
#include "prt/SurfaceAlbedo.h"
#include "vrenn/Commands.h"
#include "vrenn/CompressRun.h"
#include "vrenn/ToolContext.h"

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace Vrenn::Tool {

namespace {

constexpr const char* kHelp =
    "Usage: vrenn bake MODEL.vmsh [--rays N] [--texel-size S] [--bounces N [--albedo A]]\n"
    "                  [--threads T] [--out DIR] [--ambient] [--shard K/N] [--log FILE]\n"
    "                  [--compress]\n"
    "       vrenn bake MODEL.vmsh --merge DIR [--texel-size S] [--out DIR] [--log FILE]\n"
    "                  [--compress]\n"
    "\n"
    "Bakes the model's self-shadowing into SH transfer textures, as the program does at\n"
    "start-up when makebsp is set: packs every surface's polygons into a texture atlas,\n"
    "builds the BSP tree, casts the sample rays from every\n"
    "covered atlas texel and writes shtex0.dds, shtex1.dds and shtex2.dds, and the model\n"
    "with its atlas coordinates (texture-coordinate set 1) as models/saved.vmsh. Files\n"
    "are written only when the whole bake succeeded; earlier ones stay otherwise.\n"
    "\n"
    "  --rays N     rays per texel; the bake uses the largest square g*g <= N\n"
    "               (default: num_rays of default.cfg in the working directory, else 256)\n"
    "  --texel-size S\n"
    "               world units per atlas texel, a number above 0 (default: texel_size of\n"
    "               default.cfg in the working directory, else 4); twice the size makes a\n"
    "               quarter of the texels, files and bake time; shards and their merge\n"
    "               must use the same size\n"
    "  --bounces N  add N bounces of diffuse interreflection to the transfer (0 to 64;\n"
    "               default: num_bounces of default.cfg, else 0). Each bounce walks the\n"
    "               texels once more. Surfaces pass on the luminance of their material's\n"
    "               diffuseMap (materials/materials.mtr of the --out folder); materials\n"
    "               without one pass on 0.5, with a note on standard error\n"
    "  --albedo A   one albedo for every surface instead (0 to 1; at most 0.95 is used)\n"
    "  --threads T  worker threads (default: one per core); every count gives the\n"
    "               same files\n"
    "  --out DIR    where the files go (default: the working directory)\n"
    "  --ambient    bake ambient occlusion into ambient.dds instead\n"
    "  --log FILE   write the log (pack dump, atlas placements, build time) to FILE\n"
    "  --shard K/N  bake only shard K of N (K from 1 to N) into DIR/bake-K-of-N.part: the\n"
    "               polygons cut into N ranges of about equal texels, fixed by the model;\n"
    "               shadowed transfer only (no --bounces: every bounce needs the whole model)\n"
    "  --merge DIR  join the parts bake-1-of-N.part ... bake-N-of-N.part in DIR into the\n"
    "               files above, the same bytes as one bake of the model with the parts'\n"
    "               rays; parts missing, repeated, damaged or of another model, split or\n"
    "               bake are refused and nothing is written\n"
    "  --compress   then compress the transfer textures into shtex.cpca, as\n"
    "               vrenn compress with its defaults does (not with --shard or --ambient)\n"
    "\n"
    "Prints the atlas, the files written and their size in bytes, and last\n"
    "texels=<baked texels> samples=<g*g> seconds=<wall seconds of the texel walk>.\n"
    "A progress bar goes to standard error when it is a terminal.\n"
    "\n"
    "SIGINT or SIGTERM stops the bake: no file is written (or, once the files are being\n"
    "put in place, every one of them is), no temporary file is left, and the command\n"
    "ends by that signal; a second signal ends it at once.\n";

constexpr int kDefaultRays = 256;
constexpr unsigned kMaxThreads = 1024;

bool parseCount(const std::string& text, long long lo, long long hi, long long& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= lo && value <= hi;
}

// "bytes=<total of the files> (<the same in MB>)" and a line end.
std::string filesSizeLine(const std::vector<std::string>& files) {
    uint64_t total = 0;
    for (const std::string& file : files) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(file, ec);
        if (!ec) total += size;
    }
    char line[96];
    std::snprintf(line, sizeof line, "bytes=%llu (%.1f MB)\n",
                  static_cast<unsigned long long>(total), double(total) / 1e6);
    return line;
}

// A one-line bar on standard error, redrawn at most every tenth of a second.
class ProgressBar {
public:
    void update(uint64_t done, uint64_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (done < total && m_drawn && now - m_last < std::chrono::milliseconds(100)) return;
        m_last = now;
        m_drawn = true;
        constexpr int kWidth = 40;
        const double fraction = total ? double(done) / double(total) : 1.0;
        const int filled = static_cast<int>(fraction * kWidth);
        char bar[kWidth + 1];
        for (int i = 0; i < kWidth; ++i)
            bar[i] = i < filled ? '#' : '.';
        bar[kWidth] = '\0';
        std::fprintf(stderr, "\rbaking [%s] %5.1f%% %llu/%llu texels", bar, fraction * 100.0,
                     static_cast<unsigned long long>(done), static_cast<unsigned long long>(total));
        std::fflush(stderr);
    }
    void finish() {
        if (m_drawn) std::fputc('\n', stderr);
    }

private:
    std::chrono::steady_clock::time_point m_last;
    bool m_drawn = false;
};

// Compresses the files just written; the bake's own files stay whatever happens.
bool compressBake(const std::string& outDir, unsigned threads) {
    std::string line;
    CompressOptions options;
    options.threads = threads;
    if (!compressRun(outDir, options, line)) {
        fail("bake: the transfer was written but not compressed: " + line);
        return false;
    }
    std::cout << line;
    return true;
}

// After a stop signal: one line saying whether the files were written, then the process
// ends by that signal, as the program does.
int endStopped(bool written) {
    const int signal = stopSignal();
    std::cerr << "vrenn: bake: stopped by " << (signal ? strsignal(signal) : "request") << "; "
              << (written ? "every file was written" : "no file was written") << "\n";
    endByStopSignal();
    return 1;
}

int runBake(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kHelp;
        return 0;
    }
    std::string modelFile, outDir, logFile, mergeDir;
    long long rays = 0, threads = 0, bounces = 0;
    bool haveRays = false, ambient = false, haveThreads = false, compress = false;
    bool haveBounces = false;
    float albedo = -1.0f;
    std::optional<float> texelSize;
    std::optional<PrtShard> shard;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string* {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        if (arg == "--rays") {
            const std::string* text = value();
            if (!text || !parseCount(*text, 1, kMaxSampleRays, rays))
                return usageError("bake", "--rays needs a number from 1 to " +
                                              std::to_string(kMaxSampleRays));
            haveRays = true;
        } else if (arg == "--texel-size") {
            const std::string* text = value();
            texelSize = text ? texelSizeFromText(*text) : std::nullopt;
            if (!texelSize)
                return usageError("bake", "--texel-size needs a number of world units above 0");
        } else if (arg == "--bounces") {
            const std::string* text = value();
            if (!text || !parseCount(*text, 0, kMaxBounces, bounces))
                return usageError("bake", "--bounces needs a number from 0 to " +
                                              std::to_string(kMaxBounces));
            haveBounces = true;
        } else if (arg == "--albedo") {
            const std::string* text = value();
            float parsed = 0.0f;
            const char* first = text ? text->data() : nullptr;
            const auto [end, error] =
                text ? std::from_chars(first, first + text->size(), parsed)
                     : std::from_chars_result{nullptr, std::errc::invalid_argument};
            if (!text || error != std::errc() || end != first + text->size() ||
                !(parsed >= 0.0f && parsed <= 1.0f))
                return usageError("bake", "--albedo needs a number from 0 to 1");
            albedo = parsed;
        } else if (arg == "--threads") {
            const std::string* text = value();
            if (!text || !parseCount(*text, 1, kMaxThreads, threads))
                return usageError("bake", "--threads needs a number from 1 to " +
                                              std::to_string(kMaxThreads));
            haveThreads = true;
        } else if (arg == "--shard") {
            const std::string* text = value();
            const size_t slash = text ? text->find('/') : std::string::npos;
            long long k = 0, n = 0;
            if (slash == std::string::npos ||
                !parseCount(text->substr(slash + 1), 1, kMaxBakeShards, n) ||
                !parseCount(text->substr(0, slash), 1, n, k))
                return usageError("bake", "--shard needs K/N, K from 1 to N and N from 1 to " +
                                              std::to_string(kMaxBakeShards));
            shard = PrtShard{static_cast<uint32_t>(k), static_cast<uint32_t>(n), 0};
        } else if (arg == "--merge") {
            const std::string* text = value();
            if (!text || text->empty()) return usageError("bake", "--merge needs a DIR");
            mergeDir = *text;
        } else if (arg == "--out") {
            const std::string* text = value();
            if (!text || text->empty()) return usageError("bake", "--out needs a DIR");
            outDir = *text;
        } else if (arg == "--log") {
            const std::string* text = value();
            if (!text || text->empty()) return usageError("bake", "--log needs a FILE");
            logFile = *text;
        } else if (arg == "--ambient") {
            ambient = true;
        } else if (arg == "--compress") {
            compress = true;
        } else if (modelFile.empty() && !arg.empty() && arg[0] != '-') {
            modelFile = arg;
        } else {
            return usageError("bake", "unexpected argument '" + arg + "'");
        }
    }
    if (modelFile.empty()) return usageError("bake", "missing MODEL.vmsh");
    if (compress && (shard || ambient))
        return usageError("bake", "--compress goes with a whole bake or --merge, not with "
                                  "--shard or --ambient");
    if (!mergeDir.empty()) {
        // The parts name the kind and the rays; a merge walks no texels.
        if (shard) return usageError("bake", "--shard and --merge do not go together");
        if (haveRays || ambient || haveThreads || haveBounces || albedo >= 0.0f)
            return usageError("bake", "--merge takes no --rays, --ambient, --threads, --bounces "
                                      "or --albedo: the parts name them");
    }
    if (albedo >= 0.0f && !haveBounces) return usageError("bake", "--albedo goes with --bounces");
    if (haveBounces && bounces > 0 && (ambient || shard))
        return usageError("bake", std::string("--bounces above 0 does not go with ") +
                                      (ambient ? "--ambient: interreflection is SH transfer"
                                               : "--shard: every bounce needs the whole model; "
                                                 "bake it in one piece"));

    installStopSignalHandlers();
    ToolContext context;
    if (!logFile.empty() && !context.logTo(logFile)) return fail("bake: " + context.logFailure());
    if (!haveRays && mergeDir.empty()) {
        rays = kDefaultRays;
        if (context.cvars().Has("num_rays")) {
            const std::optional<int32_t> fromConfig = context.cvars().GetWholeInt("num_rays");
            if (!fromConfig || *fromConfig < 1 || *fromConfig > kMaxSampleRays)
                return fail("bake: num_rays in default.cfg must be a whole number from 1 to " +
                            std::to_string(kMaxSampleRays) + ", not \"" +
                            context.cvars().GetString("num_rays") + "\"");
            rays = *fromConfig;
        }
    }

    if (!texelSize) {
        texelSize = kDefaultTexelSize;
        if (context.cvars().Has("texel_size")) {
            texelSize = texelSizeFromText(context.cvars().GetString("texel_size"));
            if (!texelSize)
                return fail("bake: texel_size in default.cfg must be a number of world units "
                            "above 0, not \"" +
                            context.cvars().GetString("texel_size") + "\"");
        }
    }
    if (!haveBounces && mergeDir.empty() && context.cvars().Has("num_bounces")) {
        const std::optional<int32_t> fromConfig = context.cvars().GetWholeInt("num_bounces");
        if (!fromConfig || *fromConfig < 0 || *fromConfig > kMaxBounces)
            return fail("bake: num_bounces in default.cfg must be a whole number from 0 to " +
                        std::to_string(kMaxBounces) + ", not \"" +
                        context.cvars().GetString("num_bounces") + "\"");
        // The start-up bake's setting; a shard or an ambient bake stays shadowed.
        if (!ambient && !shard) bounces = *fromConfig;
    }

    std::shared_ptr<Model> model;
    auto loaders = ModelLoaderFactory::createDefault();
    // The user's own path: it may lie anywhere, unlike names read from a run folder.
    context.fileSystem().addUserFile(modelFile);
    if (!loaders->load(modelFile, model, false))
        return context.fail("bake", "cannot load " + modelFile);

    uint64_t checksum = 0;
    if (shard || !mergeDir.empty()) {
        std::string why;
        if (!fileChecksum(modelFile, checksum, why))
            return fail("bake: cannot read " + modelFile + ": " + why);
    }
    if (!mergeDir.empty()) {
        PrtBakeResult result;
        const bool merged = mergePrtShards(*model, checksum, mergeDir, outDir, result, *texelSize);
        if (stopRequested()) return endStopped(merged);
        if (!merged) return context.fail("bake", "the merge failed");
        std::cout << "atlas=" << result.atlasWidth << "x" << result.atlasHeight
                  << " polygons=" << result.polygons << " merged\n";
        std::cout << "wrote";
        for (const std::string& file : result.files)
            std::cout << " " << file;
        std::cout << "\n" << filesSizeLine(result.files);
        std::cout << "texels=" << result.texels << " samples=" << result.samples << "\n";
        if (compress && !compressBake(outDir, static_cast<unsigned>(threads))) return 1;
        return context.finish("bake", 0);
    }

    PrtBakeSettings settings;
    settings.rays = static_cast<int>(rays);
    settings.texelSize = *texelSize;
    settings.ambient = ambient;
    settings.bounces = static_cast<int>(bounces);
    settings.albedo = albedo;
    if (bounces > 0 && albedo < 0.0f) {
        std::vector<std::string> missing;
        // The run folder the bake writes into holds the materials and their textures.
        const std::string runDir = outDir.empty() ? "." : outDir;
        settings.surfaceAlbedo = surfaceAlbedos(*model, runDir, kMaterialScript, missing);
        for (const std::string& material : missing)
            std::cerr << "vrenn: bake: no albedo for material \"" << material
                      << "\" (no diffuseMap image for it in "
                      << (std::filesystem::path(runDir) / kMaterialScript).string()
                      << "); it passes on " << kDefaultAlbedo << "\n";
    }
    settings.outputDir = outDir;
    settings.walk.threads = static_cast<unsigned>(threads);
    settings.walk.stop = [] { return stopRequested(); };
    ProgressBar bar;
    if (::isatty(STDERR_FILENO))
        settings.walk.progress = [&bar](uint64_t done, uint64_t total) { bar.update(done, total); };

    PrtBakeResult result;
    bool baked;
    if (shard) {
        shard->modelChecksum = checksum;
        baked = bakePrtShard(*model, settings, *shard, result);
    } else {
        baked = rebuildPrtScene(*model, settings, result);
    }
    bar.finish();
    if (stopRequested()) return endStopped(baked);
    if (!baked) return context.fail("bake", "the bake failed");

    std::cout << "atlas=" << result.atlasWidth << "x" << result.atlasHeight
              << " polygons=" << result.polygons << " threads=" << result.workers
              << " rays=" << result.rays;
    if (bounces > 0) std::cout << " bounces=" << bounces;
    if (shard) std::cout << " shard=" << shard->index << "/" << shard->count;
    std::cout << "\n";
    std::cout << "wrote";
    for (const std::string& file : result.files)
        std::cout << " " << file;
    std::cout << "\n" << filesSizeLine(result.files);
    char last[128];
    std::snprintf(last, sizeof last, "texels=%llu samples=%zu seconds=%.3f\n",
                  static_cast<unsigned long long>(result.texels), result.samples, result.seconds);
    std::cout << last;
    if (compress && !compressBake(outDir, static_cast<unsigned>(threads))) return 1;
    return context.finish("bake", 0);
}

} // namespace

REGISTER_VRENN_COMMAND(bake, "bake", "bake a model's SH transfer textures and atlas coordinates",
                       runBake, 35);

} // namespace Vrenn::Tool
