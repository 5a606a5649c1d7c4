// write: a SUID.ini the launcher reads back as given.
#include <CLI/CLI.hpp>
#include <memory>

#include "Command.h"
#include "Diagnostics.h"
#include "FileIo.h"
#include "SuidText.h"

namespace {

struct WriteOptions {
    SuidValueOptions values;
    bool scrambled = false;
    bool force = false;
    std::string file;
};

int RunWrite(const WriteOptions &options)
{
    const SuidInfo info = SuidInfoFromOptions(options.values);
    const SuidForm form = options.scrambled ? SuidForm::Scrambled : SuidForm::Plain;
    Findings findings;
    CheckSuidReadBack(info, form, findings);
    CheckSuidValues(info, findings);
    if (ReportProblems(findings, options.force)) {
        Complain(kNothingWritten);
        return kExitFailure;
    }
    return WriteFileAtomically(options.file, MakeSuidText(info, form)) ? kExitOk : kExitFailure;
}

} // namespace

void AddWriteCommand(CLI::App &app, CommandRun &run)
{
    CLI::App *command = app.add_subcommand("write", "write a SUID.ini, plain unless --scrambled");
    command->footer("Refuses (exit 1, nothing written) values the launcher would read back otherwise (line breaks, "
                    "NULs, more than 259 characters) and, unless --force, values it would reject: an unknown mode, an "
                    "ID that cannot name a patient folder, a negative version part.");
    auto options = std::make_shared<WriteOptions>();
    AddSuidValueOptions(*command, options->values);
    command->add_flag("--scrambled", options->scrambled, "write the scrambled form");
    command->add_flag("--force", options->force, "write values the launcher would reject, with a warning");
    command->add_option("FILE", options->file, "the SUID.ini to write (replaced whole)")->required();
    command->callback([&run, options] { run = [options] { return RunWrite(*options); }; });
}
