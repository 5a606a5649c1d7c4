// What the copy worker learns of a patient file whose copy is already there: the facts ShouldCopy decides on.
#include <gtest/gtest.h>

#include <string>

#include "TestFiles.h"
#include "platform/FileFind.h"
#include "transfer/CopyDecision.h"
#include "transfer/TargetFacts_win.h"

namespace {

constexpr unsigned long long kTime = 129000000001234567ull; // some day in 2009, to the last 100 ns
constexpr unsigned long long kHour = 36000000000ull;

unsigned long long AsNumber(const FILETIME &t)
{
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The times as Windows gives them for a copy: its last-write time is the source's, its creation time the moment it
// was made (here an hour later). Wine answers with a creation time equal to the last-write time, whatever was set,
// so it cannot show which of the two the worker takes.
BOOL WINAPI GetFileTimeAsWindowsGivesACopy(HANDLE file, FILETIME *creation, FILETIME *lastAccess, FILETIME *lastWrite)
{
    FILETIME written;
    if (!::GetFileTime(file, nullptr, lastAccess, &written))
        return FALSE;
    const unsigned long long made = AsNumber(written) + kHour;
    if (creation)
        *creation = FILETIME{static_cast<DWORD>(made), static_cast<DWORD>(made >> 32)};
    if (lastWrite)
        *lastWrite = written;
    return TRUE;
}

// Each case: the target as an earlier run left it. The source is 4 bytes, last written at kTime.
TEST(ExistingTargetFacts, TheCopysOwnTimesAndSize)
{
    enum Target { Missing, Copy };
    const struct {
        const char *what;
        const char *name;
        Target target;
        const char *content;
        long long writeOffset; // target's last-write time minus the source's
        bool timesKnown;
        bool copied; // what ShouldCopy makes of the facts
    } cases[] = {
        {"an unchanged copy", "a.dcm", Copy, "OLD!", 0, true, false},
        {"an older copy", "a.dcm", Copy, "OLD!", -10000000, true, true},
        {"a newer copy", "a.dcm", Copy, "OLD!", +10000000, true, true},
        {"another size", "a.dcm", Copy, "OLDER", 0, false, true},
        {"a project file", "a.npj", Copy, "OLD!", 0, false, true},
        {"no copy", "a.dcm", Missing, "", 0, false, true},
    };
    for (const auto &c : cases) {
        TempFolder t;
        const std::string source = t / c.name, target = t / (std::string("copy-") + c.name);
        WriteFile(source, "NEW!");
        SetWriteTime(source, kTime);
        if (c.target == Copy) {
            WriteFile(target, c.content);
            SetWriteTime(target, kTime + c.writeOffset);
        }
        FileFind found;
        ASSERT_TRUE(found.FindFile(source)) << c.what;
        found.FindNextFile();
        const CopyFacts facts = ExistingTargetFacts(found, target, GetFileTimeAsWindowsGivesACopy);
        EXPECT_EQ(facts.targetReadable, c.target == Copy) << c.what;
        EXPECT_EQ(facts.sourceSize, 4u) << c.what;
        EXPECT_EQ(facts.targetSize, c.target == Copy ? std::string(c.content).size() : 0u) << c.what;
        EXPECT_EQ(facts.timesKnown, c.timesKnown) << c.what;
        if (c.timesKnown) {
            EXPECT_EQ(facts.sourceTimes.lastWrite, kTime) << c.what;
            EXPECT_EQ(facts.targetTimes.lastWrite, kTime + c.writeOffset) << c.what;
            EXPECT_EQ(facts.targetTimes.creation, kTime + c.writeOffset + kHour) << c.what;
        }
        EXPECT_EQ(ShouldCopy(facts), c.copied) << c.what;
    }
}

} // namespace
