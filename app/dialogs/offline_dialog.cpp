#include "app/dialogs/offline_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/dialogs/dialog_controls.h"
#include "app/dialogs/info_dialog.h"
#include "app/hex_entry_field.h"
#include "catalogue/lookup.h"
#include "platform/window_class.h"
#include "writer/offline.h"
#include "writer/offline_config.h"

namespace app::dialogs {

namespace {

constexpr int kTitleKey = 131;
constexpr int kExitKey = 2;
constexpr int kMaxCounterId = 1509;
constexpr int kStringId = 1511;
constexpr int kNumberId = 1512;
constexpr int kStartId = 1513;
constexpr int kEndId = 1514;
constexpr int kEnableId = 1055;
constexpr int kAutoIncrementId = 1056;
constexpr int kDownloadId = 1016;
constexpr int kReadInfoId = 1017;

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace

OfflineDialog::OfflineDialog(QWidget* parent, writer::Writer& writer)
    : QDialog(parent),
      writer_(writer),
      startLimit_(writer::offline::StartAddressLimit(writer.bench().CodeSize())) {
    setWindowTitle(LanguageText(kTitleKey, "Off-Line Mode"));

    maxCounter_ = Registered(new QLineEdit(this), kMaxCounterId);
    maxCounter_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    maxCounter_->setMaxLength(10);
    enableSerial_ =
        Registered(new QCheckBox(LanguageText(1055, "Enable Serial Number"), this), kEnableId);
    // The limit is 12 encoded bytes, not characters; it is kept by the change handler.
    string_ = Registered(new QLineEdit(this), kStringId);
    number_ = Registered(new HexEntryField(this), kNumberId);
    number_->setMaxLength(writer::offline::kHexDigits);
    autoIncrement_ = Registered(new QCheckBox(LanguageText(1056, "Auto Increment Number"), this),
                                kAutoIncrementId);
    start_ = Registered(new HexEntryField(this), kStartId);
    start_->setMaxLength(writer::offline::kHexDigits);
    end_ = Registered(new HexEntryField(this), kEndId);
    end_->setMaxLength(writer::offline::kHexDigits);
    end_->setReadOnly(true);

    auto* grid = new QGridLayout;
    auto label = [this](int key, const char* english) {
        return new QLabel(LanguageText(key, english), this);
    };
    auto hexPrefix = [this] { return new QLabel(QStringLiteral("0x"), this); };
    grid->addWidget(label(1041, "MaxCounter"), 0, 0);
    grid->addWidget(maxCounter_, 0, 2);
    grid->addWidget(enableSerial_, 1, 0, 1, 3);
    grid->addWidget(label(1051, "String"), 2, 0);
    grid->addWidget(string_, 2, 2);
    grid->addWidget(label(1052, "Number"), 3, 0);
    grid->addWidget(hexPrefix(), 3, 1);
    grid->addWidget(number_, 3, 2);
    grid->addWidget(autoIncrement_, 4, 0, 1, 3);
    grid->addWidget(label(1053, "Start Address"), 5, 0);
    grid->addWidget(hexPrefix(), 5, 1);
    grid->addWidget(start_, 5, 2);
    grid->addWidget(label(1054, "End Address"), 6, 0);
    grid->addWidget(hexPrefix(), 6, 1);
    grid->addWidget(end_, 6, 2);
    grid->setColumnStretch(2, 1);

    download_ =
        Registered(new QPushButton(LanguageText(kDownloadId, "Download"), this), kDownloadId);
    readInfo_ =
        Registered(new QPushButton(LanguageText(kReadInfoId, "Read Info"), this), kReadInfoId);
    auto* exit = Registered(new QPushButton(LanguageText(kExitKey, "Exit"), this), kExitKey);
    download_->setToolTip(LanguageText(
        kDownloadId, "Download the code buffer content and information to the writer", 1));
    readInfo_->setToolTip(LanguageText(kReadInfoId, "Read information from the writer", 1));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(download_);
    buttons->addWidget(readInfo_);
    buttons->addStretch(1);
    buttons->addWidget(exit);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    setFixedSize(sizeHint());
    Fill();

    proj::ProjectInfo& info = writer_.bench().info;
    connect(maxCounter_, &QLineEdit::textChanged, this, [this, &info](const QString& text) {
        const auto edit = writer::offline::SetMaxCounter(info, Utf8(text));
        if (edit.correction) {
            maxCounter_->setText(QString::fromStdString(*edit.correction));
            QApplication::beep();
        }
        Changed();
    });
    connect(string_, &QLineEdit::textChanged, this, [this, &info](const QString& text) {
        if (const auto correction = writer::offline::SetSerialString(info, Utf8(text))) {
            string_->setText(QString::fromStdString(*correction));
            QApplication::beep();
        }
        Changed();
    });
    connect(number_, &QLineEdit::textChanged, this, [this, &info](const QString& text) {
        writer::offline::SetSerialNumber(info, Utf8(text));
        Changed();
    });
    connect(start_, &QLineEdit::textChanged, this, [this, &info](const QString& text) {
        const auto edit = writer::offline::SetStartAddress(info, Utf8(text), startLimit_);
        if (edit.correction) {
            start_->setText(QString::fromStdString(*edit.correction));
            QApplication::beep();
        }
        end_->setText(QString::fromStdString(writer::offline::EndAddressText(edit.value)));
        Changed();
    });
    connect(enableSerial_, &QCheckBox::clicked, this, [this] { ApplyEnableRule(); });
    connect(autoIncrement_, &QCheckBox::clicked, this, [this, &info](bool ticked) {
        writer::offline::SetAutoIncrement(info, ticked);
        Changed();
    });
    connect(download_, &QPushButton::clicked, this, [this] { Download(); });
    connect(readInfo_, &QPushButton::clicked, this, [this] { ReadInfo(); });
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
}

void OfflineDialog::Fill() {
    proj::ProjectInfo& info = writer_.bench().info;
    // The texts are set before the change handlers are connected: opening changes nothing in
    // the record but a start address beyond the limit, corrected as a typed one would be.
    const auto start = writer::offline::CorrectStartAddress(info, startLimit_);
    if (start.correction) QApplication::beep();
    string_->setText(QString::fromUtf8(writer::offline::SerialStringText(info)));
    start_->setText(QString::fromStdString(writer::offline::Hex8(start.value)));
    end_->setText(QString::fromStdString(writer::offline::EndAddressText(start.value)));
    number_->setText(QString::fromStdString(writer::offline::Hex8(info.serialNumber)));
    maxCounter_->setText(QString::fromStdString(writer::offline::MaxCounterText(info)));
    enableSerial_->setChecked(info.serialEnabled != 0);
    autoIncrement_->setChecked(info.autoIncrement != 0);
    ApplyEnableRule();
}

void OfflineDialog::ApplyEnableRule() {
    const bool on = enableSerial_->isChecked();
    for (QWidget* w :
         std::initializer_list<QWidget*>{string_, start_, end_, number_, autoIncrement_})
        w->setEnabled(on);
    writer::offline::SetSerialEnabled(writer_.bench().info, on);
    Changed();
}

void OfflineDialog::Changed() {
    writer_.bench().NotifyChanged(model::kChangeProject);
}

void OfflineDialog::Download() {
    // A second click from inside the transfer's own pump is ignored.
    if (running_) return;
    running_ = true;
    // The window's log says how it ended, refusals with their reason.
    static_cast<void>(writer::DownloadOffline(writer_));
    running_ = false;
    accept();
}

void OfflineDialog::ReadInfo() {
    writer::ReadInfoOptions options;
    options.show = [this](const writer::InfoBlock&, const writer::InfoReadout& readout) {
        InfoDialog info(this, readout);
        info.exec();
    };
    writer::ReadInfo(writer_, options);
    accept();
}

void OpenOfflineDialog(QWidget* parent, writer::Writer& writer) {
    OfflineDialog dialog(parent, writer);
    dialog.exec();
}

}  // namespace app::dialogs
