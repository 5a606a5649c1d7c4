#include "Decision.h"

#include "PatientId.h"

namespace {
struct Edition {
    const char *mode;
    const char *displayName;
};
// The order in which the display name is looked up; comparisons are exact, so it never changes a result.
constexpr Edition kEditions[] = {
    {"DiscStudio", "Disc Studio"},
    {"BasicStudio", "Basic Studio"},
    {"DiscStudioBasic", "Disc Studio Basic"},
    {"DiscStudio_Lite", "Disc Studio - Lite"},
};
} // namespace

bool IsEditionMode(const std::string &mode)
{
    for (const Edition &e : kEditions)
        if (mode == e.mode)
            return true;
    return false;
}

bool ProductNameForMode(const std::string &mode, std::string &name)
{
    for (const Edition &e : kEditions) {
        if (mode == e.mode) {
            name = e.displayName;
            return true;
        }
    }
    return false;
}

std::string FormatPrompt(const char *format, const std::string &productName)
{
    std::string text;
    for (const char *p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            text += productName;
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

std::string ViewerParameters(const std::string &mode, const std::string &id, const std::string &third)
{
    return mode + "#" + id + "#" + third;
}

std::string ChooseInstallFolder(bool targetDirRead, const std::string &targetDir, LeadBytePredicate isLeadByte)
{
    // The end of the last character that is not a separator, found from the front: only there is it known which
    // bytes start a character.
    size_t end = 0;
    for (size_t i = 0; i < targetDir.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(targetDir[i]);
        if (isLeadByte && isLeadByte(c) && i + 1 < targetDir.size())
            end = ++i + 1;
        else if (c != '\\' && c != '/')
            end = i + 1;
    }
    const std::string folder = targetDir.substr(0, end);
    return targetDirRead && !folder.empty() ? folder : std::string(launch::kDefaultInstallFolder);
}

std::string PatientFolder(const std::string &installFolder, const std::string &id)
{
    return installFolder + "\\Patient\\" + id;
}

bool IsOlder(const Version &installed, const Version &disc)
{
    for (int i = 0; i < 4; ++i) {
        if (installed.part[i] != disc.part[i])
            return installed.part[i] < disc.part[i];
    }
    return false;
}

LaunchOutcome DecideLaunch(const LaunchFacts &facts)
{
    if (facts.isBlockingProgramRunning())
        return LaunchOutcome::CloseAtOnce;
    const SuidInfo &suid = facts.readConfiguration();
    if (suid.m_strMode == launch::kModeDiscViewer)
        return LaunchOutcome::RunDiscViewer;
    if (!facts.isViewerInstalled())
        return LaunchOutcome::PromptNotInstalled;
    if (facts.isInstalledVersionOlder())
        return LaunchOutcome::PromptOlder;
    if (!IsEditionMode(suid.m_strMode))
        return LaunchOutcome::Nothing;
    return IsValidPatientId(suid.m_strId, facts.isLeadByte) ? LaunchOutcome::Transfer : LaunchOutcome::InvalidPatientId;
}
