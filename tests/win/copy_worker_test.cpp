// The patient-folder copy and the reference tree copy against real files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestFiles.h"
#include "app/MainFrame.h"
#include "platform/Handles.h"
#include "transfer/CopyDecision.h"
#include "transfer/CopyWorker.h"
#include "transfer/SafeCopy.h"

namespace {

// Some day in 2009, with a fraction of a second down to the last 100 ns: the source's time comes from the folder
// search and the target's from the open file, and a skip needs the two to agree to the last unit.
constexpr unsigned long long kTime = 129000000001234567ull;

int CopyAll(const std::string &source, const std::string &destination)
{
    int handled = 0;
    CopyPatientFolder(source, destination, [&] { ++handled; });
    return handled;
}

TEST(CountFiles, TopLevelFilesOnly)
{
    TempFolder t;
    MakeFolder(t / "Data");
    WriteFile(t / "Data\\a.dcm", "a");
    WriteFile(t / "Data\\Default.NPJ", "p");
    MakeFolder(t / "Data\\sub");
    WriteFile(t / "Data\\sub\\inner.dcm", "i");
    CMainFrame frame;
    EXPECT_EQ(frame.CountFiles(t / "Data"), 2);
    EXPECT_EQ(frame.CountFiles(t / "Missing"), 0);
    MakeFolder(t / "Empty");
    EXPECT_EQ(frame.CountFiles(t / "Empty"), 0);
}

TEST(CopyPatientFolder, TopLevelWithEmptySubfolders)
{
    TempFolder t;
    MakeFolder(t / "Data");
    WriteFile(t / "Data\\a.dcm", "aaaa");
    WriteFile(t / "Data\\Default.NPJ", "project");
    MakeFolder(t / "Data\\sub");
    WriteFile(t / "Data\\sub\\inner.dcm", "i");
    MakeFolder(t / "Patient");

    EXPECT_EQ(CopyAll(t / "Data", t / "Patient\\A1"), 2);
    EXPECT_EQ(ListFolder(t / "Patient\\A1"), "Default.NPJ a.dcm sub/");
    EXPECT_EQ(ListFolder(t / "Patient\\A1\\sub"), "");
    EXPECT_EQ(ReadFile(t / "Patient\\A1\\a.dcm"), "aaaa");
    // The copy keeps the source's last-write time: that is what a later run compares.
    EXPECT_EQ(WriteTime(t / "Patient\\A1\\a.dcm"), WriteTime(t / "Data\\a.dcm"));
}

// Each case: the target as an earlier run left it, and whether this run replaces it. Source and target
// contents differ with equal sizes, so a skipped file is recognised by its old content.
TEST(CopyPatientFolder, SkipOrCopyDecisions)
{
    struct Case {
        const char *name;
        bool targetExists;
        const char *targetContent;
        long long timeOffset; // target time minus source time
        bool replaced;
    };
    const Case cases[] = {
        {"fresh.dcm", false, "", 0, true},
        {"same.dcm", true, "OLD!", 0, false},
        {"older.dcm", true, "OLD!", -10000000, true},
        {"newer.dcm", true, "OLD!", +10000000, true},
        {"size.dcm", true, "OLDER", 0, true},
        {"Default.NPJ", true, "OLD!", 0, true},
        {"noext", true, "OLD!", 0, false},
    };
    TempFolder t;
    // A dot in a folder name of the path is the "extension" of a file without one: not a project file.
    const std::string data = t / "Disc.npj";
    const std::string dest = t / "Patient";
    MakeFolder(data);
    MakeFolder(dest);
    for (const Case &c : cases) {
        WriteFile(data + "\\" + c.name, "NEW!");
        SetWriteTime(data + "\\" + c.name, kTime);
        if (c.targetExists) {
            WriteFile(dest + "\\" + c.name, c.targetContent);
            SetWriteTime(dest + "\\" + c.name, kTime + c.timeOffset);
        }
    }
    EXPECT_EQ(CopyAll(data, dest), static_cast<int>(sizeof(cases) / sizeof(cases[0])));
    for (const Case &c : cases)
        EXPECT_EQ(ReadFile(dest + "\\" + c.name), c.replaced ? "NEW!" : c.targetContent) << c.name;
    EXPECT_EQ(ListFolder(dest), "Default.NPJ fresh.dcm newer.dcm noext older.dcm same.dcm size.dcm");
}

// The marks an earlier copy carries do not survive its replacement. Whether a read-only earlier copy is replaced at
// all cannot be seen here: Wine renames over a read-only file, Windows refuses. Delivery.OutcomesAndWhatTheyLeave
// tests that ("replace a read-only copy") through a rename that refuses as Windows does.
TEST(CopyPatientFolder, EarlierCopysMarksDoNotSurvive)
{
    TempFolder t;
    MakeFolder(t / "Data");
    MakeFolder(t / "Patient");
    WriteFile(t / "Data\\a.dcm", "NEW!");
    WriteFile(t / "Patient\\a.dcm", "OLD!!");
    ::SetFileAttributesA((t / "Patient\\a.dcm").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    CopyAll(t / "Data", t / "Patient");
    EXPECT_EQ(ReadFile(t / "Patient\\a.dcm"), "NEW!");
    EXPECT_FALSE(::GetFileAttributesA((t / "Patient\\a.dcm").c_str()) &
                 (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
}

// Files on a disc are read-only; their copies are the viewer's working files and must be writable.
TEST(CopyPatientFolder, CopiesOfReadOnlySourcesAreWritable)
{
    TempFolder t;
    MakeFolder(t / "Data");
    MakeFolder(t / "Patient");
    MakeFolder(t / "Ref");
    MakeFolder(t / "RefCopy");
    WriteFile(t / "Data\\new.npj", "project");
    WriteFile(t / "Data\\old.dcm", "NEW!");
    WriteFile(t / "Patient\\old.dcm", "OLD!!"); // replaced through a temporary file
    WriteFile(t / "Ref\\ref.db", "ref");
    for (const char *name : {"Data\\new.npj", "Data\\old.dcm", "Ref\\ref.db"})
        ::SetFileAttributesA((t / name).c_str(), FILE_ATTRIBUTE_READONLY);
    CopyAll(t / "Data", t / "Patient");
    CMainFrame::CopyTree(t / "Ref", t / "RefCopy");
    for (const char *name : {"Patient\\new.npj", "Patient\\old.dcm", "RefCopy\\ref.db"}) {
        EXPECT_TRUE(Exists(t / name)) << name;
        EXPECT_FALSE(::GetFileAttributesA((t / name).c_str()) & FILE_ATTRIBUTE_READONLY) << name;
    }
    EXPECT_EQ(ReadFile(t / "Patient\\old.dcm"), "NEW!");
}

TEST(CopyPatientFolder, UnreadableSourceKeepsTheEarlierCopyAndLeavesNoTemporaryFile)
{
    TempFolder t;
    MakeFolder(t / "Data");
    MakeFolder(t / "Patient");
    WriteFile(t / "Data\\a.dcm", "NEW-A");
    WriteFile(t / "Data\\b.dcm", "NEW-B");
    WriteFile(t / "Patient\\a.dcm", "OLD");
    // Held open with no sharing: the copy cannot read it, as with a scratched disc.
    FileHandle lock(::CreateFileA((t / "Data\\a.dcm").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.IsValid());
    EXPECT_EQ(CopyAll(t / "Data", t / "Patient"), 2);
    EXPECT_EQ(ReadFile(t / "Patient\\a.dcm"), "OLD");
    EXPECT_EQ(ReadFile(t / "Patient\\b.dcm"), "NEW-B");
    EXPECT_EQ(ListFolder(t / "Patient"), "a.dcm b.dcm");
}

TEST(CopyPatientFolder, MissingParentFailsEveryFileButHandlesAll)
{
    TempFolder t;
    MakeFolder(t / "Data");
    WriteFile(t / "Data\\a.dcm", "a");
    WriteFile(t / "Data\\b.dcm", "b");
    EXPECT_EQ(CopyAll(t / "Data", t / "NoPatient\\A1"), 2);
    EXPECT_FALSE(Exists(t / "NoPatient"));
}

TEST(CopyPatientFolder, MissingOrEmptySourceHandlesNothing)
{
    TempFolder t;
    MakeFolder(t / "Patient");
    EXPECT_EQ(CopyAll(t / "Missing", t / "Patient\\A1"), 0);
    MakeFolder(t / "Empty");
    EXPECT_EQ(CopyAll(t / "Empty", t / "Patient\\A2"), 0);
    EXPECT_TRUE(IsFolder(t / "Patient\\A2"));
}

// A name the listing of the destination does not know, while the file system finds its target all the same (under
// Wine "\xE9" and "\xC9", e and E with an acute accent, are one name; the listing folds ASCII only): the target
// goes the way of an existing one. Unchanged, it is skipped; changed, it is replaced in place. No second file.
TEST(CopyPatientFolder, TargetTheListingDoesNotKnow)
{
    struct Case {
        const char *content;
        long long timeOffset;
        const char *after;
    };
    const Case cases[] = {{"OLD!", 0, "OLD!"}, {"OLD!", -10000000, "NEW!"}};
    for (const Case &c : cases) {
        TempFolder t;
        MakeFolder(t / "Data");
        MakeFolder(t / "Patient");
        WriteFile(t / "Data\\\xE9.dcm", "NEW!");
        SetWriteTime(t / "Data\\\xE9.dcm", kTime);
        WriteFile(t / "Patient\\\xC9.dcm", c.content);
        SetWriteTime(t / "Patient\\\xC9.dcm", kTime + c.timeOffset);
        if (!Exists(t / "Patient\\\xE9.dcm"))
            GTEST_SKIP() << "this file system tells the two names apart";
        EXPECT_EQ(CopyAll(t / "Data", t / "Patient"), 1);
        EXPECT_EQ(ReadFile(t / "Patient\\\xC9.dcm"), c.after);
        EXPECT_EQ(ListFolder(t / "Patient"), "\xC9.dcm");
    }
}

FILETIME AsFileTime(unsigned long long time)
{
    return FILETIME{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}

// A rename as Windows does it: a read-only target is not replaced (Wine's rename replaces it).
BOOL WINAPI MoveAsWindowsDoes(LPCSTR from, LPCSTR to, DWORD flags)
{
    const DWORD attributes = ::GetFileAttributesA(to);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return ::MoveFileExA(from, to, flags);
}

// Every way a delivery can go, and what it leaves: the target whole or as it was, and nothing else in the folder
// once the delivery is over (no staged copy, no staging folder). The rename refuses a read-only target as Windows
// does, so an earlier copy's read-only mark must be cleared before the replace. A copy of another size than the
// search found is what Wine's CopyFile leaves, reporting success, when a read fails part-way.
TEST(Delivery, OutcomesAndWhatTheyLeave)
{
    enum Target { None, Old, ReadOnlyOld, Folder };
    struct Case {
        const char *what;
        TargetKnown known;
        Target target;
        bool sourceLocked;
        uint64_t foundSize; // what the folder search reported of the 4-byte source
        Delivered result;
        const char *listing; // the destination afterwards
        const char *content; // the target's content afterwards
    };
    const Case cases[] = {
        {"new", TargetKnown::New, None, false, 4, Delivered::Copied, "a.dcm", "NEW!"},
        {"believed new, an old copy there", TargetKnown::New, Old, false, 4, Delivered::TargetExists, "a.dcm", "OLD"},
        {"believed new, a folder of the name", TargetKnown::New, Folder, false, 4, Delivered::TargetExists, "a.dcm/",
         nullptr},
        {"new, unreadable source", TargetKnown::New, None, true, 4, Delivered::Failed, "", nullptr},
        {"new, copy shorter than found", TargetKnown::New, None, false, 4096, Delivered::Failed, "", nullptr},
        {"replace", TargetKnown::Existing, Old, false, 4, Delivered::Copied, "a.dcm", "NEW!"},
        {"replace a read-only copy", TargetKnown::Existing, ReadOnlyOld, false, 4, Delivered::Copied, "a.dcm", "NEW!"},
        {"replace, unreadable source", TargetKnown::Existing, Old, true, 4, Delivered::Failed, "a.dcm", "OLD"},
        {"replace, copy shorter than found", TargetKnown::Existing, Old, false, 4096, Delivered::Failed, "a.dcm",
         "OLD"},
        {"replace, copy longer than found", TargetKnown::Existing, Old, false, 2, Delivered::Failed, "a.dcm", "OLD"},
        {"replace a folder", TargetKnown::Existing, Folder, false, 4, Delivered::Failed, "a.dcm/", nullptr},
        {"replace, target gone meanwhile", TargetKnown::Existing, None, false, 4, Delivered::Copied, "a.dcm", "NEW!"},
    };
    for (const Case &c : cases) {
        TempFolder t;
        MakeFolder(t / "Data");
        MakeFolder(t / "Patient");
        const std::string source = t / "Data\\a.dcm", target = t / "Patient\\a.dcm";
        WriteFile(source, "NEW!");
        SetWriteTime(source, kTime);
        ::SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY);
        if (c.target == Old || c.target == ReadOnlyOld)
            WriteFile(target, "OLD");
        if (c.target == ReadOnlyOld)
            ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
        if (c.target == Folder)
            MakeFolder(target);
        FileHandle lock;
        if (c.sourceLocked)
            lock.Attach(::CreateFileA(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        {
            Delivery delivery(t / "Patient", MoveAsWindowsDoes);
            const SourceFacts facts{FILE_ATTRIBUTE_READONLY, c.foundSize, AsFileTime(kTime)};
            EXPECT_EQ(delivery.Deliver(source, target, facts, c.known), c.result) << c.what;
        }
        EXPECT_EQ(ListFolder(t / "Patient"), c.listing) << c.what;
        if (c.content) {
            EXPECT_EQ(ReadFile(target), c.content) << c.what;
        }
        if (c.result == Delivered::Copied) {
            // The source's time, and writable: the viewer's working file.
            EXPECT_EQ(WriteTime(target), kTime) << c.what;
            EXPECT_FALSE(::GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY) << c.what;
        }
    }
}

// The staged copy lives in a folder of the delivery's own. A folder of the patient's that carries the very name the
// staging folder would take is not used, and it and its file stay as they were.
TEST(Delivery, NeverWritesIntoAFolderNotItsOwn)
{
    TempFolder t;
    MakeFolder(t / "Data");
    MakeFolder(t / "Patient");
    WriteFile(t / "Data\\a.dcm", "NEW!");
    WriteFile(t / "Patient\\a.dcm", "OLD");
    StagingOwner self = ThisStagingOwner();
    const std::string taken = t / ("Patient\\" + StagingFolderName(self));
    MakeFolder(taken);
    WriteFile(taken + "\\copy.tmp", "the patient's");
    {
        Delivery delivery(t / "Patient");
        const SourceFacts facts{FILE_ATTRIBUTE_NORMAL, 4, AsFileTime(kTime)};
        EXPECT_EQ(delivery.Deliver(t / "Data\\a.dcm", t / "Patient\\a.dcm", facts, TargetKnown::Existing),
                  Delivered::Copied);
        EXPECT_NE(delivery.StagingFolder(), taken);
        EXPECT_TRUE(IsFolder(delivery.StagingFolder()));
    }
    EXPECT_EQ(ReadFile(t / "Patient\\a.dcm"), "NEW!");
    EXPECT_EQ(ReadFile(taken + "\\copy.tmp"), "the patient's");
    EXPECT_EQ(ListFolder(t / "Patient"), "a.dcm " + StagingFolderName(self) + "/");
}

int g_renames = 0;
BOOL WINAPI CountRename(LPCSTR from, LPCSTR to, DWORD flags)
{
    ++g_renames;
    return ::MoveFileExA(from, to, flags);
}

// The first copy of a name goes straight to it: no staging folder, no rename. It is the most common copy there is.
TEST(Delivery, NewNameStraightToItsTarget)
{
    TempFolder t;
    MakeFolder(t / "Data");
    MakeFolder(t / "Patient");
    WriteFile(t / "Data\\a.dcm", "NEW!");
    g_renames = 0;
    Delivery delivery(t / "Patient", CountRename);
    const SourceFacts facts{FILE_ATTRIBUTE_READONLY, 4, AsFileTime(kTime)};
    EXPECT_EQ(delivery.Deliver(t / "Data\\a.dcm", t / "Patient\\a.dcm", facts, TargetKnown::New), Delivered::Copied);
    EXPECT_EQ(delivery.StagingFolder(), "");
    EXPECT_EQ(g_renames, 0);
    EXPECT_EQ(ListFolder(t / "Patient"), "a.dcm");
    EXPECT_EQ(ReadFile(t / "Patient\\a.dcm"), "NEW!");
}

void SetFolderTime(const std::string &folder, uint64_t time)
{
    FileHandle f(::CreateFileA(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const FILETIME ft = AsFileTime(time);
    ASSERT_TRUE(::SetFileTime(f.Get(), nullptr, nullptr, &ft));
}

// What a run cut off in the middle left (its staging folder and the copy in it) goes; what a running launcher uses,
// and whatever only looks like it, stays. A folder of this machine is judged by its process, one of another machine
// (or of a name that does not say) by its lease: its time, and a handle its owner holds on it. A folder is looked at
// before anything in it is deleted.
TEST(ClearStagingOfEndedRuns, OnlyFoldersWhoseOwnersAreGone)
{
    const StagingOwner self = ThisStagingOwner();
    FILETIME nowFt;
    ::GetSystemTimeAsFileTime(&nowFt);
    const uint64_t now = (uint64_t(nowFt.dwHighDateTime) << 32) | nowFt.dwLowDateTime;
    const uint64_t stale = now - kLeaseStale - 600000000ull, fresh = now - 600000000ull; // a minute
    const uint32_t other = self.machine ^ 0x5A5A5A5Au;
    enum Holds { OnlyTheCopy, Empty, More, CopyAndMore };
    const struct {
        const char *what;
        std::string name;
        Holds holds;
        uint64_t time;
        bool leaseHeld; // its owner holds a handle on it
        bool removed;
    } cases[] = {
        {"a running launcher's", StagingFolderName({self.machine, self.processId, self.startTime, 0}), OnlyTheCopy,
         stale, false, false},
        {"an ended launcher's", StagingFolderName({self.machine, 0x7FFFFFF0u, self.startTime, 0}), OnlyTheCopy, fresh,
         false, true},
        {"a process id used again", StagingFolderName({self.machine, self.processId, self.startTime - 1, 3}),
         OnlyTheCopy, fresh, false, true},
        {"an ended launcher's, empty", StagingFolderName({self.machine, 0x7FFFFFF0u, self.startTime, 1}), Empty, fresh,
         false, true},
        {"an ended launcher's name, holding more", StagingFolderName({self.machine, 0x7FFFFFF4u, self.startTime, 0}),
         More, fresh, false, false},
        {"an ended launcher's name, holding a copy and more",
         StagingFolderName({self.machine, 0x7FFFFFF4u, self.startTime, 1}), CopyAndMore, fresh, false, false},
        {"another machine's, its lease renewed", StagingFolderName({other, 0x7FFFFFF0u, self.startTime, 0}),
         OnlyTheCopy, fresh, false, false},
        {"another machine's, its lease ahead of this clock", StagingFolderName({other, 0x7FFFFFF0u, self.startTime, 1}),
         OnlyTheCopy, now + kLeaseStale * 4, false, false},
        {"another machine's, its lease run out", StagingFolderName({other, 0x7FFFFFF0u, self.startTime, 2}),
         OnlyTheCopy, stale, false, true},
        {"another machine's, run out but its handle held", StagingFolderName({other, 0x7FFFFFF0u, self.startTime, 3}),
         OnlyTheCopy, stale, true, false},
        {"an earlier launcher's name, renewed", "~autorun-7ffffff0-01db4c3d5e6f7081-0.tmp", OnlyTheCopy, fresh, false,
         false},
        {"an earlier launcher's name, run out", "~autorun-7ffffff0-01db4c3d5e6f7081-1.tmp", OnlyTheCopy, stale, false,
         true},
        {"a look-alike", "~autorun-7ffffff0-0.tmp", OnlyTheCopy, stale, false, false},
    };
    TempFolder t;
    std::vector<FileHandle> leases;
    for (const auto &c : cases) {
        const std::string folder = t / c.name;
        MakeFolder(folder);
        if (c.holds == OnlyTheCopy || c.holds == CopyAndMore) {
            WriteFile(folder + "\\copy.tmp", "partial");
            ::SetFileAttributesA((folder + "\\copy.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
        }
        if (c.holds == More || c.holds == CopyAndMore)
            WriteFile(folder + "\\scan.dcm", "the patient's");
        SetFolderTime(folder, c.time);
        if (c.leaseHeld)
            leases.emplace_back(::CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY | FILE_WRITE_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    }
    WriteFile(t / "~cpy12340001.tmp", "an earlier launcher's or the patient's: not known");
    ClearStagingOfEndedRuns(t.Path(), FolderListing(t.Path()));
    for (const auto &c : cases) {
        EXPECT_EQ(Exists(t / c.name), !c.removed) << c.what << " [" << ListFolder(t / c.name) << "]";
        if (c.holds == More || c.holds == CopyAndMore) {
            EXPECT_EQ(ReadFile(t / (c.name + "\\scan.dcm")), "the patient's") << c.what;
        }
        // What a folder that stays holds stays too: a live owner's staged copy is not deleted from under it.
        if (!c.removed && (c.holds == OnlyTheCopy || c.holds == CopyAndMore)) {
            EXPECT_EQ(ReadFile(t / (c.name + "\\copy.tmp")), "partial") << c.what;
        }
    }
    EXPECT_TRUE(Exists(t / "~cpy12340001.tmp"));
}

DWORD g_clockAhead = 0;
DWORD WINAPI ClockAhead()
{
    return ::GetTickCount() + g_clockAhead;
}

// The lease clock moved on for as long as it lives.
struct ClockMovedOn {
    ClockMovedOn() { SetLeaseClock(ClockAhead); }
    ~ClockMovedOn()
    {
        SetLeaseClock(::GetTickCount);
        g_clockAhead = 0;
    }
};

// A staging folder's lease, as another launcher (here or on another computer of a share) meets it: the folder
// refuses an open for its deletion while its owner lives, and its time moves on while the owner copies, even where
// nothing is staged in it for a long time (the copies go straight to new names). The renewal's clock is moved on
// instead of waiting kLeaseRenewMs.
TEST(StagingLease, RefusesDeletionAndIsRenewedWhileTheCopyGoesOn)
{
    TempFolder t;
    MakeFolder(t / "Data");
    MakeFolder(t / "Patient");
    WriteFile(t / "Data\\a.dcm", "NEW!");
    WriteFile(t / "Data\\b.dcm", "NEW!");
    WriteFile(t / "Patient\\a.dcm", "OLD");
    const SourceFacts facts{FILE_ATTRIBUTE_NORMAL, 4, AsFileTime(kTime)};
    ClockMovedOn clock;
    Delivery delivery(t / "Patient");
    ASSERT_EQ(delivery.Deliver(t / "Data\\a.dcm", t / "Patient\\a.dcm", facts, TargetKnown::Existing),
              Delivered::Copied);
    const std::string staging = delivery.StagingFolder();
    ASSERT_TRUE(IsFolder(staging));

    FileHandle remover(::CreateFileA(staging.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    EXPECT_FALSE(remover.IsValid());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    FILETIME nowFt;
    ::GetSystemTimeAsFileTime(&nowFt);
    const uint64_t now = (uint64_t(nowFt.dwHighDateTime) << 32) | nowFt.dwLowDateTime;
    const uint64_t anHourAgo = now - 36000000000ull;
    SetFolderTime(staging, anHourAgo);
    g_clockAhead = kLeaseRenewMs;
    EXPECT_EQ(delivery.Deliver(t / "Data\\b.dcm", t / "Patient\\b.dcm", facts, TargetKnown::New), Delivered::Copied);
    EXPECT_EQ(delivery.StagingFolder(), staging);
    EXPECT_GE(WriteTime(staging), now - 10000000ull); // renewed to the time of the renewal, give or take a second
}

TEST(GetFileTimeOf, SelectorAndMissingFile)
{
    TempFolder t;
    WriteFile(t / "f", "x");
    SetWriteTime(t / "f", kTime);
    FILETIME ft{1, 2};
    EXPECT_TRUE(CMainFrame::GetFileTimeOf((t / "f").c_str(), &ft, 1));
    EXPECT_EQ((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, kTime);
    EXPECT_TRUE(CMainFrame::GetFileTimeOf((t / "f").c_str(), &ft, 0));
    FILETIME untouched{7, 8};
    EXPECT_FALSE(CMainFrame::GetFileTimeOf((t / "f").c_str(), &untouched, 2));
    EXPECT_FALSE(CMainFrame::GetFileTimeOf((t / "none").c_str(), &untouched, 1));
    EXPECT_FALSE(CMainFrame::GetFileTimeOf(nullptr, &untouched, 1));
    EXPECT_EQ(untouched.dwLowDateTime, 7u);
    EXPECT_EQ(untouched.dwHighDateTime, 8u);
}

TEST(CopyTree, NestedFoldersEveryFileEveryTime)
{
    TempFolder t;
    MakeFolder(t / "ImplantDB");
    MakeFolder(t / "ImplantDB\\Maker");
    MakeFolder(t / "ImplantDB\\Maker\\Line");
    MakeFolder(t / "ImplantDB\\Empty");
    WriteFile(t / "ImplantDB\\index.db", "root");
    WriteFile(t / "ImplantDB\\Maker\\Line\\fixture.stl", "deep");
    MakeFolder(t / "Target");
    // An earlier disc's copy, read-only and of the same size and time: replaced all the same.
    MakeFolder(t / "Target\\Maker");
    MakeFolder(t / "Target\\Maker\\Line");
    WriteFile(t / "Target\\Maker\\Line\\fixture.stl", "old!");
    SetWriteTime(t / "ImplantDB\\Maker\\Line\\fixture.stl", kTime);
    SetWriteTime(t / "Target\\Maker\\Line\\fixture.stl", kTime);
    ::SetFileAttributesA((t / "Target\\Maker\\Line\\fixture.stl").c_str(), FILE_ATTRIBUTE_READONLY);
    // What a launcher cut off in the middle left, at the top and in a folder below (one on another volume stages
    // there): removed wherever the copy goes.
    const StagingOwner &self = ThisStagingOwner();
    for (const char *folder : {"Target\\", "Target\\Maker\\Line\\"}) {
        const std::string left = t / (folder + StagingFolderName({self.machine, 0x7FFFFFF0u, self.startTime, 0}));
        MakeFolder(left);
        WriteFile(left + "\\copy.tmp", "partial");
    }

    CMainFrame::CopyTree(t / "ImplantDB", t / "Target");
    EXPECT_EQ(ListFolder(t / "Target"), "Empty/ Maker/ index.db");
    EXPECT_EQ(ReadFile(t / "Target\\index.db"), "root");
    EXPECT_EQ(ReadFile(t / "Target\\Maker\\Line\\fixture.stl"), "deep");
    EXPECT_EQ(ListFolder(t / "Target\\Maker\\Line"), "fixture.stl");
}

// The first copy of a reference database, the most common one, goes straight to its new names, below too: no staging
// folder and no rename, which would cost it its speed. Shown where no staging folder can be made: every name one of
// this process could take is a file's.
TEST(CopyTree, AFirstCopyStagesNothing)
{
    TempFolder t;
    MakeFolder(t / "ImplantDB");
    MakeFolder(t / "ImplantDB\\Maker");
    WriteFile(t / "ImplantDB\\index.db", "root");
    WriteFile(t / "ImplantDB\\Maker\\fixture.stl", "deep");
    MakeFolder(t / "Target");
    StagingOwner self = ThisStagingOwner();
    for (self.number = 0; self.number < kStagingAttempts; ++self.number)
        WriteFile(t / ("Target\\" + StagingFolderName(self)), "");

    EXPECT_EQ(CMainFrame::CopyTree(t / "ImplantDB", t / "Target").failed, 0);
    EXPECT_EQ(ReadFile(t / "Target\\index.db"), "root");
    EXPECT_EQ(ReadFile(t / "Target\\Maker\\fixture.stl"), "deep");
}

TEST(CopyTree, MissingSourceOrTargetCopiesNothing)
{
    TempFolder t;
    CMainFrame::CopyTree(t / "NoSource", t / "Target");
    EXPECT_FALSE(Exists(t / "Target"));
    MakeFolder(t / "Src");
    MakeFolder(t / "Src\\sub");
    WriteFile(t / "Src\\sub\\f", "x");
    CMainFrame::CopyTree(t / "Src", t / "NoTarget");
    EXPECT_FALSE(Exists(t / "NoTarget"));
}

} // namespace
