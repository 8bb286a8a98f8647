// The framing under every command: replies, chunks, acknowledgements, progress and time-outs.
#include <gtest/gtest.h>

#include "writer_fixture.h"

namespace wt {
namespace {

TEST(CommandFrameTest, IsSixteenLittleEndianBytesAfterTheMagic) {
    const auto f = writer::CommandFrame(3, 4, 0x11223344, 0x200, 0xA0B0C0D0);
    const std::array<std::uint8_t, 16> expected{0xFF, 0x5A, 3,    4,    0x44, 0x33, 0x22, 0x11,
                                                0x00, 0x02, 0x00, 0x00, 0xD0, 0xC0, 0xB0, 0xA0};
    EXPECT_EQ(f, expected);
}

TEST_F(WriterTest, WithoutAConnectionOnlyAReplylessCommandCountsAsSent) {
    Start();
    std::uint8_t reply[6] = {};
    EXPECT_EQ(link->Exchange(0, 1, 0, 0, 0, 0, nullptr, 0), 1u);
    EXPECT_EQ(link->Exchange(0, 1, 0, 0, 0, 1, nullptr, 0), 0u);
    EXPECT_EQ(link->Exchange(0, 0, 0, 0, 0, 6, reply, 0), 0u);
    std::uint8_t data[4] = {};
    EXPECT_FALSE(link->BulkWrite(data, 4, 0));
    EXPECT_FALSE(link->BulkRead(data, 4, 0));
    EXPECT_TRUE(link->BulkWrite(data, 0, 0));
    EXPECT_TRUE(Frames().empty());
}

TEST_F(WriterTest, ChunksAdvanceTheBarAndPumpAfterEachOne) {
    Start();
    ASSERT_TRUE(link->Connect());
    ASSERT_EQ(link->Exchange(2, 0, 0, 300, 0, 1, nullptr, 0), 1u);
    link->progressTotal = 300;
    link->progressDone = 0;
    const auto data = Pattern(300, 5);
    EXPECT_TRUE(link->BulkWrite(data.data(), 300, 0));
    EXPECT_EQ(host.positions, (std::vector<std::uint32_t>{42, 85, 100}));
    EXPECT_EQ(host.pumps, 3);
    EXPECT_EQ(link->ReadTimeout(), 5000u);
    EXPECT_EQ(link->WriteTimeout(), 5000u);
}

TEST_F(WriterTest, ARefusedSecondChunkStopsAfterTheFirst) {
    Start({"--fault", "ack0:2/0@2"});
    ASSERT_TRUE(link->Connect());
    ASSERT_EQ(link->Exchange(2, 0, 0, 300, 0, 1, nullptr, 0), 1u);
    link->progressTotal = 300;
    link->progressDone = 0;
    const auto data = Pattern(300, 5);
    EXPECT_FALSE(link->BulkWrite(data.data(), 300, 0));
    EXPECT_EQ(link->progressDone, 128u);
}

TEST_F(WriterTest, AShortChunkFailsARead) {
    Start({"--fault", "shortread:3/0@1"});
    ASSERT_TRUE(link->Connect());
    ASSERT_EQ(link->Exchange(3, 0, 0, 128, 0, 1, nullptr, 0), 1u);
    link->progressTotal = 128;
    std::vector<std::uint8_t> read(128);
    EXPECT_FALSE(link->BulkRead(read.data(), 128, 0));
}

TEST_F(WriterTest, EraseRoundsUpToWholePagesAndOptionCountsAboveNineSendEight) {
    Start();
    ASSERT_TRUE(link->Connect());
    for (std::uint32_t length : {1u, 512u, 513u, 0u})
        EXPECT_TRUE(writer->EraseArea(length, 0, true).passed());
    std::array<std::uint8_t, 64> options{};
    options.fill(0xFF);
    // Part 1 takes two option bytes, so the writer refuses these; their frames are the point.
    for (std::uint32_t count : {7u, 9u, 64u})
        EXPECT_TRUE(writer->ProgramOption(options.data(), count, true).failed());
    std::vector<std::uint32_t> p2;
    for (const Frame& f : Frames()) p2.push_back(f.p2);
    EXPECT_EQ(p2, (std::vector<std::uint32_t>{1, 1, 2, 0, 7, 9, 8}));
    EXPECT_TRUE(log.text.empty());  // quiet
}

TEST_F(WriterTest, TrimGoesFirstAndItsResultMayBeAnyNonZeroByte) {
    // The Trim's status and result come back as 7, Program Option's status as 9.
    Start({"--fault", "status:3/4=7", "--fault", "status:2/1=9"}, 42);
    ASSERT_TRUE(link->Connect());
    std::array<std::uint8_t, 8> options{};
    options.fill(0xFF);
    const std::uint32_t count = bench.info.optionCount;
    EXPECT_TRUE(writer->ProgramOption(options.data(), count, false).passed());
    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].cmd, 3);
    EXPECT_EQ(frames[0].sub, 4);
    EXPECT_EQ(frames[0].p1, DeviceCode());
    EXPECT_EQ(frames[1], (Frame{2, 1, 0, count > 9 ? 8 : count, 0}));
    EXPECT_EQ(link->ReadTimeout(), 5000u);
    EXPECT_EQ(log.text, "Program Option => Pass !\t [0.000\"]\r\n");
}

TEST_F(WriterTest, ElapsedTimesPrintSecondsWithThreeDecimals) {
    Start();
    std::uint32_t now = 0xFFFFFFF8u;  // the tick count wraps in between
    writer->ticks = [&] { return now; };
    const std::uint32_t start = writer->Now();
    now += 16;
    EXPECT_EQ(writer->Elapsed(start), " [0.016\"]\r\n");
}

}  // namespace
}  // namespace wt
