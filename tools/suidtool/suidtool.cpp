// suidtool: makes and reads SUID.ini files and whole disc folders and images, using the launcher's own rules.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Command.h"

namespace {

// Every command the tool knows, in the order the usage text lists them.
const Command *const kCommands[] = {&kReadCommand,     &kWriteCommand, &kScrambleCommand, &kDescrambleCommand,
                                    &kMakeDiscCommand, &kCheckCommand, &kIsoCommand};

constexpr char kHelpOption[] = "--help";

void PrintUsage(FILE *out)
{
    std::fprintf(out, "usage: %s COMMAND ARGS...\n       %s %s\n\ncommands:\n", kToolName, kToolName, kHelpOption);
    for (const Command *command : kCommands)
        std::fprintf(out, "  %s %s\n      %s\n", command->name, command->arguments, command->summary);
    std::fprintf(out, "\nexit status: 0 done, 1 a file could not be read or written (make-disc: the disc was refused;\n"
                      "check: the disc has problems), 2 wrong command line\n");
}

} // namespace

int UsageError(const std::string &message)
{
    std::fprintf(stderr, "%s: %s\n", kToolName, message.c_str());
    PrintUsage(stderr);
    return kExitUsage;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return UsageError("no command given");
    const std::string name = argv[1];
    if (name == kHelpOption || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return kExitOk;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command *command : kCommands) {
        if (name != command->name)
            continue;
        for (const std::string &arg : args) {
            if (arg == kHelpOption) {
                PrintUsage(stdout);
                return kExitOk;
            }
        }
        return command->run(args);
    }
    return UsageError("unknown command '" + name + "'");
}
