#include "core/Timer.h"

#include <gtest/gtest.h>
#include <thread>

namespace Vrenn {
namespace {

// The clock is wall time, not processor time: a sleeping thread still sees it move.
TEST(Timer, MeasuresWallTimeWhileIdle) {
    Timer timer;
    EXPECT_EQ(timer.start(), timer.current());
    EXPECT_EQ(timer.previous(), timer.current());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    timer.Tick();
    EXPECT_GE(timer.frameTime(), 0.025f);
    EXPECT_LT(timer.frameTime(), 5.0f);
    const float first = timer.current();
    timer.Tick();
    EXPECT_EQ(timer.previous(), first);
}

// A fixed step ignores the clock entirely, so a scripted run sees the same times however
// slowly it draws; switching it off returns to the clock.
TEST(Timer, FixedStepAdvancesByTheStepWhateverTheClockSays) {
    Timer timer;
    timer.setFixedStep(0.25f);
    const float start = timer.current();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    for (int i = 0; i < 4; ++i)
        timer.Tick();
    // Four additions of the step round like any float sum: equal to a few units in the last place.
    EXPECT_FLOAT_EQ(timer.current(), start + 1.0f);
    EXPECT_EQ(timer.frameTime(), 0.25f);
    timer.setFixedStep(0.0f);
    timer.Tick();
    EXPECT_LT(timer.current(), start + 1.0f); // the clock has not reached a second
}

} // namespace
} // namespace Vrenn
