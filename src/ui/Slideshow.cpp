#include "Slideshow.h"

#include "ui/CopyProgressDlgIds.h"

namespace slideshow {

Rect MarkerRect(int i) { return Rect{62 + 38 * i, 265, 72 + 38 * i, 275}; }

int BitmapForSlide(int slide)
{
    // Resource 141 holds the picture with the seventh marker lit, 142 the one with the sixth.
    static const int kBitmaps[kSlideCount] = {IDB_SLIDE_TITLE, IDB_SLIDE_1, IDB_SLIDE_2, IDB_SLIDE_3,
                                              IDB_SLIDE_4,     IDB_SLIDE_5, IDB_SLIDE_6, IDB_SLIDE_7};
    return slide >= 0 && slide < kSlideCount ? kBitmaps[slide] : IDB_SLIDE_TITLE;
}

int NextSlide(int slide) { return slide >= 0 && slide <= 6 ? slide + 1 : 1; }

int SlideAtPoint(int x, int y)
{
    int hit = -1;
    for (int i = 0; i < kMarkerCount; ++i) {
        const Rect r = MarkerRect(i);
        if (r.left < x && x < r.right && r.top < y && y < r.bottom)
            hit = i + 1;
    }
    return hit;
}

} // namespace slideshow
