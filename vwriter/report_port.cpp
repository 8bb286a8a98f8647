#include "vwriter/report_port.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tunnix/socket_hello.h"

namespace vw {

namespace {

constexpr std::uint8_t kForeignReportId = 1;  // what a report with an id in front carries

bool ReadAll(int fd, std::uint8_t* buffer, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::recv(fd, buffer + done, length - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool IsReportFault(FaultKind kind) {
    return kind == FaultKind::kShortReport || kind == FaultKind::kReportId ||
           kind == FaultKind::kWriteFail;
}

}  // namespace

std::uint16_t HidProductId(Mode mode) {
    return mode == Mode::kLoader ? writer_ids::WRITER_LOADER_PID : writer_ids::WRITER_PID;
}

const char* HidProductName(Mode mode) {
    return mode == Mode::kLoader ? "CV51 Writer Loader" : "CV51 Writer";
}

ReportPort::ReportPort(Device& device, Trace* trace, const EngineOptions& options, bool usbTiming,
                       Transport transport)
    : device_(device),
      trace_(trace),
      options_(options),
      transport_(std::move(transport)),
      pacer_(usbTiming) {}

bool ReportPort::FaultAt(FaultKind kind, std::uint32_t report) const {
    return std::any_of(faults_.begin(), faults_.end(),
                       [&](const Fault& f) { return f.kind == kind && f.chunk == report; });
}

bool ReportPort::Deliver(const std::uint8_t* report, std::size_t length) {
    std::unique_lock lock(mutex_);
    if (closed_) return true;
    if (deaf_ || FaultAt(FaultKind::kWriteFail, ++outputSeen_)) return false;
    // Report id 0, then the count and the payload.
    if (length != kHidReport + 1 || report[0] != 0 || report[1] == 0 ||
        report[1] > Pacer::kPayload) {
        device_.NoteProtocolError();
        if (trace_) trace_->ProtocolError("malformed output report", length);
        if (options_.strict) {
            closed_ = true;
            changed_.notify_all();
            lock.unlock();
            transport_.drop();
        }
        return true;
    }
    bytes_.insert(bytes_.end(), report + 2, report + 2 + report[1]);
    changed_.notify_all();
    return true;
}

void ReportPort::StopReading() {
    std::lock_guard lock(mutex_);
    deaf_ = true;
    changed_.notify_all();
}

void ReportPort::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

bool ReportPort::ReadExact(std::uint8_t* buffer, std::size_t length) {
    std::unique_lock lock(mutex_);
    std::size_t done = 0;
    partial_ = 0;
    while (done < length) {
        changed_.wait(lock, [&] { return !bytes_.empty() || closed_ || deaf_; });
        if (bytes_.empty()) {
            partial_ = done;
            return false;
        }
        while (done < length && !bytes_.empty()) {
            buffer[done++] = bytes_.front();
            bytes_.pop_front();
        }
    }
    lock.unlock();
    pacer_.Bytes(length);
    return true;
}

bool ReportPort::Write(const std::uint8_t* data, std::size_t length) {
    for (std::size_t done = 0; done < length;) {
        const std::size_t n = std::min(Pacer::kPayload, length - done);
        bool withId = false, cut = false;
        {
            std::lock_guard lock(mutex_);
            if (closed_) return false;
            ++inputSent_;
            withId = FaultAt(FaultKind::kReportId, inputSent_);
            cut = FaultAt(FaultKind::kShortReport, inputSent_);
        }
        std::uint8_t report[kHidReport + 1] = {};
        std::uint8_t* at = report;
        std::size_t size = kHidReport;
        if (withId) {
            report[0] = kForeignReportId;
            ++at;
            ++size;
        }
        at[0] = static_cast<std::uint8_t>(n);
        std::memcpy(at + 1, data + done, n);
        if (cut) size /= 2;
        pacer_.Reports(1);
        if (!transport_.send(report, size)) return false;
        done += n;
    }
    return true;
}

void ReportPort::Drop() {
    Close();
    transport_.drop();
}

std::size_t ReportPort::Available() {
    std::lock_guard lock(mutex_);
    return bytes_.size();
}

void ReportPort::Pause(int ms) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return closed_; });
}

void ReportPort::BeginAnswer(const std::vector<Fault>& faults) {
    std::lock_guard lock(mutex_);
    faults_.clear();
    std::copy_if(faults.begin(), faults.end(), std::back_inserter(faults_),
                 [](const Fault& f) { return IsReportFault(f.kind); });
    outputSeen_ = 0;
    inputSent_ = 0;
}

SocketReports::SocketReports(int fd, Device& device, Trace* trace, const EngineOptions& options,
                             bool usbTiming, ReportHost host)
    : fd_(fd),
      host_(std::move(host)),
      port_(device, trace, options, usbTiming,
            {[this](const std::uint8_t* r, std::size_t n) { return Send(tnx::kInputReport, r, n); },
             [fd] { ::shutdown(fd, SHUT_RDWR); }}),
      reader_([this] { Receive(); }) {}

SocketReports::~SocketReports() {
    ::shutdown(fd_, SHUT_RDWR);
    reader_.join();
}

bool SocketReports::Send(std::uint8_t type, const std::uint8_t* data, std::size_t length) {
    std::lock_guard lock(sendMutex_);
    return SendLocked(type, data, length);
}

bool SocketReports::SendLocked(std::uint8_t type, const std::uint8_t* data, std::size_t length) {
    std::vector<std::uint8_t> message{type, static_cast<std::uint8_t>(length & 0xFF),
                                      static_cast<std::uint8_t>(length >> 8)};
    message.insert(message.end(), data, data + length);
    std::size_t done = 0;
    while (done < message.size()) {
        const ssize_t n = ::send(fd_, message.data() + done, message.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

void SocketReports::Receive() {
    for (;;) {
        std::uint8_t head[3];
        if (!ReadAll(fd_, head, sizeof head)) break;
        const std::size_t length = static_cast<std::size_t>(head[1] | head[2] << 8);
        if (length > tnx::kMaxReportMessage) break;
        std::vector<std::uint8_t> body(length);
        if (!ReadAll(fd_, body.data(), length)) break;
        if (head[0] == tnx::kOutputReport) {
            // The host's write completes before anything the report makes the device send.
            std::lock_guard lock(sendMutex_);
            const std::uint8_t taken = port_.Deliver(body.data(), length) ? 1 : 0;
            if (!SendLocked(tnx::kOutputTaken, &taken, 1)) break;
        } else if (head[0] == tnx::kFeatureReport) {
            Restart restart = Restart::kNone;
            const std::uint8_t taken = host_.feature(body.data(), length, restart) ? 1 : 0;
            Send(tnx::kFeatureTaken, &taken, 1);
            if (restart != Restart::kNone) host_.restart(restart);
        } else {
            break;  // not a message of the channel
        }
    }
    port_.Close();
}

}  // namespace vw
