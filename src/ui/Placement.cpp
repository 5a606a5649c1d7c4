#include "Placement.h"

#include <algorithm>
#include <cstdlib>

namespace {
// A client area this close to the picture's size shows it 1:1 (at 96 DPI the template comes out 677 x 420 for a
// picture of 680 x 420: its right 3 columns, white, are not seen); scaling would blur it for nothing.
constexpr int kFewPixels = 4;
} // namespace

WindowOrigin CenterInWorkArea(int workLeft, int workTop, int workRight, int workBottom, int windowWidth,
                              int windowHeight)
{
    return WindowOrigin{workLeft + (workRight - workLeft - windowWidth) / 2,
                        workTop + (workBottom - workTop - windowHeight) / 2};
}

int ScaleCoordinate(int value, int drawnSize, int pictureSize)
{
    if (pictureSize <= 0 || value < 0)
        return value;
    return static_cast<int>((2LL * value * drawnSize + pictureSize) / (2LL * pictureSize));
}

WindowLayout LayOutWindow(Extent created, Extent frame, Area work, Extent picture)
{
    const int roomWidth = work.right - work.left - frame.width;
    const int roomHeight = work.bottom - work.top - frame.height;
    // The picture's scale follows the font's height, which the client area's height follows; then the room.
    double scale = picture.height > 0 ? static_cast<double>(created.height) / picture.height : 1.0;
    scale = std::min({scale, static_cast<double>(roomWidth) / picture.width,
                      static_cast<double>(roomHeight) / picture.height});
    Extent client{std::max(1, static_cast<int>(picture.width * scale + 0.5)),
                  std::max(1, static_cast<int>(picture.height * scale + 0.5))};
    const bool fits = created.width <= roomWidth && created.height <= roomHeight;
    const bool scaled = !fits || std::abs(client.width - created.width) > kFewPixels ||
                        std::abs(client.height - created.height) > kFewPixels;
    if (!scaled)
        client = created;
    const WindowOrigin centred = CenterInWorkArea(work.left, work.top, work.right, work.bottom,
                                                  client.width + frame.width, client.height + frame.height);
    return WindowLayout{client, scaled, WindowOrigin{std::max(centred.x, work.left), std::max(centred.y, work.top)}};
}
