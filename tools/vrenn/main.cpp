// vrenn: the command-line tool for pipeline work (images, meshes, bakes).

#include "vrenn/Commands.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <stdexcept>

namespace Vrenn::Tool {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> table;
    return table;
}
} // namespace

CommandRegistrar::CommandRegistrar(const Command& command) {
    auto& table = registry();
    table.push_back(command);
    std::stable_sort(table.begin(), table.end(),
                     [](const Command& a, const Command& b) { return a.order < b.order; });
}

const std::vector<Command>& commands() {
    return registry();
}

bool wantsHelp(const Args& args) {
    for (const auto& arg : args)
        if (arg == "-h" || arg == "--help") return true;
    return false;
}

int fail(const std::string& message) {
    std::cerr << "vrenn: " << message << "\n";
    return 1;
}

int usageError(const std::string& command, const std::string& message) {
    std::cerr << "vrenn " << command << ": " << message << "\n"
              << "Try 'vrenn " << command << " --help'.\n";
    return 2;
}

namespace {
void printHelp(std::ostream& out) {
    out << "Usage: vrenn COMMAND [ARGS...]\n\n"
           "Pipeline tool of the Vrenn PRT engine. Files are looked up relative to the\n"
           "working directory; default.cfg there is read when it exists. Data files a\n"
           "folder lacks (effects, materials, fonts, drawn textures) are looked for next in\n"
           "the installed data (share/vrenn beside vrenn's bin folder), then, for a vrenn\n"
           "run from its build tree, in the source tree's data/.\n\n"
           "Commands:\n";
    for (const auto& command : commands()) {
        char line[256];
        std::snprintf(line, sizeof line, "  %-10s %s\n", command.name, command.summary);
        out << line;
    }
    out << "\nRun 'vrenn COMMAND --help' for a command's options.\n";
}
} // namespace

} // namespace Vrenn::Tool

int main(int argc, char** argv) {
    using namespace Vrenn::Tool;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printHelp(std::cout);
        return argc < 2 ? 2 : 0;
    }
    const std::string name = argv[1];
    // A write past the process's file-size limit fails with its reason (EFBIG), which the
    // writers report and clean up after, instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    for (const auto& command : commands()) {
        if (name != command.name) continue;
        // Running out of memory is one line and a failure, never an abort; unwinding first
        // lets every writer remove its temporary files.
        try {
            return command.run(Args(argv + 2, argv + argc));
        } catch (const std::bad_alloc&) {
        } catch (const std::length_error&) {
        }
        std::cerr << "vrenn: " << name << ": not enough memory\n";
        return 1;
    }
    std::cerr << "vrenn: unknown command '" << name << "'\nTry 'vrenn --help'.\n";
    return 2;
}
