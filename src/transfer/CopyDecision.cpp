#include "CopyDecision.h"

#include <cctype>
#include <cstdio>

std::string ExtensionOf(const std::string &path)
{
    const size_t dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

bool IsProjectFile(const std::string &path)
{
    const std::string ext = ExtensionOf(path);
    if (ext.size() != 3)
        return false;
    static const char kProject[] = "npj";
    for (size_t i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(ext[i])) != kProject[i])
            return false;
    return true;
}

bool ShouldCopy(const CopyFacts &facts)
{
    if (!facts.targetReadable || facts.sourceSize != facts.targetSize || IsProjectFile(facts.sourcePath))
        return true;
    return !facts.timesKnown || facts.sourceTimes.lastWrite != facts.targetTimes.lastWrite;
}

namespace {
constexpr char kStagingPrefix[] = "~autorun-";
constexpr size_t kStagingPrefixLength = sizeof(kStagingPrefix) - 1;
constexpr char kStagingFormat[] = "~autorun-%08lx-%08lx%08lx-%u.tmp";
constexpr char kStagingSuffix[] = ".tmp";

// Exactly `digits` lower-case hexadecimal digits at `at`.
bool ReadHex(const std::string &text, size_t at, size_t digits, uint64_t &value)
{
    if (at + digits > text.size())
        return false;
    value = 0;
    for (size_t i = at; i < at + digits; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<unsigned>(digit);
    }
    return true;
}
} // namespace

std::string StagingFolderName(const StagingOwner &owner)
{
    char name[64];
    std::snprintf(name, sizeof(name), kStagingFormat, static_cast<unsigned long>(owner.processId),
                  static_cast<unsigned long>(owner.startTime >> 32),
                  static_cast<unsigned long>(owner.startTime & 0xFFFFFFFFu), owner.number);
    return name;
}

bool ParseStagingFolderName(const std::string &name, StagingOwner &owner)
{
    if (name.compare(0, kStagingPrefixLength, kStagingPrefix) != 0)
        return false;
    uint64_t processId = 0, startTime = 0;
    size_t at = kStagingPrefixLength;
    if (!ReadHex(name, at, 8, processId) || name.size() <= at + 8 || name[at + 8] != '-' ||
        !ReadHex(name, at + 9, 16, startTime))
        return false;
    at += 8 + 1 + 16;
    if (name.size() <= at || name[at] != '-')
        return false;
    // A number in its plain decimal form, as the format writes it.
    const size_t digitsEnd = name.find_first_not_of("0123456789", at + 1);
    if (digitsEnd == std::string::npos || digitsEnd == at + 1 || digitsEnd - at - 1 > 9 ||
        (name[at + 1] == '0' && digitsEnd != at + 2) || name.compare(digitsEnd, std::string::npos, kStagingSuffix) != 0)
        return false;
    owner.processId = static_cast<uint32_t>(processId);
    owner.startTime = startTime;
    owner.number = static_cast<unsigned>(std::stoul(name.substr(at + 1, digitsEnd - at - 1)));
    return true;
}

size_t LongestStagingFolderPath(size_t destinationLength)
{
    const StagingOwner longest{0xFFFFFFFFu, ~uint64_t(0), kStagingAttempts - 1};
    return destinationLength + 1 + StagingFolderName(longest).size();
}

size_t LongestStagedCopyPath(size_t destinationLength)
{
    return LongestStagingFolderPath(destinationLength) + 1 + (sizeof(kStagedFileName) - 1);
}

std::string CopyWarningText(int patientFailed, int patientTotal, int referenceFailed)
{
    if (patientFailed <= 0 && referenceFailed <= 0)
        return std::string();
    char text[512];
    std::snprintf(text, sizeof text,
                  "Some files of this disc could not be copied to this computer.\n\n"
                  "Patient files not copied: %d of %d\n"
                  "Reference files not copied: %d\n\n"
                  "The viewer opens now, but the patient's data may be incomplete. Clean the disc and insert it "
                  "again: the files that are missing will be copied then.",
                  patientFailed > 0 ? patientFailed : 0, patientTotal > 0 ? patientTotal : 0,
                  referenceFailed > 0 ? referenceFailed : 0);
    return text;
}
