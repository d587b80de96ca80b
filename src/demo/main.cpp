// prtdemo: the demonstration program. It runs in the folder given as its one
// argument (default: the working directory), which holds default.cfg and the data.

#include "core/StopRequest.h"
#include "demo/DemoApplication.h"

#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

namespace {
const char* const kHelp =
    "Usage: prtdemo [RUNDIR]\n\n"
    "Runs the demonstration in RUNDIR (default: the working directory), reading\n"
    "default.cfg there and writing app.log, screenshots and default.cfg back.\n"
    "A data file the run folder lacks (effects, materials, fonts, textures, models,\n"
    "default.cfg) is looked for next in the installed data (share/vrenn beside the\n"
    "program's bin folder), then, when run from its build tree, in the source tree's\n"
    "data/. 'vrenn init DIR' makes a run folder. The window is resizable; Alt+Enter\n"
    "switches to full screen and back.\n"
    "Without a display it renders off-screen; set r_maxframes in default.cfg to end\n"
    "after that many frames and r_shotframe to take a screenshot of that frame.\n"
    "Ends with status 1 and one line on standard error when it could not do what it\n"
    "was asked: no GL 4.5 device, or app.log, default.cfg or the screenshot not written.\n"
    "SIGINT or SIGTERM end it as a normal quit does (settings saved, log closed), then by\n"
    "that signal; a second one ends it at once.\n";
} // namespace

int main(int argc, char** argv) {
    if (argc > 2 ||
        (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))) {
        std::cout << kHelp;
        return argc > 2 ? 2 : 0;
    }
    if (argc == 2) {
        std::error_code error;
        std::filesystem::current_path(argv[1], error);
        if (error) {
            std::cerr << "prtdemo: cannot enter " << argv[1] << ": " << error.message() << "\n";
            return 1;
        }
    }
    // SIGINT and SIGTERM ask the program to stop: start-up and the bake cut their work
    // short, the main loop ends, and the usual shut-down saves the settings and closes
    // the log before the process ends by that signal.
    Vrenn::installStopSignalHandlers();
    auto* app = new Vrenn::DemoApplication();
    Vrenn::g_app = app;
    if (app->Initialize()) app->Run();
    app->ShutDown();
    // A run that could not do what it was asked (no device, files it could not write)
    // says why and ends with a failure status.
    const std::string failure = app->failure();
    delete app;
    Vrenn::g_app = nullptr;
    if (!failure.empty()) std::cerr << "prtdemo: " << failure << "\n";
    Vrenn::endByStopSignal();
    return failure.empty() ? 0 : 1;
}
