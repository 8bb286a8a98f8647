// Layout arithmetic, pane texts, hit test and the caret-mark geometry.
#include <tuple>

#include "tests/quadrel/model_fixture.h"

namespace quadrel::test {
namespace {

TEST_F(QuadrelModel, CellColumnsAndScrollRangesFollowAddressAndRowWidth) {
    Send(QEM_LAYOUT, 0x00040000);
    SetCount(20);
    const Columns c(S());
    EXPECT_EQ(c.HexEnd(), 56);
    EXPECT_EQ(c.CharStart(), 59);
    EXPECT_EQ(S().horizontal.max, 76);
    EXPECT_EQ(S().horizontal.page, 80);  // 640 / 8
    PaneTexts t;
    model.PrepareLayout();
    ComposePaneTexts(S(), t);
    EXPECT_EQ(t.address, "0000h\n0010h\n");
}

TEST_F(QuadrelModel, RowsPerPageCountsPartlyVisibleRows) {
    model.SetClientSize(300, 100);
    SetCount(33);
    EXPECT_EQ(S().rowsPerPage, 7);
    EXPECT_EQ(S().vertical.max, 3);
    EXPECT_EQ(S().vertical.page, 7);
    EXPECT_EQ(RowsPerPage(96, 16), 6);
    EXPECT_EQ(RowsPerPage(0, 16), 0);
}

TEST_F(QuadrelModel, PaneTextsCoverOnlyTheVisibleRows) {
    model.SetClientSize(640, 40);  // three rows at 16 pixels
    std::vector<std::uint8_t> bytes(100);
    for (int i = 0; i < 100; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    bytes[17] = 0x7F;
    bytes[18] = 0x80;
    bytes[19] = 'A';
    SetBytes(bytes);
    Send(WM_VSCROLL, SB_LINEDOWN);
    PaneTexts t;
    ComposePaneTexts(S(), t);
    EXPECT_EQ(t.firstByte, 16);
    EXPECT_EQ(t.endByte, 64);
    EXPECT_EQ(t.address, "10h\n20h\n30h\n");
    EXPECT_EQ(t.hex.substr(0, 12), "10 7F 80 41 ");
    EXPECT_EQ(t.hex.size(), 48u * 3 + 3);
    EXPECT_EQ(t.chars.substr(0, 4),
              "..\x80"
              "A");
    EXPECT_EQ(t.chars.substr(16, 2), "\r\n");

    // A partial last row ends without a line break.
    Send(WM_VSCROLL, MakeWParam(SB_THUMBTRACK, 5));
    ComposePaneTexts(S(), t);
    EXPECT_EQ(t.firstByte, 80);
    EXPECT_EQ(t.endByte, 100);
    EXPECT_EQ(t.hex.back(), ' ');
    EXPECT_EQ(t.chars.back(), 'c');
}

TEST_F(QuadrelModel, WideRowsInATallWindowComposeEverythingVisible) {
    model.SetClientSize(4000, 4000);
    Send(QEM_LAYOUT, 0x00100100);  // 256 bytes per row, 16-digit addresses
    SetCount(65536);
    PaneTexts t;
    ComposePaneTexts(S(), t);
    const int rows = S().rowsPerPage;
    ASSERT_GT(rows * (3 * 256 + 1), 8192);  // more than a fixed 8 KiB scratch would hold
    EXPECT_EQ(t.rows, rows);
    EXPECT_EQ(t.hex.size(), static_cast<std::size_t>(rows) * (3 * 256 + 1));
    EXPECT_EQ(t.address.size(), static_cast<std::size_t>(rows) * 18);
    EXPECT_EQ(t.address.substr(18, 18), "0000000000000100h\n");
}

TEST_F(QuadrelModel, HitTestMapsCellsToBytePaneAndNibble) {
    SetCount(40);
    model.PrepareLayout();
    const int cw = 8, ch = 16;
    const Columns c(S());
    auto at = [&](int col, int row) { return HitTest(S(), col * cw + 1, row * ch + 1); };

    Hit h = at(c.HexLeft(2) + 2, 0);  // the blank after byte 2
    EXPECT_EQ(h.caret, 3);
    EXPECT_TRUE(h.hexPane);
    EXPECT_TRUE(h.highNibble);
    h = at(c.HexLeft(2) + 1, 0);
    EXPECT_EQ(h.caret, 2);
    EXPECT_FALSE(h.highNibble);
    h = at(2, 1);  // address column of row 1
    EXPECT_EQ(h.caret, 16);
    EXPECT_TRUE(h.hexPane);
    EXPECT_TRUE(h.highNibble);
    h = at(c.CharStart() - 1, 1);  // gap between the panes
    EXPECT_EQ(h.caret, 16);
    EXPECT_FALSE(h.hexPane);
    EXPECT_FALSE(h.setsNibble);
    h = at(c.CharStart() + 30, 2);  // right of the last character of the short last row
    EXPECT_EQ(h.caret, 39);
    EXPECT_FALSE(h.hexPane);
    h = at(c.CharStart() + 30, 0);  // right of a full row: its last byte, not the next row
    EXPECT_EQ(h.caret, 15);
    h = at(c.CharStart() + 16, 1);  // the cell just past the row
    EXPECT_EQ(h.caret, 31);
    h = at(c.HexLeft(12), 2);  // a hex cell beyond the data
    EXPECT_EQ(h.caret, 39);
    EXPECT_FALSE(h.highNibble);
    h = at(c.HexLeft(0), 30);  // below the last row
    EXPECT_EQ(h.caret, 32);
    h = HitTest(S(), 100, -15);  // less than a row above: truncation keeps row 0
    EXPECT_EQ(h.caret / 16, 0);

    // An empty control has no byte to finish: a hex-pane click leaves the high nibble next.
    SetCount(0);
    Send(WM_COMMAND, ID_EDIT_CLEAR_ALL);
    ASSERT_EQ(S().size, 0);
    for (int col : {c.HexLeft(0), c.HexLeft(0) + 1, c.HexLeft(3) + 1, c.HexLeft(5) + 2}) {
        h = at(col, 0);
        EXPECT_EQ(h.caret, 0) << col;
        EXPECT_TRUE(h.hexPane) << col;
        EXPECT_TRUE(h.highNibble) << col;
    }
    model.ButtonDown(c.HexLeft(2) * cw + cw + 1, 1, false);
    model.ButtonUp(c.HexLeft(2) * cw + cw + 1, 1);
    Type("7F");
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{0x7F}));
}

TEST_F(QuadrelModel, MirrorCellSitsInTheInactivePane) {
    SetBytes({0x41, 0x0A, 0x43});
    Select(1, 1);
    MirrorCell m = ComputeMirrorCell(S());
    ASSERT_TRUE(m.present);
    EXPECT_FALSE(m.inHexPane);
    const Columns c(S());
    EXPECT_EQ(m.rect.left, c.CharLeft(1) * 8);
    EXPECT_EQ(m.rect.right - m.rect.left, 8);
    EXPECT_STREQ(m.text, ".");

    model.ButtonDown(c.CharLeft(2) * 8 + 2, 2, false);  // a click activates the character pane
    m = ComputeMirrorCell(S());
    EXPECT_TRUE(m.inHexPane);
    EXPECT_EQ(m.rect.left, c.HexLeft(2) * 8);
    EXPECT_EQ(m.rect.right - m.rect.left, 16);
    EXPECT_STREQ(m.text, "43");

    Key(Key::kRight);  // onto the append position: blanks
    m = ComputeMirrorCell(S());
    EXPECT_STREQ(m.text, "  ");
    Key(Key::kLeft, true);  // a selection replaces the mirror
    EXPECT_FALSE(ComputeMirrorCell(S()).present);
}

TEST_F(QuadrelModel, SelectionOutlineHasThreeShapes) {
    SetCount(64);
    const Columns c(S());
    Select(2, 5);
    Outline o = ComputeSelectionOutline(S());
    ASSERT_EQ(o.count, 2);  // one rectangle per pane
    EXPECT_TRUE(o.figures[0].rectangle);
    EXPECT_EQ(o.figures[0].points[0].x, c.HexLeft(2) * 8);
    EXPECT_EQ(o.figures[0].points[1].x, c.HexRight(5) * 8);
    EXPECT_EQ(o.figures[1].points[0].x, c.CharLeft(2) * 8);
    EXPECT_EQ(o.figures[1].points[1].x, c.CharRight(5) * 8);
    EXPECT_EQ(o.figures[1].points[1].y, 16);

    // Wrapping once: two rectangles per pane while the selection holds at most a row's worth
    // of bytes (14 to 29 is exactly 16), one eight-edged outline from one byte more.
    for (const auto& [lo, hi, figures] : {std::tuple{14, 17, 4}, {14, 29, 4}, {14, 30, 2}}) {
        Select(lo, hi);
        o = ComputeSelectionOutline(S());
        ASSERT_EQ(o.count, figures) << lo << ".." << hi;
        EXPECT_EQ(o.figures[0].rectangle, figures == 4);
    }
    Select(14, 29);
    o = ComputeSelectionOutline(S());
    EXPECT_EQ(o.figures[0].points[1].x, c.HexEnd() * 8);
    EXPECT_EQ(o.figures[1].points[0].x, c.HexStart() * 8);
    EXPECT_EQ(o.figures[1].points[0].y, 16);
    EXPECT_EQ(o.figures[1].points[1].x, c.HexRight(13) * 8);

    Select(40, 14);  // one eight-edged outline per pane
    o = ComputeSelectionOutline(S());
    ASSERT_EQ(o.count, 2);
    const Figure& f = o.figures[0];
    EXPECT_FALSE(f.rectangle);
    ASSERT_EQ(f.count, 8);
    EXPECT_EQ(f.points[0].x, c.HexLeft(14) * 8);
    EXPECT_EQ(f.points[0].y, 0);
    EXPECT_EQ(f.points[3].y, 3 * 16);  // bottom of row 2
    EXPECT_EQ(f.points[4].x, c.HexRight(8) * 8);
    EXPECT_EQ(f.points[6].x, c.HexEnd() * 8);
    EXPECT_EQ(o.figures[1].points[0].x, c.CharLeft(14) * 8);
}

TEST_F(QuadrelModel, GeometryFollowsTheScrollPosition) {
    model.SetClientSize(200, 48);
    SetCount(200);
    Send(WM_HSCROLL, SB_PAGEDOWN);
    Send(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(S().firstColumn, 10);
    EXPECT_EQ(S().firstRow, 1);
    Select(16, 16);
    const MirrorCell m = ComputeMirrorCell(S());
    EXPECT_EQ(m.rect.top, 0);
    EXPECT_EQ(m.rect.left, (Columns(S()).CharLeft(0) - 10) * 8);
}

}  // namespace
}  // namespace quadrel::test
