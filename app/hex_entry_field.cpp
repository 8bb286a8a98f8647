#include "app/hex_entry_field.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QValidator>

namespace app {

namespace {
// Strips every other character from whatever reaches the text (a drop, a middle-button paste,
// setText), so the field never holds anything but digits.
class HexDigitsOnly : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        const QString before = input.left(pos);
        pos = static_cast<int>(HexDigitsOf(before).size());
        input = HexDigitsOf(input);
        return Acceptable;
    }
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::uint32_t ParseHexText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        HexDigit(text[i + 2]) >= 0) {
        i += 2;
    }
    std::uint32_t value = 0;
    for (; i < text.size(); ++i) {
        const int d = HexDigit(text[i]);
        if (d < 0) break;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return value;
}

QString FormatHexText(std::uint32_t value, int width) {
    QString digits = QString::number(value, 16).toUpper();
    if (width > 0 && digits.size() < width) digits = QString(width - digits.size(), u'0') + digits;
    return digits;
}

bool IsHexEntryCharacter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F') || u == 8 ||
           u == 12;
}

QString HexDigitsOf(const QString& text) {
    QString digits;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')) digits += c;
    }
    return digits;
}

HexEntryField::HexEntryField(QWidget* parent) : QLineEdit(parent) {
    setValidator(new HexDigitsOnly(this));
}

void HexEntryField::PasteDigits() {
    if (isReadOnly()) return;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard != nullptr) insert(HexDigitsOf(clipboard->text()));
}

std::uint32_t HexEntryField::Value() const {
    return ParseHexText(text().toStdString());
}

void HexEntryField::SetValue(std::uint32_t value, int width) {
    setText(FormatHexText(value, width));
}

void HexEntryField::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        PasteDigits();
        event->accept();
        return;
    }
    const QString typed = event->text();
    // Keys that type nothing (arrows, Delete, shortcuts with Ctrl) keep their usual meaning.
    if (typed.size() == 1 && typed[0].isPrint() && !IsHexEntryCharacter(typed[0]) &&
        !(event->modifiers() & Qt::ControlModifier)) {
        event->accept();  // discarded
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void HexEntryField::contextMenuEvent(QContextMenuEvent* event) {
    // The standard menu, with its Paste going through the same filter as Ctrl+V.
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, &HexEntryField::PasteDigits);
        }
    }
    menu->popup(event->globalPos());
}

}  // namespace app
