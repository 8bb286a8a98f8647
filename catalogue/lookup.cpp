#include "catalogue/lookup.h"

#include <atomic>

#include "catalogue/resources.h"

namespace cat {
namespace {

std::atomic<int> g_languageId{0};

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

std::uint32_t ParseInBase(std::string_view text, std::size_t at, int base) {
    std::uint64_t value = 0;
    for (; at < text.size(); ++at) {
        const int digit = DigitValue(text[at]);
        if (digit >= base) break;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;  // saturates like strtoul
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<std::string_view> LookupText(std::uint16_t table, std::uint16_t key) {
    const auto bytes = FindResource(table);
    if (!bytes) return std::nullopt;
    return ScanStringTable(*bytes, key);
}

std::uint32_t ParseNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    if (at < text.size() && text[at] == '0') {
        if (at + 1 < text.size() && (text[at + 1] == 'x' || text[at + 1] == 'X') &&
            at + 2 < text.size() && DigitValue(text[at + 2]) < 16) {
            return ParseInBase(text, at + 2, 16);
        }
        return ParseInBase(text, at, 8);
    }
    return ParseInBase(text, at, 10);
}

std::uint32_t LookupNumber(std::uint16_t table, std::uint16_t key) {
    const auto text = LookupText(table, key);
    return text ? ParseNumber(*text) : 0;
}

std::optional<ImageRecord> LookupImage(std::uint16_t id) {
    const auto bytes = FindResource(kImageLibrary);
    if (!bytes) return std::nullopt;
    return ScanImageLibrary(*bytes, id);
}

std::optional<std::string_view> LookupTextResource(std::uint16_t id) {
    const auto bytes = FindResource(id);
    if (!bytes) return std::nullopt;
    const auto* begin = reinterpret_cast<const char*>(bytes->data());
    const std::string_view all(begin, bytes->size());
    const auto nul = all.find('\0');
    if (nul == std::string_view::npos) return std::nullopt;
    return all.substr(0, nul);
}

std::vector<std::string_view> SplitFields(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = text.find_first_not_of(separators, at);
        if (start == std::string_view::npos) break;
        std::size_t end = text.find_first_of(separators, start);
        if (end == std::string_view::npos) end = text.size();
        fields.push_back(text.substr(start, end - start));
        at = end;
    }
    return fields;
}

std::string ChooseLanguageVariant(std::string_view text, int languageId) {
    const auto fields = SplitFields(text, "|");
    if (fields.empty()) return {};
    if (languageId >= 0 && static_cast<std::size_t>(languageId) < fields.size()) {
        return std::string(fields[static_cast<std::size_t>(languageId)]);
    }
    return std::string(fields.front());
}

int LanguageID() {
    return g_languageId.load();
}
void SetLanguageID(int languageId) {
    g_languageId.store(languageId);
}
void InitLanguageFromProductInfo() {
    SetLanguageID(static_cast<int>(LookupNumber(kProductInfo, 0x0002)));
}

std::optional<std::string_view> LanguageText(std::uint16_t key) {
    return LookupText(LanguageTable(), key);
}

std::optional<std::string> LanguageField(std::uint16_t key, std::size_t index) {
    const auto text = LanguageText(key);
    if (!text) return std::nullopt;
    const auto fields = SplitFields(*text, "|");
    if (index >= fields.size()) return std::nullopt;
    return std::string(fields[index]);
}

std::string LanguageTextOr(std::uint16_t key, std::string_view fallback) {
    const auto text = LanguageText(key);
    return std::string(text ? *text : fallback);
}

std::uint16_t ParseProjectVersion(std::optional<std::string_view> versionText) {
    if (!versionText) return 0x0100;
    const auto fields = SplitFields(*versionText, ".");
    auto hexByte = [](std::string_view field) {
        std::uint32_t value = 0;
        for (char c : field) {
            const int digit = DigitValue(c);
            if (digit >= 16) break;
            value = (value << 4 | static_cast<std::uint32_t>(digit)) & 0xFFFFFFu;
        }
        return static_cast<std::uint16_t>(value & 0xFF);
    };
    const std::uint16_t high = fields.size() > 0 ? hexByte(fields[0]) : 0;
    const std::uint16_t low = fields.size() > 1 ? hexByte(fields[1]) : 0;
    return static_cast<std::uint16_t>(high << 8 | low);
}

std::uint16_t ProjectVersion() {
    return ParseProjectVersion(LookupText(kProductInfo, 0x0001));
}

}  // namespace cat
