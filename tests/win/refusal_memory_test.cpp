// Access denied that lasts (rights that let a user create files but not replace another user's, an immutable folder)
// against access denied that goes (a file whose deletion waits for a scanner's handle): a refusal costs one wait for
// the whole transfer, where the rename refuses; a hold still gets its wait. Wine lets every rename through that
// Windows refuses this way, so the renames go through the delivery's seam, which answers as Windows does, and the
// waits are counted, not slept.
#include <gtest/gtest.h>

#include <windows.h>

#include "TestFiles.h"
#include "transfer/SafeCopy.h"

namespace {

// The renames into these folders answer ERROR_ACCESS_DENIED: `refusedFor` more times (-1: for good).
struct Refuser {
    std::string folder;
    int refusedFor = 0;
} g_refusers[2];
DWORD g_waited = 0;
// Windows refuses to replace a read-only file; Wine does not.
bool g_refuseReadOnlyTargets = false;

bool Within(const std::string &path, const std::string &folder)
{
    return !folder.empty() && path.compare(0, folder.size() + 1, folder + "\\") == 0;
}

BOOL WINAPI MoveAsWindowsAnswers(LPCSTR from, LPCSTR to, DWORD flags)
{
    for (Refuser &refuser : g_refusers) {
        if (!Within(to, refuser.folder) || refuser.refusedFor == 0)
            continue;
        if (refuser.refusedFor > 0)
            --refuser.refusedFor;
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const DWORD marks = ::GetFileAttributesA(to);
    if (g_refuseReadOnlyTargets && marks != INVALID_FILE_ATTRIBUTES && (marks & FILE_ATTRIBUTE_READONLY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return ::MoveFileExA(from, to, flags);
}

void WINAPI CountWait(DWORD ms)
{
    g_waited += ms;
}

// A disc's files, each with an earlier copy in Patient and in Ref that the delivery replaces.
struct Fixture {
    TempFolder t;
    Fixture()
    {
        MakeFolder(t / "Data");
        for (const char *folder : {"Patient", "Ref"}) {
            MakeFolder(t / folder);
            for (const char *name : {"a.dcm", "b.dcm", "c.dcm", "d.dcm"}) {
                WriteFile(t / (std::string("Data\\") + name), std::string("new ") + name);
                WriteFile(t / (std::string(folder) + "\\" + name), std::string("earlier ") + name);
            }
        }
        g_refusers[0] = Refuser{t / "Patient", 0};
        g_refusers[1] = Refuser{t / "Ref", 0};
        g_refuseReadOnlyTargets = false;
    }
    // The waits this delivery took.
    DWORD Deliver(Delivery &delivery, const char *folder, const char *name, Delivered expected)
    {
        const std::string source = t / (std::string("Data\\") + name);
        g_waited = 0;
        EXPECT_EQ(
            delivery.Deliver(source, t / (std::string(folder) + "\\" + name), FactsOf(source), TargetKnown::Existing),
            expected)
            << folder << "\\" << name;
        return g_waited;
    }
};

// Every staged file's copy into the staging folder succeeds before its rename is refused: that success says nothing
// of the renames, so it must not make each of them wait again. Without any memory of the refusal, too, each of the
// three would wait the whole budget: 6 s where 2 s are enough.
TEST(RefusalMemory, ARefusalThatLastsCostsOneBudgetAHoldThatEndsStillWaits)
{
    Fixture f;
    Delivery delivery(f.t / "Patient", MoveAsWindowsAnswers, CountWait);
    g_refusers[0].refusedFor = -1;
    EXPECT_EQ(f.Deliver(delivery, "Patient", "a.dcm", Delivered::Failed), kHoldBudgetMs);
    EXPECT_EQ(f.Deliver(delivery, "Patient", "b.dcm", Delivered::Failed), 0u);
    EXPECT_EQ(f.Deliver(delivery, "Patient", "c.dcm", Delivered::Failed), 0u);
    for (const char *name : {"a.dcm", "b.dcm", "c.dcm"})
        EXPECT_EQ(ReadFile(f.t / (std::string("Patient\\") + name)), std::string("earlier ") + name);

    // Another folder's renames are not refused: a hold there (access denied that goes, three tries) is waited out.
    g_refusers[1].refusedFor = 3;
    EXPECT_EQ(f.Deliver(delivery, "Ref", "a.dcm", Delivered::Copied), 7u); // 1 + 2 + 4 ms
    EXPECT_EQ(ReadFile(f.t / "Ref\\a.dcm"), "new a.dcm");

    // The refusal ends (the rights were mended): a rename there succeeds, and a hold there is waited for again.
    g_refusers[0].refusedFor = 0;
    EXPECT_EQ(f.Deliver(delivery, "Patient", "c.dcm", Delivered::Copied), 0u);
    g_refusers[0].refusedFor = 3;
    EXPECT_EQ(f.Deliver(delivery, "Patient", "d.dcm", Delivered::Copied), 7u);
    EXPECT_EQ(ReadFile(f.t / "Patient\\d.dcm"), "new d.dcm");
}

// A target refuses its rename: its read-only mark goes so that Windows lets the rename replace it, and only that
// mark. A hidden or system file that is not read-only keeps its marks, and a read-only one keeps its others.
TEST(RefusalMemory, OnlyTheReadOnlyMarkOfARefusingTargetGoes)
{
    const DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const struct {
        const char *what;
        DWORD marks;
        DWORD marksAfter;
    } cases[] = {
        {"hidden and system, not read-only", kHiddenSystem, kHiddenSystem},
        {"read-only, hidden and system", kHiddenSystem | FILE_ATTRIBUTE_READONLY, kHiddenSystem},
    };
    {
        // Wine keeps hidden and system marks in extended attributes, which a file system in memory (tmpfs, where the
        // emulated machine keeps its prefix) does not hold: there is nothing to lose there, and the twin's run on a
        // disk's file system tests it.
        Fixture probe;
        const std::string file = probe.t / "Patient\\a.dcm";
        if (!::SetFileAttributesA(file.c_str(), kHiddenSystem) ||
            (::GetFileAttributesA(file.c_str()) & kHiddenSystem) != kHiddenSystem)
            GTEST_SKIP() << "this file system keeps no hidden or system marks";
    }
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        const std::string target = f.t / "Patient\\a.dcm";
        ASSERT_TRUE(::SetFileAttributesA(target.c_str(), c.marks));
        ASSERT_EQ(::GetFileAttributesA(target.c_str()) & (kHiddenSystem | FILE_ATTRIBUTE_READONLY), c.marks);
        Delivery delivery(f.t / "Patient", MoveAsWindowsAnswers, CountWait);
        g_refusers[0].refusedFor = -1;
        g_refuseReadOnlyTargets = true;
        f.Deliver(delivery, "Patient", "a.dcm", Delivered::Failed);
        EXPECT_EQ(::GetFileAttributesA(target.c_str()) & (kHiddenSystem | FILE_ATTRIBUTE_READONLY), c.marksAfter);
        ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(ReadFile(target), "earlier a.dcm");
    }
    // A read-only target that Windows refuses only for its mark is replaced.
    Fixture f;
    const std::string target = f.t / "Patient\\a.dcm";
    ASSERT_TRUE(::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    Delivery delivery(f.t / "Patient", MoveAsWindowsAnswers, CountWait);
    g_refuseReadOnlyTargets = true;
    EXPECT_EQ(f.Deliver(delivery, "Patient", "a.dcm", Delivered::Copied), 0u);
    EXPECT_EQ(ReadFile(target), "new a.dcm");
}

} // namespace
