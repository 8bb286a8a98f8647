// The control's message interface: data, selection, layout, colours, sums and capacity.
#include "tests/quadrel/model_fixture.h"

namespace quadrel::test {
namespace {

TEST_F(QuadrelModel, NewControlStartsEmptyWithDefaults) {
    EXPECT_EQ(Send(QEM_GETDATA), 0);
    EXPECT_EQ(Send(QEM_CAPACITY, 0, 1), 65536);
    EXPECT_EQ(Send(QEM_LAYOUT, 0, 1), 16);
    EXPECT_EQ(Send(QEM_FONTHEIGHT, 0, 1), 16);
    EXPECT_EQ(Send(QEM_READONLY, 0, 1), 0);
    EXPECT_EQ(S().addressWidth, 2);
    EXPECT_TRUE(S().hexPaneActive);
    EXPECT_TRUE(S().highNibbleNext);
}

TEST_F(QuadrelModel, SetDataKeepsCapacityWidensAddressAndNotifiesOnce) {
    EXPECT_EQ(SetCount(70000), 65536);
    EXPECT_EQ(S().size, 65536);
    EXPECT_EQ(S().addressWidth, 5);
    EXPECT_EQ(host.changes, 1);
    EXPECT_EQ(S().caret, 0);
    EXPECT_EQ(S().anchor, 0);
}

TEST_F(QuadrelModel, SetDataWithNothingToSetChangesNothing) {
    SetCount(3);
    const std::uint8_t b = 1;
    EXPECT_EQ(Send(QEM_SETDATA, 0, 10), 3);
    EXPECT_EQ(Send(QEM_SETDATA, reinterpret_cast<WPARAM>(&b), 0), 3);
    EXPECT_EQ(Send(QEM_SETDATA, reinterpret_cast<WPARAM>(&b), -4), 3);
    EXPECT_EQ(host.changes, 1);
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{0, 1, 2}));
}

TEST_F(QuadrelModel, GetDataCopiesTheLesserOfMaximumAndSize) {
    SetBytes({9, 8, 7, 6});
    std::uint8_t out[10] = {};
    EXPECT_EQ(Send(QEM_GETDATA, reinterpret_cast<WPARAM>(out), 10), 4);
    EXPECT_EQ(out[3], 6);
    EXPECT_EQ(out[4], 0);
    EXPECT_EQ(Send(QEM_GETDATA, reinterpret_cast<WPARAM>(out), 2), 2);
    EXPECT_EQ(Send(QEM_GETDATA, 0, 10), 4);
    EXPECT_EQ(Send(QEM_GETDATA, reinterpret_cast<WPARAM>(out), 0), 4);
}

TEST_F(QuadrelModel, LayoutSetsRowWidthAndAddressWidthWithinBounds) {
    EXPECT_EQ(Send(QEM_LAYOUT, 0x00040000), 16);
    EXPECT_EQ(S().addressWidth, 4);
    EXPECT_EQ(Send(QEM_LAYOUT, 0x00010300), 256);
    EXPECT_EQ(S().addressWidth, 2);                   // 1 asked, raised to the minimum
    EXPECT_EQ(Send(QEM_LAYOUT, 0x00200008, 1), 256);  // get only
    EXPECT_EQ(S().addressWidth, 2);
    SetCount(0x2000);
    Send(QEM_LAYOUT, 0x00030000);
    EXPECT_EQ(S().addressWidth, 4);
    Send(QEM_LAYOUT, 0x00FF0000);
    EXPECT_EQ(S().addressWidth, 16);
}

TEST_F(QuadrelModel, AddressWidthGrowsWithSizeButNeverShrinksByItself) {
    SetCount(0x100);
    EXPECT_EQ(S().addressWidth, 3);
    Send(WM_COMMAND, ID_EDIT_CLEAR_ALL);
    EXPECT_EQ(S().size, 0);
    EXPECT_EQ(S().addressWidth, 3);
}

TEST_F(QuadrelModel, SelectionSetClampsAndReportsTheCount) {
    SetCount(10);
    QuadrelRange r{-5, 0x7FFFFFFF};
    EXPECT_EQ(Send(QEM_SELECTION, reinterpret_cast<WPARAM>(&r), 0), 10);
    EXPECT_EQ(S().anchor, 0);
    EXPECT_EQ(S().caret, 9);
    r = {6, 2};
    EXPECT_EQ(Send(QEM_SELECTION, reinterpret_cast<WPARAM>(&r), 0), 5);
    QuadrelRange got{};
    EXPECT_EQ(Send(QEM_SELECTION, reinterpret_cast<WPARAM>(&got), 1), 5);
    EXPECT_EQ(got.start, 6);
    EXPECT_EQ(got.end, 2);
    EXPECT_EQ(Send(QEM_SELECTION, 0, 0), 5);  // no record: report only
    // A start beyond the data is brought back onto the last byte.
    r = {500, 3};
    Send(QEM_SELECTION, reinterpret_cast<WPARAM>(&r), 0);
    EXPECT_EQ(S().anchor, 9);
    EXPECT_EQ(host.changes, 1);
}

TEST_F(QuadrelModel, SelectAllThenClearAllEmptiesAndNotifiesOnce) {
    SetCount(100);
    host.changes = 0;
    Send(WM_COMMAND, ID_EDIT_SELECT_ALL);
    EXPECT_EQ(S().anchor, 0);
    EXPECT_EQ(S().caret, 99);
    Send(WM_COMMAND, MakeWParam(ID_EDIT_CLEAR_ALL, 0));
    EXPECT_EQ(S().size, 0);
    EXPECT_EQ(S().anchor, 0);
    EXPECT_EQ(S().caret, 0);
    EXPECT_EQ(host.changes, 1);
    Send(WM_COMMAND, ID_EDIT_CLEAR_ALL);
    EXPECT_EQ(host.changes, 1);  // nothing to delete, no notification
}

TEST_F(QuadrelModel, ClearDeletesTheSelectionAndLeavesTheCaretAtTheOldAnchor) {
    SetCount(20);
    Select(7, 3);
    host.changes = 0;
    Send(QEM_CLEAR);
    EXPECT_EQ(S().size, 15);
    EXPECT_EQ(S().anchor, 7);
    EXPECT_EQ(S().caret, 7);
    EXPECT_EQ(Bytes()[3], 8);
    EXPECT_EQ(host.changes, 1);

    Select(5, 5);
    Send(QEM_CLEAR);
    EXPECT_EQ(S().size, 14);
    EXPECT_EQ(Bytes()[5], 11);

    Select(13, 13);  // the last byte: the caret falls back onto the new last byte
    Send(QEM_CLEAR);
    EXPECT_EQ(S().size, 13);
    EXPECT_EQ(S().caret, 12);
}

TEST_F(QuadrelModel, CopyTakesTheSelectionAndNothingFromAnEmptyBuffer) {
    Send(QEM_COPY);
    EXPECT_FALSE(host.clipboardHasData);
    SetBytes({1, 2, 3, 4, 5});
    Select(3, 1);
    Send(QEM_COPY);
    EXPECT_EQ(host.clipboard, (std::vector<std::uint8_t>{2, 3, 4}));
    Select(2, 2);
    Send(QEM_COPY);
    EXPECT_EQ(host.clipboard, (std::vector<std::uint8_t>{3}));
    Send(QEM_READONLY, 1);
    Select(0, 1);
    Send(QEM_COPY);
    EXPECT_EQ(host.clipboard.size(), 2u);
}

TEST_F(QuadrelModel, CutCopiesThenDeletes) {
    SetBytes({1, 2, 3, 4, 5});
    Select(1, 2);
    Send(QEM_CUT);
    EXPECT_EQ(host.clipboard, (std::vector<std::uint8_t>{2, 3}));
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{1, 4, 5}));

    // A clipboard that cannot be opened keeps the bytes where they are, whichever way the cut
    // is asked for.
    host.clipboardOpens = false;
    host.changes = 0;
    Select(0, 1);
    Send(QEM_CUT);
    Send(WM_COMMAND, ID_EDIT_CUT);
    model.KeyDown(Key::kX, true, false);
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{1, 4, 5}));
    EXPECT_EQ(host.changes, 0);
}

TEST_F(QuadrelModel, PasteInsertsAtTheCaretWithinCapacity) {
    SetCount(20);
    Send(QEM_CAPACITY, 25);
    host.clipboard = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9};
    host.clipboardHasData = true;
    Select(4, 4);
    host.changes = 0;
    Send(QEM_PASTE);
    EXPECT_EQ(S().size, 25);
    EXPECT_EQ(S().caret, 4);
    EXPECT_EQ(Bytes()[3], 3);
    EXPECT_EQ(Bytes()[4], 0xA0);
    EXPECT_EQ(Bytes()[8], 0xA4);
    EXPECT_EQ(Bytes()[9], 4);
    EXPECT_EQ(host.changes, 1);
}

TEST_F(QuadrelModel, PasteReplacesASelection) {
    SetBytes({1, 2, 3, 4, 5});
    host.clipboard = {9};
    host.clipboardHasData = true;
    Select(1, 3);
    host.changes = 0;
    Send(WM_COMMAND, ID_EDIT_PASTE);
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{1, 9, 5}));
    EXPECT_EQ(host.changes, 2);  // the deletion and the paste
}

TEST_F(QuadrelModel, PasteWithoutDataNotifiesAndUnopenableClipboardDoesNot) {
    SetCount(4);
    host.changes = 0;
    Send(QEM_PASTE);
    EXPECT_EQ(S().size, 4);
    EXPECT_EQ(host.changes, 1);
    host.clipboardOpens = false;
    Send(QEM_PASTE);
    EXPECT_EQ(host.changes, 1);
    host.clipboardOpens = true;
    Send(QEM_READONLY, 1);
    Send(QEM_PASTE);
    EXPECT_EQ(host.changes, 1);
}

TEST_F(QuadrelModel, PasteOnTheAppendPositionAppends) {
    SetBytes({1, 2});
    Key(Key::kRight);
    Key(Key::kRight);
    ASSERT_EQ(S().caret, 2);
    host.clipboard = {7, 8};
    host.clipboardHasData = true;
    Send(QEM_PASTE);
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{1, 2, 7, 8}));
}

TEST_F(QuadrelModel, ChecksumSumsTheRangeCutToTheData) {
    EXPECT_EQ(Send(QEM_CHECKSUM), 0);
    SetBytes({0xFF, 0x01, 0x10});
    EXPECT_EQ(Send(QEM_CHECKSUM), 0x110);
    QuadrelRange r{2, 0};
    EXPECT_EQ(Send(QEM_CHECKSUM, reinterpret_cast<WPARAM>(&r)), 0x110);
    r = {1, 1000};
    EXPECT_EQ(Send(QEM_CHECKSUM, reinterpret_cast<WPARAM>(&r)), 0x11);
    r = {10, 20};
    EXPECT_EQ(Send(QEM_CHECKSUM, reinterpret_cast<WPARAM>(&r)), 0);
    r = {-3, 0};
    EXPECT_EQ(Send(QEM_CHECKSUM, reinterpret_cast<WPARAM>(&r)), 0x110);  // swapped as unsigned
}

TEST_F(QuadrelModel, ChecksumWrapsAt32Bits) {
    std::vector<std::uint8_t> bytes(65536, 0xFF);
    SetBytes(bytes);
    EXPECT_EQ(static_cast<std::uint32_t>(Send(QEM_CHECKSUM)), 65536u * 0xFF);
}

TEST_F(QuadrelModel, CapacityCutsTheSizeAndBringsIndicesBack) {
    SetCount(20);
    Select(15, 18);
    host.changes = 0;
    EXPECT_EQ(Send(QEM_CAPACITY, 8), 8);
    EXPECT_EQ(S().size, 8);
    EXPECT_LE(S().caret, 8);
    EXPECT_LE(S().anchor, 7);
    EXPECT_EQ(host.changes, 0);
    EXPECT_EQ(Send(QEM_CAPACITY, 0), 0);
    EXPECT_EQ(S().size, 0);
    EXPECT_EQ(S().anchor, 0);
    EXPECT_EQ(S().caret, 0);
    // Huge values saturate rather than turning negative.
    EXPECT_EQ(Send(QEM_CAPACITY, static_cast<WPARAM>(-1)), 0x7FFFFFFF);
}

TEST_F(QuadrelModel, AppendAddsWithinCapacityWithoutNotifying) {
    Send(QEM_CAPACITY, 6);
    const std::uint8_t more[] = {1, 2, 3, 4};
    EXPECT_EQ(Send(QEM_APPEND, reinterpret_cast<WPARAM>(more), 4), 4);
    EXPECT_EQ(Send(QEM_APPEND, reinterpret_cast<WPARAM>(more), 4), 6);
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{1, 2, 3, 4, 1, 2}));
    EXPECT_EQ(S().caret, 5);
    EXPECT_EQ(S().anchor, 5);
    EXPECT_EQ(Send(QEM_APPEND, 0, 4), 6);
    EXPECT_EQ(host.changes, 0);
}

TEST_F(QuadrelModel, ReadOnlyBlocksUserEditsButNotProgramData) {
    SetBytes({1, 2, 3});
    EXPECT_EQ(Send(QEM_READONLY, 1), 1);
    EXPECT_EQ(Send(QEM_READONLY, 0, 1), 1);
    host.changes = 0;
    Select(1, 1);
    Type("AB");
    Key(Key::kDelete);
    Key(Key::kBackspace);
    Send(WM_COMMAND, ID_EDIT_CLEAR_ALL);
    Send(QEM_CUT);
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(host.changes, 0);
    EXPECT_EQ(SetBytes({4}), 1);
    const std::uint8_t b = 5;
    EXPECT_EQ(Send(QEM_APPEND, reinterpret_cast<WPARAM>(&b), 1), 2);
    EXPECT_EQ(Send(QEM_READONLY, 0), 0);
    // The flag is kept as given and reported back.
    EXPECT_EQ(Send(QEM_READONLY, 5), 5);
    EXPECT_EQ(Send(QEM_READONLY, 0, 1), 5);
    if constexpr (sizeof(WPARAM) > 4) {
        EXPECT_NE(Send(QEM_READONLY, static_cast<WPARAM>(0x100000000ULL)), 0);
    }
}

TEST_F(QuadrelModel, ColorsAreReadAndWrittenByMask) {
    QuadrelColors c{};
    c.mask = 0x80;
    c.addressBackground = 0x123456;
    Send(QEM_COLORS, reinterpret_cast<WPARAM>(&c), 1);
    EXPECT_EQ(c.selectionFrame, 0x00FF0000u);
    EXPECT_EQ(c.addressBackground, 0x123456u);

    QuadrelColors grey{};
    grey.mask = 0x155;  // bits above the low eight are not examined
    grey.addressBackground = grey.hexBackground = grey.characterBackground = grey.windowBackground =
        Rgb(200, 200, 200);
    grey.addressText = 0x777777;
    Send(QEM_COLORS, reinterpret_cast<WPARAM>(&grey), 0);
    EXPECT_EQ(S().colors[kWindowBackground], 0x00C8C8C8u);
    EXPECT_EQ(S().colors[kHexBackground], 0x00C8C8C8u);
    EXPECT_EQ(S().colors[kAddressText], kBlack);
    Send(QEM_COLORS, 0, 0);  // no record: nothing happens
}

}  // namespace
}  // namespace quadrel::test
