// Keys, typing, mouse, scrolling, the wheel and the context menu on the model.
#include "tests/quadrel/model_fixture.h"

namespace quadrel::test {
namespace {

TEST_F(QuadrelModel, HexDigitsFillNibblesAndAdvance) {
    SetBytes({0x00, 0xFF});
    host.changes = 0;
    Type("4");
    EXPECT_EQ(Bytes()[0], 0x40);
    EXPECT_EQ(S().caret, 0);
    EXPECT_FALSE(S().highNibbleNext);
    Type("1");
    EXPECT_EQ(Bytes()[0], 0x41);
    EXPECT_EQ(S().caret, 1);
    EXPECT_TRUE(S().highNibbleNext);
    EXPECT_EQ(host.changes, 2);
    Type("Z g\t");
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{0x41, 0xFF}));
    EXPECT_EQ(host.changes, 2);
    Type("a");  // lower case counts, the low nibble stays
    EXPECT_EQ(Bytes()[1], 0xAF);
}

TEST_F(QuadrelModel, TypingOnAnEmptyControlGrowsIt) {
    host.changes = 0;
    Type("7");
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{0x70}));
    EXPECT_EQ(S().caret, 0);
    EXPECT_FALSE(S().highNibbleNext);
    EXPECT_EQ(S().addressWidth, 2);
    EXPECT_EQ(host.changes, 1);
}

TEST_F(QuadrelModel, TypingPastTheLastByteExtendsOneByteAtATime) {
    SetBytes({1, 2, 3});
    Select(2, 2);
    Type("99");
    EXPECT_EQ(S().caret, 3);
    EXPECT_EQ(S().anchor, 3);
    EXPECT_EQ(S().size, 3);
    Type("5");
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{1, 2, 0x99, 0x50}));
}

TEST_F(QuadrelModel, AFullBufferOverwritesItsLastByte) {
    SetBytes({1, 2, 3, 4});
    Send(QEM_CAPACITY, 4);
    Select(3, 3);
    Type("ab");
    EXPECT_EQ(S().caret, 3);  // the caret cannot pass the last place
    Type("c");
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{1, 2, 3, 0xCB}));
    EXPECT_EQ(S().size, 4);
}

TEST_F(QuadrelModel, ZeroCapacityTakesNoTyping) {
    Send(QEM_CAPACITY, 0);
    host.changes = 0;
    Type("1");
    EXPECT_EQ(S().size, 0);
    EXPECT_EQ(S().caret, 0);
    EXPECT_EQ(host.changes, 0);
}

TEST_F(QuadrelModel, CharacterPaneStoresTextAndSkipsControlCodes) {
    SetBytes({0, 0, 0});
    model.ButtonDown(Columns(S()).CharLeft(0) * 8 + 1, 1, false);
    ASSERT_FALSE(S().hexPaneActive);
    model.Char('Q');
    model.Char(0x20AC);  // low eight bits of the code
    model.Char('\b');
    model.Char('\r');
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{'Q', 0xAC, 0}));
    EXPECT_EQ(S().caret, 2);
}

TEST_F(QuadrelModel, ArrowsAndPagesMoveWithinTheData) {
    SetCount(10);
    Key(Key::kDown);
    EXPECT_EQ(S().caret, 9);
    Key(Key::kRight);
    EXPECT_EQ(S().caret, 10);  // the append position
    Key(Key::kRight);
    Key(Key::kDown);
    EXPECT_EQ(S().caret, 10);
    Key(Key::kUp);
    EXPECT_EQ(S().caret, 10);  // fewer than a row to go up
    Key(Key::kLeft);
    EXPECT_EQ(S().caret, 9);

    SetCount(100);
    Select(5, 5);
    Key(Key::kPageDown);
    EXPECT_EQ(S().caret, 100);
    SetCount(200);
    Select(170, 170);
    Key(Key::kPageUp);
    EXPECT_EQ(S().caret, 10);
    Key(Key::kPageUp);
    EXPECT_EQ(S().caret, 0);
    Key(Key::kLeft);
    EXPECT_EQ(S().caret, 0);
}

TEST_F(QuadrelModel, ShiftExtendsAndOtherKeysCollapse) {
    SetCount(30);
    Select(2, 2);
    Key(Key::kRight, true);
    Key(Key::kRight, true);
    Key(Key::kRight, true);
    EXPECT_EQ(S().anchor, 2);
    EXPECT_EQ(S().caret, 5);
    EXPECT_EQ(ComputeSelectionOutline(S()).count, 2);
    Key(Key::kLeft);
    EXPECT_EQ(S().anchor, 4);
    EXPECT_EQ(S().caret, 4);

    Select(3, 8);
    Key(Key::kHome);  // no movement, but the selection collapses
    EXPECT_EQ(S().anchor, 8);
    EXPECT_EQ(S().caret, 8);
    Select(3, 8);
    Key(Key::kOther, true);  // Shift on its own keeps it
    EXPECT_EQ(S().anchor, 3);
}

TEST_F(QuadrelModel, CtrlKeysActAloneAndIgnoreTheShiftRule) {
    SetCount(50);
    Select(3, 8);
    CtrlKey(Key::kLeft);
    EXPECT_EQ(S().anchor, 3);
    EXPECT_EQ(S().caret, 8);
    CtrlKey(Key::kEnd);
    EXPECT_EQ(S().anchor, 49);
    EXPECT_EQ(S().caret, 49);
    CtrlKey(Key::kHome);
    EXPECT_EQ(S().caret, 0);
    CtrlKey(Key::kA);
    EXPECT_EQ(S().anchor, 0);
    EXPECT_EQ(S().caret, 49);
    Select(1, 2);
    CtrlKey(Key::kX);
    EXPECT_EQ(host.clipboard, (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(S().size, 48);
    CtrlKey(Key::kV);
    EXPECT_EQ(S().size, 50);
    Select(0, 0);
    CtrlKey(Key::kC);
    EXPECT_EQ(host.clipboard, (std::vector<std::uint8_t>{0}));
}

TEST_F(QuadrelModel, DeleteAndBackspace) {
    SetCount(10);
    Select(5, 5);
    host.changes = 0;
    Key(Key::kBackspace);
    EXPECT_EQ(S().size, 9);
    EXPECT_EQ(Bytes()[4], 5);
    EXPECT_EQ(S().anchor, 4);
    EXPECT_EQ(S().caret, 4);
    Key(Key::kDelete);
    EXPECT_EQ(Bytes()[4], 6);
    EXPECT_EQ(host.changes, 2);
    Select(0, 0);
    Key(Key::kBackspace);
    EXPECT_EQ(S().size, 8);

    // On the append position Delete finds nothing stored; Backspace takes the last byte.
    CtrlKey(Key::kEnd);
    Key(Key::kRight);
    ASSERT_EQ(S().caret, 8);
    Key(Key::kDelete);
    EXPECT_EQ(S().size, 8);
    Key(Key::kBackspace);
    EXPECT_EQ(S().size, 7);
    EXPECT_EQ(S().caret, 6);
}

TEST_F(QuadrelModel, CaretScrollsIntoViewOnlyVertically) {
    model.SetClientSize(200, 64);  // exactly four rows
    SetCount(200);
    Select(48, 48);  // last visible row
    EXPECT_EQ(S().firstRow, 0);
    Key(Key::kDown);
    EXPECT_EQ(S().firstRow, 1);
    Key(Key::kPageDown);  // byte 200 sits in row 12, shown as the last of rows 9..12
    EXPECT_EQ(S().firstRow, 9);
    EXPECT_TRUE(host.repaints > 0);
    CtrlKey(Key::kHome);
    EXPECT_EQ(S().firstRow, 0);
    EXPECT_EQ(S().firstColumn, 0);
}

TEST_F(QuadrelModel, NothingScrollsBeforeTheControlHasASize) {
    MemoryHost h;
    Model fresh(h);
    std::vector<std::uint8_t> bytes(3000);
    fresh.Message(QEM_SETDATA, reinterpret_cast<WPARAM>(bytes.data()), 3000);
    fresh.Message(QEM_FONTHEIGHT, 14, 0);
    EXPECT_EQ(fresh.state().firstRow, 0);
    fresh.SetClientSize(600, 300);
    fresh.PrepareLayout();
    EXPECT_EQ(fresh.state().firstRow, 0);
    fresh.KeyDown(Key::kEnd, true, false);
    EXPECT_GT(fresh.state().firstRow, 0);
}

TEST_F(QuadrelModel, FocusShowsTheCaretOnlyWhileInView) {
    model.SetClientSize(200, 64);
    SetCount(200);
    model.SetFocus(true);
    EXPECT_TRUE(S().caretShown);
    EXPECT_EQ(S().caretX, Columns(S()).HexLeft(0) * 8);
    Send(WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_FALSE(S().caretShown);
    Send(WM_VSCROLL, SB_PAGEUP);
    EXPECT_TRUE(S().caretShown);
    model.SetFocus(false);
    EXPECT_FALSE(S().caretShown);
}

TEST_F(QuadrelModel, ScrollCodesMoveWithinTheRange) {
    model.SetClientSize(200, 64);
    SetCount(200);  // 13 rows, 4 per page: positions 0..10
    Send(WM_VSCROLL, SB_LINEUP);
    EXPECT_EQ(S().firstRow, 0);
    Send(WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(S().firstRow, 4);
    Send(WM_VSCROLL, MakeWParam(SB_THUMBTRACK, 99));
    EXPECT_EQ(S().firstRow, 10);
    Send(WM_VSCROLL, MakeWParam(SB_THUMBPOSITION, 2));
    EXPECT_EQ(S().firstRow, 10);
    Send(WM_HSCROLL, SB_LINEDOWN);
    EXPECT_EQ(S().firstColumn, 1);
    Send(WM_HSCROLL, SB_PAGEUP);
    EXPECT_EQ(S().firstColumn, 0);
}

TEST_F(QuadrelModel, WheelScrollsOnePagePerNotch) {
    model.SetClientSize(200, 64);
    SetCount(200);
    model.Wheel(-120);
    EXPECT_EQ(S().firstRow, 4);
    model.Wheel(-720);
    EXPECT_EQ(S().firstRow, 8);
    model.Wheel(120);
    EXPECT_EQ(S().firstRow, 4);
}

TEST_F(QuadrelModel, MouseSelectsByDragAndShiftClickExtends) {
    model.SetClientSize(640, 160);
    SetCount(100);
    const Columns c(S());
    model.ButtonDown(c.HexLeft(3) * 8, 16 + 2, false);
    EXPECT_TRUE(S().dragging);
    model.MouseMove(c.HexLeft(5) * 8, 3 * 16 + 2, true);
    EXPECT_EQ(S().anchor, 19);
    EXPECT_EQ(S().caret, 53);
    model.MouseMove(c.HexLeft(7) * 8, 3 * 16 + 2, false);  // button no longer held: ignored
    EXPECT_EQ(S().caret, 53);
    model.ButtonUp(c.HexLeft(6) * 8, 3 * 16 + 2);
    EXPECT_FALSE(S().dragging);
    EXPECT_EQ(S().caret, 54);
    model.MouseMove(0, 0, true);  // not dragging any more
    EXPECT_EQ(S().caret, 54);

    model.ButtonDown(c.HexLeft(1) * 8, 2, true);
    EXPECT_EQ(S().anchor, 19);
    EXPECT_EQ(S().caret, 1);
    model.ButtonUp(c.HexLeft(1) * 8, 2);
}

TEST_F(QuadrelModel, DraggingBelowTheViewScrollsDown) {
    model.SetClientSize(640, 64);
    SetCount(200);
    model.ButtonDown(Columns(S()).HexLeft(0) * 8, 2, false);
    model.MouseMove(Columns(S()).HexLeft(0) * 8, 64 + 5, true);
    EXPECT_EQ(S().caret, 64);
    EXPECT_EQ(S().firstRow, 1);
    model.MouseMove(Columns(S()).HexLeft(0) * 8, -5, true);  // less than a row above: no scroll
    EXPECT_EQ(S().firstRow, 1);
    model.MouseMove(Columns(S()).HexLeft(0) * 8, -17, true);
    EXPECT_EQ(S().firstRow, 0);
    model.ButtonUp(0, 0);
}

TEST_F(QuadrelModel, ContextMenuGreysByReadOnlyAndSelection) {
    SetCount(10);
    MenuItem items[kMenuItemCount];
    model.ContextMenu(items);
    EXPECT_STREQ(items[0].text, "Cu&t");
    EXPECT_STREQ(items[5].text, "Clear &All");
    EXPECT_EQ(items[4].command, ID_EDIT_SELECT_ALL);
    const bool noSelection[] = {false, false, true, false, true, false};
    for (int i = 0; i < kMenuItemCount; ++i) EXPECT_EQ(items[i].enabled, noSelection[i]) << i;

    Select(1, 4);
    model.ContextMenu(items);
    for (const MenuItem& item : items) EXPECT_TRUE(item.enabled) << item.text;

    Send(QEM_READONLY, 1);
    model.ContextMenu(items);
    const bool readOnly[] = {false, true, false, false, true, false};
    for (int i = 0; i < kMenuItemCount; ++i) EXPECT_EQ(items[i].enabled, readOnly[i]) << i;
}

}  // namespace
}  // namespace quadrel::test
