#pragma once

#include "config/CVar.h"
#include "core/Log.h"
#include "fs/CodecMgr.h"
#include "fs/FileSystem.h"

#include <memory>

namespace Vrenn::Tool {

// The engine services a vrenn subcommand works with, brought up as the program
// does: file system rooted at the working directory, console variables read from
// "default.cfg" there when it exists, a log manager (with no log unless one is
// asked for) and the codec manager with the standard registrations.
class ToolContext {
public:
    ToolContext();
    ~ToolContext();
    ToolContext(const ToolContext&) = delete;
    ToolContext& operator=(const ToolContext&) = delete;

    // Sends everything the engine logs to fileName from now on.
    bool logTo(const std::string& fileName);

    FileSystem& fileSystem() { return *m_fileSystem; }
    CVarManager& cvars() { return *m_cvars; }
    LogManager& logs() { return *m_logs; }
    CodecMgr& codecs() { return *m_codecs; }

private:
    std::unique_ptr<FileSystem> m_fileSystem;
    std::unique_ptr<CVarManager> m_cvars;
    std::unique_ptr<LogManager> m_logs;
    std::unique_ptr<CodecMgr> m_codecs;
};

} // namespace Vrenn::Tool
