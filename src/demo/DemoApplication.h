#pragma once

#include "app/Application.h"

#include <cstdint>

namespace Vrenn {

// The demonstration program. Each frame it ticks the timer, polls input (Escape
// ends the program) and draws the 2D overlay: the frame rate when "r_showfps" is
// set and the logo when "r_drawlogo" is set.
//
// Two settings serve scripted and headless runs: "r_maxframes" (above 0: the program
// ends after that many frames, as if Escape were held) and "r_shotframe" (above 0: a
// screenshot is taken once that frame is drawn).
class DemoApplication : public Application {
public:
    bool Update() override;
    bool Render() override;

    uint32_t framesDrawn() const { return m_framesDrawn; }

private:
    uint32_t m_framesDrawn = 0;
};

} // namespace Vrenn
