// vrenn image: describes and converts images through the engine's codecs.

#include "fs/CodecMgr.h"
#include "fs/Image.h"
#include "vrenn/Commands.h"
#include "vrenn/ToolContext.h"

#include <cstdio>
#include <iostream>

namespace Vrenn::Tool {

namespace {
const char* const kHelp =
    "Usage: vrenn image info FILE\n"
    "       vrenn image convert IN OUT\n\n"
    "info     loads FILE and prints, as its first line,\n"
    "         format=<code> width=<w> height=<h> depth=<d> mips=<m> faces=<f>\n"
    "convert  loads IN and saves it through the codec OUT's extension selects\n"
    "         (only dds writes)\n\n"
    "The codec is chosen by the text after the last '.' of the name, case-sensitively:\n"
    "dds, jpg, jpeg, hdr, png, exr. Radiance pictures are packed into 8-bit RGBA using\n"
    "the console variable max_env_lum from default.cfg in the working directory (0 or\n"
    "missing: 32); a vertical cross becomes a cube map. PNG grey with alpha is read\n"
    "as RGBA, 16-bit channels are scaled to 8 bits and palettes are looked up. OpenEXR\n"
    "pictures (scan-line or tiled, any compression) are read unclamped as four 32-bit\n"
    "floats per texel (format 16: R, G, B, and A or 1), the data window top row first.\n";

// Checks that fileName's extension names a registered codec; otherwise describes why
// not.
bool findCodec(ToolContext& context, const std::string& fileName, std::string& problem) {
    const auto extension = CodecMgr::extensionOf(fileName);
    if (!extension) {
        problem = "the name has no extension to choose an image codec by";
        return false;
    }
    if (context.codecs().getCodec(*extension)) return true;
    problem = "no image codec for extension '" + *extension + "' (known:";
    for (const auto& [name, codec] : context.codecs().codecs())
        problem += " " + name;
    problem += ")";
    return false;
}

int loadOrFail(ToolContext& context, const std::string& fileName, Image& image) {
    std::string problem;
    if (!findCodec(context, fileName, problem))
        return fail("cannot load " + fileName + ": " + problem);
    // The user's own path: it may lie anywhere, unlike names read from a run folder.
    context.fileSystem().addUserFile(fileName);
    if (image.load(fileName)) return 0;
    const std::string reason = context.lastFailure();
    std::string why;
    if (!context.fileSystem().open(fileName, SEARCH_ROOT, false, &why))
        return fail("cannot load " + fileName + ": " +
                    (why.empty() ? "cannot open the file" : why));
    return fail("cannot load " + fileName + ": " +
                (reason.empty() ? "the codec refused it" : reason));
}

int runInfo(const Args& args) {
    if (args.size() != 2) return usageError("image", "info takes one FILE");
    ToolContext context;
    Image image;
    if (const int status = loadOrFail(context, args[1], image)) return status;
    std::printf("format=%d width=%d height=%d depth=%d mips=%d faces=%d\n",
                static_cast<int>(image.format()), image.width(), image.height(), image.depth(),
                image.mipLevels(), image.faces());
    return 0;
}

int runConvert(const Args& args) {
    if (args.size() != 3) return usageError("image", "convert takes IN and OUT");
    ToolContext context;
    const std::string& output = args[2];
    std::string problem;
    if (!findCodec(context, output, problem))
        return fail("cannot write " + output + ": " + problem);
    Image image;
    if (const int status = loadOrFail(context, args[1], image)) return status;
    if (!image.save(output)) {
        const std::string reason = context.lastFailure();
        return fail("cannot write " + output + ": " +
                    (reason.empty() ? "the codec refused the image" : reason));
    }
    return 0;
}

int runImage(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kHelp;
        return 0;
    }
    if (args.empty()) return usageError("image", "missing action (info or convert)");
    if (args[0] == "info") return runInfo(args);
    if (args[0] == "convert") return runConvert(args);
    return usageError("image", "unknown action '" + args[0] + "'");
}
} // namespace

REGISTER_VRENN_COMMAND(image, "image", "describe images and convert them to DDS", runImage, 10);

} // namespace Vrenn::Tool
