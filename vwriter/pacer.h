// Full-speed HID as the writer's report framing uses it: 63 payload bytes a report, one report a
// millisecond. Host and device take turns, so every transfer's reports follow the last one's; a
// clock that runs on from where the last transfer was due keeps sleep overshoot from adding up,
// and starts afresh when the host has been quiet.
#pragma once

#include <chrono>
#include <cstddef>
#include <thread>

namespace vw {

class Pacer {
  public:
    static constexpr std::size_t kPayload = 63;  // bytes a report carries

    explicit Pacer(bool on) : on_(on) {}
    void Reports(std::size_t reports) {
        if (!on_ || reports == 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (due_ + std::chrono::milliseconds(1) < now) due_ = now;
        due_ += std::chrono::milliseconds(static_cast<long>(reports));
        std::this_thread::sleep_until(due_);
    }
    void Bytes(std::size_t length) { Reports((length + kPayload - 1) / kPayload); }

  private:
    bool on_;
    std::chrono::steady_clock::time_point due_{};
};

}  // namespace vw
