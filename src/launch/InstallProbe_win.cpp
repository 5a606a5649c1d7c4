// What the registry and the file system say about the installed viewer. The viewer is a 32-bit program: its keys
// are read in the registry's 32-bit view, where its installer writes them on 64-bit Windows too.
#include <windows.h>

#include "app/MainFrame.h"
#include "launch/Decision.h"
#include "platform/DebugOut.h"
#include "platform/FileFind.h"
#include "platform/Handles.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

std::string GetInstallFolder()
{
    std::string targetDir;
    const bool read = ReadRegString(HKEY_LOCAL_MACHINE, launch::kRegPathKey, launch::kRegTargetDir,
                                    launch::kTargetDirBuffer, targetDir, kRegView32);
    return ChooseInstallFolder(read, targetDir, IsAnsiLeadByte);
}

bool CMainFrame::IsViewerInstalled()
{
    FileFind finder;
    const bool found = finder.FindFile(JoinPath(GetInstallFolder(), launch::kViewerExe));
    finder.Close();
    return found;
}

namespace {
// A version part as stored by the installer: a 32-bit number. A value that is absent or of another
// type leaves `part` as it was (the parts share one variable that starts at 0).
void ReadVersionPart(HKEY key, const char *name, DWORD &part)
{
    DWORD value = 0, type = REG_NONE, size = sizeof(value);
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof(value))
        part = value;
}
} // namespace

bool CMainFrame::IsInstalledVersionOlder()
{
    RegKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, launch::kRegVersionKey, 0, KEY_QUERY_VALUE | kRegView32,
                       key.Receive()) !=
        ERROR_SUCCESS)
        return true;
    Version installed{};
    DWORD part = 0;
    static const char *const kNames[4] = {"HIMS", "LOWMS", "HILS", "LOWLS"};
    for (int i = 0; i < 4; ++i) {
        ReadVersionPart(key.Get(), kNames[i], part);
        installed.part[i] = static_cast<int>(part);
    }
    key.Close();
    const Version disc{{m_suid.m_nHiMS, m_suid.m_nLowMS, m_suid.m_nHiLS, m_suid.m_nLowLS}};
    DebugLine(launch::kDebugInstalled, installed.part[0], installed.part[1], installed.part[2], installed.part[3]);
    DebugLine(launch::kDebugDisc, disc.part[0], disc.part[1], disc.part[2], disc.part[3]);
    return IsOlder(installed, disc);
}
