// Part records: the keys of one chip's string table and the value syntaxes they use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/lookup.h"

namespace cat {

namespace key {
inline constexpr std::uint16_t kName = 0x0000;
inline constexpr std::uint16_t kCodeSize = 0x0001;  // codeSize[|maxLoadSize]
inline constexpr std::uint16_t kOptionCount = 0x0002;
inline constexpr std::uint16_t kIspAvailable = 0x0003;
inline constexpr std::uint16_t kIspField = 0x0004;
inline constexpr std::uint16_t kIspList = 0x0005;
inline constexpr std::uint16_t kIapAvailable = 0x0006;
inline constexpr std::uint16_t kIapField = 0x0007;
inline constexpr std::uint16_t kIapLimit = 0x0008;
inline constexpr std::uint16_t kIspCode = 0x0009;
inline constexpr std::uint16_t kFirmwareFamily = 0x000A;
inline constexpr std::uint16_t kSecondaryFamily = 0x000B;
inline constexpr std::uint16_t kIspClearBits = 0x000C;
inline constexpr std::uint16_t kOscAvailable = 0x000D;
inline constexpr std::uint16_t kOscList = 0x000E;
inline constexpr std::uint16_t kDefaultOptions = 0x000F;
inline constexpr std::uint16_t kHwenwAvailable = 0x0010;
inline constexpr std::uint16_t kHwenwBit = 0x0011;
inline constexpr std::uint16_t kHwwidlBit = 0x0012;
inline constexpr std::uint16_t kHwpsxField = 0x0013;
inline constexpr std::uint16_t kHwpsxList = 0x0014;
inline constexpr std::uint16_t kSeries = 0x0015;
inline constexpr std::uint16_t kIapLoadAddress = 0x0016;
inline constexpr std::uint16_t kDeviceCode = 0x0017;
inline constexpr std::uint16_t kOscDefault = 0x0018;
inline constexpr std::uint16_t kCustomSetting = 0x0019;
inline constexpr std::uint16_t kOptionBitFirst = 0x0100;
inline constexpr int kOptionBitSlots = 24;
inline constexpr std::uint16_t kOscVariant = 0x0F00;
}  // namespace key

inline constexpr int kMaxPartIndex = 4095;

// A byte index into the option bytes and a mask over the 32-bit little-endian word there.
struct FieldSpec {
    std::uint8_t byteIndex = 0;
    std::uint32_t mask = 0;
    int Shift() const;
    bool operator==(const FieldSpec&) const = default;
};

struct Choice {
    std::string label;
    std::uint32_t value = 0;
    bool operator==(const Choice&) const = default;
};

struct OptionBit {
    std::uint8_t byteIndex = 0;
    std::uint8_t mask = 0;
    std::string name;
    std::string english;
    std::string chinese;
};

std::optional<FieldSpec> ParseFieldSpec(std::string_view text);
std::vector<FieldSpec> ParseFieldSpecList(std::string_view text);  // ',' between specs
std::vector<Choice> ParseChoiceList(std::string_view text);
std::optional<OptionBit> ParseOptionBit(std::string_view text);
// Numbers separated by any of space, ',', ';' and '|'.
std::vector<std::uint32_t> ParseNumberList(std::string_view text);

// Read access to one part's record.
class Part {
  public:
    explicit Part(int index) : index_(index) {}
    int index() const { return index_; }
    std::uint16_t table() const { return PartTable(index_); }
    bool Exists() const;  // record present with a non-empty name

    std::optional<std::string_view> Text(std::uint16_t key) const;
    std::uint32_t Number(std::uint16_t key) const;
    std::optional<FieldSpec> Field(std::uint16_t key) const;
    std::vector<Choice> Choices(std::uint16_t key) const;

    std::string Name() const;
    std::uint32_t CodeSize() const;
    std::uint32_t MaxLoadSize() const;  // second number of key 0x0001, 0 when absent
    std::uint32_t DeviceCode() const { return Number(key::kDeviceCode) & 0xFFFF; }
    std::uint32_t FirmwareFamily() const { return Number(key::kFirmwareFamily); }
    int Series() const { return static_cast<int>(Number(key::kSeries)); }
    std::optional<OptionBit> OptionBitAt(int slot) const;
    std::vector<std::uint8_t> DefaultOptionBytes() const;  // optionCount bytes, 0xFF filled

  private:
    int index_;
};

// Every part index that has a record, ascending.
std::vector<int> AllPartIndices();

}  // namespace cat
