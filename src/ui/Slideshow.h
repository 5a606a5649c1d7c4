#pragma once

// The progress window's slideshow: a title picture (slide 0) and seven feature pictures, each
// selected by one marker of a row of seven.
namespace slideshow {
constexpr int kSlideCount = 8;
constexpr int kMarkerCount = 7;
constexpr unsigned kTimerId = 0;
constexpr unsigned kIntervalMs = 3000;

struct Rect {
    int left, top, right, bottom;
};

// Marker i (0..6) in client pixels.
Rect MarkerRect(int i);
// The bitmap resource painted for a slide; the title picture for any value outside 0..7.
int BitmapForSlide(int slide);
// The slide after `slide` at a timer tick: 0..6 -> +1, anything else -> 1. The title never comes back.
int NextSlide(int slide);
// The slide selected by a click, or -1. Only points strictly inside a marker hit it.
int SlideAtPoint(int x, int y);
} // namespace slideshow
