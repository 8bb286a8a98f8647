// The writer over USB HID reports, with the hidapi double preloaded: reports that break in every
// way a writer's can, a refused open, two writers with the same ids, and a full part at USB pace.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <future>
#include <thread>

#include "platform/device/writer_ids.h"
#include "tunnix/link.h"
#include "writer_fixture.h"

namespace wt {
namespace {

// These cases are about HID reports: over the double unless the uhid run says otherwise.
[[maybe_unused]] const bool kOverHid = ::setenv("VWRITER_TEST_TRANSPORT", "hid", 0) == 0;

using writer::button::kCheckId;
using writer::button::kDumpTarget;
using writer::button::kProgram;
using writer::button::kReadOption;
using writer::button::kVerify;

const std::string kBegin = "----Begin----\r\n";
const std::string kEnd = "-----End-----\r\n";
const std::string kCheck = "Check ID => Pass !\t\t [0.000\"]\r\n";
const std::string kProgramFail = "Program => Fail !\t\t [0.000\"]\r\n";
// A failed dump still reads the option bytes.
const std::string kDumpFail =
    "Dump Target => Fail !\t [0.000\"]\r\nRead Opiton => Pass !\t [0.000\"]\r\n";

struct ReportCase {
    const char* name;
    const char* fault;  // empty: the writer is unplugged after the second chunk
    int button;
    std::string lines;  // between Begin and End
    bool waitsOut;      // ends at the 5 s read time-out rather than at once
};

class ReportFaults : public WriterTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(ReportFaults, EndInTheirFailLineWithinTheTimeOut) {
    const ReportCase& c = GetParam();
    Start(*c.fault ? std::vector<std::string>{"--fault", c.fault} : std::vector<std::string>{});
    const std::vector<std::uint8_t> code = Pattern(700, 9);
    Load(code);
    int pumps = 0;
    if (!*c.fault) {
        host.onPump = [&] {
            if (++pumps == 2) device->Ctl("unplug");
        };
    }
    const long long start = vwt::NowMs();
    EXPECT_FALSE(writer->OnButton(c.button).passed());
    const long long took = vwt::MillisecondsSince(start);
    EXPECT_EQ(log.text, kBegin + c.lines + kEnd);
    EXPECT_EQ(buffer.Bytes(), code);
    EXPECT_FALSE(link->connected());
    EXPECT_FALSE(writer->busy);
    if (c.waitsOut) {
        EXPECT_GE(took, 5000);
        EXPECT_LT(took, 8000);
    } else {
        EXPECT_LT(took, 4000);  // a broken report ends the transfer, no time-out is waited out
    }
    host.onPump = nullptr;
    device->Ctl("clear-faults");
    device->Ctl("plug");
    EXPECT_TRUE(writer->OnButton(kCheckId).passed()) << log.text;
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, ReportFaults,
    ::testing::Values(
        ReportCase{"ShortStatus", "shortreport:0/1", kCheckId,
                   "Check ID => Fail !\t\t [0.000\"]\r\n", false},
        // The last report of the dump (status, then 32 pieces of three reports), so that the
        // device has nothing more to send when the host moves on.
        ReportCase{"ShortPiece", "shortreport:3/0@97", kDumpTarget, kCheck + kDumpFail, false},
        ReportCase{"StatusWithAReportId", "reportid:2/0", kProgram, kCheck + kProgramFail, false},
        ReportCase{"PieceWithAReportId", "reportid:3/1@2", kReadOption,
                   kCheck + "Read Opiton => Fail !\t [0.000\"]\r\n", false},
        ReportCase{"RemovedMidTransfer", "", kProgram, kCheck + kProgramFail, false},
        ReportCase{"ReadNeverComes", "noreply:3/0", kDumpTarget, kCheck + kDumpFail, true},
        // Report 4: the first of the second chunk. A refused write fails the transfer at once.
        ReportCase{"WriteFails", "writefail:2/0@4", kProgram, kCheck + kProgramFail, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(WriterTest, ARefusedOpenNamesTheUdevRuleOnce) {
    Start();
    ::setenv("HIDAPI_DOUBLE_EACCES", "1", 1);
    ::testing::internal::CaptureStderr();
    const bool first = writer->OnButton(kCheckId).passed();
    const bool second = writer->OnButton(kProgram).passed();
    const std::string text = ::testing::internal::GetCapturedStderr();
    ::unsetenv("HIDAPI_DOUBLE_EACCES");

    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
    EXPECT_EQ(log.text, "");  // no writer opened: the operation never began
    EXPECT_TRUE(Frames().empty());
    const auto once = [&](const std::string& what) {
        const auto at = text.find(what);
        return at != std::string::npos && text.find(what, at + 1) == std::string::npos;
    };
    EXPECT_TRUE(once("may not open it")) << text;
    EXPECT_TRUE(once(device->Socket())) << text;
    EXPECT_TRUE(once("/usr/lib/udev/rules.d/70-writer.rules")) << text;
    EXPECT_TRUE(writer->OnButton(kCheckId).passed());
}

TEST(HidWriters, TwoWithTheSameIdsAreToldApartByPathAndSerial) {
    vwt::VWriter a({"--usb-serial", "LINE-A"});
    vwt::VWriter b({"--usb-serial", "LINE-B", "--part", "7"});
    ::setenv("HIDAPI_DOUBLE_DEVICES", (a.Socket() + ":" + b.Socket()).c_str(), 1);
    const auto writers = tnx::ListHidWriters(writer_ids::WRITER_VID, 0);
    ASSERT_EQ(writers.size(), 2u);
    EXPECT_EQ(writers[0].path, a.Socket());
    EXPECT_EQ(writers[0].serial, "LINE-A");
    EXPECT_EQ(writers[1].path, b.Socket());
    EXPECT_EQ(writers[1].serial, "LINE-B");
    for (const auto& w : writers) EXPECT_EQ(w.productId, writer_ids::WRITER_PID);

    // Check ID with part 7's device code passes on B only: the chosen writer answers.
    const std::array<std::uint8_t, 16> checkId = writer::CommandFrame(0, 1, 0x5164, 0, 0);
    for (const char* serial : {"LINE-B", "LINE-A"}) {
        const auto chosen = std::find_if(writers.begin(), writers.end(),
                                         [&](const auto& w) { return w.serial == serial; });
        std::string problem;
        const auto link = tnx::OpenHidLinkAt(chosen->path, problem);
        ASSERT_TRUE(link) << problem;
        ASSERT_TRUE(link->Write(checkId.data(), checkId.size(), 1000));
        std::uint8_t status = 0xEE;
        ASSERT_EQ(link->Read(&status, 1, 1000), 1u);
        EXPECT_EQ(status, serial == std::string("LINE-B") ? 1 : 0) << serial;
    }
    EXPECT_EQ(a.TraceLines("frame").size(), 1u);
    EXPECT_EQ(b.TraceLines("frame").size(), 1u);
}

// TUNNIX_DEVICE names one of two writers with the same ids by its node or serial string: part 7's
// Check ID passes only on B. A name that matches nothing connects to nothing, never to another.
TEST(HidWriters, TunnixDeviceChoosesOneByItsNodeOrItsSerialString) {
    vwt::VWriter a({"--serial", "LINE-A"});
    vwt::VWriter b({"--usb-serial", "LINE-B", "--part", "7"});
    ::setenv("HIDAPI_DOUBLE_DEVICES", (a.Socket() + ":" + b.Socket()).c_str(), 1);
    struct Row {
        std::string device;
        int checkId;  // the status of part 7's Check ID; -1: no connection
    };
    const Row rows[] = {{"hid:serial=LINE-B", 1},
                        {"hid:" + b.Socket(), 1},
                        {"hid:serial=LINE-A", 0},
                        {"hid:" + a.Socket(), 0},
                        {"hid", 0},
                        {"hid:serial=LINE", -1},
                        {"hid:/dev/none", -1},
                        {"hid:serial=", -1}};
    for (const Row& row : rows) {
        ::setenv(writer_ids::kDeviceEnv, row.device.c_str(), 1);
        vwt::Link link;
        ASSERT_EQ(link.connected(), row.checkId >= 0) << row.device;
        if (row.checkId < 0) continue;
        EXPECT_EQ(link.Command(0, 1, 0x5164), row.checkId) << row.device;
    }
}

TEST(HidLink, AReadThatNeverComesEndsAtItsTimeOutAndClearDropsWhatWaits) {
    vwt::VWriter device({"--fault", "noreply:0/1"});
    vwt::Link link(writer_ids::WRITER_VID, writer_ids::WRITER_PID, 400, 400);
    ASSERT_TRUE(link.connected());
    const long long start = vwt::NowMs();
    auto reply = std::async(std::launch::async, [&] { return link.Command(0, 1, 0x5104); });
    const bool ended = reply.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    if (!ended) device.Stop();  // ends a read that would wait for ever
    ASSERT_TRUE(ended) << "the read outlived its time-out";
    EXPECT_EQ(reply.get(), -1);
    const long long took = vwt::MillisecondsSince(start);
    EXPECT_GE(took, 400);
    EXPECT_LT(took, 1200);

    // Two firmware replies arrive while nobody reads; a clear drops both.
    link.Frame(0, 0);
    link.Frame(0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(vwt::Tunnix().Clear(link.record()), 0);
    EXPECT_TRUE(link.Receive(6).empty());
    link.Frame(0, 0);
    EXPECT_EQ(link.Receive(7).size(), 6u);  // the next command's answer alone
}

// Part 7: 64 KiB of code space, the whole of it written and read back at full-speed pace.
TEST_F(WriterTest, AFull64KPartIsProgrammedAndVerifiedAtUsbPace) {
    Start({"--usb-timing"}, 7);
    Load(Pattern(0x10000, 5));
    ASSERT_TRUE(writer->OnButton(kProgram).passed()) << log.text;
    ASSERT_TRUE(writer->OnButton(kVerify).passed()) << log.text;
    EXPECT_EQ(log.text, kBegin + kCheck + "Verify => Pass !\t\t [0.000\"]\r\n" + kEnd);
    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames[2], (Frame{2, 0, 0, 0x10000, 0}));
    EXPECT_EQ(frames[5], (Frame{3, 0, 0, 0x10000, 0}));
}

}  // namespace
}  // namespace wt
