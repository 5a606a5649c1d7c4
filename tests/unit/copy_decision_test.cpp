#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "transfer/CopyDecision.h"

TEST(CopyDecision, ExtensionIsAfterTheLastDotOfThePath)
{
    EXPECT_EQ(ExtensionOf("D:\\Data\\a.dcm"), "dcm");
    EXPECT_EQ(ExtensionOf("D:\\Data\\Default.NPJ"), "NPJ");
    EXPECT_EQ(ExtensionOf("D:\\Disc.v2\\Data\\README"), "v2\\Data\\README");
    EXPECT_EQ(ExtensionOf("D:\\Data\\noext"), "");
    EXPECT_EQ(ExtensionOf("D:\\Data\\trailing."), "");
    EXPECT_TRUE(IsProjectFile("D:\\Data\\Default.NPJ"));
    EXPECT_TRUE(IsProjectFile("x.nPj"));
    EXPECT_FALSE(IsProjectFile("x.npjx"));
    EXPECT_FALSE(IsProjectFile("D:\\a.npj\\file"));
}

// Sizes in 64 bits: a file of 4 GiB and more whose low 32 bits match the copy's is another size. Times: only the
// last-write time decides. Under Wine a copy's creation time equals its last-write time, so only these cases can
// tell the two apart: on Windows a copy's creation time is the moment it was made, and comparing it would copy
// every file on every run.
TEST(CopyDecision, SkipsOnlySameSizeAndLastWriteTime)
{
    constexpr uint64_t k4G = 1ull << 32;
    const struct {
        const char *name;
        bool readable;
        uint64_t srcSize, dstSize;
        const char *path;
        bool timesKnown;
        FileTimes srcTimes, dstTimes; // creation, last write
        bool copy;
    } cases[] = {
        {"no target", false, 10, 0, "a.dcm", false, {}, {}, true},
        {"same size and time", true, 10, 10, "a.dcm", true, {1, 5}, {1, 5}, false},
        {"target older", true, 10, 10, "a.dcm", true, {1, 6}, {1, 5}, true},
        {"target newer", true, 10, 10, "a.dcm", true, {1, 5}, {1, 6}, true},
        {"copy made later than the source", true, 10, 10, "a.dcm", true, {1, 5}, {9, 5}, false},
        {"same creation, other last write", true, 10, 10, "a.dcm", true, {1, 5}, {1, 6}, true},
        {"other size", true, 10, 11, "a.dcm", true, {1, 5}, {1, 5}, true},
        {"4 GiB apart", true, k4G + 10, 10, "a.dcm", true, {1, 5}, {1, 5}, true},
        {"over 4 GiB, same size", true, k4G + 10, k4G + 10, "a.dcm", true, {1, 5}, {1, 5}, false},
        {"project file always", true, 10, 10, "Default.NPJ", true, {1, 5}, {1, 5}, true},
        {"unknown times never skip", true, 10, 10, "a.dcm", false, {}, {}, true},
        {"dot in folder name only", true, 10, 10, "D:\\x.npj\\README", true, {1, 5}, {1, 5}, false},
    };
    for (const auto &c : cases) {
        CopyFacts f;
        f.targetReadable = c.readable;
        f.sourceSize = c.srcSize;
        f.targetSize = c.dstSize;
        f.sourcePath = c.path;
        f.timesKnown = c.timesKnown;
        f.sourceTimes = c.srcTimes;
        f.targetTimes = c.dstTimes;
        EXPECT_EQ(ShouldCopy(f), c.copy) << c.name;
    }
}

TEST(StagingFolderName, ReadBackExactlyAndNothingElse)
{
    const StagingOwner owner{0xC0FFEE01u, 0x1A2Bu, 0x01DB4C3D5E6F7081ull, 12};
    const std::string name = StagingFolderName(owner);
    EXPECT_EQ(name, "~autorun-c0ffee01-00001a2b-01db4c3d5e6f7081-12.tmp");
    StagingOwner read;
    ASSERT_TRUE(ParseStagingFolderName(name, read));
    EXPECT_EQ(read.machine, owner.machine);
    EXPECT_TRUE(read.machineKnown);
    EXPECT_EQ(read.processId, owner.processId);
    EXPECT_EQ(read.startTime, owner.startTime);
    EXPECT_EQ(read.number, owner.number);

    // The form earlier launchers gave their staging folders, without the machine: read, the machine not known.
    ASSERT_TRUE(ParseStagingFolderName("~autorun-00001a2b-01db4c3d5e6f7081-12.tmp", read));
    EXPECT_FALSE(read.machineKnown);
    EXPECT_EQ(read.processId, owner.processId);
    EXPECT_EQ(read.startTime, owner.startTime);
    EXPECT_EQ(read.number, owner.number);

    // Names a patient's folder may carry, and earlier launchers' temporary files: none is taken for a staging folder.
    for (const char *lookalike :
         {"~autorun-00001a2b-01db4c3d5e6f7081-12", "~autorun-00001a2b-01db4c3d5e6f7081-.tmp",
          "~AUTORUN-00001A2B-01DB4C3D5E6F7081-12.tmp", "~autorun-1a2b-01db4c3d5e6f7081-0.tmp",
          "~autorun-00001a2b-01db4c3d5e6f708-0.tmp", "~autorun-00001a2b-01db4c3d5e6f7081-012.tmp",
          "~autorun-00001a2b-01db4c3d5e6f7081-0.tmp.old", "~autorun-0000la2b-01db4c3d5e6f7081-0.tmp",
          "~autorun-c0ffee01-00001a2b-01db4c3d5e6f7081-12", "~autorun-C0FFEE01-00001a2b-01db4c3d5e6f7081-1.tmp",
          "~autorun-c0ffee0-00001a2b-01db4c3d5e6f7081-1.tmp", "~autorun-c0ffee01-00001a2b-01db4c3d5e6f7081-01.tmp",
          "~autorun-c0ffee01--00001a2b-01db4c3d5e6f7081-1.tmp", "~cpy1a2b0001.tmp",
          "x~autorun-00001a2b-01db4c3d5e6f7081-0.tmp", ""})
        EXPECT_FALSE(ParseStagingFolderName(lookalike, read)) << lookalike;
}

TEST(CopyWarningText, NothingWhenAllArrivedAndBothCountsOtherwise)
{
    EXPECT_EQ(CopyWarningText(0, 1202, 0), "");
    const struct {
        int patientFailed, patientTotal, referenceFailed;
        const char *patientLine, *referenceLine;
    } cases[] = {
        {3, 1202, 0, "Patient files not copied: 3 of 1202\n", "Reference files not copied: 0\n"},
        {0, 1202, 2, "Patient files not copied: 0 of 1202\n", "Reference files not copied: 2\n"},
        {1202, 1202, 15000, "Patient files not copied: 1202 of 1202\n", "Reference files not copied: 15000\n"},
        // A listing of Data that broke off before its first file counted none.
        {1, 0, 0, "Patient files not copied: 1 of 1\n", "Reference files not copied: 0\n"},
    };
    for (const auto &c : cases) {
        const std::string text = CopyWarningText(c.patientFailed, c.patientTotal, c.referenceFailed);
        EXPECT_NE(text.find(c.patientLine), std::string::npos) << text;
        EXPECT_NE(text.find(c.referenceLine), std::string::npos) << text;
        EXPECT_NE(text.find("insert it again"), std::string::npos) << text;
    }
}

// The box says the one thing that helps for each cause the errors told, naming the drive or the folder; several causes,
// each in turn; none known, the disc's advice as before. The counts and the rest stay as they were.
TEST(CopyWarningText, SaysWhatHelpsForEachCauseKnown)
{
    const char *const kDisc = "Clean the disc and insert it again";
    const char *const kFullC = "Free some space on drive C: and insert the disc again";
    const char *const kFullShare = "Free some space on the drive that holds \\\\server\\clinic\\ImplantDB and insert";
    const char *const kRefused = "Ask the person who looks after this computer for the right to write to the folder "
                                 "C:\\Tovi2009\\Patient\\A1, and insert the disc again.";
    const struct {
        const char *what;
        std::vector<std::pair<unsigned long, const char *>> errors; // error, destination folder
        std::vector<const char *> said, unsaid;
    } cases[] = {
        {"no cause known (a held file)", {{32, "C:\\Tovi2009\\Patient\\A1"}}, {kDisc}, {kFullC, "right to write"}},
        {"a scratched disc", {{23, "C:\\Tovi2009\\Patient\\A1"}, {32, "C:\\x"}}, {kDisc}, {"Free", "right"}},
        {"a copy that came out short", {{30, "C:\\Tovi2009\\ImplantDB"}}, {kDisc}, {"Free", "right"}},
        {"the disc taken out", {{21, "C:\\Tovi2009\\Patient\\A1"}}, {kDisc}, {"Free", "right"}},
        {"a full drive", {{112, "C:\\Tovi2009\\Patient\\A1"}, {39, "D:\\x"}}, {kFullC}, {kDisc, "right"}},
        {"a full share", {{112, "\\\\server\\clinic\\ImplantDB"}}, {kFullShare}, {kDisc, "drive C:"}},
        {"writing refused", {{5, "C:\\Tovi2009\\Patient\\A1"}, {5, "C:\\Tovi2009\\ImplantDB"}}, {kRefused},
         {kDisc, "Free"}},
        {"all three", {{19, "C:\\Tovi2009\\Patient\\A1"}, {112, "C:\\Tovi2009"}, {1117, "C:\\x"}},
         {kDisc, kFullC, kRefused}, {}},
    };
    for (const auto &c : cases) {
        FailureCauses causes, half;
        for (size_t i = 0; i < c.errors.size(); ++i)
            (i % 2 ? half : causes).Note(CauseOfError(c.errors[i].first), c.errors[i].second);
        causes.Add(half); // the patient copy's causes and the reference copy's, told in one box
        const std::string text = CopyWarningText(3, 1202, 2, causes);
        EXPECT_EQ(text.find("Some files of this disc could not be copied to this computer.\n\n"
                            "Patient files not copied: 3 of 1202\nReference files not copied: 2\n\n"
                            "The viewer opens now, but the patient's data may be incomplete. "),
                  0u)
            << c.what << ": " << text;
        for (const char *said : c.said)
            EXPECT_NE(text.find(said), std::string::npos) << c.what << ": " << text;
        for (const char *unsaid : c.unsaid)
            EXPECT_EQ(text.find(unsaid), std::string::npos) << c.what << ": " << text;
        EXPECT_EQ(CopyWarningText(0, 1202, 0, causes), "") << c.what;
    }
}

// Small first copies go straight to their names; from the limit on (where the staging folder's rename costs next to
// nothing against the copy) they are staged, so that a copy cut off in its middle leaves nothing under the name.
TEST(CopyDecision, LargeFirstCopiesAreStaged)
{
    const struct {
        uint64_t size;
        bool straight;
    } cases[] = {{0, true}, {4096, true}, {kStraightCopyLimit - 1, true}, {kStraightCopyLimit, false},
                 {256ull << 20, false}, {5ull << 30, false}};
    for (const auto &c : cases)
        EXPECT_EQ(FirstCopyGoesStraight(c.size), c.straight) << c.size;
}

// Two Wine worlds on one computer have one name and two installation identifiers; cloned Windows installations may
// share the identifier and never a name.
TEST(StagingFolderName, MachineOfTheInstallationAndTheName)
{
    const uint32_t one = MachineIdentity("bb968fd2-ee96-42b1-b73c-5a49316fb65e", "VM");
    EXPECT_EQ(one, MachineIdentity("BB968FD2-EE96-42B1-B73C-5A49316FB65E", "vm"));
    EXPECT_NE(one, MachineIdentity("0c4e2d4b-1b0a-4a52-9f8e-3a3c1d9e2f10", "VM"));
    EXPECT_NE(one, MachineIdentity("bb968fd2-ee96-42b1-b73c-5a49316fb65e", "VM2"));
    EXPECT_NE(MachineIdentity("ab", "c"), MachineIdentity("a", "bc"));
}

// A folder of this machine goes when its process has ended; every other one (another machine's, or one whose process
// cannot be asked) when its lease has not been renewed for kLeaseStale by this clock.
TEST(StagingFolderName, WhenAFolderMayBeCleared)
{
    const uint64_t now = 134000000000000000ull, minute = 600000000ull;
    const struct {
        const char *what;
        bool thisMachine;
        OwnerProcess process;
        uint64_t leaseTime;
        bool clear;
    } cases[] = {
        {"this machine, running, lease old", true, OwnerProcess::Running, now - 600 * minute, false},
        {"this machine, ended, lease new", true, OwnerProcess::Ended, now, true},
        {"this machine, not known, lease new", true, OwnerProcess::Unknown, now - minute, false},
        {"this machine, not known, lease run out", true, OwnerProcess::Unknown, now - kLeaseStale - minute, true},
        {"another machine, lease new", false, OwnerProcess::Unknown, now - minute, false},
        {"another machine, lease at the limit", false, OwnerProcess::Unknown, now - kLeaseStale, false},
        {"another machine, lease run out", false, OwnerProcess::Unknown, now - kLeaseStale - 1, true},
        {"another machine, its process taken for ended", false, OwnerProcess::Ended, now - minute, false},
        {"another machine, a clock ahead", false, OwnerProcess::Unknown, now + 600 * minute, false},
    };
    for (const auto &c : cases) {
        StagingFacts f;
        f.thisMachine = c.thisMachine;
        f.process = c.process;
        f.leaseTime = c.leaseTime;
        f.now = now;
        EXPECT_EQ(MayClearStaging(f), c.clear) << c.what;
    }
    // The lease is renewed many times over before anyone may take it for stale.
    EXPECT_GE(kLeaseStale / 10000, 10ull * kLeaseRenewMs);
}

