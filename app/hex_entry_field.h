// A single-line edit field for hexadecimal numbers, used by several dialogs.
#pragma once

#include <QLineEdit>
#include <cstdint>
#include <string_view>

namespace app {

// The text read as "%X" would: optional leading blanks and "0x", then hexadecimal digits up to
// the first other character, kept to 32 bits; empty or non-hexadecimal text reads 0.
std::uint32_t ParseHexText(std::string_view text);
// "%X" of the value, or zero-padded to `width` digits when width is not 0.
QString FormatHexText(std::uint32_t value, int width = 0);
// Whether a typed character is let through: hex digits, backspace (8) and control character 12.
bool IsHexEntryCharacter(QChar c);

// The hexadecimal digits of a text, in order; what a paste or a drop may add to the field.
QString HexDigitsOf(const QString& text);

class HexEntryField : public QLineEdit {
    Q_OBJECT
  public:
    explicit HexEntryField(QWidget* parent = nullptr);

    std::uint32_t Value() const;
    void SetValue(std::uint32_t value, int width = 0);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // Inserts the clipboard's hexadecimal digits, before the length limit cuts anything.
    void PasteDigits();
};

}  // namespace app
