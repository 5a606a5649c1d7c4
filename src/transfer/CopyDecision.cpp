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
constexpr char kStagingFormat[] = "~autorun-%08lx-%08lx-%08lx%08lx-%u.tmp";
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
    std::snprintf(name, sizeof(name), kStagingFormat, static_cast<unsigned long>(owner.machine),
                  static_cast<unsigned long>(owner.processId), static_cast<unsigned long>(owner.startTime >> 32),
                  static_cast<unsigned long>(owner.startTime & 0xFFFFFFFFu), owner.number);
    return name;
}

namespace {
// "PPPPPPPP-SSSSSSSSSSSSSSSS-N.tmp" from `at` to the end of the name: process id, start time, number.
bool ParseOwnerTail(const std::string &name, size_t at, StagingOwner &owner)
{
    uint64_t processId = 0, startTime = 0;
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
} // namespace

bool ParseStagingFolderName(const std::string &name, StagingOwner &owner)
{
    if (name.compare(0, kStagingPrefixLength, kStagingPrefix) != 0)
        return false;
    const size_t at = kStagingPrefixLength;
    uint64_t machine = 0;
    StagingOwner read;
    if (ReadHex(name, at, 8, machine) && name.size() > at + 8 && name[at + 8] == '-' &&
        ParseOwnerTail(name, at + 9, read)) {
        read.machine = static_cast<uint32_t>(machine);
        owner = read;
        return true;
    }
    // The name the launcher gave its staging folders before it named the machine: the machine is not known.
    if (!ParseOwnerTail(name, at, read))
        return false;
    read.machineKnown = false;
    owner = read;
    return true;
}

size_t LongestStagingFolderPath(size_t destinationLength)
{
    const StagingOwner longest{0xFFFFFFFFu, 0xFFFFFFFFu, ~uint64_t(0), kStagingAttempts - 1};
    return destinationLength + 1 + StagingFolderName(longest).size();
}

size_t LongestStagedCopyPath(size_t destinationLength)
{
    return LongestStagingFolderPath(destinationLength) + 1 + (sizeof(kStagedFileName) - 1);
}

namespace {
// One sentence for each cause the errors told, in this order; the disc's when none is known.
constexpr char kAdviceDisc[] = "Clean the disc and insert it again: the files that are missing will be copied then.";
constexpr char kAdviceFullDrive[] =
    "Free some space on drive %s and insert the disc again: the files that are missing will be copied then.";
constexpr char kAdviceFullFolder[] = "Free some space on the drive that holds %s and insert the disc again: the "
                                     "files that are missing will be copied then.";
constexpr char kAdviceRefused[] = "Ask the person who looks after this computer for the right to write to the folder "
                                  "%s, and insert the disc again.";

std::string Formatted(const char *format, const std::string &value)
{
    std::string text(std::snprintf(nullptr, 0, format, value.c_str()), '\0');
    std::snprintf(&text[0], text.size() + 1, format, value.c_str());
    return text;
}

// "C:" of a folder on a lettered drive; a share's or another path's drive is named by the folder itself.
std::string FullDriveAdvice(const std::string &folder)
{
    const bool lettered = folder.size() >= 2 && folder[1] == ':' &&
                          std::isalpha(static_cast<unsigned char>(folder[0])) &&
                          (folder.size() == 2 || folder[2] == '\\');
    return lettered ? Formatted(kAdviceFullDrive, folder.substr(0, 2)) : Formatted(kAdviceFullFolder, folder);
}
} // namespace

FailureCause CauseOfError(unsigned long error)
{
    switch (error) {
    case 2:    // ERROR_FILE_NOT_FOUND: the disc's file, or the disc, is gone
    case 3:    // ERROR_PATH_NOT_FOUND
    case 21:   // ERROR_NOT_READY: no disc in the drive
    case 23:   // ERROR_CRC: a scratched disc
    case 25:   // ERROR_SEEK
    case 27:   // ERROR_SECTOR_NOT_FOUND
    case 30:   // ERROR_READ_FAULT (also a copy that came out short)
    case 31:   // ERROR_GEN_FAILURE
    case 55:   // ERROR_DEV_NOT_EXIST
    case 483:  // ERROR_DEVICE_HARDWARE_ERROR
    case 1006: // ERROR_FILE_INVALID: the disc was changed under an open file
    case 1110: // ERROR_MEDIA_CHANGED
    case 1112: // ERROR_NO_MEDIA_IN_DRIVE
    case 1117: // ERROR_IO_DEVICE
    case 1167: // ERROR_DEVICE_NOT_CONNECTED
        return FailureCause::SourceUnreadable;
    case 39:  // ERROR_HANDLE_DISK_FULL
    case 112: // ERROR_DISK_FULL
        return FailureCause::DestinationFull;
    case 5:  // ERROR_ACCESS_DENIED: past the wait for a hold, a refusal
    case 19: // ERROR_WRITE_PROTECT
        return FailureCause::WritingRefused;
    default:
        return FailureCause::Unknown;
    }
}

void FailureCauses::Note(FailureCause cause, const std::string &destinationFolder)
{
    if (cause == FailureCause::SourceUnreadable)
        sourceUnreadable = true;
    else if (cause == FailureCause::DestinationFull && fullFolder.empty())
        fullFolder = destinationFolder;
    else if (cause == FailureCause::WritingRefused && refusedFolder.empty())
        refusedFolder = destinationFolder;
}

void FailureCauses::Add(const FailureCauses &other)
{
    sourceUnreadable = sourceUnreadable || other.sourceUnreadable;
    if (fullFolder.empty())
        fullFolder = other.fullFolder;
    if (refusedFolder.empty())
        refusedFolder = other.refusedFolder;
}

std::string CopyWarningText(int patientFailed, int patientTotal, int referenceFailed, const FailureCauses &causes)
{
    if (patientFailed <= 0 && referenceFailed <= 0)
        return std::string();
    patientFailed = patientFailed > 0 ? patientFailed : 0;
    // A listing of Data that broke off at its start counted nothing, yet a file it did not reach is not copied: the
    // box never tells more files not copied than there were.
    patientTotal = patientTotal > patientFailed ? patientTotal : patientFailed;
    char text[512];
    std::snprintf(text, sizeof text,
                  "Some files of this disc could not be copied to this computer.\n\n"
                  "Patient files not copied: %d of %d\n"
                  "Reference files not copied: %d\n\n"
                  "The viewer opens now, but the patient's data may be incomplete.",
                  patientFailed, patientTotal, referenceFailed > 0 ? referenceFailed : 0);
    std::string warning = text;
    const bool known = causes.sourceUnreadable || !causes.fullFolder.empty() || !causes.refusedFolder.empty();
    if (causes.sourceUnreadable || !known)
        warning += std::string(" ") + kAdviceDisc;
    if (!causes.fullFolder.empty())
        warning += " " + FullDriveAdvice(causes.fullFolder);
    if (!causes.refusedFolder.empty())
        warning += " " + Formatted(kAdviceRefused, causes.refusedFolder);
    return warning;
}

bool FirstCopyGoesStraight(uint64_t size)
{
    return size < kStraightCopyLimit;
}

uint32_t MachineIdentity(const std::string &installationId, const std::string &computerName)
{
    // FNV-1a over both, the name without regard to ASCII case (Windows compares computer names so); a separator
    // byte no name holds keeps "ab" + "c" apart from "a" + "bc".
    uint32_t hash = 2166136261u;
    auto add = [&hash](unsigned char c) {
        hash ^= c;
        hash *= 16777619u;
    };
    for (const char c : installationId)
        add(static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c))));
    add(0);
    for (const char c : computerName)
        add(static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c))));
    return hash;
}

bool MayClearStaging(const StagingFacts &facts)
{
    if (facts.thisMachine && facts.process != OwnerProcess::Unknown)
        return facts.process == OwnerProcess::Ended;
    // A time ahead of this clock is a clock apart from this one, not a lease that ran out.
    return facts.leaseTime < facts.now && facts.now - facts.leaseTime > kLeaseStale;
}
