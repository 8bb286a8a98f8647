// The code buffer's status line, its sum, and the areas the operations program.
#include <gtest/gtest.h>

#include <vector>

#include "workbench_fixture.h"

namespace {

using model_test::WorkbenchTest;

TEST(ByteSum, CountsOnlyTheAskedBytesInsideTheData) {
    const std::vector<std::uint8_t> data{0xFF, 0x01, 0x80, 0x80};
    EXPECT_EQ(model::ByteSum(data, 4), 0x200u);
    EXPECT_EQ(model::ByteSum(data, 0), 0u);
    EXPECT_EQ(model::ByteSum(data, 2, 2), 0x100u);
    EXPECT_EQ(model::ByteSum(data, 100, 1), 0x101u);
    EXPECT_EQ(model::ByteSum(data, 1, 4), 0u);
    EXPECT_EQ(model::ByteSum(data, 1, static_cast<std::size_t>(-1)), 0u);
    const std::vector<std::uint8_t> full(0x3C00, 0xFF);
    EXPECT_EQ(model::ByteSum(full, full.size()), 0x3BC400u);  // no folding of the carry
}

TEST(VectorCodeBuffer, ReportsChangesLikeTheControl) {
    model::VectorCodeBuffer buffer(8);
    int changes = 0;
    buffer.onChange = [&] { ++changes; };
    buffer.SetBytes({});
    buffer.ClearAll();
    EXPECT_EQ(changes, 0);  // nothing set, nothing deleted
    buffer.SetBytes(std::vector<std::uint8_t>(20, 1));
    EXPECT_EQ(buffer.Size(), 8u);  // clamped to the capacity
    EXPECT_EQ(changes, 1);
    buffer.SetCapacity(4);
    EXPECT_EQ(buffer.Size(), 4u);
    EXPECT_EQ(changes, 1);  // no report for a capacity change
    EXPECT_TRUE(buffer.Type(4, 9) == false);
    EXPECT_TRUE(buffer.Type(3, 9));
    EXPECT_EQ(buffer.Checksum(), 12u);
    EXPECT_EQ(changes, 2);
    buffer.ClearAll();
    EXPECT_EQ(changes, 3);
}

using StatusLineTest = WorkbenchTest;

TEST_F(StatusLineTest, FollowsEveryChangeAndIsBlankAfterAPartChange) {
    Use(2);
    EXPECT_EQ(bench.checksum.text, "");
    EXPECT_EQ(bench.filesize.text, "");

    buffer.SetBytes(std::vector<std::uint8_t>(0x3C00, 0xFF));
    EXPECT_EQ(bench.checksum.text, "C400");
    EXPECT_EQ(bench.filesize.text, "15360 (3C00h)");
    EXPECT_EQ(bench.info.dataChecksum, 0xC400);
    EXPECT_EQ(bench.info.dataLength, 0x3C00u);

    ASSERT_TRUE(buffer.Type(0x3C00, 0x01));  // an operator's edit past the end
    EXPECT_EQ(bench.checksum.text, "C401");
    EXPECT_EQ(bench.filesize.text, "15361 (3C01h)");
    ASSERT_TRUE(buffer.Type(0, 0x00));
    EXPECT_EQ(bench.checksum.text, "C302");

    buffer.ClearAll();
    EXPECT_EQ(bench.checksum.text, "0000");
    EXPECT_EQ(bench.filesize.text, "0 (0h)");

    buffer.SetBytes({1, 2, 3});
    bench.filepath.text = "/work/a.bin";
    Use(1);
    EXPECT_EQ(bench.checksum.text, "");
    EXPECT_EQ(bench.filesize.text, "");
    EXPECT_EQ(bench.filepath.text, "");
    EXPECT_TRUE(bench.IsBufferEmpty());
}

using ProgramAreasTest = WorkbenchTest;

TEST_F(ProgramAreasTest, EachLayout) {
    Use(1);  // 16 K
    auto areas = bench.ProgramAreas();
    EXPECT_EQ(areas.apLength, 0x4000u);  // part change alone: the whole code space
    EXPECT_EQ(areas.ispLength, 0u);
    EXPECT_EQ(areas.ispStart, 0x4000u);
    EXPECT_EQ(areas.total, 0x4000u);

    // A binary load of n bytes at address 0.
    buffer.SetBytes(std::vector<std::uint8_t>(300, 0));
    bench.info.layout = proj::LAYOUT_AP_ONLY;
    bench.info.apLength = 300;
    areas = bench.ProgramAreas();
    EXPECT_EQ(areas.apLength, 300u);
    EXPECT_EQ(areas.ispLength, 0u);
    // Bytes typed beyond the image stay outside the AP area.
    buffer.Type(300, 0x55);
    EXPECT_EQ(bench.ProgramAreas().apLength, 300u);

    // Application and ISP code; the ISP start follows the ISP Space choice.
    bench.OnIspChanged(2);  // 2 K
    bench.info.layout = proj::LAYOUT_AP_ISP;
    bench.info.ispLength = 0x700;
    areas = bench.ProgramAreas();
    EXPECT_EQ(areas.apLength, 300u);
    EXPECT_EQ(areas.ispStart, 0x3800u);
    EXPECT_EQ(areas.ispLength, 0x700u);
    EXPECT_EQ(areas.total, 300u + 0x700u);

    // AP+ISP with no application length: the whole space is application.
    bench.info.apLength = 0;
    areas = bench.ProgramAreas();
    EXPECT_EQ(areas.apLength, 0x4000u);
    EXPECT_EQ(areas.ispLength, 0u);

    // ISP code alone.
    bench.info.layout = proj::LAYOUT_ISP_ONLY;
    areas = bench.ProgramAreas();
    EXPECT_EQ(areas.apLength, 0u);
    EXPECT_EQ(areas.ispLength, 0x700u);
    EXPECT_EQ(areas.ispStart, 0x3800u);

    // Old projects.
    bench.info.layout = proj::LAYOUT_NONE;
    bench.info.apLength = 0x1234;
    EXPECT_EQ(bench.ProgramAreas().apLength, 0x1234u);

    // AP+ISP with an empty buffer, even with an application length.
    bench.info.layout = proj::LAYOUT_AP_ISP;
    buffer.ClearAll();
    EXPECT_EQ(bench.ProgramAreas().apLength, 0x4000u);
}

}  // namespace
