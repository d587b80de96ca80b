#pragma once

#include <string>

namespace Vrenn {

// SDL's video subsystem, shared by the window and the input: every successful
// acquireSDLVideo() is matched by one releaseSDLVideo(). When the default drivers
// cannot open a display (no window system, as on build servers), the offscreen
// driver is used instead; SDL_VIDEODRIVER=offscreen asks for it directly.
bool acquireSDLVideo();
void releaseSDLVideo();

// Tells SDL, before any of its subsystems starts, to leave SIGINT and SIGTERM alone:
// SDL would otherwise turn them into quit events that only the window loop sees. The
// program decides what they do (see core/StopRequest.h); the window loop polls it.
void leaveSignalsToTheProgram();

// True while the video subsystem runs on the offscreen driver.
bool sdlVideoIsOffscreen();

// Keeps every module loaded now loaded until the process ends. The GL driver is loaded
// with the first GL window and unloaded with the last one; pinned, later windows are
// spared the reload (a software rasteriser's compiler is large), and what the driver
// allocates once per process stays reachable instead of dangling in unmapped code.
void pinLoadedModules();

// SDL's description of the last failure.
std::string sdlError();

} // namespace Vrenn
