#include "workbench/option_codec.h"

namespace model {

std::uint32_t ReadOptionWord(std::span<const std::uint8_t> bytes, std::size_t byteIndex) {
    std::uint32_t word = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t at = byteIndex + k;
        // Past the end of the area reads as erased.
        const std::uint32_t b = at < bytes.size() ? bytes[at] : 0xFF;
        word |= b << (8 * k);
    }
    return word;
}

std::uint32_t ReadOptionField(std::span<const std::uint8_t> bytes, const cat::FieldSpec& field) {
    return ReadOptionWord(bytes, field.byteIndex) & field.mask;
}

void WriteOptionField(std::span<std::uint8_t> bytes, const cat::FieldSpec& field,
                      std::uint32_t value) {
    const std::uint32_t word =
        (ReadOptionWord(bytes, field.byteIndex) & ~field.mask) | (value & field.mask);
    for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t at = std::size_t{field.byteIndex} + k;
        if (at < bytes.size()) bytes[at] = static_cast<std::uint8_t>(word >> (8 * k));
    }
}

std::uint32_t IspPositionFromWord(std::uint32_t word, const cat::FieldSpec& field) {
    if (field.mask == kSplitIspMask) {
        const std::uint32_t low = (word >> 5) & 0x07;
        const std::uint32_t high = (word >> 1) & 0x01;
        return 15 - (low + 8 * high);
    }
    return (~word & field.mask) >> field.Shift();
}

void WriteIspPosition(std::span<std::uint8_t> bytes, const cat::FieldSpec& field, int position) {
    const auto pos = static_cast<std::uint32_t>(position);
    if (field.mask == kSplitIspMask) {
        if (field.byteIndex >= bytes.size()) return;
        std::uint8_t& b = bytes[field.byteIndex];
        std::uint8_t v = static_cast<std::uint8_t>((~(pos << 5) & 0xE0) | (b & 0x1D));
        if (pos < 8) v |= 0x02;
        b = v;
        return;
    }
    WriteOptionField(bytes, field, ~pos << field.Shift());
}

bool IapWithoutHalfK(std::uint32_t mask, std::int64_t iapLimit, std::int64_t ispSize) {
    return mask == kEvenPageMask && iapLimit - ispSize == kFullSpace;
}

std::optional<std::int64_t> IapBytesFromWord(std::uint32_t word, std::uint32_t mask,
                                             std::int64_t freeSpace) {
    std::int64_t bytes = 0;
    if (mask == kEvenPageMask) {
        if ((word & kEvenPageMask) != kEvenPageMask)
            bytes = freeSpace - std::int64_t{(word & 0xFF) >> 1} * kIapStep;
    } else {
        bytes = freeSpace - std::int64_t{word & mask} * kPageSize;
    }
    if (bytes < 0) return std::nullopt;
    return bytes;
}

std::optional<std::int64_t> ChipIapBytesFromWord(std::uint32_t word, std::uint32_t mask,
                                                 std::int64_t freeSpace) {
    if ((word & mask) == mask) return 0;
    return IapBytesFromWord(word, mask, freeSpace);
}

std::int64_t IapPositionFromBytes(std::int64_t iapBytes, bool withoutHalfK) {
    const std::int64_t position = iapBytes / kIapStep;
    return withoutHalfK && position > 0 ? position - 1 : position;
}

std::uint32_t IapPageForPosition(std::uint32_t mask, std::int64_t freeSpace,
                                 std::int64_t position) {
    std::int64_t start = freeSpace - position * kIapStep;
    // Without the 0.5 K entry, position 1 is the 1.0 K area just below the top.
    if (mask == kEvenPageMask && freeSpace == kFullSpace && position != 0)
        start = kFullSpace - (position + 1) * kIapStep;
    std::int64_t page = start >> 8;
    // A page of 256 does not fit an 8-bit field.
    if (page == 256 && mask <= 0xFF) page = 255;
    return static_cast<std::uint32_t>(page);
}

}  // namespace model
