// The writer's side of its USB HID reports. Output reports as the host writes them (report id
// 0, then 64 bytes whose byte 0 counts the payload, 1 to 63) become the byte stream the protocol
// engines read; what the engines write goes out as 64-byte input reports framed the same way.
// A transport delivers and carries the reports: a socket for the tests' hidapi double, or
// /dev/uhid for a kernel HID device.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/device/writer_ids.h"
#include "vwriter/engine.h"
#include "vwriter/pacer.h"

namespace vw {

inline constexpr std::size_t kHidReport = 64;  // bytes of every input and output report
inline constexpr std::uint16_t kHidVendorId = writer_ids::WRITER_VID;
inline constexpr std::uint16_t kHidRelease = 0x0100;
// The USB identity in each mode: the loader enumerates under a product id of its own.
std::uint16_t HidProductId(Mode mode);
const char* HidProductName(Mode mode);

class ReportPort final : public Port {
  public:
    struct Transport {
        std::function<bool(const std::uint8_t* report, std::size_t length)> send;
        std::function<void()> drop;  // the device goes off the bus
    };
    ReportPort(Device& device, Trace* trace, const EngineOptions& options, bool usbTiming,
               Transport transport);

    // An output report from the host. False when the device refuses it (a write fault): the
    // host's write fails and nothing of it arrives.
    bool Deliver(const std::uint8_t* report, std::size_t length);
    // The host has closed the device, or the device went away: reads end.
    void Close();

    bool ReadExact(std::uint8_t* buffer, std::size_t length) override;
    bool Write(const std::uint8_t* data, std::size_t length) override;
    void Drop() override;
    std::size_t Available() override;
    std::size_t PartialBytes() const override { return partial_; }
    void Pause(int ms) override;
    void BeginAnswer(const std::vector<Fault>& faults) override;
    void StopReading() override;

  private:
    bool FaultAt(FaultKind kind, std::uint32_t report) const;  // with mutex_ held

    Device& device_;
    Trace* trace_;
    const EngineOptions& options_;
    Transport transport_;
    Pacer pacer_;
    std::size_t partial_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::uint8_t> bytes_;
    bool closed_ = false;
    bool deaf_ = false;             // every output report refused from now on
    std::vector<Fault> faults_;     // the report-level faults of the current answer
    std::uint32_t outputSeen_ = 0;  // output reports since the frame
    std::uint32_t inputSent_ = 0;   // input reports of the answer
};

// What the daemon does for a report transport.
struct ReportHost {
    // One session with the host, served in the device's current mode.
    std::function<void(ReportPort&)> serve;
    // A feature report: whether it is taken, and the restart to carry out once the host has
    // its answer.
    std::function<bool(const std::uint8_t* report, std::size_t length, Restart& restart)> feature;
    std::function<void(Restart)> restart;
};

// One connection of the report channel on the daemon's socket (tunnix/socket_hello.h): a
// thread answers the host's output and feature reports as they come, as a USB endpoint does,
// while the caller serves the session on port().
class SocketReports {
  public:
    SocketReports(int fd, Device& device, Trace* trace, const EngineOptions& options,
                  bool usbTiming, ReportHost host);
    ~SocketReports();
    SocketReports(const SocketReports&) = delete;
    SocketReports& operator=(const SocketReports&) = delete;
    ReportPort& port() { return port_; }

  private:
    bool Send(std::uint8_t type, const std::uint8_t* data, std::size_t length);
    bool SendLocked(std::uint8_t type, const std::uint8_t* data, std::size_t length);
    void Receive();

    int fd_;
    ReportHost host_;
    std::mutex sendMutex_;
    ReportPort port_;
    std::thread reader_;
};

}  // namespace vw
