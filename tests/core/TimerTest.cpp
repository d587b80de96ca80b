#include "core/Timer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace Vrenn {
namespace {

// The clock is wall time, not processor time: a sleeping thread still sees it move. A fixed
// step ignores the clock, so a scripted run sees the same times however slowly it draws;
// switching it off returns to the clock.
TEST(Timer, MeasuresWallTimeOrAdvancesByTheFixedStep) {
    const auto before = std::chrono::steady_clock::now();
    Timer timer;
    EXPECT_EQ(timer.start(), timer.current());
    EXPECT_EQ(timer.previous(), timer.current());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    timer.Tick();
    const std::chrono::duration<float> slept = std::chrono::steady_clock::now() - before;
    EXPECT_GE(timer.frameTime(), 0.0285f);
    EXPECT_LE(timer.frameTime(), slept.count() + 0.002f); // seconds, counted in milliseconds
    const float first = timer.current();
    timer.Tick();
    EXPECT_EQ(timer.previous(), first);

    timer.setFixedStep(0.25f);
    const float start = timer.current();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    for (int i = 0; i < 4; ++i)
        timer.Tick();
    EXPECT_FLOAT_EQ(timer.current(), start + 1.0f); // a float sum: equal to a few units
    EXPECT_EQ(timer.frameTime(), 0.25f);
    timer.setFixedStep(0.0f);
    timer.Tick();
    EXPECT_LT(timer.current(), start + 1.0f); // the clock has not reached a second
}

} // namespace
} // namespace Vrenn
