#include "core/Log.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::TempDir;

// A log manager and a folder for its files.
struct LogFile : ::testing::Test {
    TempDir dir;
    LogManager logs;
};

TEST_F(LogFile, MaskDecidesMemoryAndFile) {
    EXPECT_EQ(LogManager::instance(), &logs);
    auto log = logs.CreateLog(2, dir.file("app.log"));
    EXPECT_EQ(log->mask(), 6u); // the file bit is always added
    EXPECT_EQ(logs.logCount(), 1u);

    logs.Write("memory only\n", 2);
    logs.Write("to file\n", LOG_DEFAULT);
    logs.Write("ignored\n", 1); // shares no bit with the log
    EXPECT_EQ(log->messageCount(), 2u);
    EXPECT_EQ(dir.read("app.log"), "to file\n");
}

TEST_F(LogFile, MessagesAreWrittenAsGivenAndFlushedAtOnce) {
    logs.CreateLog(LOG_DEFAULT, dir.file("app.log"));
    logMessage("no line end, ");
    logFormat("%s %d\n", "continued", 42);
    // Flushed already: the file is complete while the log is still open.
    EXPECT_EQ(dir.read("app.log"), "no line end, continued 42\n");
}

TEST_F(LogFile, SameMillisecondKeepsTheFirstInHistoryButWritesBoth) {
    auto log = logs.CreateLog(LOG_DEFAULT, dir.file("app.log"));
    // Two messages in a row nearly always share a millisecond; when they do, the
    // history keeps one of them. A busy machine may split many pairs, so it tries often.
    for (int attempt = 0; attempt < 10000; ++attempt) {
        // "a" must take a millisecond of its own (not one the previous "b" took) and "b" then
        // find it taken.
        const size_t before = log->history().size();
        log->Write("a\n", LOG_DEFAULT);
        const bool aStored = log->history().size() == before + 1;
        log->Write("b\n", LOG_DEFAULT);
        if (aStored && log->history().size() == before + 1) {
            EXPECT_EQ(log->history().rbegin()->second, "a\n");
            SUCCEED();
            return;
        }
    }
    FAIL() << "never saw two messages in one millisecond";
}

TEST_F(LogFile, FormattedTextIsCutAt4095Characters) {
    logs.CreateLog(LOG_DEFAULT, dir.file("app.log"));
    const std::string big(5000, 'z');
    logs.WriteF(LOG_DEFAULT, "%s", big.c_str());
    EXPECT_EQ(dir.read("app.log").size(), 4095u);
}

TEST(Log, UncreatableFileStillCountsAndNothingIsLoggedWithoutAManager) {
    TempDir dir;
    {
        LogManager logs;
        auto log = logs.CreateLog(LOG_DEFAULT, dir.file("missing/folder/app.log"));
        EXPECT_FALSE(log->isFileOpen());
        EXPECT_EQ(log->fileError(), "No such file or directory");
        logs.Write("kept\n", LOG_DEFAULT);
        EXPECT_EQ(log->messageCount(), 1u);
    }
    EXPECT_EQ(LogManager::instance(), nullptr);
    logMessage("goes nowhere\n"); // must be harmless
}

// A file that opens but refuses what is written (a full disk) is reported, and the log
// goes on in memory.
TEST_F(LogFile, RefusedWriteGivesTheSystemsReason) {
    auto log = logs.CreateLog(LOG_DEFAULT, "/dev/full");
    ASSERT_TRUE(log->isFileOpen());
    EXPECT_EQ(log->fileError(), "");
    logMessage("lost\n");
    EXPECT_EQ(log->fileError(), "No space left on device");
    EXPECT_EQ(log->fileName(), "/dev/full");
    logMessage("kept in memory\n");
    EXPECT_EQ(log->messageCount(), 2u);
}

} // namespace
} // namespace Vrenn
