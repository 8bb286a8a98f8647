// Byte pipes to a writer: the virtual writer's socket or a real writer over HID reports.
// Shared by libtunnix and libdfu.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tnx {

class Link {
  public:
    virtual ~Link() = default;
    // Sends every byte or gives up at the time-out.
    virtual bool Write(const std::uint8_t* data, std::size_t length, int timeoutMs) = 0;
    // Returns once `length` bytes have arrived or the time-out has passed; the count read.
    virtual std::size_t Read(std::uint8_t* buffer, std::size_t length, int timeoutMs) = 0;
    // Drops whatever has arrived and not been read.
    virtual void Clear() = 0;
};

// Connects to the socket and opens `channel` with the ids; null when nothing answers or the
// device refuses the ids.
std::unique_ptr<Link> OpenSocketLink(const std::string& path, std::uint32_t channel,
                                     std::uint16_t vid, std::uint16_t pid, int timeoutMs);

// One writer attached over USB HID, as the system lists it.
struct HidWriter {
    std::string path;    // the device node, what OpenHidLinkAt takes
    std::string serial;  // the USB serial string; empty when the device has none
    std::uint16_t productId = 0;
};
// The attached devices with the vendor id and the product id (0: any of the vendor's), one
// entry a device node, in the system's order.
std::vector<HidWriter> ListHidWriters(std::uint16_t vid, std::uint16_t pid);

// Opens the first writer with the ids, or the one at `path`. On failure `problem` says why
// (empty when none is attached).
std::unique_ptr<Link> OpenHidLink(std::uint16_t vid, std::uint16_t pid, std::string& problem);
std::unique_ptr<Link> OpenHidLinkAt(const std::string& path, std::string& problem);
bool HidDevicePresent(std::uint16_t vid, std::uint16_t pid);
// Sends a feature report to the writer at `path` (used to restart it into its loader).
bool HidSendFeature(const std::string& path, const std::uint8_t* report, std::size_t length);

enum class TransportKind { kSocket, kHid, kNone };
struct TransportChoice {
    TransportKind kind = TransportKind::kNone;
    std::string socketPath;
    // For kHid, at most one: the device node, or the USB serial string, the writer must have.
    std::string hidPath;
    std::string hidSerial;
};
// TUNNIX_DEVICE: "hid", "hid:PATH", "hid:serial=S", "vwriter:PATH"; unset: a real writer when
// attached, else the virtual writer's default socket when it exists.
TransportChoice ChooseTransport(std::uint16_t vid, std::uint16_t pid);
// The device node of the HID writer with the ids that `choice` names: the path it gives when
// such a device is there, the one with its serial string, or the first. Empty when none is.
std::string ChosenHidPath(const TransportChoice& choice, std::uint16_t vid, std::uint16_t pid);
// Opens that writer; `problem` as OpenHidLinkAt gives it (empty when none is attached).
std::unique_ptr<Link> OpenChosenHid(const TransportChoice& choice, std::uint16_t vid,
                                    std::uint16_t pid, std::string& problem);

// Explains a refused HID device on standard error once per process, naming the udev rule.
void ReportHidPermission(const std::string& devicePath);

}  // namespace tnx
