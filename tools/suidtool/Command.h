#pragma once
#include <functional>
#include <string>

namespace CLI {
class App;
}

// The subcommands of suidtool, one file each (scramble and descramble, mirror images, share one). Each Add*
// function declares its command's options on the parser once; help, usage errors and "--opt=value" all come from
// those declarations. When the command line names the command, `run` is set to what carries it out.

using CommandRun = std::function<int()>;

void AddReadCommand(CLI::App &app, CommandRun &run);
void AddWriteCommand(CLI::App &app, CommandRun &run);
void AddScrambleCommands(CLI::App &app, CommandRun &run);
void AddMakeDiscCommand(CLI::App &app, CommandRun &run);
void AddCheckCommand(CLI::App &app, CommandRun &run);
void AddIsoCommand(CLI::App &app, CommandRun &run);
void AddVerifyCommand(CLI::App &app, CommandRun &run);

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1; // refused, failed, or (check, verify) the disc is not sound or differs
constexpr int kExitUsage = 2;   // the command line itself is wrong
// A command stopped by SIGINT, SIGTERM or SIGHUP returns kExitInterrupted; the tool then exits 128 + signal.
constexpr int kExitInterrupted = -1;

constexpr char kToolName[] = "suidtool";
constexpr char kToolVersion[] = "2.0.0";

// "suidtool: <text>" on stderr.
void Complain(const std::string &text);
// "suidtool: warning: <text>" on stderr.
void Warn(const std::string &text);
