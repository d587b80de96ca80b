#pragma once

namespace Vrenn {

class Camera;
class Renderer;
class SkyBox;

// Draws the sky box with its material as the camera sees it with the environment turned by
// skyAngle (radians), the angle the lighting's probes are turned by: the camera is turned about
// its up axis by -(skyAngle * 57.2958) degrees, updated, and its view and projection handed to
// the renderer (with the identity world); the sky is drawn; then the camera gets its own
// orientation back exactly, is updated and handed to the renderer again. Turning the camera by
// -a shows in world direction d what the sky holds in direction R(-a) d, R the right-hand turn
// about +y, which is the light the turned probes send from d.
//
// The sky's material ("sky") places the box around the camera and at the far plane without
// writing depth, so it lies behind everything whether it is drawn before or after the scene.
// False, with nothing drawn (the camera and renderer are still left as described), when the sky
// has no uploaded mesh or its material no effect.
bool drawTurnedSky(Renderer& renderer, Camera& camera, const SkyBox& sky, float skyAngle);

} // namespace Vrenn
