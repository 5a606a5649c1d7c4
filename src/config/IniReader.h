#pragma once
#include <map>
#include <string>
#include <string_view>

// A profile (INI) reader of our own that gives the values GetPrivateProfileStringA(section, key, "", buffer,
// suid::kValueBuffer, path) gives for the same file, so that the tools and the tests can say what the launcher
// reads without Windows. The rules were taken from Wine by tests/win/ini_compare_test.cpp, which holds the
// cases that pin them down:
// - Lines end at any run of CR and LF characters; blank lines are skipped.
// - Blanks are tab, vertical tab, form feed, space and Ctrl-Z (0x1A), nothing else (not 0xA0). They are cut from
//   both ends of a line, around section names, around key names and around values.
// - "[name]": the name runs to the last ']' of the line, anything after it is ignored. A line that starts with
//   '[' but has no ']' is an ordinary key line.
// - "key=value" splits at the first '='; a line without '=' is a key without a value, which reads as "".
//   ';' starts no comment: ";key=value" is simply a key named ";key".
// - Lines before the first section belong to a section named "".
// - Names match without regard to the case of ASCII letters only.
// - Only the first section of a name is searched, and in it the first key of a name wins; a later section of
//   the same name is invisible.
// - A NUL byte ends a name or a value where it stands, after the blanks were cut on the full line.
// - A value with a matching pair of double or single quotes around it loses them (blanks inside stay).
// - A file that starts with a UTF-16 or UTF-8 byte order mark is decoded and its characters mapped to the
//   Western ANSI code page 1252; others are taken byte for byte, as a single-byte ANSI code page does.
// The blanks the profile reader cuts around names and values.
bool IsProfileBlank(char c);

class IniFile {
public:
    static IniFile Parse(std::string_view text);

    // The value of key in section: "" when either is missing, at most suid::kValueMax characters. Blanks
    // around the names asked for are ignored, and they end at a NUL, as in the platform's reader.
    std::string Get(std::string_view section, std::string_view key) const;

private:
    // Folded section name -> folded key name -> value (quotes still on, not yet cut to the buffer).
    using Section = std::map<std::string, std::string>;
    std::map<std::string, Section> m_sections;
};
