// vrenn probe: turns an HDR panorama into a light probe (SH coefficients) and its sky cube map.

#include "fs/AtomicFile.h"
#include "fs/CodecMgr.h"
#include "fs/DDSCodec.h"
#include "fs/EXRCodec.h"
#include "fs/Image.h"
#include "fs/MadeFolders.h"
#include "fs/RGBECodec.h"
#include "prt/LightProbes.h"
#include "prt/PanoramaProbe.h"
#include "prt/SHWindow.h"
#include "vrenn/Commands.h"
#include "vrenn/ToolContext.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>

namespace Vrenn::Tool {

namespace {

const char* const kHelp =
    "Usage: vrenn probe IMAGE.hdr|IMAGE.exr [--out RUNDIR] [--slot 0|1]\n"
    "                   [--window hann|lanczos|none]\n\n"
    "Makes light probe SLOT (default 0) from an HDR panorama (Radiance .hdr or OpenEXR\n"
    ".exr) in latitude-longitude layout (twice as wide as high; row 0 looks up (+y), the\n"
    "middle column looks at -z, three quarters across at +x, the left and right edges at\n"
    "+z), at most 8192 x 4096 pixels (the sky cube's largest faces, 2048 texels, take no\n"
    "more; a larger panorama is refused before it is read). Writes, in RUNDIR (default:\n"
    "the working directory):\n"
    "  probes/probe<SLOT>.sh        the probe's 25 SH coefficients per channel: three lines\n"
    "                               of 25 numbers, red, green, blue, each texel weighted by\n"
    "                               its solid angle, then each band l scaled by the window\n"
    "  textures/sky/probe<SLOT>.dds the sky: a cube map of width / 4 texels per face (64 to\n"
    "                               2048), four half floats per texel, sampled from the\n"
    "                               panorama\n"
    "The window tames ringing: a series cut off after band 4 dips below zero around a\n"
    "small bright sun, which turns whole regions of a scene black. hann (the default)\n"
    "scales band l by (1 + cos(pi l / 5)) / 2, so a point sun dips to -3.8 % of its peak\n"
    "instead of -15 %; lanczos by sin(pi l / 5) / (pi l / 5) (sharper; -5.6 % for a\n"
    "point, more on skies with a sun above a dark ground); none writes the raw\n"
    "projection. The sky cube is the panorama itself, unwindowed.\n"
    "The radiance is read as the file stores it (max_env_lum plays no part; an OpenEXR\n"
    "file's R, G and B, or Y, channels; alpha plays no part). A panorama so bright that a\n"
    "coefficient overflows a float is refused. Both files are written whole or not at all. The "
    "program uses them when the setting\n"
    "probe<SLOT> names probes/probe<SLOT>.sh: for a probe file probes/NAME.sh it loads\n"
    "the sky textures/sky/NAME.dds in place of the built-in sky of that slot (the\n"
    "built-in skies are textures/sky/builtin0.dds and builtin1.dds). Prints how far the\n"
    "series dips below zero, as the lowest value over the sphere divided by the highest\n"
    "(the worst colour channel), with the window and without it,\n"
    "window=<name> dip=<d> raw_dip=<d>\n"
    "and, as its last line,\n"
    "slot=<k> width=<w> height=<h> coefficients=<file> sky=<file>\n";

// The largest panorama read: its width / 4 is the largest sky cube face.
constexpr int32_t kMaxPanoramaWidth = 8192;

// Loads fileName through the codec registered for "hdr" (switched to unclamped radiance) or
// "exr", neither reading a panorama larger than kMaxPanoramaWidth allows.
int loadPanorama(ToolContext& context, const std::string& fileName, Image& panorama) {
    const auto extension = CodecMgr::extensionOf(fileName);
    if (!extension || (*extension != "hdr" && *extension != "exr"))
        return fail("probe: cannot load " + fileName +
                    ": a Radiance (.hdr) or OpenEXR (.exr) panorama is needed");
    const std::shared_ptr<Codec> codec = context.codecs().getCodec(*extension);
    if (*extension == "hdr") {
        auto radiance = std::dynamic_pointer_cast<RGBECodec>(codec);
        if (!radiance) return fail("probe: cannot load " + fileName + ": no Radiance codec");
        radiance->setOutput(RGBECodec::Output::Radiance);
    } else if (!std::dynamic_pointer_cast<EXRCodec>(codec)) {
        return fail("probe: cannot load " + fileName + ": no OpenEXR codec");
    }
    codec->setPixelLimit(uint64_t{kMaxPanoramaWidth} * (kMaxPanoramaWidth / 2));
    // The user's own path: it may lie anywhere, unlike names read from a run folder.
    context.fileSystem().addUserFile(fileName);
    if (!panorama.load(fileName)) {
        std::string why;
        if (!context.fileSystem().open(fileName, SEARCH_ROOT, false, &why))
            return fail("probe: cannot load " + fileName + ": " +
                        (why.empty() ? "cannot open the file" : why));
        const std::string reason = context.lastFailure();
        return fail("probe: cannot load " + fileName + ": " +
                    (reason.empty() ? "the codec refused it" : reason));
    }
    if (panorama.faces() != 1 || panorama.width() != 2 * panorama.height())
        return fail("probe: " + fileName + " is " + std::to_string(panorama.width()) + "x" +
                    std::to_string(panorama.height()) +
                    (panorama.faces() != 1 ? " cube faces" : "") +
                    ": a latitude-longitude panorama is twice as wide as high");
    return 0;
}

int runProbe(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kHelp;
        return 0;
    }
    std::string input;
    std::string runDir = ".";
    int slot = 0;
    SHWindow window = kDefaultSHWindow;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--out") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return usageError("probe", "--out needs a folder");
            runDir = args[++i];
        } else if (args[i] == "--slot") {
            if (i + 1 >= args.size()) return usageError("probe", "--slot needs 0 or 1");
            const std::string& text = args[++i];
            if (text != "0" && text != "1") return usageError("probe", "--slot needs 0 or 1");
            slot = text[0] - '0';
        } else if (args[i] == "--window") {
            if (i + 1 >= args.size() || !parseSHWindow(args[i + 1], window))
                return usageError("probe", "--window needs hann, lanczos or none");
            ++i;
        } else if (input.empty() && !args[i].empty() && args[i][0] != '-') {
            input = args[i];
        } else {
            return usageError("probe", "unexpected argument '" + args[i] + "'");
        }
    }
    if (input.empty()) return usageError("probe", "missing IMAGE.hdr or IMAGE.exr");
    static_assert(kLightProbeCount == 2, "--slot accepts the slots 0 and 1");

    ToolContext context;
    Image panorama;
    if (const int status = loadPanorama(context, input, panorama)) return status;
    SHCoeffs coeffs;
    Image sky;
    if (!projectPanorama(panorama, coeffs) ||
        !panoramaSkyCube(panorama, panoramaSkyCubeSize(panorama.width()), sky))
        return fail("probe: " + input + " cannot be turned into a probe (out of memory?)");
    for (int c = 0; c < 3; ++c)
        for (const float value : coeffs.channel(c))
            if (!std::isfinite(value))
                return fail("probe: " + input +
                            " is too bright for a probe: its light overflows a float");
    const float rawDip = shSeriesDip(coeffs);
    applySHWindow(window, coeffs);

    const std::filesystem::path root(runDir);
    const std::string name = "probe" + std::to_string(slot);
    const std::string coefficientsName = (root / "probes" / (name + ".sh")).string();
    const std::string skyName = (root / "textures" / "sky" / (name + ".dds")).string();
    // Folders made here go again when the probe is not written; a write that fails names the
    // system's reason.
    MadeFolders folders;
    for (const auto& folder : {root / "probes", root / "textures" / "sky"}) {
        std::string why;
        if (!folders.make(folder, why)) return fail("probe: cannot create " + why);
    }
    AtomicFile coefficientsFile(coefficientsName);
    AtomicFile skyFile(skyName);
    if (!coefficientsFile.isOpen())
        return fail("probe: cannot create " + coefficientsName + ": " + coefficientsFile.failure());
    if (!skyFile.isOpen())
        return fail("probe: cannot create " + skyName + ": " + skyFile.failure());
    const std::string text = formatProbeCoefficients(coeffs);
    coefficientsFile.file()->write(text.data(), static_cast<uint32_t>(text.size()));
    std::shared_ptr<File> skyOut = skyFile.file();
    if (!DDSCodec().encode(skyOut, sky))
        return fail("probe: cannot write " + skyFile.writeFailure());
    std::string why;
    if (!AtomicFile::commitAll({&coefficientsFile, &skyFile}, why))
        return fail("probe: cannot write " + why);
    folders.keep();

    std::printf("window=%s dip=%.4f raw_dip=%.4f\n", shWindowName(window),
                double(shSeriesDip(coeffs)), double(rawDip));
    std::printf("slot=%d width=%d height=%d coefficients=%s sky=%s\n", slot, panorama.width(),
                panorama.height(), coefficientsName.c_str(), skyName.c_str());
    return 0;
}

} // namespace

REGISTER_VRENN_COMMAND(probe, "probe", "make a light probe and its sky from an HDR panorama",
                       runProbe, 38);

} // namespace Vrenn::Tool
