// Arbitrary bytes as SUID.ini, through the launcher's whole reading path: plain-or-scrambled detection, the
// descrambler, the INI reader and the version numbers' atoi. Besides "no sanitizer report" it checks what must hold
// for any file a disc can carry.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "config/Scramble.h"
#include "config/SuidFile.h"
#include "config/SuidValues.h"

using fuzzcheck::Require;

namespace {

constexpr SuidForm kForms[] = {SuidForm::Plain, SuidForm::Scrambled};
// Made-up values a little past the longest one the reader hands out, so that both sides of the cut get tried.
constexpr size_t kMadeValueMax = suid::kValueBuffer + 2;

// Discs are written and read with one fixed key stream, but every seed must give a bijection: a seed for which
// it does not would show a flaw in the group transform itself.
void CheckBijection(std::string_view bytes, uint32_t seed)
{
    const std::string descrambled = DescrambleBytes(bytes, seed);
    const std::string scrambled = ScrambleBytes(bytes, seed);
    Require(descrambled.size() == bytes.size(), "DescrambleBytes keeps the length");
    Require(scrambled.size() == bytes.size(), "ScrambleBytes keeps the length");
    Require(ScrambleBytes(descrambled, seed) == bytes, "ScrambleBytes(DescrambleBytes(x)) == x");
    Require(DescrambleBytes(scrambled, seed) == bytes, "DescrambleBytes(ScrambleBytes(x)) == x");
}

// The C library's strtoll clamped to int: an oracle for ParseRuntimeInt that shares no code with it. Both stop at
// a NUL, as a C string does.
int ClampedStrtoll(const std::string &text)
{
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

void CheckAtoi(const std::string &text)
{
    const int parsed = ParseRuntimeInt(text);
    const int expected = ClampedStrtoll(text);
    Require(parsed == expected, "ParseRuntimeInt is the runtime's atoi, clamped", std::to_string(parsed),
            std::to_string(expected));
}

void CheckValueLength(const std::string &value, const char *invariant)
{
    Require(value.size() <= static_cast<size_t>(suid::kValueMax), invariant, value);
}

void CheckRead(const SuidRead &read)
{
    CheckValueLength(read.info.m_strMode, "the mode is at most 259 characters");
    CheckValueLength(read.info.m_strId, "the ID is at most 259 characters");
    CheckValueLength(read.info.m_strUpdateMark, "the marker is at most 259 characters");
    if (read.form == SuidForm::Scrambled)
        Require(read.info.m_strUpdateMark.empty(), "a scrambled read never sets the marker", read.info.m_strUpdateMark);
    else
        Require(read.info.m_strUpdateMark == suid::kPlainMark, "a plain read carries the marker",
                read.info.m_strUpdateMark, suid::kPlainMark);
}

// What SuidFile.h promises comes back as written: no line break, no NUL, at most suid::kValueMax characters.
bool IsRepresentable(const std::string &value)
{
    constexpr std::string_view kLost("\r\n\0", 3);
    return value.size() <= static_cast<size_t>(suid::kValueMax) && value.find_first_of(kLost) == std::string::npos;
}

void CheckReadsBack(const SuidInfo &info, SuidForm form)
{
    if (!IsRepresentable(info.m_strMode) || !IsRepresentable(info.m_strId))
        return;
    const SuidRead back = ReadSuidText(MakeSuidText(info, form));
    const bool plain = form == SuidForm::Plain;
    Require(back.form == form, plain ? "a made plain file reads as plain" : "a made scrambled file reads as scrambled");
    Require(back.info.m_strMode == info.m_strMode, "a made file reads back the mode", back.info.m_strMode,
            info.m_strMode);
    Require(back.info.m_strId == info.m_strId, "a made file reads back the ID", back.info.m_strId, info.m_strId);
    const int wanted[] = {info.m_nHiMS, info.m_nLowMS, info.m_nHiLS, info.m_nLowLS};
    const int got[] = {back.info.m_nHiMS, back.info.m_nLowMS, back.info.m_nHiLS, back.info.m_nLowLS};
    for (size_t i = 0; i < 4; ++i)
        Require(got[i] == wanted[i], "a made file reads back the version", std::to_string(got[i]),
                std::to_string(wanted[i]));
    Require(back.info.m_strUpdateMark == (plain ? suid::kPlainMark : ""), "a made file carries the marker when plain",
            back.info.m_strUpdateMark);
}

// A record taken from the input's bytes, for values the reader never hands out: NULs, line breaks, more than
// kValueMax characters, and blanks or quotes at the ends next to those lengths.
SuidInfo MadeUpRecord(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    SuidInfo info;
    info.m_nHiMS = provider.ConsumeIntegral<int>();
    info.m_nLowMS = provider.ConsumeIntegral<int>();
    info.m_nHiLS = provider.ConsumeIntegral<int>();
    info.m_nLowLS = provider.ConsumeIntegral<int>();
    info.m_strMode = provider.ConsumeRandomLengthString(kMadeValueMax);
    info.m_strId = provider.ConsumeRandomLengthString(kMadeValueMax);
    return info;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes = fuzzcheck::AsText(data, size);

    CheckBijection(bytes, kSuidSeed);
    constexpr size_t kSeedSize = sizeof(uint32_t);
    if (size >= kSeedSize) {
        uint32_t seed;
        std::memcpy(&seed, data, kSeedSize);
        CheckBijection(bytes.substr(kSeedSize), seed);
    }

    const SuidRead read = ReadSuidText(bytes);
    CheckRead(read);
    CheckAtoi(std::string(bytes));
    CheckAtoi(read.info.m_strMode);
    CheckAtoi(read.info.m_strId);

    // What a disc says must be writable again, in either form, and come back unchanged.
    const SuidInfo made = MadeUpRecord(data, size);
    for (const SuidForm form : kForms) {
        CheckReadsBack(read.info, form);
        CheckReadsBack(made, form);
    }
    return 0;
}
