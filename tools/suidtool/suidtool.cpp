// suidtool: makes and reads SUID.ini files and whole disc folders and images, using the launcher's own rules.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Command.h"
#include "Interrupt.h"

namespace {

constexpr char kHelpCommand[] = "help";
constexpr char kFooter[] = "Exit status: 0 done; 1 refused or failed (check, verify: the disc is not sound or "
                           "differs); 2 wrong command line; 128 + N stopped by signal N (nothing is left behind).\n"
                           "'suidtool help COMMAND' or 'suidtool COMMAND --help' shows a command's options.";

// The command the user named, for the pointer to its help; the tool itself when none was.
const CLI::App *SelectedCommand(const CLI::App &app)
{
    const std::vector<CLI::App *> chosen = app.get_subcommands();
    return chosen.empty() ? &app : chosen.front();
}

std::string HelpPointer(const CLI::App &app)
{
    const CLI::App *command = SelectedCommand(app);
    std::string call = kToolName;
    if (command != &app)
        call += " " + command->get_name();
    return "Run '" + call + " --help' for more information.";
}

int UsageError(const CLI::App &app, const std::string &message)
{
    const CLI::App *command = SelectedCommand(app);
    std::fprintf(stderr, "%s%s%s: %s\n%s\n", kToolName, command != &app ? " " : "",
                 command != &app ? command->get_name().c_str() : "", message.c_str(), HelpPointer(app).c_str());
    return kExitUsage;
}

// Every required option and argument the chosen command lacks, in one message.
std::string MissingRequired(const CLI::App &app)
{
    const CLI::App *command = SelectedCommand(app);
    std::vector<std::string> missing;
    for (const CLI::Option *option : command->get_options())
        if (option->get_required() && option->count() == 0)
            missing.push_back(option->get_name(false, true));
    std::string text = "missing ";
    for (size_t i = 0; i < missing.size(); ++i)
        text += (i == 0 ? "" : i + 1 == missing.size() ? " and " : ", ") + missing[i];
    return text;
}

bool IsCommand(const CLI::App &app, const std::string &name)
{
    for (const CLI::App *command : app.get_subcommands({}))
        if (command->get_name() == name)
            return true;
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app("Makes and reads the SUID.ini of a patient disc; assembles, checks, images and verifies whole "
                 "discs by the launcher's own rules.",
                 kToolName);
    app.set_version_flag("--version", std::string(kToolName) + " " + kToolVersion, "print suidtool's version");
    app.set_help_flag("-h,--help", "print this help");
    app.footer(kFooter);
    app.require_subcommand(0, 1);
    CommandRun run;
    AddReadCommand(app, run);
    AddWriteCommand(app, run);
    AddScrambleCommands(app, run);
    AddMakeDiscCommand(app, run);
    AddCheckCommand(app, run);
    AddIsoCommand(app, run);
    AddVerifyCommand(app, run);
    std::string topic;
    CLI::App *help = app.add_subcommand(kHelpCommand, "show the usage and options of COMMAND");
    help->add_option("COMMAND", topic, "a command");
    for (CLI::App *command : app.get_subcommands(std::function<bool(CLI::App *)>())) {
        command->footer(command->get_footer() + (command->get_footer().empty() ? "" : "\n\n") + kFooter);
        command->group("Commands");
    }
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");

    if (argc < 2)
        return UsageError(app, "no command given");
    if (argv[1][0] != '-' && !IsCommand(app, argv[1]))
        return UsageError(app, std::string("unknown command '") + argv[1] + "'");
    try {
        app.parse(argc, argv);
    } catch (const CLI::RequiredError &) {
        return UsageError(app, MissingRequired(app));
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
            return app.exit(e); // --help or --version: printed on stdout
        return UsageError(app, e.what());
    }
    if (help->parsed()) {
        if (topic.empty()) {
            // app.help() would show the help command's own usage, as the command chosen.
            std::fputs(app.get_formatter()->make_help(&app, kToolName, CLI::AppFormatMode::Normal).c_str(), stdout);
            return kExitOk;
        }
        if (!IsCommand(app, topic) || topic == kHelpCommand)
            return UsageError(app, "no command '" + topic + "'");
        std::fputs(app.get_subcommand(topic)->help(kToolName).c_str(), stdout);
        return kExitOk;
    }
    if (!run) {
        std::fputs(app.help().c_str(), stderr);
        return kExitUsage;
    }
    InstallInterruptHandlers();
    const int status = run();
    std::fflush(stdout);
    // A command that finished before it saw the signal has done its work; its status stands.
    return status == kExitInterrupted ? 128 + InterruptSignal() : status;
}
