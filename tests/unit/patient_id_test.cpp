#include <gtest/gtest.h>

#include <string>

#include "code_pages.h"
#include "launch/PatientId.h"

TEST(PatientId, NamesExactlyOneFolder)
{
    const struct {
        std::string id;
        bool valid;
    } cases[] = {
        {"A1", true},
        {"20091118_KIM", true},
        {"Kim Min-su", true},
        {"a.b", true},
        {"COM10", true},
        {"CONSOLE", true},
        {"LPT0", true},
        {std::string(300, 'x'), true},
        {"\xB1\xE8\xB9\xCE\xBC\xF6", true}, // Korean in code page 949
        {"", false},
        {".", false},
        {"..", false},
        {"..\\..\\Windows", false},
        {"a/b", false},
        {"C:x", false},
        {"a<b", false},
        {"a>b", false},
        {"a\"b", false},
        {"a|b", false},
        {"a?b", false},
        {"a*b", false},
        {std::string("a\tb"), false},
        {std::string("a\x1f"), false},
        {"trailing ", false},
        {"trailing.", false},
        {"CON", false},
        {"con", false},
        {"Nul.txt", false},
        {"aux.tar.gz", false},
        {"PRN", false},
        {"COM1", false},
        {"lpt9", false},
        {"COM9.log", false},
        {"CON .txt", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsValidPatientId(c.id), c.valid) << '"' << c.id << '"';
}

// In a double-byte code page the second byte of a character may be '\\' or '|': part of the character, no separator.
// Read byte by byte, the same bytes are a separator in a single-byte code page.
TEST(PatientId, DoubleByteCharactersAreReadWhole)
{
    const struct {
        const char *what;
        std::string id;
        LeadBytePredicate codePage;
        bool valid;
    } cases[] = {
        {"a kanji ending in 0x5C, code page 932", "\x95\x5C", IsLeadByte932, true},
        {"a katakana ending in 0x5C, code page 932", "\x83\x5C\x83\x7C", IsLeadByte932, true},
        {"hanzi ending in 0x5C and 0x7C, code page 936", "A\x81\x5C\x81\x7C", IsLeadByte936, true},
        {"the same bytes in a single-byte code page", "\x95\x5C", nullptr, false},
        {"a separator after a whole character", "\x95\x5C\\..", IsLeadByte932, false},
        {"a separator byte that no lead byte comes before", "A\x5C", IsLeadByte932, false},
        {"0x5C after a byte that leads in 936 but not in 932", "\xA0\x5C", IsLeadByte932, false},
        {"a lead byte at the end", "A\x95", IsLeadByte932, true},
        {"a trailing blank after a character", "\x95\x5C ", IsLeadByte932, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsValidPatientId(c.id, c.codePage), c.valid) << c.what;
}
