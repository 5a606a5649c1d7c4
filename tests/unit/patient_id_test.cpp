#include <gtest/gtest.h>

#include <string>

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
