// A file another program holds for a moment (an on-access scanner): the delivery waits for it within a bound, and a
// hold that outlasts the bound costs that one file, never its earlier copy or the next file. The renames and waits
// go through the delivery's seams, so the bound is counted, not slept.
#include <gtest/gtest.h>

#include <windows.h>

#include "TestFiles.h"
#include "transfer/SafeCopy.h"

namespace {

// Renames fail with a sharing violation this many more times (-1: for good).
int g_heldRenames = 0;
DWORD g_waited = 0;
int g_waits = 0;

BOOL WINAPI MoveWhileHeld(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (g_heldRenames != 0) {
        if (g_heldRenames > 0)
            --g_heldRenames;
        ::SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    return ::MoveFileExA(from, to, flags);
}

void WINAPI CountWait(DWORD ms)
{
    g_waited += ms;
    ++g_waits;
}

SourceFacts FactsOf(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return SourceFacts{data.dwFileAttributes, data.nFileSizeLow, data.ftLastWriteTime};
}

struct Fixture {
    TempFolder t;
    Fixture()
    {
        MakeFolder(t / "Data");
        MakeFolder(t / "Patient");
        WriteFile(t / "Data\\a.dcm", "new a");
        WriteFile(t / "Data\\b.dcm", "new b");
        WriteFile(t / "Patient\\a.dcm", "earlier a");
    }
    Delivered Deliver(Delivery &delivery, const char *name, TargetKnown known)
    {
        const std::string source = t / (std::string("Data\\") + name);
        return delivery.Deliver(source, t / (std::string("Patient\\") + name), FactsOf(source), known);
    }
};

TEST(DeliveryUnderAHold, WaitsForAShortHoldGivesUpAtTheBoundAndGoesOn)
{
    const struct {
        const char *what;
        int heldRenames;
        Delivered result;
        DWORD leastWaitMs, mostWaitMs;
    } cases[] = {
        {"nothing holds it", 0, Delivered::Copied, 0, 0},
        {"held for three tries", 3, Delivered::Copied, 7, 7}, // 1 + 2 + 4 ms
        {"held for good", -1, Delivered::Failed, kHoldBudgetMs, kHoldBudgetMs},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        Delivery delivery(f.t / "Patient", MoveWhileHeld, CountWait);
        g_heldRenames = c.heldRenames;
        g_waited = 0;
        g_waits = 0;
        EXPECT_EQ(f.Deliver(delivery, "a.dcm", TargetKnown::Existing), c.result);
        EXPECT_GE(g_waited, c.leastWaitMs);
        EXPECT_LE(g_waited, c.mostWaitMs);
        EXPECT_LE(g_waits, 20); // short waits growing to a few hundred ms, not a busy loop
        EXPECT_EQ(ReadFile(f.t / "Patient\\a.dcm"), c.result == Delivered::Copied ? "new a" : "earlier a");
        // The next file is not held: it arrives at once, whatever became of the one before.
        g_heldRenames = 0;
        g_waited = 0;
        EXPECT_EQ(f.Deliver(delivery, "b.dcm", TargetKnown::New), Delivered::Copied);
        EXPECT_EQ(g_waited, 0u);
        EXPECT_EQ(ReadFile(f.t / "Patient\\b.dcm"), "new b");
    }
}

// What a scanner does that keeps the staged copy open for good: it can be neither renamed nor removed.
HANDLE g_scannerHandle = INVALID_HANDLE_VALUE;
bool g_scannerOn = true;

BOOL WINAPI MoveWhileAScannerHoldsTheCopy(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (!g_scannerOn)
        return ::MoveFileExA(from, to, flags);
    if (g_scannerHandle == INVALID_HANDLE_VALUE)
        g_scannerHandle = ::CreateFileA(from, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        0, nullptr);
    ::SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
}

// That file fails with its earlier copy whole, and the next file is staged in a folder of its own instead of failing
// on the held name.
TEST(DeliveryUnderAHold, AStagedCopyHeldForGoodDoesNotStopTheNextFile)
{
    Fixture f;
    Delivery delivery(f.t / "Patient", MoveWhileAScannerHoldsTheCopy, CountWait);
    ASSERT_EQ(f.Deliver(delivery, "a.dcm", TargetKnown::Existing), Delivered::Failed);
    ASSERT_NE(g_scannerHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(delivery.StagingFolder(), ""); // given up, not used again
    EXPECT_EQ(ReadFile(f.t / "Patient\\a.dcm"), "earlier a");
    g_scannerOn = false;
    EXPECT_EQ(f.Deliver(delivery, "b.dcm", TargetKnown::New), Delivered::Copied);
    EXPECT_EQ(ReadFile(f.t / "Patient\\b.dcm"), "new b");
    ::CloseHandle(g_scannerHandle);
}

} // namespace
