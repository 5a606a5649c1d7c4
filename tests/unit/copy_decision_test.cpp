#include <gtest/gtest.h>

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

TEST(CopyDecision, SkipsOnlySameSizeAndTime)
{
    const struct {
        const char *name;
        bool readable;
        uint32_t srcSize, dstSize;
        const char *path;
        bool timesKnown;
        uint64_t srcTime, dstTime;
        bool copy;
    } cases[] = {
        {"no target", false, 10, 0, "a.dcm", false, 0, 0, true},
        {"same size and time", true, 10, 10, "a.dcm", true, 5, 5, false},
        {"target older", true, 10, 10, "a.dcm", true, 6, 5, true},
        {"target newer", true, 10, 10, "a.dcm", true, 5, 6, true},
        {"other size", true, 10, 11, "a.dcm", true, 5, 5, true},
        {"project file always", true, 10, 10, "Default.NPJ", true, 5, 5, true},
        {"unknown times never skip", true, 10, 10, "a.dcm", false, 0, 0, true},
        {"dot in folder name only", true, 10, 10, "D:\\x.npj\\README", true, 5, 5, false},
    };
    for (const auto &c : cases) {
        CopyFacts f;
        f.targetReadable = c.readable;
        f.sourceSize = c.srcSize;
        f.targetSize = c.dstSize;
        f.sourcePath = c.path;
        f.timesKnown = c.timesKnown;
        f.sourceTime = c.srcTime;
        f.targetTime = c.dstTime;
        EXPECT_EQ(ShouldCopy(f), c.copy) << c.name;
    }
}
