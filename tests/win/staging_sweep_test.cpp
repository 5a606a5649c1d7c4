// Staging folders that a hold kept from going when their delivery ended: a staged copy a scanner held past its
// budget (its folder let go of), and a folder a scanner was walking at the very end. The end of the transfer tries
// them again, within a bound, and leaves nothing of them once the hold is gone.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "TestFiles.h"
#include "transfer/CopyDecision.h"
#include "transfer/SafeCopy.h"

namespace {

DWORD g_waited = 0;

void WINAPI CountWait(DWORD ms)
{
    g_waited += ms;
}

// A scanner's handle on a file or folder: no delete sharing, so neither can be removed while it is open.
HANDLE Hold(const std::string &path)
{
    return ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The renames of staged copies meet the scanner's handle on the copy for good.
HANDLE g_heldCopy = INVALID_HANDLE_VALUE;

BOOL WINAPI MoveWhileTheCopyIsHeld(LPCSTR from, LPCSTR, DWORD)
{
    if (g_heldCopy == INVALID_HANDLE_VALUE)
        g_heldCopy = Hold(from);
    ::SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
}

struct Fixture {
    TempFolder t;
    Fixture()
    {
        MakeFolder(t / "Data");
        MakeFolder(t / "Patient");
        WriteFile(t / "Data\\a.dcm", "new a");
        WriteFile(t / "Patient\\a.dcm", "earlier a");
    }
    Delivered Deliver(Delivery &delivery)
    {
        const std::string source = t / "Data\\a.dcm";
        return delivery.Deliver(source, t / "Patient\\a.dcm", FactsOf(source), TargetKnown::Existing);
    }
};

DWORD WINAPI CloseLater(void *handle)
{
    ::Sleep(300);
    ::CloseHandle(handle);
    return 0;
}

// Without the end's second try, a disc inserted once leaves the folder, with a full-size staged copy in it, for good.
TEST(StagingSweep, AFolderLetGoOfIsRemovedAtTheEndOnceTheHoldIsGone)
{
    Fixture f;
    {
        Delivery delivery(f.t / "Patient", MoveWhileTheCopyIsHeld, CountWait);
        EXPECT_EQ(f.Deliver(delivery), Delivered::Failed);
        EXPECT_EQ(delivery.StagingFolder(), "");
    }
    ASSERT_NE(g_heldCopy, INVALID_HANDLE_VALUE);
    EXPECT_NE(ListFolder(f.t / "Patient"), "a.dcm"); // the let-go folder, held
    ::CloseHandle(g_heldCopy);
    g_heldCopy = INVALID_HANDLE_VALUE;
    RemoveLetGoStagingFolders(CountWait);
    EXPECT_EQ(ListFolder(f.t / "Patient"), "a.dcm");
    EXPECT_EQ(ReadFile(f.t / "Patient\\a.dcm"), "earlier a");
}

// The flaky end of a scanner's scenario: the folder's removal met the scanner walking it. A hold that ends within the
// bound is waited out (real waits here: the hold ends on another thread); one that lasts costs the bound once and
// leaves the folder to the next run, everything else of it untouched.
TEST(StagingSweep, AFolderAScannerHoldsAtTheEndGoesOnceItLetsGoWithinTheBound)
{
    Fixture f;
    std::string staging;
    HANDLE scanner = INVALID_HANDLE_VALUE;
    {
        Delivery delivery(f.t / "Patient");
        EXPECT_EQ(f.Deliver(delivery), Delivered::Copied);
        staging = delivery.StagingFolder();
        ASSERT_NE(staging, "");
        scanner = Hold(staging);
        ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
    }
    ASSERT_TRUE(IsFolder(staging)) << "the scanner's handle did not keep the folder";
    HANDLE closer = ::CreateThread(nullptr, 0, CloseLater, scanner, 0, nullptr);
    ASSERT_NE(closer, nullptr);
    const DWORD started = ::GetTickCount();
    RemoveLetGoStagingFolders();
    const DWORD took = ::GetTickCount() - started;
    ::WaitForSingleObject(closer, INFINITE);
    ::CloseHandle(closer);
    EXPECT_FALSE(Exists(staging));
    EXPECT_LT(took, kHoldBudgetMs);
    EXPECT_EQ(ListFolder(f.t / "Patient"), "a.dcm");

    // Held for good: the bound, once, then the folder stays for the next run.
    {
        Delivery delivery(f.t / "Patient");
        WriteFile(f.t / "Data\\a.dcm", "newer a");
        EXPECT_EQ(f.Deliver(delivery), Delivered::Copied);
        staging = delivery.StagingFolder();
        scanner = Hold(staging);
    }
    g_waited = 0;
    RemoveLetGoStagingFolders(CountWait);
    EXPECT_EQ(g_waited, kHoldBudgetMs);
    EXPECT_TRUE(IsFolder(staging));
    ::CloseHandle(scanner);
    g_waited = 0;
    RemoveLetGoStagingFolders(CountWait); // nothing is left to try: the folder is the next run's
    EXPECT_EQ(g_waited, 0u);
    ::RemoveDirectoryA(staging.c_str());
}

} // namespace
