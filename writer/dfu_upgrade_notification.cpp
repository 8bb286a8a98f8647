#include "writer/dfu_upgrade_notification.h"

#include <memory>

#include "platform/device/device_watch.h"
#include "writer/go_event.h"

namespace writer {

namespace {

std::unique_ptr<devwatch::DeviceWatcher>& Registration() {
    static std::unique_ptr<devwatch::DeviceWatcher> watcher;
    return watcher;
}

}  // namespace

bool RegisterHidNotification(DeliverDeviceChange deliver, const std::string& socketPath) {
    UnregisterHidNotification();
    auto handler = [deliver](devwatch::DeviceEvent event, const std::string& name) {
        if (!deliver) {
            OnDeviceChange(event, name);
            return;
        }
        deliver([event, name] { OnDeviceChange(event, name); });
    };
    auto watcher = std::make_unique<devwatch::DeviceWatcher>(handler, socketPath);
    if (!watcher->Start()) return false;
    Registration() = std::move(watcher);
    return true;
}

void UnregisterHidNotification() {
    if (auto& watcher = Registration()) {
        watcher->Stop();
        watcher.reset();
    }
}

bool HidNotificationRegistered() {
    return Registration() != nullptr;
}

}  // namespace writer
