// Reading SUID.ini through the platform's profile reader, plain and scrambled.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "TestFiles.h"
#include "app/MainFrame.h"
#include "config/Scramble.h"
#include "platform/NamedLock.h"

namespace {

const char kFull[] = "[Program Up]\r\nUP_A=091118\r\n[Program Version]\r\nHIMS=3\r\nLOWMS=3.7\r\nHILS=-2\r\n"
                     "LOWLS=abc\r\n[Execute Mode]\r\nMode=DiscStudio\r\n[SUID]\r\nID=A1\r\n";
const char kNoMark[] = "[Program Version]\r\nHIMS=1\r\nLOWMS=2\r\nHILS=3\r\nLOWLS=4\r\n[Execute Mode]\r\nMode=DiscStudio\r\n"
                       "[SUID]\r\nID=P7\r\n";

SuidInfo Read(const std::string &path)
{
    SuidInfo info;
    CMainFrame::ReadSuidInfoFrom(path, info);
    return info;
}

// Restores an environment variable when the test ends.
class EnvGuard {
public:
    explicit EnvGuard(const char *name) : m_name(name)
    {
        char buffer[2048];
        const DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof(buffer));
        m_set = n > 0 && n < sizeof(buffer);
        if (m_set)
            m_value = buffer;
    }
    ~EnvGuard() { ::SetEnvironmentVariableA(m_name, m_set ? m_value.c_str() : nullptr); }

private:
    const char *m_name;
    bool m_set;
    std::string m_value;
};

TEST(ReadSuidInfo, PlainFileFillsAllSevenMembers)
{
    TempFolder t;
    WriteFile(t / "SUID.ini", kFull);
    const SuidInfo s = Read(t / "SUID.ini");
    EXPECT_EQ(s.m_strMode, "DiscStudio");
    EXPECT_EQ(s.m_strId, "A1");
    EXPECT_EQ(s.m_nHiMS, 3);
    EXPECT_EQ(s.m_nLowMS, 3);
    EXPECT_EQ(s.m_nHiLS, -2);
    EXPECT_EQ(s.m_nLowLS, 0);
    EXPECT_EQ(s.m_strUpdateMark, "091118");
}

TEST(ReadSuidInfo, NamesInAnyCaseAndLongValuesCut)
{
    TempFolder t;
    const std::string id(300, 'x');
    WriteFile(t / "SUID.ini", "[program up]\r\nup_a=091118\r\n[suid]\r\nid=" + id + "\r\n[EXECUTE MODE]\r\nmode=Clarivue\r\n");
    const SuidInfo s = Read(t / "SUID.ini");
    EXPECT_EQ(s.m_strId, std::string(259, 'x'));
    EXPECT_EQ(s.m_strMode, "Clarivue");
    EXPECT_EQ(s.m_nHiMS, 0);
}

// Without exactly the marker, a file goes to the descrambler unchanged; read as scrambled, plain text
// turns into noise and names no mode.
TEST(ReadSuidInfo, WithoutTheExactMarkerTheFileIsTakenAsScrambled)
{
    const char *marks[] = {"", "UP_A=\r\n", "UP_A=91118\r\n", "UP_A=0911180\r\n", "UP_A=091118 x\r\n"};
    for (const char *mark : marks) {
        TempFolder t;
        WriteFile(t / "SUID.ini", std::string("[Program Up]\r\n") + mark + kNoMark);
        const SuidInfo s = Read(t / "SUID.ini");
        EXPECT_EQ(s.m_strUpdateMark, "") << mark;
        EXPECT_NE(s.m_strMode, "DiscStudio") << mark;
    }
}

TEST(DescrambleSuidFile, ScrambledFileReadsBackAndLeavesNoTemporaryCopy)
{
    TempFolder t;
    EnvGuard guard("USERPROFILE");
    ::SetEnvironmentVariableA("USERPROFILE", t.Path().c_str());
    WriteFile(t / "SUID.temp", "an older temporary copy");
    WriteFile(t / "SUID.ini", ScrambleBytes(std::string("[Program Up]\r\nUP_A=091118\r\n") + kNoMark));
    for (int round = 0; round < 2; ++round) { // the same file gives the same record every time
        const SuidInfo s = Read(t / "SUID.ini");
        EXPECT_EQ(s.m_strMode, "DiscStudio");
        EXPECT_EQ(s.m_strId, "P7");
        EXPECT_EQ(s.m_nHiMS, 1);
        EXPECT_EQ(s.m_nLowMS, 2);
        EXPECT_EQ(s.m_nHiLS, 3);
        EXPECT_EQ(s.m_nLowLS, 4);
        EXPECT_EQ(s.m_strUpdateMark, ""); // never set on this path
    }
    EXPECT_FALSE(Exists(t / "SUID.temp"));
}

TEST(DescrambleSuidFile, EveryShortLengthRoundTrips)
{
    TempFolder t;
    EnvGuard guard("USERPROFILE");
    ::SetEnvironmentVariableA("USERPROFILE", t.Path().c_str());
    const std::string base = "[SUID]\r\nID=";
    for (int extra = 0; extra < 8; ++extra) { // file lengths over all four group remainders
        const std::string id(static_cast<size_t>(1 + extra), 'k');
        WriteFile(t / "SUID.ini", ScrambleBytes(base + id));
        EXPECT_EQ(Read(t / "SUID.ini").m_strId, id) << (base + id).size();
    }
}

TEST(DescrambleSuidFile, EmptyFileGivesAnEmptyRecord)
{
    TempFolder t;
    EnvGuard guard("USERPROFILE");
    ::SetEnvironmentVariableA("USERPROFILE", t.Path().c_str());
    WriteFile(t / "SUID.ini", "");
    SuidInfo s;
    s.m_strMode = "before";
    s.m_nHiMS = 9;
    CMainFrame::DescrambleSuidFile((t / "SUID.ini").c_str(), 7142, &s);
    EXPECT_EQ(s.m_strMode, "");
    EXPECT_EQ(s.m_nHiMS, 0);
    EXPECT_FALSE(Exists(t / "SUID.temp"));
}

TEST(DescrambleSuidFile, MissingFileLeavesTheRecordAndMakesNoCopy)
{
    TempFolder t;
    EnvGuard guard("USERPROFILE");
    ::SetEnvironmentVariableA("USERPROFILE", t.Path().c_str());
    SuidInfo s;
    s.m_strMode = "kept";
    CMainFrame::DescrambleSuidFile((t / "SUID.ini").c_str(), 7142, &s);
    EXPECT_EQ(s.m_strMode, "kept");
    EXPECT_FALSE(Exists(t / "SUID.temp"));
}

TEST(GetUserProfileDir, UnsetEmptyOrFail)
{
    EnvGuard guard("USERPROFILE");
    ::SetEnvironmentVariableA("USERPROFILE", nullptr);
    EXPECT_EQ(CMainFrame::GetUserProfileDir(), "Fail");
    ::SetEnvironmentVariableA("USERPROFILE", "");
    EXPECT_EQ(CMainFrame::GetUserProfileDir(), "Fail");
    ::SetEnvironmentVariableA("USERPROFILE", "C:\\users\\someone");
    EXPECT_EQ(CMainFrame::GetUserProfileDir(), "C:\\users\\someone");
    ::SetEnvironmentVariableA("USERPROFILE", std::string(1500, 'a').c_str());
    EXPECT_EQ(CMainFrame::GetUserProfileDir(), "Fail");
}

// With no profile folder the copy goes to the root of drive C:, and is gone afterwards. Under Wine anyone
// may write there; on Windows since Vista a standard user may not, and the reader then takes the path of
// a temporary copy that cannot be made (tested with a profile folder that does not exist). This test
// cannot tell the two apart.
TEST(DescrambleSuidFile, NoProfileUsesTheRootOfDriveC)
{
    TempFolder t;
    EnvGuard guard("USERPROFILE");
    for (const char *value : {static_cast<const char *>(nullptr), "Fail"}) {
        ::SetEnvironmentVariableA("USERPROFILE", value);
        WriteFile("C:\\SUID.temp", "stale");
        WriteFile(t / "SUID.ini", ScrambleBytes(kNoMark));
        EXPECT_EQ(Read(t / "SUID.ini").m_strId, "P7");
        EXPECT_FALSE(Exists("C:\\SUID.temp"));
    }
}

// Two launchers of one user share the temporary copy's path. The second one waits until the first has
// deleted its copy: while another holds the copy's lock, the reader neither writes nor reads it.
TEST(DescrambleSuidFile, WaitsItsTurnForTheSharedTemporaryCopy)
{
    TempFolder t;
    EnvGuard guard("USERPROFILE");
    ::SetEnvironmentVariableA("USERPROFILE", t.Path().c_str());
    WriteFile(t / "SUID.ini", ScrambleBytes(kNoMark));
    WriteFile(t / "SUID.temp", "another launcher's copy");
    auto other = std::make_unique<NamedLock>(t / "SUID.temp", 0);
    ASSERT_TRUE(other->Held());
    std::atomic<bool> done{false};
    SuidInfo s;
    std::thread reader([&] {
        s = Read(t / "SUID.ini");
        done = true;
    });
    ::Sleep(500);
    EXPECT_FALSE(done);
    EXPECT_EQ(ReadFile(t / "SUID.temp"), "another launcher's copy");
    other.reset(); // the other launcher deleted its copy and let go
    reader.join();
    EXPECT_EQ(s.m_strId, "P7");
    EXPECT_EQ(s.m_strMode, "DiscStudio");
    EXPECT_FALSE(Exists(t / "SUID.temp"));
}

} // namespace
