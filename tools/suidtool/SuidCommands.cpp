// read, write, scramble and descramble: SUID.ini as the launcher sees it.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "Command.h"
#include "FileIo.h"
#include "SuidText.h"
#include "config/Scramble.h"

namespace {

constexpr char kOptScrambled[] = "--scrambled";

int RunRead(const std::vector<std::string> &args)
{
    if (args.size() != 1)
        return UsageError("read needs exactly one FILE");
    std::string bytes;
    if (!ReadWholeFile(args[0], bytes))
        return kExitFailure;
    const SuidRead read = ReadSuidText(bytes);
    std::printf("form: %s\n", read.form == SuidForm::Plain ? kFormPlain : kFormScrambled);
    std::printf("mode: %s\n", read.info.m_strMode.c_str());
    std::printf("id: %s\n", read.info.m_strId.c_str());
    std::printf("version: %s\n", FormatVersion(read.info).c_str());
    std::printf("mark: %s\n", read.info.m_strUpdateMark.c_str());
    return kExitOk;
}

int RunWrite(const std::vector<std::string> &args)
{
    struct ValueOption {
        const char *name;
        const std::string *value;
    };
    ValueOption options[] = {{kOptMode, nullptr}, {kOptId, nullptr}, {kOptVersion, nullptr}};
    const std::string *file = nullptr;
    SuidForm form = SuidForm::Plain;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        ValueOption *option = std::find_if(std::begin(options), std::end(options),
                                           [&arg](const ValueOption &o) { return arg == o.name; });
        if (option != std::end(options)) {
            if (option->value != nullptr)
                return UsageError(arg + " given twice");
            if (i + 1 == args.size())
                return UsageError(arg + " needs a value");
            option->value = &args[++i];
        } else if (arg == kOptScrambled) {
            form = SuidForm::Scrambled;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else if (file != nullptr) {
            return UsageError("write takes one FILE, got " + *file + " and " + arg);
        } else {
            file = &arg;
        }
    }
    const std::string *mode = options[0].value;
    const std::string *id = options[1].value;
    const std::string *version = options[2].value;
    if (mode == nullptr || id == nullptr || version == nullptr || file == nullptr)
        return UsageError("write needs --mode, --id, --version and FILE");
    SuidInfo info;
    if (!ParseVersion(*version, info))
        return UsageError("bad version '" + *version + "': expected A.B.C.D, four decimal numbers");
    info.m_strMode = *mode;
    info.m_strId = *id;

    const std::string text = MakeSuidText(info, form);
    // Line breaks, NULs or over-long values would be cut or split by the launcher's reader; refuse rather than
    // write a disc that says something else than asked.
    if (const char *lost = FirstLostValue(info, form, text)) {
        std::fprintf(stderr, "%s: the file would not read back as given (%s); nothing written\n", kToolName, lost);
        return kExitUsage;
    }
    return WriteFileAtomically(*file, text) ? kExitOk : kExitFailure;
}

int Transform(const std::vector<std::string> &args, const char *name,
              std::string (*transform)(std::string_view, uint32_t))
{
    if (args.size() != 2)
        return UsageError(std::string(name) + " needs IN and OUT");
    std::string bytes;
    if (!ReadWholeFile(args[0], bytes))
        return kExitFailure;
    return WriteFileAtomically(args[1], transform(bytes, kSuidSeed)) ? kExitOk : kExitFailure;
}

int RunScramble(const std::vector<std::string> &args) { return Transform(args, "scramble", ScrambleBytes); }

int RunDescramble(const std::vector<std::string> &args) { return Transform(args, "descramble", DescrambleBytes); }

} // namespace

const Command kReadCommand = {"read", "FILE", "print what the launcher reads from a SUID.ini", RunRead};
const Command kWriteCommand = {"write", "--mode M --id ID --version A.B.C.D [--scrambled] FILE",
                               "write a SUID.ini, plain unless --scrambled", RunWrite};
const Command kScrambleCommand = {"scramble", "IN OUT", "scramble a plain SUID.ini with the disc seed", RunScramble};
const Command kDescrambleCommand = {"descramble", "IN OUT", "undo scramble: the plain text the launcher reads",
                                    RunDescramble};
