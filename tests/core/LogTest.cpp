#include "core/Log.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::TempDir;

// Messages are written as given, flushed at once and cut at 4095 characters when
// formatted; the mask decides which logs keep them in memory and which write the file.
TEST(Log, MaskDecidesMemoryAndFileAndTextIsWrittenAsGiven) {
    TempDir dir;
    LogManager logs;
    EXPECT_EQ(LogManager::instance(), &logs);
    auto log = logs.CreateLog(2, dir.file("app.log"));
    EXPECT_EQ(log->mask(), 6u); // the file bit is always added
    EXPECT_EQ(logs.logCount(), 1u);
    logs.Write("memory only\n", 2);
    logs.Write("ignored\n", 1); // shares no bit with the log
    logMessage("no line end, ");
    logFormat("%s %d\n", "continued", 42);
    EXPECT_EQ(log->messageCount(), 3u);
    EXPECT_EQ(dir.read("app.log"), "no line end, continued 42\n"); // while still open
    logs.WriteF(LOG_DEFAULT, "%s", std::string(5000, 'z').c_str());
    EXPECT_EQ(dir.read("app.log").size(), 26u + 4095u);
}

TEST(Log, SameMillisecondKeepsTheFirstInHistoryButWritesBoth) {
    TempDir dir;
    LogManager logs;
    auto log = logs.CreateLog(LOG_DEFAULT, dir.file("app.log"));
    // Two messages in a row nearly always share a millisecond; a busy machine may split
    // many pairs, so it tries often. "a" must take a millisecond of its own and "b" then
    // find it taken.
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

// A file that cannot be created, or refuses what is written (a full disk), is reported with
// the system's reason and the log goes on in memory; without a manager nothing is logged.
TEST(Log, FileFailuresGiveTheSystemsReasonAndTheLogGoesOn) {
    TempDir dir;
    {
        LogManager logs;
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

} // namespace
} // namespace Vrenn
