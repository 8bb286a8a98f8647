#include "catalogue/part_database.h"

#include <bit>

namespace cat {

int FieldSpec::Shift() const {
    return mask == 0 ? 0 : std::countr_zero(mask);
}

std::optional<FieldSpec> ParseFieldSpec(std::string_view text) {
    const auto fields = SplitFields(text, "|");
    if (fields.size() < 2) return std::nullopt;
    FieldSpec field;
    field.byteIndex = static_cast<std::uint8_t>(ParseNumber(fields[0]));
    field.mask = ParseNumber(fields[1]);
    return field;
}

std::vector<FieldSpec> ParseFieldSpecList(std::string_view text) {
    std::vector<FieldSpec> specs;
    for (auto item : SplitFields(text, ",")) {
        if (auto field = ParseFieldSpec(item)) specs.push_back(*field);
    }
    return specs;
}

std::vector<Choice> ParseChoiceList(std::string_view text) {
    std::vector<Choice> choices;
    for (auto entry : SplitFields(text, "|")) {
        const auto comma = entry.find(',');
        Choice choice;
        choice.label = std::string(entry.substr(0, comma));
        choice.value = comma == std::string_view::npos ? 0 : ParseNumber(entry.substr(comma + 1));
        choices.push_back(std::move(choice));
    }
    return choices;
}

std::optional<OptionBit> ParseOptionBit(std::string_view text) {
    const auto fields = SplitFields(text, "|");
    if (fields.size() < 3) return std::nullopt;
    OptionBit bit;
    bit.byteIndex = static_cast<std::uint8_t>(ParseNumber(fields[0]));
    bit.mask = static_cast<std::uint8_t>(ParseNumber(fields[1]));
    bit.name = std::string(fields[2]);
    if (fields.size() > 3) bit.english = std::string(fields[3]);
    if (fields.size() > 4) bit.chinese = std::string(fields[4]);
    return bit;
}

std::vector<std::uint32_t> ParseNumberList(std::string_view text) {
    std::vector<std::uint32_t> numbers;
    for (auto item : SplitFields(text, " ,;|")) numbers.push_back(ParseNumber(item));
    return numbers;
}

bool Part::Exists() const {
    const auto name = Text(key::kName);
    return name && !name->empty();
}

std::optional<std::string_view> Part::Text(std::uint16_t k) const {
    return LookupText(table(), k);
}
std::uint32_t Part::Number(std::uint16_t k) const {
    return LookupNumber(table(), k);
}

std::optional<FieldSpec> Part::Field(std::uint16_t k) const {
    const auto text = Text(k);
    return text ? ParseFieldSpec(*text) : std::nullopt;
}

std::vector<Choice> Part::Choices(std::uint16_t k) const {
    const auto text = Text(k);
    return text ? ParseChoiceList(*text) : std::vector<Choice>{};
}

std::string Part::Name() const {
    return std::string(Text(key::kName).value_or(""));
}

std::uint32_t Part::CodeSize() const {
    return Number(key::kCodeSize);
}

std::uint32_t Part::MaxLoadSize() const {
    const auto text = Text(key::kCodeSize);
    if (!text) return 0;
    const auto fields = SplitFields(*text, "|, ");
    return fields.size() > 1 ? ParseNumber(fields[1]) : 0;
}

std::optional<OptionBit> Part::OptionBitAt(int slot) const {
    const auto text = Text(static_cast<std::uint16_t>(key::kOptionBitFirst + slot));
    return text ? ParseOptionBit(*text) : std::nullopt;
}

std::vector<std::uint8_t> Part::DefaultOptionBytes() const {
    std::vector<std::uint8_t> bytes(Number(key::kOptionCount) & 0xFF, 0xFF);
    const auto text = Text(key::kDefaultOptions);
    if (!text) return bytes;
    const auto numbers = ParseNumberList(*text);
    for (std::size_t i = 0; i < numbers.size() && i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(numbers[i]);
    }
    return bytes;
}

std::vector<int> AllPartIndices() {
    std::vector<int> indices;
    for (int i = 0; i <= kMaxPartIndex; ++i) {
        if (Part(i).Exists()) indices.push_back(i);
    }
    return indices;
}

}  // namespace cat
