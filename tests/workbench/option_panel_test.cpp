// Option check boxes, the HWENW group, the oscillator variants and the read-back column.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "workbench_fixture.h"

namespace {

using model_test::WorkbenchTest;

using OptionBoxesTest = WorkbenchTest;

TEST_F(OptionBoxesTest, RowsCarryNamesDescriptionsAndTheirBits) {
    Use(2);
    const auto& set = panel().setBoxes;
    const auto& now = panel().nowBoxes;
    EXPECT_EQ(set[0].id, 1560);
    EXPECT_EQ(now[23].id, 1607);
    EXPECT_EQ(set[3].text, "HWENW");
    EXPECT_EQ(set[3].tooltip, "Hardware watchdog");
    EXPECT_EQ(set[3].byteIndex, 2);
    EXPECT_EQ(now[3].mask, 0x20u);
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(set[i].enabled, i < 5) << i;
        EXPECT_FALSE(now[i].enabled) << i;
    }
    EXPECT_EQ(set[5].text, "");
    EXPECT_EQ(set[5].mask, 0u);

    // A part with fewer rows leaves no trace of the previous one.
    Use(4);
    EXPECT_FALSE(set[3].enabled);
    EXPECT_EQ(set[3].text, "");
    EXPECT_EQ(set[3].tooltip, "");
    EXPECT_FALSE(set[3].ticked);
}

TEST_F(OptionBoxesTest, LanguageChangeRetextsTooltipsAndKeepsTicks) {
    Use(2);
    bench.OnOptionBoxClicked(1560, true);
    cat::SetLanguageID(1);
    bench.OnLanguageChanged();
    EXPECT_EQ(panel().setBoxes[0].tooltip, "设备加锁");
    EXPECT_EQ(panel().setBoxes[0].text, "LOCK");
    EXPECT_EQ(panel().setBoxes[4].tooltip, "No software watchdog");  // no Chinese text
    EXPECT_TRUE(panel().setBoxes[0].ticked);
}

TEST_F(OptionBoxesTest, TicksAreActiveLowBits) {
    Use(1);  // default byte 0 = 0xf8: LOCK and EN6T on, HWBS off
    EXPECT_TRUE(panel().setBoxes[0].ticked);
    EXPECT_FALSE(panel().setBoxes[1].ticked);
    EXPECT_TRUE(panel().setBoxes[2].ticked);
    bench.OnOptionBoxClicked(1560, false);
    bench.OnOptionBoxClicked(1561, true);
    EXPECT_EQ(Byte(0), 0xF1);
    EXPECT_TRUE(panel().setBoxes[1].ticked);
}

using HwGroupTest = WorkbenchTest;

TEST_F(HwGroupTest, HwenwBitGreysTheGroupAtOnce) {
    Use(2);  // default: HWENW bit 1, so its box is unticked
    EXPECT_FALSE(panel().setBoxes[3].ticked);
    EXPECT_FALSE(panel().hwwidlSet.enabled);
    EXPECT_FALSE(panel().hwpsx.enabled);
    EXPECT_EQ(panel().hwpsx.Count(), 8);
    EXPECT_EQ(panel().hwpsx.Text(panel().hwpsx.Selected()), "F/256");

    bench.OnOptionBoxClicked(1563, true);
    EXPECT_EQ(Byte(2) & 0x20, 0);
    EXPECT_TRUE(panel().hwwidlSet.enabled);
    EXPECT_TRUE(panel().hwpsx.enabled);

    bench.OnOptionBoxClicked(1563, false);
    EXPECT_NE(Byte(2) & 0x20, 0);
    EXPECT_FALSE(panel().hwwidlSet.enabled);
    EXPECT_FALSE(panel().hwpsx.enabled);
}

TEST_F(HwGroupTest, WidlAndPrescalerReachTheBytesOnlyWhenComposed) {
    Use(2);
    bench.OnOptionBoxClicked(1563, true);
    bench.OnHwpsxChanged(3);
    bench.OnHwwidlClicked(true);
    EXPECT_EQ(Byte(2) & 0x0F, 0x0F);  // no handler of their own
    bench.ComposeOptionBytes();
    EXPECT_EQ(Byte(2) & 0x07, 3);
    EXPECT_EQ(Byte(2) & 0x08, 0);
    EXPECT_EQ(Byte(2) & 0x10, 0x10);  // the neighbouring option bit is left alone

    // A click on any Set box composes the group first, so the choices survive the re-show.
    bench.OnHwpsxChanged(5);
    bench.OnOptionBoxClicked(1560, true);
    EXPECT_EQ(Byte(2) & 0x07, 5);
    EXPECT_EQ(panel().hwpsx.Selected(), 5);
}

TEST_F(HwGroupTest, PartWithoutTheGroupDisablesAndEmptiesIt) {
    Use(2);
    bench.OnOptionBoxClicked(1563, true);
    bench.OnHwwidlClicked(true);
    Use(1);
    EXPECT_FALSE(panel().hwwidlSet.enabled);
    EXPECT_FALSE(panel().hwwidlSet.ticked);
    EXPECT_FALSE(panel().hwpsx.enabled);
    EXPECT_EQ(panel().hwpsx.Count(), 0);
    const auto before = Byte(1);
    bench.ComposeOptionBytes();
    EXPECT_EQ(Byte(1), before);
}

using OscTest = WorkbenchTest;

struct OscCase {
    int part;
    int position;  // OSC list position chosen
    std::uint8_t before0, before1;
    std::uint8_t after0, after1;
};

TEST_F(OscTest, EachVariantWritesItsBits) {
    const OscCase cases[] = {
        // variant 1
        {3, 0, 0xFF, 0x00, 0xFF, 0x42},
        {3, 0, 0xFF, 0xFF, 0xFF, 0xDF},
        {3, 4, 0xFF, 0xFF, 0xFF, 0xBD},
        {3, 4, 0xFF, 0x00, 0xFF, 0x20},
        // variant 2
        {4, 0, 0xFF, 0x00, 0xFF, 0x62},
        {4, 2, 0xFF, 0xFF, 0xFF, 0xBD},
        // variant 3: byte 0 too
        {5, 0, 0x00, 0x00, 0x03, 0x08},
        {5, 3, 0xFF, 0xFF, 0xFD, 0xF7},
        {5, 3, 0x00, 0xFF, 0x01, 0xF7},
        // variant 4
        {6, 0, 0x00, 0x00, 0x00, 0x08},
        {6, 1, 0x00, 0xFF, 0x00, 0xF7},
    };
    Use(3);  // the record's default entry is applied with the part
    EXPECT_EQ(panel().osc.Text(panel().osc.Selected()), "22.1184MHz");
    EXPECT_EQ(bench.info.oscIndex, 6);
    for (const auto& c : cases) {
        Use(c.part);
        Byte(0) = c.before0;
        Byte(1) = c.before1;
        Byte(3) = 0x00;
        panel().ShowOptionBoxes();
        bench.OnOscChanged(c.position);
        const std::uint8_t lock = c.part >= 5 ? 0x80 : (c.part == 3 ? 0x03 : 0x01);
        // Byte 0 also holds option boxes; compare only the oscillator's bits there.
        EXPECT_EQ(Byte(0) & ~lock & 0xFF, c.after0 & ~lock & 0xFF) << "part " << c.part;
        EXPECT_EQ(Byte(1), c.after1) << "part " << c.part << " pos " << c.position;
        EXPECT_EQ(bench.info.oscIndex, panel().osc.Value(c.position));
        EXPECT_EQ(Byte(3) & 0x01, c.part >= 5 ? 1 : 0) << "variants 3 and 4 set bit 0 of byte 3";
    }
}

class ChipOptionsTest : public WorkbenchTest {
  protected:
    void SetUp() override {
        WorkbenchTest::SetUp();
        dir = std::filesystem::temp_directory_path() /
              ("model-chip-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        panel().SetChipOptionsFile(dir / "~temp.dat");
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        WorkbenchTest::TearDown();
    }
    std::string FileText() {
        std::ifstream in(dir / "~temp.dat");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path dir;
};

TEST_F(ChipOptionsTest, NowColumnAndTextsFollowTheChipNotTheSetColumn) {
    Use(2);
    // ISP position 4 (4K): bits 7-5 = ~4 & 7 = 3, bit 1 = 1; LOCK on.
    // IAP page 0xEC: 0x10000 - 0x1000 - 0x76 * 512 = 0x400 bytes.
    // HWPSx 3, HWWIDL on, HWENW on.
    const std::vector<std::uint8_t> chip{0x62 | 0x1C, 0xEC, 0xD3};
    bench.ShowChipOptions(chip);
    EXPECT_EQ(panel().ispNow.text, "4K");
    EXPECT_EQ(panel().iapNow.text, "1.0 K");
    EXPECT_EQ(panel().hwpsxNow.text, "F/16");
    EXPECT_TRUE(panel().hwwidlNow.ticked);
    EXPECT_TRUE(panel().nowBoxes[0].ticked);
    EXPECT_FALSE(panel().nowBoxes[1].ticked);
    EXPECT_TRUE(panel().nowBoxes[3].ticked);
    EXPECT_FALSE(panel().nowBoxes[5].ticked);  // no option in that row
    // The Set column and the bytes to program are untouched.
    EXPECT_EQ(panel().isp.Selected(), 0);
    EXPECT_EQ(Byte(0), 0xFF);
    EXPECT_EQ(FileText(), "[Read]\nOption=7EECD33D\n");

    // The next part change blanks the Now texts.
    Use(1);
    EXPECT_EQ(panel().ispNow.text, "");
    EXPECT_EQ(panel().iapNow.text, "");
}

TEST_F(ChipOptionsTest, EmptyIapAndIspBeyondTheList) {
    Use(6);
    bench.ShowChipOptions(std::vector<std::uint8_t>{0xFF, 0xFF, 0xCF, 0xFF});
    EXPECT_EQ(panel().ispNow.text, "");
    Use(1);
    bench.ShowChipOptions(std::vector<std::uint8_t>{0xFF, 0xFF});
    EXPECT_EQ(panel().ispNow.text, "None");
    EXPECT_EQ(panel().iapNow.text, "0.0 K");
    bench.ShowChipOptions(std::vector<std::uint8_t>{0xFF, 0x50});  // page above the code space
    EXPECT_EQ(panel().iapNow.text, "");
    bench.ShowChipOptions(std::vector<std::uint8_t>{0xCF, 0x20});  // 4K ISP, page 0x20
    EXPECT_EQ(panel().ispNow.text, "4K");
    EXPECT_EQ(panel().iapNow.text, "4.0 K");  // 0x4000 - 0x1000 - 0x2000
}

TEST_F(ChipOptionsTest, LinkPlantedUnderTheFileNameIsReplacedNotFollowed) {
    const auto victim = dir / "victim";
    std::ofstream(victim) << "keep";
    std::filesystem::create_symlink(victim, dir / "~temp.dat");
    Use(1);
    bench.ShowChipOptions(std::vector<std::uint8_t>{0x12, 0x34});
    std::ifstream in(victim);
    std::string kept;
    in >> kept;
    EXPECT_EQ(kept, "keep");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "~temp.dat"));
    EXPECT_EQ(FileText(), "[Read]\nOption=123446\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);  // no leftovers
}

TEST_F(ChipOptionsTest, ShortReadBackIsSafeAndWrittenAsGiven) {
    Use(2);
    bench.ShowChipOptions(std::vector<std::uint8_t>{0x00});
    EXPECT_EQ(FileText(), "[Read]\nOption=0000\n");
    EXPECT_TRUE(panel().nowBoxes[0].ticked);
    EXPECT_FALSE(panel().nowBoxes[3].ticked);  // byte 2 missing reads as erased
}

}  // namespace
