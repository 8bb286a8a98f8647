// The window's side of the writer ports: the main progress bar, the event pump between chunks,
// and the writer's message boxes.
#pragma once

#include <QString>
#include <functional>

#include "core/operator_ports.h"
#include "writer/host.h"

class QProgressBar;
class QWidget;

namespace app {

class WindowWriterHost : public writer::Host {
  public:
    WindowWriterHost(QWidget* window, QProgressBar* bar, std::function<void(bool)> showBar);
    void SetProgressPosition(std::uint32_t position) override;
    void ShowProgressBar(bool shown) override;
    void PumpMessages() override;
    void Wait(std::uint32_t ms) override;
    void Repaint() override;

    // Runs after every pass of the pump (tests click buttons from inside a transfer here).
    std::function<void()> afterPump;

  private:
    QWidget* window_;
    QProgressBar* bar_;
    std::function<void(bool)> showBar_;
};

// The writer's boxes: information without an owner, the firmware question with its icon.
class WriterQuestions : public core::Questions {
  public:
    explicit WriterQuestions(QWidget* window) : window_(window) {}
    void Inform(std::string_view caption, std::string_view text) override;
    bool AskOkCancel(std::string_view caption, std::string_view text) override;
    bool AskYesNo(std::string_view caption, std::string_view text) override;

  private:
    QString Caption(std::string_view caption) const;
    QWidget* window_;
};

// Whether the writer the transport will use is the virtual one.
bool UsesVirtualWriter();

}  // namespace app
