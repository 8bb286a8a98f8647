// Drawing the form on any QPainter: the view, the printed page and the picture all go through
// here, with a fixed-pitch font whose "0" sets the character cell.
#pragma once

#include <QFont>
#include <QString>
#include <string_view>

class QPainter;
class QRect;

namespace form {

inline constexpr int kScreenPoints = 9;    // the view and the printed page
inline constexpr int kPicturePoints = 10;  // the saved picture
inline constexpr int kPictureDpi = 96;     // the picture is drawn as on a usual screen
inline constexpr int kFormColumns = 100;   // cells across
inline constexpr int kPageRows = 100;      // cells down, view and page
inline constexpr int kPictureRows = 70;    // cells down, picture (and the view's bitmap)
inline constexpr int kTabColumns = 8;

// "Courier New" at `points` for a surface of `dpi` dots per inch, or its installed
// metric-compatible stand-in.
QFont FormFont(int points, int dpi, bool antialiased = true);

struct Cell {
    int c = 0;  // width of "0"
    int h = 0;  // line height
};
// The cell of the painter's current font on its device.
Cell MeasureCell(const QPainter& painter);

// The ruled frame with the painter's pen.
void DrawFormGrid(QPainter& painter, int c, int h);

// The form text in `area`: one line per row of h from the top, each centred horizontally, tabs
// expanded, every character in a cell of its own so that columns stay exact.
void DrawFormText(QPainter& painter, std::string_view text, const QRect& area, Cell cell);

// Measures the cell with the painter's font, draws the grid with a one-pixel black pen and the
// text in 100 c by `rows` h. Returns the cell.
Cell PaintForm(QPainter& painter, std::string_view text, int rows);

// A line of 8-bit form text as shown: UTF-8 when it is valid, else one character per byte.
QString FormLineText(std::string_view line);

}  // namespace form
