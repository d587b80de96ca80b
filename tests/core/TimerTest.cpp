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

} // namespace
} // namespace Vrenn
