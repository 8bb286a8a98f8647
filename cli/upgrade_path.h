// The writer firmware upgrade on the command line: the DFU upgrade wired into a Writer, with its
// progress on standard error, and `writer-cli upgrade` itself. `op --upgrade yes` goes the same
// way: it only needs the Writer's DFU hook filled while it runs.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "writer/dfu_upgrade.h"
#include "writer/writer.h"

namespace cli {

// The progress dialog as one line on standard error (only when it is a terminal); device changes
// set the Go event straight from the watcher's thread, as there is no window queue to go through.
class ConsoleUpgradeUi : public writer::UpgradeUi {
  public:
    std::unique_ptr<writer::UpgradeProgressView> ShowProgressDialog() override;
    bool RegisterHidNotification() override;
    void UnregisterHidNotification() override;
};

// Fills `writer.dfuUpgrade` for as long as it lives.
class UpgradePath {
  public:
    explicit UpgradePath(writer::Writer& writer);
    ~UpgradePath();
    UpgradePath(const UpgradePath&) = delete;
    UpgradePath& operator=(const UpgradePath&) = delete;

    writer::DfuUpgrade& dfu() { return dfu_; }
    writer::Writer& writer() { return writer_; }

  private:
    writer::Writer& writer_;
    ConsoleUpgradeUi ui_;
    writer::DfuUpgrade dfu_;
};

// Whether the attached writer runs every image carried for the selected part; false also when
// no writer answers.
bool WriterFirmwareCurrent(writer::Writer& writer);

// Why the writer's application did not answer: none is attached, or one is attached that sits
// in its loader, which the forced upgrade (for `partIndex` when known) brings back.
std::string NoWriterReason(std::optional<int> partIndex);

// Brings the path's writer to the selected part's firmware: the firmware check with every
// question answered yes, or with `force` the part's DFU image whatever the writer reports. 0
// when the writer ends on current firmware, else 1 with the reason on standard error.
int UpgradeWriter(UpgradePath& path, bool force);

}  // namespace cli
