#pragma once
#include <vector>

// The progress window's slideshow: a title picture (slide 0) and seven feature pictures, each
// selected by one marker of a row of seven.
namespace slideshow {
constexpr int kSlideCount = 8;
constexpr int kMarkerCount = 7;
constexpr unsigned kTimerId = 0;
constexpr unsigned kIntervalMs = 3000;
// Every picture's size; the markers' places are the picture's.
constexpr int kPictureWidth = 680;
constexpr int kPictureHeight = 420;

struct Rect {
    int left, top, right, bottom;
};

// Marker i (0..6) in client pixels, for the picture drawn at its own size or at drawnWidth x drawnHeight.
Rect MarkerRect(int i, int drawnWidth = kPictureWidth, int drawnHeight = kPictureHeight);
// The bitmap resource painted for a slide; the title picture for any value outside 0..7.
int BitmapForSlide(int slide);
// The slide after `slide` at a timer tick: 0..6 -> +1, anything else -> 1. The title never comes back.
int NextSlide(int slide);
// The slide selected by a click, or -1. Only points strictly inside a marker hit it.
int SlideAtPoint(int x, int y, int drawnWidth = kPictureWidth, int drawnHeight = kPictureHeight);

// Bytes from one row of a 24-bit picture to the next (rows are padded to 4 bytes).
int RowBytes(int width);
// A 24-bit picture (rows RowBytes(width) apart, in either order: the result keeps it) scaled to toWidth x toHeight
// with a linear filter that widens when the picture shrinks, so every pixel counts. A region of one colour keeps
// that colour exactly, the white band under the texts stays pure white; the same size gives the same bytes.
std::vector<unsigned char> ScalePicture(const unsigned char *pixels, int width, int height, int toWidth,
                                        int toHeight);
} // namespace slideshow
