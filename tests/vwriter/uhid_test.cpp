// The kernel HID device's side of /dev/uhid, with the test playing the kernel on a packet socket:
// the device it creates, a command answered in an input report, the restart by feature report.
#include <gtest/gtest.h>

#include <linux/uhid.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/device/writer_ids.h"
#include "vwriter/uhid.h"

namespace {

std::unique_ptr<uhid_event> Event(std::uint32_t type) {
    auto e = std::make_unique<uhid_event>();
    e->type = type;
    return e;
}

TEST(Uhid, TheWriterAnswersThroughTheKernelsEvents) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
    vw::Device device;
    vw::EngineOptions options;
    options.strict = true;
    int restarts = 0;
    auto uhid = std::make_unique<vw::UhidWriter>(
        device, nullptr, options, false,
        vw::ReportHost{
            [&](vw::ReportPort& port) { vw::ServeWriter(device, port, nullptr, options); },
            [](const std::uint8_t* r, std::size_t n, vw::Restart& restart) {
                restart = vw::Restart::kIntoLoader;
                return n == 4 && r[0] == 2 && r[1] == 'I';
            },
            [&](vw::Restart r) { restarts += r == vw::Restart::kIntoLoader; }},
        "SER1");
    uhid->Adopt(fds[0]);
    ASSERT_TRUE(uhid->Create(vw::Mode::kApplication));
    auto event = Event(0);
    const auto next = [&] {
        EXPECT_GT(::read(fds[1], event.get(), sizeof *event), 0);
        return event->type;
    };
    const auto send = [&](const std::unique_ptr<uhid_event>& e) {
        ASSERT_EQ(::write(fds[1], e.get(), sizeof *e), static_cast<ssize_t>(sizeof *e));
    };

    ASSERT_EQ(next(), UHID_CREATE2);
    EXPECT_EQ(event->u.create2.vendor, writer_ids::WRITER_VID);
    EXPECT_EQ(event->u.create2.product, writer_ids::WRITER_PID);
    EXPECT_STREQ(reinterpret_cast<const char*>(event->u.create2.uniq), "SER1");

    send(Event(UHID_OPEN));
    // Check ID with part 1's device code, as hidraw passes a write: report id 0, then the report.
    auto out = Event(UHID_OUTPUT);
    out->u.output.rtype = UHID_OUTPUT_REPORT;
    out->u.output.size = 65;
    const std::uint8_t frame[] = {0, 16, 0xFF, 0x5A, 0, 1, 0x04, 0x51};
    std::copy(std::begin(frame), std::end(frame), out->u.output.data);
    send(out);
    ASSERT_EQ(next(), UHID_INPUT2);
    EXPECT_EQ(event->u.input2.size, 64);
    EXPECT_EQ(event->u.input2.data[0], 1);  // one payload byte: the status
    EXPECT_EQ(event->u.input2.data[1], 1);

    auto feature = Event(UHID_SET_REPORT);
    feature->u.set_report = {7, 2, UHID_FEATURE_REPORT, 4, {2, 'I', 'S', 'P'}};
    send(feature);
    ASSERT_EQ(next(), UHID_SET_REPORT_REPLY);
    EXPECT_EQ(event->u.set_report_reply.id, 7u);
    EXPECT_EQ(event->u.set_report_reply.err, 0);

    uhid->Destroy();
    EXPECT_EQ(next(), UHID_DESTROY);
    uhid.reset();  // its event thread has ended: the restart it asked for is seen
    EXPECT_EQ(restarts, 1);
    ::close(fds[1]);
}

}  // namespace
