#pragma once

#include "prt/SHCoeffs.h"

#include <string>

namespace Vrenn {

// Per-band windows against ringing. A series cut off after band 4 rings around anything
// sharp, a small bright sun most of all: its reconstruction overshoots into a ring of
// negative light (about -15 % of the sun's peak for a point) that turns the opposite side of a
// scene black. Scaling band l by a factor that falls towards the cut-off trades a little
// sharpness for far less ringing. A window scales all coefficients of a band alike, so it
// commutes with rotation.
//
//   none     every factor 1: the raw projection
//   hann     (1 + cos(pi l / 5)) / 2: 1, 0.9045, 0.6545, 0.3455, 0.0955; a point sun dips
//            to -3.8 % of its peak
//   lanczos  the Lanczos sigma factors sinc(l / 5) = sin(pi l / 5) / (pi l / 5):
//            1, 0.9355, 0.7568, 0.5046, 0.2339; sharper, but a point sun dips to -5.6 %, and
//            a real sky, whose sun's ring meets the ringing of its horizon, further
//
// The window probes made from panoramas get by default, and with which the built-in skies are
// drawn: hann keeps a sun's ring above -6 % of its peak on real skies too, not only on a lone
// point of light.
enum class SHWindow { None, Lanczos, Hann };

constexpr SHWindow kDefaultSHWindow = SHWindow::Hann;

// The factor of band l (0 to 4; 1 outside that range).
float shWindowFactor(SHWindow window, int band);
// Scales every coefficient of every channel by its band's factor.
void applySHWindow(SHWindow window, SHCoeffs& coeffs);
// "none", "lanczos", "hann"; false for another name.
bool parseSHWindow(const std::string& name, SHWindow& window);
const char* shWindowName(SHWindow window);

// How far the series dips below 0: the lowest value over the sphere divided by the highest,
// per colour channel, the lowest of the three (about -0.038 for a point sun under the Hann
// window; 0 or more when it does not dip). Directions are sampled every 2 degrees of polar
// angle and azimuth. A channel whose series is nowhere positive counts as 0.
float shSeriesDip(const SHCoeffs& coeffs);

} // namespace Vrenn
