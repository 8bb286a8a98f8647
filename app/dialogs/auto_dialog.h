// "Configure Auto": the six step boxes over the project's Auto mask, Run and Exit.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>

class QCheckBox;

namespace app::dialogs {

class AutoDialog : public QDialog {
    Q_OBJECT
  public:
    // `run` runs the batch for a mask; the dialog stays open for the next chip.
    AutoDialog(QWidget* parent, std::uint8_t autoSteps, std::function<void(std::uint8_t)> run);

    std::uint8_t Mask() const;  // the boxes, with bits 6 and 7 as they came
    QCheckBox* Box(int bit) const { return boxes_[static_cast<std::size_t>(bit)]; }
    void Run();

  private:
    std::array<QCheckBox*, 6> boxes_{};
    std::uint8_t carried_;
    std::function<void(std::uint8_t)> run_;
    bool running_ = false;
};

// Opens the dialog modally over `parent`.
void OpenAutoDialog(QWidget* parent, std::uint8_t autoSteps,
                    const std::function<void(std::uint8_t)>& run);

}  // namespace app::dialogs
