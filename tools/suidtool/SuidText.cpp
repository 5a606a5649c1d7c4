#include "SuidText.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "config/IniReader.h"
#include "config/Scramble.h"
#include "config/SuidValues.h"

namespace {

constexpr char kOptMode[] = "--mode";
constexpr char kOptId[] = "--id";
constexpr char kOptVersion[] = "--viewer-version";
constexpr char kOptVersionOld[] = "--version";

bool ParseVersionPart(const std::string &text, int &value)
{
    const size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos)
        return false;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

// True when the text holds any of the keys the launcher reads (a value that is there and not empty).
bool HasSuidKeys(const IniFile &ini)
{
    const char *const keys[][2] = {{suid::kSecVersion, suid::kKeyHiMS}, {suid::kSecVersion, suid::kKeyLowMS},
                                   {suid::kSecVersion, suid::kKeyHiLS}, {suid::kSecVersion, suid::kKeyLowLS},
                                   {suid::kSecMode, suid::kKeyMode},    {suid::kSecId, suid::kKeyId}};
    for (const auto &key : keys)
        if (!ini.Get(key[0], key[1]).empty())
            return true;
    return false;
}

std::string WhyLost(const char *option, const std::string &wanted, const std::string &back)
{
    std::string why = std::string(option) + ": ";
    if (wanted.find_first_of("\r\n") != std::string::npos)
        return why + "a line break ends the value in the file";
    if (wanted.find('\0') != std::string::npos)
        return why + "a NUL ends the value in the file";
    if (wanted.size() > static_cast<size_t>(suid::kValueMax))
        return why + std::to_string(wanted.size()) + " characters; the launcher reads at most " +
               std::to_string(suid::kValueMax);
    return why + "the launcher would read \"" + back + "\"";
}

} // namespace

void AddSuidValueOptions(CLI::App &command, SuidValueOptions &values)
{
    command
        .add_option(kOptMode, values.mode,
                    "the execute mode: Clarivue, DiscStudio, DiscStudio_Lite, "
                    "DiscStudioBasic or BasicStudio")
        ->required();
    command.add_option(kOptId, values.id, "the patient's ID: names the patient folder")->required();
    const auto version = [](const std::string &text) {
        SuidInfo ignored;
        return ParseVersion(text, ignored) ? std::string()
                                           : "expected A.B.C.D, four decimal numbers, not '" + text + "'";
    };
    CLI::Option *current = command.add_option(kOptVersion, values.version, "the disc's viewer version, A.B.C.D")
                               ->check(version)
                               ->type_name("A.B.C.D")
                               ->required();
    // The older spelling counts as the current one given, for the check of required options after parsing.
    command.add_option(kOptVersionOld, values.version)
        ->check(version)
        ->group("")
        ->each([current](const std::string &value) {
            if (current->count() > 0)
                throw CLI::ArgumentMismatch(std::string(kOptVersion) + " given twice (once as " + kOptVersionOld + ")");
            current->add_result(value);
        });
}

SuidInfo SuidInfoFromOptions(const SuidValueOptions &values)
{
    SuidInfo info;
    ParseVersion(values.version, info);
    info.m_strMode = values.mode;
    info.m_strId = values.id;
    return info;
}

std::string FormatVersion(const SuidInfo &info)
{
    return std::to_string(info.m_nHiMS) + '.' + std::to_string(info.m_nLowMS) + '.' + std::to_string(info.m_nHiLS) +
           '.' + std::to_string(info.m_nLowLS);
}

bool ParseVersion(const std::string &text, SuidInfo &info)
{
    int *const parts[] = {&info.m_nHiMS, &info.m_nLowMS, &info.m_nHiLS, &info.m_nLowLS};
    size_t start = 0;
    for (size_t i = 0; i < 4; ++i) {
        const size_t dot = text.find('.', start);
        const bool last = i == 3;
        if (last != (dot == std::string::npos))
            return false;
        const size_t end = last ? text.size() : dot;
        if (!ParseVersionPart(text.substr(start, end - start), *parts[i]))
            return false;
        start = end + 1;
    }
    return true;
}

SuidKind ClassifySuid(std::string_view bytes)
{
    const IniFile plain = IniFile::Parse(bytes);
    if (plain.Get(suid::kSecUp, suid::kKeyUp) == suid::kPlainMark)
        return SuidKind::Plain;
    if (HasSuidKeys(IniFile::Parse(DescrambleBytes(bytes, kSuidSeed))))
        return SuidKind::Scrambled;
    return HasSuidKeys(plain) ? SuidKind::PlainText : SuidKind::NotSuid;
}

const char *DescribeSuidKind(SuidKind kind)
{
    switch (kind) {
    case SuidKind::Plain:
        return "a plain SUID.ini";
    case SuidKind::PlainText:
        return "plain text without the plain form's marker ([Program Up] UP_A=091118): the launcher would "
               "descramble it and read nothing";
    case SuidKind::Scrambled:
        return "a scrambled SUID.ini";
    case SuidKind::NotSuid:
        break;
    }
    return "not a SUID.ini: neither the plain form nor, descrambled, any of its keys";
}

std::string LostValue(const SuidInfo &wanted, SuidForm form, const std::string &text)
{
    const SuidRead back = ReadSuidText(text);
    if (back.form != form)
        return std::string("the file would read as the ") + (form == SuidForm::Plain ? kFormScrambled : kFormPlain) +
               " form";
    if (back.info.m_strMode != wanted.m_strMode)
        return WhyLost(kOptMode, wanted.m_strMode, back.info.m_strMode);
    if (back.info.m_strId != wanted.m_strId)
        return WhyLost(kOptId, wanted.m_strId, back.info.m_strId);
    if (FormatVersion(back.info) != FormatVersion(wanted))
        return std::string(kOptVersion) + ": the launcher would read " + FormatVersion(back.info);
    return std::string();
}
