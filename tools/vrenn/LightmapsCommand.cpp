// vrenn lightmaps: lights a baked run folder with the light probes, as the program does each
// frame, and writes the three lightmaps.

#include "core/StopRequest.h"
#include "fs/AtomicFile.h"
#include "fs/DDSCodec.h"
#include "fs/Image.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/Surface.h"
#include "lighting/LightmapPasses.h"
#include "lighting/UserProbes.h"
#include "platform/SDLVideo.h"
#include "platform/SDLWindow.h"
#include "prt/CompressedTransfer.h"
#include "prt/PrtLighting.h"
#include "prt/TransferTextures.h"
#include "render/TextureManager.h"
#include "render/VertexBufferMgr.h"
#include "render/gl/GLRenderTexture.h"
#include "render/gl/GLRenderer.h"
#include "render/gl/GLTexture.h"
#include "scene/MaterialMgr.h"
#include "vrenn/Commands.h"
#include "vrenn/ToolContext.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <epoxy/gl.h>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

namespace Vrenn::Tool {

namespace {

constexpr const char* kHelp =
    "Usage: vrenn lightmaps [RUNDIR] [--angle RADIANS] [--blend T] [--passes 1|3]\n"
    "                       [--transfer full|compressed] [--out DIR]\n"
    "\n"
    "Lights a baked run folder as the program does every frame and writes the result.\n"
    "In RUNDIR (default: the working directory) it reads default.cfg (model,\n"
    "max_scene_lum, probe0, probe1), the model (it must carry the atlas coordinates of a\n"
    "bake), the transfer textures shtex0.dds to shtex2.dds and the lightmap materials\n"
    "(materials/materials.mtr, materials/render_lm30.mtr and their effects). The probes\n"
    "are the program's: a slot whose setting names a probe file (probes/NAME.sh, from\n"
    "vrenn probe) is lit by it when the file and its sky textures/sky/NAME.dds can be\n"
    "used; otherwise the slot keeps its built-in probe, with the program's reason as a\n"
    "warning line on standard error. It turns\n"
    "both light probes by the sky angle, blends them, draws the lightmap passes in an\n"
    "off-screen OpenGL context (no display needed) and writes the three targets as\n"
    "lightmap0.dds, lightmap1.dds and lightmap2.dds (8-bit RGBA). Texel rgb of lightmap k\n"
    "= clamp(transfer of basis k . lighting / max_scene_lum, 0, 1); alpha 1 where the\n"
    "model drew.\n"
    "\n"
    "  --angle RADIANS  sky angle, the turn about +y (default 0)\n"
    "  --blend T        cross-fade from probe 0 (T = 0) to probe 1 (T = 1) (default 0)\n"
    "  --passes 1|3     one pass, or two partial-sum passes and a combine, from the\n"
    "                   transfer textures (default: as the renderer's shader model\n"
    "                   chooses; every OpenGL 4.5 device runs the single pass)\n"
    "  --transfer full|compressed\n"
    "                   light from the transfer textures, or from shtex.cpca (vrenn\n"
    "                   compress) in one pass (default without --passes: shtex.cpca\n"
    "                   when it is present and made from the transfer textures beside\n"
    "                   it; when it is refused, one line says why and the transfer\n"
    "                   textures are used)\n"
    "  --out DIR        where the lightmaps go (default: RUNDIR); created when missing\n"
    "\n"
    "Last line: width=<W> height=<H> passes=<1 or 3> seconds=<time of the passes>,\n"
    "and transfer=compressed when the compressed transfer lit it.\n"
    "A missing or damaged input is one line on standard error, exit 1, nothing written.\n"
    "The three lightmaps are replaced together or not at all, also on SIGINT or SIGTERM.\n";

constexpr const char* kOutputNames[3] = {"lightmap0.dds", "lightmap1.dds", "lightmap2.dds"};
constexpr int32_t kTransferSlices[3] = {8, 8, 4};

bool parseFloat(const std::string& text, float& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

// A copy of a loaded mesh as a vertex buffer of the renderer, uploaded.
std::shared_ptr<VertexBuffer> uploadCopy(VertexBufferMgr& buffers, const Mesh& mesh) {
    auto buffer = buffers.createVertexBuffer();
    if (!buffer) return nullptr;
    for (uint32_t s = 0; s < mesh.streamCount(); ++s) {
        std::vector<VertexElement> elements;
        for (const VertexElement& e : mesh.elements())
            if (e.stream == s) elements.push_back(e);
        buffer->addStream(mesh.streamData(s), mesh.vertexCount(), mesh.strides()[s], elements);
    }
    buffer->setIndices(mesh.indices().data(), uint32_t(mesh.indices().size()));
    buffer->setPrimitiveType(mesh.primitiveType());
    return buffers.upload(buffer) ? buffer : nullptr;
}

// The target's texels as 8-bit RGBA, top row first.
bool readTarget(const std::shared_ptr<RenderTarget>& target, Image& out) {
    const auto texture = std::dynamic_pointer_cast<GLRenderTexture>(target);
    if (!texture || !texture->texture()) return false;
    uint8_t* data = out.create(target->width(), target->height(), 1, FORMAT_RGBA8, 1, 1);
    if (!data) return false;
    const GLsizei bytes = GLsizei(size_t(target->width()) * size_t(target->height()) * 4);
    glGetTextureImage(texture->texture()->id(), 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes, data);
    return glGetError() == GL_NO_ERROR;
}

// The window, the renderer and everything made through them, released in order.
struct Device {
    std::shared_ptr<SDLWindow> window;
    std::shared_ptr<GLRenderer> renderer;
    ~Device() {
        if (renderer) renderer->ShutDown();
        if (window) window->destroy();
    }
};

// The transfer textures: 8, 8 and 4 slices of four half floats, all of one size. 0, or the
// exit status after one line on standard error.
int loadTransfer(const ToolContext& context, std::array<std::shared_ptr<Image>, 3>& transfer) {
    namespace stdfs = std::filesystem;
    for (int f = 0; f < 3; ++f) {
        const std::string name = kTransferFileNames[f];
        if (!stdfs::exists(name)) return fail("lightmaps: " + name + " is missing");
        transfer[size_t(f)] = loadImage(name);
        const auto& image = transfer[size_t(f)];
        if (!image) return context.fail("lightmaps", "cannot read " + name);
        if (image->format() != FORMAT_RGBA16F || image->depth() != kTransferSlices[f] ||
            image->faces() != 1)
            return fail("lightmaps: " + name + " is not " + std::to_string(kTransferSlices[f]) +
                        " slices of four half floats");
        if (image->width() != transfer[0]->width() || image->height() != transfer[0]->height())
            return fail("lightmaps: " + name + " is " + std::to_string(image->width()) + "x" +
                        std::to_string(image->height()) + ", shtex0.dds " +
                        std::to_string(transfer[0]->width()) + "x" +
                        std::to_string(transfer[0]->height()));
    }

    return 0;
}

int runLightmaps(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kHelp;
        return 0;
    }
    std::string runDir, outDir;
    float angle = 0.0f, blend = 0.0f;
    int passCount = 0;
    std::string transferChoice;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string* {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        if (arg == "--angle") {
            const std::string* text = value();
            if (!text || !parseFloat(*text, angle))
                return usageError("lightmaps", "--angle needs a number of radians");
        } else if (arg == "--blend") {
            const std::string* text = value();
            if (!text || !parseFloat(*text, blend))
                return usageError("lightmaps", "--blend needs a number");
        } else if (arg == "--passes") {
            const std::string* text = value();
            if (!text || (*text != "1" && *text != "3"))
                return usageError("lightmaps", "--passes is 1 or 3");
            passCount = *text == "1" ? 1 : 3;
        } else if (arg == "--transfer") {
            const std::string* text = value();
            if (!text || (*text != "full" && *text != "compressed"))
                return usageError("lightmaps", "--transfer is full or compressed");
            transferChoice = *text;
        } else if (arg == "--out") {
            const std::string* text = value();
            if (!text || text->empty()) return usageError("lightmaps", "--out needs a DIR");
            outDir = *text;
        } else if (runDir.empty() && !arg.empty() && arg[0] != '-') {
            runDir = arg;
        } else {
            return usageError("lightmaps", "unexpected argument '" + arg + "'");
        }
    }

    if (transferChoice == "compressed" && passCount != 0)
        return usageError("lightmaps", "--passes draws the transfer textures; the compressed "
                                       "transfer has a pass of its own");

    // Everything in the run folder is named relative to it, as the program runs there.
    namespace stdfs = std::filesystem;
    std::error_code ec;
    const stdfs::path out =
        stdfs::absolute(outDir.empty() ? (runDir.empty() ? "." : runDir) : outDir, ec);
    if (ec) return fail("lightmaps: cannot resolve " + outDir);
    if (!runDir.empty()) {
        stdfs::current_path(runDir, ec);
        if (ec) return fail("lightmaps: cannot enter " + runDir + ": " + ec.message());
    }
    // The output folder is made only once the lightmaps are ready to be written.
    if (stdfs::exists(out, ec) && !stdfs::is_directory(out, ec))
        return fail("lightmaps: " + out.string() + " is no folder");

    ToolContext context;
    const CVarManager& cvars = context.cvars();
    if (!cvars.Has("model") || cvars.GetString("model").empty())
        return fail("lightmaps: default.cfg names no model");
    const float maxSceneLum = cvars.Has("max_scene_lum") ? cvars.GetFloat("max_scene_lum") : 0.0f;
    if (!(maxSceneLum > 0.0f) || !std::isfinite(maxSceneLum))
        return fail("lightmaps: max_scene_lum in default.cfg must be above 0");

    // The compressed transfer unless the full one or a pass count is asked for; a refused file
    // falls back to the transfer textures unless the compressed one was asked for.
    CompressedTransfer compressed;
    bool useCompressed = false;
    if (transferChoice == "compressed" || (transferChoice.empty() && passCount == 0)) {
        std::string why;
        useCompressed = loadCompressedTransfer("", compressed, why);
        if (!useCompressed && transferChoice == "compressed")
            return fail("lightmaps: " + (why.empty() ? std::string(kCompressedTransferFileName) +
                                                           " is missing (run vrenn compress)"
                                                     : why));
        if (!useCompressed && !why.empty())
            std::cerr << "vrenn: lightmaps: " << why << "; the transfer textures are used\n";
    }
    std::array<std::shared_ptr<Image>, 3> transfer;
    if (!useCompressed) {
        const int status = loadTransfer(context, transfer);
        if (status != 0) return status;
    }

    const std::string modelName = cvars.GetString("model");
    std::shared_ptr<Model> model;
    if (!ModelLoaderFactory::createDefault()->load(modelName, model, false))
        return context.fail("lightmaps", "cannot load " + modelName);
    const std::string unsuitable = LightmapPasses::unsuitableReason(*model);
    if (!unsuitable.empty()) return fail("lightmaps: " + modelName + ": " + unsuitable);

    Device device;
    device.window = std::make_shared<SDLWindow>("Application", "vrenn lightmaps");
    device.window->setHidden(true);
    // A small hidden window: the passes draw into their own targets.
    if (!device.window->create(false, 1, 32, 24, 8, 0))
        return fail("lightmaps: no window could be opened: " + sdlError());
    device.renderer = std::make_shared<GLRenderer>();
    GLRenderer& renderer = *device.renderer;
    if (!renderer.Initialize(device.window))
        return context.fail("lightmaps", "no OpenGL 4.5 core device");

    const LightmapPath path = passCount == 0   ? LightmapPasses::pathFor(renderer)
                              : passCount == 3 ? LightmapPath::ThreePass
                                               : LightmapPath::OnePass;
    MaterialMgr materials(renderer.shaderMgr(), renderer.textureManager());
    if (!materials.loadScript("materials/materials.mtr"))
        return context.fail("lightmaps", "cannot load materials/materials.mtr");
    if (path == LightmapPath::OnePass && !materials.loadScript("materials/render_lm30.mtr"))
        return context.fail("lightmaps", "cannot load materials/render_lm30.mtr");

    std::array<std::shared_ptr<Texture>, 3> textures;
    for (size_t f = 0; f < 3 && !useCompressed; ++f) {
        textures[f] = renderer.textureManager()->createTexture(kTransferFileNames[f], transfer[f]);
        if (!textures[f])
            return context.fail("lightmaps", std::string("cannot upload ") + kTransferFileNames[f]);
    }
    auto drawn = std::make_shared<Model>();
    for (const auto& surface : model->surfaces()) {
        auto buffer = uploadCopy(*renderer.vertexBufferMgr(), *surface->mesh());
        if (!buffer) return context.fail("lightmaps", "cannot upload " + modelName);
        auto copy = std::make_shared<Surface>();
        copy->setMaterial(surface->materialName(), surface->material());
        copy->setMesh(buffer);
        drawn->addSurface(copy);
    }

    LightmapPasses passes;
    if (useCompressed ? !passes.createCompressed(renderer, materials, compressed, maxSceneLum)
                      : !passes.create(renderer, materials, textures, maxSceneLum, path))
        return context.fail("lightmaps", "the lightmap passes cannot be set up");
    const ProbeChoice probes = chooseProbes({cvars.GetString("probe0"), cvars.GetString("probe1")},
                                            *renderer.textureManager());
    for (const std::string& refusal : probes.refusals)
        if (!refusal.empty()) std::cerr << "vrenn: lightmaps: warning: " << refusal << "\n";
    PrtLighting lighting(probes.probes);
    lighting.update(angle, blend, {});
    glFinish();
    const auto start = std::chrono::steady_clock::now();
    const bool rendered = passes.render(renderer, lighting, *drawn);
    glFinish();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!rendered) return context.fail("lightmaps", "the lightmap passes failed");

    stdfs::create_directories(out, ec);
    if (ec) return fail("lightmaps: cannot create " + out.string() + ": " + ec.message());
    // All three are read and encoded before any is put in place, and then put in place
    // together: a failure or a stop signal at any point leaves every earlier lightmap.
    installStopSignalHandlers();
    std::array<std::unique_ptr<AtomicFile>, 3> files;
    for (size_t k = 0; k < 3; ++k) {
        Image image;
        if (!readTarget(passes.lightmaps()[k], image))
            return fail("lightmaps: the lightmaps cannot be read back");
        const std::string target = (out / kOutputNames[k]).string();
        files[k] = std::make_unique<AtomicFile>(target);
        if (!files[k]->isOpen())
            return fail("lightmaps: cannot create " + target + ": " + files[k]->failure());
        std::shared_ptr<File> file = files[k]->file();
        if (!DDSCodec().encode(file, image))
            return fail("lightmaps: cannot write " + files[k]->writeFailure());
        if (stopRequested()) break;
    }
    if (stopRequested()) {
        for (auto& file : files)
            file.reset(); // removes the temporaries
        std::cerr << "vrenn: lightmaps: stopped by a signal; no lightmap was written\n";
        endByStopSignal();
        return 1;
    }
    std::string why;
    if (!AtomicFile::commitAll({files[0].get(), files[1].get(), files[2].get()}, why))
        return fail("lightmaps: cannot write " + why);

    char last[160];
    std::snprintf(last, sizeof last, "width=%d height=%d passes=%d seconds=%.6f%s\n",
                  passes.width(), passes.height(), passes.path() == LightmapPath::ThreePass ? 3 : 1,
                  seconds, useCompressed ? " transfer=compressed" : "");
    std::cout << last;
    return 0;
}

} // namespace

REGISTER_VRENN_COMMAND(lightmaps, "lightmaps",
                       "light a baked run folder with the probes and write its lightmaps",
                       runLightmaps, 37);

} // namespace Vrenn::Tool
