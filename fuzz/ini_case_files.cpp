// Writes each INI text of tests/unit/ini_cases.h to a file of its own in the folder given, as seed inputs for the
// fuzzers. Built and run by make_corpus.sh.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "ini_cases.h"

namespace {

constexpr char kPrefix[] = "ini-";

// The case's description as a file name: lower-case letters and digits, one '-' for any run of other characters.
std::string FileName(const char *what)
{
    std::string name = kPrefix;
    for (const char *p = what; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (std::isalnum(c))
            name += static_cast<char>(std::tolower(c));
        else if (name.back() != '-')
            name += '-';
    }
    while (name.back() == '-')
        name.pop_back();
    return name;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    // Several cases ask different questions of one text; the fuzzer needs each text once.
    std::set<std::string> written;
    for (const ini_cases::IniCase &c : ini_cases::Cases()) {
        if (!written.insert(c.text).second)
            continue;
        std::ofstream file(std::string(argv[1]) + '/' + FileName(c.what), std::ios::binary);
        file << c.text;
        if (!file.flush()) {
            std::fprintf(stderr, "%s: cannot write the case \"%s\"\n", argv[0], c.what);
            return 1;
        }
    }
    return 0;
}
