// The registration for the writer's HID arrivals and removals that a DFU upgrade holds while it
// runs: one device watcher, held process-wide like the system's notification handle, whose
// events reach the device-change handling (OnDeviceChange) on the thread `deliver` chooses.
#pragma once

#include <functional>
#include <string>

namespace writer {

// Runs a call on the thread that handles device changes (the window's: through its event queue).
using DeliverDeviceChange = std::function<void(std::function<void()> call)>;

// Starts watching; unset `deliver` runs the handling on the watcher's own thread (it only sets
// an event). `socketPath` empty: the virtual writer's socket the transports use. False when
// nothing could be watched. A second registration replaces the first.
bool RegisterHidNotification(DeliverDeviceChange deliver = {}, const std::string& socketPath = {});
void UnregisterHidNotification();
bool HidNotificationRegistered();

}  // namespace writer
