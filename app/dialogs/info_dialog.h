// "Information": what the writer holds for off-line programming, read-only; closed from its
// title bar or with Escape.
#pragma once

#include <QDialog>
#include <array>

#include "writer/info_block.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace app::dialogs {

class InfoDialog : public QDialog {
    Q_OBJECT
  public:
    InfoDialog(QWidget* parent, const writer::InfoReadout& readout);

    // The value shown beside the label with language key `key`; nullptr for another key.
    QLineEdit* Field(int key) const;
    QLabel* OptionName(int row) const { return names_[static_cast<std::size_t>(row)]; }
    QCheckBox* OptionBox(int row) const { return boxes_[static_cast<std::size_t>(row)]; }

  private:
    std::array<QLabel*, writer::kInfoOptionRows> names_{};
    std::array<QCheckBox*, writer::kInfoOptionRows> boxes_{};
};

}  // namespace app::dialogs
