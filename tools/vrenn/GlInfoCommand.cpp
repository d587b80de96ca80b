// vrenn glinfo: opens the renderer as the program does and says which OpenGL it got.

#include "platform/SDLVideo.h"
#include "platform/SDLWindow.h"
#include "render/gl/GLRenderer.h"
#include "vrenn/Commands.h"
#include "vrenn/ToolContext.h"

#include <iostream>

namespace Vrenn::Tool {

namespace {
constexpr const char* kHelp =
    "Usage: vrenn glinfo [--log FILE]\n\n"
    "Opens a window and the OpenGL renderer with the display settings of default.cfg\n"
    "(windowed and hidden; SDL's offscreen driver when there is no display) and prints\n"
    "one line: the device label, GL_RENDERER and GL_VERSION, separated by \" | \".\n"
    "Exit status 0 when the renderer came up, 1 otherwise; the log says why.\n\n"
    "  --log FILE   write the engine's log lines to FILE\n";

int runGlInfo(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kHelp;
        return 0;
    }
    std::string logFile;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--log" && i + 1 < args.size()) {
            logFile = args[++i];
        } else {
            return usageError("glinfo", "unexpected argument '" + args[i] + "'");
        }
    }

    ToolContext context;
    if (!logFile.empty() && !context.logTo(logFile)) return fail("glinfo: " + context.logFailure());
    const CVarManager& cvars = context.cvars();

    auto window = std::make_shared<SDLWindow>("Application", "vrenn glinfo");
    window->setHidden(true);
    if (!window->create(false, cvars.GetInt("r_mode"), cvars.GetInt("r_colorbits"),
                        cvars.GetInt("r_depthbits"), cvars.GetInt("r_stencilbits"),
                        cvars.GetInt("r_fsaalevel")))
        return fail("glinfo: no window could be opened: " + sdlError());

    auto renderer = std::make_shared<GLRenderer>();
    if (!renderer->Initialize(window)) {
        renderer->ShutDown();
        window->destroy();
        return fail(logFile.empty()
                        ? "glinfo: no OpenGL 4.5 core device (--log FILE records why)"
                        : "glinfo: no OpenGL 4.5 core device (the reason is in " + logFile + ")");
    }
    std::cout << renderer->deviceLabel() << " | " << renderer->caps().renderer << " | "
              << renderer->caps().version << "\n";
    renderer->ShutDown();
    window->destroy();
    return context.finish("glinfo", 0);
}
} // namespace

REGISTER_VRENN_COMMAND(glinfo, "glinfo", "check that OpenGL 4.5 core works on this machine",
                       runGlInfo, 50);

} // namespace Vrenn::Tool
