// The patient-folder copy and the reference tree copy against real files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestFiles.h"
#include "app/MainFrame.h"
#include "platform/Handles.h"
#include "transfer/CopyWorker.h"

namespace {

constexpr unsigned long long kTime = 129000000000000000ull; // some day in 2009

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
