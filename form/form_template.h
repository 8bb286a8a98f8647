// The form template (carried text resource 140) and the printf-style filling of its slots.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace form {

inline constexpr std::uint16_t kFormTemplateId = 140;
inline constexpr int kSlotCount = 64;
inline constexpr int kFormLines = 68;
inline constexpr std::string_view kLineBreak = "\r\n";

using FormSlots = std::array<std::string, kSlotCount>;

// The carried template; empty when the program carries none.
std::string_view FormTemplate();

// Fills the "%s" conversions of `format` (with an optional '-' and a width) with `values` in
// order. A value ends at its first NUL; it is padded to its width by the characters it shows
// (UTF-8 characters, or bytes when it is not UTF-8), and one longer than its width is printed
// whole. "%%" gives '%'; any other '%' stays as it is, and conversions beyond the values print
// as empty strings.
std::string FillTemplate(std::string_view format, std::span<const std::string> values);

}  // namespace form
