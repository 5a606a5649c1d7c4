#pragma once
#include <functional>
#include <string>

#include "config/SuidInfo.h"
#include "launch/PatientId.h"

// The launcher's one decision, over plain facts. The facts that cost something (and whose probing
// writes debug lines) are asked for lazily, in the order the decision needs them, and only then.
enum class LaunchOutcome {
    CloseAtOnce,        // the viewer or the disc-writing tool already runs
    RunDiscViewer,      // mode "Clarivue": the viewer on the disc
    PromptNotInstalled, // ask to install
    PromptOlder,        // ask to install the newer version
    Transfer,           // copy the patient's data, then hand over to the installed viewer
    InvalidPatientId,   // an edition mode whose ID does not name one folder inside "Patient"
    Nothing,            // a mode that means nothing to the launcher
};

struct LaunchFacts {
    std::function<bool()> isBlockingProgramRunning;
    std::function<const SuidInfo &()> readConfiguration;
    std::function<bool()> isViewerInstalled;
    std::function<bool()> isInstalledVersionOlder;
    LeadBytePredicate isLeadByte = nullptr; // the machine's code page, for reading the ID
};

LaunchOutcome DecideLaunch(const LaunchFacts &facts);

namespace launch {
constexpr char kModeDiscViewer[] = "Clarivue";
constexpr char kViewerExe[] = "Tovi2009.exe";
constexpr char kWriterExe[] = "Scribo.exe";
constexpr char kSetupExe[] = "Setup\\Setup.exe";
constexpr char kDefaultInstallFolder[] = "C:\\Tovi2009";
constexpr char kRegPathKey[] = "SOFTWARE\\Kalmo Technology Co.,LTD\\Tovi2009\\Path";
constexpr char kRegVersionKey[] = "SOFTWARE\\Kalmo Technology Co.,LTD\\Tovi2009\\Version";
constexpr char kRegTargetDir[] = "TargetDir";
constexpr size_t kTargetDirBuffer = 256;
constexpr char kPromptCaption[] = "Launcher";
constexpr char kPromptNotInstalled[] =
    "Tovi Plus %s Program was not Installed. \n\nDo you want to install Tovi Plus %s?";
constexpr char kPromptOlder[] =
    "Current Tovi Plus %s Program was old version. \n\nDo you want to install New Version Tovi Plus %s?";
constexpr char kViewerParameters[] = "%s#%s#%s";
constexpr char kDebugInstalled[] = "Installed : HILMS %d, LOWMS %d, HILS %d, LOWLS %d\n";
constexpr char kDebugDisc[] = "CD : HILMS %d, LOWMS %d, HILS %d, LOWLS %d\n";
constexpr char kDebugInvalidId[] = "Invalid patient ID : %s\n";
} // namespace launch

// True for the four edition modes that copy the patient's data (exact, case-sensitive).
bool IsEditionMode(const std::string &mode);
// The display name of the edition named by the mode; false (name untouched) for any other mode.
bool ProductNameForMode(const std::string &mode, std::string &name);
// The prompt text with the display name in both places.
std::string FormatPrompt(const char *format, const std::string &productName);
// "mode#id#third": one string, nothing quoted or added.
std::string ViewerParameters(const std::string &mode, const std::string &id, const std::string &third);
// The installation folder: the registry's TargetDir when it was read and is not empty, else the default. Trailing
// separators of TargetDir ("C:\Tovi2009\") go, so that every path joined to it has single separators; a trailing
// byte '\' that ends a double-byte character is no separator.
std::string ChooseInstallFolder(bool targetDirRead, const std::string &targetDir,
                                LeadBytePredicate isLeadByte = nullptr);
// Installation folder + "\Patient\" + ID.
std::string PatientFolder(const std::string &installFolder, const std::string &id);

// Version parts, most significant first.
struct Version {
    int part[4];
};
// Compared pair by pair as signed numbers; equal is not older.
bool IsOlder(const Version &installed, const Version &disc);
