// "Off-Line Mode": the counter and serial-number plan of the project, written through to the
// project record on every change, and its Download and Read Info buttons.
#pragma once

#include <QDialog>
#include <cstdint>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace writer {
class Writer;
}

namespace app {
class HexEntryField;
}

namespace app::dialogs {

class OfflineDialog : public QDialog {
    Q_OBJECT
  public:
    OfflineDialog(QWidget* parent, writer::Writer& writer);

    QLineEdit* maxCounter() const { return maxCounter_; }
    QCheckBox* enableSerial() const { return enableSerial_; }
    QLineEdit* serialString() const { return string_; }
    HexEntryField* number() const { return number_; }
    QCheckBox* autoIncrement() const { return autoIncrement_; }
    HexEntryField* startAddress() const { return start_; }
    HexEntryField* endAddress() const { return end_; }
    QPushButton* downloadButton() const { return download_; }
    QPushButton* readInfoButton() const { return readInfo_; }

    void Download();
    void ReadInfo();

  private:
    void Fill();
    void ApplyEnableRule();
    void Changed();

    writer::Writer& writer_;
    std::uint32_t startLimit_;
    QLineEdit* maxCounter_ = nullptr;
    QCheckBox* enableSerial_ = nullptr;
    QLineEdit* string_ = nullptr;
    HexEntryField* number_ = nullptr;
    QCheckBox* autoIncrement_ = nullptr;
    HexEntryField* start_ = nullptr;
    HexEntryField* end_ = nullptr;
    QPushButton* download_ = nullptr;
    QPushButton* readInfo_ = nullptr;
    bool running_ = false;
};

// Button 1005: opens the dialog modally over `parent`.
void OpenOfflineDialog(QWidget* parent, writer::Writer& writer);

}  // namespace app::dialogs
