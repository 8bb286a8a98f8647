// The main window's message log: a read-only multi-line text that only grows until cleared.
#pragma once

#include <QPlainTextEdit>
#include <cstdint>
#include <string_view>

#include "core/operator_ports.h"

namespace app {

// A language-table key passed where LogAppend expects a format: values up to 0xFFFF are keys.
inline const char* LogKey(std::uint16_t key) {
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(key));
}

// Turns appended text into what the log shows: "\r\n" ends a line, a lone '\r' shows nothing,
// tabs stay tabs.
QString LogDisplayText(std::string_view text);

class MessageLog : public QPlainTextEdit, public core::MessageSink {
    Q_OBJECT
  public:
    explicit MessageLog(QWidget* parent = nullptr);

    // nullptr clears; a value up to 0xFFFF appends that key's whole text in the current
    // language (nothing when the key is missing); anything else is a printf format.
    void LogAppend(const char* formatOrKey, ...);

    void Clear() override;
    void Append(std::string_view text) override;

    // Everything appended since the last clear, with its original line ends.
    const std::string& RawText() const { return raw_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void UpdateTabStops();
    std::string raw_;
};

}  // namespace app
