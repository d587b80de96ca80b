// vrenn compress: clustered-PCA compression of a run folder's transfer textures.

#include "prt/CompressedTransfer.h"
#include "vrenn/Commands.h"
#include "vrenn/CompressRun.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

namespace Vrenn::Tool {

namespace {

constexpr const char* kHelp =
    "Usage: vrenn compress [RUNDIR] [--clusters C] [--components K] [--threads T]\n"
    "\n"
    "Compresses the transfer textures shtex0.dds to shtex2.dds of RUNDIR (default: the\n"
    "working directory) into shtex.cpca beside them: the texels' 75 transfer values\n"
    "(25 coefficients for each of 3 basis directions) are grouped into C clusters, each\n"
    "holding its mean and K principal components, and each texel keeps its cluster and\n"
    "K weights. The program and vrenn lightmaps use shtex.cpca when it is present and\n"
    "made from the transfer textures beside it.\n"
    "\n"
    "  --clusters C    clusters, 1 to 2048 (default 256)\n"
    "  --components K  components per cluster, 1 to 15 (default 7; 3, 7, 11 and 15\n"
    "                  use the lightmap pass best)\n"
    "  --threads T     worker threads (default: one per core); every count writes\n"
    "                  the same bytes\n"
    "\n"
    "Progress goes to standard error. Last line: texels=<covered texels> clusters=<C>\n"
    "components=<K> rms=<RMS error of the transfer values> worst=<largest error of one\n"
    "value> relative_rms=<rms / RMS of the transfer> bytes_before=<shtex0-2.dds>\n"
    "bytes_after=<shtex.cpca> ratio=<before / after> seconds=<time>.\n"
    "A missing or damaged input is one line on standard error, exit 1, nothing written.\n";

bool parseCount(const std::string& text, long long lo, long long hi, long long& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= lo && value <= hi;
}

int runCompress(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kHelp;
        return 0;
    }
    std::string runDir;
    CompressOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const std::string* text = i + 1 < args.size() ? &args[i + 1] : nullptr;
        long long value = 0;
        if (arg == "--clusters") {
            if (!text || !parseCount(*text, 1, kMaxClusters, value))
                return usageError("compress", "--clusters needs a number from 1 to " +
                                                  std::to_string(kMaxClusters));
            options.clusters = uint32_t(value);
            ++i;
        } else if (arg == "--components") {
            if (!text || !parseCount(*text, 1, kMaxComponents, value))
                return usageError("compress", "--components needs a number from 1 to " +
                                                  std::to_string(kMaxComponents));
            options.components = uint32_t(value);
            ++i;
        } else if (arg == "--threads") {
            if (!text || !parseCount(*text, 1, 1024, value))
                return usageError("compress", "--threads needs a number from 1 to 1024");
            options.threads = unsigned(value);
            ++i;
        } else if (runDir.empty() && !arg.empty() && arg[0] != '-') {
            runDir = arg;
        } else {
            return usageError("compress", "unexpected argument '" + arg + "'");
        }
    }
    std::string line;
    if (!compressRun(runDir, options, line)) return fail("compress: " + line);
    std::cout << line;
    return 0;
}

} // namespace

bool compressRun(const std::string& folder, CompressOptions options, std::string& line) {
    options.progress = [](const std::string& step) {
        std::fprintf(stderr, "compress: %s\n", step.c_str());
    };
    const auto start = std::chrono::steady_clock::now();
    CompressStats stats;
    uint64_t before = 0, after = 0;
    if (!compressRunFolder(folder, options, stats, before, after, line)) return false;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char text[400];
    std::snprintf(text, sizeof text,
                  "texels=%zu clusters=%u components=%u rms=%.6g worst=%.6g relative_rms=%.6g "
                  "bytes_before=%llu bytes_after=%llu ratio=%.2f seconds=%.2f\n",
                  stats.coveredTexels,
                  std::min<uint32_t>(options.clusters, uint32_t(stats.coveredTexels)),
                  options.components, stats.rms, stats.worst,
                  stats.signalRms > 0 ? stats.rms / stats.signalRms : 0.0,
                  static_cast<unsigned long long>(before), static_cast<unsigned long long>(after),
                  after ? double(before) / double(after) : 0.0, seconds);
    line = text;
    return true;
}

REGISTER_VRENN_COMMAND(compress, "compress",
                       "compress a run folder's transfer textures (clustered PCA)", runCompress,
                       36);

} // namespace Vrenn::Tool
