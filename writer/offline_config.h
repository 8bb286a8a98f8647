// The Off-Line Mode dialog's fields as edits of the project record. Every change is written
// through at once; a value beyond its limit is corrected and the caller sounds the error beep.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "project/project_info.h"

namespace writer::offline {

inline constexpr std::uint32_t kMaxCounterLimit = 65535;
inline constexpr int kHexDigits = 8;

// The outcome of one edit: the value stored, and the text to put back into the field when the
// typed value was beyond its limit.
struct Edit {
    std::uint32_t value = 0;
    std::optional<std::string> correction;
};

// The highest serial start address of a part: its code size less the 16-byte serial field.
std::uint32_t StartAddressLimit(std::uint32_t codeSize);

// Field texts as the dialog shows them when it opens.
std::string MaxCounterText(const proj::ProjectInfo& info);
std::string SerialStringText(const proj::ProjectInfo& info);  // trailing spaces removed
std::string Hex8(std::uint32_t value);                        // "%08X"
std::string EndAddressText(std::uint32_t start);              // start + 15

// Decimal digits read as an unsigned number (saturating); anything else ends the number.
std::uint32_t ParseDecimal(std::string_view text);
// Hexadecimal digits after optional blanks and "0x", up to the first other character, kept to
// 32 bits; empty or unreadable text is 0.
std::uint32_t ParseHex(std::string_view text);

Edit SetMaxCounter(proj::ProjectInfo& info, std::string_view text);
// 12 spaces, then the text's bytes over them. A text of more than 12 bytes is beyond the limit:
// the longest start of it that fits without cutting a character is stored and is the correction.
std::optional<std::string> SetSerialString(proj::ProjectInfo& info, std::string_view text);
void SetSerialNumber(proj::ProjectInfo& info, std::string_view text);
Edit SetStartAddress(proj::ProjectInfo& info, std::string_view text, std::uint32_t limit);
// The start address the record already holds (from a project, or when the dialog opens) under
// the same rule as a typed one.
Edit CorrectStartAddress(proj::ProjectInfo& info, std::uint32_t limit);
void SetSerialEnabled(proj::ProjectInfo& info, bool ticked);
void SetAutoIncrement(proj::ProjectInfo& info, bool ticked);

// The first `maxBytes` bytes of UTF-8 text or fewer, never splitting a character.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

}  // namespace writer::offline
