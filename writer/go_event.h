// The firmware upgrade's Go event: a named manual-reset event the worker thread waits on and the
// device-change handling sets when the writer's HID interface arrives or goes away. Events are
// found by name in one process-wide registry, so the handler needs no pointer to the upgrade.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/device/device_watch.h"

namespace writer {

class GoEvent {
  public:
    void Set();
    void Reset();
    bool IsSet() const;
    // True when the event is (or becomes) signalled within `ms` milliseconds. Stays signalled:
    // a manual-reset event is cleared only by Reset.
    bool Wait(std::uint32_t ms);

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

// Error codes a creation can fail with, as the system reports them.
inline constexpr int kErrorPathNotFound = 3;   // a backslash in the name
inline constexpr int kErrorNameTooLong = 206;  // more than kMaxEventName characters
inline constexpr std::size_t kMaxEventName = 260;

// Creates the event of `name`, not signalled, or opens the one already living under it (left as
// it is). Null, with the reason in `error`, when the name cannot name an event. The event lives
// as long as anyone holds it.
std::shared_ptr<GoEvent> CreateGoEvent(const std::string& name, int* error = nullptr);
// The living event of `name`, or null.
std::shared_ptr<GoEvent> FindGoEvent(const std::string& name);

// The main window's device-change handling: an arrival or a removal whose device name is the
// writer's HID interface (case ignored) sets the Go event when one exists. True when it set it.
bool OnDeviceChange(devwatch::DeviceEvent event, std::string_view deviceName);

}  // namespace writer
