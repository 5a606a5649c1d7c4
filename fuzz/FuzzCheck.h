#pragma once
// What the fuzz targets share: checking an invariant so that libFuzzer treats a violation like a crash (it
// saves the input and stops), and the helpers the targets build their invariants from.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzzcheck {

// A value as printable C-string text, so that a report shows blanks, control bytes and NULs.
inline std::string Escaped(std::string_view value)
{
    std::string out;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '\\' && c != '"') {
            out += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        }
    }
    return out;
}

// abort() rather than an exception or a return code: libFuzzer reports a deadly signal with the stack and writes
// the input to a crash file.
inline void Require(bool holds, const char *invariant, std::string_view got = {}, std::string_view expected = {})
{
    if (holds)
        return;
    std::fprintf(stderr, "==INVARIANT== %s\n", invariant);
    if (!got.empty() || !expected.empty())
        std::fprintf(stderr, "  got:      \"%s\"\n  expected: \"%s\"\n", Escaped(got).c_str(), Escaped(expected).c_str());
    std::fflush(stderr);
    std::abort();
}

inline std::string_view AsText(const unsigned char *data, size_t size)
{
    return {reinterpret_cast<const char *>(data), size};
}

} // namespace fuzzcheck
