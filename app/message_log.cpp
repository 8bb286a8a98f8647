#include "app/message_log.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTextCursor>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "catalogue/lookup.h"

namespace app {

QString LogDisplayText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                out.push_back('\n');
                ++i;
            }
            continue;  // a lone carriage return shows nothing
        }
        out.push_back(c);
    }
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

MessageLog::MessageLog(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setMaximumBlockCount(0);  // the log is never cut
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    UpdateTabStops();
}

void MessageLog::UpdateTabStops() {
    // Tab stops every eight average characters, as a multi-line edit field has them.
    setTabStopDistance(8.0 * fontMetrics().averageCharWidth());
}

void MessageLog::Clear() {
    raw_.clear();
    QPlainTextEdit::clear();
}

void MessageLog::Append(std::string_view text) {
    if (text.empty()) return;
    raw_.append(text);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(LogDisplayText(text));
    setTextCursor(cursor);
    ensureCursorVisible();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void MessageLog::LogAppend(const char* formatOrKey, ...) {
    if (formatOrKey == nullptr) {
        Clear();
        return;
    }
    const auto value = reinterpret_cast<std::uintptr_t>(formatOrKey);
    if (value <= 0xFFFF) {
        if (auto text = cat::LanguageText(static_cast<std::uint16_t>(value))) Append(*text);
        return;
    }
    va_list args;
    va_start(args, formatOrKey);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(nullptr, 0, formatOrKey, args);
    va_end(args);
    if (needed > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), formatOrKey, again);
        Append(std::string_view(buffer.data(), static_cast<std::size_t>(needed)));
    }
    va_end(again);
}

void MessageLog::keyPressEvent(QKeyEvent* event) {
    // Escape belongs to the window (which ignores it), not to the text field.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

}  // namespace app
