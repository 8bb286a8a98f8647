#include "app/dialogs/info_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "app/dialogs/dialog_controls.h"
#include "catalogue/lookup.h"

namespace app::dialogs {

namespace {

constexpr int kTitleKey = 132;
constexpr int kRowsPerColumn = 12;

// Texts from the writer are 8-bit; what is not UTF-8 shows as the character of the same number.
QString FromDevice(const std::string& text) {
    const QByteArray bytes = QByteArray::fromStdString(text);
    QString decoded = QString::fromUtf8(bytes);
    if (decoded.contains(QChar::ReplacementCharacter)) decoded = QString::fromLatin1(bytes);
    return decoded;
}

}  // namespace

InfoDialog::InfoDialog(QWidget* parent, const writer::InfoReadout& readout) : QDialog(parent) {
    setWindowTitle(LanguageText(kTitleKey, "Information"));
    auto* fields = new QGridLayout;
    int row = 0;
    for (const writer::InfoField& field : writer::InfoFields()) {
        auto* value = new QLineEdit(FromDevice(readout.*field.text), this);
        value->setReadOnly(true);
        value->setObjectName(QStringLiteral("v%1").arg(field.key));
        value->setMinimumWidth(140);
        fields->addWidget(new QLabel(LanguageText(field.key, field.english), this), row, 0);
        fields->addWidget(value, row, 1);
        ++row;
    }

    auto* options = new QGridLayout;
    for (int i = 0; i < writer::kInfoOptionRows; ++i) {
        const auto& option = readout.options[static_cast<std::size_t>(i)];
        auto* box = new QCheckBox(this);
        box->setChecked(option.ticked);
        box->setEnabled(false);
        auto* name = new QLabel(QString::fromStdString(option.name), this);
        name->setMinimumWidth(60);
        boxes_[static_cast<std::size_t>(i)] = box;
        names_[static_cast<std::size_t>(i)] = name;
        const int column = (i / kRowsPerColumn) * 2;
        options->addWidget(box, i % kRowsPerColumn, column);
        options->addWidget(name, i % kRowsPerColumn, column + 1);
    }
    options->setColumnStretch(1, 1);
    options->setColumnStretch(3, 1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields);
    layout->addSpacing(12);
    layout->addLayout(options);
}

QLineEdit* InfoDialog::Field(int key) const {
    return findChild<QLineEdit*>(QStringLiteral("v%1").arg(key));
}

}  // namespace app::dialogs
