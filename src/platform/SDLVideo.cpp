#include "platform/SDLVideo.h"

#include "core/Log.h"

#include <SDL.h>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace Vrenn {

namespace {
constexpr const char* kOffscreenDriver = "offscreen";
int pinModule(dl_phdr_info* info, size_t, void*) {
    if (info->dlpi_name && info->dlpi_name[0] != '\0')
        dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    return 0;
}
// A Wayland server's socket lies in XDG_RUNTIME_DIR unless WAYLAND_DISPLAY is an absolute
// path or WAYLAND_SOCKET hands one over. Without any of them no server can be reached, and
// trying makes the Wayland library print "error: XDG_RUNTIME_DIR is invalid or not set in
// the environment." on standard error, on runs that then go on well with another driver. So
// unless the user chose drivers, Wayland is left out of the ones SDL tries, in their order.
void leaveOutUnreachableWayland() {
    if (SDL_GetHint(SDL_HINT_VIDEODRIVER)) return;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if ((runtime && *runtime) || std::getenv("WAYLAND_SOCKET") || (display && *display == '/'))
        return;
    std::string drivers;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (!name || std::strcmp(name, "wayland") == 0) continue;
        if (!drivers.empty()) drivers += ',';
        drivers += name;
    }
    if (!drivers.empty()) SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
}
} // namespace

void pinLoadedModules() {
    dl_iterate_phdr(pinModule, nullptr);
}

void leaveSignalsToTheProgram() {
    SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
}

bool acquireSDLVideo() {
    leaveSignalsToTheProgram();
    leaveOutUnreachableWayland();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
    const std::string reason = sdlError();
    const char* current = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (current && std::strcmp(current, kOffscreenDriver) == 0) {
        logFormat("SDL video could not be initialised: %s\n", reason.c_str());
        return false;
    }
    // No display: the offscreen driver gives a GL context through EGL without one.
    logFormat("No display (%s): using the offscreen video driver\n", reason.c_str());
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, kOffscreenDriver, SDL_HINT_OVERRIDE);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
    logFormat("SDL video could not be initialised: %s\n", sdlError().c_str());
    return false;
}

void releaseSDLVideo() {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}

bool sdlVideoIsOffscreen() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, kOffscreenDriver) == 0;
}

std::string sdlError() {
    const char* text = SDL_GetError();
    return text && *text ? text : "unknown error";
}

} // namespace Vrenn
