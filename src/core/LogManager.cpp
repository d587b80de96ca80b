#include "core/Log.h"

#include <cerrno>
#include <cstdarg>
#include <system_error>

namespace Vrenn {

namespace {
// Largest formatted message, including the terminating NUL.
constexpr size_t kFormatBufferSize = 4096;

__attribute__((format(printf, 1, 0))) std::string formatText(const char* format, va_list args) {
    char buffer[kFormatBufferSize];
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (n < 0) return {};
    return std::string(buffer);
}
} // namespace

Log::Log(uint32_t mask, const std::string& fileName)
    : m_mask(mask | LOG_FILE), m_fileName(fileName) {
    errno = 0;
    m_file = std::fopen(fileName.c_str(), "wb");
    if (!m_file) fileFailed(errno);
}

Log::~Log() {
    if (m_file) std::fclose(m_file);
}

void Log::fileFailed(int error) {
    m_fileError =
        error != 0 ? std::generic_category().message(error) : "the file cannot be written";
}

void Log::Write(const char* text, uint32_t mask) {
    m_timer.Tick();
    m_history.emplace(m_timer.current(), text);
    ++m_messageCount;
    if ((mask & LOG_FILE) && m_file) {
        errno = 0;
        if (std::fputs(text, m_file) == EOF || std::fflush(m_file) == EOF) {
            // A file with a message missing is no record of the run: it takes no more.
            fileFailed(errno);
            std::fclose(m_file);
            m_file = nullptr;
        }
    }
}

LogManager::~LogManager() {
    m_logs.clear();
    m_logCount = 0;
}

std::shared_ptr<Log> LogManager::CreateLog(uint32_t mask, const std::string& fileName) {
    auto log = std::make_shared<Log>(mask, fileName);
    m_logs.push_back(log);
    ++m_logCount;
    return log;
}

void LogManager::Write(const char* message, uint32_t mask) {
    if (m_listener) m_listener(message);
    for (const auto& log : m_logs) {
        if (mask & log->mask()) log->Write(message, mask);
    }
}

void LogManager::WriteF(uint32_t mask, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = formatText(format, args);
    va_end(args);
    Write(text.c_str(), mask);
}

void logMessage(const std::string& text) {
    if (auto* manager = LogManager::instance()) manager->Write(text.c_str(), LOG_DEFAULT);
}

void logFormat(const char* format, ...) {
    auto* manager = LogManager::instance();
    if (!manager) return;
    va_list args;
    va_start(args, format);
    const std::string text = formatText(format, args);
    va_end(args);
    manager->Write(text.c_str(), LOG_DEFAULT);
}

} // namespace Vrenn
