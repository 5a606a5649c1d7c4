#include <gtest/gtest.h>

#include "ui/Placement.h"
#include "ui/Slideshow.h"

using namespace slideshow;

TEST(Slideshow, PictureForEverySlide)
{
    const int expected[] = {135, 136, 137, 138, 139, 140, 142, 141};
    for (int slide = 0; slide < 8; ++slide)
        EXPECT_EQ(BitmapForSlide(slide), expected[slide]) << slide;
    EXPECT_EQ(BitmapForSlide(-1), 135);
    EXPECT_EQ(BitmapForSlide(8), 135);
}

TEST(Slideshow, TitleOnceThenCycleOfSeven)
{
    int slide = 0;
    const int expected[] = {1, 2, 3, 4, 5, 6, 7, 1, 2};
    for (int next : expected) {
        slide = NextSlide(slide);
        EXPECT_EQ(slide, next);
    }
    EXPECT_EQ(NextSlide(-5), 1);
    EXPECT_EQ(NextSlide(99), 1);
}

TEST(Slideshow, OnlyPointsStrictlyInsideAMarkerHit)
{
    const struct {
        int x, y, slide;
    } cases[] = {
        {62, 270, -1}, {72, 270, -1}, {67, 265, -1}, {67, 275, -1}, {63, 266, 1},  {71, 274, 1},
        {80, 270, -1}, {105, 270, 2}, {143, 270, 3}, {181, 270, 4}, {219, 270, 5}, {257, 270, 6},
        {295, 270, 7}, {300, 270, -1}, {0, 0, -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SlideAtPoint(c.x, c.y), c.slide) << c.x << "," << c.y;
    for (int i = 0; i < 7; ++i) {
        const Rect r = MarkerRect(i);
        EXPECT_EQ(r.left, 62 + 38 * i);
        EXPECT_EQ(r.right - r.left, 10);
        EXPECT_EQ(r.top, 265);
        EXPECT_EQ(r.bottom, 275);
    }
}

TEST(Placement, CentredInTheWorkArea)
{
    const struct {
        int l, t, r, b, w, h, x, y;
    } cases[] = {
        {0, 0, 1024, 738, 600, 401, 212, 168},   // odd difference rounds toward zero
        {0, 40, 1024, 768, 600, 401, 212, 203},  // task bar at the top: below it, centred
        {60, 0, 1024, 768, 600, 400, 242, 184},  // task bar at the left
        {0, 0, 600, 400, 603, 403, -1, -1},      // larger than the work area: -3 / 2 rounds to -1
    };
    for (const auto &c : cases) {
        const WindowOrigin o = CenterInWorkArea(c.l, c.t, c.r, c.b, c.w, c.h);
        EXPECT_EQ(o.x, c.x);
        EXPECT_EQ(o.y, c.y);
    }
}
