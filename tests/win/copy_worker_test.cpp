// The patient-folder copy and the reference tree copy against real files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestFiles.h"
#include "app/MainFrame.h"
#include "platform/Handles.h"
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

TEST(CopyPatientFolder, ReadOnlyEarlierCopyIsReplaced)
{
    TempFolder t;
    MakeFolder(t / "Data");
    MakeFolder(t / "Patient");
    WriteFile(t / "Data\\a.dcm", "NEW!");
    WriteFile(t / "Patient\\a.dcm", "OLD!!");
    ::SetFileAttributesA((t / "Patient\\a.dcm").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    CopyAll(t / "Data", t / "Patient");
    EXPECT_EQ(ReadFile(t / "Patient\\a.dcm"), "NEW!");
    EXPECT_FALSE(::GetFileAttributesA((t / "Patient\\a.dcm").c_str()) & FILE_ATTRIBUTE_HIDDEN);
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

// The copy to a target that is not there yet, and what it does when one is there after all. In a folder the caller
// has just made (`fresh`) the source is not held open over the copy: a file there can only be this copy's partial
// one, which goes, or the complete copy of a launcher running beside this one, which stays.
TEST(CopyToNewTarget, OutcomesAndWhatTheyLeave)
{
    enum Target { None, Old, Complete, Folder };
    struct Case {
        const char *what;
        bool fresh;
        Target target;
        bool sourceLocked;
        NewTargetCopy result;
        const char *listing; // the destination afterwards
    };
    const Case cases[] = {
        {"no target", false, None, false, NewTargetCopy::Copied, "a.dcm"},
        {"old copy", false, Old, false, NewTargetCopy::TargetExists, "a.dcm"},
        {"folder of the name", false, Folder, false, NewTargetCopy::TargetExists, "a.dcm/"},
        {"unreadable source", false, None, true, NewTargetCopy::Failed, ""},
        {"unreadable source, old copy", false, Old, true, NewTargetCopy::TargetExists, "a.dcm"},
        {"fresh folder", true, None, false, NewTargetCopy::Copied, "a.dcm"},
        {"fresh folder, a complete copy", true, Complete, false, NewTargetCopy::TargetExists, "a.dcm"},
        {"fresh folder, folder of the name", true, Folder, false, NewTargetCopy::TargetExists, "a.dcm/"},
        {"fresh folder, unreadable source", true, None, true, NewTargetCopy::Failed, ""},
        {"fresh folder, unreadable source, a complete copy", true, Complete, true, NewTargetCopy::TargetExists,
         "a.dcm"},
        {"fresh folder, unreadable source, a partial copy", true, Old, true, NewTargetCopy::Failed, ""},
    };
    for (const Case &c : cases) {
        TempFolder t;
        MakeFolder(t / "Data");
        MakeFolder(t / "Patient");
        const std::string source = t / "Data\\a.dcm", target = t / "Patient\\a.dcm";
        WriteFile(source, "NEW!");
        SetWriteTime(source, kTime);
        ::SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY);
        if (c.target == Old)
            WriteFile(target, "OLD");
        if (c.target == Complete) {
            ASSERT_TRUE(::CopyFileA(source.c_str(), target.c_str(), TRUE));
            ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        if (c.target == Folder)
            MakeFolder(target);
        FileHandle lock;
        if (c.sourceLocked)
            lock.Attach(::CreateFileA(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        const SourceFacts facts{FILE_ATTRIBUTE_READONLY, 4,
                                FILETIME{static_cast<DWORD>(kTime), static_cast<DWORD>(kTime >> 32)}};
        EXPECT_EQ(CopyToNewTarget(source, target, facts, c.fresh), c.result) << c.what;
        EXPECT_EQ(ListFolder(t / "Patient"), c.listing) << c.what;
        if (c.target == Old && *c.listing) {
            EXPECT_EQ(ReadFile(target), "OLD") << c.what;
        }
        if (c.result == NewTargetCopy::Copied || c.target == Complete) {
            // As the copy by way of a temporary file made it: the source's content and time, writable.
            EXPECT_EQ(ReadFile(target), "NEW!") << c.what;
            EXPECT_EQ(WriteTime(target), kTime) << c.what;
            EXPECT_FALSE(::GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY) << c.what;
        }
    }
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

    CMainFrame::CopyTree(t / "ImplantDB", t / "Target");
    EXPECT_EQ(ListFolder(t / "Target"), "Empty/ Maker/ index.db");
    EXPECT_EQ(ReadFile(t / "Target\\index.db"), "root");
    EXPECT_EQ(ReadFile(t / "Target\\Maker\\Line\\fixture.stl"), "deep");
    EXPECT_EQ(ListFolder(t / "Target\\Maker\\Line"), "fixture.stl");
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
