#include "Slideshow.h"

#include <algorithm>
#include <cmath>

#include "ui/CopyProgressDlgIds.h"
#include "ui/Placement.h"

namespace slideshow {

Rect MarkerRect(int i, int drawnWidth, int drawnHeight)
{
    const Rect r{62 + 38 * i, 265, 72 + 38 * i, 275};
    return Rect{ScaleCoordinate(r.left, drawnWidth, kPictureWidth), ScaleCoordinate(r.top, drawnHeight, kPictureHeight),
                ScaleCoordinate(r.right, drawnWidth, kPictureWidth),
                ScaleCoordinate(r.bottom, drawnHeight, kPictureHeight)};
}

int BitmapForSlide(int slide)
{
    // Resource 141 holds the picture with the seventh marker lit, 142 the one with the sixth.
    static const int kBitmaps[kSlideCount] = {IDB_SLIDE_TITLE, IDB_SLIDE_1, IDB_SLIDE_2, IDB_SLIDE_3,
                                              IDB_SLIDE_4,     IDB_SLIDE_5, IDB_SLIDE_6, IDB_SLIDE_7};
    return slide >= 0 && slide < kSlideCount ? kBitmaps[slide] : IDB_SLIDE_TITLE;
}

int NextSlide(int slide) { return slide >= 0 && slide <= 6 ? slide + 1 : 1; }

int SlideAtPoint(int x, int y, int drawnWidth, int drawnHeight)
{
    int hit = -1;
    for (int i = 0; i < kMarkerCount; ++i) {
        const Rect r = MarkerRect(i, drawnWidth, drawnHeight);
        if (r.left < x && x < r.right && r.top < y && y < r.bottom)
            hit = i + 1;
    }
    return hit;
}

int RowBytes(int width) { return (width * 3 + 3) & ~3; }

namespace {

constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;

struct Tap {
    int index;
    int weight;
};

// For each of `to` output positions, the source positions (0..from-1) it takes and their weights, which sum to
// exactly kWeightOne: a triangle filter one source pixel wide each side, or one output pixel's width when shrinking.
std::vector<std::vector<Tap>> FilterTaps(int from, int to)
{
    std::vector<std::vector<Tap>> taps(to);
    const double scale = static_cast<double>(to) / from;
    const double radius = std::max(1.0, 1.0 / scale);
    for (int o = 0; o < to; ++o) {
        const double centre = (o + 0.5) / scale - 0.5;
        std::vector<double> weights(from, 0.0);
        double total = 0.0;
        for (int i = static_cast<int>(std::floor(centre - radius)) + 1; i <= static_cast<int>(std::floor(centre + radius));
             ++i) {
            const double w = 1.0 - std::fabs(i - centre) / radius;
            if (w <= 0.0)
                continue;
            weights[std::min(std::max(i, 0), from - 1)] += w;
            total += w;
        }
        std::vector<Tap> &out = taps[o];
        int sum = 0;
        for (int i = 0; i < from; ++i) {
            if (weights[i] <= 0.0)
                continue;
            out.push_back(Tap{i, static_cast<int>(weights[i] / total * kWeightOne + 0.5)});
            sum += out.back().weight;
        }
        // The rounding's rest goes to the heaviest tap, so a flat colour comes out exactly.
        auto heaviest = std::max_element(out.begin(), out.end(), [](const Tap &a, const Tap &b) { return a.weight < b.weight; });
        heaviest->weight += kWeightOne - sum;
    }
    return taps;
}

unsigned char Weighed(int sum) { return static_cast<unsigned char>(std::min(255, std::max(0, (sum + kWeightOne / 2) >> kWeightBits))); }

} // namespace

std::vector<unsigned char> ScalePicture(const unsigned char *pixels, int width, int height, int toWidth, int toHeight)
{
    const int fromStride = RowBytes(width), toStride = RowBytes(toWidth);
    std::vector<unsigned char> out(static_cast<size_t>(toStride) * toHeight, 0);
    if (width <= 0 || height <= 0 || toWidth <= 0 || toHeight <= 0)
        return out;
    // Across each row first, then down each column.
    const std::vector<std::vector<Tap>> across = FilterTaps(width, toWidth), down = FilterTaps(height, toHeight);
    std::vector<unsigned char> rows(static_cast<size_t>(toStride) * height, 0);
    for (int y = 0; y < height; ++y) {
        const unsigned char *from = pixels + static_cast<size_t>(y) * fromStride;
        unsigned char *to = rows.data() + static_cast<size_t>(y) * toStride;
        for (int x = 0; x < toWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (const Tap &t : across[x])
                    sum += t.weight * from[t.index * 3 + c];
                to[x * 3 + c] = Weighed(sum);
            }
        }
    }
    for (int y = 0; y < toHeight; ++y) {
        unsigned char *to = out.data() + static_cast<size_t>(y) * toStride;
        for (int b = 0; b < toWidth * 3; ++b) {
            int sum = 0;
            for (const Tap &t : down[y])
                sum += t.weight * rows[static_cast<size_t>(t.index) * toStride + b];
            to[b] = Weighed(sum);
        }
    }
    return out;
}

} // namespace slideshow
