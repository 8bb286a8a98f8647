// Injected faults: each one ends in the failure the program sees, never in a hang past the
// record's time-out.
#include <gtest/gtest.h>

#include "catalogue/part_database.h"
#include "harness.h"
#include "platform/device/writer_ids.h"

using namespace vwt;

namespace {

constexpr std::uint32_t kTimeout = 250;

Link Quick() {
    return Link(writer_ids::WRITER_VID, writer_ids::WRITER_PID, kTimeout, kTimeout);
}

}  // namespace

TEST(WriterFaults, StatusAndReplyFaults) {
    const std::uint32_t code = cat::Part(1).DeviceCode();
    VWriter dev({"--fault", "status0:0/1", "--fault", "shortreply:0/0", "--fault", "noreply:1/0",
                 "--fault", "shortreply:1/1"});
    Link link = Quick();
    ASSERT_TRUE(link.connected());
    EXPECT_EQ(link.Command(0, 1, code), 0);

    link.Frame(0, 0);
    EXPECT_EQ(link.Receive(6).size(), 5u);

    const long long start = NowMs();
    EXPECT_EQ(link.Command(1, 0, code), -1);
    EXPECT_EQ(link.Command(1, 1, 0, 1), -1);  // one byte short of a status byte: nothing
    EXPECT_LT(MillisecondsSince(start), 2 * kTimeout + 400);

    // Cleared faults leave a healthy writer on the same connection.
    EXPECT_EQ(dev.Ctl("clear-faults"), "ok\n");
    EXPECT_EQ(link.Command(0, 1, code), 1);
    EXPECT_EQ(link.Command(1, 0, code), 1);
}

TEST(WriterFaults, ZeroAndMissingAcknowledgementsStopTheWrite) {
    VWriter dev({"--fault", "ack0:2/0@2"});
    Link link = Quick();
    const Bytes data = Pattern(300, 3);
    ASSERT_EQ(link.Command(2, 0, 0, 300), 1);
    EXPECT_EQ(link.BulkWrite(data), (std::vector<int>{1, 0}));
    // The first chunk was stored; the failed one and the rest were not.
    Bytes expected(300, 0xFF);
    std::copy(data.begin(), data.begin() + 128, expected.begin());
    EXPECT_EQ(link.ReadCommand(3, 0, 0, 300), expected);

    dev.Ctl("clear-faults");
    dev.Ctl("fault noack:2/0@2");
    ASSERT_EQ(link.Command(2, 0, 0, 300), 1);
    const long long start = NowMs();
    EXPECT_EQ(link.BulkWrite(data), (std::vector<int>{1}));
    EXPECT_LT(MillisecondsSince(start), kTimeout + 400);
    // The writer gave up the data phase too, so the next command is understood.
    Tunnix().Clear(link.record());
    EXPECT_EQ(link.Command(0, 1, cat::Part(1).DeviceCode()), 1);
}

TEST(WriterFaults, ShortReadPieceFailsTheRead) {
    VWriter dev({"--fault", "shortread:3/0@2"});
    Link link = Quick();
    ASSERT_EQ(link.Command(3, 0, 0, 300), 1);
    EXPECT_EQ(link.Receive(128).size(), 128u);
    EXPECT_EQ(link.Receive(128).size(), 127u);
    EXPECT_FALSE(link.ReadCommand(3, 0, 0, 300));
}

TEST(WriterFaults, TrimResultZero) {
    VWriter dev({"--fault", "result0:3/4"});
    Link link = Quick();
    ASSERT_EQ(link.Command(3, 4, cat::Part(1).DeviceCode(), 0), 1);
    EXPECT_EQ(link.Receive(1), Bytes{0});
}

TEST(WriterFaults, LyingWriterAcknowledgesButStoresNothingSoVerifyFails) {
    VWriter dev({"--fault", "lie:2/0", "--fault", "lie:2/3"});
    Link link = Quick();
    const Bytes data = Pattern(300, 5);
    ASSERT_TRUE(link.WriteCommand(2, 0, 0, data));
    const auto back = link.ReadCommand(3, 0, 0, 300);
    ASSERT_TRUE(back);
    EXPECT_NE(*back, data);
    EXPECT_EQ(*back, Bytes(300, 0xFF));
    ASSERT_TRUE(link.WriteCommand(2, 3, 0, Bytes(62, 0)));
    EXPECT_EQ(dev.StateValue("offline_info"), "0");
}

TEST(WriterFaults, DroppedConnectionFailsAtOnceAndTheWriterComesBack) {
    VWriter dev({"--fault", "drop:2/0@2", "--fault", "drop:3/0@1"});
    {
        Link link(writer_ids::WRITER_VID, writer_ids::WRITER_PID, 3000, 3000);
        ASSERT_EQ(link.Command(2, 0, 0, 300), 1);
        const long long start = NowMs();
        EXPECT_EQ(link.BulkWrite(Pattern(300, 1)), (std::vector<int>{1}));
        EXPECT_EQ(link.Status(), -1);
        EXPECT_LT(MillisecondsSince(start), 1000);  // a closed connection does not wait
    }
    {
        Link link(writer_ids::WRITER_VID, writer_ids::WRITER_PID, 3000, 3000);
        ASSERT_TRUE(link.connected());
        const long long start = NowMs();
        EXPECT_FALSE(link.ReadCommand(3, 0, 0, 200));
        EXPECT_LT(MillisecondsSince(start), 1000);
    }
    dev.Ctl("clear-faults");
    Link link = Quick();
    EXPECT_EQ(link.Command(0, 1, cat::Part(1).DeviceCode()), 1);
}

TEST(WriterFaults, MalformedFaultsAreRefused) {
    VWriter dev;
    for (const char* bad : {"ack0:2/0@0", "status0:2/0@3", "lie:256/0", "nosuch:1/1", "drop:2",
                            "drop:2/0@", "ack0:2/0@x"}) {
        EXPECT_EQ(dev.Ctl(std::string("fault ") + bad).rfind("error", 0), 0u) << bad;
    }
    EXPECT_EQ(dev.Ctl("fault ack0:0x02/0x00@3"), "ok\n");
    EXPECT_EQ(dev.StateValue("faults"), "ack0:2/0@3");
}
