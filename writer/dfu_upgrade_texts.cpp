#include "writer/dfu_upgrade_texts.h"

#include <algorithm>

#include "catalogue/lookup.h"

namespace writer {

namespace {

constexpr std::uint16_t kBannerKey = 0x0086;
constexpr std::uint16_t kMessageKey = 0x0419;
constexpr std::uint16_t kWaitKey = 0x07DA;
constexpr std::size_t kEnglishBreak = 23;  // characters
constexpr std::size_t kChineseBreak = 18;  // bytes of the two-byte code page

// Length in bytes of the UTF-8 sequence starting with `lead` (1 for stray bytes).
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

std::string UpgradeBannerText() {
    return cat::LanguageTextOr(kBannerKey, "Warning");
}

std::string BreakUpgradeMessage(std::string_view text, int languageId) {
    const std::size_t limit = languageId == 0 ? kEnglishBreak : kChineseBreak;
    std::size_t at = 0;     // byte offset in the UTF-8 text
    std::size_t width = 0;  // characters (English) or code-page bytes (otherwise) so far
    while (at < text.size() && width < limit) {
        const std::size_t length =
            std::min(SequenceLength(static_cast<unsigned char>(text[at])), text.size() - at);
        const std::size_t w = languageId == 0 || length == 1 ? 1 : 2;
        if (width + w > limit) break;
        width += w;
        at += length;
    }
    // A character that would straddle the break goes to the second line.
    if (at >= text.size()) return std::string(text);
    std::string out(text.substr(0, at));
    out += '\n';
    out += text.substr(at);
    return out;
}

std::string UpgradeMessageText() {
    const auto first = cat::LanguageField(kMessageKey, 0);
    if (!first) return std::string(kUpgradeMessageFallback);
    return BreakUpgradeMessage(*first, cat::LanguageID());
}

std::string UpgradeProgressText(std::uint32_t value) {
    if (value <= 100) return std::to_string(value) + "%";
    return cat::LanguageTextOr(kWaitKey, "Wait...");
}

int UpgradeProgressBar(std::uint32_t value) {
    return value <= 100 ? static_cast<int>(value) : 0;
}

}  // namespace writer
