#include "Placement.h"

WindowOrigin CenterInWorkArea(int workLeft, int workTop, int workRight, int workBottom, int windowWidth,
                              int windowHeight)
{
    return WindowOrigin{workLeft + (workRight - workLeft - windowWidth) / 2,
                        workTop + (workBottom - workTop - windowHeight) / 2};
}
