// read: what the launcher reads from a SUID.ini.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "Command.h"
#include "FileIo.h"
#include "SuidText.h"

namespace {

int RunRead(const std::string &file)
{
    std::string bytes;
    if (!ReadWholeFile(file, bytes))
        return kExitFailure;
    const SuidKind kind = ClassifySuid(bytes);
    if (kind != SuidKind::Plain && kind != SuidKind::Scrambled) {
        Complain(file + (bytes.empty() ? " is empty: " : " is ") + DescribeSuidKind(kind));
        return kExitFailure;
    }
    const SuidRead read = ReadSuidText(bytes);
    std::printf("form: %s\n", read.form == SuidForm::Plain ? kFormPlain : kFormScrambled);
    std::printf("mode: %s\n", read.info.m_strMode.c_str());
    std::printf("id: %s\n", read.info.m_strId.c_str());
    std::printf("version: %s\n", FormatVersion(read.info).c_str());
    std::printf("mark: %s\n", read.info.m_strUpdateMark.c_str());
    return kExitOk;
}

} // namespace

void AddReadCommand(CLI::App &app, CommandRun &run)
{
    CLI::App *command = app.add_subcommand("read", "print what the launcher reads from a SUID.ini");
    command->footer("Exit 1 when FILE is not a SUID.ini the launcher can read (another file, an empty one, plain "
                    "text without the plain form's marker, a file scrambled twice).");
    auto file = std::make_shared<std::string>();
    command->add_option("FILE", *file, "a SUID.ini, plain or scrambled")->required();
    command->callback([&run, file] { run = [file] { return RunRead(*file); }; });
}
