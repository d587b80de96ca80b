#pragma once

namespace Vrenn {

// Frame timer: three times in seconds (start, current, previous). The clock is a
// monotonic wall clock counted in whole milliseconds since the process started, so
// frame times below one millisecond read as 0.
class Timer {
public:
    Timer() { Reset(); }

    // Sets start, current and previous to now.
    void Reset();
    // Moves current into previous, then reads the clock into current.
    void Tick();

    float start() const { return m_start; }
    float current() const { return m_current; }
    float previous() const { return m_previous; }
    // Time between the last two ticks.
    float frameTime() const { return m_current - m_previous; }

    // Seconds since the process started, at millisecond resolution.
    static float now();

private:
    float m_start = 0.0f;
    float m_current = 0.0f;
    float m_previous = 0.0f;
};

} // namespace Vrenn
