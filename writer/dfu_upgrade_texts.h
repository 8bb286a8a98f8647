// What the upgrade's progress dialog shows, as text, so the window and the command line agree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace writer {

// The count that means "no percentage yet".
inline constexpr std::uint32_t kDfuWaiting = 255;

// The dialog's own message when the language table has none.
inline constexpr std::string_view kUpgradeMessageFallback =
    "In the process of updating firmware, please do not turn off power or unplug the USB cable !";

// The blinking banner: language key 134.
std::string UpgradeBannerText();

// The message: the first field of language key 1049 broken into two lines, or the fallback.
std::string UpgradeMessageText();

// Breaks `text` after 23 characters in English (language 0), and otherwise after the
// characters that fill 18 bytes of the two-byte Chinese code page (ASCII one byte, anything
// else two), never inside a character. A text too short for the break stays whole.
std::string BreakUpgradeMessage(std::string_view text, int languageId);

// A count as the dialog shows it: "37%" for 0 to 100, else the wait text (key 2010).
std::string UpgradeProgressText(std::uint32_t value);
// The bar's position for a count: the count up to 100, else 0.
int UpgradeProgressBar(std::uint32_t value);

}  // namespace writer
