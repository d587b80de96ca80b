#include "prt/SHWindow.h"

#include "prt/SkyCube.h"

#include <algorithm>
#include <cmath>

namespace Vrenn {

namespace {
constexpr double kPi = 3.14159265358979323846;
} // namespace

float shWindowFactor(SHWindow window, int band) {
    if (band <= 0 || band >= kSHBands) return 1.0f;
    // Both windows reach 0 one band past the last one kept.
    const double x = double(band) / double(kSHBands);
    switch (window) {
    case SHWindow::Lanczos:
        return float(std::sin(kPi * x) / (kPi * x));
    case SHWindow::Hann:
        return float(0.5 * (1.0 + std::cos(kPi * x)));
    case SHWindow::None:
        break;
    }
    return 1.0f;
}

void applySHWindow(SHWindow window, SHCoeffs& coeffs) {
    for (int band = 1; band < kSHBands; ++band) {
        const float factor = shWindowFactor(window, band);
        for (int m = -band; m <= band; ++m)
            for (int c = 0; c < 3; ++c)
                coeffs.channel(c)[size_t(shIndex(band, m))] *= factor;
    }
}

bool parseSHWindow(const std::string& name, SHWindow& window) {
    for (const SHWindow candidate : {SHWindow::None, SHWindow::Lanczos, SHWindow::Hann})
        if (name == shWindowName(candidate)) {
            window = candidate;
            return true;
        }
    return false;
}

const char* shWindowName(SHWindow window) {
    switch (window) {
    case SHWindow::Lanczos:
        return "lanczos";
    case SHWindow::Hann:
        return "hann";
    case SHWindow::None:
        break;
    }
    return "none";
}

float shSeriesDip(const SHCoeffs& coeffs) {
    float lowest[3] = {0.0f, 0.0f, 0.0f};
    float highest[3] = {0.0f, 0.0f, 0.0f};
    for (int row = 0; row <= 90; ++row) {
        const double theta = kPi * row / 90.0;
        for (int column = 0; column < 180; ++column) {
            const double phi = kPi * column / 90.0;
            const Vec3 d{float(std::sin(theta) * std::cos(phi)),
                         float(std::sin(theta) * std::sin(phi)), float(std::cos(theta))};
            for (int c = 0; c < 3; ++c) {
                const float value = shSeries(coeffs.channel(c), d);
                lowest[c] = std::min(lowest[c], value);
                highest[c] = std::max(highest[c], value);
            }
            if (row == 0 || row == 90) break; // the poles are one direction each
        }
    }
    float dip = 0.0f;
    for (int c = 0; c < 3; ++c)
        if (highest[c] > 0.0f) dip = std::min(dip, lowest[c] / highest[c]);
    return dip;
}

} // namespace Vrenn
