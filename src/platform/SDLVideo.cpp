#include "platform/SDLVideo.h"

#include "core/Log.h"

#include <SDL.h>
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
} // namespace

void pinLoadedModules() {
    dl_iterate_phdr(pinModule, nullptr);
}

void leaveSignalsToTheProgram() {
    SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
}

bool acquireSDLVideo() {
    leaveSignalsToTheProgram();
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
