#pragma once

// Where the progress window goes: centred in the work area (which need not start at 0, 0 when the task
// bar stands at the top or the left), in signed arithmetic with halves rounded toward zero, so a
// window larger than the work area gets a negative offset.
struct WindowOrigin {
    int x, y;
};
WindowOrigin CenterInWorkArea(int workLeft, int workTop, int workRight, int workBottom, int windowWidth,
                              int windowHeight);
