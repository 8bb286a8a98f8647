// Pure layout arithmetic of the hex-grid control: cell columns, derived values, caret point,
// hit test, pane texts and the caret-mark geometry. Everything is a function of the state.
//
// Cell columns of one row, from the left edge of the unscrolled content (A = address width,
// N = bytes per row):
//   0                 margin
//   1 .. A            address digits, A + 1 the letter h, A + 2 .. A + 4 blank
//   A + 5 + 3k        high digit of byte k, A + 6 + 3k low digit, A + 7 + 3k blank
//   3N + A + 7 + k    character of byte k; the scrollable width is 4N + A + 8 cells
#pragma once

#include <cstdint>
#include <string>

#include "quadrel/model/quadrel_state.h"

namespace quadrel {

struct Columns {
    int A;
    int N;

    explicit Columns(const State& s) : A(s.addressWidth), N(s.bytesPerRow) {}

    int HexStart() const { return A + 5; }
    int HexEnd() const { return 3 * N + A + 4; }
    int HexLeft(int k) const { return A + 5 + 3 * k; }
    int HexRight(int k) const { return A + 7 + 3 * k; }
    int CharStart() const { return 3 * N + A + 7; }
    int CharEnd() const { return 4 * N + A + 7; }
    int CharLeft(int k) const { return 3 * N + A + 7 + k; }
    int CharRight(int k) const { return 3 * N + A + 8 + k; }
    int ScrollWidth() const { return 4 * N + A + 8; }
};

int TotalRows(const State& s);
int RowsPerPage(int clientHeight, int cellHeight);
int HorizontalPage(int clientWidth, int cellWidth);
int HorizontalMax(const State& s);

// Pixel coordinates are computed wide and saturated so huge row numbers cannot overflow.
int SaturatePixel(long long v);
int CellLeft(const State& s, long long column);
int RowTop(const State& s, long long row);

// Where the caret is drawn for the current caret index, pane and nibble.
struct CaretPoint {
    int column;
    int x;
    int y;
};
CaretPoint CaretPlacementPoint(const State& s);

// Mouse point to caret index, pane and nibble.
struct Hit {
    int caret;
    bool hexPane;
    bool setsNibble;  // false: the nibble state stays as it was
    bool highNibble;
};
Hit HitTest(const State& s, int x, int y);

// The byte as the character pane shows it: control characters become a full stop.
inline std::uint8_t DisplayByte(std::uint8_t b) {
    return (b < 0x20 || b == 0x7F) ? '.' : b;
}

// The three texts of one paint. The strings keep their storage between paints and are sized to
// what the visible rows need, so no bytes-per-row and window-height combination can overrun them.
struct PaneTexts {
    int firstByte = 0;    // index of the first visible byte
    int endByte = 0;      // one past the last visible byte
    int rows = 0;         // text rows composed
    std::string address;  // per row: A hex digits, 'h', '\n'
    std::string hex;      // per byte: two digits and a blank; '\n' after each full row
    std::string chars;    // per byte: its character; "\r\n" after each full row
};
void ComposePaneTexts(const State& s, PaneTexts& out);

struct PixelRect {
    int left;
    int top;
    int right;
    int bottom;
};

// Pane text rectangles, client top to client bottom.
PixelRect AddressTextRect(const State& s);
PixelRect HexTextRect(const State& s);
PixelRect CharTextRect(const State& s);

// The caret's byte shown in the inactive pane with swapped colours (anchor == caret, size > 0).
struct MirrorCell {
    bool present = false;
    bool inHexPane = false;  // the mirror sits in the hex pane when the character pane is active
    PixelRect rect{};
    char text[3] = {};  // one character or two digits; blanks on the append position
};
MirrorCell ComputeMirrorCell(const State& s);

// Selection outline (anchor != caret, size > 0): per pane a rectangle, two rectangles, or one
// eight-edged closed outline. Hex pane figures come first.
struct Point {
    int x;
    int y;
};
struct Figure {
    bool rectangle = false;  // points[0] is top-left, points[1] bottom-right (exclusive)
    int count = 0;
    Point points[8]{};
};
struct Outline {
    int count = 0;
    Figure figures[4];
};
Outline ComputeSelectionOutline(const State& s);

}  // namespace quadrel
