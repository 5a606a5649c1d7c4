// scramble and descramble: the two directions of the scrambled form.
#include <CLI/CLI.hpp>
#include <memory>

#include "Command.h"
#include "Diagnostics.h"
#include "FileIo.h"
#include "SuidText.h"
#include "config/Scramble.h"

namespace {

struct TransformOptions {
    std::string in, out;
    bool force = false;
};

using Transform = std::string (*)(std::string_view, uint32_t);

// Scrambling a scrambled file (or descrambling a plain one) makes a file nobody can read; only --force does it.
int RunTransform(const TransformOptions &options, Transform transform, bool wantsPlain)
{
    std::string bytes;
    if (!ReadWholeFile(options.in, bytes))
        return kExitFailure;
    const SuidKind kind = ClassifySuid(bytes);
    const bool fits = wantsPlain ? kind == SuidKind::Plain || kind == SuidKind::PlainText : kind == SuidKind::Scrambled;
    if (!fits && !options.force)
        return Refuse({options.in + " is " + DescribeSuidKind(kind) + "; " +
                       (wantsPlain ? "scramble takes plain text" : "descramble takes a scrambled file") +
                       " (--force transforms it anyway)"});
    return WriteFileAtomically(options.out, transform(bytes, kSuidSeed)) ? kExitOk : kExitFailure;
}

void AddTransform(CLI::App &app, CommandRun &run, const char *name, const char *description, Transform transform,
                  bool wantsPlain)
{
    CLI::App *command = app.add_subcommand(name, description);
    auto options = std::make_shared<TransformOptions>();
    command->add_option("IN", options->in, "the file to read")->required();
    command->add_option("OUT", options->out, "the file to write (replaced whole)")->required();
    command->add_flag("--force", options->force, "transform a file that is not in the expected form");
    command->callback([&run, options, transform, wantsPlain] {
        run = [options, transform, wantsPlain] { return RunTransform(*options, transform, wantsPlain); };
    });
}

} // namespace

void AddScrambleCommands(CLI::App &app, CommandRun &run)
{
    AddTransform(app, run, "scramble", "scramble plain SUID.ini text with the disc seed", ScrambleBytes, true);
    AddTransform(app, run, "descramble", "undo scramble: the plain text the launcher reads", DescrambleBytes, false);
}
