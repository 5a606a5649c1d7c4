// Arbitrary bytes into the INI reader, then the launcher's seven lookups and a few more whose names come from the
// input itself, so that lookups also meet keys that exist.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "config/IniReader.h"
#include "config/SuidInfo.h"

using fuzzcheck::Require;

namespace {

struct Query {
    std::string section;
    std::string key;
};

// More lookups per input would only slow the fuzzer down: the reader's paths are reached by the text, not by how
// many names are asked for.
constexpr size_t kInputQueries = 6;
// Blanks the reader cuts around the names asked for, put around them again; line ends count among them there.
constexpr char kPadFront[] = " \t\x1a\r";
constexpr char kPadBack[] = "\v\f\n ";

std::vector<Query> LauncherQueries()
{
    return {
        {suid::kSecUp, suid::kKeyUp},        {suid::kSecVersion, suid::kKeyHiMS}, {suid::kSecVersion, suid::kKeyLowMS},
        {suid::kSecVersion, suid::kKeyHiLS}, {suid::kSecVersion, suid::kKeyLowLS}, {suid::kSecMode, suid::kKeyMode},
        {suid::kSecId, suid::kKeyId},
    };
}

// Names as the input spells them, found without the reader's rules: the text between a line's first '[' and its
// last ']' as a section, else the part of a line before its first '=' as a key of the section named last.
void AddInputQueries(std::string_view text, std::vector<Query> &queries)
{
    std::string section;
    size_t added = 0;
    for (size_t pos = 0; pos < text.size() && added < kInputQueries;) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty())
            continue;
        const size_t open = line.find('[');
        const size_t close = line.rfind(']');
        if (open != std::string_view::npos && close != std::string_view::npos && open < close) {
            section = line.substr(open + 1, close - open - 1);
            continue;
        }
        queries.push_back({section, std::string(line.substr(0, line.find('=')))});
        ++added;
    }
}

enum class Case { Upper, Lower, Swapped };

std::string Recased(std::string_view name, Case to)
{
    std::string out(name);
    for (char &c : out) {
        const bool upper = c >= 'A' && c <= 'Z';
        const bool lower = c >= 'a' && c <= 'z';
        if (lower && (to == Case::Upper || to == Case::Swapped))
            c = static_cast<char>(c - 'a' + 'A');
        else if (upper && (to == Case::Lower || to == Case::Swapped))
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string Padded(const std::string &name) { return kPadFront + name + kPadBack; }

void CheckQuery(const IniFile &ini, const IniFile &again, const Query &q)
{
    const std::string value = ini.Get(q.section, q.key);
    Require(value.size() <= static_cast<size_t>(suid::kValueMax), "a value is at most 259 characters", value);
    Require(value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
            "a value holds no line break and no NUL", value);
    Require(ini.Get(q.section, q.key) == value, "Get is deterministic");
    Require(again.Get(q.section, q.key) == value, "Parse is deterministic");
    for (const Case sectionCase : {Case::Upper, Case::Lower, Case::Swapped}) {
        for (const Case keyCase : {Case::Upper, Case::Lower, Case::Swapped}) {
            const std::string other = ini.Get(Recased(q.section, sectionCase), Recased(q.key, keyCase));
            Require(other == value, "names match in any ASCII case", other, value);
        }
    }
    const std::string padded = ini.Get(Padded(q.section), Padded(q.key));
    Require(padded == value, "blanks around the names asked for are ignored", padded, value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text = fuzzcheck::AsText(data, size);
    const IniFile ini = IniFile::Parse(text);
    const IniFile again = IniFile::Parse(text);
    std::vector<Query> queries = LauncherQueries();
    AddInputQueries(text, queries);
    for (const Query &q : queries)
        CheckQuery(ini, again, q);
    return 0;
}
