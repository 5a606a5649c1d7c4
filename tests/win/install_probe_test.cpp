// The installed viewer as the registry and the file system describe it.
#include <gtest/gtest.h>

#include <string>

#include <shlwapi.h>

#include "TestFiles.h"
#include "app/MainFrame.h"
#include "launch/Decision.h"
#include "platform/Handles.h"

namespace {

const char kVendor[] = "Kalmo Technology Co.,LTD";

// The viewer's installer is a 32-bit program: on 64-bit Windows its keys are in the 32-bit view (WOW6432Node). The
// tests write them there, so a 64-bit build that read its own view would find no installation.
void DeleteVendorKey(REGSAM view = KEY_WOW64_32KEY)
{
    RegKey software;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | view, software.Receive()) == ERROR_SUCCESS)
        ::SHDeleteKeyA(software.Get(), kVendor);
}

class InstallProbeTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteVendorKey(); }
    void TearDown() override
    {
        DeleteVendorKey();
        DeleteVendorKey(KEY_WOW64_64KEY);
    }

    static void SetValue(const char *key, const char *name, DWORD type, const void *data, DWORD size,
                         REGSAM view = KEY_WOW64_32KEY)
    {
        RegKey k;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                                    k.Receive(), nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExA(k.Get(), name, 0, type, static_cast<const BYTE *>(data), size);
    }
    static void SetTargetDir(const std::string &value, DWORD type = REG_SZ)
    {
        SetValue(launch::kRegPathKey, "TargetDir", type, value.c_str(), static_cast<DWORD>(value.size() + 1));
    }
    static void SetVersion(const int (&parts)[4])
    {
        const char *names[] = {"HIMS", "LOWMS", "HILS", "LOWLS"};
        for (int i = 0; i < 4; ++i)
            SetValue(launch::kRegVersionKey, names[i], REG_DWORD, &parts[i], 4);
    }
};

TEST_F(InstallProbeTest, InstallFolderFromTargetDirOrTheDefault)
{
    EXPECT_EQ(GetInstallFolder(), "C:\\Tovi2009"); // no key
    SetValue(launch::kRegPathKey, "Other", REG_SZ, "x", 2);
    EXPECT_EQ(GetInstallFolder(), "C:\\Tovi2009"); // no value
    SetTargetDir("");
    EXPECT_EQ(GetInstallFolder(), "C:\\Tovi2009");
    SetTargetDir("D:\\My Viewer");
    EXPECT_EQ(GetInstallFolder(), "D:\\My Viewer");
    SetTargetDir("D:\\Expand", REG_EXPAND_SZ);
    EXPECT_EQ(GetInstallFolder(), "D:\\Expand");
    const std::string fits = "C:\\" + std::string(252, 'f'); // 255 characters and the zero
    SetTargetDir(fits);
    EXPECT_EQ(GetInstallFolder(), fits);
    SetTargetDir(fits + "g"); // one more does not fit
    EXPECT_EQ(GetInstallFolder(), "C:\\Tovi2009");
    const DWORD number = 0x3A433A43;
    SetValue(launch::kRegPathKey, "TargetDir", REG_DWORD, &number, 4);
    EXPECT_EQ(GetInstallFolder(), "C:\\Tovi2009");
    const char unterminated[256] = {'C', ':', '\\', 'x', 'x'}; // binary, no zero inside... of the wrong type
    SetValue(launch::kRegPathKey, "TargetDir", REG_BINARY, unterminated, sizeof(unterminated));
    EXPECT_EQ(GetInstallFolder(), "C:\\Tovi2009");
}

#ifdef _WIN64
// A 32-bit launcher on 64-bit Windows sees the 32-bit view only: keys that a 64-bit program wrote in its own view
// are not the viewer's installation.
TEST_F(InstallProbeTest, KeysOfThe64BitViewAreNotTheViewers)
{
    const std::string folder = "D:\\Native";
    SetValue(launch::kRegPathKey, "TargetDir", REG_SZ, folder.c_str(), static_cast<DWORD>(folder.size() + 1),
             KEY_WOW64_64KEY);
    const int newer[4] = {9, 9, 9, 9};
    const char *names[] = {"HIMS", "LOWMS", "HILS", "LOWLS"};
    for (int i = 0; i < 4; ++i)
        SetValue(launch::kRegVersionKey, names[i], REG_DWORD, &newer[i], 4, KEY_WOW64_64KEY);
    EXPECT_EQ(GetInstallFolder(), "C:\\Tovi2009");
    CMainFrame frame;
    frame.m_suid.m_nHiMS = 1;
    EXPECT_TRUE(frame.IsInstalledVersionOlder());
}
#endif

TEST_F(InstallProbeTest, InstalledWhenTheViewerPathNamesAnEntry)
{
    TempFolder t;
    CMainFrame frame;
    SetTargetDir(t.Path());
    EXPECT_FALSE(frame.IsViewerInstalled());
    WriteFile(t / "Tovi2009.exe", "MZ");
    EXPECT_TRUE(frame.IsViewerInstalled());
    ::DeleteFileA((t / "Tovi2009.exe").c_str());
    MakeFolder(t / "Tovi2009.exe"); // any entry counts, a folder too
    EXPECT_TRUE(frame.IsViewerInstalled());
}

TEST_F(InstallProbeTest, VersionComparison)
{
    const struct {
        int installed[4];
        int disc[4];
        bool older;
    } cases[] = {
        {{1, 2, 3, 4}, {1, 2, 3, 4}, false}, {{1, 2, 3, 4}, {1, 2, 3, 5}, true}, {{2, 0, 0, 0}, {1, 9, 9, 9}, false},
        {{1, 3, 0, 0}, {1, 2, 9, 9}, false}, {{-1, 0, 0, 0}, {0, 0, 0, 0}, true},
    };
    for (const auto &c : cases) {
        SetVersion(c.installed);
        CMainFrame frame;
        frame.m_suid.m_nHiMS = c.disc[0];
        frame.m_suid.m_nLowMS = c.disc[1];
        frame.m_suid.m_nHiLS = c.disc[2];
        frame.m_suid.m_nLowLS = c.disc[3];
        EXPECT_EQ(frame.IsInstalledVersionOlder(), c.older) << c.installed[0] << "." << c.installed[1];
    }
}

TEST_F(InstallProbeTest, MissingKeyIsOlderAndAbsentPartsRepeatThePreviousOne)
{
    CMainFrame frame;
    frame.m_suid.m_nHiMS = 0;
    EXPECT_TRUE(frame.IsInstalledVersionOlder());
    // Only HIMS and HILS stored, and LOWMS as text: LOWMS takes HIMS's value, LOWLS takes HILS's.
    const int two = 2, five = 5;
    SetValue(launch::kRegVersionKey, "HIMS", REG_DWORD, &two, 4);
    SetValue(launch::kRegVersionKey, "LOWMS", REG_SZ, "9", 2);
    SetValue(launch::kRegVersionKey, "HILS", REG_DWORD, &five, 4);
    frame.m_suid = SuidInfo{};
    frame.m_suid.m_nHiMS = 2;
    frame.m_suid.m_nLowMS = 2;
    frame.m_suid.m_nHiLS = 5;
    frame.m_suid.m_nLowLS = 5;
    EXPECT_FALSE(frame.IsInstalledVersionOlder());
    frame.m_suid.m_nLowLS = 6;
    EXPECT_TRUE(frame.IsInstalledVersionOlder());
}

// Only a stored 32-bit number is a version part. Anything else of 4 bytes (the size a number would
// have) is as absent as a missing value: it leaves the part before it in place.
TEST_F(InstallProbeTest, VersionPartsOfAnotherTypeOrSizeAreNotNumbers)
{
    const BYTE four[4] = {0x09, 0, 0, 0};
    const struct {
        const char *what;
        DWORD type;
        const void *data;
        DWORD size;
    } cases[] = {
        {"binary", REG_BINARY, four, 4},
        {"big-endian number", REG_DWORD_BIG_ENDIAN, four, 4},
        {"3-character string", REG_SZ, "900", 4},
        {"3-character expandable string", REG_EXPAND_SZ, "900", 4},
        {"none", REG_NONE, four, 4},
        {"2-byte number", REG_DWORD, four, 2},
        {"8-byte number", REG_QWORD, "\x09\0\0\0\0\0\0\0", 8},
    };
    for (const auto &c : cases) {
        DeleteVendorKey();
        const int one = 1, five = 5, seven = 7;
        SetValue(launch::kRegVersionKey, "HIMS", REG_DWORD, &one, 4);
        SetValue(launch::kRegVersionKey, "LOWMS", c.type, c.data, c.size);
        SetValue(launch::kRegVersionKey, "HILS", REG_DWORD, &five, 4);
        SetValue(launch::kRegVersionKey, "LOWLS", REG_DWORD, &seven, 4);
        CMainFrame frame;
        // Installed 1.1.5.7 when LOWMS is passed over; a part read as 9 (or 9 million) would make it newer.
        frame.m_suid.m_nHiMS = 1;
        frame.m_suid.m_nLowMS = 2;
        EXPECT_TRUE(frame.IsInstalledVersionOlder()) << c.what;
        frame.m_suid.m_nLowMS = 1;
        frame.m_suid.m_nHiLS = 5;
        frame.m_suid.m_nLowLS = 7;
        EXPECT_FALSE(frame.IsInstalledVersionOlder()) << c.what;
        frame.m_suid.m_nLowLS = 8;
        EXPECT_TRUE(frame.IsInstalledVersionOlder()) << c.what;
    }
}

} // namespace
