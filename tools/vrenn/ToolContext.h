#pragma once

#include "config/CVar.h"
#include "core/Log.h"
#include "fs/CodecMgr.h"
#include "fs/FileSystem.h"

#include <memory>
#include <string>

namespace Vrenn::Tool {

// The engine services a vrenn subcommand works with, brought up as the program
// does: file system rooted at the working directory, console variables read from
// "default.cfg" there when it exists, a log manager (with no log unless one is
// asked for) and the codec manager with the standard registrations. The context
// listens to what the engine logs, so that a command can tell why an engine call
// failed.
class ToolContext {
public:
    ToolContext();
    ~ToolContext();
    ToolContext(const ToolContext&) = delete;
    ToolContext& operator=(const ToolContext&) = delete;

    // Sends everything the engine logs to fileName from now on.
    bool logTo(const std::string& fileName);

    // The engine's account of its last failure: the last line it logged that is not
    // indented, followed by the indented reason lines after it in parentheses. Empty
    // while nothing was logged.
    std::string lastFailure() const;
    // Prints "vrenn: <command>: " and lastFailure() (or what, when the engine logged
    // nothing) on standard error; returns exit status 1.
    int fail(const std::string& command, const std::string& what) const;

    FileSystem& fileSystem() { return *m_fileSystem; }
    CVarManager& cvars() { return *m_cvars; }
    LogManager& logs() { return *m_logs; }
    CodecMgr& codecs() { return *m_codecs; }

private:
    void heard(const char* message);

    std::unique_ptr<FileSystem> m_fileSystem;
    std::unique_ptr<CVarManager> m_cvars;
    std::unique_ptr<LogManager> m_logs;
    std::unique_ptr<CodecMgr> m_codecs;
    std::string m_headline;
    std::string m_reasons;
};

} // namespace Vrenn::Tool
