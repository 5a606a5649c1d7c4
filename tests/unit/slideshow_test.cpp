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

// The window as made, on a screen, at 96, 120 and 144 DPI (Tahoma 10 pt makes the client area 677 x 420, 968 x 551
// and 1064 x 630), on small screens and beside task bars.
TEST(Placement, LayOutWindowOnEveryScreen)
{
    const Extent picture{680, 420}, frame{2, 2};
    const struct {
        const char *name;
        Extent created;
        Area work;
        bool scaled;
        Extent client;
        int x, y;
    } cases[] = {
        {"96 DPI: 1:1 as made", {677, 420}, {0, 0, 1024, 768}, false, {677, 420}, 172, 173},
        {"96 DPI, task bar at the top", {677, 420}, {0, 40, 1024, 768}, false, {677, 420}, 172, 193},
        {"120 DPI: the picture at the font's scale", {968, 551}, {0, 0, 1024, 768}, true, {892, 551}, 65, 107},
        {"144 DPI", {1064, 630}, {0, 0, 1024, 768}, true, {1020, 630}, 1, 68},
        {"640 x 480", {677, 420}, {0, 0, 640, 480}, true, {638, 394}, 0, 42},
        {"640 x 480, task bar at the bottom", {677, 420}, {0, 0, 640, 450}, true, {638, 394}, 0, 27},
        {"800 x 600 at 144 DPI, task bar", {1064, 630}, {0, 0, 800, 570}, true, {798, 493}, 0, 37},
        {"short and wide: the height decides", {968, 551}, {0, 0, 3840, 500}, true, {806, 498}, 1516, 0},
        {"task bar at the left of a small screen", {677, 420}, {60, 0, 640, 480}, true, {578, 357}, 60, 60},
    };
    for (const auto &c : cases) {
        const WindowLayout layout = LayOutWindow(c.created, frame, c.work, picture);
        EXPECT_EQ(layout.scaled, c.scaled) << c.name;
        EXPECT_EQ(layout.client.width, c.client.width) << c.name;
        EXPECT_EQ(layout.client.height, c.client.height) << c.name;
        EXPECT_EQ(layout.at.x, c.x) << c.name;
        EXPECT_EQ(layout.at.y, c.y) << c.name;
        // Never above or left of the work area, and inside it.
        EXPECT_GE(layout.at.x, c.work.left) << c.name;
        EXPECT_GE(layout.at.y, c.work.top) << c.name;
        EXPECT_LE(layout.at.x + layout.client.width + frame.width, c.work.right) << c.name;
        EXPECT_LE(layout.at.y + layout.client.height + frame.height, c.work.bottom) << c.name;
    }
}

TEST(Slideshow, MarkersGoWithThePictureDrawnLarger)
{
    // At the picture's own size the markers are where the picture has them, and so are the clicks.
    EXPECT_EQ(SlideAtPoint(63, 266, 680, 420), 1);
    EXPECT_EQ(SlideAtPoint(62, 270, 680, 420), -1);
    // At 892 x 551 (120 DPI) marker 1 covers 81..94 x 348..361, marker 7 380..394.
    const Rect first = MarkerRect(0, 892, 551), last = MarkerRect(6, 892, 551);
    EXPECT_EQ(first.left, 81);
    EXPECT_EQ(first.right, 94);
    EXPECT_EQ(first.top, 348);
    EXPECT_EQ(first.bottom, 361);
    EXPECT_EQ(last.left, 380);
    EXPECT_EQ(last.right, 394);
    const struct {
        int x, y, slide;
    } cases[] = {{87, 354, 1}, {67, 270, -1}, {387, 354, 7}, {81, 354, -1}, {94, 354, -1}, {137, 354, 2}};
    for (const auto &c : cases)
        EXPECT_EQ(SlideAtPoint(c.x, c.y, 892, 551), c.slide) << c.x << "," << c.y;
}

namespace {
std::vector<unsigned char> Picture(int width, int height, unsigned char (*colour)(int x, int y, int c))
{
    std::vector<unsigned char> pixels(static_cast<size_t>(RowBytes(width)) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                pixels[static_cast<size_t>(y) * RowBytes(width) + x * 3 + c] = colour(x, y, c);
    return pixels;
}
} // namespace

TEST(Slideshow, ScaledPicture)
{
    // The same size gives the same bytes: no filter touches the 96 DPI picture.
    const auto noise = Picture(37, 11, [](int x, int y, int c) { return static_cast<unsigned char>(x * 7 + y * 13 + c * 101); });
    EXPECT_EQ(ScalePicture(noise.data(), 37, 11, 37, 11), noise);

    // Rows 0..5 white (a band), rows 6..9 a colour; larger and smaller, the band stays pure white away from its edge,
    // the colour stays exact, and the rows are padded to 4 bytes.
    const auto banded = Picture(30, 10, [](int, int y, int c) {
        static const unsigned char kColour[3] = {0, 72, 217};
        return y < 6 ? static_cast<unsigned char>(255) : kColour[c];
    });
    for (const Extent to : {Extent{41, 14}, Extent{45, 15}, Extent{26, 9}, Extent{13, 5}}) {
        const auto scaled = ScalePicture(banded.data(), 30, 10, to.width, to.height);
        ASSERT_EQ(scaled.size(), static_cast<size_t>(RowBytes(to.width)) * to.height);
        const int bandEnd = 6 * to.height / 10;
        for (int x = 0; x < to.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(scaled[x * 3 + c], 255) << to.width << "x" << to.height << " at " << x;
                EXPECT_EQ(scaled[static_cast<size_t>(bandEnd - 2) * RowBytes(to.width) + x * 3 + c], 255);
                EXPECT_EQ(scaled[static_cast<size_t>(to.height - 1) * RowBytes(to.width) + x * 3 + c], banded[9 * RowBytes(30) + c]);
            }
        }
    }

    // A ramp stays a ramp: no ringing, no step the source does not have.
    const auto ramp = Picture(10, 1, [](int x, int, int) { return static_cast<unsigned char>(x * 25); });
    const auto wider = ScalePicture(ramp.data(), 10, 1, 25, 1);
    for (int x = 1; x < 25; ++x)
        EXPECT_GE(wider[x * 3], wider[(x - 1) * 3]) << x;
    EXPECT_LE(wider[0], 25);
    EXPECT_GE(wider[24 * 3], 200);
}
