// A file another program holds for a moment (an on-access scanner): the delivery waits for it within a bound, and a
// hold that outlasts the bound costs that one file, never its earlier copy or the next file. The renames and waits
// go through the delivery's seams, so the bound is counted, not slept.
#include <gtest/gtest.h>

#include <windows.h>

#include "TestFiles.h"
#include "transfer/SafeCopy.h"

namespace {

// Renames fail with g_holdError this many more times (-1: for good). A read-only target refuses the rename, as on
// Windows (Wine renames over it).
int g_heldRenames = 0;
DWORD g_holdError = ERROR_SHARING_VIOLATION;
DWORD g_waited = 0;
int g_waits = 0;

BOOL WINAPI MoveWhileHeld(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (g_heldRenames != 0) {
        if (g_heldRenames > 0)
            --g_heldRenames;
        ::SetLastError(g_holdError);
        return FALSE;
    }
    const DWORD attributes = ::GetFileAttributesA(to);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return ::MoveFileExA(from, to, flags);
}

void WINAPI CountWait(DWORD ms)
{
    g_waited += ms;
    ++g_waits;
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

// A byte-range lock (a backup agent's, a database's) refuses the rename with a lock violation: a hold like a sharing
// violation. An earlier copy's read-only mark refuses it with access denied, for good: the mark is cleared at once,
// never waited for, or every read-only earlier copy would cost the whole budget on Windows.
TEST(DeliveryUnderAHold, WaitsForAShortHoldGivesUpAtTheBoundAndGoesOn)
{
    const struct {
        const char *what;
        int heldRenames;
        DWORD holdError;
        bool readOnlyEarlier;
        Delivered result;
        DWORD leastWaitMs, mostWaitMs;
    } cases[] = {
        {"nothing holds it", 0, ERROR_SHARING_VIOLATION, false, Delivered::Copied, 0, 0},
        {"held for three tries", 3, ERROR_SHARING_VIOLATION, false, Delivered::Copied, 7, 7}, // 1 + 2 + 4 ms
        {"held for good", -1, ERROR_SHARING_VIOLATION, false, Delivered::Failed, kHoldBudgetMs, kHoldBudgetMs},
        {"locked for three tries", 3, ERROR_LOCK_VIOLATION, false, Delivered::Copied, 7, 7},
        {"the earlier copy read-only", 0, ERROR_SHARING_VIOLATION, true, Delivered::Copied, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        if (c.readOnlyEarlier)
            ::SetFileAttributesA((f.t / "Patient\\a.dcm").c_str(), FILE_ATTRIBUTE_READONLY);
        Delivery delivery(f.t / "Patient", MoveWhileHeld, CountWait);
        g_heldRenames = c.heldRenames;
        g_holdError = c.holdError;
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

// Which failures are holds, from what the delivery saw: the operation's error and, for access denied, what a look at
// the name answered. Through the decision itself, as Wine gives neither a byte-range lock in the way of a rename nor
// a name whose deletion waits for the last handle on it (Windows answers access denied for both the operation and
// the look).
TEST(HoldDecision, WhatGoesBySelfAndWhatRefusesForGood)
{
    constexpr DWORD kNoLook = INVALID_FILE_ATTRIBUTES;
    const struct {
        const char *what;
        DWORD error, attributes, attributesError;
        bool hold;
    } cases[] = {
        {"open without the sharing needed", ERROR_SHARING_VIOLATION, kNoLook, ERROR_SUCCESS, true},
        {"a range of it locked", ERROR_LOCK_VIOLATION, kNoLook, ERROR_SUCCESS, true},
        {"denied, a plain file (a scanner's open)", ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_ARCHIVE, ERROR_SUCCESS, true},
        {"denied, its deletion pending", ERROR_ACCESS_DENIED, kNoLook, ERROR_ACCESS_DENIED, true},
        {"denied, a read-only file", ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE,
         ERROR_SUCCESS, false},
        {"denied, a folder", ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_DIRECTORY, ERROR_SUCCESS, false},
        {"denied, the name gone", ERROR_ACCESS_DENIED, kNoLook, ERROR_FILE_NOT_FOUND, false},
        {"denied, the folder gone", ERROR_ACCESS_DENIED, kNoLook, ERROR_PATH_NOT_FOUND, false},
        {"disk full", ERROR_DISK_FULL, kNoLook, ERROR_SUCCESS, false},
        {"source unreadable", ERROR_CRC, kNoLook, ERROR_SUCCESS, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsHold(c.error, c.attributes, c.attributesError), c.hold) << c.what;
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
