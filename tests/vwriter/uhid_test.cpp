// The kernel HID device's side of /dev/uhid, with the test playing the kernel on a packet socket:
// the device it creates, a command answered in input reports, the restart by feature report.
#include <gtest/gtest.h>

#include <linux/input.h>
#include <linux/uhid.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>

#include "platform/device/writer_ids.h"
#include "vwriter/uhid.h"

namespace {

using Event = std::unique_ptr<uhid_event>;

Event NewEvent(std::uint32_t type) {
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
    std::atomic<int> restarts{0};
    vw::ReportHost host{
        [&](vw::ReportPort& port) { vw::ServeWriter(device, port, nullptr, options); },
        [](const std::uint8_t* r, std::size_t n, vw::Restart& restart) {
            restart = vw::Restart::kIntoLoader;
            return n == 4 && r[0] == 2 && r[1] == 'I';
        },
        [&](vw::Restart r) { restarts += r == vw::Restart::kIntoLoader; }};
    vw::UhidWriter uhid(device, nullptr, options, false, host, "SER1");
    uhid.Adopt(fds[0]);
    ASSERT_TRUE(uhid.Create(vw::Mode::kApplication));
    const auto next = [&] {
        Event e = NewEvent(0);
        EXPECT_GT(::read(fds[1], e.get(), sizeof *e), 0);
        return e;
    };
    const auto send = [&](const Event& e) {
        ASSERT_EQ(::write(fds[1], e.get(), sizeof *e), sizeof *e);
    };

    Event created = next();
    ASSERT_EQ(created->type, UHID_CREATE2);
    EXPECT_EQ(created->u.create2.bus, BUS_USB);
    EXPECT_EQ(created->u.create2.vendor, writer_ids::WRITER_VID);
    EXPECT_EQ(created->u.create2.product, writer_ids::WRITER_PID);
    EXPECT_STREQ(reinterpret_cast<const char*>(created->u.create2.uniq), "SER1");
    EXPECT_GT(created->u.create2.rd_size, 0);

    send(NewEvent(UHID_OPEN));
    // Check ID with part 1's device code, as hidraw passes a write: report id 0, then the report.
    Event out = NewEvent(UHID_OUTPUT);
    out->u.output.rtype = UHID_OUTPUT_REPORT;
    out->u.output.size = 65;
    const std::uint8_t frame[] = {0, 16, 0xFF, 0x5A, 0, 1, 0x04, 0x51};
    std::copy(std::begin(frame), std::end(frame), out->u.output.data);
    send(out);
    Event in = next();
    ASSERT_EQ(in->type, UHID_INPUT2);
    EXPECT_EQ(in->u.input2.size, 64);
    EXPECT_EQ(in->u.input2.data[0], 1);  // one payload byte: the status
    EXPECT_EQ(in->u.input2.data[1], 1);

    Event feature = NewEvent(UHID_SET_REPORT);
    feature->u.set_report = {7, 2, UHID_FEATURE_REPORT, 4, {2, 'I', 'S', 'P'}};
    send(feature);
    Event reply = next();
    ASSERT_EQ(reply->type, UHID_SET_REPORT_REPLY);
    EXPECT_EQ(reply->u.set_report_reply.id, 7u);
    EXPECT_EQ(reply->u.set_report_reply.err, 0);
    EXPECT_EQ(restarts, 1);

    uhid.Destroy();
    EXPECT_EQ(next()->type, UHID_DESTROY);
    ::close(fds[1]);
}

}  // namespace
