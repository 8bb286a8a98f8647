// The writer's firmware upgrade through libdfu.so: the library bound by name for one upgrade,
// the Go event, the worker thread, and the user-interface thread polling the progress count into
// the progress dialog while it keeps the window alive. Plain C++; the dialog and the device
// notifications are reached through UpgradeUi.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "core/operator_ports.h"
#include "writer/dfu_upgrade_worker.h"
#include "writer/host.h"

namespace writer {

// The progress dialog while it is shown; destroying it destroys the dialog.
class UpgradeProgressView {
  public:
    virtual ~UpgradeProgressView() = default;
    // 0 to 100: a percentage; anything else: waiting.
    virtual void ShowValue(std::uint32_t value) = 0;
};

// What the upgrade needs from whoever faces the operator, beyond the Host and the questions.
class UpgradeUi {
  public:
    virtual ~UpgradeUi() = default;
    // Creates and shows the progress dialog, owned by the main window.
    virtual std::unique_ptr<UpgradeProgressView> ShowProgressDialog() = 0;
    // Asks for the writer's HID arrivals and removals (they set the Go event); true when asked.
    virtual bool RegisterHidNotification() = 0;
    virtual void UnregisterHidNotification() = 0;
};

class DfuUpgrade {
  public:
    DfuUpgrade(Host& host, core::Questions& questions, UpgradeUi& ui);

    // Binds libdfu.so, runs the upgrade of `image`, frees the library. Not started when the
    // library cannot be bound (after its box, with nothing called in it).
    core::Outcome Run(std::span<const std::uint8_t> image);
    core::Outcome operator()(std::span<const std::uint8_t> image) { return Run(image); }
    // The upgrade with the entry points already bound.
    core::Outcome RunBound(const DfuApi& api, std::span<const std::uint8_t> image);

    // The file bound, beside the program.
    std::string libraryFile = "libdfu.so";
    std::string goEventName;  // the writer's Go event name
    // How long the worker waits for the writer to come back (devwatch::UpgradeWaitMs unless a
    // test sets another).
    std::function<std::uint32_t()> chooseWaitMs;

    // How the last run went, for the command line and for diagnosis.
    std::uint32_t lastWaitMs = 0;
    bool lastLoaderSeen = false;

  private:
    Host& host_;
    core::Questions& questions_;
    UpgradeUi& ui_;
};

// Binds the four entry points of a loaded library; none when one is missing.
std::optional<DfuApi> ResolveDfuApi(void* library);

}  // namespace writer
