#include "vwriter/uhid.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vw {

namespace {

// Vendor-defined: a 64-byte input and output report without report ids, and a small feature
// report (the restart into the loader).
constexpr std::uint8_t kReportDescriptor[] = {
    0x06, 0x00, 0xFF,  // usage page (vendor defined)
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection (application)
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x00,  //   logical maximum 255
    0x75, 0x08,        //   report size 8
    0x95, 0x40,        //   report count 64
    0x09, 0x02,        //   usage 2
    0x81, 0x02,        //   input (data, variable, absolute)
    0x95, 0x40,        //   report count 64
    0x09, 0x03,        //   usage 3
    0x91, 0x02,        //   output (data, variable, absolute)
    0x95, 0x03,        //   report count 3
    0x09, 0x04,        //   usage 4
    0xB1, 0x02,        //   feature (data, variable, absolute)
    0xC0,              // end collection
};

}  // namespace

UhidWriter::UhidWriter(Device& device, Trace* trace, const EngineOptions& options, bool usbTiming,
                       ReportHost host, std::string serial)
    : device_(device),
      trace_(trace),
      options_(options),
      usbTiming_(usbTiming),
      host_(std::move(host)),
      serial_(std::move(serial)) {}

UhidWriter::~UhidWriter() {
    Destroy();
    if (events_.joinable()) {
        const char byte = 1;
        [[maybe_unused]] const auto n = ::write(stop_[1], &byte, 1);
        events_.join();
    }
    for (int fd : {fd_, stop_[0], stop_[1]}) {
        if (fd >= 0) ::close(fd);
    }
}

bool UhidWriter::Open(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    Adopt(fd);
    return true;
}

void UhidWriter::Adopt(int fd) {
    fd_ = fd;
    if (::pipe2(stop_, O_CLOEXEC) != 0) return;
    events_ = std::thread([this] { Run(); });
}

bool UhidWriter::Send(const uhid_event& event) {
    return ::write(fd_, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

bool UhidWriter::Create(Mode mode) {
    if (created_) return true;
    auto event = std::make_unique<uhid_event>();
    event->type = UHID_CREATE2;
    auto& c = event->u.create2;
    std::snprintf(reinterpret_cast<char*>(c.name), sizeof c.name, "%s", HidProductName(mode));
    std::snprintf(reinterpret_cast<char*>(c.phys), sizeof c.phys, "vwriter");
    std::snprintf(reinterpret_cast<char*>(c.uniq), sizeof c.uniq, "%s", serial_.c_str());
    c.rd_size = sizeof kReportDescriptor;
    std::memcpy(c.rd_data, kReportDescriptor, sizeof kReportDescriptor);
    c.bus = BUS_USB;
    c.vendor = kHidVendorId;
    c.product = HidProductId(mode);
    c.version = kHidRelease;
    created_ = Send(*event);
    if (trace_) trace_->Event(created_ ? "uhid device created" : "uhid device not created");
    return created_;
}

void UhidWriter::Destroy() {
    if (!created_) return;
    auto event = std::make_unique<uhid_event>();
    event->type = UHID_DESTROY;
    Send(*event);
    created_ = false;
    EndSession();
}

void UhidWriter::StartSession() {
    EndSession();
    std::lock_guard lock(sessionMutex_);
    ReportPort::Transport transport{
        [this](const std::uint8_t* report, std::size_t length) {
            auto event = std::make_unique<uhid_event>();
            event->type = UHID_INPUT2;
            event->u.input2.size = static_cast<std::uint16_t>(length);
            std::memcpy(event->u.input2.data, report, length);
            return Send(*event);
        },
        [] {}};  // a dropped session stops answering; the kernel device stays
    port_ = std::make_unique<ReportPort>(device_, trace_, options_, usbTiming_, transport);
    session_ = std::thread([this, port = port_.get()] { host_.serve(*port); });
}

void UhidWriter::EndSession() {
    std::lock_guard lock(sessionMutex_);
    if (port_) port_->Close();
    if (session_.joinable()) session_.join();
    port_.reset();
}

void UhidWriter::Handle(const uhid_event& event) {
    switch (event.type) {
        case UHID_OPEN:  // the first host opened the hidraw node
            StartSession();
            break;
        case UHID_CLOSE:  // the last one closed it
            EndSession();
            break;
        case UHID_OUTPUT: {
            std::lock_guard lock(sessionMutex_);
            const auto& out = event.u.output;
            if (port_ && out.rtype == UHID_OUTPUT_REPORT)
                port_->Deliver(out.data, std::min<std::size_t>(out.size, UHID_DATA_MAX));
            break;
        }
        case UHID_SET_REPORT: {
            const auto& set = event.u.set_report;
            Restart restart = Restart::kNone;
            const bool taken =
                set.rtype == UHID_FEATURE_REPORT &&
                host_.feature(set.data, std::min<std::size_t>(set.size, UHID_DATA_MAX), restart);
            auto reply = std::make_unique<uhid_event>();
            reply->type = UHID_SET_REPORT_REPLY;
            reply->u.set_report_reply.id = set.id;
            reply->u.set_report_reply.err = taken ? 0 : EIO;
            Send(*reply);
            if (restart != Restart::kNone) host_.restart(restart);
            break;
        }
        case UHID_GET_REPORT: {
            auto reply = std::make_unique<uhid_event>();
            reply->type = UHID_GET_REPORT_REPLY;
            reply->u.get_report_reply.id = event.u.get_report.id;
            reply->u.get_report_reply.err = EIO;
            Send(*reply);
            break;
        }
        default:
            break;
    }
}

void UhidWriter::Run() {
    auto event = std::make_unique<uhid_event>();
    for (;;) {
        pollfd fds[2] = {{stop_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) break;
        if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) break;
        const ssize_t n = ::read(fd_, event.get(), sizeof *event);
        if (n < static_cast<ssize_t>(sizeof event->type)) {
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            break;
        }
        Handle(*event);
    }
    EndSession();
}

}  // namespace vw
