// Series and part lists, applying a part, and the start-up restoration of the last part.
#include <gtest/gtest.h>

#include <vector>

#include "workbench_fixture.h"

namespace {

using model_test::WorkbenchTest;

std::vector<model::ItemValue> Values(const model::ListModel& list) {
    std::vector<model::ItemValue> values;
    for (const auto& e : list.entries()) values.push_back(e.value);
    return values;
}

TEST(ListModel, DropDownOperations) {
    model::ListModel list;
    list.Add("a", 7);
    list.Add("b", 3);
    list.Add("c", 7);
    EXPECT_EQ(list.ValueOfSelection(), 0);
    EXPECT_EQ(list.SelectByValue(7), 2);  // searched from the last entry
    EXPECT_EQ(list.TextOfValue(7), "a");  // the lowest-positioned entry
    EXPECT_EQ(list.SelectByValue(9), -1);
    EXPECT_FALSE(list.HasSelection());
    EXPECT_EQ(list.Select(3), -1);
    list.Select(1);
    list.Insert(0, "z", 1);
    EXPECT_EQ(list.Text(list.Selected()), "b");  // the selection follows its entry
    EXPECT_EQ(list.FindPrefix(0, "A"), 1);
    EXPECT_EQ(list.FindPrefix(1, "z"), 0);  // wraps around
    EXPECT_EQ(list.FindPrefix(0, "q"), -1);
}

using PartListTest = WorkbenchTest;

TEST_F(PartListTest, SeriesAscendWithSeriesFourLastAndSkipEmptyNames) {
    EXPECT_EQ(Values(bench.series), (std::vector<model::ItemValue>{0, 2, 5, 6, 4}));
    EXPECT_EQ(bench.series.Text(4), "Legacy");
}

TEST_F(PartListTest, LanguageChangeKeepsThePositionNotTheSeries) {
    bench.OnSeriesSelected(3);
    const int applied = bench.currentPart;
    cat::SetLanguageID(1);
    bench.OnLanguageChanged();
    EXPECT_EQ(bench.series.Selected(), 3);
    EXPECT_EQ(bench.series.Text(3), "己系列");
    EXPECT_EQ(bench.currentPart, applied);  // the part list is left as it was
}

TEST_F(PartListTest, PartsSortWithTheirSiblings) {
    bench.OnSeriesSelected(0);
    EXPECT_EQ(Values(bench.parts), (std::vector<model::ItemValue>{1, 129, 2, 130}));
    EXPECT_EQ(bench.parts.Text(1), "T16A-L");
    // Series 6: nameless part 9 is not listed; 256 sorts by its low 11 bits, after 8 and
    // before 286 (sorting it by its low 7 bits would put it first).
    bench.OnSeriesSelected(3);
    EXPECT_EQ(Values(bench.parts), (std::vector<model::ItemValue>{7, 135, 8, 256, 286, 2334}));
}

TEST_F(PartListTest, FillingAppliesTheFirstPartEvenWhenItIsCurrent) {
    bench.OnSeriesSelected(0);
    EXPECT_EQ(bench.currentPart, 1);
    bench.info.apLength = 5;
    bench.OnSeriesSelected(0);
    EXPECT_EQ(bench.info.apLength, 0u);
}

TEST_F(PartListTest, SelectingTheCurrentPartChangesNothing) {
    bench.OnSeriesSelected(0);
    ASSERT_TRUE(buffer.Type(0, 0x12));
    bench.info.apLength = 1;
    const int clears = log.clears;
    bench.OnPartSelected(0);
    EXPECT_EQ(buffer.Size(), 1u);
    EXPECT_EQ(bench.info.apLength, 1u);
    EXPECT_EQ(log.clears, clears);

    // Its sibling has the same code size and still empties everything.
    bench.OnPartSelected(1);
    EXPECT_EQ(bench.currentPart, 129);
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(bench.info.apLength, 0u);
    EXPECT_EQ(log.clears, clears + 1);
}

TEST_F(PartListTest, NoSeriesSelectedListsNothingAndAppliesPartZero) {
    bench.OnSeriesSelected(-1);
    EXPECT_EQ(bench.parts.Count(), 0);
    EXPECT_EQ(bench.currentPart, 0);
    EXPECT_EQ(bench.CodeSize(), 0u);
    EXPECT_EQ(bench.SelectedPartIndex(), -1);
    EXPECT_FALSE(panel().isp.enabled);
}

using ApplyPartTest = WorkbenchTest;

TEST_F(ApplyPartTest, RecordAndWindowStateComeFromThePart) {
    Use(2);
    bench.userIspPath = "/tmp/boot.hex";
    bench.info.layout = proj::LAYOUT_ISP_ONLY;
    bench.info.autoSteps = 0;
    buffer.SetBytes(std::vector<std::uint8_t>(100, 0xAA));
    log.Append("old line\r\n");

    Use(1);
    EXPECT_EQ(bench.currentPart, 1);
    EXPECT_EQ(bench.info.partIndex, 0x5101);  // the device code while selected
    EXPECT_EQ(bench.info.serialAddress, 0x4000u - 16);
    EXPECT_EQ(bench.info.optionCount, 2);
    EXPECT_EQ(bench.info.layout, proj::LAYOUT_AP_ISP);
    EXPECT_EQ(bench.info.autoSteps, 0x1F);
    EXPECT_EQ(Byte(0), 0xF8);
    EXPECT_EQ(Byte(1), 0x40);
    EXPECT_EQ(Byte(2), 0xFF);
    EXPECT_EQ(bench.userIspPath, "");
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(buffer.Capacity(), 0x4000u);
    EXPECT_EQ(log.text, "");
    EXPECT_EQ(bench.filesize.text, "");
    EXPECT_EQ(bench.checksum.text, "");
    EXPECT_EQ(bench.filepath.text, "");
    EXPECT_EQ(bench.SelectedPartIndex(), 1);
}

TEST_F(ApplyPartTest, SixtyFourOptionBytesBeyondTheListedSevenAreErased) {
    Use(7);
    EXPECT_EQ(bench.info.optionCount, 64);
    EXPECT_EQ(Byte(0), 0xFE);
    EXPECT_EQ(Byte(6), 0x7F);
    for (std::size_t i = 7; i < 64; ++i) EXPECT_EQ(Byte(i), 0xFF) << i;
    EXPECT_TRUE(panel().setBoxes[1].ticked);  // WRENO in byte 6
}

TEST_F(ApplyPartTest, OneNotificationPerOperatorEvent) {
    notifications = 0;
    bench.OnSeriesSelected(2);
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(lastChanges & model::kChangeAll, model::kChangeAll);
    bench.OnIspChanged(1);
    EXPECT_EQ(notifications, 2);
    EXPECT_NE(lastChanges & model::kChangeOptionPanel, 0u);
}

using RestorePartTest = WorkbenchTest;

TEST_F(RestorePartTest, NoStoredPartTakesTheLowestPartOfTheWritersFamily) {
    EXPECT_EQ(bench.RestorePart(-1, 0), 1);
    EXPECT_EQ(bench.series.ValueOfSelection(), 0);
    EXPECT_EQ(bench.RestorePart(-1, 5), 3);
    EXPECT_EQ(bench.series.ValueOfSelection(), 2);
    EXPECT_EQ(bench.parts.ValueOfSelection(), 3);
    EXPECT_EQ(bench.RestorePart(-1, 3), 2);
}

TEST_F(RestorePartTest, StoredPartIsRestoredWithItsSeries) {
    EXPECT_EQ(bench.RestorePart(2334, 0), 2334);
    EXPECT_EQ(bench.series.ValueOfSelection(), 6);
    EXPECT_EQ(bench.parts.Selected(), 5);  // 7, 135, 8, 256, 286, 2334
    EXPECT_EQ(bench.RestorePart(10, 0), 10);
    EXPECT_EQ(bench.series.Selected(), 4);  // series 4 sits last
}

TEST_F(RestorePartTest, UnknownPartsFallBackToTheFirstPartOfTheFirstSeries) {
    for (int stored : {9, 4000, 11, 0, -7, 70000}) {
        bench.RestorePart(286, 0);
        EXPECT_EQ(bench.RestorePart(stored, 0), 1) << stored;
        EXPECT_EQ(bench.series.Selected(), 0);
        EXPECT_EQ(bench.parts.Selected(), 0);
    }
    EXPECT_EQ(bench.RestorePart(-1, 9), 1);  // no part of that family
}

}  // namespace
