#pragma once
#include <string>
#include <vector>

// One subcommand of suidtool. Each lives in a file of its own (or with its close relatives) and is listed once
// in suidtool.cpp's command table, which also builds the usage text from these fields.
struct Command {
    const char *name;
    const char *arguments; // as shown in the usage text, after the name
    const char *summary;
    // Gets the arguments after the command's name; returns the process's exit code.
    int (*run)(const std::vector<std::string> &args);
};

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1; // a file could not be read or written, a disc was refused or found unsound
constexpr int kExitUsage = 2;   // the command line itself is wrong

constexpr char kToolName[] = "suidtool";

// Prints "suidtool: <message>" and the usage text to stderr; returns kExitUsage.
int UsageError(const std::string &message);

// The commands on SUID.ini files (SuidCommands.cpp).
extern const Command kReadCommand;
extern const Command kWriteCommand;
extern const Command kScrambleCommand;
extern const Command kDescrambleCommand;
// Disc authoring: MakeDiscCommand.cpp, CheckCommand.cpp, IsoCommand.cpp.
extern const Command kMakeDiscCommand;
extern const Command kCheckCommand;
extern const Command kIsoCommand;
