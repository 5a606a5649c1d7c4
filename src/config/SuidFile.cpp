#include "SuidFile.h"

#include "IniReader.h"
#include "Scramble.h"
#include "SuidValues.h"

namespace {

// Windows profile files use CR LF; the reader takes any line end, so this only keeps Notepad happy.
constexpr char kLineEnd[] = "\r\n";

// The profile reader strips blanks around a value and one pair of matching quotes; quoting the value keeps
// both of those as written.
bool NeedsQuotes(const std::string &value)
{
    if (value.empty())
        return false;
    const char first = value.front();
    return IsProfileBlank(first) || IsProfileBlank(value.back()) ||
           (value.size() >= 2 && (first == '"' || first == '\'') && value.back() == first);
}

void AppendSection(std::string &text, const char *section)
{
    text += '[';
    text += section;
    text += ']';
    text += kLineEnd;
}

void AppendValue(std::string &text, const char *key, const std::string &value)
{
    text += key;
    text += '=';
    if (!NeedsQuotes(value)) {
        text += value;
    } else if (value.size() == static_cast<size_t>(suid::kValueMax)) {
        // The profile reader drops the last character of a quoted value that fills its buffer exactly
        // when the closing quote would fit too; a filler after the value takes that place, and the cut at
        // the buffer's end removes it with the quote.
        text += '"' + value + "~\"";
    } else {
        text += '"' + value + '"';
    }
    text += kLineEnd;
}

} // namespace

SuidRead ReadSuidText(std::string_view fileBytes)
{
    SuidRead read;
    const IniFile raw = IniFile::Parse(fileBytes);
    if (raw.Get(suid::kSecUp, suid::kKeyUp) == suid::kPlainMark) {
        read.form = SuidForm::Plain;
        ReadSuidValues(read.info, [&raw](const char *section, const char *key) { return raw.Get(section, key); },
                       true);
        return read;
    }
    read.form = SuidForm::Scrambled;
    const IniFile plain = IniFile::Parse(DescrambleBytes(fileBytes, kSuidSeed));
    ReadSuidValues(read.info, [&plain](const char *section, const char *key) { return plain.Get(section, key); },
                   false);
    return read;
}

std::string MakeSuidText(const SuidInfo &info, SuidForm form)
{
    std::string text;
    if (form == SuidForm::Plain) {
        AppendSection(text, suid::kSecUp);
        AppendValue(text, suid::kKeyUp, suid::kPlainMark);
    }
    AppendSection(text, suid::kSecVersion);
    AppendValue(text, suid::kKeyHiMS, std::to_string(info.m_nHiMS));
    AppendValue(text, suid::kKeyLowMS, std::to_string(info.m_nLowMS));
    AppendValue(text, suid::kKeyHiLS, std::to_string(info.m_nHiLS));
    AppendValue(text, suid::kKeyLowLS, std::to_string(info.m_nLowLS));
    AppendSection(text, suid::kSecMode);
    AppendValue(text, suid::kKeyMode, info.m_strMode);
    AppendSection(text, suid::kSecId);
    AppendValue(text, suid::kKeyId, info.m_strId);
    return form == SuidForm::Plain ? text : ScrambleBytes(text, kSuidSeed);
}
