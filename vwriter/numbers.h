// Numbers typed by a person on the command line or the control socket: decimal or 0x
// hexadecimal, the whole word, within the range the setting allows. Anything else is refused
// rather than read as something the person did not mean (no octal, no trailing letters).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vw {

std::optional<std::uint32_t> ParseNumber(std::string_view text, std::uint32_t min = 0,
                                         std::uint32_t max = 0xFFFFFFFFu);

}  // namespace vw
