#include "quadrel/model/layout.h"

#include <algorithm>
#include <climits>

namespace quadrel {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr long long kPixelLimit = 1LL << 30;

}  // namespace

int MinAddressWidth(long long size) {
    if (size < 0x100) return 2;
    if (size < 0x1000) return 3;
    if (size < 0x10000) return 4;
    if (size < 0x100000) return 5;
    if (size < 0x1000000) return 6;
    if (size < 0x10000000) return 7;
    return 8;
}

int ScrollBar::MaxPos() const {
    const long long top = page > 0 ? static_cast<long long>(max) - page + 1 : max;
    return static_cast<int>(std::max<long long>(top, min));
}

int ScrollBar::Clamp(long long wanted) const {
    return static_cast<int>(std::clamp<long long>(wanted, min, MaxPos()));
}

int ScrollBar::SetRange(int newMin, int newMax, int newPage) {
    min = newMin;
    max = std::max(newMin, newMax);
    page = std::max(0, newPage);
    pos = Clamp(pos);
    return pos;
}

int TotalRows(const State& s) {
    if (s.size <= 0) return 0;
    return static_cast<int>((static_cast<long long>(s.size) + s.bytesPerRow - 1) / s.bytesPerRow);
}

int RowsPerPage(int clientHeight, int cellHeight) {
    if (clientHeight <= 0 || cellHeight <= 0) return 0;
    return static_cast<int>((static_cast<long long>(clientHeight) + cellHeight - 1) / cellHeight);
}

int HorizontalPage(int clientWidth, int cellWidth) {
    return RowsPerPage(clientWidth, cellWidth);
}

int HorizontalMax(const State& s) {
    return s.addressWidth + 4 * s.bytesPerRow + 8;
}

int SaturatePixel(long long v) {
    return static_cast<int>(std::clamp(v, -kPixelLimit, kPixelLimit));
}

int CellLeft(const State& s, long long column) {
    return SaturatePixel((column - s.firstColumn) * s.cellWidth);
}

int RowTop(const State& s, long long row) {
    return SaturatePixel((row - s.firstRow) * s.cellHeight);
}

CaretPoint CaretPlacementPoint(const State& s) {
    const Columns c(s);
    const int k = s.caret % s.bytesPerRow;
    int column = s.hexPaneActive ? c.HexLeft(k) + (s.highNibbleNext ? 0 : 1) : c.CharLeft(k);
    return {column, CellLeft(s, column), RowTop(s, s.caret / s.bytesPerRow)};
}

Hit HitTest(const State& s, int x, int y) {
    const Columns c(s);
    const int N = s.bytesPerRow;
    const int cw = std::max(1, s.cellWidth);
    const int ch = std::max(1, s.cellHeight);
    const long long col = static_cast<long long>(s.firstColumn) + x / cw;
    long long row = static_cast<long long>(s.firstRow) + y / ch;
    const int total = TotalRows(s);
    if (row < 0) row = 0;
    if (row >= total) row = std::max(total - 1, 0);
    const long long rowStart = row * N;
    const int last = std::max(s.size - 1, 0);

    Hit hit{static_cast<int>(rowStart), true, true, true};
    if (col < c.HexStart()) return hit;
    if (col < c.HexEnd()) {
        const long long k = col - c.HexStart();
        long long byte = k / 3;
        if (k % 3 == 1) hit.highNibble = false;
        if (k % 3 == 2) ++byte;
        if (rowStart + byte < s.size) {
            hit.caret = static_cast<int>(rowStart + byte);
        } else {
            // Beyond the data the last byte's low digit is next; an empty control has no byte
            // to finish, so the first digit typed starts a new one.
            hit.caret = last;
            hit.highNibble = s.size == 0;
        }
        return hit;
    }
    hit.hexPane = false;
    hit.setsNibble = false;
    if (col < c.CharStart()) return hit;
    const long long j = std::min<long long>(col - c.CharStart(), N - 1);
    hit.caret = rowStart + j < s.size ? static_cast<int>(rowStart + j) : last;
    return hit;
}

void ComposePaneTexts(const State& s, PaneTexts& out) {
    const int N = s.bytesPerRow;
    const int A = s.addressWidth;
    out.address.clear();
    out.hex.clear();
    out.chars.clear();
    out.firstByte = out.endByte = 0;
    out.rows = 0;
    if (s.size <= 0 || s.rowsPerPage <= 0) return;

    const long long first = static_cast<long long>(s.firstRow) * N;
    const long long end =
        std::min<long long>(s.size, (static_cast<long long>(s.firstRow) + s.rowsPerPage) * N);
    if (first >= end) return;
    const int count = static_cast<int>(end - first);
    const int rows = (count + N - 1) / N;
    out.firstByte = static_cast<int>(first);
    out.endByte = static_cast<int>(end);
    out.rows = rows;

    // Exact sizes up front: the writes below index only inside these lengths.
    out.address.resize(static_cast<std::size_t>(rows) * (A + 2));
    out.hex.resize(static_cast<std::size_t>(count) * 3 + count / N);
    out.chars.resize(static_cast<std::size_t>(count) + 2 * (count / N));

    char* a = out.address.data();
    for (int r = 0; r < rows; ++r) {
        unsigned long long index =
            static_cast<unsigned long long>(first) + static_cast<unsigned long long>(r) * N;
        for (int d = A - 1; d >= 0; --d) {
            a[d] = kHexDigits[index & 0xF];
            index >>= 4;
        }
        a[A] = 'h';
        a[A + 1] = '\n';
        a += A + 2;
    }

    const std::uint8_t* bytes = s.data.data() + first;
    char* h = out.hex.data();
    char* t = out.chars.data();
    int column = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        h[0] = kHexDigits[b >> 4];
        h[1] = kHexDigits[b & 0xF];
        h[2] = ' ';
        h += 3;
        *t++ = static_cast<char>(DisplayByte(b));
        if (++column == N) {
            column = 0;
            *h++ = '\n';
            *t++ = '\r';
            *t++ = '\n';
        }
    }
}

PixelRect AddressTextRect(const State& s) {
    const int left = CellLeft(s, 1);
    return {left, 0,
            SaturatePixel(static_cast<long long>(left) +
                          static_cast<long long>(s.addressWidth + 1) * s.cellWidth),
            s.clientHeight};
}

PixelRect HexTextRect(const State& s) {
    const Columns c(s);
    return {CellLeft(s, c.HexStart()), 0, CellLeft(s, c.HexStart() + 3 * s.bytesPerRow - 1),
            s.clientHeight};
}

PixelRect CharTextRect(const State& s) {
    const Columns c(s);
    return {CellLeft(s, c.CharStart()), 0, CellLeft(s, c.CharEnd()), s.clientHeight};
}

MirrorCell ComputeMirrorCell(const State& s) {
    MirrorCell m;
    if (s.size <= 0 || s.anchor != s.caret) return m;
    const Columns c(s);
    const int k = s.caret % s.bytesPerRow;
    const long long row = s.caret / s.bytesPerRow;
    const bool onData = s.caret >= 0 && s.caret < s.size;
    const std::uint8_t b = onData ? s.data[static_cast<std::size_t>(s.caret)] : 0;
    m.present = true;
    m.rect.top = RowTop(s, row);
    m.rect.bottom = RowTop(s, row + 1);
    if (s.hexPaneActive) {
        m.inHexPane = false;
        m.rect.left = CellLeft(s, c.CharLeft(k));
        m.rect.right = CellLeft(s, c.CharLeft(k) + 1);
        m.text[0] = onData ? static_cast<char>(DisplayByte(b)) : ' ';
    } else {
        m.inHexPane = true;
        m.rect.left = CellLeft(s, c.HexLeft(k));
        m.rect.right = CellLeft(s, c.HexLeft(k) + 2);
        m.text[0] = onData ? kHexDigits[b >> 4] : ' ';
        m.text[1] = onData ? kHexDigits[b & 0xF] : ' ';
    }
    return m;
}

namespace {

struct PaneEdges {
    long long (*left)(const Columns&, int);
    long long (*right)(const Columns&, int);
    long long start;
    long long end;
};

void AddRectangle(const State& s, Outline& o, long long l, long long r, long long row) {
    Figure& f = o.figures[o.count++];
    f.rectangle = true;
    f.count = 2;
    f.points[0] = {CellLeft(s, l), RowTop(s, row)};
    f.points[1] = {CellLeft(s, r), RowTop(s, row + 1)};
}

void AddPaneFigures(const State& s, Outline& o, const PaneEdges& e, int lo, int hi) {
    const Columns c(s);
    const int N = s.bytesPerRow;
    const long long r0 = lo / N, c0 = lo % N, r1 = hi / N, c1 = hi % N;
    const long long left0 = e.left(c, static_cast<int>(c0));
    const long long right1 = e.right(c, static_cast<int>(c1));
    if (r0 == r1) {
        AddRectangle(s, o, left0, right1, r0);
        return;
    }
    if (hi - lo < N) {
        AddRectangle(s, o, left0, e.end, r0);
        AddRectangle(s, o, e.start, right1, r1);
        return;
    }
    Figure& f = o.figures[o.count++];
    f.rectangle = false;
    f.count = 8;
    const int top0 = RowTop(s, r0), bottom0 = RowTop(s, r0 + 1);
    const int top1 = RowTop(s, r1), bottom1 = RowTop(s, r1 + 1);
    const int xLeft0 = CellLeft(s, left0), xStart = CellLeft(s, e.start);
    const int xRight1 = CellLeft(s, right1), xEnd = CellLeft(s, e.end);
    f.points[0] = {xLeft0, top0};
    f.points[1] = {xLeft0, bottom0};
    f.points[2] = {xStart, bottom0};
    f.points[3] = {xStart, bottom1};
    f.points[4] = {xRight1, bottom1};
    f.points[5] = {xRight1, top1};
    f.points[6] = {xEnd, top1};
    f.points[7] = {xEnd, top0};
}

}  // namespace

Outline ComputeSelectionOutline(const State& s) {
    Outline o;
    if (s.size <= 0 || s.anchor == s.caret) return o;
    const Columns c(s);
    const int lo = std::max(0, std::min(s.anchor, s.caret));
    const int hi = std::max(0, std::max(s.anchor, s.caret));
    const PaneEdges hex{[](const Columns& cc, int k) -> long long { return cc.HexLeft(k); },
                        [](const Columns& cc, int k) -> long long { return cc.HexRight(k); },
                        c.HexStart(), c.HexEnd()};
    const PaneEdges chars{[](const Columns& cc, int k) -> long long { return cc.CharLeft(k); },
                          [](const Columns& cc, int k) -> long long { return cc.CharRight(k); },
                          c.CharStart(), c.CharEnd()};
    AddPaneFigures(s, o, hex, lo, hi);
    AddPaneFigures(s, o, chars, lo, hi);
    return o;
}

}  // namespace quadrel
