// The transport contract of libtunnix: connecting, time-outs taken from the record, chunking.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "harness.h"
#include "platform/device/writer_ids.h"

using namespace vwt;

TEST(TunnixConnect, RefusesWrongIdsMissingWriterAndBadRecords) {
    VWriter dev;
    EXPECT_TRUE(Link().connected());
    EXPECT_FALSE(Link(writer_ids::WRITER_VID, writer_ids::WRITER_PID + 1).connected());
    EXPECT_FALSE(Link(writer_ids::WRITER_VID + 1, writer_ids::WRITER_PID).connected());
    EXPECT_FALSE(Link(0x1'0000u + writer_ids::WRITER_VID, writer_ids::WRITER_PID).connected());
    EXPECT_NE(Tunnix().Connect(nullptr, 1), 0);

    // A record that never connected, or was disconnected, moves nothing.
    unsigned char record[32] = {};
    unsigned char byte = 0;
    unsigned int count = 99;
    EXPECT_NE(Tunnix().Read(record, &byte, 1, &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_NE(Tunnix().Write(record, &byte, 1, &count), 0);
    EXPECT_NE(Tunnix().Disconnect(record), 0);

    dev.Stop();
    EXPECT_FALSE(Link().connected());
}

TEST(TunnixConnect, DisconnectEndsTheSessionAndReconnectWorks) {
    VWriter dev;
    Link link;
    ASSERT_TRUE(link.connected());
    ASSERT_EQ(Tunnix().Disconnect(link.record()), 0);
    unsigned char frame[16] = {0xFF, 0x5A};
    unsigned int count = 0;
    EXPECT_NE(Tunnix().Write(link.record(), frame, 16, &count), 0);
    ASSERT_EQ(Tunnix().Connect(link.record(), 1), 0);
    EXPECT_EQ(link.Command(0, 1, 0xFFFF), 0);  // wrong device code, but answered
}

TEST(TunnixTimeouts, ReadTimeoutIsTakenFromTheRecordAtEveryCall) {
    VWriter dev({"--fault", "noreply:0/1"});
    Link link;
    ASSERT_TRUE(link.connected());
    link.SetTimeouts(60, 1000);
    link.Frame(0, 1, 0);
    long long start = NowMs();
    EXPECT_EQ(link.Status(), -1);
    const long long shortWait = MillisecondsSince(start);
    EXPECT_GE(shortWait, 55);
    EXPECT_LT(shortWait, 1000);

    link.SetTimeouts(400, 1000);
    start = NowMs();
    EXPECT_EQ(link.Status(), -1);
    EXPECT_GE(MillisecondsSince(start), 395);

    // ReadData reports what did arrive when the time-out passes.
    link.SetTimeouts(100, 1000);
    link.Frame(0, 0);
    const Bytes partial = link.Receive(10);
    EXPECT_EQ(partial.size(), 6u);
    EXPECT_EQ(Tunnix().Clear(link.record()), 0);
}

TEST(TunnixChunking, ThreeHundredBytesGoAs128Then128Then44EachAcknowledged) {
    VWriter dev;
    Link link(writer_ids::WRITER_VID, writer_ids::WRITER_PID, 80, 1000);
    ASSERT_TRUE(link.connected());
    const Bytes data = Pattern(300, 1);
    ASSERT_EQ(link.Command(2, 0, 0, 300), 1);
    // The writer acknowledges only once a whole chunk is stored.
    ASSERT_TRUE(link.Send(Bytes(data.begin(), data.begin() + 100)));
    EXPECT_EQ(link.Status(), -1);
    ASSERT_TRUE(link.Send(Bytes(data.begin() + 100, data.begin() + 128)));
    EXPECT_EQ(link.Status(), 1);
    ASSERT_TRUE(link.Send(Bytes(data.begin() + 128, data.begin() + 256)));
    EXPECT_EQ(link.Status(), 1);
    ASSERT_TRUE(link.Send(Bytes(data.begin() + 256, data.begin() + 299)));
    EXPECT_EQ(link.Status(), -1);
    ASSERT_TRUE(link.Send(Bytes(data.begin() + 299, data.end())));
    EXPECT_EQ(link.Status(), 1);
    EXPECT_EQ(link.Status(), -1);  // nothing more
    EXPECT_EQ(link.ReadCommand(3, 0, 0, 300), data);
}

TEST(TunnixChunking, FrameAfterStrayBytesIsStillRecognised) {
    VWriter dev({"--lenient"});
    Link link;
    ASSERT_TRUE(link.connected());
    link.Send({0x00, 0x5A, 0xFF});  // noise before a frame
    link.Frame(0, 0);
    EXPECT_EQ(link.Receive(6).size(), 6u);
    // Forgiven, but not unseen.
    EXPECT_EQ(dev.StateValue("protocol_errors"), "1");
    ASSERT_EQ(dev.TraceLines("protocol_error").size(), 1u);
    EXPECT_NE(dev.TraceLines("protocol_error")[0].find("\"bytes\":3"), std::string::npos);
}

TEST(TunnixTransport, WithoutAChoiceTheDefaultSocketIsUsedAndHidNeedsAWriter) {
    char tmpl[] = "/tmp/vwt-rt-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string runtime = tmpl;
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_EQ(writer_ids::DefaultVwriterSocket(), runtime + "/vwriter.sock");
    {
        VWriter dev({"--socket", runtime + "/vwriter.sock"});
        ::unsetenv(writer_ids::kDeviceEnv);
        EXPECT_TRUE(Link().connected());
        // Asked for a real writer, none is attached on a test machine.
        ::setenv(writer_ids::kDeviceEnv, "hid", 1);
        EXPECT_FALSE(Link().connected());
        ::setenv(writer_ids::kDeviceEnv, ("vwriter:" + runtime + "/none.sock").c_str(), 1);
        EXPECT_FALSE(Link().connected());
    }
    ::rmdir(runtime.c_str());
}

TEST(VWriterDaemon, ASecondDaemonDoesNotTakeOverALiveSocket) {
    VWriter dev;
    const std::string exe = BinDir() + "/vwriter";
    const std::string cmd = exe + " --socket " + dev.Socket() + " 2>/dev/null";
    EXPECT_NE(std::system(cmd.c_str()), 0);
    EXPECT_TRUE(Link().connected());
    EXPECT_EQ(std::system((exe + " --ids | grep -q '^vid=0x[0-9a-f]\\{4\\} pid=0x[0-9a-f]\\{4\\} "
                                 "enum_pid=0x[0-9a-f]\\{4\\}'")
                              .c_str()),
              0);
    EXPECT_NE(
        std::system((exe + " --part 0 --socket " + dev.Dir() + "/x.sock 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((exe + " --fault nonsense 2>/dev/null").c_str()), 0);
}
