// What the core needs from whoever faces the operator: the window or the command line.
// The core never touches a widget; the GUI and writer-cli each implement these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// The message log. Lines carry their own "\r\n"; nothing is added.
class MessageSink {
  public:
    virtual ~MessageSink() = default;
    virtual void Clear() = 0;
    virtual void Append(std::string_view text) = 0;
};

// Message boxes and questions. Texts are already in the current language.
class Questions {
  public:
    virtual ~Questions() = default;
    virtual void Inform(std::string_view caption, std::string_view text) = 0;
    virtual bool AskOkCancel(std::string_view caption, std::string_view text) = 0;
    virtual bool AskYesNo(std::string_view caption, std::string_view text) = 0;
};

// Progress of a long transfer, and the pass over pending events between chunks.
class Progress {
  public:
    virtual ~Progress() = default;
    virtual void SetRange(std::uint32_t total) = 0;
    virtual void SetValue(std::uint32_t done) = 0;
    virtual void Pump() = 0;
};

// The bytes of the code buffer, wherever they are held (the hex-grid control in the window,
// a plain vector on the command line).
class CodeBufferPort {
  public:
    virtual ~CodeBufferPort() = default;
    virtual std::uint32_t Size() const = 0;
    virtual std::vector<std::uint8_t> Bytes() const = 0;
    // Replaces the content (clamped to the capacity) and reports the change.
    virtual void SetBytes(const std::vector<std::uint8_t>& bytes) = 0;
    virtual std::uint32_t Checksum() const = 0;  // 32-bit byte sum
    virtual void SetCapacity(std::uint32_t capacity) = 0;
    virtual std::uint32_t Capacity() const = 0;
    virtual void ClearAll() = 0;
};

}  // namespace core
