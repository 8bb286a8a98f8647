// The "QRX Form List" dialog: the project form in its view, with Load, Print, Save Picture and
// Exit. It holds the form text from opening until it closes.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

class QPushButton;

namespace core {
class Questions;
}
namespace model {
class Workbench;
}

namespace app::dialogs {

class ProjectFormView;

class FormDialog : public QDialog {
    Q_OBJECT
  public:
    // Dialog and control numbers, which are also their language keys.
    static constexpr int kDialogId = 133;  // 0x0085
    static constexpr int kLoadId = 1021;   // 0x03FD
    static constexpr int kPrintId = 1022;  // 0x03FE
    static constexpr int kSaveId = 1023;   // 0x03FF
    static constexpr int kExitId = 2;

    // `bench` is the window's state the form's window-taken lines come from; the reader's
    // messages go to `questions`.
    FormDialog(model::Workbench& bench, core::Questions& questions, std::string formText,
               QWidget* parent = nullptr);

    const std::string& FormText() const { return text_; }
    ProjectFormView* view() const { return view_; }
    QPushButton* loadButton() const { return load_; }
    QPushButton* printButton() const { return print_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* exitButton() const { return exit_; }

    // The operator's choices, replaceable for tests. An empty path is a Cancel.
    std::function<QString()> chooseProjectFile;
    std::function<QString()> choosePictureFile;
    // Shows the print dialog and, on OK, prints the page; replaceable for tests.
    std::function<void(const std::string& text)> print;
    // Opens a saved picture in the desktop's viewer.
    std::function<void(const QString& path)> openPicture;

    void OnLoad();
    void OnPrint();
    void OnSavePicture();

  private:
    QPushButton* MakeButton(int id, const char* fallback, QRect dialogUnits);
    QRect FromDialogUnits(QRect units) const;

    model::Workbench& bench_;
    core::Questions& questions_;
    std::string text_;
    ProjectFormView* view_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* print_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* exit_ = nullptr;
};

// The print dialog (all pages, no selection, no page numbers, no print to file) and, on OK,
// one page named "QRX" on the chosen printer.
void PrintFormWithDialog(QWidget* parent, const std::string& text);

}  // namespace app::dialogs
