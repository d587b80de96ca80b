#pragma once

#include "core/Singleton.h"
#include "core/Timer.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

// Channel bits. LOG_FILE selects writing to a log's file; every caller in the
// program passes LOG_DEFAULT.
constexpr uint32_t LOG_FILE = 4;
constexpr uint32_t LOG_DEFAULT = 6;

// One log: appends accepted messages to its own file (flushed at once) and keeps
// them in memory keyed by the time they arrived.
class Log {
public:
    // Opens fileName for writing, truncating it. The mask always gains LOG_FILE.
    // A file that cannot be created leaves the log working in memory only, and so does
    // one that refuses a write (fileError() says why).
    Log(uint32_t mask, const std::string& fileName);
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // Records text (up to its first NUL, without adding a line end) and, when the
    // message mask has LOG_FILE, writes and flushes it to the file.
    void Write(const char* text, uint32_t mask);

    uint32_t mask() const { return m_mask; }
    uint32_t messageCount() const { return m_messageCount; }
    bool isFileOpen() const { return m_file != nullptr; }
    const std::string& fileName() const { return m_fileName; }
    // Why the file could not be opened or a message could not be written to it, in the
    // system's words ("No space left on device"); empty while the file holds every
    // message meant for it.
    const std::string& fileError() const { return m_fileError; }
    // Messages by arrival time in seconds; of two in the same millisecond only the
    // first is kept here (both reach the file).
    const std::map<float, std::string>& history() const { return m_history; }

private:
    void fileFailed(int error);

    uint32_t m_mask;
    std::string m_fileName;
    std::FILE* m_file = nullptr;
    std::string m_fileError;
    std::map<float, std::string> m_history;
    uint32_t m_messageCount = 0;
    Timer m_timer;
};

// Fans each message out to every log whose mask shares a bit with the message's.
class LogManager : public Singleton<LogManager> {
public:
    LogManager() = default;
    ~LogManager();

    std::shared_ptr<Log> CreateLog(uint32_t mask, const std::string& fileName);
    void Write(const char* message, uint32_t mask);
    // printf-style; the text is cut to 4095 characters.
    void WriteF(uint32_t mask, const char* format, ...) __attribute__((format(printf, 3, 4)));

    const std::vector<std::shared_ptr<Log>>& logs() const { return m_logs; }
    uint32_t logCount() const { return m_logCount; }

    // Also hands every message, whatever its mask, to listener (an empty function stops
    // it), for programs that show messages elsewhere than in a log's file. A listener is
    // not a log: output made only for logs, such as a polygon pack's dump, is skipped
    // while there is no log.
    void setListener(std::function<void(const char*)> listener) {
        m_listener = std::move(listener);
    }

private:
    std::vector<std::shared_ptr<Log>> m_logs;
    uint32_t m_logCount = 0;
    std::function<void(const char*)> m_listener;
};

// Writes through the process-wide log manager with LOG_DEFAULT; does nothing while no
// manager exists, so library code may log unconditionally.
//
// An operation that fails returns false (or an empty pointer) and logs one line naming
// what failed. Where that line's text is fixed and cannot hold the reason, the reason
// follows as a line indented by two spaces; tools show the two together.
void logMessage(const std::string& text);
void logFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace Vrenn
