// Feeds arbitrary host bytes to the command and loader engines. Byte 0 picks the channel, a
// few injected faults and strictness; the rest is what the host sends.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vwriter/device.h"
#include "vwriter/engine.h"

namespace {

class MemoryPort final : public vw::Port {
  public:
    MemoryPort(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool ReadExact(std::uint8_t* buffer, std::size_t length) override {
        if (dropped_ || length > size_ - pos_) return false;
        std::memcpy(buffer, data_ + pos_, length);
        pos_ += length;
        return true;
    }
    bool Write(const std::uint8_t*, std::size_t) override { return !dropped_; }
    void Drop() override { dropped_ = true; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool dropped_ = false;
};

void NoDetach(void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t control = data[0];
    vw::Device device;
    if (control & 0x02) device.AddFault({vw::FaultKind::kLie, 2, 0, 1});
    if (control & 0x04) device.AddFault({vw::FaultKind::kShortRead, 3, 0, 2});
    if (control & 0x08) device.AddFault({vw::FaultKind::kDrop, 2, 2, 3});
    if (control & 0x10) device.AddFault({vw::FaultKind::kAck0, 4, 0, 1});
    if (control & 0x40) device.AddFault({vw::FaultKind::kStatus, 2, 0, 1, 2, 0x80});
    if (control & 0x80) device.AddFault({vw::FaultKind::kLoaderChecksum, 'D', 0, 1, 1, 0});
    MemoryPort port(data + 1, size - 1);
    vw::EngineOptions options;
    options.trimDelayMs = 0;
    options.strict = (control & 0x40) != 0;
    if (control & 0x01) {
        if (control & 0x20) device.SetMode(vw::Mode::kLoader);
        vw::ServeLoader(device, port, nullptr, &NoDetach, nullptr);
    } else {
        vw::ServeWriter(device, port, nullptr, options);
    }
    return 0;
}
