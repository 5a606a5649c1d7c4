#pragma once
#include <string>
#include <string_view>

#include "config/SuidFile.h"

namespace CLI {
class App;
}

// SUID.ini values as suidtool's command lines spell them, declared once for the commands that write a SUID.ini
// (write, make-disc), and what a file's bytes are.

constexpr char kFormPlain[] = "plain";
constexpr char kFormScrambled[] = "scrambled";

struct SuidValueOptions {
    std::string mode;
    std::string id;
    std::string version;
};

// --mode, --id and --viewer-version (also spelled --version, as before the tool had a version of its own),
// all required; a version that is not A.B.C.D is a usage error.
void AddSuidValueOptions(CLI::App &command, SuidValueOptions &values);
// The record the options give (the version was checked by the parser).
SuidInfo SuidInfoFromOptions(const SuidValueOptions &values);

// "A.B.C.D", most significant part first.
std::string FormatVersion(const SuidInfo &info);
// Four decimal numbers (optional minus) that each fit an int, separated by dots; nothing else. Stricter than
// the launcher's atoi on purpose: a typo should stop the tool, not write a version nobody asked for.
bool ParseVersion(const std::string &text, SuidInfo &info);

// What a file's bytes are, for the commands that must not mistake one form for the other.
enum class SuidKind {
    Plain,     // the plain form: the launcher reads it as it is
    PlainText, // SUID.ini's keys in plain text without the plain form's marker: scramble's input; the launcher
               // would descramble it and read nothing
    Scrambled, // descrambled, it holds SUID.ini's keys
    NotSuid,   // neither: empty, another file, or scrambled twice
};
SuidKind ClassifySuid(std::string_view bytes);
const char *DescribeSuidKind(SuidKind kind);

// Why a value would not come back from `text` as the launcher reads it ("--id: 300 characters, the launcher reads
// at most 259"), or "" when all come back as given.
std::string LostValue(const SuidInfo &wanted, SuidForm form, const std::string &text);
