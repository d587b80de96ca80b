#include "vrenn/ToolContext.h"

#include "vrenn/Commands.h"

#include <filesystem>
#include <string_view>

namespace Vrenn::Tool {

ToolContext::ToolContext()
    : m_fileSystem(std::make_unique<FileSystem>()), m_cvars(std::make_unique<CVarManager>()),
      m_logs(std::make_unique<LogManager>()), m_codecs(std::make_unique<CodecMgr>()) {
    m_logs->setListener([this](const char* message) { heard(message); });
    m_fileSystem->setDataDirectories(dataDirectories());
    // Like the program, read the working directory's configuration when there is one;
    // checking first keeps a missing file from being reported.
    if (std::filesystem::is_regular_file("default.cfg")) m_cvars->LoadConfig("default.cfg");
    registerStandardCodecs(*m_codecs, {m_cvars->GetFloat("max_env_lum")});
}

ToolContext::~ToolContext() {
    m_logs->setListener({});
}

bool ToolContext::logTo(const std::string& fileName) {
    return m_logs->CreateLog(LOG_DEFAULT, fileName)->isFileOpen();
}

std::string ToolContext::logFailure() const {
    for (const auto& log : m_logs->logs())
        if (!log->fileError().empty())
            return "cannot write the log " + log->fileName() + ": " + log->fileError();
    return {};
}

int ToolContext::finish(const std::string& command, int status) const {
    if (status != 0) return status;
    const std::string failure = logFailure();
    return failure.empty() ? 0 : Tool::fail(command + ": " + failure);
}

void ToolContext::heard(const char* message) {
    std::string_view text(message);
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const size_t start = line.find_first_not_of(' ');
        if (start == std::string_view::npos) continue;
        if (start == 0 && line.rfind("--- Loading ", 0) == 0) {
            continue; // announces a file, says nothing of a failure
        } else if (start < 2) {
            m_headline = line;
            m_reasons.clear();
        } else if (!m_headline.empty()) {
            m_reasons += (m_reasons.empty() ? "" : "; ") + std::string(line.substr(start));
        }
    }
}

std::string ToolContext::lastFailure() const {
    return m_reasons.empty() ? m_headline : m_headline + " (" + m_reasons + ")";
}

int ToolContext::fail(const std::string& command, const std::string& what) const {
    const std::string failure = lastFailure();
    return Tool::fail(command + ": " + (failure.empty() ? what : failure));
}

} // namespace Vrenn::Tool
