#pragma once

#include <string>
#include <vector>

namespace Vrenn::Tool {

using Args = std::vector<std::string>;

// One subcommand of the vrenn tool. run receives the arguments after the
// subcommand's name and returns the process's exit status.
struct Command {
    const char* name;
    const char* summary;
    int (*run)(const Args& args);
    int order; // position in `vrenn --help`
};

// Adds a command to the table; used through REGISTER_VRENN_COMMAND at namespace
// scope in the command's own file.
struct CommandRegistrar {
    explicit CommandRegistrar(const Command& command);
};
#define REGISTER_VRENN_COMMAND(id, ...)                                                   \
    static const ::Vrenn::Tool::CommandRegistrar vrennCommand_##id { ::Vrenn::Tool::Command{__VA_ARGS__} }

// Every registered subcommand, in the order `vrenn --help` lists them.
const std::vector<Command>& commands();

// True when args holds -h or --help.
bool wantsHelp(const Args& args);
// Prints "vrenn: <message>" on standard error and returns exit status 1.
int fail(const std::string& message);
// Prints a usage error and the hint to --help on standard error; returns status 2.
int usageError(const std::string& command, const std::string& message);

} // namespace Vrenn::Tool
