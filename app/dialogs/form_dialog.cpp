#include "app/dialogs/form_dialog.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFontMetrics>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QUrl>

#include "app/dialogs/dialog_controls.h"
#include "app/dialogs/file_dialogs.h"
#include "app/dialogs/project_form_view.h"
#include "form/form_outputs.h"
#include "form/project_form.h"
#include "platform/window_class.h"
#include "workbench/workbench.h"

namespace app::dialogs {

namespace {

// The template's layout, in dialog units.
constexpr QSize kDialogSize(400, 337);
constexpr QRect kViewArea(7, 7, 386, 297);
constexpr int kButtonRow = 312;
constexpr QSize kButtonSize(57, 18);

}  // namespace

FormDialog::FormDialog(model::Workbench& bench, core::Questions& questions, std::string formText,
                       QWidget* parent)
    : QDialog(parent), bench_(bench), questions_(questions), text_(std::move(formText)) {
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    setWindowTitle(LanguageText(kDialogId, "QRX Form List"));
    setFixedSize(FromDialogUnits(QRect(QPoint(0, 0), kDialogSize)).size());

    view_ = new ProjectFormView(this);
    view_->setGeometry(FromDialogUnits(kViewArea));
    view_->SetFormText(text_);

    load_ = MakeButton(kLoadId, "Load *.QRX", QRect(QPoint(7, kButtonRow), kButtonSize));
    print_ = MakeButton(kPrintId, "Print", QRect(QPoint(77, kButtonRow), kButtonSize));
    save_ = MakeButton(kSaveId, "Save Picture", QRect(QPoint(147, kButtonRow), kButtonSize));
    exit_ = MakeButton(kExitId, "Exit", QRect(QPoint(336, kButtonRow), kButtonSize));
    connect(load_, &QPushButton::clicked, this, &FormDialog::OnLoad);
    connect(print_, &QPushButton::clicked, this, &FormDialog::OnPrint);
    connect(save_, &QPushButton::clicked, this, &FormDialog::OnSavePicture);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);

    chooseProjectFile = [this] {
        return QFileDialog::getOpenFileName(this, QString(), QString(),
                                            NameFilter("Project Format(*.qrx)", "*.qrx"));
    };
    choosePictureFile = [this] {
        QFileDialog dialog(this);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(NameFilter("Bitmap Format(*.bmp)", "*.bmp"));
        dialog.setDefaultSuffix(QStringLiteral("bmp"));
        // Replacing a file is asked first (the dialog's default).
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };
    print = [this](const std::string& text) { PrintFormWithDialog(this, text); };
    openPicture = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
}

QRect FormDialog::FromDialogUnits(QRect units) const {
    // A dialog unit is a quarter of the font's average character width across and an eighth
    // of its height down.
    const QFontMetrics metrics(font());
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    const int baseY = metrics.height();
    auto x = [&](int v) { return v * baseX / 4; };
    auto y = [&](int v) { return v * baseY / 8; };
    return QRect(x(units.x()), y(units.y()), x(units.width()), y(units.height()));
}

QPushButton* FormDialog::MakeButton(int id, const char* fallback, QRect dialogUnits) {
    auto* button = new QPushButton(LanguageText(id, fallback), this);
    RegisterControl(button, id);
    button->setAutoDefault(false);
    button->setGeometry(FromDialogUnits(dialogUnits));
    return button;
}

void FormDialog::OnLoad() {
    const QString path = chooseProjectFile ? chooseProjectFile() : QString();
    if (path.isEmpty()) return;
    // A rejected file leaves the form as it was; the reader has said why.
    auto text = form::BuildProjectForm(bench_, path.toStdString(), &questions_);
    if (!text) return;
    text_ = std::move(*text);
    view_->SetFormText(text_);
}

void FormDialog::OnPrint() {
    if (print) print(text_);
}

void FormDialog::OnSavePicture() {
    const QString path = choosePictureFile ? choosePictureFile() : QString();
    if (path.isEmpty()) return;
    // A file that cannot be written is said so, and one already there is kept as it was.
    if (!form::SaveFormPicture(path.toStdString(), text_)) {
        const std::string why = "The picture could not be written to:\n" + path.toStdString();
        questions_.Inform(LanguageText(kSaveId, "Save Picture").toStdString(), why);
        return;
    }
    if (openPicture) openPicture(path);
}

void PrintFormWithDialog(QWidget* parent, const std::string& text) {
    QPrinter printer;
    printer.setDocName(QString::fromLatin1(form::kPrintDocumentName));
    QPrintDialog dialog(&printer, parent);
    dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    // Copies are left to the printer's own settings.
    dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, false);
    if (dialog.exec() != QDialog::Accepted) return;
    form::PrintFormPage(printer, text);
}

}  // namespace app::dialogs
