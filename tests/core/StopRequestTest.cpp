#include "core/StopRequest.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

// A first SIGTERM only asks for a stop and the program goes on to wind down; a second one
// while the first is pending ends it at once, for a program that has stopped polling.
TEST(StopRequestDeathTest, ASignalAsksASecondOneEndsTheProcess) {
    EXPECT_EXIT(
        {
            installStopSignalHandlers();
            std::raise(SIGTERM);
            if (!stopRequested() || stopSignal() != SIGTERM) std::_Exit(1);
            std::raise(SIGTERM);
            std::_Exit(2);
        },
        ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_FALSE(stopRequested()); // only the child was asked
}

} // namespace
} // namespace Vrenn
