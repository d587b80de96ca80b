#include "core/Log.h"
#include "core/Registry.h"
#include "core/StopRequest.h"
#include "core/Timer.h"
#include "support/TempDir.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

namespace Vrenn {
namespace {

using Test::TempDir;

// Messages are written as given, flushed at once, cut at 4095 characters when formatted; the
// mask decides which logs keep them. A file that cannot be created or written gives the system's
// reason and the log goes on in memory; without a manager nothing is logged.
TEST(Log, MaskDecidesMemoryAndFileTextIsWrittenAsGivenAndFileFailuresAreReported) {
    TempDir dir;
    {
        LogManager logs;
        EXPECT_EQ(LogManager::instance(), &logs);
        auto log = logs.CreateLog(2, dir.file("app.log"));
        EXPECT_EQ(log->mask(), 6u); // the file bit is always added
        logs.Write("memory only\n", 2);
        logs.Write("ignored\n", 1); // shares no bit with the log
        logMessage("no line end, ");
        logFormat("%s %d\n", "continued", 42);
        EXPECT_EQ(log->messageCount(), 3u);
        EXPECT_EQ(dir.read("app.log"), "no line end, continued 42\n"); // while still open
        logs.WriteF(LOG_DEFAULT, "%s", std::string(5000, 'z').c_str());
        EXPECT_EQ(dir.read("app.log").size(), 26u + 4095u);

        auto missing = logs.CreateLog(LOG_DEFAULT, dir.file("missing/folder/app.log"));
        EXPECT_FALSE(missing->isFileOpen());
        EXPECT_EQ(missing->fileError(), "No such file or directory");
        auto full = logs.CreateLog(LOG_DEFAULT, "/dev/full");
        ASSERT_TRUE(full->isFileOpen());
        EXPECT_EQ(full->fileError(), "");
        logMessage("lost\n");
        EXPECT_EQ(full->fileError(), "No space left on device");
        logMessage("kept in memory\n");
        EXPECT_EQ(full->messageCount(), 2u);
        EXPECT_EQ(missing->messageCount(), 2u);
    }
    EXPECT_EQ(LogManager::instance(), nullptr);
    logMessage("goes nowhere\n"); // must be harmless
}

TEST(Log, SameMillisecondKeepsTheFirstInHistoryButWritesBoth) {
    TempDir dir;
    LogManager logs;
    auto log = logs.CreateLog(LOG_DEFAULT, dir.file("app.log"));
    // Tries until "a" takes a millisecond of its own and "b" finds it taken (a busy machine
    // splits many pairs).
    for (int attempt = 0; attempt < 10000; ++attempt) {
        const size_t before = log->history().size();
        log->Write("a\n", LOG_DEFAULT);
        const bool aStored = log->history().size() == before + 1;
        log->Write("b\n", LOG_DEFAULT);
        if (aStored && log->history().size() == before + 1) {
            EXPECT_EQ(log->history().rbegin()->second, "a\n");
            EXPECT_EQ(log->messageCount(), 2 * (attempt + 1u));
            return;
        }
    }
    FAIL() << "never saw two messages in one millisecond";
}

struct Thing {};

// A manager as the resource managers are: its registry comes from RegistryOwner.
class ThingMgr : public RegistryOwner<Thing> {
public:
    std::shared_ptr<Thing> make(const std::string& name = {}) {
        auto thing = std::make_shared<Thing>();
        m_registry.add(name.empty() ? m_registry.generateName() : name, thing);
        return thing;
    }
};

TEST(Registry, FirstEntryWinsNamesAreGeneratedAndRemovalTakesOneEntry) {
    ThingMgr things;
    const auto a = things.make("a");
    things.make("a"); // the name is taken: a stays
    const auto g0 = things.make();
    const auto g1 = things.make();
    EXPECT_EQ(things.find("a"), a);
    EXPECT_EQ(things.find("gen_0"), g0);
    EXPECT_EQ(things.find("gen_1"), g1);
    EXPECT_EQ(things.entries().size(), 3u);

    things.remove(g0);
    things.remove(std::make_shared<Thing>()); // not registered: nothing happens
    things.remove("nothing");
    things.remove("a");
    EXPECT_FALSE(things.find("gen_0") || things.find("a"));
    EXPECT_EQ(things.entries().size(), 1u);
    things.removeAll();
    const auto g2 = things.make();
    EXPECT_EQ(things.find("gen_2"), g2); // the counter does not restart
}

// A first SIGTERM asks for a stop; a second one while it is pending ends the process at once.
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

// Wall time, not processor time (a sleeping thread sees it move); a fixed step ignores the
// clock until switched off.
TEST(Timer, MeasuresWallTimeOrAdvancesByTheFixedStep) {
    const auto before = std::chrono::steady_clock::now();
    Timer timer;
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
