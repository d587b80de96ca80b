// vrenn probe: turns an HDR panorama into a light probe (SH coefficients) and its sky cube map.

#include "fs/AtomicFile.h"
#include "fs/CodecMgr.h"
#include "fs/DDSCodec.h"
#include "fs/Image.h"
#include "fs/RGBECodec.h"
#include "prt/LightProbes.h"
#include "prt/PanoramaProbe.h"
#include "vrenn/Commands.h"
#include "vrenn/ToolContext.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

namespace Vrenn::Tool {

namespace {

const char* const kHelp =
    "Usage: vrenn probe IMAGE.hdr [--out RUNDIR] [--slot 0|1]\n\n"
    "Makes light probe SLOT (default 0) from a Radiance HDR panorama in latitude-longitude\n"
    "layout (twice as wide as high; row 0 looks up (+y), the middle column looks at -z,\n"
    "three quarters across at +x, the left and right edges at +z). Writes, in RUNDIR\n"
    "(default: the working directory):\n"
    "  probes/probe<SLOT>.sh        the probe's 25 SH coefficients per channel: three lines\n"
    "                               of 25 numbers, red, green, blue, each texel weighted by\n"
    "                               its solid angle\n"
    "  textures/sky/probe<SLOT>.dds the sky: a cube map of width / 4 texels per face (64 to\n"
    "                               2048), four half floats per texel, sampled from the\n"
    "                               panorama\n"
    "The radiance is read as the file stores it (max_env_lum plays no part). Both files\n"
    "are written whole or not at all. The program uses them when the setting\n"
    "probe<SLOT> names probes/probe<SLOT>.sh: for a probe file probes/NAME.sh it loads\n"
    "the sky textures/sky/NAME.dds in place of the built-in sky of that slot (the\n"
    "built-in skies are textures/sky/builtin0.dds and builtin1.dds). Prints, as its\n"
    "last line,\n"
    "slot=<k> width=<w> height=<h> coefficients=<file> sky=<file>\n";

// Loads fileName through the codec registered for "hdr", switched to unclamped radiance.
int loadPanorama(ToolContext& context, const std::string& fileName, Image& panorama) {
    const auto extension = CodecMgr::extensionOf(fileName);
    if (!extension || *extension != "hdr")
        return fail("probe: cannot load " + fileName + ": a Radiance panorama (.hdr) is needed");
    auto codec = std::dynamic_pointer_cast<RGBECodec>(context.codecs().getCodec("hdr"));
    if (!codec) return fail("probe: cannot load " + fileName + ": no Radiance codec");
    codec->setOutput(RGBECodec::Output::Radiance);
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
        } else if (input.empty() && !args[i].empty() && args[i][0] != '-') {
            input = args[i];
        } else {
            return usageError("probe", "unexpected argument '" + args[i] + "'");
        }
    }
    if (input.empty()) return usageError("probe", "missing IMAGE.hdr");
    static_assert(kLightProbeCount == 2, "--slot accepts the slots 0 and 1");

    ToolContext context;
    Image panorama;
    if (const int status = loadPanorama(context, input, panorama)) return status;
    SHCoeffs coeffs;
    Image sky;
    if (!projectPanorama(panorama, coeffs) ||
        !panoramaSkyCube(panorama, panoramaSkyCubeSize(panorama.width()), sky))
        return fail("probe: " + input + " cannot be turned into a probe (out of memory?)");

    const std::filesystem::path root(runDir);
    const std::string name = "probe" + std::to_string(slot);
    const std::string coefficientsName = (root / "probes" / (name + ".sh")).string();
    const std::string skyName = (root / "textures" / "sky" / (name + ".dds")).string();
    for (const auto& folder : {root / "probes", root / "textures" / "sky"}) {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) return fail("probe: cannot create " + folder.string() + ": " + error.message());
    }
    AtomicFile coefficientsFile(coefficientsName);
    AtomicFile skyFile(skyName);
    if (!coefficientsFile.isOpen()) return fail("probe: cannot create " + coefficientsName);
    if (!skyFile.isOpen()) return fail("probe: cannot create " + skyName);
    const std::string text = formatProbeCoefficients(coeffs);
    coefficientsFile.file()->write(text.data(), static_cast<uint32_t>(text.size()));
    std::shared_ptr<File> skyOut = skyFile.file();
    if (!DDSCodec().encode(skyOut, sky)) return fail("probe: cannot write " + skyName);
    std::string why;
    if (!AtomicFile::commitAll({&coefficientsFile, &skyFile}, why))
        return fail("probe: cannot write " + why);

    std::printf("slot=%d width=%d height=%d coefficients=%s sky=%s\n", slot, panorama.width(),
                panorama.height(), coefficientsName.c_str(), skyName.c_str());
    return 0;
}

} // namespace

REGISTER_VRENN_COMMAND(probe, "probe", "make a light probe and its sky from an HDR panorama",
                       runProbe, 38);

} // namespace Vrenn::Tool
