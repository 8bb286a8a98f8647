#include "app/dialogs/file_dialogs.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialogs/dialog_controls.h"
#include "app/hex_entry_field.h"
#include "app/profile.h"
#include "catalogue/lookup.h"
#include "project/qrx_file.h"

namespace app::dialogs {
namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The file dialogs filter with Qt's pattern syntax but show the texts the operator knows.
QStringList ProgramFilters() {
    return {NameFilter("Support Format(*.bin;*.hex;*.qrx)", "*.bin;*.hex;*.qrx"),
            NameFilter("Bin Format(*.bin)", "*.bin"), NameFilter("Hex Format(*.hex)", "*.hex"),
            NameFilter("Project Format(*.qrx)", "*.qrx"), NameFilter("all Format(*.*)", "*.*")};
}

}  // namespace

void StartFileDialog(QFileDialog& dialog, const QString& remembered) {
    if (!remembered.isEmpty() && QFileInfo(remembered).dir().exists()) {
        dialog.selectFile(remembered);
    } else {
        dialog.setDirectory(QDir::homePath());  // no folder's name ends up as a file name
    }
}

QString NameFilter(const char* shown, const char* patterns) {
    QString qtPatterns = QString::fromLatin1(patterns).replace(u';', u' ');
    qtPatterns.replace(QStringLiteral("*.*"), QStringLiteral("*"));  // every file, dotted or not
    return QString::fromUtf8(shown) + QStringLiteral(" (") + qtPatterns + u')';
}

// ---- Select AP/IAP area ----

SelectAreaDialog::SelectAreaDialog(std::uint32_t defaultAddress, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(LanguageText(id::kSelectAreaDialog, "Select AP/IAP area"));
    ap_ = new QRadioButton(LanguageText(id::kApCode, "AP (Code)"), this);
    iap_ = new QRadioButton(LanguageText(id::kIapData, "IAP (Data)"), this);
    auto* label = new QLabel(LanguageText(id::kAddressLabel, "Address : 0x"), this);
    address_ = new HexEntryField(this);
    address_->SetValue(defaultAddress);
    ap_->setChecked(true);
    address_->setEnabled(false);
    connect(ap_, &QRadioButton::toggled, this, [this](bool on) { address_->setEnabled(!on); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(address_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ap_);
    layout->addWidget(iap_);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

std::uint32_t SelectAreaDialog::PlaceAddress() const {
    return iap_->isChecked() ? address_->Value() : 0;
}

// ---- Custom Setting ----

CustomSettingDialog::CustomSettingDialog(std::uint8_t customId, const std::string& stringId,
                                         QWidget* parent)
    : QDialog(parent), customId_(customId), stringId_(stringId) {
    setWindowTitle(QStringLiteral("Custom Setting"));
    customIdField_ = new HexEntryField(this);
    customIdField_->setMaxLength(2);
    customIdField_->SetValue(customId, 2);
    stringIdField_ = new QLineEdit(this);
    stringIdField_->setMaxLength(16);
    stringIdField_->setText(QString::fromStdString(stringId));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(LanguageText(id::kCustomIdLabel, "Custom ID"), this), 0, 0);
    grid->addWidget(customIdField_, 0, 1);
    grid->addWidget(new QLabel(LanguageText(id::kStringIdLabel, "String ID"), this), 1, 0);
    grid->addWidget(stringIdField_, 1, 1);
    grid->addWidget(buttons, 2, 0, 1, 2);
}

void CustomSettingDialog::accept() {
    customId_ =
        static_cast<std::uint8_t>(customIdField_->text().isEmpty() ? 0 : customIdField_->Value());
    stringId_ = stringIdField_->text().left(16).toStdString();
    QDialog::accept();
}

// ---- Insert ISP Code ----

InsertIspDialog::InsertIspDialog(Profile& profile, QWidget* parent)
    : QDialog(parent), profile_(profile) {
    setWindowTitle(LanguageText(id::kInsertIspDialog, "Insert ISP Code"));
    builtin_ = new QRadioButton(LanguageText(id::kBuiltinIsp, "Corvane-provided ISP code"), this);
    user_ = new QRadioButton(LanguageText(id::kUserIsp, "User-defined ISP code"), this);
    path_ = new QLineEdit(this);
    path_->setReadOnly(true);
    browse_ = new QPushButton(LanguageText(id::kBrowse, "Browse"), this);
    insert_ = new QPushButton(LanguageText(id::kInsert, "Insert"), this);
    auto* exit = new QPushButton(LanguageText(id::kExit, "Exit"), this);

    // Whatever was chosen last time, the dialog starts from the built-in code.
    builtin_->setChecked(true);
    browse_->setEnabled(false);
    choice_ = {proj::ISP_SRC_BUILTIN, {}};

    connect(user_, &QRadioButton::clicked, this, [this] {
        choice_.source = proj::ISP_SRC_USER;
        browse_->setEnabled(true);
    });
    connect(builtin_, &QRadioButton::clicked, this, [this] {
        choice_.source = proj::ISP_SRC_BUILTIN;
        choice_.path.clear();
        path_->clear();
        browse_->setEnabled(false);
    });
    connect(browse_, &QPushButton::clicked, this, &InsertIspDialog::OnBrowse);
    connect(insert_, &QPushButton::clicked, this, &InsertIspDialog::OnInsert);
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);

    chooseFile = [this](const QString& start) {
        QFileDialog dialog(this);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilters({NameFilter("Support Format(*.bin;*.hex)", "*.bin;*.hex"),
                               NameFilter("Bin Format(*.bin)", "*.bin"),
                               NameFilter("Hex Format(*.hex)", "*.hex"),
                               NameFilter("all Format(*.*)", "*.*")});
        StartFileDialog(dialog, start);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };

    auto* layout = new QGridLayout(this);
    layout->addWidget(builtin_, 0, 0, 1, 2);
    layout->addWidget(user_, 1, 0, 1, 2);
    layout->addWidget(path_, 2, 0);
    layout->addWidget(browse_, 2, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(insert_);
    row->addWidget(exit);
    layout->addLayout(row, 3, 0, 1, 2);
    resize(420, sizeHint().height());
}

void InsertIspDialog::OnBrowse() {
    choice_.path.clear();
    path_->clear();
    const QString chosen = chooseFile(profile_.ReadText(QStringLiteral("IspPath")));
    if (chosen.isEmpty()) return;
    profile_.WriteText(QStringLiteral("IspPath"), chosen);
    choice_.path = chosen.toStdString();
    choice_.source = proj::ISP_SRC_USER;
    path_->setText(chosen);
}

void InsertIspDialog::OnInsert() {
    if (choice_.source == proj::ISP_SRC_USER && choice_.path.empty()) {
        QMessageBox::information(
            this, windowTitle(),
            QString::fromStdString(cat::LanguageTextOr(id::kMsgLoadIspFile,
                                                       proj::EnglishMessage(id::kMsgLoadIspFile))));
        return;
    }
    accept();
}

// ---- message boxes ----

QString BoxQuestions::Caption(std::string_view caption) const {
    if (!caption.empty()) return FromUtf8(caption);
    return parent_ ? parent_->window()->windowTitle() : QString();
}

void BoxQuestions::Inform(std::string_view caption, std::string_view text) {
    QMessageBox::information(parent_, Caption(caption), FromUtf8(text));
}

bool BoxQuestions::AskOkCancel(std::string_view caption, std::string_view text) {
    return QMessageBox::critical(parent_, Caption(caption), FromUtf8(text),
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

bool BoxQuestions::AskYesNo(std::string_view caption, std::string_view text) {
    return QMessageBox::question(parent_, Caption(caption), FromUtf8(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

// ---- the window's choices ----

std::optional<std::string> WindowFileDialogs::OpenProgramFile() {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(ProgramFilters());
    StartFileDialog(dialog, profile_.ReadText(QStringLiteral("LoadPath")));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = dialog.selectedFiles().first();
    profile_.WriteText(QStringLiteral("LoadPath"), path);
    return path.toStdString();
}

std::optional<std::uint32_t> WindowFileDialogs::SelectArea(std::uint32_t defaultAddress) {
    SelectAreaDialog dialog(defaultAddress, parent_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.PlaceAddress();
}

std::optional<std::string> WindowFileDialogs::SaveFile(const QString& key,
                                                       const QStringList& filters,
                                                       const QString& suffix) {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(suffix);  // overwriting asks first: Qt's default
    StartFileDialog(dialog, profile_.ReadText(key));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = dialog.selectedFiles().first();
    profile_.WriteText(key, path);
    return path.toStdString();
}

std::optional<std::string> WindowFileDialogs::SaveBufferFile() {
    return SaveFile(
        QStringLiteral("SavePath"),
        {NameFilter("Bin Format(*.bin)", "*.bin"), NameFilter("All Format(*.*)", "*.*")},
        QStringLiteral("bin"));
}

std::optional<std::string> WindowFileDialogs::SaveProjectFile() {
    return SaveFile(QStringLiteral("QrxSavePath"),
                    {NameFilter("Corvane Project Format(*.qrx)", "*.qrx"),
                     NameFilter("All Format(*.*)", "*.*")},
                    QStringLiteral("qrx"));
}

void WindowFileDialogs::CustomSetting(std::uint8_t& customId, std::string& stringId) {
    CustomSettingDialog dialog(customId, stringId, parent_);
    dialog.exec();
    customId = dialog.CustomId();
    stringId = dialog.StringId();
}

std::optional<model::IspChoice> WindowFileDialogs::InsertIsp() {
    InsertIspDialog dialog(profile_, parent_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Choice();
}

}  // namespace app::dialogs
