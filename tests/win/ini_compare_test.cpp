// Our profile reader against the platform's: GetPrivateProfileStringA on real files, same texts, same names.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../unit/ini_cases.h"
#include "TestFiles.h"
#include "config/IniReader.h"
#include "config/SuidInfo.h"

namespace {

// Every text gets a file name of its own: the platform keeps parsed profiles cached by name and last-write time,
// and two writes within one clock tick would look unchanged to it.
class CaseFiles {
public:
    std::string Write(const std::string &bytes)
    {
        const std::string path = m_folder / ("case" + std::to_string(m_count++) + ".ini");
        WriteFile(path, bytes);
        return path;
    }

private:
    TempFolder m_folder;
    unsigned m_count = 0;
};

// Exactly the launcher's call: default "", a buffer of suid::kValueBuffer bytes.
std::string ProfileValue(const std::string &path, const std::string &section, const std::string &key)
{
    char buffer[suid::kValueBuffer];
    const DWORD length =
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer, path.c_str());
    return std::string(buffer, length);
}

struct Entry {
    std::string section;
    std::string key;
};

const std::vector<Entry> &LauncherEntries()
{
    static const std::vector<Entry> entries = {
        {suid::kSecUp, suid::kKeyUp},       {suid::kSecVersion, suid::kKeyHiMS}, {suid::kSecVersion, suid::kKeyLowMS},
        {suid::kSecVersion, suid::kKeyHiLS}, {suid::kSecVersion, suid::kKeyLowLS}, {suid::kSecMode, suid::kKeyMode},
        {suid::kSecId, suid::kKeyId},
    };
    return entries;
}

void ExpectSameValues(const std::string &path, const std::string &text, const std::vector<Entry> &entries,
                      const std::string &what)
{
    const IniFile ours = IniFile::Parse(text);
    for (const Entry &entry : entries)
        EXPECT_EQ(ours.Get(entry.section, entry.key), ProfileValue(path, entry.section, entry.key))
            << what << ": [" << entry.section << "] " << entry.key;
}

// The platform holds the table's values, and our reader gives the platform's for the launcher's entries too.
TEST(IniCompare, TabledTexts)
{
    CaseFiles files;
    for (const ini_cases::IniCase &c : ini_cases::Cases()) {
        const std::string path = files.Write(c.text);
        EXPECT_EQ(ProfileValue(path, c.section, c.key), c.expected) << c.what;
        std::vector<Entry> entries = LauncherEntries();
        entries.push_back({c.section, c.key});
        ExpectSameValues(path, c.text, entries, c.what);
    }
}

// Texts put together at random from the pieces that matter to a profile reader, so that combinations nobody
// thought of get compared too.
std::string RandomText(std::mt19937 &gen)
{
    static const std::vector<std::string> pieces = {
        "[", "]", "=", "\r", "\n", "\r\n", " ", "\t", "\x1a", "\"", "'", ";", std::string(1, '\0'), "\xA0", "\xE9",
        "\xC3\xA9", "\xE0\x80", "\xF0\x9F\x98\x80", "\x80", "x", "0", "091118", "UP_A", "Program Up", "program up",
        "Program Version", "HIMS", "LOWMS", "hils", "LowLS", "Execute Mode", "Mode", "SUID", "ID", "Id",
        std::string(130, 'v'),
    };
    std::string text;
    const unsigned count = gen() % 40;
    for (unsigned i = 0; i < count; ++i)
        text += pieces[gen() % pieces.size()];
    switch (gen() % 8) {
    case 0:
        return "\xEF\xBB\xBF" + text;
    case 1: {
        // UTF-16 whose units are the bytes above, U+0000 to U+00FF.
        std::string wide = "\xFF\xFE";
        for (const char c : text) {
            wide += c;
            wide += '\0';
        }
        return wide;
    }
    default:
        return text;
    }
}

TEST(IniCompare, SameValuesForRandomTexts)
{
    CaseFiles files;
    std::mt19937 gen(20091118);
    std::vector<Entry> entries = LauncherEntries();
    entries.push_back({"", ""});
    entries.push_back({"", suid::kKeyId});
    for (int round = 0; round < 600; ++round) {
        const std::string text = RandomText(gen);
        ExpectSameValues(files.Write(text), text, entries, "random text " + std::to_string(round));
    }
}

} // namespace
