#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "config/Scramble.h"
#include "config/SuidFile.h"

namespace {

constexpr char kAllKeys[] = "[Program Version]\r\nHIMS=1\r\nLOWMS=2\r\nHILS=3\r\nLOWLS=4\r\n"
                            "[Execute Mode]\r\nMode=DiscStudio\r\n[SUID]\r\nID=P0001\r\n";

std::string WithMarker(const std::string &markerLines) { return markerLines + kAllKeys; }

TEST(SuidFile, PlainOnlyWithTheExactMarker)
{
    struct Case {
        const char *what;
        std::string text;
        SuidForm form;
    };
    const Case cases[] = {
        {"marker", WithMarker("[Program Up]\r\nUP_A=091118\r\n"), SuidForm::Plain},
        {"names in another case", WithMarker("[program up]\r\nup_a=091118\r\n"), SuidForm::Plain},
        // The profile reader strips these before the launcher compares.
        {"blanks around the marker", WithMarker("[Program Up]\r\nUP_A = 091118 \r\n"), SuidForm::Plain},
        {"quoted marker", WithMarker("[Program Up]\r\nUP_A=\"091118\"\r\n"), SuidForm::Plain},
        {"marker missing", WithMarker("[Program Up]\r\n"), SuidForm::Scrambled},
        {"marker empty", WithMarker("[Program Up]\r\nUP_A=\r\n"), SuidForm::Scrambled},
        {"no leading zero", WithMarker("[Program Up]\r\nUP_A=91118\r\n"), SuidForm::Scrambled},
        {"one character more", WithMarker("[Program Up]\r\nUP_A=0911180\r\n"), SuidForm::Scrambled},
        {"marker in another section", WithMarker("[Program Upd]\r\nUP_A=091118\r\n"), SuidForm::Scrambled},
        {"section missing", kAllKeys, SuidForm::Scrambled},
        {"empty file", "", SuidForm::Scrambled},
    };
    for (const Case &c : cases) {
        const SuidRead read = ReadSuidText(c.text);
        EXPECT_EQ(read.form, c.form) << c.what;
        if (c.form == SuidForm::Plain) {
            EXPECT_EQ(read.info.m_strId, "P0001") << c.what;
            EXPECT_EQ(read.info.m_strUpdateMark, "091118") << c.what;
        } else {
            // Descrambled, a plain text is noise: nothing of it may show through, the marker least of all.
            EXPECT_EQ(read.info.m_strId, "") << c.what;
            EXPECT_EQ(read.info.m_strUpdateMark, "") << c.what;
        }
    }
}

TEST(SuidFile, PlainFileFillsTheRecord)
{
    const SuidRead read = ReadSuidText(WithMarker("[Program Up]\r\nUP_A=091118\r\n"));
    EXPECT_EQ(read.form, SuidForm::Plain);
    EXPECT_EQ(read.info.m_nHiMS, 1);
    EXPECT_EQ(read.info.m_nLowMS, 2);
    EXPECT_EQ(read.info.m_nHiLS, 3);
    EXPECT_EQ(read.info.m_nLowLS, 4);
    EXPECT_EQ(read.info.m_strMode, "DiscStudio");
    EXPECT_EQ(read.info.m_strId, "P0001");
    EXPECT_EQ(read.info.m_strUpdateMark, "091118");

    const SuidRead partial = ReadSuidText("[Program Up]\r\nUP_A=091118\r\n[SUID]\r\nID=" + std::string(300, 'x'));
    EXPECT_EQ(partial.info.m_nHiMS, 0);
    EXPECT_EQ(partial.info.m_nLowLS, 0);
    EXPECT_EQ(partial.info.m_strMode, "");
    EXPECT_EQ(partial.info.m_strId, std::string(259, 'x'));
}

TEST(SuidFile, VersionNumbersFollowAtoi)
{
    struct Case {
        const char *value;
        int expected;
    };
    const Case cases[] = {
        {"3", 3},           {"3.7", 3},       {"-2", -2},          {"abc", 0},
        {"", 0},            {"12abc", 12},    {"\"  +5\"", 5},     {"+-5", 0},
        {"2147483647", INT_MAX}, {"99999999999", INT_MAX}, {"-99999999999", INT_MIN},
    };
    for (const Case &c : cases) {
        const std::string text = std::string("[Program Up]\r\nUP_A=091118\r\n[Program Version]\r\nHIMS=") + c.value;
        EXPECT_EQ(ReadSuidText(text).info.m_nHiMS, c.expected) << c.value;
    }
}

TEST(SuidFile, MadeFilesReadBack)
{
    SuidInfo info;
    info.m_nHiMS = 2;
    info.m_nLowMS = -1;
    info.m_nHiLS = INT_MAX;
    info.m_nLowLS = INT_MIN;
    // Blanks at either end and outer quotes only survive because the writer quotes such values.
    const std::string values[] = {"P0001", "", " leading and trailing ", "\"quoted\"", "'single'", "\"",
                                  std::string(258, 'q'), std::string(259, 'q'), std::string(258, 'q') + " ",
                                  " " + std::string(258, 'q')};
    for (const SuidForm form : {SuidForm::Plain, SuidForm::Scrambled}) {
        for (const std::string &value : values) {
            info.m_strId = value;
            info.m_strMode = value;
            const SuidRead read = ReadSuidText(MakeSuidText(info, form));
            EXPECT_EQ(read.form, form) << value;
            EXPECT_EQ(read.info.m_strId, info.m_strId);
            EXPECT_EQ(read.info.m_strMode, info.m_strMode);
            EXPECT_EQ(read.info.m_nHiMS, 2);
            EXPECT_EQ(read.info.m_nLowMS, -1);
            EXPECT_EQ(read.info.m_nHiLS, INT_MAX);
            EXPECT_EQ(read.info.m_nLowLS, INT_MIN);
            EXPECT_EQ(read.info.m_strUpdateMark, form == SuidForm::Plain ? "091118" : "");
        }
    }
}

TEST(SuidFile, ScrambledFileCarriesNoMarker)
{
    SuidInfo info;
    info.m_strId = "P0001";
    const std::string scrambled = MakeSuidText(info, SuidForm::Scrambled);
    EXPECT_EQ(DescrambleBytes(scrambled).find("091118"), std::string::npos);
    EXPECT_EQ(scrambled.find("P0001"), std::string::npos);
}

// The launcher ignores the marker on the scrambled path even when the hidden text carries one.
TEST(SuidFile, MarkerInsideAScrambledFileStaysUnread)
{
    const SuidRead read = ReadSuidText(ScrambleBytes(WithMarker("[Program Up]\r\nUP_A=091118\r\n")));
    EXPECT_EQ(read.form, SuidForm::Scrambled);
    EXPECT_EQ(read.info.m_strId, "P0001");
    EXPECT_EQ(read.info.m_nLowLS, 4);
    EXPECT_EQ(read.info.m_strUpdateMark, "");
}

} // namespace
