#include "vrenn/ToolContext.h"

#include <filesystem>

namespace Vrenn::Tool {

ToolContext::ToolContext()
    : m_fileSystem(std::make_unique<FileSystem>()), m_cvars(std::make_unique<CVarManager>()),
      m_logs(std::make_unique<LogManager>()), m_codecs(std::make_unique<CodecMgr>()) {
    // Like the program, read the working directory's configuration when there is one;
    // checking first keeps a missing file from being reported.
    if (std::filesystem::is_regular_file("default.cfg")) m_cvars->LoadConfig("default.cfg");
    registerStandardCodecs(*m_codecs, {m_cvars->GetFloat("max_env_lum")});
}

ToolContext::~ToolContext() = default;

bool ToolContext::logTo(const std::string& fileName) {
    return m_logs->CreateLog(LOG_DEFAULT, fileName)->isFileOpen();
}

} // namespace Vrenn::Tool
