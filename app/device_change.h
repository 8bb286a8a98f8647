// The main window's device-change handling: the writer's HID arrivals and removals, from a real
// writer or the virtual one, reach the user-interface thread through the event queue and set
// the firmware upgrade's Go event there.
#pragma once

namespace app {

// Registers for the notifications while an upgrade runs; false when nothing could be watched.
bool RegisterHidNotification();
void UnregisterHidNotification();

}  // namespace app
