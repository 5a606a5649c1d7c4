#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "code_pages.h"
#include "launch/Decision.h"

namespace {

struct Case {
    const char *name;
    bool running;
    const char *mode;
    const char *id;
    bool installed;
    bool older;
    LaunchOutcome expected;
    const char *asked; // which facts were gathered, in order: r(unning) c(onfig) i(nstalled) o(lder)
};

const Case kCases[] = {
    {"blocking program closes before anything is read", true, "DiscStudio", "A1", true, false,
     LaunchOutcome::CloseAtOnce, "r"},
    {"disc viewer mode needs no installation", false, "Clarivue", "A1", false, true, LaunchOutcome::RunDiscViewer,
     "rc"},
    {"disc viewer mode with an empty ID", false, "Clarivue", "", true, false, LaunchOutcome::RunDiscViewer, "rc"},
    {"not installed asks, version unread", false, "DiscStudio", "A1", false, true,
     LaunchOutcome::PromptNotInstalled, "rci"},
    {"unknown mode still asks to install", false, "Whatever", "A1", false, false,
     LaunchOutcome::PromptNotInstalled, "rci"},
    {"empty mode still asks to install", false, "", "", false, false, LaunchOutcome::PromptNotInstalled, "rci"},
    {"older asks to upgrade", false, "BasicStudio", "A1", true, true, LaunchOutcome::PromptOlder, "rcio"},
    {"each edition transfers: DiscStudio", false, "DiscStudio", "A1", true, false, LaunchOutcome::Transfer,
     "rcio"},
    {"each edition transfers: DiscStudio_Lite", false, "DiscStudio_Lite", "A1", true, false,
     LaunchOutcome::Transfer, "rcio"},
    {"each edition transfers: DiscStudioBasic", false, "DiscStudioBasic", "A1", true, false,
     LaunchOutcome::Transfer, "rcio"},
    {"each edition transfers: BasicStudio", false, "BasicStudio", "A1", true, false, LaunchOutcome::Transfer,
     "rcio"},
    {"mode differing in case does nothing", false, "discstudio", "A1", true, false, LaunchOutcome::Nothing, "rcio"},
    {"disc viewer mode differing in case is just unknown", false, "clarivue", "A1", true, false,
     LaunchOutcome::Nothing, "rcio"},
    {"edition with an unsafe ID starts nothing", false, "DiscStudio", "..\\..\\Windows", true, false,
     LaunchOutcome::InvalidPatientId, "rcio"},
    {"edition with an empty ID starts nothing", false, "DiscStudio", "", true, false,
     LaunchOutcome::InvalidPatientId, "rcio"},
    {"unknown mode ignores a bad ID", false, "Other", "..", true, false, LaunchOutcome::Nothing, "rcio"},
};

class DecideLaunchTest : public ::testing::TestWithParam<Case> {};

TEST_P(DecideLaunchTest, OutcomeAndFactsGathered)
{
    const Case &c = GetParam();
    std::string asked;
    SuidInfo suid;
    suid.m_strMode = c.mode;
    suid.m_strId = c.id;
    LaunchFacts facts;
    facts.isBlockingProgramRunning = [&] {
        asked += 'r';
        return c.running;
    };
    facts.readConfiguration = [&]() -> const SuidInfo & {
        asked += 'c';
        return suid;
    };
    facts.isViewerInstalled = [&] {
        asked += 'i';
        return c.installed;
    };
    facts.isInstalledVersionOlder = [&] {
        asked += 'o';
        return c.older;
    };
    EXPECT_EQ(DecideLaunch(facts), c.expected) << c.name;
    EXPECT_EQ(asked, c.asked) << c.name;
}

std::string CaseName(const ::testing::TestParamInfo<Case> &info)
{
    std::string name;
    for (const char *p = info.param.name; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Table, DecideLaunchTest, ::testing::ValuesIn(kCases), CaseName);

TEST(ProductName, EditionsAndOthers)
{
    const struct {
        const char *mode;
        bool found;
        const char *name;
    } cases[] = {
        {"DiscStudio", true, "Disc Studio"},          {"DiscStudio_Lite", true, "Disc Studio - Lite"},
        {"DiscStudioBasic", true, "Disc Studio Basic"}, {"BasicStudio", true, "Basic Studio"},
        {"Clarivue", false, "kept"},                  {"", false, "kept"},
        {"DISCSTUDIO", false, "kept"},
    };
    for (const auto &c : cases) {
        std::string name = "kept";
        EXPECT_EQ(ProductNameForMode(c.mode, name), c.found) << c.mode;
        EXPECT_EQ(name, c.name) << c.mode;
    }
}

TEST(Prompt, EmptyProductNameLeavesTwoBlanks)
{
    EXPECT_EQ(FormatPrompt(launch::kPromptNotInstalled, ""),
              "Tovi Plus  Program was not Installed. \n\nDo you want to install Tovi Plus ?");
    EXPECT_EQ(FormatPrompt(launch::kPromptOlder, "Disc Studio - Lite"),
              "Current Tovi Plus Disc Studio - Lite Program was old version. \n\nDo you want to install New Version "
              "Tovi Plus Disc Studio - Lite?");
    // A display name is text, never a format.
    EXPECT_EQ(FormatPrompt("%s|%s", "%s%d"), "%s%d|%s%d");
}

TEST(Paths, ViewerParametersAndFolders)
{
    EXPECT_EQ(ViewerParameters("DiscStudio", "A1", "C:\\Tovi2009\\Patient\\A1\\Default.npj"),
              "DiscStudio#A1#C:\\Tovi2009\\Patient\\A1\\Default.npj");
    EXPECT_EQ(ViewerParameters("Clarivue", "", "0"), "Clarivue##0");
    EXPECT_EQ(ViewerParameters("M", "I", "C:\\Program Files\\T\\Default.npj"), "M#I#C:\\Program Files\\T\\Default.npj");
    EXPECT_EQ(PatientFolder("C:\\Tovi2009", "A1"), "C:\\Tovi2009\\Patient\\A1");
    EXPECT_EQ(ChooseInstallFolder(true, "D:\\Viewer"), "D:\\Viewer");
    EXPECT_EQ(ChooseInstallFolder(true, ""), "C:\\Tovi2009");
    EXPECT_EQ(ChooseInstallFolder(false, "ignored"), "C:\\Tovi2009");
}

TEST(Version, PairByPairSigned)
{
    const struct {
        Version installed, disc;
        bool older;
    } cases[] = {
        {{{1, 2, 3, 4}}, {{1, 2, 3, 4}}, false}, {{{1, 2, 3, 4}}, {{1, 2, 3, 5}}, true},
        {{{2, 0, 0, 0}}, {{1, 9, 9, 9}}, false}, {{{1, 3, 0, 0}}, {{1, 2, 9, 9}}, false},
        {{{-1, 0, 0, 0}}, {{0, 0, 0, 0}}, true}, {{{0, 0, 0, 0}}, {{-1, 5, 5, 5}}, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsOlder(c.installed, c.disc), c.older)
            << c.installed.part[0] << "." << c.installed.part[1] << "." << c.installed.part[2] << "."
            << c.installed.part[3];
}

} // namespace

// A TargetDir written with a trailing separator would double the separator in every path built on it and in the
// viewer's parameters; a trailing byte 0x5C that ends a double-byte character is part of the folder's name.
TEST(Paths, InstallFolderWithoutTrailingSeparators)
{
    const struct {
        const char *targetDir;
        LeadBytePredicate codePage;
        const char *folder;
    } cases[] = {
        {"C:\\Tovi2009\\", nullptr, "C:\\Tovi2009"},
        {"C:\\Tovi2009\\\\/", nullptr, "C:\\Tovi2009"},
        {"C:\\", nullptr, "C:"},
        {"\\", nullptr, "C:\\Tovi2009"},
        {"C:\\\x95\x5C", IsLeadByte932, "C:\\\x95\x5C"},
        {"C:\\\x95\x5C\\", IsLeadByte932, "C:\\\x95\x5C"},
        {"C:\\\x95\x5C", nullptr, "C:\\\x95"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ChooseInstallFolder(true, c.targetDir, c.codePage), c.folder) << c.targetDir;
    EXPECT_EQ(PatientFolder(ChooseInstallFolder(true, "D:\\Viewer\\"), "A1"), "D:\\Viewer\\Patient\\A1");
}

// The launch decision reads the ID in the machine's code page.
TEST(DecideLaunch, IdReadInTheMachinesCodePage)
{
    SuidInfo suid;
    suid.m_strMode = "DiscStudio";
    suid.m_strId = "\x95\x5C";
    LaunchFacts facts;
    facts.isBlockingProgramRunning = [] { return false; };
    facts.readConfiguration = [&]() -> const SuidInfo & { return suid; };
    facts.isViewerInstalled = [] { return true; };
    facts.isInstalledVersionOlder = [] { return false; };
    EXPECT_EQ(DecideLaunch(facts), LaunchOutcome::InvalidPatientId);
    facts.isLeadByte = IsLeadByte932;
    EXPECT_EQ(DecideLaunch(facts), LaunchOutcome::Transfer);
}
