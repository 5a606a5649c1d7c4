#include "IniReader.h"

#include <algorithm>
#include <cstdint>

#include "SuidInfo.h"

namespace {

constexpr char kLineEnds[] = "\r\n";
constexpr char kUnmappable = '?';

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && IsProfileBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsProfileBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The platform's reader keeps names and values as C strings, so a NUL inside ends them.
std::string_view CutAtNul(std::string_view s) { return s.substr(0, s.find('\0')); }

std::string FoldCase(std::string_view s)
{
    std::string folded(s);
    for (char &c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

// Code page 1252's characters for the bytes 0x80..0x9F; its bytes 0xA0..0xFF are the same as Unicode's.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// One UTF-16 unit as the ANSI byte the profile reader hands out. Windows maps some further characters to a
// look-alike (U+0100 to 'A'); we give '?' for all of them, which only matters for non-Western text in a
// Unicode file, something our discs never carry. One unit always gives one byte, so cutting the bytes at the
// buffer size cuts where the platform cuts its UTF-16 units.
char UnitToAnsi(uint32_t unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return static_cast<char>(unit);
    for (unsigned i = 0; i < 32; ++i)
        if (kCp1252High[i] == unit)
            return static_cast<char>(0x80 + i);
    return kUnmappable;
}

std::string DecodeUtf16(std::string_view bytes, bool bigEndian)
{
    std::string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        text += UnitToAnsi(bigEndian ? (first << 8 | second) : (second << 8 | first));
    }
    return text;
}

// Follow-up bytes after a UTF-8 lead byte; 0 for bytes that cannot start a sequence (C0, C1, F5 and up
// included).
size_t Utf8TrailCount(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 1;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 2;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 3;
    return 0;
}

// Decodes UTF-8 the way the platform's converter does, down to how many '?' a broken sequence becomes, so
// that the cut at the buffer size falls on the same character: a sequence is abandoned at its first bad
// byte, overlong forms and surrogates after the byte that shows them, a value past U+10FFFF before the byte
// that shows it, and a sequence that runs past the end of the file swallows the rest of it.
std::string DecodeUtf8(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i++]);
        if (lead < 0x80) {
            text += static_cast<char>(lead);
            continue;
        }
        const size_t trail = Utf8TrailCount(lead);
        if (trail == 0) {
            text += kUnmappable;
            continue;
        }
        if (trail > bytes.size() - i) {
            text += kUnmappable;
            break;
        }
        uint32_t cp = lead & (trail == 1 ? 0x1F : trail == 2 ? 0x0F : 0x07);
        bool valid = true;
        for (size_t left = trail; left > 0 && valid; --left) {
            const uint32_t bits = static_cast<unsigned char>(bytes[i]) ^ 0x80;
            if (bits >= 0x40)
                valid = false;
            else if (left == 2 && ((cp << 6) | bits) >= (0x110000 >> 6))
                valid = false;
            else {
                cp = (cp << 6) | bits;
                ++i;
                if (left == 3)
                    valid = cp >= 0x10;
                else if (left == 2)
                    valid = cp >= 0x20 && !(cp >= (0xD800 >> 6) && cp <= (0xDFFF >> 6));
            }
        }
        if (!valid)
            text += kUnmappable;
        else if (cp >= 0x10000)
            text += std::string(2, kUnmappable); // a surrogate pair: two units, neither has an ANSI byte
        else
            text += UnitToAnsi(cp);
    }
    return text;
}

// The file's bytes as the ANSI text the platform's reader works on. Only a byte order mark at the very start
// makes a file Unicode; without one even a file full of NULs is read byte for byte.
std::string ToAnsiText(std::string_view file)
{
    constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
    constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
    constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
    if (file.substr(0, kUtf8Bom.size()) == kUtf8Bom)
        return DecodeUtf8(file.substr(kUtf8Bom.size()));
    if (file.substr(0, kUtf16LeBom.size()) == kUtf16LeBom)
        return DecodeUtf16(file.substr(kUtf16LeBom.size()), false);
    if (file.substr(0, kUtf16BeBom.size()) == kUtf16BeBom)
        return DecodeUtf16(file.substr(kUtf16BeBom.size()), true);
    return std::string(file);
}

// A value as it arrives in the caller's buffer of suid::kValueBuffer bytes.
std::string FitToBuffer(std::string_view value)
{
    constexpr size_t kBuffer = suid::kValueBuffer;
    const bool quoted =
        value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (quoted)
        value.remove_prefix(1);
    std::string arrived(value.substr(0, kBuffer - 1));
    // The platform drops the closing quote by dropping the last character it copied whenever the rest, closing
    // quote included, is no longer than the buffer. So a quoted value of exactly kValueMax characters arrives
    // one character short, not whole. No disc should rely on that, but this reader stands in for the platform's
    // when we predict what the launcher reads, so it gives the same.
    if (quoted && value.size() <= kBuffer && !arrived.empty())
        arrived.pop_back();
    return arrived;
}

} // namespace

// Ctrl-Z counts because old editors ended text files with it; the line ends only matter when trimming the names
// a caller asks for, as lines never hold them.
bool IsProfileBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a' || c == '\r' || c == '\n';
}

IniFile IniFile::Parse(std::string_view file)
{
    const std::string text = ToAnsiText(file);
    const std::string_view all(text);
    IniFile ini;
    Section *current = &ini.m_sections[""];
    for (size_t pos = 0; pos < all.size();) {
        const size_t end = std::min(all.find_first_of(kLineEnds, pos), all.size());
        const std::string_view line = TrimBlanks(all.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty())
            continue;
        if (line.front() == '[') {
            const size_t close = line.rfind(']');
            if (close != std::string_view::npos) {
                const std::string name = FoldCase(CutAtNul(TrimBlanks(line.substr(1, close - 1))));
                const auto added = ini.m_sections.try_emplace(name);
                current = added.second ? &added.first->second : nullptr;
                continue;
            }
        }
        if (current == nullptr)
            continue;
        const size_t equals = line.find('=');
        std::string_view name = line;
        std::string_view value;
        if (equals != std::string_view::npos) {
            name = TrimBlanks(line.substr(0, equals));
            value = TrimBlanks(line.substr(equals + 1));
        }
        current->try_emplace(FoldCase(CutAtNul(name)), CutAtNul(value));
    }
    return ini;
}

std::string IniFile::Get(std::string_view section, std::string_view key) const
{
    const auto found = m_sections.find(FoldCase(TrimBlanks(CutAtNul(section))));
    if (found == m_sections.end())
        return {};
    const auto entry = found->second.find(FoldCase(TrimBlanks(CutAtNul(key))));
    if (entry == found->second.end())
        return {};
    return FitToBuffer(entry->second);
}
