#include "writer/offline_config.h"

#include <algorithm>

#include "core/bytes.h"

namespace writer::offline {

std::uint32_t StartAddressLimit(std::uint32_t codeSize) {
    return codeSize >= 16 ? codeSize - 16 : 0;
}

std::string MaxCounterText(const proj::ProjectInfo& info) {
    return std::to_string(info.maxCounter);
}

std::string SerialStringText(const proj::ProjectInfo& info) {
    std::string_view text = info.SerialString();
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return std::string(text);
}

std::string Hex8(std::uint32_t value) {
    return core::Format("%08X", value);
}

std::string EndAddressText(std::uint32_t start) {
    return Hex8(start + 15u);
}

std::uint32_t ParseDecimal(std::string_view text) {
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = std::min<std::uint64_t>(value * 10 + static_cast<unsigned>(c - '0'), 0xFFFFFFFFu);
    }
    return static_cast<std::uint32_t>(value);
}

std::uint32_t ParseHex(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;
    std::uint32_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            break;
        }
        value = (value << 4) | digit;
    }
    return value;
}

Edit SetMaxCounter(proj::ProjectInfo& info, std::string_view text) {
    Edit edit{ParseDecimal(text), std::nullopt};
    if (edit.value > kMaxCounterLimit) {
        edit.value = kMaxCounterLimit;
        edit.correction = std::to_string(kMaxCounterLimit);
    }
    info.maxCounter = static_cast<std::uint16_t>(edit.value);
    return edit;
}

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    // Step back over continuation bytes to the start of the character that would be split.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::optional<std::string> SetSerialString(proj::ProjectInfo& info, std::string_view text) {
    info.serialString.fill(' ');
    const std::string_view kept = CutUtf8(text, info.serialString.size());
    std::copy(kept.begin(), kept.end(), info.serialString.begin());
    if (kept.size() == text.size()) return std::nullopt;
    return std::string(kept);
}

void SetSerialNumber(proj::ProjectInfo& info, std::string_view text) {
    info.serialNumber = ParseHex(text);
}

Edit SetStartAddress(proj::ProjectInfo& info, std::string_view text, std::uint32_t limit) {
    Edit edit{ParseHex(text), std::nullopt};
    if (edit.value > limit) {
        edit.value = limit;
        edit.correction = Hex8(limit);
    }
    info.serialAddress = edit.value;
    return edit;
}

Edit CorrectStartAddress(proj::ProjectInfo& info, std::uint32_t limit) {
    return SetStartAddress(info, Hex8(info.serialAddress), limit);
}

void SetSerialEnabled(proj::ProjectInfo& info, bool ticked) {
    info.serialEnabled = ticked ? 1 : 0;
}

void SetAutoIncrement(proj::ProjectInfo& info, bool ticked) {
    info.autoIncrement = ticked ? 1 : 0;
}

}  // namespace writer::offline
