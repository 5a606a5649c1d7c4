#pragma once

// Where the progress window goes: centred in the work area (which need not start at 0, 0 when the task
// bar stands at the top or the left), in signed arithmetic with halves rounded toward zero, so a
// window larger than the work area gets a negative offset.
struct WindowOrigin {
    int x, y;
};
WindowOrigin CenterInWorkArea(int workLeft, int workTop, int workRight, int workBottom, int windowWidth,
                              int windowHeight);

struct Extent {
    int width, height;
};

struct Area {
    int left, top, right, bottom;
};

// The progress window on a screen. Its template's font sets its size: at 96 DPI the client area is the picture's
// size within a few pixels, and the picture is drawn 1:1 as it is. At a higher DPI (Windows XP, and Vista and 7 in
// their default "XP style" scaling, give a program the real DPI) the window grows with its font, and the picture
// grows with it, at the font's scale and in its own proportions; on a screen too small for the window the picture
// and the window shrink to fit the work area. The window never stands above or left of the work area.
struct WindowLayout {
    Extent client;   // the client area the window gets
    bool scaled;     // the picture is drawn over the whole client area at that size (else 1:1, the window as made)
    WindowOrigin at; // the window's top-left corner
};

// `created`: the client area the template made; `frame`: what the window's border adds to it; `work`: the work
// area of the window's monitor.
WindowLayout LayOutWindow(Extent created, Extent frame, Area work, Extent picture);

// A coordinate of the picture (0..pictureSize) where the picture is drawn `drawnSize` long, rounded to the nearest
// pixel: the markers' rectangles and the controls go with the picture.
int ScaleCoordinate(int value, int drawnSize, int pictureSize);
