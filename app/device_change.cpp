#include "app/device_change.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "writer/dfu_upgrade_notification.h"

namespace app {

bool RegisterHidNotification() {
    // The watcher's thread only queues the call; the handling runs where the window's does.
    return writer::RegisterHidNotification([](std::function<void()> call) {
        if (QCoreApplication* application = QCoreApplication::instance())
            QMetaObject::invokeMethod(application, std::move(call), Qt::QueuedConnection);
    });
}

void UnregisterHidNotification() {
    writer::UnregisterHidNotification();
}

}  // namespace app
