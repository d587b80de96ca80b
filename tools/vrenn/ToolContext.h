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

    // Sends everything the engine logs to fileName from now on; false when the file
    // cannot be created (logFailure() says why).
    bool logTo(const std::string& fileName);
    // "cannot write the log FILE: <the system's reason>" for the first log whose file
    // could not be created or refused a message; empty while every log is whole.
    std::string logFailure() const;
    // The exit status of a command that ran to its end with status: 1, with
    // "vrenn: <command>: " and logFailure() on standard error, when it succeeded but a
    // log it was asked for is not whole; status otherwise.
    int finish(const std::string& command, int status) const;

    // The engine's account of its last failure: the last line it logged that is not
    // indented (nor the file system's "--- Loading" line), followed by the indented
    // reason lines after it in parentheses. Empty while nothing was logged.
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
