#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// What a patient disc holds and the limits its names and sizes must keep: those of the launcher (ANSI Win32
// calls), of Windows and of an ISO 9660 image with Joliet names, which is what Windows reads from our discs.

namespace disc {
constexpr char kAutorunExe[] = "autorun.exe";
constexpr char kAutorunInf[] = "autorun.inf";
constexpr char kDataFolder[] = "Data";
constexpr char kReferenceFolder[] = "ImplantDB";
constexpr char kSetupFolder[] = "Setup";
constexpr char kSetupProgram[] = "Setup.exe";
constexpr char kProjectFile[] = "Default.npj";
constexpr char kPatientFolder[] = "Patient";
constexpr char kInfSection[] = "autorun";
constexpr char kInfLabel[] = "label";
constexpr char kDefaultLabel[] = "PATIENT";
// Explorer's drive label and the ISO 9660 volume ID both hold 32 characters.
constexpr size_t kLabelMax = 32;
} // namespace disc

namespace limits {
constexpr size_t kJolietNameMax = 64; // UCS-2 characters; longer names are cut in the image
// Joliet's path budget in bytes: 2 per character and 1 per level, plus 1 for the root. The image writer leaves
// out every file and folder past it without failing.
constexpr size_t kJolietPathBudget = 240;
constexpr size_t kIsoLevelsMax = 8;                // plain ISO 9660: the root is level 1
constexpr uint64_t kIsoFileSizeLimit = 1ull << 32; // a 32-bit size field; the launcher compares 32 bits too
constexpr size_t kWindowsPathMax = 259;            // MAX_PATH less the terminating zero
constexpr size_t kWindowsFolderPathMax = 247;      // CreateDirectoryA: MAX_PATH - 12, less the zero
constexpr size_t kCopyTempNameLength = 17;         // "\~cpyXXXXXXXX.tmp": each copy goes through one beside it
} // namespace limits

// True for a mode the launcher acts on: the disc viewer's or one of the editions'.
bool IsKnownMode(const std::string &mode);

// Explorer's label for the disc of a patient: the ID's letters, digits, '-' and '_' (anything else becomes
// '_'), at most disc::kLabelMax characters; disc::kDefaultLabel when nothing is left.
std::string LabelForId(const std::string &id);
// A label given on a command line is used as it is when it fits; false when it is empty, too long or has
// characters outside printable ASCII.
bool IsUsableLabel(const std::string &label);

// [autorun] open=autorun.exe, icon=autorun.exe,0, label=...; CR LF lines as Windows writes them.
std::string AutorunInfText(const std::string &label);

// The name's length in UCS-2 characters; false when it is not UTF-8 or holds a character UCS-2 cannot carry.
bool Ucs2Length(const std::string &name, size_t &length);
// What a '/'-separated path below the disc's root costs of limits::kJolietPathBudget.
size_t JolietPathCost(const std::string &relative);
// An MS-DOS name: one to eight characters, optionally a dot and one to three more, of letters, digits and '_'.
bool IsShortName(const std::string &name);
bool IsAscii(const std::string &name);
// "a/b/c" -> "a\b\c".
std::string WindowsPath(const std::string &relative);
