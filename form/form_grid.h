// The ruled frame of the form for a character cell of c by h units.
#pragma once

#include <vector>

namespace form {

// A straight line from (x1, y1) towards (x2, y2); like a pen moved there, the end point itself
// is not drawn.
struct GridLine {
    int x1, y1, x2, y2;
    bool operator==(const GridLine&) const = default;
};

// x(n) = n c - c/2 and y(n) = n h + h/2, the right edge at 86 c + c/2: a box around each of the
// label lines 14 to 28, dividers between label and value columns and between the two option
// columns, the frame closed below line 49.
std::vector<GridLine> FormGridLines(int c, int h);

}  // namespace form
