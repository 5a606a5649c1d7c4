#include <gtest/gtest.h>

#include <random>

#include "config/IniReader.h"
#include "config/SuidInfo.h"
#include "ini_cases.h"

namespace {

TEST(IniReader, GivesWhatTheProfileReaderGives)
{
    for (const ini_cases::IniCase &c : ini_cases::Cases())
        EXPECT_EQ(IniFile::Parse(c.text).Get(c.section, c.key), c.expected) << c.what;
}

// Parse sees whatever bytes a disc or a descrambled file holds; it must neither crash nor read past them
// (the sanitizers watch), and no value may exceed the buffer.
TEST(IniReader, SurvivesArbitraryBytes)
{
    const std::string pieces[] = {"[", "]", "=", "\r", "\n", " ", "\"", "'", std::string(1, '\0'), "\x1a",
                                  "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "\xE0", "\x80", "\xF0\x9F", "SUID", "ID"};
    std::mt19937 gen(7142);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int count = static_cast<int>(gen() % 64);
        for (int i = 0; i < count; ++i)
            text += gen() % 4 == 0 ? std::string(1, static_cast<char>(gen())) : pieces[gen() % std::size(pieces)];
        const IniFile ini = IniFile::Parse(text);
        EXPECT_LE(ini.Get("SUID", "ID").size(), static_cast<size_t>(suid::kValueMax));
        EXPECT_LE(ini.Get("", "").size(), static_cast<size_t>(suid::kValueMax));
    }
}

} // namespace
