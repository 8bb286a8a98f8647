// The ISP and IAP size fields: how list positions are stored in the option bytes and read back.
#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "workbench/option_panel.h"
#include "workbench_fixture.h"

namespace {

using model::IspPositionFromWord;
using model::ReadOptionWord;
using model::WriteIspPosition;
using model_test::WorkbenchTest;

TEST(OptionWord, FieldWiderThanAByteSpansTheNextBytesAndKeepsTheRest) {
    std::array<std::uint8_t, 4> bytes{0x11, 0x22, 0xF3, 0x44};
    const cat::FieldSpec field{1, 0x0FFF};
    EXPECT_EQ(model::ReadOptionField(bytes, field), 0x322u);
    model::WriteOptionField(bytes, field, 0xABC);
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 4>{0x11, 0xBC, 0xFA, 0x44}));
}

TEST(OptionWord, ReadingPastTheAreaSeesErasedBytesAndWritingStopsAtItsEnd) {
    std::array<std::uint8_t, 2> bytes{0x00, 0x00};
    EXPECT_EQ(ReadOptionWord(bytes, 1), 0xFFFFFF00u);
    model::WriteOptionField(bytes, {1, 0xFFFF}, 0x1234);
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 2>{0x00, 0x34}));
}

TEST(IspEncoding, PlainMaskStoresTheComplementOfThePosition) {
    const cat::FieldSpec field{0, 0x30};
    for (int pos = 0; pos < 4; ++pos) {
        std::array<std::uint8_t, 4> bytes{0xC5, 0xFF, 0xFF, 0xFF};
        WriteIspPosition(bytes, field, pos);
        EXPECT_EQ(bytes[0] & 0x30, (~pos << 4) & 0x30) << pos;
        EXPECT_EQ(bytes[0] & ~0x30 & 0xFF, 0xC5) << "bits outside the mask changed";
        EXPECT_EQ(IspPositionFromWord(ReadOptionWord(bytes, 0), field), static_cast<unsigned>(pos));
    }
    std::array<std::uint8_t, 4> none{0xFF, 0xFF, 0xFF, 0xFF};
    WriteIspPosition(none, field, 3);
    EXPECT_EQ(none[0], 0xCF);  // position 3 stores 0b00
}

TEST(IspEncoding, SplitMaskCarriesBitThreeInBitOne) {
    const cat::FieldSpec field{0, 0xE2};
    struct Case {
        int pos;
        std::uint8_t bits;  // byte & 0xE2
    };
    for (const Case c :
         {Case{0, 0xE2}, Case{15, 0x00}, Case{8, 0xE0}, Case{7, 0x02}, Case{1, 0xC2}}) {
        std::array<std::uint8_t, 4> bytes{0xFF, 0xFF, 0xFF, 0xFF};
        WriteIspPosition(bytes, field, c.pos);
        EXPECT_EQ(bytes[0] & 0xE2, c.bits) << c.pos;
        EXPECT_EQ(bytes[0] & 0x1D, 0x1D) << c.pos;
    }
    for (int pos = 0; pos < 16; ++pos) {
        std::array<std::uint8_t, 4> bytes{0x00, 0x00, 0x00, 0x00};
        WriteIspPosition(bytes, field, pos);
        EXPECT_EQ(bytes[0] & 0x1D, 0) << "bits outside the field changed";
        EXPECT_EQ(IspPositionFromWord(ReadOptionWord(bytes, 0), field), static_cast<unsigned>(pos));
    }
}

// The panel, the chip read-back, the information block and the form share one IAP codec. Where
// their copies differed, the rows fix the rule: an erased plain field is no area only in bytes
// read back, and a partial page below the first 1.0 K entry is position 0.
TEST(IapEncoding, SizeFromTheWordItsPositionAndThePageStored) {
    struct Size {
        std::uint32_t word, mask;
        std::int64_t free;
        std::optional<std::int64_t> own, chip;
    };
    const Size sizes[] = {
        {0x1E, 0xFE, 0x3800, 0x1A00, 0x1A00},  // 0x3800 - 15 * 512
        {0xFE, 0xFE, 0x3800, 0, 0},            // no IAP area
        {0xFF, 0xFF, 0xC000, std::nullopt, 0},
        {0xFC, 0xFE, 0x7800, std::nullopt, std::nullopt},  // page above the free space
        {0x20, 0xFF, 0x3000, 0x1000, 0x1000},
        {0x0123, 0x0FFF, 0x20000, 0xDD00, 0xDD00},
    };
    for (const Size& r : sizes) {
        EXPECT_EQ(model::IapBytesFromWord(r.word, r.mask, r.free), r.own) << r.word;
        EXPECT_EQ(model::ChipIapBytesFromWord(r.word, r.mask, r.free), r.chip) << r.word;
    }
    EXPECT_EQ(model::IapPositionFromBytes(0x400, true), 1);
    EXPECT_EQ(model::IapPositionFromBytes(0x100, true), 0);
    EXPECT_EQ(model::IapPositionFromBytes(0x400, false), 2);
    EXPECT_EQ(model::IapPageForPosition(0xFE, 0x10000, 0), 255u);
    EXPECT_EQ(model::IapPageForPosition(0xFE, 0x10000, 1), 0xFCu);
    EXPECT_EQ(model::IapPageForPosition(0xFF, 0x3000, 8), 0x20u);
    EXPECT_EQ(model::IapPageForPosition(0x0FFF, 0x10000, 0), 256u);
}

// ---- through the panel ----

using IspFieldTest = WorkbenchTest;

TEST_F(IspFieldTest, SplitMaskOnThePanelAndTheIspRange) {
    Use(2);
    bench.OnIspChanged(15);
    EXPECT_EQ(panel().isp.tooltip, "C400h - FFFFh");
    bench.ComposeOptionBytes();
    EXPECT_EQ(Byte(0) & 0xE2, 0);
    bench.OnIspChanged(0);
    EXPECT_EQ(panel().isp.tooltip, "NA");
    bench.OnIspChanged(4);
    EXPECT_EQ(panel().isp.tooltip, "F000h - FFFFh");
}

TEST_F(IspFieldTest, BytesBeyondTheListLeaveNoSelectionAndComposeKeepsThem) {
    Use(6);          // three entries under a four-position field
    Byte(2) = 0xCF;  // position 3
    panel().ShowOptionBytes();
    EXPECT_FALSE(panel().isp.HasSelection());
    EXPECT_EQ(panel().isp.tooltip, "NA");
    bench.ComposeOptionBytes();
    EXPECT_EQ(Byte(2), 0xCF);
}

TEST_F(IspFieldTest, DisabledListIsNeitherShownNorComposed) {
    Use(7);
    EXPECT_FALSE(panel().isp.enabled);
    EXPECT_FALSE(panel().ispNow.enabled);
    EXPECT_EQ(panel().isp.Count(), 0);
    Byte(0) = 0xCE;
    bench.ComposeOptionBytes();
    EXPECT_EQ(Byte(0), 0xCE);
}

using IapFieldTest = WorkbenchTest;

TEST_F(IapFieldTest, EvenPagesOnA64KPartSkipTheHalfKEntry) {
    Use(2);
    auto& iap = panel().iap;
    ASSERT_GE(iap.Count(), 3);
    EXPECT_EQ(iap.Text(0), "None");
    EXPECT_EQ(iap.Text(1), "1.0 K");
    EXPECT_EQ(iap.Value(1), 1024);
    EXPECT_EQ(iap.Count(), 128);  // None and 1.0 K .. 64.0 K
    bench.OnIapChanged(1);
    EXPECT_EQ(iap.tooltip, "FC00h - FFFFh");

    bench.OnIapChanged(0);
    EXPECT_EQ(iap.tooltip, "NA");
    Byte(1) = 0x00;
    bench.ComposeOptionBytes();
    EXPECT_EQ(Byte(1), 0xFE);  // page 256 stored as 255, masked
    panel().ShowOptionBytes();
    EXPECT_EQ(iap.Selected(), 0);
}

TEST_F(IapFieldTest, StoredPagesAndRanges) {
    Use(1);  // 16 K, page under 0xff
    bench.OnIapChanged(3);
    bench.ComposeOptionBytes();
    EXPECT_EQ(Byte(1), (0x4000 - 3 * 512) >> 8);
    EXPECT_EQ(panel().iap.tooltip, "3A00h - 3FFFh");
    bench.OnIspChanged(3);  // 4 K ISP
    EXPECT_EQ(panel().iap.tooltip, "2A00h - 2FFFh");
    bench.ComposeOptionBytes();
    EXPECT_EQ(Byte(1), (0x3000 - 3 * 512) >> 8);

    Use(10);  // 64 K, page under 0xff
    bench.ComposeOptionBytes();
    EXPECT_EQ(Byte(1), 0xFF);

    Use(3);  // 32 K, page under 0x0fff across bytes 2 and 3
    bench.OnIapChanged(2);
    bench.ComposeOptionBytes();
    EXPECT_EQ(Byte(2), 0x7C);
    EXPECT_EQ(Byte(3), 0xF0);  // the high nibble is not part of the field
}

TEST_F(IapFieldTest, IspChangeKeepsThePositionClampedOrTheSameLabelOnEvenPages) {
    Use(1);
    auto& iap = panel().iap;
    bench.OnIapChanged(3);
    bench.OnIspChanged(3);  // 4 K: 0x3000 left, 24 sizes
    EXPECT_EQ(iap.Count(), 25);
    EXPECT_EQ(iap.Selected(), 3);
    bench.OnIspChanged(0);
    bench.OnIapChanged(32);
    bench.OnIspChanged(3);
    EXPECT_EQ(iap.Selected(), 24);  // clamped to the last entry

    Use(2);
    bench.OnIapChanged(1);  // "1.0 K" while the half-K entry is missing
    bench.OnIspChanged(1);  // 1 K ISP: the half-K entry comes back
    EXPECT_EQ(iap.Text(1), "0.5 K");
    EXPECT_EQ(iap.Text(iap.Selected()), "1.0 K");
    bench.OnIspChanged(0);
    EXPECT_EQ(iap.Text(iap.Selected()), "1.0 K");
}

TEST_F(IapFieldTest, PageAboveTheFreeSpaceLeavesNoSelectionAndComposeKeepsIt) {
    Use(1);
    Byte(1) = 0x50;  // above the 16 K code space
    panel().ShowOptionBytes();
    EXPECT_FALSE(panel().iap.HasSelection());
    EXPECT_EQ(panel().iap.tooltip, "");
    bench.ComposeOptionBytes();
    EXPECT_EQ(Byte(1), 0x50);
}

TEST_F(IapFieldTest, PartsWithoutTheListsKeepNoStaleRangeText) {
    Use(4);
    EXPECT_FALSE(panel().iap.enabled);
    EXPECT_FALSE(panel().iapNow.enabled);
    EXPECT_EQ(panel().iap.Count(), 0);
    EXPECT_EQ(panel().iap.tooltip, "");

    // Nor does a part without an ISP list keep the previous part's range text.
    Use(1);
    Use(7);
    EXPECT_EQ(panel().isp.tooltip, "");
}

}  // namespace
