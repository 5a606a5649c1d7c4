#pragma once
// INI texts and what the platform's profile reader gives for them, with a buffer of suid::kValueBuffer bytes.
// ini_reader_test.cpp holds our reader to these values natively; tests/win/ini_compare_test.cpp holds Wine's
// GetPrivateProfileStringA to them, which is where they were taken from.
#include <string>
#include <vector>

namespace ini_cases {

using namespace std::string_literals;

struct IniCase {
    const char *what;
    std::string text;
    std::string section;
    std::string key;
    std::string expected;
};

// n letters a..z repeating, so a cut shows where it fell.
inline std::string Letters(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += static_cast<char>('a' + i % 26);
    return s;
}

inline std::vector<IniCase> Cases()
{
    return {
        {"names in another case", "[Program Version]\r\nHIMS=3\r\n", "program version", "hims", "3"},
        {"names in mixed case", "[program version]\r\nhims=3\r\n", "PROGRAM Version", "HiMs", "3"},
        {"blanks around everything", "  [ \tSUID\x1a ]  \r\n\t ID \v=\f abc def \x1a\r\n", "SUID", "ID", "abc def"},
        {"blanks around the names asked for", "[SUID]\r\nID=abc\r\n", " \tSUID ", "ID\x1a", "abc"},
        {"0xA0 is no blank", "[SUID]\r\nID=\xA0x\xA0\r\n", "SUID", "ID", "\xA0x\xA0"},
        {"blank value", "[SUID]\r\nID=   \r\nMode=x\r\n", "SUID", "ID", ""},
        {"missing section", "[SUID]\r\nID=x\r\n", "Execute Mode", "Mode", ""},
        {"missing key", "[SUID]\r\nID=x\r\n", "SUID", "Mode", ""},
        {"key of another section", "[SUID]\r\nMode=x\r\n[Execute Mode]\r\n", "Execute Mode", "Mode", ""},
        {"empty file", "", "SUID", "ID", ""},
        {"259 characters arrive whole", "[SUID]\r\nID=" + Letters(259) + "\r\n", "SUID", "ID", Letters(259)},
        {"260 characters are cut to 259", "[SUID]\r\nID=" + Letters(260) + "\r\n", "SUID", "ID", Letters(259)},
        {"300 characters are cut to 259", "[SUID]\r\nID=" + Letters(300), "SUID", "ID", Letters(259)},
        {"long key name", "[SUID]\r\n" + Letters(300) + "=1\r\n", "SUID", Letters(300), "1"},
        {"first of two keys", "[SUID]\r\nID=a\r\nid=b\r\n", "SUID", "ID", "a"},
        {"second section of a name is not searched", "[SUID]\r\nX=1\r\n[suid]\r\nID=b\r\n", "SUID", "ID", ""},
        {"key without '=' comes first", "[SUID]\r\nID\r\nID=b\r\n", "SUID", "ID", ""},
        {"no final line end", "[SUID]\r\nID=abc", "SUID", "ID", "abc"},
        {"CR line ends", "[SUID]\rMode=x\rID=abc\r", "SUID", "ID", "abc"},
        {"LF line ends", "[SUID]\nMode=x\nID=abc\n", "SUID", "ID", "abc"},
        {"mixed and repeated line ends", "\n\r[SUID]\r\r\n\n\rID=abc\n\r", "SUID", "ID", "abc"},
        {"double quotes", "[SUID]\r\nID=\"abc\"\r\n", "SUID", "ID", "abc"},
        {"single quotes", "[SUID]\r\nID='abc'\r\n", "SUID", "ID", "abc"},
        {"blanks inside quotes stay", "[SUID]\r\nID=  \"  a  \"  \r\n", "SUID", "ID", "  a  "},
        {"unmatched quotes stay", "[SUID]\r\nID=\"abc'\r\n", "SUID", "ID", "\"abc'"},
        {"a lone quote stays", "[SUID]\r\nID=\"\r\n", "SUID", "ID", "\""},
        {"empty quotes", "[SUID]\r\nID=\"\"\r\n", "SUID", "ID", ""},
        {"only the outer quotes go", "[SUID]\r\nID=\"a\" \"b\"\r\n", "SUID", "ID", "a\" \"b"},
        {"quoted 258 characters", "[SUID]\r\nID=\"" + Letters(258) + "\"\r\n", "SUID", "ID", Letters(258)},
        {"quoted 259 characters lose one", "[SUID]\r\nID=\"" + Letters(259) + "\"\r\n", "SUID", "ID", Letters(258)},
        {"quoted 300 characters", "[SUID]\r\nID=\"" + Letters(300) + "\"\r\n", "SUID", "ID", Letters(259)},
        {"NUL ends a value", "[SUID]\r\nID=ab\0cd\r\n"s, "SUID", "ID", "ab"},
        {"NUL ends a key name", "[SUID]\r\nID\0junk=a\r\n"s, "SUID", "ID", "a"},
        {"NUL ends a section name", "[SUID\0junk]\r\nID=a\r\n"s, "SUID", "ID", "a"},
        {"blanks before a NUL stay", "[SUID]\r\nID \0=a\r\n"s, "SUID", "ID", ""},
        {"NUL before the closing quote", "[SUID]\r\nID=\"a\0\"\r\n"s, "SUID", "ID", "\"a"},
        {"NUL starts no line", "[SUID]\0\nID=a\0\nMode=b"s, "SUID", "Mode", "b"},
        {"';' starts no comment", "[SUID]\r\n;ID=a\r\nID=b\r\n", "SUID", ";ID", "a"},
        {"commented key is another key", "[SUID]\r\n;ID=a\r\nID=b\r\n", "SUID", "ID", "b"},
        {"'[' without ']' is a key line", "[SUID]\r\n[Execute Mode\r\nID=a\r\n", "SUID", "ID", "a"},
        {"text after ']' is ignored", "[SUID] ; patient\r\nID=a\r\n", "SUID", "ID", "a"},
        {"name runs to the last ']'", "[SUID]x]\r\nID=a\r\n", "SUID]x", "ID", "a"},
        {"keys before the first section", "ID=top\r\n[SUID]\r\nID=a\r\n", "", "ID", "top"},
        {"'[]' is a second nameless section", "[]\r\nID=a\r\n", "", "ID", ""},
        {"value with '='", "[SUID]\r\nID=a=b\r\n", "SUID", "ID", "a=b"},
        {"empty key name", "[SUID]\r\n=x\r\n", "SUID", "", "x"},
        {"ANSI bytes pass unchanged", "[SUID]\r\nID=\x80\x81\x9F\xE9\xFF\r\n", "SUID", "ID", "\x80\x81\x9F\xE9\xFF"},
        {"UTF-8 byte order mark", "\xEF\xBB\xBF[SUID]\r\nID=a\xC3\xA9\xE2\x82\xAC\r\n", "SUID", "ID", "a\xE9\x80"},
        {"broken UTF-8", "\xEF\xBB\xBF[S]\nK=a\xE0\x80\x80" "b\xC0\xAF" "c\xF0\x9F\x98\x80" "d\xE0" "e", "S", "K",
         "a??b??c??d?"},
        {"UTF-8 cut counts UTF-16 units", "\xEF\xBB\xBF[S]\nK=" + Letters(258) + "\xF0\x9F\x98\x80\n", "S", "K",
         Letters(258) + "?"},
        {"UTF-16LE", "\xFF\xFE[\0S\0]\0\r\0\n\0K\0=\0v\0\xE9\0\xAC\x20\x00\x4E\r\0\n\0"s, "S", "K", "v\xE9\x80?"},
        {"UTF-16BE", "\xFE\xFF\0[\0S\0]\0\n\0K\0=\0v"s, "S", "K", "v"},
        {"UTF-16 without a mark is bytes", "[\0S\0]\0\n\0K\0=\0v\0\n\0"s, "S", "K", ""},
        {"Ctrl-Z at the end", "[SUID]\r\nID=abc\r\n\x1a", "SUID", "ID", "abc"},
    };
}

} // namespace ini_cases
