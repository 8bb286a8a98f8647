// How the option bytes store the ISP and IAP area sizes: one codec for the option panel, the
// writer's information block and the project form.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "catalogue/part_database.h"

namespace model {

// ISP field mask with 16 positions: bits 7-5 and bit 1.
inline constexpr std::uint32_t kSplitIspMask = 0xE2;
// IAP field mask that stores only even pages (512-byte steps); 0xFE under it means no IAP area.
inline constexpr std::uint32_t kEvenPageMask = 0xFE;
// A free space of exactly 64 KiB under the even-page mask has no 0.5 K IAP size.
inline constexpr std::int64_t kFullSpace = 0x10000;
inline constexpr std::int64_t kIapStep = 512;
inline constexpr std::int64_t kPageSize = 256;

// A 32-bit little-endian word of the option area read or written under a mask.
std::uint32_t ReadOptionWord(std::span<const std::uint8_t> bytes, std::size_t byteIndex);
std::uint32_t ReadOptionField(std::span<const std::uint8_t> bytes, const cat::FieldSpec& field);
// Changes only the bits under the mask; `value` is placed as given (not shifted).
void WriteOptionField(std::span<std::uint8_t> bytes, const cat::FieldSpec& field,
                      std::uint32_t value);

// ISP list position stored in / read from an IspField (plain masks and the split mask 0xE2).
std::uint32_t IspPositionFromWord(std::uint32_t word, const cat::FieldSpec& field);
void WriteIspPosition(std::span<std::uint8_t> bytes, const cat::FieldSpec& field, int position);

// True when the IAP list leaves out its 0.5 K entry: even-page mask and a 64 KiB IAP limit.
bool IapWithoutHalfK(std::uint32_t mask, std::int64_t iapLimit, std::int64_t ispSize);

// The IAP area's size the field's word gives within `freeSpace` (code size - ISP size) bytes,
// as the panel reads its own bytes: under the even-page mask 0xFE means none. Nothing when the
// stored page lies above the free space; each reader says how it shows that.
std::optional<std::int64_t> IapBytesFromWord(std::uint32_t word, std::uint32_t mask,
                                             std::int64_t freeSpace);
// The same for bytes read back from a chip or a writer, where a field with every bit under its
// mask set (erased) holds no IAP area whatever the mask.
std::optional<std::int64_t> ChipIapBytesFromWord(std::uint32_t word, std::uint32_t mask,
                                                 std::int64_t freeSpace);

// The IAP list position of an area of `iapBytes`; with the 0.5 K entry left out, one less.
std::int64_t IapPositionFromBytes(std::int64_t iapBytes, bool withoutHalfK);

// The page the field stores for IAP list position `position` within `freeSpace` bytes.
std::uint32_t IapPageForPosition(std::uint32_t mask, std::int64_t freeSpace, std::int64_t position);

}  // namespace model
