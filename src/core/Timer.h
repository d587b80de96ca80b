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
    // Moves current into previous, then reads the clock into current; with a fixed step,
    // advances current by the step instead, whatever the clock says.
    void Tick();

    // Above 0: every tick advances the timer by exactly this many seconds (repeatable
    // scripted runs); 0 or below: ticks follow the clock.
    void setFixedStep(float seconds) { m_fixedStep = seconds > 0.0f ? seconds : 0.0f; }
    float fixedStep() const { return m_fixedStep; }

    float start() const { return m_start; }
    float current() const { return m_current; }
    float previous() const { return m_previous; }
    // Time between the last two ticks (the step itself, unrounded, while one is fixed).
    float frameTime() const { return m_fixedStep > 0.0f ? m_fixedStep : m_current - m_previous; }

    // Seconds since the process started, at millisecond resolution.
    static float now();

private:
    float m_start = 0.0f;
    float m_current = 0.0f;
    float m_previous = 0.0f;
    float m_fixedStep = 0.0f;
};

} // namespace Vrenn
