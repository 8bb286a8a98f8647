// A code buffer held in a plain vector, for the command line and tests. It reports changes the
// way the hex-grid control does: after data was set, after bytes were deleted or edited, never
// for a capacity change.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/operator_ports.h"

namespace model {

class VectorCodeBuffer : public core::CodeBufferPort {
  public:
    explicit VectorCodeBuffer(std::uint32_t capacity = 0x10000) : capacity_(capacity) {}

    std::uint32_t Size() const override { return static_cast<std::uint32_t>(bytes_.size()); }
    std::vector<std::uint8_t> Bytes() const override { return bytes_; }
    // An empty vector changes nothing and reports nothing.
    void SetBytes(const std::vector<std::uint8_t>& bytes) override;
    std::uint32_t Checksum() const override;
    // Cuts the content down to the capacity; no report.
    void SetCapacity(std::uint32_t capacity) override;
    std::uint32_t Capacity() const override { return capacity_; }
    // Reports only when something was deleted.
    void ClearAll() override;

    // An operator's typing: overwrites the byte at `offset`, or appends when `offset` is the
    // size; refused past the end or the capacity. Reports the change.
    bool Type(std::uint32_t offset, std::uint8_t value);

    std::function<void()> onChange;

  private:
    void Changed();
    std::vector<std::uint8_t> bytes_;
    std::uint32_t capacity_;
};

}  // namespace model
