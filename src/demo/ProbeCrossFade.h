#pragma once

#include <cstdint>

namespace Vrenn {

// The cross-fade between the two light probes. The blend factor runs from 0 (probe 0) to 1
// (probe 1) in two seconds after a switch and rests at either end; a switch asked for while
// a fade runs is ignored.
class ProbeCrossFade {
public:
    // Blend units per second while fading.
    static constexpr float kSpeed = 0.5f;

    // A switch press: while idle, the target probe becomes the other one and the fade starts
    // away from the end it rests at. Ignored during a fade.
    void press();
    // Moves the blend by dt seconds of fading, stopping at either end.
    void advance(float dt);

    int targetProbe() const { return m_target; }
    float blend() const { return m_blend; }
    // 0 idle, +1 towards probe 1, -1 towards probe 0.
    int direction() const { return m_direction; }

private:
    int m_target = 0;
    float m_blend = 0.0f;
    int m_direction = 0;
};

} // namespace Vrenn
