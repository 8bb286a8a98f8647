// The warning shown while the writer's firmware is upgraded through dfu: no title, fixed size,
// amber background, a blinking banner, the message, and the progress as a bar and a text.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>

#include "writer/dfu_upgrade.h"
#include "writer/writer.h"

class QLabel;
class QProgressBar;
class QTimer;

namespace app::dialogs {

class UpgradeDialog : public QDialog, public writer::UpgradeProgressView {
    Q_OBJECT
  public:
    explicit UpgradeDialog(QWidget* parent);

    void ShowValue(std::uint32_t value) override;

    QLabel* banner() const { return banner_; }
    QLabel* message() const { return message_; }
    QLabel* percentage() const { return percentage_; }
    QProgressBar* bar() const { return bar_; }
    QTimer* blinkTimer() const { return blink_; }
    // Shows the banner or blanks it: the blink timer's step.
    void Blink();
    // The warning stays until the upgrade ends: Escape does not close it.
    void reject() override {}

  private:
    QLabel* banner_;
    QLabel* message_;
    QLabel* percentage_;
    QProgressBar* bar_;
    QTimer* blink_;
    QString bannerText_;
    bool bannerShown_ = true;
};

// The window's side of the upgrade: the dialog over `window`, and the device notifications
// delivered through the event queue.
class WindowUpgradeUi : public writer::UpgradeUi {
  public:
    explicit WindowUpgradeUi(QWidget* window) : window_(window) {}
    std::unique_ptr<writer::UpgradeProgressView> ShowProgressDialog() override;
    bool RegisterHidNotification() override;
    void UnregisterHidNotification() override;

  private:
    QWidget* window_;
};

// Fills `writer.dfuUpgrade` with the DFU upgrade over `window`; it lives as long as the hook.
void InstallDfuUpgrade(QWidget* window, writer::Writer& writer);

// Opening step of the window: with a Ctrl key held (right from left cannot be told apart on
// every platform, so either), offers the forced upgrade. True when it ran.
bool ForcedUpgradeAtOpening(writer::Writer& writer);

}  // namespace app::dialogs
