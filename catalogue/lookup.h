// Lookups into the carried resources by 16-bit id, and the text conventions they share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/resource_format.h"

namespace cat {

inline constexpr std::uint16_t kProductInfo = 1;
inline constexpr std::uint16_t kImageLibrary = 2;
inline constexpr std::uint16_t kSeriesList = 3;
inline constexpr std::uint16_t kLanguageBase = 256;
inline constexpr std::uint16_t kPartBase = 4096;

// Resource id arithmetic is 16-bit: a part index of -2 is resource 4094.
constexpr std::uint16_t PartTable(int partIndex) {
    return static_cast<std::uint16_t>(kPartBase + partIndex);
}

std::optional<std::string_view> LookupText(std::uint16_t table, std::uint16_t key);

// The number at the start of `text`: "0x"/"0X" hexadecimal, a leading "0" octal, otherwise
// decimal; stops at the first character that is not part of the number; no number gives 0.
std::uint32_t ParseNumber(std::string_view text);

// ParseNumber of LookupText; a missing table or key gives 0.
std::uint32_t LookupNumber(std::uint16_t table, std::uint16_t key);

std::optional<ImageRecord> LookupImage(std::uint16_t id);

// A NUL-terminated text resource, up to its NUL; none when it is missing or has no NUL.
std::optional<std::string_view> LookupTextResource(std::uint16_t id);

// Tokenizer split: any character of `separators` ends a field; empty fields are skipped.
std::vector<std::string_view> SplitFields(std::string_view text, std::string_view separators);

// Field `languageId` + 1 of a '|' text when it exists, else the first field.
std::string ChooseLanguageVariant(std::string_view text, int languageId);

// Process-wide interface language: 0 English, 1 Simplified Chinese.
int LanguageID();
void SetLanguageID(int languageId);
// Starts LanguageID from the product information (key 0x0002).
void InitLanguageFromProductInfo();

inline std::uint16_t LanguageTable() {
    return static_cast<std::uint16_t>(kLanguageBase + LanguageID());
}

// Whole text of a language-table key in the current language.
std::optional<std::string_view> LanguageText(std::uint16_t key);
// Field `index` (0-based, '|'-separated, empty fields skipped) of a language text.
std::optional<std::string> LanguageField(std::uint16_t key, std::size_t index);
// Whole language text, or `fallback` when the key is missing.
std::string LanguageTextOr(std::uint16_t key, std::string_view fallback);

// Project format version from the product information's version text: "3.10" gives 0x0310.
std::uint16_t ParseProjectVersion(std::optional<std::string_view> versionText);
std::uint16_t ProjectVersion();

}  // namespace cat
